// The program in a real window on a virtual X server: xdotool finds the
// window and types the final key, and the snapshot taken at the prompt
// must be the very picture the headless display gives for the same log.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

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
        launch.args = {"-displayfd", "1", "-screen", "0", "2560x1600x24", "-nolisten", "tcp"};
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

    // The window's picture as the X server shows it.
    bool screen_picture(const std::string& window, Picture* picture) const {
        const std::string import = viewer_test::find_program("import");
        if (import.empty()) return false;
        Launch launch;
        launch.args = {"-window", window, dir_.file("screen.png")};
        launch.env["DISPLAY"] = display_;
        return viewer_test::run(import, launch).status == 0 && viewer_test::read_png(dir_.file("screen.png"), picture);
    }

    Picture headless_picture() const {
        Launch launch = viewer_launch("headless.png");
        launch.env["PELMORIX_DISPLAY"] = "headless";
        launch.input = "a";
        EXPECT_EQ(viewer_test::run(kExe, launch).status, 0);
        Picture picture;
        EXPECT_TRUE(viewer_test::read_png(dir_.file("headless.png"), &picture));
        return picture;
    }

    std::string xdotool_;
    std::string display_;
    std::unique_ptr<Process> server_;
    ScratchDir dir_;
};

const char kConsole[] =
    "Archivo skv: log.skv\nMinimo(x)=0 Minimo(y)=0\nMaximo(x)=0.1 Maximo(y)=16\n"
    "Dimension detectada del modelo: 3 x 3\n";

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

}  // namespace
