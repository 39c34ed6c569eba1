// The window at the final prompt, read back from the headless display's
// snapshot and compared pixel by pixel with a picture the test builds from
// the screen layout: frame and status box lines, the grid of cell boxes and
// the points of known values. Only the two captions are checked more
// loosely (inside their character boxes, nothing else is lit there).
//
// Point positions are worked out with exact integer fractions: every value
// and time used here is a binary fraction of its limits, so the extended
// precision of the mapping is not in question.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support.h"

namespace {

using viewer_test::Launch;
using viewer_test::Outcome;
using viewer_test::Picture;
using viewer_test::ScratchDir;

const std::string kExe = PELMORIX_EXE;

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;      // colour 15: frame, bars, captions
constexpr std::uint32_t kGridGrey = 0x2F4F4F;   // colour 8: grid lines
constexpr std::uint32_t kMagenta = 0xFF00FF;    // colour 5: points

// The screen layout of a client area of width x height (640 x 480 unless
// PELMORIX_SIZE asks otherwise) with the platform font's text height of 9:
// X = width - 1, Y = height - 1.
constexpr int kH = 9;
struct Layout {
    int width = 640;
    int height = 480;
    int x() const { return width - 1; }
    int y() const { return height - 1; }
    int frame_top() const { return kH + 4; }
    int status_top() const { return y() - kH - 4; }
    // The plot viewport, one pixel inside the frame.
    int plot_left() const { return 1; }
    int plot_top() const { return kH + 5; }
    int plot_width() const { return (x() - 1) - 1; }
    int plot_height() const { return (y() - kH - 5) - plot_top(); }
};
const Layout kLayout;  // the usual 640 x 480
constexpr int kPlotLeft = 1;
constexpr int kPlotTop = kH + 5;  // 14
const int kPlotWidth = kLayout.plot_width();  // 637

struct Box {
    int left, top, right, bottom;  // right and bottom excluded
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// The character cells of a caption centred on x = X / 2 with its top at `top`.
Box caption_box(const Layout& l, const std::string& text, int top) {
    const int width = 8 * static_cast<int>(text.size());
    return Box{l.x() / 2 - width / 2, top, l.x() / 2 - width / 2 + width, top + kH};
}

class ExpectedPicture {
public:
    ExpectedPicture(const std::string& title, const std::string& status, Layout layout = Layout())
        : l_(layout), title_(caption_box(l_, title, 2)), status_(caption_box(l_, status, l_.y() - kH - 2)) {
        picture_.width = l_.width;
        picture_.height = l_.height;
        picture_.pixels.assign(static_cast<std::size_t>(l_.width) * l_.height, kBlack);
        // Frame and status box: only their top and left edges survive the
        // clip, which leaves out each viewport's right column and bottom row.
        for (int x = 0; x < l_.x(); ++x) {
            picture_.set(x, l_.frame_top(), kWhite);
            picture_.set(x, l_.status_top(), kWhite);
        }
        for (int y = l_.frame_top(); y < l_.y(); ++y) picture_.set(0, y, kWhite);
    }

    // A pixel in plot viewport coordinates, dropped where the clip drops it.
    void plot(long long x, long long y, std::uint32_t rgb) {
        if (x < 0 || x >= l_.plot_width() || y < 0 || y >= l_.plot_height()) return;
        picture_.set(static_cast<int>(x) + l_.plot_left(), static_cast<int>(y) + l_.plot_top(), rgb);
    }

    // The grid lines of box column c of an n x n grid: the outlines of the
    // n + 1 rectangles from (0, 0) to the right edge of the column and the
    // top of each box row, k = 0 to n (the last one the grid's bottom).
    void grid_column(int n, int c) {
        const int bw = l_.plot_width() / n;
        const int bh = l_.plot_height() / n;
        const int right = (c + 1) * bw - 1;
        for (int k = 0; k <= n; ++k) {
            const int bottom = l_.plot_height() - (n - k) * bh;
            for (int x = 0; x <= right; ++x) {
                plot(x, 0, kGridGrey);
                plot(x, bottom, kGridGrey);
            }
            for (int y = 0; y <= bottom; ++y) {
                plot(0, y, kGridGrey);
                plot(right, y, kGridGrey);
            }
        }
    }

    // The whole grid, for when no point of the first row is in its way.
    void grid(int n) {
        for (int c = 0; c < n; ++c) grid_column(n, c);
    }

    // The point of cell (column, row) of an n x n grid whose time and value
    // lie at the fractions fx_num / fx_den and fy_num / fy_den of their
    // limits: x = (fx + column) x box width, y = height - (fy + n - row - 1)
    // x box height, truncated toward zero (as C++ integer division does).
    void point(int n, int column, int row, long long fx_num, long long fx_den, long long fy_num, long long fy_den) {
        const long long bw = l_.plot_width() / n;
        const long long bh = l_.plot_height() / n;
        const long long x = (fx_num + column * fx_den) * bw / fx_den;
        const long long y = (l_.plot_height() * fy_den - (fy_num + (n - row - 1) * fy_den) * bh) / fy_den;
        plot(x, y, kMagenta);
    }

    // Compares `got` with the picture; captions are checked separately.
    void check(const Picture& got) const {
        ASSERT_EQ(got.width, l_.width);
        ASSERT_EQ(got.height, l_.height);
        int wrong = 0;
        std::ostringstream report;
        for (int y = 0; y < l_.height; ++y) {
            for (int x = 0; x < l_.width; ++x) {
                if (title_.contains(x, y) || status_.contains(x, y)) continue;
                if (got.at(x, y) != picture_.at(x, y)) {
                    if (++wrong <= 20)
                        report << " (" << x << "," << y << ") is " << std::hex << got.at(x, y) << " not "
                               << picture_.at(x, y) << std::dec;
                }
            }
        }
        EXPECT_EQ(wrong, 0) << "pixels differ:" << report.str();
        check_caption(got, title_, "title");
        check_caption(got, status_, "status message");
    }

private:
    // Inside its character box a caption is white on black, and it is there.
    static void check_caption(const Picture& got, const Box& box, const char* what) {
        int lit = 0;
        for (int y = box.top; y < box.bottom; ++y) {
            for (int x = box.left; x < box.right; ++x) {
                const std::uint32_t p = got.at(x, y);
                EXPECT_TRUE(p == kWhite || p == kBlack) << what << " pixel (" << x << "," << y << ")";
                if (p == kWhite) ++lit;
            }
        }
        EXPECT_GT(lit, 0) << what << " not drawn";
    }

    Layout l_;
    Picture picture_;
    Box title_;
    Box status_;
};

const char kPrompt[] = "Esc aborta o presione una tecla...";

// Runs the program headless on `log` with the given limits, answers the
// final prompt with a letter and returns the snapshot taken at the prompt.
// `env` changes the environment further.
Picture snapshot_of(const std::string& log, std::vector<std::string> limits, Outcome* outcome = nullptr,
                    const std::map<std::string, std::optional<std::string>>& env = {}) {
    ScratchDir dir;
    dir.write("log.skv", log);
    Launch launch;
    launch.args = {"log.skv"};
    launch.args.insert(launch.args.end(), limits.begin(), limits.end());
    launch.env["PELMORIX_DISPLAY"] = "headless";
    launch.env["PELMORIX_SNAPSHOT"] = dir.file("window.png");
    for (const auto& [name, value] : env) launch.env[name] = value;
    launch.cwd = dir.path();
    launch.input = "a";
    const Outcome r = viewer_test::run(kExe, launch);
    EXPECT_EQ(r.status, 0) << r.out;
    if (outcome != nullptr) *outcome = r;
    Picture picture;
    EXPECT_TRUE(viewer_test::read_png(dir.file("window.png"), &picture)) << "no snapshot";
    return picture;
}

// Limits: time 0 to 0.1, values 0 to 16. Block times 0, 0.025 and 0.05
// are the fractions 0, 1/4 and 1/2 of 0.1 exactly (0.1 is 4 x 0.025 in
// binary as well).
const char kThreeByThreeLog[] =
    "a heading\n"
    "4 8 12\n"
    "0 24 -0.5 8\n"
    "2 4 word\n"
    "8 8 8\n"
    "8 8 8 8\n"
    "\n"
    "16 16 16\n"
    "1 2 3\n"
    "\n"
    "4 16.125\n";

// The picture of kThreeByThreeLog at the final prompt, in a client area of
// the layout's size. The notes on where points fall are for 640 x 480.
ExpectedPicture three_by_three_picture(Layout layout = Layout()) {
    ExpectedPicture want("log.skv", kPrompt, layout);
    const int n = 3;
    // Block 0, time fraction 0. The first row draws each grid column just
    // before its point, and every later column's rectangles run over the
    // line x = 0 again, hiding the point of column 0 there. The grid comes
    // from the first row alone: later rows with four values do not change it.
    want.grid_column(n, 0);
    want.point(n, 0, 0, 0, 1, 4, 16);
    want.grid_column(n, 1);
    want.point(n, 1, 0, 0, 1, 8, 16);
    want.grid_column(n, 2);
    want.point(n, 2, 0, 0, 1, 12, 16);
    want.point(n, 0, 1, 0, 1, 0, 16);    // minimoy: on box row 1's bottom line
    want.point(n, 1, 1, 0, 1, 24, 16);   // above maximoy: in box row 0
    want.point(n, 2, 1, 0, 1, -1, 32);   // below minimoy: in box row 2
    want.point(n, 3, 1, 0, 1, 8, 16);    // a fourth column: the left-over pixel column 636
    want.point(n, 0, 2, 0, 1, 2, 16);
    want.point(n, 1, 2, 0, 1, 4, 16);
    want.point(n, 2, 2, 0, 1, 0, 16);    // a word is 0; minimoy of the last row is below the clip
    for (int c = 0; c < 3; ++c) want.point(n, c, 3, 0, 1, 8, 16);  // rows beyond the grid: clipped
    for (int c = 0; c < 4; ++c) want.point(n, c, 4, 0, 1, 8, 16);
    // Block 1, time fraction 1/4.
    for (int c = 0; c < 3; ++c) want.point(n, c, 0, 1, 4, 16, 16);  // maximoy: box row 0's top line
    want.point(n, 0, 1, 1, 4, 1, 16);
    want.point(n, 1, 1, 1, 4, 2, 16);
    want.point(n, 2, 1, 1, 4, 3, 16);
    // Block 2, time fraction 1/2.
    want.point(n, 0, 0, 1, 2, 4, 16);
    // 16.125 maps to y = 451 - (129/128 + 2) x 150 = -0.17, drawn at 0.
    want.point(n, 1, 0, 1, 2, 129, 128);
    return want;
}

TEST(WindowPicture, ThreeByThreeModelWithKnownValues) {
    const std::string log = kThreeByThreeLog;
    const ExpectedPicture want = three_by_three_picture();
    // The same picture from the log compressed.
    const struct {
        const char* what;
        std::string bytes;
    } forms[] = {
        {"plain", log},
        {"gzip", viewer_test::compress("gzip", log)},
        {"zstd", viewer_test::compress("zstd", log)},
    };
    for (const auto& f : forms) {
        SCOPED_TRACE(f.what);
        Outcome run;
        const Picture got = snapshot_of(f.bytes, {"0", "0", "0.1", "16"}, &run);
        EXPECT_NE(run.out.find("Dimension detectada del modelo: 4 x 5\n"), std::string::npos) << run.out;
        want.check(got);
    }
}

// The client size comes from PELMORIX_SIZE, and everything drawn follows
// it; a value of any of the program's variables that is not understood is
// said in one line on standard error and counts as unset.
TEST(WindowPicture, TheLayoutFollowsTheClientSizeAskedFor) {
    const std::string bad_size = " ignored: the size is WxH, W from 320 to 7680 and H from 200 to 4320, or screen\n";
    const struct {
        const char* name;
        const char* value;
        Layout layout;
        std::string said;  // on standard error
    } rows[] = {
        {"PELMORIX_SIZE", "1280x960", {1280, 960}, ""},
        {"PELMORIX_SIZE", "1001x777", {1001, 777}, ""},
        {"PELMORIX_SIZE", "", {}, ""},
        {"PELMORIX_SIZE", "big", {}, "pelmorix: PELMORIX_SIZE=big" + bad_size},
        {"PELMORIX_SIZE", "10x10", {}, "pelmorix: PELMORIX_SIZE=10x10" + bad_size},
        {"PELMORIX_SIZE", "9000x9000", {}, "pelmorix: PELMORIX_SIZE=9000x9000" + bad_size},
        {"PELMORIX_SIZE", "screen", {}, "pelmorix: PELMORIX_SIZE=screen ignored: there is no screen\n"},
        {"PELMORIX_SCALE", "9", {}, "pelmorix: PELMORIX_SCALE=9 ignored: the scale is a whole number from 1 to 8\n"},
        // No desktop named: chosen as when unset, that is headless, and said.
        {"PELMORIX_DISPLAY", "Headless", {},
         "pelmorix: PELMORIX_DISPLAY=Headless ignored: the display is window or headless\n"
         "pelmorix: no display could be opened; drawing headless\n"},
    };
    const std::string console = "Archivo skv: log.skv\nMinimo(x)=0 Minimo(y)=0\nMaximo(x)=0.1 Maximo(y)=16\n"
                                "Dimension detectada del modelo: 4 x 5\n";
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.name) + "=" + r.value);
        std::map<std::string, std::optional<std::string>> env = {{r.name, r.value}};
        if (std::string(r.name) == "PELMORIX_DISPLAY") {
            env["DISPLAY"] = std::nullopt;
            env["WAYLAND_DISPLAY"] = std::nullopt;
            env["SDL_VIDEODRIVER"] = std::nullopt;
        }
        Outcome run;
        const Picture got = snapshot_of(kThreeByThreeLog, {"0", "0", "0.1", "16"}, &run, env);
        EXPECT_EQ(run.out, console);
        EXPECT_EQ(run.err, r.said);
        three_by_three_picture(r.layout).check(got);
    }
}

TEST(WindowPicture, BlockTimeIsARunningSumOf0025) {
    // One cell, value 0.5, eleven blocks, time limits 0 to 0.25. Ten
    // additions of 0.025 give 0.24999999999999997, just short of 0.25, so
    // the last point lands on x = 636, inside the clip; ten times 0.025 is
    // 0.25 exactly and would land on x = 637, outside it.
    std::string log = "heading\n";
    for (int b = 0; b <= 10; ++b) log += (b > 0 ? "\n" : "") + std::string("0.5\n");
    const Picture got = snapshot_of(log, {"0", "0", "0.25", "1"});

    ExpectedPicture want("log.skv", kPrompt);
    want.grid(1);
    // y = 451 - 0.5 x 451 = 225.5, truncated to 225. The times before the
    // last: the running sum at each block, whose quotient by 0.25 is exact
    // (a power of two) and whose product with 637 fits a long double's
    // 64-bit significand exactly.
    double time = 0;
    for (int b = 0; b <= 10; ++b) {
        if (b > 0) time += 0.025;
        const long double x = static_cast<long double>(time) * 4 * kPlotWidth;
        want.plot(static_cast<long long>(x), 225, kMagenta);
    }
    ASSERT_LT(time, 0.25);
    want.check(got);
    EXPECT_EQ(got.at(kPlotLeft + 636, kPlotTop + 225), kMagenta) << "the eleventh block's point";
}

TEST(WindowPicture, EqualLimitsKeepTheGridAndCentreThePointsInTheirBoxes) {
    // Both axes without a span: every point at the middle of its box,
    // whatever its time and value.
    const std::string log = "heading\n1 5\n9 5\n\n3 -3\n3 300\n";
    Outcome run;
    const Picture got = snapshot_of(log, {"0", "5", "0", "5"}, &run);
    EXPECT_EQ(run.out, "Archivo skv: log.skv\nMinimo(x)=0 Minimo(y)=5\nMaximo(x)=0 Maximo(y)=5\n"
                       "Dimension detectada del modelo: 2 x 2\n");
    ExpectedPicture want("log.skv", kPrompt);
    want.grid(2);
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 2; ++column) want.point(2, column, row, 1, 2, 1, 2);
    want.check(got);
}

TEST(WindowPicture, ValuesBeyondRangeAndWordsAreDrawnOrClippedWithoutHarm) {
    // Row 0: infinities and a value so large that its y lies far beyond an
    // int: all three land outside the plot and are clipped. Row 1: "nan" and
    // "inf" are words, 0 at the bottom of their boxes. Row 2: hexadecimal
    // 16 is its leading "0".
    const std::string log =
        "heading\n"
        "1e400 -1e400 1e308\n"
        "nan inf 8\n"
        "0x10 4 -1e308\n";
    const Picture got = snapshot_of(log, {"0", "0", "1", "16"});
    ExpectedPicture want("log.skv", kPrompt);
    want.grid(3);
    want.point(3, 0, 1, 0, 1, 0, 16);
    want.point(3, 1, 1, 0, 1, 0, 16);
    want.point(3, 2, 1, 0, 1, 8, 16);
    want.point(3, 0, 2, 0, 1, 0, 16);
    want.point(3, 1, 2, 0, 1, 4, 16);
    want.check(got);
}

TEST(WindowPicture, InfiniteLimitsLeaveTheGridAndPlaceNoPoint) {
    // Time limits beyond a double, -inf and +inf: every time fraction is
    // inf / inf, which is no position at all.
    Outcome run;
    const Picture got = snapshot_of("heading\n1 2\n3 4\n", {"-1e400", "0", "1e400", "16"}, &run);
    EXPECT_EQ(run.out, "Archivo skv: log.skv\nMinimo(x)=-inf Minimo(y)=0\nMaximo(x)=inf Maximo(y)=16\n"
                       "Dimension detectada del modelo: 2 x 2\n");
    ExpectedPicture want("log.skv", kPrompt);
    want.grid(2);
    want.check(got);
}

TEST(WindowPicture, RowsWithoutValues) {
    struct Case {
        const char* what;
        std::string log;
        bool grid;
    } cases[] = {
        // The first row sizes the grid; without a value there is no grid and
        // nothing can be placed, for the rest of the run.
        {"second line of blanks only", "heading\n   \n4 8\n\n4 8\n", false},
        // The line after a block's blank line is that block's row 0 even
        // when blank: the next row is row 1.
        {"two blank lines in a row", "heading\n4 8\n\n\n4 8\n", true},
    };
    for (const Case& c : cases) {
        const Picture got = snapshot_of(c.log, {"0", "0", "0.1", "16"});
        ExpectedPicture want("log.skv", kPrompt);
        if (c.grid) {
            want.grid_column(2, 0);
            want.point(2, 0, 0, 0, 1, 4, 16);  // hidden by the next column's lines
            want.grid_column(2, 1);
            want.point(2, 1, 0, 0, 1, 8, 16);
            want.point(2, 0, 1, 1, 4, 4, 16);
            want.point(2, 1, 1, 1, 4, 8, 16);
        }
        SCOPED_TRACE(c.what);
        want.check(got);
    }
}

}  // namespace
