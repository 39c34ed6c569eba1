// Windows and messages: creation order, painting, closing, the queue, keys,
// sizes, start-up failures and the system's message texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <platform_testing.h>
#include <windows.h>

namespace {

struct Seen {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};
std::vector<Seen> g_seen;
// What the test procedure does with WM_PAINT: validate or not.
bool g_validate_paint = true;

LRESULT CALLBACK recording_procedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    g_seen.push_back({m, wp, lp});
    if (m == WM_PAINT && g_validate_paint) {
        ValidateRect(w, nullptr);
        return 0;
    }
    if (m == WM_DESTROY) {
        PostQuitMessage(7);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

std::vector<UINT> messages_seen() {
    std::vector<UINT> out;
    for (const Seen& s : g_seen) out.push_back(s.message);
    return out;
}

bool saw(UINT message) {
    for (const Seen& s : g_seen) {
        if (s.message == message) return true;
    }
    return false;
}

class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("PELMORIX_DISPLAY", "headless", 1);
        unsetenv("PELMORIX_SNAPSHOT");
        platform_testing::reset();
        // Standard input is not the test's: give the headless display a pipe.
        ASSERT_EQ(pipe(input_), 0);
        platform_testing::set_headless_input(input_[0]);
        g_seen.clear();
        g_validate_paint = true;
        WNDCLASSA wc{};
        wc.lpfnWndProc = recording_procedure;
        wc.lpszClassName = "TestCanvas";
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        ASSERT_NE(RegisterClassA(&wc), 0);
    }
    void TearDown() override {
        platform_testing::reset();
        close(input_[0]);
        if (input_[1] >= 0) close(input_[1]);
    }
    HWND create(int width = 648, int height = 507) {
        return CreateWindowExA(0, "TestCanvas", "Title", WS_OVERLAPPEDWINDOW, 0, 0, width, height, nullptr, nullptr,
                               nullptr, nullptr);
    }
    // A window shown and painted, as a program has it before its loop.
    HWND create_shown() {
        HWND w = create();
        ShowWindow(w, SW_SHOWNORMAL);
        UpdateWindow(w);
        return w;
    }
    void end_input() {
        close(input_[1]);
        input_[1] = -1;
    }
    int input_[2] = {-1, -1};
};

TEST_F(Windows, CreationSendsSizeAndUpdateWindowPaintsSynchronously) {
    HWND w = create();
    ASSERT_NE(w, nullptr);
    // WM_SIZE with the client size arrives before CreateWindowExA returns.
    ASSERT_TRUE(saw(WM_SIZE));
    for (const Seen& s : g_seen) {
        if (s.message == WM_SIZE) {
            EXPECT_EQ(LOWORD(s.lparam), 640);
            EXPECT_EQ(HIWORD(s.lparam), 480);
        }
    }
    EXPECT_FALSE(saw(WM_PAINT));
    ShowWindow(w, SW_SHOWNORMAL);
    EXPECT_FALSE(saw(WM_PAINT));  // painting waits for UpdateWindow or the queue
    UpdateWindow(w);
    ASSERT_TRUE(saw(WM_PAINT));
    // Validated: a second UpdateWindow sends nothing.
    g_seen.clear();
    UpdateWindow(w);
    EXPECT_TRUE(g_seen.empty());
    RECT r{};
    ASSERT_TRUE(GetClientRect(w, &r));
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.bottom, 480);
}

TEST_F(Windows, CloseThroughDefaultHandlingDestroysTheWindow) {
    HWND w = create_shown();
    g_seen.clear();
    SendMessageA(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(messages_seen(), (std::vector<UINT>{WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(w));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    // WM_DESTROY posted the quit message: GetMessageA returns 0 with its code.
    MSG m{};
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 7u);
}

TEST_F(Windows, PostedMessagesComeInOrderThenQuit) {
    HWND w = create_shown();
    PostMessageA(w, WM_USER + 1, 1, 0);
    PostQuitMessage(3);
    PostMessageA(w, WM_USER + 2, 2, 0);  // posted after the quit, still delivered before it
    MSG m{};
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);
}

TEST_F(Windows, KeysBecomeCharactersThroughTranslateMessage) {
    HWND w = create_shown();
    g_seen.clear();
    const unsigned char typed[] = {'a', 'Z', 27, 13, 8, 9, ' ', 128, 200, 255};
    for (unsigned char c : typed) platform_testing::type_char(w, c);
    platform_testing::press_key(w, VK_LEFT);  // makes no character
    platform_testing::type_char(w, '!');
    MSG m{};
    int chars = 0;
    std::vector<int> got;
    while (chars < 11 && GetMessageA(&m, nullptr, 0, 0)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
        if (m.message == WM_CHAR) {
            ++chars;
            got.push_back(static_cast<int>(m.wParam));
        }
    }
    EXPECT_EQ(got, (std::vector<int>{'a', 'Z', 27, 13, 8, 9, ' ', 128, 200, 255, '!'}));
    int keydowns = 0;
    for (const Seen& s : g_seen) keydowns += s.message == WM_KEYDOWN;
    EXPECT_EQ(keydowns, 12);
}

TEST_F(Windows, ADoubleClickIsItsOwnMessageOnlyForAClassWithDblclksAndCoordinatesAreSigned) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = recording_procedure;
    wc.lpszClassName = "DoubleClicks";
    wc.style = CS_DBLCLKS;
    ASSERT_NE(RegisterClassA(&wc), 0);
    for (const bool with_dblclks : {false, true}) {
        SCOPED_TRACE(with_dblclks ? "CS_DBLCLKS" : "no CS_DBLCLKS");
        HWND w = CreateWindowExA(0, with_dblclks ? "DoubleClicks" : "TestCanvas", "Title", WS_OVERLAPPEDWINDOW, 0, 0,
                                 648, 507, nullptr, nullptr, nullptr, nullptr);
        ShowWindow(w, SW_SHOWNORMAL);
        UpdateWindow(w);
        g_seen.clear();
        platform_testing::move_pointer(w, 7, 9);
        platform_testing::move_pointer(w, -3, 40);  // the move before it is not queued as well
        for (int clicks = 1; clicks <= 3; ++clicks) {
            platform_testing::press_button(w, MK_LBUTTON, 5, 6, clicks);
            platform_testing::release_button(w, MK_LBUTTON, 5, 6);
        }
        platform_testing::press_button(w, MK_RBUTTON, 1, 2, 2);
        platform_testing::release_button(w, MK_RBUTTON, 1, 2);
        MSG m{};
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE) && m.message != WM_PAINT) DispatchMessageA(&m);
        const UINT left_second = with_dblclks ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
        const UINT right_second = with_dblclks ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN;
        EXPECT_EQ(messages_seen(), (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, left_second,
                                                      WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP, right_second,
                                                      WM_RBUTTONUP}));
        ASSERT_EQ(g_seen.size(), 9u);
        EXPECT_EQ(g_seen[0].wparam, 0u);
        EXPECT_EQ(static_cast<short>(LOWORD(g_seen[0].lparam)), -3);
        EXPECT_EQ(static_cast<short>(HIWORD(g_seen[0].lparam)), 40);
        EXPECT_EQ(g_seen[1].wparam, static_cast<WPARAM>(MK_LBUTTON)) << "the button down with its press";
        EXPECT_EQ(g_seen[1].lparam, MAKELPARAM(5, 6));
        EXPECT_EQ(g_seen[2].wparam, 0u) << "no button down after its release";
        EXPECT_EQ(g_seen[7].wparam, static_cast<WPARAM>(MK_RBUTTON));
        EXPECT_EQ(g_seen[7].lparam, MAKELPARAM(1, 2));
        DestroyWindow(w);
    }
}

TEST_F(Windows, SetWindowTextGoesThroughTheProcedureAndChangesTheTitle) {
    HWND w = create_shown();
    g_seen.clear();
    EXPECT_TRUE(SetWindowTextA(w, "Otro titulo"));
    EXPECT_EQ(messages_seen(), (std::vector<UINT>{WM_SETTEXT}));
    char title[64] = "";
    EXPECT_EQ(GetWindowTextA(w, title, sizeof title), 11);
    EXPECT_STREQ(title, "Otro titulo");
    EXPECT_EQ(GetWindowTextA(w, title, 5), 4) << "cut to the room given";
    EXPECT_STREQ(title, "Otro");
}

TEST_F(Windows, HeadlessInputTypesAndEndOfInputCloses) {
    create_shown();
    g_seen.clear();
    const char bytes[] = "x\033\xF1";
    ASSERT_EQ(write(input_[1], bytes, 3), 3);
    end_input();
    std::vector<int> chars;
    MSG m{};
    while (GetMessageA(&m, nullptr, 0, 0)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
        if (m.message == WM_CHAR) chars.push_back(static_cast<int>(m.wParam));
    }
    EXPECT_EQ(chars, (std::vector<int>{'x', 27, 0xF1}));
    EXPECT_TRUE(saw(WM_CLOSE));
    EXPECT_TRUE(saw(WM_DESTROY));
    EXPECT_EQ(m.wParam, 7u);  // the quit message the procedure posted
    // Nothing can come any more: the queue answers with WM_QUIT, not a hang.
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
}

TEST_F(Windows, SnapshotIsWrittenBeforeWaiting) {
    char dir[] = "/tmp/pelmorix_snapXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/shot.png";
    setenv("PELMORIX_SNAPSHOT", path.c_str(), 1);
    HWND w = create(8 + 10, 27 + 6);
    ShowWindow(w, SW_SHOWNORMAL);
    UpdateWindow(w);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    SetPixel(dc, 3, 2, RGB(255, 0, 0));
    ASSERT_EQ(access(path.c_str(), F_OK), -1);  // not before the program waits
    ASSERT_EQ(write(input_[1], "q", 1), 1);
    MSG m{};
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));  // had to wait for input
    EXPECT_EQ(m.message, static_cast<UINT>(WM_KEYDOWN));
    // The snapshot holds the client area as it stood.
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    unsigned char sig[8];
    ASSERT_EQ(std::fread(sig, 1, 8, f), 8u);
    std::fclose(f);
    EXPECT_EQ(std::memcmp(sig, "\x89PNG\r\n\x1a\n", 8), 0);
    std::vector<unsigned> pixels;
    int width = 0, height = 0;
    ASSERT_TRUE(platform_testing::read_window(w, &pixels, &width, &height));
    EXPECT_EQ(width, 10);
    EXPECT_EQ(height, 6);
    EXPECT_EQ(pixels[2 * 10 + 3], 0xFF0000u);
    EndPaint(w, &ps);
    unsetenv("PELMORIX_SNAPSHOT");
    unlink(path.c_str());
    rmdir(dir);
}

TEST_F(Windows, ResizeMinimizeAndRestoreReportSizes) {
    HWND w = create_shown();
    struct Step {
        const char* label;
        void (*act)(HWND);
        WPARAM kind;
        int width, height;
    } steps[] = {
        {"resized", [](HWND h) { platform_testing::resize_client(h, 300, 200); }, SIZE_RESTORED, 300, 200},
        {"minimised: 0 x 0", [](HWND h) { platform_testing::minimize(h); }, SIZE_MINIMIZED, 0, 0},
        {"restored", [](HWND h) { platform_testing::restore(h); }, SIZE_RESTORED, 300, 200},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.label);
        g_seen.clear();
        s.act(w);
        ASSERT_TRUE(platform_testing::dispatch_pending());
        bool found = false;
        for (const Seen& e : g_seen) {
            if (e.message == WM_SIZE) {
                found = true;
                EXPECT_EQ(e.wparam, s.kind);
                EXPECT_EQ(LOWORD(e.lparam), s.width);
                EXPECT_EQ(HIWORD(e.lparam), s.height);
            }
        }
        EXPECT_TRUE(found);
    }
    // A size change asks for a repaint.
    MSG m{};
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
}

TEST_F(Windows, ShowMaximizedFillsTheScreen) {
    platform_testing::set_headless_screen(800, 600);
    HWND w = create();
    g_seen.clear();
    ShowWindow(w, SW_SHOWMAXIMIZED);
    RECT r{};
    GetClientRect(w, &r);
    EXPECT_EQ(r.right, 800);
    EXPECT_EQ(r.bottom, 600 - 27);
    ASSERT_TRUE(saw(WM_SIZE));
    EXPECT_TRUE(saw(WM_SETFOCUS));
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 800);
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 600);
    EndPaint(w, &ps);
    platform_testing::set_headless_screen(1280, 1024);
}

TEST_F(Windows, CloseButtonGoesThroughTheProcedure) {
    HWND w = create_shown();
    g_seen.clear();
    platform_testing::click_close(w);
    MSG m{};
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(messages_seen(), (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(Windows, StartUpFailures) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = recording_procedure;
    wc.lpszClassName = "testcanvas";  // class names ignore case
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    wc.lpszClassName = "Other";
    platform_testing::fail_next("RegisterClassA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_NE(RegisterClassA(&wc), 0);  // only the next call fails

    platform_testing::fail_next("CreateWindowExA", ERROR_NO_SYSTEM_RESOURCES);
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES));
    EXPECT_EQ(CreateWindowExA(0, "Missing", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(Windows, NoDisplayReachableFailsCreation) {
    setenv("PELMORIX_DISPLAY", "window", 1);
    const char* saved = getenv("DISPLAY");
    const std::string keep = saved != nullptr ? saved : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    SetLastError(0);
    EXPECT_EQ(create(), nullptr);
    const DWORD code = GetLastError();
    EXPECT_NE(code, 0u);
    char text[256] = "";
    EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, sizeof text, nullptr), 0u);
    EXPECT_STREQ(text, "The device is not connected.\r\n");
    if (saved != nullptr) setenv("DISPLAY", keep.c_str(), 1);
    setenv("PELMORIX_DISPLAY", "headless", 1);
}

TEST_F(Windows, SystemMessageTexts) {
    struct Case {
        DWORD code;
        const char* text;
    } cases[] = {
        {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle.\r\n"},
        {ERROR_CLASS_ALREADY_EXISTS, "Class already exists.\r\n"},
        {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command.\r\n"},
        {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
    };
    for (const Case& k : cases) {
        char buffer[256];
        const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, k.code, 0, buffer, 256, nullptr);
        EXPECT_EQ(n, std::strlen(k.text));
        EXPECT_STREQ(buffer, k.text);
    }
    // An unknown code leaves the buffer alone and fails.
    char buffer[16] = "untouched";
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 987654, 0, buffer, 16, nullptr), 0u);
    EXPECT_STREQ(buffer, "untouched");
    // Too small a buffer fails too.
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_INVALID_PARAMETER, 0, buffer, 16, nullptr), 0u);
}

TEST_F(Windows, ObjectsOfAClosedWindowAreGone) {
    HWND w = create_shown();
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    ASSERT_NE(dc, nullptr);
    EXPECT_NE(SetPixel(dc, 1, 1, RGB(1, 2, 3)), CLR_INVALID);
    DestroyWindow(w);
    // The window DC has no surface any more: drawing does nothing.
    EXPECT_EQ(SetPixel(dc, 1, 1, RGB(1, 2, 3)), CLR_INVALID);
    EXPECT_FALSE(ShowWindow(w, SW_SHOWNORMAL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    // Handles are not reused while stale: a new object does not answer to an old handle.
    HBRUSH b = CreateSolidBrush(RGB(1, 1, 1));
    DeleteObject(b);
    HBRUSH b2 = CreateSolidBrush(RGB(2, 2, 2));
    EXPECT_NE(b, b2);
    EXPECT_FALSE(DeleteObject(b));
    DeleteObject(b2);
}

TEST_F(Windows, JournalRecordsCallsWithTheirTargets) {
    HWND w = create_shown();
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    platform_testing::journal_clear();
    platform_testing::journal_enable(true);
    SetTextColor(dc, PALETTEINDEX(31));
    SetPixel(dc, 4, 5, PALETTEINDEX(21));
    platform_testing::journal_enable(false);
    SetPixel(dc, 0, 0, 0);  // not recorded
    const auto& calls = platform_testing::journal();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "SetTextColor");
    EXPECT_EQ(calls[0].target, dc);
    EXPECT_EQ(calls[0].args, (std::vector<long long>{0x0100001F}));
    EXPECT_EQ(calls[1].function, "SetPixel");
    EXPECT_EQ(calls[1].args, (std::vector<long long>{4, 5, 0x01000015}));
    EndPaint(w, &ps);
}

}  // namespace
