#include "platform/ui/picture.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace ui {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to
// the decoder, which then gives up on the picture.
struct JpegError {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

// The decompressor and everything it allocated are released on every path out of
// DecodeJpeg, the error jump included.
struct JpegDecompressor {
  jpeg_decompress_struct cinfo{};
  bool created = false;
  ~JpegDecompressor() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

// Kept apart from DecodeJpeg so that no object with a destructor lives in the frame that
// setjmp returns to twice.
// row and out belong to the caller for the same reason.
bool ReadJpeg(JpegDecompressor& d, JpegError& err, const std::string& bytes,
              std::vector<unsigned char>& row, Picture& out) {
  if (setjmp(err.jump)) return false;
  jpeg_create_decompress(&d.cinfo);
  d.created = true;
  jpeg_mem_src(&d.cinfo, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&d.cinfo, TRUE) != JPEG_HEADER_OK) return false;
  d.cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d.cinfo);
  const int w = static_cast<int>(d.cinfo.output_width);
  const int h = static_cast<int>(d.cinfo.output_height);
  if (d.cinfo.output_components != 3 || w <= 0 || h <= 0) return false;
  out.bgrx.assign(static_cast<std::size_t>(w) * h * 4, 0);
  row.assign(static_cast<std::size_t>(w) * 3, 0);
  while (d.cinfo.output_scanline < d.cinfo.output_height) {
    const std::size_t y = d.cinfo.output_scanline;
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&d.cinfo, rows, 1);
    std::uint8_t* dst = &out.bgrx[y * w * 4];
    for (int x = 0; x < w; ++x) {
      dst[x * 4 + 0] = row[x * 3 + 2];
      dst[x * 4 + 1] = row[x * 3 + 1];
      dst[x * 4 + 2] = row[x * 3 + 0];
    }
  }
  jpeg_finish_decompress(&d.cinfo);
  out.width = w;
  out.height = h;
  return true;
}

std::uint32_t Le(const std::string& b, std::size_t at, int n) {
  std::uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

}  // namespace

Picture DecodeJpeg(const std::string& bytes) {
  if (bytes.empty()) return {};
  JpegDecompressor d;
  JpegError err{};
  d.cinfo.err = jpeg_std_error(&err.base);
  err.base.error_exit = JpegErrorExit;
  err.base.emit_message = JpegSilence;
  std::vector<unsigned char> row;
  Picture out;
  if (!ReadJpeg(d, err, bytes, row, out)) return {};
  return out;
}

Picture DecodeBmp(const std::string& b) {
  constexpr std::size_t kFileHeader = 14;
  if (b.size() < kFileHeader + 40 || b[0] != 'B' || b[1] != 'M') return {};
  const std::size_t pixelsAt = Le(b, 10, 4);
  const std::size_t infoSize = Le(b, 14, 4);
  const std::int32_t w = static_cast<std::int32_t>(Le(b, 18, 4));
  const std::int32_t rawH = static_cast<std::int32_t>(Le(b, 22, 4));
  const unsigned bits = Le(b, 28, 2);
  const std::uint32_t compression = Le(b, 30, 4);
  std::uint32_t colours = Le(b, 46, 4);
  const bool topDown = rawH < 0;
  const std::int64_t h = topDown ? -static_cast<std::int64_t>(rawH) : rawH;
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return {};
  if (compression != 0 || (bits != 4 && bits != 8 && bits != 24 && bits != 32)) return {};
  if (bits <= 8 && colours == 0) colours = 1u << bits;
  const std::size_t paletteAt = kFileHeader + infoSize;
  if (bits <= 8 && (colours > (1u << bits) || paletteAt + colours * 4 > b.size())) return {};
  const std::size_t stride = ((static_cast<std::size_t>(w) * bits + 31) / 32) * 4;
  if (pixelsAt > b.size() || (b.size() - pixelsAt) / stride < static_cast<std::size_t>(h))
    return {};

  Picture out;
  out.width = w;
  out.height = static_cast<int>(h);
  out.bgrx.assign(static_cast<std::size_t>(w) * h * 4, 0);
  for (std::int64_t y = 0; y < h; ++y) {
    const std::size_t src = pixelsAt + stride * static_cast<std::size_t>(topDown ? y : h - 1 - y);
    std::uint8_t* dst = &out.bgrx[static_cast<std::size_t>(y) * w * 4];
    for (std::int32_t x = 0; x < w; ++x) {
      std::size_t at;
      if (bits == 4 || bits == 8) {
        const unsigned byte = static_cast<unsigned char>(b[src + x * bits / 8]);
        const unsigned index = bits == 8 ? byte : (x % 2 == 0 ? byte >> 4 : byte & 0x0F);
        if (index >= colours) continue;
        at = paletteAt + index * 4;
      } else {
        at = src + static_cast<std::size_t>(x) * (bits / 8);
      }
      std::memcpy(dst + x * 4, &b[at], 3);
    }
  }
  return out;
}

Picture DecodePicture(const std::string& bytes) {
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return DecodeBmp(bytes);
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xD8)
    return DecodeJpeg(bytes);
  return {};
}

}  // namespace ui
