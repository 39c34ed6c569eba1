// Built-in bitmap font used by the platform layer for text rendering.
#pragma once

#include <cstdint>

namespace pelmorix_platform {

constexpr int kGlyphWidth = 8;   // cell width in pixels
constexpr int kGlyphHeight = 9;  // cell height in pixels
constexpr int kGlyphAscent = 7;  // rows 0..6 are above the baseline, rows 7..8 below

// Rows of the glyph for byte c, top row first; bit 7 of a row is the leftmost pixel.
// Bytes 32..126 have designed glyphs; every other byte (0..31, 127..255) returns the
// placeholder glyph (a visible hollow box), so that no byte draws as nothing except the blank (32).
const std::uint8_t* glyph_rows(unsigned char c);

}  // namespace pelmorix_platform
