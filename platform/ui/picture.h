// Pictures as decoded pixels, the only form in which the toolkit draws them.
//
// Contract: a decoder never throws on bad input; a missing, truncated or corrupt picture
// decodes to an empty Picture, and a control with an empty picture simply draws nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ui {

struct Picture {
  int width = 0;
  int height = 0;
  // Top row first, 4 bytes a pixel in the order blue, green, red, unused (the 32-bit DIB
  // layout), width * height * 4 bytes.
  std::vector<std::uint8_t> bgrx;

  bool Empty() const { return width <= 0 || height <= 0; }
};

// JPEG (baseline or progressive, grey or colour) through libjpeg.
Picture DecodeJpeg(const std::string& bytes);

// Uncompressed BMP with 4, 8, 24 or 32 bits a pixel, bottom-up or top-down.
Picture DecodeBmp(const std::string& bytes);

// Chooses the decoder by the file signature ("BM" or the JPEG start-of-image marker).
Picture DecodePicture(const std::string& bytes);

}  // namespace ui
