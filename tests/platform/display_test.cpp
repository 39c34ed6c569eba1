// The displays behind the platform layer (headless and desktop) and the PNG
// writer, driven directly rather than through the Win32 calls.
#include <SDL.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform_internal.h"

namespace pelmorix_platform {
// Test hook in display_sdl.cpp: the pixels of a window's SDL framebuffer.
extern bool sdl_display_read_back(const WindowObject& window, std::vector<std::uint32_t>* pixels, int* width,
                                  int* height);
}  // namespace pelmorix_platform

// The desktop display's system libraries keep a few allocations for the
// life of the process (D-Bus, used for input methods); they are not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace {

using pelmorix_platform::Display;
using pelmorix_platform::DisplayEvent;
using pelmorix_platform::Surface;
using pelmorix_platform::WindowObject;
using Type = DisplayEvent::Type;

HWND fake_handle(std::uintptr_t n) { return reinterpret_cast<HWND>(n * 0x100); }

void fill_surface(Surface& s, int w, int h, std::uint32_t color) {
    s.width = w;
    s.height = h;
    s.pixels.assign(static_cast<std::size_t>(w) * h, color);
}

const char* type_name(Type t) {
    switch (t) {
        case Type::Char: return "Char";
        case Type::Key: return "Key";
        case Type::Close: return "Close";
        case Type::Resize: return "Resize";
        case Type::Minimize: return "Minimize";
        case Type::Restore: return "Restore";
        case Type::Focus: return "Focus";
        case Type::Expose: return "Expose";
        case Type::EndOfInput: return "EndOfInput";
        case Type::Pointer: return "Pointer";
        case Type::Button: return "Button";
    }
    return "?";
}

std::string describe(const std::vector<DisplayEvent>& events) {
    std::string s;
    for (const DisplayEvent& e : events) {
        s += type_name(e.type);
        s += "(ch=" + std::to_string(e.ch) + " vk=" + std::to_string(e.vk) + " " + std::to_string(e.width) + "x" +
             std::to_string(e.height) + ") ";
    }
    return s;
}

// A pipe whose ends close with the test.
struct Pipe {
    int read_end = -1;
    int write_end = -1;
    Pipe() {
        int fds[2];
        if (pipe(fds) == 0) {
            read_end = fds[0];
            write_end = fds[1];
        }
    }
    ~Pipe() {
        close_write();
        if (read_end >= 0) close(read_end);
    }
    void close_write() {
        if (write_end >= 0) close(write_end);
        write_end = -1;
    }
    void put(const std::vector<unsigned char>& bytes) const {
        ASSERT_EQ(write(write_end, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
};

// ---------------------------------------------------------------------------
// Headless display

TEST(HeadlessDisplay, ReportsTheScreenSizeItWasGiven) {
    auto d = pelmorix_platform::make_headless_display(0, 800, 600);
    int w = 0, h = 0;
    d->screen_size(&w, &h);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    auto other = pelmorix_platform::make_headless_display(0, 1920, 1080);
    other->screen_size(&w, &h);
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);
}

TEST(HeadlessDisplay, WindowsOpenAndPresentingClearsDirty) {
    auto d = pelmorix_platform::make_headless_display(0, 640, 480);
    WindowObject w;
    fill_surface(w.surface, 4, 3, 0x123456);
    EXPECT_TRUE(d->open_window(fake_handle(1), w));
    w.dirty = true;
    d->present(w);
    EXPECT_FALSE(w.dirty);
    EXPECT_EQ(w.surface.pixels[0], 0x123456u) << "presenting must not touch the surface";
    d->close_window(w);
}

TEST(HeadlessDisplay, BytesArriveAsCharsInOrder) {
    Pipe p;
    ASSERT_GE(p.read_end, 0);
    auto d = pelmorix_platform::make_headless_display(p.read_end, 640, 480);
    WindowObject w;
    HWND h = fake_handle(7);
    ASSERT_TRUE(d->open_window(h, w));

    struct Row {
        unsigned char byte;
        UINT vk;  // the virtual key reported with it
    };
    const Row rows[] = {
        {'a', 'A'},         // lower-case letter: the letter's key
        {0, 0},             // NUL is a character like any other
        {27, VK_ESCAPE},    // Escape
        {13, VK_RETURN},    // carriage return
        {10, VK_RETURN},    // line feed, as a terminal sends for Enter
        {128, 0},           // high bytes are not sign-extended ...
        {255, 0},           // ... up to the last one
        {'Z', 'Z'},         // upper-case letter
        {'7', '7'},         // digit
        {' ', VK_SPACE},    // space
        {8, VK_BACK},       // backspace
        {9, VK_TAB},        // tab
        {3, 'C'},           // Ctrl+C typed in raw mode
    };
    std::vector<unsigned char> bytes;
    for (const Row& r : rows) bytes.push_back(r.byte);
    p.put(bytes);

    std::vector<DisplayEvent> events;
    while (events.size() < bytes.size()) {
        std::size_t before = events.size();
        d->wait(events);
        ASSERT_GT(events.size(), before) << "wait returned without an event";
    }
    ASSERT_EQ(events.size(), bytes.size()) << describe(events);
    for (std::size_t i = 0; i < events.size(); ++i) {
        SCOPED_TRACE("byte #" + std::to_string(i) + " = " + std::to_string(rows[i].byte));
        EXPECT_EQ(events[i].type, Type::Char);
        EXPECT_EQ(events[i].ch, rows[i].byte);
        EXPECT_EQ(events[i].vk, rows[i].vk);
        EXPECT_EQ(events[i].window, h);
    }
}

TEST(HeadlessDisplay, EndOfInputIsReportedAndRepeatedWithoutReading) {
    Pipe p;
    ASSERT_GE(p.read_end, 0);
    auto d = pelmorix_platform::make_headless_display(p.read_end, 640, 480);
    WindowObject w;
    HWND h = fake_handle(3);
    ASSERT_TRUE(d->open_window(h, w));

    p.put({'q'});
    p.close_write();
    std::vector<DisplayEvent> events;
    d->wait(events);
    ASSERT_EQ(events.size(), 1u) << describe(events);
    EXPECT_EQ(events[0].type, Type::Char);
    EXPECT_EQ(events[0].ch, 'q');

    events.clear();
    d->wait(events);
    ASSERT_EQ(events.size(), 1u) << describe(events);
    EXPECT_EQ(events[0].type, Type::EndOfInput);
    EXPECT_EQ(events[0].window, h);

    // Put fresh, readable input behind the same descriptor: a display that
    // read again after the end would now see a character instead.
    Pipe fresh;
    ASSERT_GE(dup2(fresh.read_end, p.read_end), 0);
    fresh.put({'x'});
    events.clear();
    d->wait(events);
    ASSERT_EQ(events.size(), 1u) << describe(events);
    EXPECT_EQ(events[0].type, Type::EndOfInput);
    ASSERT_EQ(fcntl(fresh.read_end, F_SETFL, O_NONBLOCK), 0);
    char c = 0;
    EXPECT_EQ(read(fresh.read_end, &c, 1), 1) << "the byte after the end was consumed";
    EXPECT_EQ(c, 'x');
}

TEST(HeadlessDisplay, ReadErrorIsEndOfInput) {
    // A descriptor that is not open: read fails with EBADF.
    Pipe p;
    int fd = p.read_end;
    ASSERT_GE(fd, 0);
    close(p.read_end);
    p.read_end = -1;
    auto d = pelmorix_platform::make_headless_display(fd, 640, 480);
    std::vector<DisplayEvent> events;
    d->wait(events);
    ASSERT_EQ(events.size(), 1u) << describe(events);
    EXPECT_EQ(events[0].type, Type::EndOfInput);
    EXPECT_EQ(events[0].window, nullptr) << "no window is open";
}

TEST(HeadlessDisplay, TwoWritesAreDeliveredInOrderOverSuccessiveWaits) {
    Pipe p;
    ASSERT_GE(p.read_end, 0);
    auto d = pelmorix_platform::make_headless_display(p.read_end, 640, 480);
    WindowObject w;
    ASSERT_TRUE(d->open_window(fake_handle(1), w));

    // Both writes queued before the first wait.
    p.put({'a', 'b', 'c'});
    p.put({'d', 'e'});
    std::string got;
    std::vector<DisplayEvent> events;
    while (got.size() < 5) {
        events.clear();
        d->wait(events);
        ASSERT_FALSE(events.empty());
        for (const DisplayEvent& e : events) {
            ASSERT_EQ(e.type, Type::Char) << describe(events);
            got += static_cast<char>(e.ch);
        }
    }
    EXPECT_EQ(got, "abcde");

    // One write per wait.
    p.put({'f', 'g'});
    events.clear();
    d->wait(events);
    p.put({'h'});
    d->wait(events);
    got.clear();
    for (const DisplayEvent& e : events) got += static_cast<char>(e.ch);
    EXPECT_EQ(got, "fgh");
}

TEST(HeadlessDisplay, PollDeliversNothingAndLeavesInputForWait) {
    Pipe p;
    ASSERT_GE(p.read_end, 0);
    auto d = pelmorix_platform::make_headless_display(p.read_end, 640, 480);
    WindowObject w;
    ASSERT_TRUE(d->open_window(fake_handle(1), w));
    p.put({'k'});
    std::vector<DisplayEvent> events;
    d->poll(events);
    EXPECT_TRUE(events.empty()) << describe(events);
    d->wait(events);
    ASSERT_EQ(events.size(), 1u) << describe(events);
    EXPECT_EQ(events[0].ch, 'k');
}

TEST(HeadlessDisplay, TypingGoesToTheNewestOpenWindow) {
    Pipe p;
    ASSERT_GE(p.read_end, 0);
    auto d = pelmorix_platform::make_headless_display(p.read_end, 640, 480);
    WindowObject first, second;
    HWND h1 = fake_handle(1), h2 = fake_handle(2);
    ASSERT_TRUE(d->open_window(h1, first));
    ASSERT_TRUE(d->open_window(h2, second));

    struct Step {
        WindowObject* close_before;  // closed before the byte is typed (null: none)
        HWND expected;               // window that receives it
    };
    const Step steps[] = {
        {nullptr, h2},  // both open: the newer one
        {&second, h1},  // newest closed: back to the older one
        {&first, nullptr},  // none left: the event carries no window
    };
    for (const Step& s : steps) {
        if (s.close_before != nullptr) d->close_window(*s.close_before);
        p.put({'x'});
        std::vector<DisplayEvent> events;
        d->wait(events);
        ASSERT_EQ(events.size(), 1u) << describe(events);
        EXPECT_EQ(events[0].window, s.expected);
    }
}

TEST(HeadlessDisplay, TerminalIsRawOnlyWhileReading) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(slave, &before), 0);
    before.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(tcsetattr(slave, TCSANOW, &before), 0);

    // Type two characters without a newline once the terminal is raw; in
    // canonical mode the read would wait for the end of the line, and with
    // echo on they would come back out of the master.
    std::atomic<bool> typed{false};
    std::thread typist([&] {
        for (int i = 0; i < 5000; ++i) {
            termios now{};
            if (tcgetattr(slave, &now) == 0 && (now.c_lflag & ICANON) == 0) {
                typed = write(master, "ab", 2) == 2;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        typed = write(master, "\n", 1) == 1;  // never went raw: let the read finish
    });
    auto d = pelmorix_platform::make_headless_display(slave, 640, 480);
    std::vector<DisplayEvent> events;
    d->wait(events);
    typist.join();
    EXPECT_TRUE(typed.load());
    std::string got;
    for (const DisplayEvent& e : events) got += static_cast<char>(e.ch);
    EXPECT_EQ(got, "ab");

    termios after{};
    ASSERT_EQ(tcgetattr(slave, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag) << "terminal settings not restored";
    EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);

    ASSERT_EQ(fcntl(master, F_SETFL, O_NONBLOCK), 0);
    char echo[16];
    ssize_t echoed = read(master, echo, sizeof echo);
    EXPECT_LE(echoed, 0) << "typed characters were echoed";
    close(slave);
    close(master);
}

// ---------------------------------------------------------------------------
// PNG writer

class PngTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "pngtestXXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        ASSERT_NE(mkdtemp(buf.data()), nullptr);
        dir_ = buf.data();
    }
    void TearDown() override {
        for (const std::string& name : entries()) std::remove((dir_ + "/" + name).c_str());
        rmdir((dir_ + "/sub").c_str());
        rmdir(dir_.c_str());
    }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        DIR* d = opendir(dir_.c_str());
        if (d == nullptr) return names;
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
        return names;
    }

    std::string dir_;
};

struct Decoded {
    bool ok = false;
    int bit_depth = 0;
    int color_type = -1;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB
};

std::uint32_t be32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// Reads a PNG back: the header fields straight from the IHDR chunk, the
// pixels through libpng.
Decoded read_png(const std::string& path) {
    Decoded d;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return d;
    unsigned char head[33];
    bool got_head = std::fread(head, 1, sizeof head, f) == sizeof head;
    std::fclose(f);
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!got_head || std::memcmp(head, kSignature, 8) != 0 || std::memcmp(head + 12, "IHDR", 4) != 0) return d;
    d.bit_depth = head[24];
    d.color_type = head[25];

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return d;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return d;
    }
    d.width = static_cast<int>(image.width);
    d.height = static_cast<int>(image.height);
    EXPECT_EQ(be32(head + 16), image.width);
    EXPECT_EQ(be32(head + 20), image.height);
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
        d.pixels.push_back((std::uint32_t{rgb[i]} << 16) | (std::uint32_t{rgb[i + 1]} << 8) | rgb[i + 2]);
    }
    d.ok = true;
    return d;
}

Surface gradient_surface(int w, int h, std::uint32_t seed) {
    Surface s;
    s.width = w;
    s.height = h;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint32_t r = (x * 255 / std::max(1, w - 1)) & 0xFF;
            std::uint32_t g = (y * 255 / std::max(1, h - 1)) & 0xFF;
            std::uint32_t b = (seed + 37u * static_cast<std::uint32_t>(x + y)) & 0xFF;
            s.pixels.push_back((r << 16) | (g << 8) | b);
        }
    }
    return s;
}

TEST_F(PngTest, EveryPixelReadsBackExactly) {
    Surface s = gradient_surface(7, 5, 11);
    // Exact colours that catch swapped or truncated channels.
    const struct {
        int x, y;
        std::uint32_t color;
    } exact[] = {
        {0, 0, 0x000000},  // black
        {6, 0, 0xFFFFFF},  // white
        {0, 4, 0xFF0000},  // pure red: red must not land in blue
        {6, 4, 0x0000FF},  // pure blue
        {3, 2, 0x00FF00},  // pure green
        {1, 1, 0x123456},  // three different bytes
        {5, 3, 0x80017F},  // values around the sign bit
    };
    for (const auto& e : exact) s.pixels[static_cast<std::size_t>(e.y) * s.width + e.x] = e.color;

    std::string path = dir_ + "/image.png";
    ASSERT_TRUE(pelmorix_platform::write_png(path.c_str(), s));
    Decoded d = read_png(path);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.bit_depth, 8);
    EXPECT_EQ(d.color_type, PNG_COLOR_TYPE_RGB);
    ASSERT_EQ(d.width, 7);
    ASSERT_EQ(d.height, 5);
    ASSERT_EQ(d.pixels.size(), s.pixels.size());
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            std::size_t i = static_cast<std::size_t>(y) * 7 + x;
            EXPECT_EQ(d.pixels[i], s.pixels[i]) << "pixel (" << x << ", " << y << ")";
        }
    }
    EXPECT_EQ(entries(), std::vector<std::string>{"image.png"}) << "temporary file left behind";
}

TEST_F(PngTest, RewritingReplacesTheWholeFile) {
    std::string path = dir_ + "/shot.png";
    Surface big = gradient_surface(40, 30, 1);
    Surface small = gradient_surface(3, 2, 200);
    ASSERT_TRUE(pelmorix_platform::write_png(path.c_str(), big));
    ASSERT_TRUE(pelmorix_platform::write_png(path.c_str(), small));
    Decoded d = read_png(path);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, 3);
    EXPECT_EQ(d.height, 2);
    EXPECT_EQ(d.pixels, std::vector<std::uint32_t>(small.pixels.begin(), small.pixels.end()));
    EXPECT_EQ(entries(), std::vector<std::string>{"shot.png"});
}

TEST_F(PngTest, FailuresReturnFalseAndLeaveNoFiles) {
    Surface s = gradient_surface(4, 4, 5);
    Surface empty;
    Surface short_pixels = gradient_surface(4, 4, 5);
    short_pixels.pixels.resize(10);  // fewer than width * height
    ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0700), 0);

    const struct {
        const char* what;
        std::string path;
        const Surface* surface;
    } cases[] = {
        {"directory does not exist", dir_ + "/missing/x.png", &s},
        {"target is a directory: the temporary file is made, then the rename fails", dir_ + "/sub", &s},
        {"0 x 0 surface", dir_ + "/empty.png", &empty},
        {"surface with too few pixels", dir_ + "/short.png", &short_pixels},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(pelmorix_platform::write_png(c.path.c_str(), *c.surface));
        EXPECT_EQ(entries(), std::vector<std::string>{"sub"});
    }
    struct stat st{};
    ASSERT_EQ(stat((dir_ + "/sub").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << "the directory was replaced";
}

// ---------------------------------------------------------------------------
// Desktop display (SDL); needs an X display.

// Exit codes of a child that tried to open the desktop display.
constexpr int kRefused = 0;       // null with ERROR_DEVICE_NOT_CONNECTED
constexpr int kOpened = 1;        // a display was returned
constexpr int kWrongError = 2;    // null with another error

int open_display_in_child(void (*setup)()) {
    pid_t pid = fork();
    if (pid == 0) {
        setup();
        DWORD error = 0;
        auto d = pelmorix_platform::make_window_display(&error);
        int code = d != nullptr ? kOpened : error == ERROR_DEVICE_NOT_CONNECTED ? kRefused : kWrongError;
        _exit(code);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(WindowDisplay, RefusedWithoutARealDisplay) {
    const struct {
        const char* what;
        void (*setup)();
    } cases[] = {
        {"no display named", [] {
             unsetenv("DISPLAY");
             unsetenv("WAYLAND_DISPLAY");
             unsetenv("SDL_VIDEODRIVER");
         }},
        {"display named but no server there", [] {
             setenv("DISPLAY", ":31999", 1);
             unsetenv("WAYLAND_DISPLAY");
             unsetenv("SDL_VIDEODRIVER");
             setenv("XDG_RUNTIME_DIR", "/nonexistent-pelmorix-runtime", 1);  // no compositor either
         }},
        {"dummy driver forced", [] { setenv("SDL_VIDEODRIVER", "dummy", 1); }},
        {"offscreen driver forced", [] { setenv("SDL_VIDEODRIVER", "offscreen", 1); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(open_display_in_child(c.setup), kRefused);
    }
}

// A window on the desktop display, closed when the test ends.
struct SdlWindow {
    Display* display;
    WindowObject object;
    HWND handle;
    bool open = false;
    SdlWindow(Display* d, HWND h, int w, int hgt, std::uint32_t color, const std::string& title)
        : display(d), handle(h) {
        fill_surface(object.surface, w, hgt, color);
        object.title = title;
        object.style = WS_OVERLAPPEDWINDOW;
        open = display->open_window(handle, object);
    }
    ~SdlWindow() {
        if (open) display->close_window(object);
    }
    SdlWindow(const SdlWindow&) = delete;
    SdlWindow& operator=(const SdlWindow&) = delete;

    void show() {
        object.visible = true;
        display->show_window(object);
    }

    // The SDL window, found by its (unique) title.
    SDL_Window* sdl() const {
        for (Uint32 id = 1; id < 1000; ++id) {
            SDL_Window* w = SDL_GetWindowFromID(id);
            if (w != nullptr && object.title == SDL_GetWindowTitle(w)) return w;
        }
        return nullptr;
    }
};

class WindowDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
        // One screen pixel per client pixel, whatever the screen (the scale
        // has a test of its own).
        setenv("PELMORIX_SCALE", "1", 1);
        // An X server without clients resets itself (unless run with
        // -noreset) and drops connections meanwhile; give it a moment.
        DWORD error = 0;
        for (int attempt = 0; attempt < 20 && display_ == nullptr; ++attempt) {
            if (attempt > 0) SDL_Delay(50);
            display_ = pelmorix_platform::make_window_display(&error);
        }
        ASSERT_NE(display_, nullptr) << "error " << error << ": " << SDL_GetError();
    }

    // Lets the window system settle, then drops what it reported.
    void drain() {
        std::vector<DisplayEvent> ignored;
        for (int i = 0; i < 10; ++i) {
            SDL_Delay(20);
            display_->poll(ignored);
        }
    }

    std::unique_ptr<Display> display_;
};

TEST_F(WindowDisplayTest, OpensHiddenAtTheClientSize) {
    int sw = 0, sh = 0;
    display_->screen_size(&sw, &sh);
    EXPECT_GT(sw, 0);
    EXPECT_GT(sh, 0);

    SdlWindow win(display_.get(), fake_handle(1), 64, 48, 0x204060, "pelmorix-open-test");
    ASSERT_TRUE(win.open);
    SDL_Window* sdl = win.sdl();
    ASSERT_NE(sdl, nullptr) << "no SDL window with the window's title";
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN, 0u) << "visible before show_window";
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 48);
    win.show();
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN, 0u);
}

TEST_F(WindowDisplayTest, PresentCopiesTheSurface) {
    SdlWindow win(display_.get(), fake_handle(1), 64, 48, 0x3366CC, "pelmorix-present-test");
    ASSERT_TRUE(win.open);
    // Distinct corners show up any flip or channel swap.
    win.object.surface.pixels[0] = 0xFF0000;
    win.object.surface.pixels[63] = 0x00FF00;
    win.object.surface.pixels[47 * 64] = 0x0000FF;
    win.object.surface.pixels[47 * 64 + 63] = 0xFFFFFF;
    win.show();
    drain();
    win.object.dirty = true;
    display_->present(win.object);
    EXPECT_FALSE(win.object.dirty);

    std::vector<std::uint32_t> pixels;
    int w = 0, h = 0;
    ASSERT_TRUE(pelmorix_platform::sdl_display_read_back(win.object, &pixels, &w, &h));
    ASSERT_EQ(w, 64);
    ASSERT_EQ(h, 48);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (pixels[i] != win.object.surface.pixels[i] && wrong++ < 5) {
            ADD_FAILURE() << "pixel " << i % 64 << "," << i / 64 << ": " << std::hex << pixels[i] << " != "
                          << win.object.surface.pixels[i];
        }
    }
    EXPECT_EQ(wrong, 0u);
}

TEST_F(WindowDisplayTest, SmallerSurfaceIsPaddedWithBlack) {
    SdlWindow win(display_.get(), fake_handle(1), 64, 48, 0x3366CC, "pelmorix-resize-test");
    ASSERT_TRUE(win.open);
    win.show();
    drain();
    // The client surface shrank, the SDL window has not followed yet.
    fill_surface(win.object.surface, 32, 20, 0xABCDEF);
    display_->present(win.object);
    std::vector<std::uint32_t> pixels;
    int w = 0, h = 0;
    ASSERT_TRUE(pelmorix_platform::sdl_display_read_back(win.object, &pixels, &w, &h));
    ASSERT_EQ(w, 64);
    ASSERT_EQ(h, 48);
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint32_t expected = x < 32 && y < 20 ? 0xABCDEFu : 0u;
            if (pixels[static_cast<std::size_t>(y) * w + x] != expected) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);

    // Showing the window again makes it follow the surface size.
    display_->show_window(win.object);
    ASSERT_TRUE(pelmorix_platform::sdl_display_read_back(win.object, &pixels, &w, &h));
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 20);
    EXPECT_EQ(pixels, std::vector<std::uint32_t>(win.object.surface.pixels.begin(), win.object.surface.pixels.end()));
}

SDL_Event key_event(Uint32 window_id, SDL_Keycode sym, Uint16 mod) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_KEYDOWN;
    e.key.windowID = window_id;
    e.key.state = SDL_PRESSED;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
    e.key.keysym.mod = mod;
    return e;
}

SDL_Event text_event(Uint32 window_id, const char* text) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_TEXTINPUT;
    e.text.windowID = window_id;
    std::snprintf(e.text.text, sizeof e.text.text, "%s", text);
    return e;
}

SDL_Event pointer_event(Uint32 window_id, Uint32 type, int x, int y, Uint8 button = 0, Uint8 clicks = 0) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
        e.motion.windowID = window_id;
        e.motion.x = x;
        e.motion.y = y;
    } else {
        e.button.windowID = window_id;
        e.button.x = x;
        e.button.y = y;
        e.button.button = button;
        e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = clicks;
    }
    return e;
}

SDL_Event window_event(Uint32 window_id, Uint8 what, int data1 = 0, int data2 = 0) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = window_id;
    e.window.event = what;
    e.window.data1 = data1;
    e.window.data2 = data2;
    return e;
}

TEST_F(WindowDisplayTest, ShowingAtTheReportedSizeDoesNotResizeAgain) {
    SdlWindow win(display_.get(), fake_handle(1), 64, 48, 0x102030, "pelmorix-known-size-test");
    ASSERT_TRUE(win.open);
    win.show();
    drain();
    SDL_Window* sdl = win.sdl();
    ASSERT_NE(sdl, nullptr);

    // The window system reports a size (as while the user drags a border);
    // the program follows with its surface. Pushing that size back would
    // fight the drag, so the SDL window is left alone.
    SDL_Event e = window_event(SDL_GetWindowID(sdl), SDL_WINDOWEVENT_SIZE_CHANGED, 100, 70);
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    std::vector<DisplayEvent> got;
    display_->poll(got);
    fill_surface(win.object.surface, 100, 70, 0x102030);
    display_->show_window(win.object);
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 48);

    // A size of the program's own choosing is applied.
    fill_surface(win.object.surface, 90, 60, 0x102030);
    display_->show_window(win.object);
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ(w, 90);
    EXPECT_EQ(h, 60);
}

// Drops what the window system may report on its own at any time.
std::vector<DisplayEvent> without_system_noise(const std::vector<DisplayEvent>& events) {
    std::vector<DisplayEvent> kept;
    for (const DisplayEvent& e : events) {
        if (e.type != Type::Expose && e.type != Type::Focus) kept.push_back(e);
    }
    return kept;
}

// Pushes one SDL event and returns what the display made of it.
std::vector<DisplayEvent> translate(Display& display, SDL_Event event) {
    EXPECT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
    std::vector<DisplayEvent> got;
    display.poll(got);
    return without_system_noise(got);
}

// PELMORIX_SCALE: each client pixel shows as an N x N block on the screen,
// while sizes the layer above hears about stay in client pixels.
TEST_F(WindowDisplayTest, ScaleComesFromTheEnvironment) {
    const struct {
        const char* value;  // null: unset
        int scale;          // 0: as when unset
        bool reported;      // one line on standard error
    } rows[] = {
        {nullptr, 0, false},  // the display's own density decides
        {"1", 1, false},
        {"2", 2, false},
        {"3", 3, false},
        {"8", 8, false},      // the largest
        {"", 0, false},       // empty counts as unset
        {"0", 0, true},       // below the range
        {"9", 0, true},       // above it
        {"2x", 0, true},      // not a whole number
        {" 2", 0, true},
        {"-1", 0, true},
    };
    int unset_scale = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.value == nullptr ? std::string("unset") : "\"" + std::string(r.value) + "\"");
        display_.reset();
        if (r.value == nullptr) {
            unsetenv("PELMORIX_SCALE");
        } else {
            setenv("PELMORIX_SCALE", r.value, 1);
        }
        // Said once, by the start-up report; the display then reads it as unset.
        testing::internal::CaptureStderr();
        pelmorix_platform::report_settings();
        DWORD error = 0;
        display_ = pelmorix_platform::make_window_display(&error);
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_NE(display_, nullptr) << "error " << error << ": " << SDL_GetError();
        if (r.reported) {
            EXPECT_EQ(said, "pelmorix: PELMORIX_SCALE=" + std::string(r.value) +
                                " ignored: the scale is a whole number from 1 to 8\n");
        } else {
            EXPECT_EQ(said, "");
        }

        SdlWindow win(display_.get(), fake_handle(3), 24, 10, 0, "pelmorix-scale-test");
        ASSERT_TRUE(win.open);
        for (std::size_t i = 0; i < win.object.surface.pixels.size(); ++i) {
            win.object.surface.pixels[i] = static_cast<std::uint32_t>(i * 0x010203u) & 0xFFFFFFu;  // no two alike
        }
        win.show();
        drain();
        display_->present(win.object);
        std::vector<std::uint32_t> pixels;
        int w = 0, h = 0;
        ASSERT_TRUE(pelmorix_platform::sdl_display_read_back(win.object, &pixels, &w, &h));
        ASSERT_EQ(w % 24, 0);
        const int scale = w / 24;
        if (r.value == nullptr) unset_scale = scale;
        EXPECT_EQ(scale, r.scale != 0 ? r.scale : unset_scale);
        ASSERT_GE(scale, 1);
        ASSERT_EQ(h, 10 * scale);
        int wrong = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                wrong += pixels[static_cast<std::size_t>(y) * w + x] !=
                         win.object.surface.pixels[static_cast<std::size_t>(y / scale) * 24 + x / scale];
            }
        }
        EXPECT_EQ(wrong, 0) << "screen pixels that are not their client pixel's";

        // The screen and the window system's sizes, in client pixels.
        int sw = 0, sh = 0;
        display_->screen_size(&sw, &sh);
        SDL_DisplayMode mode;
        ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0);
        EXPECT_EQ(sw, mode.w / scale);
        EXPECT_EQ(sh, mode.h / scale);
        const Uint32 id = SDL_GetWindowID(win.sdl());
        // Not a whole number of blocks at any scale but 1: the part block is dropped.
        std::vector<DisplayEvent> got =
            translate(*display_, window_event(id, SDL_WINDOWEVENT_SIZE_CHANGED, 8 * 24 + 1, 8 * 10 + 1));
        ASSERT_EQ(got.size(), 1u) << describe(got);
        EXPECT_EQ(got[0].width, (8 * 24 + 1) / scale);
        EXPECT_EQ(got[0].height, (8 * 10 + 1) / scale);
        // A size of the program's own is set in screen pixels.
        fill_surface(win.object.surface, 30, 12, 0x102030);
        display_->show_window(win.object);
        SDL_GetWindowSize(win.sdl(), &w, &h);
        EXPECT_EQ(w, 30 * scale);
        EXPECT_EQ(h, 12 * scale);
        drain();  // the window system's own report of that size
        // Maximising reports the window's size then, in client pixels too.
        got = translate(*display_, window_event(id, SDL_WINDOWEVENT_MAXIMIZED));
        ASSERT_EQ(got.size(), 1u) << describe(got);
        EXPECT_EQ(got[0].width, 30);
        EXPECT_EQ(got[0].height, 12);
    }
}

TEST_F(WindowDisplayTest, InputIsTranslated) {
    SdlWindow win(display_.get(), fake_handle(5), 40, 30, 0, "pelmorix-input-test");
    ASSERT_TRUE(win.open);
    win.show();
    drain();
    SDL_Window* sdl = win.sdl();
    ASSERT_NE(sdl, nullptr);
    Uint32 id = SDL_GetWindowID(sdl);

    struct Row {
        SDL_Event event;
        std::vector<DisplayEvent> expected;  // type, ch, vk
    };
    auto chr = [&](unsigned char ch, UINT vk) {
        DisplayEvent e;
        e.type = Type::Char;
        e.ch = ch;
        e.vk = vk;
        return e;
    };
    auto key = [&](UINT vk) {
        DisplayEvent e;
        e.type = Type::Key;
        e.vk = vk;
        return e;
    };
    auto pointer = [&](Type type, int x, int y, UINT button = 0, bool pressed = false, int clicks = 1) {
        DisplayEvent e;
        e.type = type;
        e.x = x;
        e.y = y;
        e.button = button;
        e.pressed = pressed;
        e.clicks = clicks;
        return e;
    };
    const Row rows[] = {
        // Text: one Char per character below 256; Latin-1 becomes single bytes.
        {text_event(id, "a"), {chr('a', 'A')}},
        {text_event(id, "Z9 "), {chr('Z', 'Z'), chr('9', '9'), chr(' ', VK_SPACE)}},
        {text_event(id, "\xC3\xA9\xC3\xBF\xC2\x80"), {chr(0xE9, 0), chr(0xFF, 0), chr(0x80, 0)}},  // é ÿ U+0080
        {text_event(id, "\xE2\x82\xAC" "b"), {chr('b', 'B')}},  // the euro sign has no byte: dropped
        // Keys that type control characters.
        {key_event(id, SDLK_ESCAPE, KMOD_NONE), {chr(27, VK_ESCAPE)}},
        {key_event(id, SDLK_RETURN, KMOD_NONE), {chr(13, VK_RETURN)}},
        {key_event(id, SDLK_KP_ENTER, KMOD_NONE), {chr(13, VK_RETURN)}},
        {key_event(id, SDLK_BACKSPACE, KMOD_NONE), {chr(8, VK_BACK)}},
        {key_event(id, SDLK_TAB, KMOD_NONE), {chr(9, VK_TAB)}},
        {key_event(id, SDLK_a, KMOD_LCTRL), {chr(1, 'A')}},
        {key_event(id, SDLK_z, KMOD_RCTRL | KMOD_LSHIFT), {chr(26, 'Z')}},
        // A system that also sends the letter of a Ctrl chord as text: ignored.
        {key_event(id, SDLK_c, KMOD_LCTRL), {chr(3, 'C')}},
        {text_event(id, "c"), {}},
        // Keys that type nothing.
        {key_event(id, SDLK_LEFT, KMOD_NONE), {key(VK_LEFT)}},
        {key_event(id, SDLK_DOWN, KMOD_NONE), {key(VK_DOWN)}},
        {key_event(id, SDLK_F1, KMOD_NONE), {key(VK_F1)}},
        {key_event(id, SDLK_F5, KMOD_NONE), {key(VK_F1 + 4)}},
        // Printable keys bring their character as text, not on the key press.
        {key_event(id, SDLK_q, KMOD_NONE), {}},
        {key_event(id, SDLK_SPACE, KMOD_NONE), {}},
        {key_event(id, SDLK_KP_5, KMOD_NONE), {}},
        // The pointer, in the window's pixels (at scale 1 here); the clicks
        // in a row as SDL counted them; the middle button is not reported.
        {pointer_event(id, SDL_MOUSEMOTION, -3, 7), {pointer(Type::Pointer, -3, 7, 0, false, 1)}},
        {pointer_event(id, SDL_MOUSEBUTTONDOWN, 4, 5, SDL_BUTTON_LEFT, 2),
         {pointer(Type::Button, 4, 5, MK_LBUTTON, true, 2)}},
        {pointer_event(id, SDL_MOUSEBUTTONUP, 4, 6, SDL_BUTTON_RIGHT, 1),
         {pointer(Type::Button, 4, 6, MK_RBUTTON, false, 1)}},
        {pointer_event(id, SDL_MOUSEBUTTONDOWN, 4, 5, SDL_BUTTON_MIDDLE, 1), {}},
        // Input for a window the display does not know.
        {text_event(id + 1000, "x"), {}},
        {key_event(id + 1000, SDLK_ESCAPE, KMOD_NONE), {}},
    };
    for (const Row& r : rows) {
        const std::vector<DisplayEvent> got = translate(*display_, r.event);
        SCOPED_TRACE("got " + describe(got));
        ASSERT_EQ(got.size(), r.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].type, r.expected[i].type);
            EXPECT_EQ(got[i].ch, r.expected[i].ch);
            EXPECT_EQ(got[i].vk, r.expected[i].vk);
            EXPECT_EQ(got[i].x, r.expected[i].x);
            EXPECT_EQ(got[i].y, r.expected[i].y);
            EXPECT_EQ(got[i].button, r.expected[i].button);
            EXPECT_EQ(got[i].pressed, r.expected[i].pressed);
            EXPECT_EQ(got[i].clicks, r.expected[i].clicks);
            EXPECT_EQ(got[i].window, win.handle);
        }
    }
}

TEST_F(WindowDisplayTest, WindowEventsAreTranslated) {
    SdlWindow win(display_.get(), fake_handle(9), 40, 30, 0, "pelmorix-window-event-test");
    ASSERT_TRUE(win.open);
    win.show();
    drain();
    SDL_Window* sdl = win.sdl();
    ASSERT_NE(sdl, nullptr);
    Uint32 id = SDL_GetWindowID(sdl);
    int cw = 0, ch = 0;
    SDL_GetWindowSize(sdl, &cw, &ch);

    auto ev = [&](Type t, int w = 0, int h = 0) {
        DisplayEvent e;
        e.type = t;
        e.width = w;
        e.height = h;
        return e;
    };
    const struct {
        SDL_Event event;
        std::vector<DisplayEvent> expected;
    } rows[] = {
        {window_event(id, SDL_WINDOWEVENT_SIZE_CHANGED, 100, 70), {ev(Type::Resize, 100, 70)}},  // new size as reported
        {window_event(id, SDL_WINDOWEVENT_MINIMIZED), {ev(Type::Minimize)}},
        {window_event(id, SDL_WINDOWEVENT_RESTORED), {ev(Type::Restore), ev(Type::Resize, cw, ch)}},  // current size
        {window_event(id, SDL_WINDOWEVENT_MAXIMIZED), {ev(Type::Resize, cw, ch)}},
        {window_event(id, SDL_WINDOWEVENT_CLOSE), {ev(Type::Close)}},
        {window_event(id, SDL_WINDOWEVENT_MOVED, 5, 5), {}},  // nothing the program hears about
        {window_event(id + 1000, SDL_WINDOWEVENT_CLOSE), {}},  // unknown window
    };
    for (const auto& r : rows) {
        const std::vector<DisplayEvent> got = translate(*display_, r.event);
        SCOPED_TRACE("got " + describe(got));
        ASSERT_EQ(got.size(), r.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].type, r.expected[i].type);
            EXPECT_EQ(got[i].width, r.expected[i].width);
            EXPECT_EQ(got[i].height, r.expected[i].height);
            EXPECT_EQ(got[i].window, win.handle);
        }
    }

    // Focus and exposure are reported too (pushed here, so they are certain).
    for (Uint8 what : {SDL_WINDOWEVENT_FOCUS_GAINED, SDL_WINDOWEVENT_EXPOSED}) {
        SDL_Event e = window_event(id, what);
        ASSERT_EQ(SDL_PushEvent(&e), 1);
        std::vector<DisplayEvent> got;
        display_->poll(got);
        Type want = what == SDL_WINDOWEVENT_FOCUS_GAINED ? Type::Focus : Type::Expose;
        bool found = false;
        for (const DisplayEvent& g : got) found = found || (g.type == want && g.window == win.handle);
        EXPECT_TRUE(found) << describe(got);
    }
}

TEST_F(WindowDisplayTest, QuitClosesEveryWindow) {
    SdlWindow a(display_.get(), fake_handle(1), 20, 20, 0, "pelmorix-quit-a");
    SdlWindow b(display_.get(), fake_handle(2), 20, 20, 0, "pelmorix-quit-b");
    ASSERT_TRUE(a.open);
    ASSERT_TRUE(b.open);
    drain();
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    std::vector<DisplayEvent> got;
    display_->poll(got);
    got = without_system_noise(got);
    ASSERT_EQ(got.size(), 2u) << describe(got);
    EXPECT_EQ(got[0].type, Type::Close);
    EXPECT_EQ(got[1].type, Type::Close);
    EXPECT_TRUE((got[0].window == a.handle && got[1].window == b.handle) ||
                (got[0].window == b.handle && got[1].window == a.handle))
        << describe(got);
}

TEST_F(WindowDisplayTest, WaitSkipsEventsThatMeanNothing) {
    SdlWindow win(display_.get(), fake_handle(4), 20, 20, 0, "pelmorix-wait-test");
    ASSERT_TRUE(win.open);
    win.show();
    drain();
    Uint32 id = SDL_GetWindowID(win.sdl());
    SDL_Event moved = window_event(id, SDL_WINDOWEVENT_MOVED, 1, 1);
    SDL_Event printable = key_event(id, SDLK_q, KMOD_NONE);
    SDL_Event text = text_event(id, "q");
    ASSERT_EQ(SDL_PushEvent(&moved), 1);
    ASSERT_EQ(SDL_PushEvent(&printable), 1);
    ASSERT_EQ(SDL_PushEvent(&text), 1);
    std::vector<DisplayEvent> got;
    display_->wait(got);
    got = without_system_noise(got);
    ASSERT_EQ(got.size(), 1u) << describe(got);
    EXPECT_EQ(got[0].type, Type::Char);
    EXPECT_EQ(got[0].ch, 'q');
}

}  // namespace
