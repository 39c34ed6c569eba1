// Helpers of the graphics tests: the window opened around a test, pixel
// read-back, and the platform's call journal as lines such as
// "SetTextColor page 16777231", with the layer's handles named.
#ifndef PELMORIX_TESTS_GRAPHICS_SUPPORT_H
#define PELMORIX_TESTS_GRAPHICS_SUPPORT_H

#include <gtest/gtest.h>
#include <platform_testing.h>

#include <string>
#include <vector>

#include "graphics.h"
#include "graphics_internal.h"

namespace test_support {

using Lines = std::vector<std::string>;

extern const unsigned kRgb[16];  // the 16 colours as read back, 0x00RRGGBB
std::string pal(int color);      // colour c as handed to the platform

void start(int driver = 0, int mode = 0);  // init_graphics with a fresh journal
void open_graphics();                      // start() that must succeed; empty key ring, fresh journal

class GraphicsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { close_graphics(); }
};

unsigned page_pixel(int x, int y);  // device pixels; 0xFFFFFFFF when unreadable
unsigned window_pixel(int x, int y);

// Names a handle in journal lines; the context's handles not named otherwise
// get their field's name (screen, page, aux0, aux1, window, palette, clip,
// pen, font, page0, brush0..brush13) when lines are made.
void name(const void* handle, const std::string& text);
void forget_names();
Lines journal_lines(const std::vector<std::string>& functions = {});  // all functions when none given
int count_calls(const std::string& function);

// The descriptor the headless display reads typed characters from: a pipe
// at its end, unless a test puts another in its place.
extern int headless_input;

}  // namespace test_support

#endif  // PELMORIX_TESTS_GRAPHICS_SUPPORT_H
