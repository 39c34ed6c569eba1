// The window procedure (first paint, repaint, size, destruction) and the
// keyboard: the message pump and the key ring behind get_key.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "support.h"

namespace {

using namespace test_support;

const std::string kSrcCopy = std::to_string(SRCCOPY);

TEST(Window, TheFirstPaintMakesTheDcsAndPage0AndClearsAllButTheLastColumnAndRow) {
    forget_names();
    name(GetStockObject(BLACK_BRUSH), "black");
    start();
    ASSERT_EQ(graph_result(), 0u);
    Lines painted = journal_lines({"BeginPaint", "SelectPalette", "RealizePalette", "CreateCompatibleDC",
                                   "CreateCompatibleBitmap", "SelectObject", "SetTextColor", "SetBkColor", "FillRect",
                                   "BitBlt", "ValidateRect"});
    // The platform erases a new window with the class brush by itself.
    painted.erase(std::remove(painted.begin(), painted.end(), "FillRect screen 0 0 640 480 black"), painted.end());
    EXPECT_EQ(painted, (Lines{"BeginPaint window screen", "SelectPalette screen palette 0", "RealizePalette screen",
                              "CreateCompatibleDC page screen", "SelectPalette page palette 0",
                              "CreateCompatibleDC aux0 screen", "SelectPalette aux0 palette 0",
                              "CreateCompatibleDC aux1 screen", "SelectPalette aux1 palette 0",
                              "CreateCompatibleBitmap page0 screen 1280 1024", "SelectObject page page0",
                              "SetTextColor screen " + pal(15), "SetTextColor page " + pal(15),
                              "SetBkColor screen " + pal(0), "SetBkColor page " + pal(0),
                              "SelectObject screen brush1", "SelectObject page brush1",
                              "FillRect page 0 0 1279 1023 brush13", "BitBlt screen 0 0 640 480 page 0 0 " + kSrcCopy,
                              "ValidateRect window 0"}));
    close_graphics();
}

TEST_F(GraphicsTest, ARepaintUnderAClippingViewportCoversTheWholeClientAndRestoresTheClip) {
    const GraphicsContext& g = graphics_context();
    set_fill_style(1, 4);
    fill_bar(0, 0, 640, 480);
    set_viewport(10, 20, 100, 200, 1);
    SelectClipRgn(g.screen_dc, nullptr);  // the window loses its picture, as when covered
    BitBlt(g.screen_dc, -10, -20, 640, 480, nullptr, 0, 0, BLACKNESS);
    SelectClipRgn(g.screen_dc, g.clip_region);
    platform_testing::journal_clear();
    platform_testing::expose(g.window_handle);
    dispatch_next_message();  // the repaint
    EXPECT_EQ(journal_lines({"SelectClipRgn", "BitBlt", "ValidateRect", "BeginPaint"}),
              (Lines{"SelectClipRgn screen null", "BitBlt screen -10 -20 640 480 page -10 -20 " + kSrcCopy,
                     "SelectClipRgn screen clip", "ValidateRect window 0"}));
    std::vector<unsigned> pixels;
    int width = 0;
    int height = 0;
    ASSERT_TRUE(platform_testing::read_window(g.window_handle, &pixels, &width, &height));
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), kRgb[4]), 640 * 480);
    put_pixel(-5, -5, 2);  // left of the clip
    EXPECT_EQ(window_pixel(5, 15), kRgb[4]);
}

TEST_F(GraphicsTest, ResizingChangesTheMaximaButNotTheViewportAndMinimisingGivesZero) {
    HWND w = graphics_context().window_handle;
    platform_testing::resize_client(w, 300, 200);
    dispatch_next_message();  // the repaint
    EXPECT_EQ(get_max_x(), 299);
    EXPECT_EQ(get_max_y(), 199);
    ViewportRecord v{};
    get_view_settings(&v);
    EXPECT_EQ(v.right, 639);
    EXPECT_EQ(v.bottom, 479);
    EXPECT_EQ(journal_lines({"BitBlt", "CreateCompatibleBitmap"}), (Lines{"BitBlt screen 0 0 300 200 page 0 0 " + kSrcCopy}));
    platform_testing::minimize(w);
    dispatch_next_message();  // the repaint
    EXPECT_EQ(get_max_x(), -1);
    EXPECT_EQ(get_max_y(), -1);
}

TEST_F(GraphicsTest, APaletteChangeRebuildsThePaletteObjectAtTheNextFocusOnly) {
    GraphicsContext& g = graphics_context();
    SendMessageA(g.window_handle, WM_PALETTECHANGED, reinterpret_cast<WPARAM>(g.window_handle), 0);
    name(g.palette_handle, "old");
    for (int round = 0; round < 2; ++round) {
        platform_testing::gain_focus(g.window_handle);
        PostMessageA(g.window_handle, WM_NULL, 0, 0);  // a message to take once the focus is handled
        ASSERT_TRUE(dispatch_next_message());
    }
    name(g.palette_handle, "new");
    EXPECT_EQ(journal_lines({"CreatePalette", "SelectPalette", "RealizePalette", "UpdateColors", "DeleteObject"}),
              (Lines{"RealizePalette screen", "UpdateColors screen", "CreatePalette new 256",
                     "SelectPalette screen new 0", "RealizePalette screen", "SelectPalette page new 0",
                     "SelectPalette aux0 new 0", "SelectPalette aux1 new 0", "DeleteObject old"}));
}

TEST_F(GraphicsTest, DestructionReleasesTheWindowsObjectsInOrderAndNothingElse) {
    set_viewport(1, 1, 50, 50, 1);  // a clip region, a pen and a font exist as well
    draw_rectangle(0, 0, 5, 5);
    out_text_xy(0, 0, "x");
    journal_lines();  // names the handles while they are there
    platform_testing::journal_clear();
    close_graphics();
    EXPECT_EQ(journal_lines({"DestroyWindow", "EndPaint", "DeleteDC", "DeleteObject", "PostQuitMessage", "GetMessageA"}),
              (Lines{"DestroyWindow window", "EndPaint window screen", "DeleteDC page", "DeleteDC aux0",
                     "DeleteDC aux1", "DeleteObject page0", "DeleteObject palette", "PostQuitMessage null 0",
                     "GetMessageA null 18 0"}));
}

TEST_F(GraphicsTest, APageNotShownTakesTheDrawingAndShowsItWhenMadeVisual) {
    const GraphicsContext& g = graphics_context();
    set_viewport(10, 20, 100, 200, 1);
    put_pixel(1, 1, 4);  // on page 0, shown
    std::vector<unsigned> before;
    int width = 0;
    int height = 0;
    ASSERT_TRUE(platform_testing::read_window(g.window_handle, &before, &width, &height));
    set_active_page(1);
    put_pixel(2, 2, 2);
    fill_bar(5, 5, 8, 8);
    std::vector<unsigned> after;
    ASSERT_TRUE(platform_testing::read_window(g.window_handle, &after, &width, &height));
    EXPECT_TRUE(after == before) << "drawing on page 1 reached the window while page 0 is shown";
    set_visual_page(1);
    EXPECT_EQ(window_pixel(12, 22), kRgb[2]) << "page 1 is not shown";
    EXPECT_EQ(window_pixel(11, 21), kRgb[0]) << "page 0's pixel shows on page 1, which was made clear";
    EXPECT_EQ(window_pixel(16, 26), kRgb[15]);
    set_visual_page(0);
    set_active_page(0);
    EXPECT_EQ(window_pixel(11, 21), kRgb[4]) << "page 0 lost its pixel";
    EXPECT_EQ(window_pixel(12, 22), kRgb[0]);
    set_visual_page(1);
    EXPECT_EQ(window_pixel(12, 22), kRgb[2]) << "page 1 lost its pixel";
    set_visual_page(16);  // no such page
    EXPECT_EQ(g.visual_page, 1);
}

TEST_F(GraphicsTest, TypedBytesComeBackAsNumbersFrom0To255WhenGetKeyPumps) {
    HWND w = graphics_context().window_handle;
    platform_testing::press_key(w, VK_LEFT);  // keys without a character never reach the ring
    const struct { unsigned char typed; const char* why; } rows[] = {
        {'a', "a letter"}, {27, "Esc"}, {0, "the zero byte"}, {127, "the top 7-bit byte"},
        {128, "negative as a signed char"}, {255, "the last byte"},
    };
    for (const auto& r : rows) platform_testing::type_char(w, r.typed);
    put_pixel(0, 0, 3);  // drawing pumps nothing: all wait in the queue
    EXPECT_EQ(graphics_context().key_ring.read_index, graphics_context().key_ring.write_index);
    for (const auto& r : rows) EXPECT_EQ(get_key(), r.typed) << r.why;
}

TEST_F(GraphicsTest, A300CharacterBurstKeepsTheLast255) {
    HWND w = graphics_context().window_handle;
    for (int i = 1; i <= 300; ++i) SendMessageA(w, WM_CHAR, static_cast<WPARAM>(i & 0xFF), 0);
    for (int i = 46; i <= 300; ++i) ASSERT_EQ(get_key(), i & 0xFF) << "character " << i;
    EXPECT_EQ(graphics_context().key_ring.read_index, graphics_context().key_ring.write_index) << "more were kept";
}

TEST_F(GraphicsTest, ClosingTheWindowWhileGetKeyWaitsGivesEscAndNothingHangs) {
    platform_testing::click_close(graphics_context().window_handle);
    EXPECT_EQ(get_key(), 27);
    EXPECT_EQ(graphics_context().screen_dc, nullptr) << "the window was not destroyed";
    platform_testing::journal_clear();
    EXPECT_EQ(get_key(), 27) << "asked again";
    close_graphics();
    EXPECT_EQ(count_calls("GetMessageA") + count_calls("DestroyWindow"), 0);
}

TEST_F(GraphicsTest, WaitingMessagesAreTakenWithoutWaitingAndAGoneWindowIsReported) {
    HWND w = graphics_context().window_handle;
    platform_testing::type_char(w, 'a');
    platform_testing::type_char(w, 27);
    platform_testing::journal_clear();
    EXPECT_FALSE(key_waiting(27)) << "read before the messages were taken";
    // Twice: the second time nothing waits, and a wait would read the
    // display's input, which has ended, and close the window.
    EXPECT_TRUE(dispatch_waiting_messages());
    EXPECT_TRUE(dispatch_waiting_messages());
    EXPECT_EQ(count_calls("GetMessageA"), 0);
    EXPECT_TRUE(key_waiting(27));
    EXPECT_TRUE(key_waiting('a'));
    EXPECT_FALSE(key_waiting('b'));
    EXPECT_EQ(get_key(), 'a') << "the keys stay for get_key, in order";
    EXPECT_EQ(get_key(), 27);
    EXPECT_FALSE(key_waiting(27)) << "a key already read";
    platform_testing::click_close(w);
    EXPECT_FALSE(dispatch_waiting_messages());
    EXPECT_EQ(graphics_context().screen_dc, nullptr) << "the window was not destroyed";
    EXPECT_FALSE(dispatch_waiting_messages()) << "asked again";
}

TEST_F(GraphicsTest, GetKeyWithTheWindowGoneAnswersAtOnceAndLeavesTheInputUnread) {
    platform_testing::click_close(graphics_context().window_handle);
    ASSERT_EQ(get_key(), 27);
    // Input that has not ended: a wait for a message would read the key.
    int keys[2];
    ASSERT_EQ(pipe(keys), 0);
    ASSERT_EQ(write(keys[1], "k", 1), 1);
    close(keys[1]);  // so that a wrong wait ends rather than hangs
    const int saved_input = dup(headless_input);
    dup2(keys[0], headless_input);
    const int key = get_key();
    int unread = -1;
    ioctl(keys[0], FIONREAD, &unread);
    dup2(saved_input, headless_input);
    for (const int fd : {saved_input, keys[0]}) close(fd);
    EXPECT_EQ(key, 27);
    EXPECT_EQ(unread, 1) << "get_key waited for a message";
}

TEST_F(GraphicsTest, AfterTheWindowWasClosedAtThePromptANewWindowWaitsForARealKey) {
    // The close button as Windows delivers it: a message that the pump
    // dispatches, whose default handling destroys the window.
    PostMessageA(graphics_context().window_handle, WM_CLOSE, 0, 0);
    ASSERT_EQ(get_key(), 27);
    close_graphics();
    ASSERT_NO_FATAL_FAILURE(open_graphics());
    // A key that the headless display reads only once get_key waits on it:
    // a quit message left behind by the old window would end the wait first.
    int keys[2];
    ASSERT_EQ(pipe(keys), 0);
    ASSERT_EQ(write(keys[1], "k", 1), 1);
    const int saved_input = dup(headless_input);
    dup2(keys[0], headless_input);
    const int key = get_key();
    dup2(saved_input, headless_input);
    for (const int fd : {saved_input, keys[0], keys[1]}) close(fd);
    EXPECT_EQ(key, 'k');
}

}  // namespace
