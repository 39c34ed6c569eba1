// Start-up and shutdown: the driver and mode table, the window opened, the
// queries, a failed window creation, and a second start.
#include <cstdlib>
#include <cstring>

#include "support.h"

namespace {

using namespace test_support;

TEST(ModeResolution, FollowsTheDriverAndModeTable) {
    // PELMORIX_SIZE is unset unless a row names it (the last column).
    const struct { int driver, mode, driver_after, mode_after, width, height; const char* why; const char* size = nullptr; } rows[] = {
        {1, 4, 1, 4, 640, 200, "driver 1: mode 4 is wide"},
        {1, -4, 1, -4, 320, 200, "modes compare unsigned: -4 is not 4"},
        {2, 5, 2, 5, 640, 480, "driver 2 mode 5"},
        {4, 9, 4, 9, 640, 350, "driver 4 other modes"},
        {6, 2, 6, 2, 1024, 768, "driver 6 other modes"},
        {8, 5, 8, 5, 640, 400, "driver 8 mode 5"},
        {9, 1, 9, 1, 640, 350, "driver 9 mode 1"},
        {9, 7, 9, 7, 640, 480, "driver 9 other modes"},
        {0, 5, 9, 2, 640, 480, "driver 0 becomes driver 9 in the default mode"},
        {11, 0, 9, 2, 640, 480, "so does a driver above 10"},
        {-1, 3, 9, 2, 640, 480, "and a negative one, large when unsigned"},
        {0, 5, 9, 2, 1001, 777, "driver 0 detects the size asked for", "1001x777"},
        {-1, 3, 9, 2, 320, 200, "the smallest size, for an unknown driver too", "320x200"},
        {11, 0, 9, 2, 7680, 4320, "the largest", "7680x4320"},
        {9, 2, 9, 2, 640, 480, "driver 9 named keeps its table", "1001x777"},
        {6, 2, 6, 2, 1024, 768, "so does every other driver", "1280x960"},
        {0, 0, 9, 2, 640, 480, "below the smallest: as unset", "319x200"},
        {0, 0, 9, 2, 640, 480, "above the largest: as unset", "7680x4321"},
        {0, 0, 9, 2, 640, 480, "not a size: as unset", "1280x960x2"},
        {0, 0, 9, 2, 640, 480, "a sign: as unset", "+1280x960"},
        {0, 0, 9, 2, 640, 480, "the headless display has no screen", "screen"},
    };
    for (const auto& r : rows) {
        if (r.size != nullptr) {
            setenv("PELMORIX_SIZE", r.size, 1);
        } else {
            unsetenv("PELMORIX_SIZE");
        }
        int driver = r.driver;
        int mode = r.mode;
        mode_resolution(&driver, &mode);
        EXPECT_EQ(driver, r.driver_after) << r.why;
        EXPECT_EQ(mode, r.mode_after) << r.why;
        EXPECT_EQ(graphics_context().window_width, r.width) << r.why;
        EXPECT_EQ(graphics_context().window_height, r.height) << r.why;
    }
    unsetenv("PELMORIX_SIZE");
}

TEST(StartUp, OpensTheWindowAtTheModesSizeAndShowsItAsTheModeSays) {
    // The headless screen is 1280 x 1024; a maximised client loses the caption.
    // A size asked for with PELMORIX_SIZE (the last column) is the client
    // area's; the page holds all of it, even where it is larger than the screen.
    const struct { int driver, mode; const char* created; int show, max_x, max_y; const char* why; const char* size = nullptr; } rows[] = {
        {0, 0, "648 507", SW_SHOWNORMAL, 639, 479, "the viewer's choice"},
        {0, 3, "648 507", SW_SHOWNORMAL, 639, 479, "mode 3 is rewritten to 2 before the show"},
        {11, 0, "648 507", SW_SHOWNORMAL, 639, 479, "an unknown driver"},
        {-1, 0, "648 507", SW_SHOWNORMAL, 639, 479, "a negative driver"},
        {9, 3, "648 507", SW_SHOWMAXIMIZED, 1279, 996, "mode 3 maximises"},
        {1, 3, "328 227", SW_SHOWMAXIMIZED, 1279, 996, "whatever the driver"},
        {0, 0, "1009 804", SW_SHOWNORMAL, 1000, 776, "a size asked for", "1001x777"},
        {0, 0, "3848 2187", SW_SHOWNORMAL, 3839, 2159, "larger than the screen", "3840x2160"},
    };
    for (const auto& r : rows) {
        if (r.size != nullptr) {
            setenv("PELMORIX_SIZE", r.size, 1);
        } else {
            unsetenv("PELMORIX_SIZE");
        }
        forget_names();
        start(r.driver, r.mode);
        ASSERT_EQ(graph_result(), 0u) << r.why;
        EXPECT_EQ(journal_lines({"CreateWindowExA", "ShowWindow"}),
                  (Lines{"CreateWindowExA null 0 13565952 0 0 " + std::string(r.created) + " \"N-Vorq Pelmorix\"",
                         "ShowWindow window " + std::to_string(r.show)}))
            << r.why;
        EXPECT_EQ(get_max_x(), r.max_x) << r.why;
        EXPECT_EQ(get_max_y(), r.max_y) << r.why;
        put_pixel(3, 4, 4);  // drawing works as soon as init_graphics returns
        EXPECT_EQ(window_pixel(3, 4), kRgb[4]) << r.why;
        put_pixel(r.max_x, r.max_y, 4);  // the far corner is on the page too
        EXPECT_EQ(page_pixel(r.max_x, r.max_y), kRgb[4]) << r.why;
        close_graphics();
    }
    unsetenv("PELMORIX_SIZE");
}

TEST_F(GraphicsTest, QueriesGiveTheFixedValuesAndColoursDrawAsTheDefaultColours) {
    EXPECT_EQ(graph_result(), 0u);
    EXPECT_EQ(graph_result(), 0u) << "asked twice";
    EXPECT_EQ(get_max_color(), 15);
    int x = 0;
    int y = 0;
    get_aspect_ratio(&x, &y);
    EXPECT_EQ(x, 10000);
    EXPECT_EQ(y, 10000);
    PaletteRecord p;
    std::memset(&p, 0xAB, sizeof p);
    get_palette(&p);
    EXPECT_EQ(p.size, 16);
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(p.colors[c], c);
        put_pixel(c, 0, c);
        EXPECT_EQ(page_pixel(c, 0), kRgb[c]) << "colour " << c;
    }
    // Around the 16 colours: hardware entries 0..9 and 240..255, black 10..15.
    const PALETTEENTRY* e = graphics_context().logical_palette->palPalEntry;
    for (int i : {0, 9, 240, 255}) EXPECT_EQ(e[i].peRed + e[i].peFlags * 256, i + PC_EXPLICIT * 256) << i;
    for (int i = 10; i < 16; ++i) EXPECT_EQ(e[i].peRed + e[i].peFlags * 256, PC_NOCOLLAPSE * 256) << i;
}

TEST(StartUp, AFailedWindowCreationGivesTheCodeAndTheSystemsText) {
    const struct { DWORD platform_error; unsigned reported; const char* text; } rows[] = {
        {ERROR_NO_SYSTEM_RESOURCES, 1450, "Insufficient system resources exist to complete the requested service.\r\n"},
        {0, 1167, "The device is not connected.\r\n"},  // no code from the platform: still a failure
    };
    for (const auto& r : rows) {
        platform_testing::fail_next("CreateWindowExA", r.platform_error);
        start();
        EXPECT_EQ(graph_result(), r.reported);
        EXPECT_EQ(graph_result(), r.reported) << "graph_result does not clear the code";
        EXPECT_STREQ(graph_error_message(graph_result()), r.text);
        EXPECT_STREQ(graph_error_message(0xDEAD), r.text) << "an unknown code leaves the text";
        EXPECT_EQ(get_key(), 27) << "no window to wait on";
        close_graphics();
        EXPECT_EQ(count_calls("GetMessageA"), 0);
    }
}

TEST(StartUp, ASecondStartMakesOnlyAPaletteAndAWindowAndForgetsPenFontAndClip) {
    ASSERT_NO_FATAL_FAILURE(open_graphics());
    set_color(4);
    draw_rectangle(50, 50, 60, 60);
    out_text_xy(0, 0, "a");
    set_viewport(100, 100, 200, 200, 1);
    const GraphicsContext& g = graphics_context();
    HBRUSH brushes[kBrushCount];
    std::memcpy(brushes, g.fill_brushes, sizeof brushes);
    close_graphics();

    forget_names();
    start();
    ASSERT_EQ(graph_result(), 0u);
    EXPECT_EQ(journal_lines({"RegisterClassA", "CreateSolidBrush", "CreatePatternBrush", "CreatePalette", "CreateWindowExA"}),
              (Lines{"CreatePalette palette 256", "CreateWindowExA null 0 13565952 0 0 648 507 \"N-Vorq Pelmorix\""}));
    EXPECT_EQ(0, std::memcmp(brushes, g.fill_brushes, sizeof brushes));
    // The new DCs hold neither the cached pen and font nor the old clip.
    platform_testing::journal_clear();
    set_color(4);
    draw_rectangle(50, 50, 60, 60);
    EXPECT_EQ(window_pixel(60, 55), kRgb[4]);
    out_text_xy(0, 0, "a");
    clear_device();
    EXPECT_EQ(journal_lines({"CreatePen", "CreateFontA", "SelectObject", "SelectClipRgn"}),
              (Lines{"SelectObject screen pen", "SelectObject page pen", "SelectObject screen font",
                     "SelectObject page font"}));
    close_graphics();
}

}  // namespace
