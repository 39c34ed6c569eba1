// What happens before and at the first start in a process: the static
// set-up, failed class registrations, and the one-time set-up that the next
// start then completes. Run alone: nothing may have started the graphics.
#include "support.h"

namespace {

using namespace test_support;

template <class Cache>
void expect_empty(const Cache& cache) {
    EXPECT_EQ(cache.next_link, &cache);
    EXPECT_EQ(cache.prev_link, &cache);
    EXPECT_EQ(cache.free_entries, &cache.entries[0]);
    EXPECT_EQ(cache.entries[kCacheEntries - 1].next_link, nullptr);
}

TEST(FirstStart, AFailedRegistrationIsReportedAndTheNextStartCompletesTheOneTimeSetUp) {
    const GraphicsContext& g = graphics_context();
    ASSERT_EQ(g.window_class.lpszClassName, nullptr) << "the graphics started before this test";
    EXPECT_EQ(g.key_ring.capacity, 256);
    EXPECT_EQ(g.key_ring.read_index, 0);
    EXPECT_EQ(g.key_ring.write_index, 0);
    EXPECT_NE(g.key_ring.slots, nullptr);
    expect_empty(g.pen_cache);
    expect_empty(g.font_cache);
    EXPECT_STREQ(graph_error_message(0xDEAD), "") << "no text before the first known code";

    const struct { DWORD platform_error; unsigned reported; const char* text; } failures[] = {
        {0, ERROR_CLASS_DOES_NOT_EXIST, "Class does not exist.\r\n"},  // no code from the platform
        {ERROR_NOT_ENOUGH_MEMORY, ERROR_NOT_ENOUGH_MEMORY,
         "Not enough memory resources are available to process this command.\r\n"},
    };
    for (const auto& f : failures) {
        platform_testing::fail_next("RegisterClassA", f.platform_error);
        start();
        EXPECT_EQ(graph_result(), f.reported);
        EXPECT_STREQ(graph_error_message(graph_result()), f.text);
        EXPECT_EQ(journal_lines({"RegisterClassA", "CreateSolidBrush", "CreatePalette", "CreateWindowExA"}),
                  (Lines{"RegisterClassA null \"PelmorixCanvas\""}));
        EXPECT_EQ(get_key(), 27) << "no window to wait on";
        close_graphics();
    }

    name(GetStockObject(BLACK_BRUSH), "black");
    start();
    ASSERT_EQ(graph_result(), 0u);
    int made = 0;
    for (const auto& call : platform_testing::journal_of("CreateBitmap")) name(call.target, "bits" + std::to_string(++made));
    Lines expected = {"RegisterClassA null \"PelmorixCanvas\"", "CreateSolidBrush brush13 " + pal(0),
                      "GetStockObject null 5 brush0"};
    for (int i = 1; i <= 12; ++i) {
        expected.push_back("CreateBitmap bits" + std::to_string(i) + " 8 8 1 1");
        expected.push_back("CreatePatternBrush brush" + std::to_string(i) + " bits" + std::to_string(i));
    }
    expected.push_back("CreatePalette palette 256");
    expected.push_back("CreateWindowExA null 0 13565952 0 0 648 507 \"N-Vorq Pelmorix\"");
    EXPECT_EQ(journal_lines({"RegisterClassA", "GetStockObject", "CreateSolidBrush", "CreateBitmap",
                             "CreatePatternBrush", "CreatePalette", "CreateWindowExA"}),
              expected);
    const WNDCLASSA& c = g.window_class;
    EXPECT_EQ(c.lpfnWndProc, &window_procedure);
    EXPECT_EQ(c.style, static_cast<UINT>(CS_SAVEBITS | CS_DBLCLKS));
    EXPECT_EQ(c.hbrBackground, GetStockObject(BLACK_BRUSH));
    EXPECT_NE(c.hCursor, nullptr);
    set_fill_style(5, 4);  // thick backslashes: pixel (0, 0) is a 0 bit
    fill_bar(0, 0, 8, 8);
    EXPECT_EQ(page_pixel(0, 0), kRgb[4]) << "brushes and palette work";
    close_graphics();

    start();
    EXPECT_EQ(count_calls("RegisterClassA"), 0) << "registered once is enough";
    close_graphics();
}

}  // namespace
