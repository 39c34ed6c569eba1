// The program in a real window on a virtual X server: xdotool finds the
// window and types the final key, and the snapshot taken at the prompt
// must be the very picture the headless display gives for the same log; a
// log that comes through a pipe is on the screen as it comes, and while it
// pauses the window answers the desktop (pings, uncovering, Esc, the close
// button) as an idle program's window does.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support.h"

namespace {

using namespace std::chrono_literals;
using viewer_test::Launch;
using viewer_test::Outcome;
using viewer_test::Picture;
using viewer_test::Process;
using viewer_test::ScratchDir;

const std::string kExe = PELMORIX_EXE;

const char kLog[] =
    "heading\n"
    "0 4 8\n"
    "12 16 2\n"
    "6 10 14\n"
    "\n"
    "1 5 9\n"
    "13 15 3\n"
    "7 11 16\n";

class RealWindow : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string xvfb = viewer_test::find_program("Xvfb");
        if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
        xdotool_ = viewer_test::find_program("xdotool");
        ASSERT_FALSE(xdotool_.empty()) << "xdotool is not installed";
        // The server picks a free display itself and writes its number once
        // it accepts connections. The screen holds the window at scale 2.
        Launch launch;
        launch.args = {"-displayfd", "1", "-screen", "0", screen_, "-nolisten", "tcp"};
        server_ = std::make_unique<Process>(xvfb, launch);
        ASSERT_TRUE(viewer_test::wait_until([&] { return server_->output_so_far().find('\n') != std::string::npos; }, 10s))
            << "Xvfb did not start";
        const std::string out = server_->output_so_far();
        display_ = ":" + out.substr(0, out.find('\n'));
        dir_.write("log.skv", kLog);
    }

    void TearDown() override {
        if (server_) server_->terminate();
    }

    Launch viewer_launch(const std::string& snapshot, const char* scale = "1") const {
        Launch launch;
        launch.args = {"log.skv", "0", "0", "0.1", "16"};
        launch.env["DISPLAY"] = display_;
        launch.env["PELMORIX_DISPLAY"] = "window";
        launch.env["PELMORIX_SNAPSHOT"] = dir_.file(snapshot);
        launch.env["PELMORIX_SCALE"] = scale;
        launch.env["WAYLAND_DISPLAY"] = std::nullopt;
        launch.env["SDL_VIDEODRIVER"] = std::nullopt;
        if (size_ != nullptr) launch.env["PELMORIX_SIZE"] = size_;
        for (const auto& [name, value] : extra_env_) launch.env[name] = value;
        launch.cwd = dir_.path();
        return launch;
    }

    Outcome xdotool(std::vector<std::string> args) const {
        Launch launch;
        launch.args = std::move(args);
        launch.env["DISPLAY"] = display_;
        Process p(xdotool_, launch);
        return p.finish(10s);
    }

    // Runs the viewer in a window, waits for the final prompt, calls
    // `at_prompt` with the window's id, types `key` (an xdotool key name)
    // and returns how the run ended.
    template <class AtPrompt>
    Outcome run_and_type(const std::string& key, const std::string& snapshot, const char* scale,
                         AtPrompt at_prompt) {
        Process viewer(kExe, viewer_launch(snapshot, scale));
        const Outcome found = xdotool({"search", "--sync", "--name", "N-Vorq Pelmorix"});
        EXPECT_EQ(found.status, 0) << "no window appeared";
        const std::string window = found.out.substr(0, found.out.find('\n'));
        // The snapshot is written just before the program starts to wait.
        EXPECT_TRUE(viewer_test::wait_until([&] { return viewer_test::file_exists(dir_.file(snapshot)); }, 10s))
            << "the program never waited for a key";
        at_prompt(window);
        // xdotool's own status is not looked at: the program may end, and
        // its window go, between the key's press and its release.
        xdotool({"key", "--window", window, key});
        return viewer.finish(10s);
    }
    Outcome run_and_type(const std::string& key, const std::string& snapshot) {
        return run_and_type(key, snapshot, "1", [](const std::string&) {});
    }

    Picture headless_picture(const std::string& log = "log.skv") const {
        Launch launch = viewer_launch("headless.png");
        launch.args[0] = log;
        launch.env["PELMORIX_DISPLAY"] = "headless";
        launch.input = "a";
        EXPECT_EQ(viewer_test::run(kExe, launch).status, 0);
        Picture picture;
        EXPECT_TRUE(viewer_test::read_png(dir_.file("headless.png"), &picture));
        return picture;
    }

    // The window's picture as the X server holds it, read with ImageMagick's
    // import; false when it cannot be had.
    bool screen_picture(const std::string& window, Picture* picture) const {
        if (import_.empty()) return false;
        Launch launch;
        launch.args = {"-window", window, dir_.file("screen.png")};
        launch.env["DISPLAY"] = display_;
        Process p(import_, launch);
        return p.finish(10s).status == 0 && viewer_test::read_png(dir_.file("screen.png"), picture);
    }

    // A desktop's question to the window (desktop_probe ping or cover);
    // the milliseconds the answer took, -1 when none came.
    long desktop_probe(const std::string& what, const std::string& window) const {
        Launch launch;
        launch.args = {what, window};
        launch.env["DISPLAY"] = display_;
        Process p(PELMORIX_DESKTOP_PROBE, launch);
        const Outcome r = p.finish(10s);
        return r.status == 0 ? std::stol(r.out) : -1;
    }

    // The viewer on a log through a FIFO whose writer has sent the first
    // block and the second's first row, then pauses: the dimension line is
    // on the console and the window on the screen when this returns.
    struct LiveRun {
        std::unique_ptr<Process> viewer;
        int writer = -1;  // the FIFO's writer; the log ends when it closes
        std::string window;
        ~LiveRun() {
            if (writer >= 0) close(writer);
        }
    };
    void start_paused_log(LiveRun& run) {
        const std::string fifo = dir_.file("paused.skv");
        unlink(fifo.c_str());  // an earlier run's
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        run.writer = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(run.writer, 0);
        const std::string burst = "heading\n0 4 8\n12 16 2\n6 10 14\n\n1 5 9\n";
        ASSERT_EQ(write(run.writer, burst.data(), burst.size()), static_cast<ssize_t>(burst.size()));
        Launch launch = viewer_launch("window.png");
        launch.args[0] = "paused.skv";
        run.viewer = std::make_unique<Process>(kExe, launch);
        const Outcome found = xdotool({"search", "--sync", "--name", "N-Vorq Pelmorix"});
        ASSERT_EQ(found.status, 0) << "no window appeared";
        run.window = found.out.substr(0, found.out.find('\n'));
        ASSERT_TRUE(viewer_test::wait_until([&] { return run.viewer->output_so_far() == kPausedConsole; }, 10s))
            << "the console shows [" << run.viewer->output_so_far() << "]";
    }

    // Processor time the process has used, user and system.
    static std::chrono::milliseconds cpu_time(pid_t pid) {
        std::string stat = viewer_test::read_file("/proc/" + std::to_string(pid) + "/stat");
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        long long ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i >= 14) ticks += std::stoll(field);
        }
        return std::chrono::milliseconds(ticks * 1000 / sysconf(_SC_CLK_TCK));
    }

    // The window's caption, as the window system has it.
    std::string caption(const std::string& window) const {
        std::string name = xdotool({"getwindowname", window}).out;
        if (!name.empty() && name.back() == '\n') name.pop_back();
        return name;
    }

    // Where the plot area lies in a 640 x 480 picture at the prompt (the
    // frame's top row is the first lit one of column 0, at h + 4), and the
    // boxes of a grid of `count` x `count` in it.
    struct PlotArea {
        int left = 1;
        int top = 0;
        int width = 637;  // the viewport's right - left
        int height = 0;   // bottom - top
        int box_width = 0;
        int box_height = 0;
        int grid_top = 0;  // the grid's top line, in plot coordinates
    };
    static PlotArea plot_area_of(const Picture& picture, int count = 1) {
        PlotArea area;
        int y = 0;
        while (y < picture.height && picture.at(0, y) == 0) ++y;
        const int h = y - 4;
        area.top = h + 5;
        area.width = (picture.width - 2) - area.left;
        area.height = (picture.height - 1 - h - 5) - area.top;
        area.box_width = area.width / count;
        area.box_height = area.height / count;
        area.grid_top = area.height - count * area.box_height;
        return area;
    }
    // The plot area's pixels that can be drawn (the clip leaves out its
    // right column and bottom row), row by row.
    static std::vector<std::uint32_t> plot_pixels(const Picture& picture, const PlotArea& area) {
        std::vector<std::uint32_t> out;
        for (int y = area.top; y < area.top + area.height; ++y) {
            for (int x = area.left; x < area.left + area.width; ++x) out.push_back(picture.at(x, y));
        }
        return out;
    }

    static constexpr const char* kPausedConsole =
        "Archivo skv: paused.skv\nMinimo(x)=0 Minimo(y)=0\nMaximo(x)=0.1 Maximo(y)=16\n"
        "Dimension detectada del modelo: 3 x 3\n";

    const char* screen_ = "2560x1600x24";  // the X server's screen, set before SetUp
    const char* size_ = nullptr;           // PELMORIX_SIZE for the viewer, unset when null
    std::vector<std::pair<std::string, std::string>> extra_env_;  // more of the viewer's environment
    std::string xdotool_;
    std::string import_ = viewer_test::find_program("import");
    std::string display_;
    std::unique_ptr<Process> server_;
    ScratchDir dir_;
};

const char kConsole[] =
    "Archivo skv: log.skv\nMinimo(x)=0 Minimo(y)=0\nMaximo(x)=0.1 Maximo(y)=16\n"
    "Dimension detectada del modelo: 3 x 3\n";

// A 4 x 4 model over three blocks: cell (c, r) of block b holds
// c + 4 r + b / 2.
std::string four_by_four_log() {
    std::string log = "heading\n";
    for (int b = 0; b < 3; ++b) {
        if (b > 0) log += "\n";
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) log += (c > 0 ? " " : "") + std::to_string(c + 4 * r) + (b % 2 ? ".5" : "");
            log += "\n";
        }
    }
    return log;
}

// The log of one cell holding cell (c, r)'s values of four_by_four_log.
std::string one_cell_log(int c, int r) {
    std::string log = "heading\n";
    for (int b = 0; b < 3; ++b) log += (b > 0 ? "\n" : "") + std::to_string(c + 4 * r) + (b % 2 ? ".5" : "") + "\n";
    return log;
}

TEST_F(RealWindow, ThePointerOverABoxShowsItsCellTimeAndValueInTheCaption) {
    dir_.write("log.skv", four_by_four_log());
    // At scale 2 every window pixel is a block of 2 x 2 screen pixels.
    for (const int scale : {1, 2}) {
        SCOPED_TRACE(scale);
        unlink(dir_.file("window.png").c_str());
        const Outcome r = run_and_type("a", "window.png", scale == 1 ? "1" : "2", [&](const std::string& window) {
            // The screen pixel at the lower right of window pixel (x, y).
            const auto at = [scale](int v) { return std::to_string(v * scale + scale - 1); };
            Picture picture;
            ASSERT_TRUE(viewer_test::read_png(dir_.file("window.png"), &picture));
            const PlotArea area = plot_area_of(picture, 4);
            // A pixel a third of the way into box (2, 1), in plot coordinates.
            const int px = 2 * area.box_width + area.box_width / 3;
            const int py = area.grid_top + area.box_height + area.box_height / 3;
            // The inverse of the cell mapping at its centre, limits 0 to 0.1 and 0 to 16.
            const long double fx = (px + 0.5L) / area.box_width - 2;
            const long double fy = (area.height - (py + 0.5L)) / area.box_height - (4 - 1 - 1);
            char expected[128];
            std::snprintf(expected, sizeof expected, "N-Vorq Pelmorix - celda (2, 1)  t = %g  valor = %g",
                          static_cast<double>(fx * 0.1L), static_cast<double>(fy * 16));
            xdotool({"mousemove", "--window", window, at(area.left + px), at(area.top + py)});
            EXPECT_TRUE(viewer_test::wait_until([&] { return caption(window) == expected; }, 5s))
                << "the caption is [" << caption(window) << "], not [" << expected << "]";
            // Box (2, 1)'s right grid line, then the title bar: the plain title.
            for (const int y : {area.top + py, 3}) {
                const int x = y == 3 ? area.left + px : area.left + 3 * area.box_width - 1;
                xdotool({"mousemove", "--window", window, at(x), at(y)});
                EXPECT_TRUE(viewer_test::wait_until([&] { return caption(window) == "N-Vorq Pelmorix"; }, 5s))
                    << "at (" << x << ", " << y << ") the caption is [" << caption(window) << "]";
            }
            Picture after;
            ASSERT_TRUE(viewer_test::read_png(dir_.file("window.png"), &after));
            EXPECT_TRUE(after.pixels == picture.pixels) << "the readout changed the picture";
        });
        EXPECT_EQ(r.status, 0);
    }
}

TEST_F(RealWindow, ADoubleClickOpensOneCellAsALogOfThatCellAloneAndARightClickGoesBack) {
    for (const std::string format : {"plain", "gzip"}) {
        SCOPED_TRACE(format);
        const std::string log = four_by_four_log();
        const std::string bytes = format == "gzip" ? viewer_test::compress("gzip", log) : log;
        ASSERT_FALSE(bytes.empty());
        dir_.write("log.skv", bytes);
        unlink(dir_.file("window.png").c_str());
        // What a run on the log of cell (1, 2) alone shows, with the same limits.
        dir_.write("cell.skv", one_cell_log(1, 2));
        const Picture cell = headless_picture("cell.skv");
        const Outcome r = run_and_type("a", "window.png", "1", [&](const std::string& window) {
            Picture grid;
            ASSERT_TRUE(viewer_test::read_png(dir_.file("window.png"), &grid));
            const PlotArea area = plot_area_of(grid, 4);
            const std::string x = std::to_string(area.left + area.box_width + area.box_width / 2);
            const std::string y =
                std::to_string(area.top + area.grid_top + 2 * area.box_height + area.box_height / 2);
            // A block more since the log was read: the open cell shows the blocks read then.
            const std::string more = "\n8 8 8 8\n8 8 8 8\n8 8 8 8\n8 8 8 8\n";
            std::ofstream(dir_.file("log.skv"), std::ios::binary | std::ios::app)
                << (format == "gzip" ? viewer_test::compress("gzip", more) : more);
            xdotool({"mousemove", "--window", window, x, y, "click", "--repeat", "2", "--delay", "80", "1"});
            Picture shown;
            EXPECT_TRUE(viewer_test::wait_until(
                [&] {
                    return viewer_test::read_png(dir_.file("window.png"), &shown) &&
                           plot_pixels(shown, area) == plot_pixels(cell, area);
                },
                10s))
                << "the open cell's plot area is not that of the log of the cell alone";
            xdotool({"click", "3"});
            EXPECT_TRUE(viewer_test::wait_until(
                [&] { return viewer_test::read_png(dir_.file("window.png"), &shown) && shown.pixels == grid.pixels; },
                10s))
                << "a right-click did not bring the grid's picture back";
        });
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "Archivo skv: log.skv\nMinimo(x)=0 Minimo(y)=0\nMaximo(x)=0.1 Maximo(y)=16\n"
                         "Dimension detectada del modelo: 4 x 4\n");
    }
}

TEST_F(RealWindow, AReadThatFailsWhenACellIsOpenedIsSaid) {
    const std::string log = four_by_four_log();
    dir_.write("log.skv", log);
    // The first read takes the whole log; the second fails 40 bytes in.
    extra_env_ = {{"LD_PRELOAD", FAILING_READ_LIB},
                  {"FAILING_READ_PATH", dir_.file("log.skv")},
                  {"FAILING_READ_AFTER", std::to_string(log.size() + 40)},
                  {"FAILING_READ_ERRNO", "5"}};
    // Under AddressSanitizer its runtime is then not the first library.
    const char* asan = std::getenv("ASAN_OPTIONS");
    extra_env_.emplace_back("ASAN_OPTIONS", std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0");
    const Outcome r = run_and_type("a", "window.png", "1", [&](const std::string& window) {
        Picture grid;
        ASSERT_TRUE(viewer_test::read_png(dir_.file("window.png"), &grid));
        const PlotArea area = plot_area_of(grid, 4);
        xdotool({"mousemove", "--window", window, std::to_string(area.left + area.box_width / 2),
                 std::to_string(area.top + area.grid_top + area.box_height / 2), "click", "--repeat", "2", "--delay",
                 "80", "1"});
        EXPECT_TRUE(viewer_test::wait_until([&] { return caption(window).find("celda (0, 0)") != std::string::npos; },
                                            5s));
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Error. Fallo de lectura en log.skv: " + std::string(std::strerror(EIO)) + "\n");
}

TEST_F(RealWindow, ADoubleClickOnALogFromAPipeSaysItOpensOnlyFilesAndLeavesThePicture) {
    LiveRun run;
    ASSERT_NO_FATAL_FAILURE(start_paused_log(run));
    // The same picture from a file, for where the boxes are.
    dir_.write("first.skv", "heading\n0 4 8\n12 16 2\n6 10 14\n\n1 5 9\n");
    const PlotArea area = plot_area_of(headless_picture("first.skv"), 3);
    Picture before;
    const bool screen = screen_picture(run.window, &before);
    xdotool({"mousemove", "--window", run.window, std::to_string(area.left + 2 * area.box_width + 5),
             std::to_string(area.top + area.grid_top + 5), "click", "--repeat", "2", "--delay", "80", "1"});
    const std::string expected = "N-Vorq Pelmorix - celda (2, 0): solo con archivos";
    EXPECT_TRUE(viewer_test::wait_until([&] { return caption(run.window) == expected; }, 5s))
        << "the caption is [" << caption(run.window) << "]";
    Picture after;
    if (screen && screen_picture(run.window, &after)) {
        EXPECT_TRUE(after.pixels == before.pixels) << "the picture changed";
    }
    EXPECT_TRUE(run.viewer->running());
}

// A screen with no window manager, so nothing takes a share of it.
class RealWindowOn1024x768 : public RealWindow {
protected:
    RealWindowOn1024x768() {
        screen_ = "1024x768x24";
        size_ = "screen";
    }
};

TEST_F(RealWindowOn1024x768, SizeScreenGivesTheLargestClientAreaWhoseWindowFitsTheScreen) {
    for (const char* scale : {"1", "2"}) {
        SCOPED_TRACE(std::string("scale ") + scale);
        const int s = scale[0] - '0';
        std::string geometry;
        const Outcome r = run_and_type("a", "window.png", scale, [&](const std::string& window) {
            geometry = xdotool({"getwindowgeometry", window}).out;
        });
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, kConsole);
        EXPECT_EQ(r.err, "");
        // The client area is the screen, in the program's pixels at the
        // scale, less the frame and caption a window is given (4-pixel
        // borders and a 19-pixel caption); the window on the screen is that
        // large at the scale.
        Picture window;
        ASSERT_TRUE(viewer_test::read_png(dir_.file("window.png"), &window));
        EXPECT_EQ(window.width, 1024 / s - 8);
        EXPECT_EQ(window.height, 768 / s - 27);
        const std::string shown = std::to_string(window.width * s) + "x" + std::to_string(window.height * s);
        EXPECT_NE(geometry.find("Geometry: " + shown + "\n"), std::string::npos) << geometry;
        std::remove(dir_.file("window.png").c_str());
    }
}

TEST_F(RealWindow, EscAtThePromptEndsWithStatus1) {
    const Outcome r = run_and_type("Escape", "window.png");
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kConsole);
}

TEST_F(RealWindow, ALetterEndsWithStatus0AndTheSnapshotShowsThePlot) {
    const Outcome r = run_and_type("a", "window.png");
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kConsole);
    // The window has gone with the run.
    EXPECT_NE(xdotool({"search", "--name", "N-Vorq Pelmorix"}).status, 0);

    Picture window;
    ASSERT_TRUE(viewer_test::read_png(dir_.file("window.png"), &window));
    const Picture headless = headless_picture();
    ASSERT_EQ(window.width, 640);
    ASSERT_EQ(window.height, 480);
    EXPECT_TRUE(window.pixels == headless.pixels) << "the window's picture differs from the headless one";
    // And that picture is a plot: grid lines and points are there.
    int grid = 0;
    int points = 0;
    for (std::uint32_t p : window.pixels) {
        grid += p == 0x2F4F4F;
        points += p == 0xFF00FF;
    }
    EXPECT_GT(grid, 1000);
    EXPECT_GT(points, 10);
}

TEST_F(RealWindow, AtScale2EveryPixelIsA2x2BlockOfTheSamePicture) {
    Picture screen;
    const Outcome r = run_and_type("a", "window.png", "2", [&](const std::string& window) {
        // The screen catches up with the snapshot within a frame or two.
        EXPECT_TRUE(viewer_test::wait_until(
            [&] {
                Picture snapshot;
                if (!screen_picture(window, &screen) || !viewer_test::read_png(dir_.file("window.png"), &snapshot)) {
                    return false;
                }
                if (screen.width != 2 * snapshot.width || screen.height != 2 * snapshot.height) return false;
                for (int y = 0; y < screen.height; ++y) {
                    for (int x = 0; x < screen.width; ++x) {
                        if (screen.at(x, y) != snapshot.at(x / 2, y / 2)) return false;
                    }
                }
                return true;
            },
            5s))
            << "the screen shows " << screen.width << "x" << screen.height
            << ", not the snapshot with each pixel doubled";
    });
    // Typed keys still reach the program, which knows nothing of the scale:
    // its window is 640 x 480 and it draws the same plot as headless.
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kConsole);
    Picture window;
    ASSERT_TRUE(viewer_test::read_png(dir_.file("window.png"), &window));
    EXPECT_EQ(window.width, 640);
    EXPECT_EQ(window.height, 480);
    EXPECT_TRUE(window.pixels == headless_picture().pixels) << "the window's picture differs from the headless one";
}

TEST_F(RealWindow, ALogThroughAPipeIsOnTheScreenWhileTheWriterStillWrites) {
    if (import_.empty()) GTEST_SKIP() << "ImageMagick's import is not installed";
    // The first block, its rows ended but the block not: the writer keeps
    // the FIFO open, so no end of file comes and no key is asked for.
    const std::string burst = "heading\n0 4 8\n12 16 2\n6 10 14\n";
    const std::string fifo = dir_.file("live.skv");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Read and write, so that the viewer's open need not wait for it; not
    // handed on to the viewer, whose log must end when this closes.
    const int writer = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, burst.data(), burst.size()), static_cast<ssize_t>(burst.size()));
    Launch launch = viewer_launch("window.png");
    launch.args[0] = "live.skv";
    Process viewer(kExe, launch);
    const Outcome found = xdotool({"search", "--sync", "--name", "N-Vorq Pelmorix"});
    ASSERT_EQ(found.status, 0) << "no window appeared";
    const std::string window = found.out.substr(0, found.out.find('\n'));

    // Where the burst's points are: the same rows from a file, headless.
    dir_.write("burst.skv", burst);
    const Picture expected = headless_picture("burst.skv");
    int points = 0;
    for (std::uint32_t p : expected.pixels) points += p == 0xFF00FF;
    ASSERT_GT(points, 0);
    // The screen shows exactly those points (the X server may take a moment
    // to show what it was sent).
    auto same_points = [&] {
        Picture screen;
        if (!screen_picture(window, &screen) || screen.width != expected.width || screen.height != expected.height)
            return false;
        for (std::size_t i = 0; i < screen.pixels.size(); ++i) {
            if ((screen.pixels[i] == 0xFF00FF) != (expected.pixels[i] == 0xFF00FF)) return false;
        }
        return true;
    };
    EXPECT_TRUE(viewer_test::wait_until(same_points, 10s)) << "the burst's points are not on the screen";
    EXPECT_TRUE(viewer.running()) << "the run ended before its log did";

    close(writer);
    EXPECT_TRUE(viewer_test::wait_until([&] { return viewer_test::file_exists(dir_.file("window.png")); }, 10s))
        << "the program never waited for a key";
    xdotool({"key", "--window", window, "a"});
    const Outcome r = viewer.finish(10s);
    EXPECT_EQ(r.status, 0);
}

TEST_F(RealWindow, WhileTheLogPausesTheWindowAnswersPingsAndShowsItsPictureAgainWhenUncovered) {
    LiveRun run;
    ASSERT_NO_FATAL_FAILURE(start_paused_log(run));
    const long paused_ping = desktop_probe("ping", run.window);
    EXPECT_GE(paused_ping, 0) << "no answer to a ping while the log pauses";
    EXPECT_LT(paused_ping, 500);
    // Idle while it waits: served every few tens of milliseconds, not in a
    // busy loop.
    const auto before = cpu_time(run.viewer->pid());
    std::this_thread::sleep_for(2s);
    EXPECT_LT((cpu_time(run.viewer->pid()) - before).count(), 60) << "more than 3% of a processor while paused";
    const long uncovered = desktop_probe("cover", run.window);
    EXPECT_GE(uncovered, 0) << "the uncovered window does not show its picture again";
    EXPECT_LT(uncovered, 500);

    // Rows that keep coming, a little at a time: the window answers too.
    std::atomic<bool> writing{true};
    std::thread simulation([&] {
        const std::string row = "2 6 10\n";
        while (writing) {
            if (write(run.writer, row.data(), row.size()) < 0) return;
            std::this_thread::sleep_for(5ms);
        }
    });
    std::this_thread::sleep_for(300ms);
    const long busy_ping = desktop_probe("ping", run.window);
    writing = false;
    simulation.join();
    EXPECT_GE(busy_ping, 0) << "no answer to a ping while rows keep coming";
    EXPECT_LT(busy_ping, 500);
    EXPECT_TRUE(run.viewer->running()) << "the run ended before its log did";
}

// Blocks of 10 x 10 values, each block 0.025 time units on: with the time
// axis ending at 1 only the first 40 are drawn, and the rest are read past it.
std::string block_of_ten() {
    std::string block;
    for (int r = 0; r < 10; ++r) block += "0 4 8 1 3 5 7 9 2 11\n";
    return block + "\n";
}

TEST_F(RealWindow, WhileALogIsReadPastItsTimeAxisTheWindowAnswersPings) {
    for (const std::string how : {"a regular file", "a pipe that keeps coming"}) {
        SCOPED_TRACE(how);
        const std::string block = block_of_ten();
        const std::string log = dir_.file("past.skv");
        unlink(log.c_str());  // the other case's
        const std::string snapshot = dir_.file("past.png");
        unlink(snapshot.c_str());
        int writer = -1;
        std::atomic<bool> writing{true};
        std::thread simulation;
        if (how == "a regular file") {
            // 512 MiB: read for longer than the pings take, on any machine.
            std::string lot = "heading\n";
            while (lot.size() < (1u << 20)) lot += block;
            std::FILE* f = std::fopen(log.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            for (int i = 0; i < 512; ++i) ASSERT_EQ(std::fwrite(lot.data(), 1, lot.size(), f), lot.size());
            ASSERT_EQ(std::fclose(f), 0);
        } else {
            ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
            writer = open(log.c_str(), O_RDWR | O_CLOEXEC);
            ASSERT_GE(writer, 0);
            // A pipe of 1 MiB, written 1 MiB at a time: the viewer does not
            // catch up with it between two writes.
            (void)fcntl(writer, F_SETPIPE_SZ, 1 << 20);
            std::string lot;
            while (lot.size() < (1u << 20)) lot += block;
            ASSERT_EQ(write(writer, "heading\n", 8), 8);
            // As fast as the viewer takes them: it never waits for the log.
            simulation = std::thread([&, lot] {
                while (writing) {
                    if (write(writer, lot.data(), lot.size()) < 0) return;
                }
            });
        }
        Launch launch = viewer_launch("past.png");
        launch.args = {"past.skv", "0", "0", "1", "16"};
        Process viewer(kExe, launch);
        const Outcome found = xdotool({"search", "--sync", "--name", "N-Vorq Pelmorix"});
        ASSERT_EQ(found.status, 0) << "no window appeared";
        const std::string window = found.out.substr(0, found.out.find('\n'));
        // Past the start's drawing (slow under the sanitizers), well into
        // the reading.
        std::this_thread::sleep_for(200ms);
        for (int i = 0; i < 3; ++i) {
            const long ping = desktop_probe("ping", window);
            EXPECT_GE(ping, 0) << "no answer to ping " << i;
            EXPECT_LT(ping, 250) << "ping " << i;
        }
        EXPECT_FALSE(viewer_test::file_exists(snapshot)) << "the log was read to its end before the pings were done";
        if (!simulation.joinable()) {
            // The rest of the file would take minutes under the sanitizers.
            viewer.terminate();
            continue;
        }
        writing = false;
        simulation.join();
        close(writer);
        EXPECT_TRUE(viewer_test::wait_until([&] { return viewer_test::file_exists(snapshot); }, 60s))
            << "the program never waited for a key";
        xdotool({"key", "--window", window, "a"});
        const Outcome r = viewer.finish(10s);
        EXPECT_EQ(r.status, 0);
    }
    unlink(dir_.file("past.skv").c_str());
}

TEST_F(RealWindow, EscOrTheCloseButtonWhileTheLogPausesEndTheRunWithStatus1) {
    for (const std::string how : {"Escape", "close"}) {
        SCOPED_TRACE(how);
        LiveRun run;
        ASSERT_NO_FATAL_FAILURE(start_paused_log(run));
        if (how == "close") {
            Launch launch;
            launch.args = {run.window};
            launch.env["DISPLAY"] = display_;
            Process(PELMORIX_SEND_CLOSE, launch).finish(10s);
        } else {
            xdotool({"key", "--window", run.window, how});
        }
        // The log is still open: only the key or the button can end the run.
        const Outcome r = run.viewer->finish(1s);
        EXPECT_FALSE(r.timed_out) << "the run went on";
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, kPausedConsole);
    }
}

TEST_F(RealWindow, ALetterTypedWhileTheLogPausesAnswersTheFinalPrompt) {
    LiveRun run;
    ASSERT_NO_FATAL_FAILURE(start_paused_log(run));
    xdotool({"key", "--window", run.window, "a"});
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(run.viewer->running()) << "a letter ended the run while the log paused";
    close(run.writer);  // the end of the log; no key is typed after it
    run.writer = -1;
    const Outcome r = run.viewer->finish(10s);
    EXPECT_FALSE(r.timed_out) << "the final prompt did not take the letter";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kPausedConsole);
}

}  // namespace
