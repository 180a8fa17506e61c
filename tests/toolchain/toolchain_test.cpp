// The build's third-party pieces work together: libjpeg decodes a known picture (32x8, left
// half red, right half blue) through the same API the product uses, in every build.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

extern const unsigned char kTinyJpg[];
extern const std::size_t kTinyJpgSize;

namespace {

struct Picture {
  int width = 0;
  int height = 0;
  int components = 0;
  std::vector<unsigned char> pixels;  // rows top to bottom, RGB

  const unsigned char* at(int x, int y) const {
    return &pixels[(static_cast<std::size_t>(y) * width + x) * components];
  }
};

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  std::string message;
};

void OnJpegError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  char text[JMSG_LENGTH_MAX] = {};
  (*cinfo->err->format_message)(cinfo, text);
  err->message = text;
  std::longjmp(err->jump, 1);
}

// Decodes a JPEG held in memory. Returns false and sets *error when libjpeg rejects it.
// Only libjpeg's C frames and OnJpegError lie between setjmp and longjmp, so the jump
// skips no C++ destructor.
bool Decode(const unsigned char* data, std::size_t size, Picture* out, std::string* error) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  cinfo.err = jpeg_std_error(&err.base);
  err.base.error_exit = OnJpegError;
  err.base.output_message = [](j_common_ptr) {};  // warnings are expected for bad input
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    *error = err.message;
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out->width = static_cast<int>(cinfo.output_width);
  out->height = static_cast<int>(cinfo.output_height);
  out->components = cinfo.output_components;
  const std::size_t stride = static_cast<std::size_t>(out->width) * out->components;
  out->pixels.resize(stride * out->height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &out->pixels[cinfo.output_scanline * stride];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// JPEG is lossy: colours are compared with a tolerance.
void ExpectColour(const Picture& p, int x, int y, int r, int g, int b) {
  const unsigned char* px = p.at(x, y);
  const int tolerance = 24;
  EXPECT_NEAR(px[0], r, tolerance) << "red at " << x << "," << y;
  EXPECT_NEAR(px[1], g, tolerance) << "green at " << x << "," << y;
  EXPECT_NEAR(px[2], b, tolerance) << "blue at " << x << "," << y;
}

TEST(Jpeg, DecodesSizeAndColours) {
  Picture p;
  std::string error;
  ASSERT_TRUE(Decode(kTinyJpg, kTinyJpgSize, &p, &error)) << error;
  EXPECT_EQ(p.width, 32);
  EXPECT_EQ(p.height, 8);
  ASSERT_EQ(p.components, 3);
  ExpectColour(p, 2, 3, 255, 0, 0);
  ExpectColour(p, 29, 4, 0, 0, 255);
}

TEST(Jpeg, RejectsTruncatedData) {
  Picture p;
  std::string error;
  EXPECT_FALSE(Decode(kTinyJpg, 20, &p, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
