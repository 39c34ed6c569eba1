// Fills, the viewport and its clip, and clearing the page.
#include "support.h"

namespace {

using namespace test_support;

TEST_F(GraphicsTest, FillBarOrdersItsCornersAndLeavesOutTheRightColumnAndBottomRow) {
    const struct { int x1, y1, x2, y2; const char* why; } rows[] = {
        {0, 5, 10, 20, "ordered"}, {10, 20, 0, 5, "both reversed"}, {10, 5, 0, 20, "x reversed"},
        {0, 20, 10, 5, "y reversed"},
    };
    set_fill_style(1, 4);
    for (const auto& r : rows) {
        clear_device();
        platform_testing::journal_clear();
        fill_bar(r.x1, r.y1, r.x2, r.y2);
        EXPECT_EQ(journal_lines({"FillRect"}), (Lines{"FillRect page 0 5 10 20 brush1", "FillRect screen 0 5 10 20 brush1"}))
            << r.why;
        EXPECT_EQ(page_pixel(9, 19), kRgb[4]) << r.why;
        EXPECT_EQ(window_pixel(0, 5), kRgb[4]) << r.why;
        EXPECT_EQ(page_pixel(10, 12), kRgb[0]) << r.why;
        EXPECT_EQ(window_pixel(5, 20), kRgb[0]) << r.why;
    }
}

TEST_F(GraphicsTest, TheEmptyPatternPaintsNothingButStillSetsTheTextColour) {
    put_pixel(50, 50, 4);
    set_fill_style(0, 3);
    platform_testing::journal_clear();
    fill_bar(0, 0, 100, 100);
    EXPECT_EQ(journal_lines(), (Lines{"SetTextColor screen " + pal(3), "SetTextColor page " + pal(3),
                                      "FillRect page 0 0 100 100 brush0", "FillRect screen 0 0 100 100 brush0"}));
    EXPECT_EQ(window_pixel(50, 50), kRgb[4]);
}

TEST_F(GraphicsTest, BarsSetTheTextColourAgainOnlyAfterTextChangedIt) {
    set_fill_style(1, 20);
    EXPECT_EQ(graphics_context().fill_color, 4);
    fill_bar(0, 0, 4, 4);
    fill_bar(0, 0, 4, 4);
    out_text_xy(100, 100, "t");  // in colour 15
    fill_bar(0, 0, 4, 4);
    EXPECT_EQ(journal_lines({"SelectObject", "SetTextColor"}),
              (Lines{"SelectObject screen brush1", "SelectObject page brush1", "SetTextColor screen " + pal(4),
                     "SetTextColor page " + pal(4), "SelectObject screen font", "SelectObject page font",
                     "SetTextColor screen " + pal(15), "SetTextColor page " + pal(15),
                     "SetTextColor screen " + pal(4), "SetTextColor page " + pal(4)}));
}

TEST_F(GraphicsTest, AClippingViewportLeavesOutItsRightColumnAndBottomRowAndKeepsItsFlag) {
    set_viewport(0, 0, 639, 479, 1);
    set_fill_style(1, 4);
    fill_bar(-10, -10, 700, 700);
    EXPECT_EQ(window_pixel(638, 478), kRgb[4]);
    EXPECT_EQ(window_pixel(639, 100), kRgb[0]);
    EXPECT_EQ(page_pixel(100, 479), kRgb[0]);
    set_viewport(20, 30, 40, 50, 7);
    ViewportRecord v{};
    get_view_settings(&v);
    EXPECT_EQ(v.clip, 7) << "the flag is kept as given";
}

TEST_F(GraphicsTest, AViewportWithoutClipDropsTheOldRegionAndMovesTheOrigin) {
    set_viewport(5, 5, 50, 50, 1);
    name(graphics_context().clip_region, "old");
    platform_testing::journal_clear();
    set_viewport(10, 20, 100, 200, 0);
    EXPECT_EQ(journal_lines(), (Lines{"DeleteObject old", "SelectClipRgn page null", "SetViewportOrgEx page 10 20",
                                      "SelectClipRgn screen null", "SetViewportOrgEx screen 10 20", "MoveToEx page 0 0",
                                      "MoveToEx screen 0 0"}));
    put_pixel(0, 0, 4);
    put_pixel(200, 300, 2);  // beyond the viewport, and nothing clips
    EXPECT_EQ(window_pixel(10, 20), kRgb[4]);
    EXPECT_EQ(page_pixel(210, 320), kRgb[2]);
}

TEST_F(GraphicsTest, ClearDeviceInAClippedViewportClearsThePageButItsLastColumnAndRowAndKeepsTheClip) {
    set_fill_style(1, 15);
    fill_bar(0, 0, 1280, 1024);
    set_viewport(100, 100, 200, 200, 1);
    platform_testing::journal_clear();
    clear_device();
    EXPECT_EQ(journal_lines(), (Lines{"SelectClipRgn page null", "FillRect page -100 -100 1179 923 brush13",
                                      "SelectClipRgn page clip", "SelectClipRgn screen null",
                                      "FillRect screen -100 -100 1179 923 brush13", "SelectClipRgn screen clip",
                                      "MoveToEx page 0 0", "MoveToEx screen 0 0"}));
    EXPECT_EQ(page_pixel(0, 0), kRgb[0]);
    EXPECT_EQ(page_pixel(1278, 1022), kRgb[0]);
    EXPECT_EQ(page_pixel(1279, 500), kRgb[15]);
    EXPECT_EQ(page_pixel(500, 1023), kRgb[15]);
    EXPECT_EQ(window_pixel(639, 479), kRgb[0]);
    put_pixel(-50, -50, 4);  // outside the clip
    EXPECT_EQ(page_pixel(50, 50), kRgb[0]);
}

}  // namespace
