// Drawing on memory DCs, compared pixel-exact with pictures drawn by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "canvas.h"

using test_support::Canvas;
using test_support::rows;

namespace {

const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kGreen = RGB(0, 255, 0);
const std::map<unsigned, char> kLegend = {
    {0x000000, '.'}, {0xFFFFFF, '#'}, {0xFF0000, 'r'}, {0x0000FF, 'b'}, {0x00FF00, 'g'}};

class Raster : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("PELMORIX_DISPLAY", "headless", 1);
        platform_testing::reset();
    }
};

TEST_F(Raster, FillRectLeavesOutRightColumnAndBottomRow) {
    Canvas c(8, 6);
    c.fill(RGB(0, 0, 0));
    HBRUSH red = CreateSolidBrush(kRed);
    HBRUSH null_brush = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    const RECT filled{1, 1, 5, 4};
    EXPECT_NE(FillRect(c.dc(), &filled, red), 0);
    const RECT nothing[] = {
        {6, 1, 6, 5},  // zero width
        {6, 3, 7, 3},  // zero height
        {7, 5, 6, 1},  // right < left and bottom < top: not reordered
    };
    for (const RECT& r : nothing) FillRect(c.dc(), &r, red);
    const RECT all{0, 0, 8, 6};
    FillRect(c.dc(), &all, null_brush);  // the null brush paints nothing
    EXPECT_EQ(c.art(kLegend), rows({
                                  "........",
                                  ".rrrr...",
                                  ".rrrr...",
                                  ".rrrr...",
                                  "........",
                                  "........",
                              }));
    DeleteObject(red);
}

TEST_F(Raster, FillRectFollowsOriginAndClip) {
    Canvas c(8, 6);
    c.fill(RGB(0, 0, 0));
    HBRUSH blue = CreateSolidBrush(kBlue);
    SetViewportOrgEx(c.dc(), 2, 1, nullptr);
    HRGN clip = CreateRectRgn(0, 0, 6, 4);  // device coordinates
    SelectClipRgn(c.dc(), clip);
    const RECT r{-10, -10, 3, 10};  // logical: device x -8..4, y -9..10
    FillRect(c.dc(), &r, blue);
    EXPECT_EQ(c.art(kLegend), rows({
                                  "bbbbb...",
                                  "bbbbb...",
                                  "bbbbb...",
                                  "bbbbb...",
                                  "........",
                                  "........",
                              }));
    DeleteObject(clip);
    DeleteObject(blue);
}

// Pattern brushes: a 0 bit takes the DC's text colour and a 1 bit its
// background colour, both read when painting; the pattern repeats from
// device pixel (0, 0) whatever the viewport origin.
TEST_F(Raster, PatternBrushColoursAndAlignment) {
    // Two rows per pattern row: the pattern byte and a pad byte.
    const unsigned char bits[16] = {0x80, 0xFF, 0x40, 0xFF, 0x20, 0xFF, 0x10, 0xFF,
                                    0x08, 0xFF, 0x04, 0xFF, 0x02, 0xFF, 0xF1, 0xFF};
    HBITMAP bm = CreateBitmap(8, 8, 1, 1, bits);
    HBRUSH brush = CreatePatternBrush(bm);
    ASSERT_NE(brush, nullptr);
    struct Case {
        const char* label;
        int origin_x, origin_y;
    } cases[] = {
        {"origin at device (0, 0)", 0, 0},
        {"origin moved by (3, 5): the pattern does not move", 3, 5},
        {"negative origin", -7, -2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.label);
        Canvas c(19, 13);
        c.fill(RGB(0, 0, 0));
        // Colours set after the brush was made still apply.
        SetTextColor(c.dc(), kRed);
        SetBkColor(c.dc(), kBlue);
        SetViewportOrgEx(c.dc(), k.origin_x, k.origin_y, nullptr);
        const RECT r{1 - k.origin_x, 2 - k.origin_y, 18 - k.origin_x, 12 - k.origin_y};  // device (1,2)-(18,12)
        FillRect(c.dc(), &r, brush);
        for (int y = 0; y < 13; ++y) {
            for (int x = 0; x < 19; ++x) {
                unsigned want = 0x000000;
                if (x >= 1 && x < 18 && y >= 2 && y < 12) {
                    const bool one = (bits[2 * (y % 8)] & (0x80 >> (x % 8))) != 0;
                    want = one ? 0x0000FF : 0xFF0000;
                }
                ASSERT_EQ(c.pixel(x, y), want) << "at (" << x << ", " << y << ")\n" << c.art(kLegend);
            }
        }
    }
    DeleteObject(brush);
    DeleteObject(bm);
}

TEST_F(Raster, SetPixelWithOriginAndClip) {
    Canvas c(6, 4);
    c.fill(RGB(0, 0, 0));
    SetViewportOrgEx(c.dc(), 1, 1, nullptr);
    HRGN clip = CreateRectRgn(0, 0, 4, 3);
    SelectClipRgn(c.dc(), clip);
    DeleteObject(clip);  // the DC keeps its own copy
    EXPECT_EQ(SetPixel(c.dc(), 0, 0, kRed), kRed);             // device (1, 1)
    EXPECT_EQ(SetPixel(c.dc(), 2, 1, kRed), kRed);             // device (3, 2): last column and row inside
    EXPECT_EQ(SetPixel(c.dc(), 3, 1, kRed), CLR_INVALID);      // device (4, 2): right of the clip
    EXPECT_EQ(SetPixel(c.dc(), 0, 2, kRed), CLR_INVALID);      // device (1, 3): below the clip
    EXPECT_EQ(SetPixel(c.dc(), -2, 0, kRed), CLR_INVALID);     // device (-1, 1): outside the bitmap
    EXPECT_EQ(SetPixel(c.dc(), 100000, 0, kRed), CLR_INVALID); // far outside
    EXPECT_EQ(c.art(kLegend), rows({
                                  "......",
                                  ".r....",
                                  "...r..",
                                  "......",
                              }));
}

// Regions are in device coordinates, normalised, half-open, and copied.
TEST_F(Raster, ClipRegions) {
    struct Case {
        const char* label;
        int left, top, right, bottom;
        const char* picture;
    } cases[] = {
        {"right column and bottom row clipped away", 1, 1, 4, 3, "......\n.rrr..\n.rrr..\n......\n"},
        {"swapped corners are normalised", 4, 3, 1, 1, "......\n.rrr..\n.rrr..\n......\n"},
        {"an empty rectangle clips everything", 2, 2, 2, 4, "......\n......\n......\n......\n"},
    };
    HBRUSH red = CreateSolidBrush(kRed);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.label);
        Canvas c(6, 4);
        c.fill(RGB(0, 0, 0));
        HRGN rgn = CreateRectRgn(k.left, k.top, k.right, k.bottom);
        ASSERT_NE(rgn, nullptr);
        SelectClipRgn(c.dc(), rgn);
        // Moving the origin afterwards moves the drawing, not the clip.
        SetViewportOrgEx(c.dc(), 3, 2, nullptr);
        const RECT r{-3, -2, 3, 2};
        FillRect(c.dc(), &r, red);
        EXPECT_EQ(c.art(kLegend), k.picture);
        DeleteObject(rgn);
    }
    DeleteObject(red);
}

TEST_F(Raster, PolylineLeavesOutLastPointAndClosedOutlineIsWhole) {
    Canvas c(8, 6);
    c.fill(RGB(0, 0, 0));
    HPEN red = CreatePen(PS_SOLID, 1, kRed);
    SelectObject(c.dc(), red);
    const POINT open[] = {{0, 0}, {4, 0}, {4, 2}};
    EXPECT_TRUE(Polyline(c.dc(), open, 3));
    const POINT box[] = {{1, 3}, {5, 3}, {5, 5}, {1, 5}, {1, 3}};
    EXPECT_TRUE(Polyline(c.dc(), box, 5));
    EXPECT_EQ(c.art(kLegend), rows({
                                  "rrrrr...",  // (4, 0) starts the second segment
                                  "....r...",
                                  "........",  // (4, 2), the open line's last point, is left out
                                  ".rrrrr..",
                                  ".r...r..",
                                  ".rrrrr..",
                              }));
    DeleteObject(red);  // still selected: refused
}

TEST_F(Raster, PolylineWithFewerThanTwoPointsFailsAndKeepsPosition) {
    Canvas c(4, 4);
    c.fill(RGB(255, 255, 255));
    MoveToEx(c.dc(), 2, 3, nullptr);
    const POINT one[] = {{1, 1}};
    EXPECT_FALSE(Polyline(c.dc(), one, 1));
    EXPECT_FALSE(Polyline(c.dc(), one, 0));
    const POINT two[] = {{0, 0}, {3, 0}};
    EXPECT_TRUE(Polyline(c.dc(), two, 2));
    POINT pos{};
    MoveToEx(c.dc(), 0, 0, &pos);
    EXPECT_EQ(pos.x, 2);
    EXPECT_EQ(pos.y, 3);
    // The default pen is solid black and one pixel wide.
    EXPECT_EQ(c.art(kLegend), rows({"...#", "####", "####", "####"}));
}

// The pixels a segment covers, read back from a fresh canvas.
std::set<std::pair<int, int>> segment_pixels(int x0, int y0, int x1, int y1) {
    Canvas c(40, 40);
    c.fill(RGB(0, 0, 0));
    HPEN pen = CreatePen(PS_SOLID, 1, kRed);
    SelectObject(c.dc(), pen);
    const POINT pts[] = {{x0, y0}, {x1, y1}};
    Polyline(c.dc(), pts, 2);
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            if (c.pixel(x, y) == 0xFF0000) out.insert({x, y});
        }
    }
    SelectObject(c.dc(), GetStockObject(BLACK_PEN));
    DeleteObject(pen);
    return out;
}

TEST_F(Raster, SegmentTiesTakeTheSmallerCoordinate) {
    struct Case {
        const char* label;
        int x0, y0, x1, y1;
        std::set<std::pair<int, int>> pixels;
    } cases[] = {
        // x-major, y exactly halfway at x = 2: the smaller y
        {"x-major tie, rightwards", 0, 0, 4, 1, {{0, 0}, {1, 0}, {2, 0}, {3, 1}}},
        {"x-major tie, leftwards", 4, 1, 0, 0, {{4, 1}, {3, 1}, {2, 0}, {1, 0}}},
        // y-major, x halfway at y = 2: the smaller x
        {"y-major tie, downwards", 0, 0, 1, 4, {{0, 0}, {0, 1}, {0, 2}, {1, 3}}},
        {"y-major tie, upwards", 1, 4, 0, 0, {{1, 4}, {1, 3}, {0, 2}, {0, 1}}},
        // y decreasing while x grows: the tie still goes to the smaller y
        {"x-major tie, y falling", 0, 1, 4, 0, {{0, 1}, {1, 1}, {2, 0}, {3, 0}}},
        {"a diagonal", 0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
        {"a single point draws nothing", 5, 5, 5, 5, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.label);
        EXPECT_EQ(segment_pixels(k.x0, k.y0, k.x1, k.y1), k.pixels);
    }
}

TEST_F(Raster, SegmentsCoverTheSamePixelsInBothDirections) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> coord(0, 39);
    for (int i = 0; i < 200; ++i) {
        const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
        auto forward = segment_pixels(x0, y0, x1, y1);
        auto backward = segment_pixels(x1, y1, x0, y0);
        if (x0 != x1 || y0 != y1) {
            // Apart from the swapped end points, the same pixels.
            forward.insert({x1, y1});
            backward.insert({x0, y0});
        }
        ASSERT_EQ(forward, backward) << "(" << x0 << ", " << y0 << ") - (" << x1 << ", " << y1 << ")";
        // One pixel per step of the major axis, each within half a pixel of the line.
        const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        ASSERT_EQ(static_cast<int>(forward.size()), steps + ((x0 != x1 || y0 != y1) ? 1 : 0));
    }
}

// Lines along a column drawn again and again (a grid of outlines from one
// corner) paint only what the column does not hold already; anything else
// drawn over it in between must be painted over again. Random strokes of
// every kind, each checked against the picture they must leave.
TEST_F(Raster, LinesDrawnAgainCoverWhatWasDrawnOverThem) {
    constexpr int kSize = 12;
    Canvas c(kSize, kSize);
    c.fill(RGB(0, 0, 0));
    Canvas source(kSize, kSize);
    source.fill(kGreen);
    unsigned expected[kSize][kSize] = {};
    HPEN pens[] = {CreatePen(PS_SOLID, 1, kRed), CreatePen(PS_SOLID, 1, kBlue)};
    const unsigned rgb[] = {0xFF0000, 0x0000FF};
    HBRUSH blue = CreateSolidBrush(kBlue);
    std::mt19937 rng(7);
    const auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    int pen = 0;
    SelectObject(c.dc(), pens[pen]);
    for (int step = 0; step < 5000; ++step) {
        const int kind = below(9);
        const int x = below(4);  // few columns, so that lines meet
        const int a = below(kSize + 2) - 1;
        const int b = below(kSize + 2) - 1;
        std::string what;
        if (kind == 8) {
            // The other pen; SetPixel's short cut lives on across lines until then.
            pen ^= 1;
            SelectObject(c.dc(), pens[pen]);
            what = "the other pen";
        } else if (kind <= 4) {
            // A line down a column (four times as often), or along a row in
            // either colour, across the columns' runs.
            const bool down = kind != 4;
            const int used = down ? pen : below(2);
            if (used != pen) SelectObject(c.dc(), pens[used]);
            const POINT line[] = {down ? POINT{x, a} : POINT{a, x}, down ? POINT{x, b} : POINT{b, x}};
            Polyline(c.dc(), line, 2);
            if (used != pen) SelectObject(c.dc(), pens[pen]);
            // The first point in, the last out.
            const int step_by = b > a ? 1 : -1;
            for (int k = a; k != b; k += step_by) {
                if (k < 0 || k >= kSize) continue;
                (down ? expected[k][x] : expected[x][k]) = rgb[used];
            }
            what = std::string(down ? "column " : "row ") + std::to_string(x) + " from " + std::to_string(a) + " to " +
                   std::to_string(b) + (used == 0 ? " red" : " blue");
        } else if (kind == 5) {
            // Pixels, twice, so that the second takes SetPixel's short cut.
            for (int k = 0; k < 2; ++k) {
                const int y = below(kSize);
                SetPixel(c.dc(), x, y, kBlue);
                expected[y][x] = 0x0000FF;
            }
            what = "pixels";
        } else if (kind == 6) {
            const RECT r{x, std::min(a, b), x + 1, std::max(a, b)};
            FillRect(c.dc(), &r, blue);
            for (int y = std::max(0, static_cast<int>(r.top)); y < std::min(kSize, static_cast<int>(r.bottom)); ++y) {
                expected[y][x] = 0x0000FF;
            }
            what = "a fill";
        } else {
            const int y = below(kSize);
            BitBlt(c.dc(), x, y, 1, 1, source.dc(), 0, 0, SRCCOPY);
            expected[y][x] = 0x00FF00;
            what = "a copy";
        }
        for (int y = 0; y < kSize; ++y) {
            for (int px = 0; px < kSize; ++px) {
                ASSERT_EQ(c.pixel(px, y), expected[y][px]) << "step " << step << ", " << what << ": pixel " << px
                                                           << ", " << y;
            }
        }
    }
    SelectObject(c.dc(), GetStockObject(BLACK_PEN));
    for (HPEN made : pens) DeleteObject(made);
    DeleteObject(blue);
}

TEST_F(Raster, SegmentsFarOutsideTheSurfaceAreClipped) {
    Canvas c(10, 3);
    c.fill(RGB(0, 0, 0));
    HPEN pen = CreatePen(PS_SOLID, 1, kRed);
    SelectObject(c.dc(), pen);
    // A horizontal line through the canvas from far away on both sides.
    const POINT pts[] = {{-2000000000, 1}, {2000000000, 1}};
    EXPECT_TRUE(Polyline(c.dc(), pts, 2));
    EXPECT_EQ(c.art(kLegend), rows({"..........", "rrrrrrrrrr", ".........."}));
}

// The dashes of cosmetic styles, in pixels, starting with a dash; the gaps
// take the background colour (opaque mode); the pattern runs on across the
// vertices of one polyline and restarts with the next.
TEST_F(Raster, CosmeticPenStyles) {
    struct Case {
        const char* label;
        int style;
        const char* line;  // 'r' dash, 'b' gap, for the first 40 pixels
    } cases[] = {
        {"PS_DASH 18 on, 6 off", PS_DASH, "rrrrrrrrrrrrrrrrrrbbbbbbrrrrrrrrrrrrrrrr"},
        {"PS_DOT 3 on, 3 off", PS_DOT, "rrrbbbrrrbbbrrrbbbrrrbbbrrrbbbrrrbbbrrrb"},
        {"PS_DASHDOT 9, 6, 3, 6", PS_DASHDOT, "rrrrrrrrrbbbbbbrrrbbbbbbrrrrrrrrrbbbbbbr"},
        {"PS_DASHDOTDOT 9, 3, 3, 3, 3, 3", PS_DASHDOTDOT, "rrrrrrrrrbbbrrrbbbrrrbbbrrrrrrrrrbbbrrrb"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.label);
        Canvas c(41, 3);
        c.fill(RGB(0, 0, 0));
        HPEN pen = CreatePen(k.style, 1, kRed);
        SelectObject(c.dc(), pen);
        SetBkColor(c.dc(), kBlue);
        // Three segments: the pattern must run on across the vertices.
        const POINT pts[] = {{0, 1}, {7, 1}, {23, 1}, {40, 1}};
        Polyline(c.dc(), pts, 4);
        std::string got;
        for (int x = 0; x < 40; ++x) got += c.pixel(x, 1) == 0xFF0000 ? 'r' : c.pixel(x, 1) == 0x0000FF ? 'b' : '?';
        EXPECT_EQ(got, k.line);
        // A second polyline starts the pattern again.
        const POINT again[] = {{0, 2}, {10, 2}};
        Polyline(c.dc(), again, 2);
        std::string second;
        for (int x = 0; x < 10; ++x) second += c.pixel(x, 2) == 0xFF0000 ? 'r' : c.pixel(x, 2) == 0x0000FF ? 'b' : '?';
        EXPECT_EQ(second, std::string(k.line).substr(0, 10));
        SelectObject(c.dc(), GetStockObject(BLACK_PEN));
        DeleteObject(pen);
    }
}

TEST_F(Raster, TransparentModeLeavesGapsAndWideStyledPensDrawSolid) {
    Canvas c(12, 5);
    c.fill(RGB(0, 0, 0));
    HPEN dotted = CreatePen(PS_DOT, 1, kRed);
    SelectObject(c.dc(), dotted);
    SetBkMode(c.dc(), TRANSPARENT);
    const POINT a[] = {{0, 0}, {12, 0}};
    Polyline(c.dc(), a, 2);
    HPEN wide = CreatePen(PS_DOT, 3, kGreen);
    SelectObject(c.dc(), wide);
    DeleteObject(dotted);
    const POINT b[] = {{1, 3}, {11, 3}};
    Polyline(c.dc(), b, 2);
    EXPECT_EQ(c.art(kLegend), rows({
                                  "rrr...rrr...",
                                  "............",
                                  ".ggggggggggg",  // solid, with round ends: the first point's
                                  "gggggggggggg",  // end reaches one pixel left of it, the last
                                  ".ggggggggggg",  // point is covered
                              }));
    SelectObject(c.dc(), GetStockObject(BLACK_PEN));
    DeleteObject(wide);
}

TEST_F(Raster, UserStylePens) {
    LOGBRUSH lb{BS_SOLID, kRed, 0};
    const DWORD lengths[] = {2, 1, 0, 3};  // a zero length among others is accepted
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 1, &lb, 4, lengths);
    ASSERT_NE(pen, nullptr);
    Canvas c(12, 1);
    c.fill(RGB(0, 0, 255));
    SelectObject(c.dc(), pen);
    const POINT pts[] = {{0, 0}, {12, 0}};
    Polyline(c.dc(), pts, 2);
    // Dash 2, gap 1, dash 0, gap 3: gaps stay as they were.
    EXPECT_EQ(c.art(kLegend), "rrbbbbrrbbbb\n");
    // On a sloped line the step that passes over the empty dash takes its
    // colour from it: drawn, though the gap's step it also is.
    Canvas d(12, 12);
    d.fill(RGB(0, 0, 255));
    SelectObject(d.dc(), pen);
    const POINT diagonal[] = {{0, 0}, {12, 12}};
    Polyline(d.dc(), diagonal, 2);
    std::string along;
    for (int i = 0; i < 12; ++i) along += d.pixel(i, i) == 0xFF0000 ? 'r' : 'b';
    EXPECT_EQ(along, "rrbrbbrrbrbb");
    SelectObject(c.dc(), GetStockObject(BLACK_PEN));
    SelectObject(d.dc(), GetStockObject(BLACK_PEN));
    DeleteObject(pen);

    struct Bad {
        const char* label;
        DWORD count;
        std::vector<DWORD> lengths;
        DWORD style = PS_GEOMETRIC | PS_USERSTYLE;
        DWORD width = 1;
    } bad[] = {
        {"more than 16 lengths", 17, std::vector<DWORD>(17, 1)},
        {"all lengths zero", 3, {0, 0, 0}},
        {"a negative length", 2, {4, static_cast<DWORD>(-1)}},
        {"a cosmetic pen wider than one pixel", 0, {}, PS_COSMETIC | PS_SOLID, 3},
        {"a cosmetic pen with square ends", 0, {}, PS_COSMETIC | PS_SOLID | PS_ENDCAP_SQUARE, 1},
    };
    for (const Bad& k : bad) {
        SCOPED_TRACE(k.label);
        SetLastError(0);
        EXPECT_EQ(ExtCreatePen(k.style, k.width, &lb, k.count, k.lengths.empty() ? nullptr : k.lengths.data()),
                  nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

// A wide pen's ends: round (a disc, the last point covered), square (the
// body drawn on by half the width, rounded to whole pixels) and flat (the
// body alone, from the first point up to the last).
TEST_F(Raster, WidePenEnds) {
    const struct { DWORD end; const char* art; } rows[] = {
        {PS_ENDCAP_ROUND, ".............\n"
                          "..#########..\n"
                          ".###########.\n"
                          ".###########.\n"
                          ".###########.\n"
                          "..#########..\n"
                          ".............\n"},
        {PS_ENDCAP_SQUARE, ".............\n"
                           ".##########..\n"
                           ".##########..\n"
                           ".##########..\n"
                           ".##########..\n"
                           ".##########..\n"
                           ".............\n"},
        {PS_ENDCAP_FLAT, ".............\n"
                         "...######....\n"
                         "...######....\n"
                         "...######....\n"
                         "...######....\n"
                         "...######....\n"
                         ".............\n"},
    };
    LOGBRUSH lb{BS_SOLID, RGB(255, 255, 255), 0};
    for (const auto& r : rows) {
        HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | r.end, 5, &lb, 0, nullptr);
        ASSERT_NE(pen, nullptr);
        Canvas c(13, 7);
        c.fill(RGB(0, 0, 0));
        SelectObject(c.dc(), pen);
        const POINT pts[] = {{3, 3}, {9, 3}};
        Polyline(c.dc(), pts, 2);
        EXPECT_EQ(c.art(kLegend), r.art) << r.end;
        SelectObject(c.dc(), GetStockObject(BLACK_PEN));
        DeleteObject(pen);
    }
}

// A wide dashed line coming from far outside the surface: the periods that
// cannot reach it are passed over, and what shows is what the part of the
// line near the surface draws, a whole number of periods on.
TEST_F(Raster, AWideDashedLineFromFarAwayDrawsAsItsNearPart) {
    LOGBRUSH lb{BS_SOLID, kRed, 0};
    const DWORD lengths[] = {5, 3};
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 3, &lb, 2, lengths);
    ASSERT_NE(pen, nullptr);
    const struct { POINT far_start, near_start, end; const char* why; } rows[] = {
        {{-2000000000, 4}, {-16, 4}, {30, 4}, "along a row"},
        {{5, 2000000000}, {5, 24}, {5, -1}, "up a column"},
    };
    for (const auto& r : rows) {
        Canvas far_away(24, 10), near(24, 10);
        for (Canvas* c : {&far_away, &near}) {
            c->fill(RGB(0, 0, 0));
            SelectObject(c->dc(), pen);
        }
        const POINT a[] = {r.far_start, r.end};
        const POINT b[] = {r.near_start, r.end};
        Polyline(far_away.dc(), a, 2);
        Polyline(near.dc(), b, 2);
        EXPECT_EQ(far_away.art(kLegend), near.art(kLegend)) << r.why;
        EXPECT_NE(near.art(kLegend).find('r'), std::string::npos) << r.why;
        for (Canvas* c : {&far_away, &near}) SelectObject(c->dc(), GetStockObject(BLACK_PEN));
    }
    DeleteObject(pen);
}

TEST_F(Raster, BitBltCopiesWithinClipAndSource) {
    Canvas src(4, 3);
    src.fill(RGB(0, 0, 0));
    const RECT red{0, 0, 2, 3};
    HBRUSH r = CreateSolidBrush(kRed);
    FillRect(src.dc(), &red, r);
    SetPixel(src.dc(), 3, 2, kBlue);

    Canvas dst(8, 5);
    dst.fill(RGB(255, 255, 255));
    SetViewportOrgEx(dst.dc(), 1, 1, nullptr);
    HRGN clip = CreateRectRgn(0, 0, 7, 5);
    SelectClipRgn(dst.dc(), clip);
    // Ask for 8 x 5 pixels from a 4 x 3 source starting at (1, 0): only the
    // source's 3 x 3 pixels come, and only inside the clip.
    EXPECT_TRUE(BitBlt(dst.dc(), 3, 1, 8, 5, src.dc(), 1, 0, SRCCOPY));
    EXPECT_EQ(dst.art(kLegend), rows({
                                    "########",
                                    "########",
                                    "####r..#",
                                    "####r..#",
                                    "####r.b#",
                                }));
    DeleteObject(clip);
    DeleteObject(r);
}

TEST_F(Raster, BitBltWithinOneSurfaceOverlapping) {
    Canvas c(6, 1);
    for (int x = 0; x < 6; ++x) SetPixel(c.dc(), x, 0, RGB(x * 40, 0, 0));
    BitBlt(c.dc(), 1, 0, 5, 1, c.dc(), 0, 0, SRCCOPY);
    const unsigned want[] = {0x000000, 0x000000, 0x280000, 0x500000, 0x780000, 0xA00000};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(c.pixel(x, 0), want[x]) << x;
}

// Palette references resolve through the palette selected when drawing:
// entry i, entry 0 beyond the palette, and explicit entries name system colours.
TEST_F(Raster, PaletteIndexResolvesAtDrawingTime) {
    struct {
        LOGPALETTE head;
        PALETTEENTRY more[3];
    } lp{};
    lp.head.palVersion = 0x300;
    lp.head.palNumEntries = 4;
    PALETTEENTRY* e = lp.head.palPalEntry;
    e[0] = {10, 20, 30, 0};
    e[1] = {255, 0, 0, PC_NOCOLLAPSE};
    e[2] = {0, 0, 255, 0};
    e[3] = {249 - 0, 0, 0, PC_EXPLICIT};  // system entry 249: red
    HPALETTE pal = CreatePalette(&lp.head);
    ASSERT_NE(pal, nullptr);
    Canvas c(5, 1);
    c.fill(RGB(0, 0, 0));
    SelectPalette(c.dc(), pal, FALSE);
    SetPixel(c.dc(), 0, 0, PALETTEINDEX(1));
    SetPixel(c.dc(), 1, 0, PALETTEINDEX(2));
    SetPixel(c.dc(), 2, 0, PALETTEINDEX(7));  // beyond the palette: entry 0
    SetPixel(c.dc(), 3, 0, PALETTEINDEX(3));
    SetPixel(c.dc(), 4, 0, PALETTERGB(1, 2, 3));
    EXPECT_EQ(c.pixel(0, 0), 0xFF0000u);
    EXPECT_EQ(c.pixel(1, 0), 0x0000FFu);
    EXPECT_EQ(c.pixel(2, 0), 0x0A141Eu);
    EXPECT_EQ(c.pixel(3, 0), 0xFF0000u);
    EXPECT_EQ(c.pixel(4, 0), 0x010203u);

    // The DC keeps the reference: a brush painting in PALETTEINDEX(1)
    // follows a new palette.
    e[1] = {0, 255, 0, 0};
    HPALETTE pal2 = CreatePalette(&lp.head);
    SelectPalette(c.dc(), pal2, FALSE);
    HBRUSH brush = CreateSolidBrush(PALETTEINDEX(1));
    const RECT r{0, 0, 1, 1};
    FillRect(c.dc(), &r, brush);
    EXPECT_EQ(c.pixel(0, 0), 0x00FF00u);
    DeleteObject(brush);
}

HFONT system_font() {
    return CreateFontA(-8, 8, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, FIXED_PITCH | FF_DONTCARE, "Console");
}

// Bounding box of the pixels that are not the canvas colour.
RECT touched(const Canvas& c, unsigned canvas) {
    RECT r{1 << 20, 1 << 20, -(1 << 20), -(1 << 20)};
    for (int y = 0; y < c.height(); ++y) {
        for (int x = 0; x < c.width(); ++x) {
            if (c.pixel(x, y) != canvas) {
                r.left = std::min<LONG>(r.left, x);
                r.top = std::min<LONG>(r.top, y);
                r.right = std::max<LONG>(r.right, x + 1);
                r.bottom = std::max<LONG>(r.bottom, y + 1);
            }
        }
    }
    return r;
}

TEST_F(Raster, TextExtentOfTheSystemFont) {
    Canvas c(4, 4);
    HFONT f = system_font();
    SelectObject(c.dc(), f);
    SIZE s{};
    ASSERT_TRUE(GetTextExtentPoint32A(c.dc(), "H", 1, &s));
    EXPECT_EQ(s.cx, 8);
    EXPECT_EQ(s.cy, 9);
    ASSERT_TRUE(GetTextExtentPoint32A(c.dc(), "Fin!", 4, &s));
    EXPECT_EQ(s.cx, 32);
    EXPECT_EQ(s.cy, 9);
    ASSERT_TRUE(GetTextExtentPoint32A(c.dc(), "", 0, &s));
    EXPECT_EQ(s.cx, 0);
    EXPECT_EQ(s.cy, 9);
}

// Opaque text fills the whole cell box behind the characters; the
// alignment places the box around the reference point.
TEST_F(Raster, TextAlignmentAndOpaqueCells) {
    struct Case {
        const char* label;
        UINT align;
        RECT box;  // for "Hi" (16 x 9, ascent 7) at (20, 15)
    } cases[] = {
        {"left top", TA_LEFT | TA_TOP, {20, 15, 36, 24}},
        {"left baseline: ascent 7 above", TA_LEFT | TA_BASELINE, {20, 8, 36, 17}},
        {"left bottom", TA_LEFT | TA_BOTTOM, {20, 6, 36, 15}},
        {"centre top: half the width left", TA_CENTER | TA_TOP, {12, 15, 28, 24}},
        {"right top", TA_RIGHT | TA_TOP, {4, 15, 20, 24}},
        {"centre baseline", TA_CENTER | TA_BASELINE, {12, 8, 28, 17}},
        {"right bottom", TA_RIGHT | TA_BOTTOM, {4, 6, 20, 15}},
    };
    HFONT f = system_font();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.label);
        Canvas c(40, 30);
        c.fill(RGB(255, 255, 255));
        SelectObject(c.dc(), f);
        SetTextColor(c.dc(), kRed);
        SetBkColor(c.dc(), kBlue);
        SetTextAlign(c.dc(), k.align);
        ASSERT_TRUE(TextOutA(c.dc(), 20, 15, "Hi", 2));
        const RECT got = touched(c, 0xFFFFFF);
        EXPECT_EQ(got.left, k.box.left);
        EXPECT_EQ(got.top, k.box.top);
        EXPECT_EQ(got.right, k.box.right);
        EXPECT_EQ(got.bottom, k.box.bottom);
        // Every pixel of the box is text or background colour, and both occur.
        int text = 0, back = 0;
        for (int y = got.top; y < got.bottom; ++y) {
            for (int x = got.left; x < got.right; ++x) {
                text += c.pixel(x, y) == 0xFF0000;
                back += c.pixel(x, y) == 0x0000FF;
            }
        }
        EXPECT_EQ(text + back, 16 * 9);
        EXPECT_GT(text, 10);
        EXPECT_GT(back, 10);
        SelectObject(c.dc(), GetStockObject(SYSTEM_FONT));
    }
    DeleteObject(f);
}

TEST_F(Raster, TextCentreUsesIntegerHalfWidth) {
    // A 7-pixel cell: "H" is 7 wide, and TA_CENTER moves it left by 3.
    HFONT f = CreateFontA(-8, 7, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, FIXED_PITCH, "Console");
    Canvas c(20, 12);
    c.fill(RGB(255, 255, 255));
    SelectObject(c.dc(), f);
    SetBkColor(c.dc(), kBlue);
    SetTextAlign(c.dc(), TA_CENTER | TA_TOP);
    TextOutA(c.dc(), 10, 1, "H", 1);
    const RECT got = touched(c, 0xFFFFFF);
    EXPECT_EQ(got.left, 7);
    EXPECT_EQ(got.right, 14);
}

TEST_F(Raster, TextIsClippedAndBytesAbove127Draw) {
    HFONT f = system_font();
    Canvas c(30, 12);
    c.fill(RGB(255, 255, 255));
    SelectObject(c.dc(), f);
    SetBkColor(c.dc(), kBlue);
    HRGN clip = CreateRectRgn(0, 0, 12, 5);
    SelectClipRgn(c.dc(), clip);
    const char text[] = {'A', static_cast<char>(0xE9), static_cast<char>(0x01), 0};
    TextOutA(c.dc(), 2, 1, text, 3);
    const RECT got = touched(c, 0xFFFFFF);
    EXPECT_EQ(got.left, 2);
    EXPECT_EQ(got.top, 1);
    EXPECT_EQ(got.right, 12);
    EXPECT_EQ(got.bottom, 5);
    // The placeholder for non-ASCII bytes is visible: not only background.
    SelectClipRgn(c.dc(), nullptr);
    c.fill(RGB(255, 255, 255));
    TextOutA(c.dc(), 0, 0, text + 1, 1);
    int lit = 0;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 8; ++x) lit += c.pixel(x, y) == 0x000000;
    EXPECT_GT(lit, 4);
    DeleteObject(clip);
}

}  // namespace
