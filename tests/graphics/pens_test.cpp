// Colour, pixels and lines, the pen cache and user line patterns.
#include "support.h"

namespace {

using namespace test_support;

void segment_at(int y) {
    const PointRecord points[2] = {{0, y}, {40, y}};
    draw_poly(2, points);
}

TEST_F(GraphicsTest, ColoursKeepTheirLowFourBits) {
    const struct { int given, kept; const char* why; } rows[] = {
        {5, 5, "in range"}, {16, 0, "wraps to 0"}, {18, 2, "palette entry 18"}, {-1, 15, "all bits set"},
        {0x7FFFFFF4, 4, "only the low four bits count"},
    };
    for (const auto& r : rows) {
        platform_testing::journal_clear();
        set_color(r.given);
        put_pixel(7, 8, r.given);
        EXPECT_EQ(graphics_context().text_color_cache, r.kept) << r.why;
        EXPECT_EQ(journal_lines(), (Lines{"SetTextColor screen " + pal(r.kept), "SetTextColor page " + pal(r.kept),
                                          "SetPixel page 7 8 " + pal(r.kept), "SetPixel screen 7 8 " + pal(r.kept)}))
            << r.why;
        EXPECT_EQ(window_pixel(7, 8), kRgb[r.kept]) << r.why;
    }
    put_pixel(0, 0, 2);
    EXPECT_EQ(graphics_context().current_color, 4) << "put_pixel leaves the drawing colour";
}

TEST_F(GraphicsTest, ARectangleKeepsItsCornersAndIsClosedAndAPolylineLeavesItsLastPointOut) {
    set_color(14);
    draw_rectangle(10, 10, 5, 5);
    const std::string points = " 5 10 10 5 10 5 5 10 5 10 10";
    EXPECT_EQ(journal_lines({"Polyline"}), (Lines{"Polyline page" + points, "Polyline screen" + points}));
    for (int i = 5; i <= 10; ++i) {
        EXPECT_EQ(page_pixel(i, 5), kRgb[14]) << i;
        EXPECT_EQ(window_pixel(10, i), kRgb[14]) << i;
    }
    const PointRecord corner[3] = {{20, 30}, {25, 30}, {25, 35}};
    draw_poly(3, corner);
    EXPECT_EQ(page_pixel(25, 34), kRgb[14]);
    EXPECT_EQ(page_pixel(25, 35), kRgb[0]);
}

TEST_F(GraphicsTest, UnchangedSettingsDrawWithPolylineAloneAndEmptyPolylinesStillSelectThePen) {
    draw_rectangle(1, 1, 8, 8);
    platform_testing::journal_clear();
    draw_rectangle(2, 2, 9, 9);
    EXPECT_EQ(count_calls("Polyline"), 2);
    EXPECT_EQ(platform_testing::journal().size(), 2u);
    set_line_style(0, 0, 31);  // a thickness of this test alone
    platform_testing::journal_clear();
    draw_poly(0, nullptr);
    EXPECT_EQ(journal_lines({"CreatePen", "SelectObject", "Polyline"}),
              (Lines{"CreatePen pen 0 31 " + pal(15), "SelectObject screen pen", "SelectObject page pen",
                     "Polyline page 0", "Polyline screen 0"}));
}

TEST_F(GraphicsTest, TheNinthPenEvictsTheLeastRecentlyUsedAfterSelectingTheNew) {
    const GraphicsContext& g = graphics_context();
    auto draw_with = [&g](int thickness) {  // thicknesses 101 to 110 belong to this test
        set_line_style(0, 0, thickness);
        platform_testing::journal_clear();
        segment_at(200);
        name(g.current_pen, "pen" + std::to_string(thickness));
    };
    for (int t = 101; t <= 108; ++t) draw_with(t);
    draw_with(109);
    EXPECT_EQ(journal_lines({"CreatePen", "SelectObject", "DeleteObject"}),
              (Lines{"CreatePen pen109 0 109 " + pal(15), "SelectObject screen pen109", "SelectObject page pen109",
                     "DeleteObject pen101"}));
    draw_with(102);  // the oldest, found again: to the front, so 103 is the oldest now
    EXPECT_EQ(journal_lines({"CreatePen", "SelectObject", "DeleteObject"}),
              (Lines{"SelectObject screen pen102", "SelectObject page pen102"}));
    draw_with(110);
    EXPECT_EQ(journal_lines({"DeleteObject"}), (Lines{"DeleteObject pen103"}));
}

TEST_F(GraphicsTest, APenSettingDifferingInOneKeyFieldMakesANewPen) {
    // Thicknesses 121 to 124 belong to this test.
    const struct { const char* field; int color[2], style[2], pattern[2], thickness[2]; } rows[] = {
        {"colour", {2, 3}, {0, 0}, {0, 0}, {121, 121}},
        {"style", {2, 2}, {1, 3}, {0, 0}, {122, 122}},
        {"thickness", {2, 2}, {3, 3}, {0, 0}, {123, 124}},
        {"pattern of the user style", {2, 2}, {4, 4}, {0x0F0F, 0x00FF}, {124, 124}},
    };
    for (const auto& r : rows) {
        for (int i = 0; i < 2; ++i) {
            set_color(r.color[i]);
            set_line_style(r.style[i], r.pattern[i], r.thickness[i]);
            platform_testing::journal_clear();
            segment_at(220);
        }
        EXPECT_EQ(count_calls("CreatePen") + count_calls("ExtCreatePen"), 1) << r.field;
    }
}

TEST_F(GraphicsTest, OnlyTheUserStyleKeysOnThePatternAndOnAll32Bits) {
    set_color(9);
    set_line_style(2, 0x1111, 3);
    segment_at(210);
    set_line_style(2, 0x2222, 3);
    platform_testing::journal_clear();
    segment_at(210);
    EXPECT_EQ(count_calls("CreatePen") + count_calls("ExtCreatePen"), 0);
    for (int pattern : {0xFFFF, 0x1FFFF, 0xFFFF}) {
        set_line_style(4, pattern, 3);
        segment_at(210);
    }
    const auto made = platform_testing::journal_of("ExtCreatePen");
    ASSERT_EQ(made.size(), 2u) << "0xFFFF and 0x1FFFF are two pens; 0xFFFF again is found";
    EXPECT_EQ(made[0].args, made[1].args) << "with the same dashes";
    EXPECT_EQ(made[0].args, (std::vector<long long>{PS_GEOMETRIC | PS_USERSTYLE, 3, 2, 0x01000019}))
        << "style, width, number of lengths, colour 9";
}

// The page around (x0, y0), one character a pixel: '#' colour c, '.' black.
std::string page_art(int x0, int y0, int w, int h, int c) {
    std::string art;
    for (int y = y0; y < y0 + h; ++y) {
        for (int x = x0; x < x0 + w; ++x) art += page_pixel(x, y) == kRgb[c] ? '#' : page_pixel(x, y) == 0 ? '.' : '?';
        art += '\n';
    }
    return art;
}

TEST_F(GraphicsTest, AThickRectangleHasRoundCornersAndAnAllOnesPatternDrawsItAlike) {
    const std::string want =
        "............\n"
        "..########..\n"  // the corners' discs round the outer edge off
        ".##########.\n"
        ".##########.\n"
        ".###....###.\n"
        ".###....###.\n"
        ".##########.\n"
        ".##########.\n"
        "..########..\n"
        "............\n";
    set_color(14);
    set_line_style(0, 0, 3);
    draw_rectangle(10, 10, 17, 15);
    EXPECT_EQ(page_art(8, 8, 12, 10, 14), want);
    set_color(0);
    draw_rectangle(10, 10, 17, 15);
    set_color(14);
    set_line_style(4, 0xFFFF, 3);  // a dash of 16 and a gap of 0, again and again
    draw_rectangle(10, 10, 17, 15);
    EXPECT_EQ(page_art(8, 8, 12, 10, 14), want);
}

TEST(PatternToDashes, ReadsThePatternFromItsLowestBit) {
    const struct { int pattern; std::vector<DWORD> lengths; } rows[] = {
        {0xFFFF, {16, 0}}, {0x00FF, {8, 8}}, {0x0000, {0, 16}}, {0x0F0F, {4, 4, 4, 4}}, {0x00F0, {0, 4, 4, 8}},
        {0x3333, {2, 2, 2, 2, 2, 2, 2, 2}}, {0x8001, {1, 14, 1, 0}},
        {0xAAAA, {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
        {0x7FFF0F0F, {4, 4, 4, 4}},  // bits above 15 take no part
    };
    for (const auto& r : rows) {
        DWORD dashes[32];
        const int n = pattern_to_dashes(dashes, r.pattern);
        EXPECT_EQ(std::vector<DWORD>(dashes, dashes + n), r.lengths) << std::hex << r.pattern;
    }
}

TEST_F(GraphicsTest, APatternThePlatformRefusesFallsBackToDashDotDot) {
    set_color(11);
    set_line_style(4, 0xAAAA, 1);  // 18 lengths: more than a user style may have
    segment_at(230);
    EXPECT_EQ(journal_lines({"ExtCreatePen", "CreatePen", "SelectObject"}),
              (Lines{"ExtCreatePen null 65543 1 18 0", "CreatePen pen 4 1 " + pal(11), "SelectObject screen pen",
                     "SelectObject page pen"}));
}

}  // namespace
