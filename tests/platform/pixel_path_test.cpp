// The drawing calls' quick ways, against the long ones.
//
// Solid one-pixel lines along a row or a column are filled as spans; the
// same lines drawn with a pen whose dash pattern is always on go step by
// step through the general line code, and must give the same pixels, for
// any end points, direction, origin and clip.
//
// SetPixel keeps what it looked up (surface, palette colour) in the DC; a
// change of bitmap, palette, clip or origin, a deleted object and the
// journal must all be seen on the very next call.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "canvas.h"
#include "platform_internal.h"

using test_support::Canvas;

namespace {

class PixelPath : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("PELMORIX_DISPLAY", "headless", 1);
        platform_testing::reset();
    }
};

std::vector<unsigned> picture(const Canvas& c) {
    std::vector<unsigned> p;
    for (int y = 0; y < c.height(); ++y) {
        for (int x = 0; x < c.width(); ++x) p.push_back(c.pixel(x, y));
    }
    return p;
}

// A coordinate near the canvas, on its edges, or far beyond it.
int coordinate(std::mt19937& rng, int size) {
    switch (rng() % 8) {
        case 0: return -static_cast<int>(rng() % 100000);
        case 1: return size + static_cast<int>(rng() % 100000);
        case 2: return rng() % 2 == 0 ? 0 : size - 1;
        case 3: return rng() % 2 == 0 ? -1 : size;
        default: return static_cast<int>(rng() % static_cast<unsigned>(size + 10)) - 5;
    }
}

TEST_F(PixelPath, RowAndColumnLinesMatchStepByStepDrawing) {
    std::mt19937 rng(7);
    const COLORREF color = RGB(200, 30, 90);
    HPEN solid = CreatePen(PS_SOLID, 1, color);
    LOGBRUSH brush{BS_SOLID, color, 0};
    // One dash that repeats: drawn at every step. (A zero-length gap would
    // not do: sloped lines take their colour from it.)
    const DWORD always_on[] = {3};
    HPEN stepped = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 1, &brush, 1, always_on);
    ASSERT_NE(stepped, nullptr);
    int differences = 0;
    for (int i = 0; i < 3000 && differences < 5; ++i) {
        const int w = 1 + static_cast<int>(rng() % 40);
        const int h = 1 + static_cast<int>(rng() % 30);
        Canvas quick(w, h);
        Canvas general(w, h);
        quick.fill(RGB(0, 0, 0));
        general.fill(RGB(0, 0, 0));
        const int ox = static_cast<int>(rng() % 11) - 5;
        const int oy = static_cast<int>(rng() % 11) - 5;
        HRGN clip = rng() % 2 == 0 ? CreateRectRgn(coordinate(rng, w), coordinate(rng, h), coordinate(rng, w),
                                                   coordinate(rng, h))
                                   : nullptr;
        std::vector<POINT> points(2 + rng() % 5);
        POINT at{coordinate(rng, w), coordinate(rng, h)};
        for (POINT& p : points) {
            p = at;
            // Along a row or a column from the last point, now and then a
            // diagonal or no move at all, so the segments mix.
            switch (rng() % 6) {
                case 0: at.x = coordinate(rng, w); break;
                case 1: at.y = coordinate(rng, h); break;
                case 2: at.x = coordinate(rng, w), at.y = coordinate(rng, h); break;
                case 3: break;
                default:
                    if (rng() % 2 == 0) {
                        at.x += static_cast<int>(rng() % 21) - 10;
                    } else {
                        at.y += static_cast<int>(rng() % 21) - 10;
                    }
            }
        }
        for (Canvas* c : {&quick, &general}) {
            SetViewportOrgEx(c->dc(), ox, oy, nullptr);
            SelectClipRgn(c->dc(), clip);
            SelectObject(c->dc(), c == &quick ? solid : stepped);
            EXPECT_TRUE(Polyline(c->dc(), points.data(), static_cast<int>(points.size())));
            SelectObject(c->dc(), GetStockObject(BLACK_PEN));
        }
        if (clip != nullptr) DeleteObject(clip);
        if (picture(quick) != picture(general)) {
            ++differences;
            std::string line;
            for (const POINT& p : points) line += " (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")";
            ADD_FAILURE() << "canvas " << w << " x " << h << ", origin (" << ox << ", " << oy << "), polyline" << line;
        }
    }
    DeleteObject(solid);
    DeleteObject(stepped);
}

TEST_F(PixelPath, LinesAlongARowOrColumnCoverTheirPixelsUpToTheLast) {
    Canvas c(6, 5);
    c.fill(RGB(0, 0, 0));
    HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    SelectObject(c.dc(), red);
    const POINT leftwards[] = {{4, 1}, {1, 1}};   // (4, 1) .. (2, 1)
    const POINT upwards[] = {{5, 4}, {5, 0}};     // (5, 4) .. (5, 1)
    const POINT beyond[] = {{-50, 3}, {50, 3}};   // the whole row, clipped
    Polyline(c.dc(), leftwards, 2);
    Polyline(c.dc(), upwards, 2);
    Polyline(c.dc(), beyond, 2);
    EXPECT_EQ(c.art({{0x000000, '.'}, {0xFF0000, 'r'}}), test_support::rows({
                                                            "......",
                                                            "..rrrr",
                                                            ".....r",
                                                            "rrrrrr",
                                                            ".....r",
                                                        }));
    SelectObject(c.dc(), GetStockObject(BLACK_PEN));
    DeleteObject(red);
}

HPALETTE palette_of(std::initializer_list<PALETTEENTRY> entries) {
    std::vector<unsigned char> memory(sizeof(LOGPALETTE) + entries.size() * sizeof(PALETTEENTRY));
    auto* lp = reinterpret_cast<LOGPALETTE*>(memory.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = static_cast<WORD>(entries.size());
    int i = 0;
    for (const PALETTEENTRY& e : entries) lp->palPalEntry[i++] = e;
    return CreatePalette(lp);
}

TEST_F(PixelPath, SetPixelFollowsEveryChangeOfTheDc) {
    Canvas c(4, 2);
    c.fill(RGB(0, 0, 0));
    HPALETTE warm = palette_of({{0, 0, 0, 0}, {255, 0, 0, 0}});
    HPALETTE cold = palette_of({{0, 0, 0, 0}, {0, 0, 255, 0}});
    const COLORREF index1 = PALETTEINDEX(1);

    // The same call twice: the second is the quick one, with the same result.
    SelectPalette(c.dc(), warm, FALSE);
    EXPECT_EQ(SetPixel(c.dc(), 0, 0, index1), RGB(255, 0, 0));
    EXPECT_EQ(SetPixel(c.dc(), 1, 0, index1), RGB(255, 0, 0));
    // Another palette: the same index is another colour.
    SelectPalette(c.dc(), cold, FALSE);
    EXPECT_EQ(SetPixel(c.dc(), 2, 0, index1), RGB(0, 0, 255));
    EXPECT_EQ(SetPixel(c.dc(), 3, 0, index1), RGB(0, 0, 255));
    // A plain colour and the palette index by turns.
    EXPECT_EQ(SetPixel(c.dc(), 0, 1, RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(SetPixel(c.dc(), 1, 1, index1), RGB(0, 0, 255));
    EXPECT_EQ(SetPixel(c.dc(), 2, 1, RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(c.pixel(0, 0), 0xFF0000u);
    EXPECT_EQ(c.pixel(1, 0), 0xFF0000u);
    EXPECT_EQ(c.pixel(2, 0), 0x0000FFu);
    EXPECT_EQ(c.pixel(3, 0), 0x0000FFu);
    EXPECT_EQ(c.pixel(0, 1), 0x010203u);
    EXPECT_EQ(c.pixel(1, 1), 0x0000FFu);
    EXPECT_EQ(c.pixel(2, 1), 0x010203u);

    // Origin and clip are read afresh on every call.
    SetPixel(c.dc(), 3, 1, index1);
    SetViewportOrgEx(c.dc(), 1, 0, nullptr);
    EXPECT_EQ(SetPixel(c.dc(), 3, 1, index1), static_cast<COLORREF>(CLR_INVALID));  // device (4, 1): off the bitmap
    HRGN clip = CreateRectRgn(0, 0, 1, 1);
    SelectClipRgn(c.dc(), clip);
    EXPECT_EQ(SetPixel(c.dc(), 0, 0, index1), static_cast<COLORREF>(CLR_INVALID));  // device (1, 0): clipped
    EXPECT_EQ(SetPixel(c.dc(), -1, 0, index1), RGB(0, 0, 255));                       // device (0, 0)
    SelectClipRgn(c.dc(), nullptr);
    SetViewportOrgEx(c.dc(), 0, 0, nullptr);
    DeleteObject(clip);

    // A bitmap selected in its place takes the drawing; the old one keeps
    // what it had.
    HBITMAP other = CreateBitmap(4, 2, 1, 32, nullptr);
    HBITMAP first = static_cast<HBITMAP>(SelectObject(c.dc(), other));
    EXPECT_EQ(SetPixel(c.dc(), 3, 0, RGB(9, 9, 9)), RGB(9, 9, 9));
    unsigned rgb = 0;
    ASSERT_TRUE(platform_testing::read_pixel(c.dc(), 3, 0, &rgb));
    EXPECT_EQ(rgb, 0x090909u);
    SelectObject(c.dc(), first);
    EXPECT_EQ(c.pixel(3, 0), 0x0000FFu);
    DeleteObject(other);

    // The journal sees calls that would otherwise take the quick way.
    SetPixel(c.dc(), 0, 0, index1);
    platform_testing::journal_enable(true);
    SetPixel(c.dc(), 1, 0, index1);
    SetPixel(c.dc(), 2, 0, index1);
    platform_testing::journal_enable(false);
    const std::vector<platform_testing::Call> calls = platform_testing::journal_of("SetPixel");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].args, (std::vector<long long>{2, 0, static_cast<long long>(index1)}));

    SelectPalette(c.dc(), static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
    DeleteObject(warm);
    DeleteObject(cold);
}

// Runs of SetPixel in one colour, as the plot loop makes them, take the
// quick way after the first: a point lands exactly when its device position
// is inside the clip (the bitmap, or the region within it), for points
// inside, on the edges of and far outside it, under origins that put it
// anywhere, up to the ends of the int range.
TEST_F(PixelPath, RunsOfSetPixelLandExactlyInsideTheClip) {
    std::mt19937 rng(20261208);
    constexpr int kWidth = 9;
    constexpr int kHeight = 7;
    const int origins[][2] = {{0, 0}, {3, -2}, {-7, 5}, {INT_MAX - 3, INT_MIN + 10}, {INT_MIN + 4, INT_MAX - 2}};
    // A device coordinate near the canvas as a logical one, where the int range has it.
    auto logical = [](int device, int origin) {
        return static_cast<int>(std::clamp<long long>(static_cast<long long>(device) - origin, INT_MIN, INT_MAX));
    };
    for (const auto& origin : origins) {
        for (int clipped = 0; clipped < 2; ++clipped) {
            SCOPED_TRACE(testing::Message() << "origin " << origin[0] << "," << origin[1] << " clipped " << clipped);
            Canvas c(kWidth, kHeight);
            c.fill(RGB(0, 0, 0));
            SetViewportOrgEx(c.dc(), origin[0], origin[1], nullptr);
            HRGN region = CreateRectRgn(2, 1, 7, 5);
            if (clipped != 0) SelectClipRgn(c.dc(), region);
            const RECT clip = clipped != 0 ? RECT{2, 1, 7, 5} : RECT{0, 0, kWidth, kHeight};
            std::vector<unsigned> expected(kWidth * kHeight, 0);
            int landed = 0;
            for (int i = 0; i < 600; ++i) {
                int x = logical(coordinate(rng, kWidth), origin[0]);
                int y = logical(coordinate(rng, kHeight), origin[1]);
                // The far ends of one axis, the other inside: a device
                // position some 2^32 away must not wrap round onto the canvas.
                const int far = static_cast<int>(rng() % 10);
                if (i % 20 == 7) {
                    x = rng() % 2 == 0 ? INT_MIN + far : INT_MAX - far;
                    y = logical(static_cast<int>(rng() % kHeight), origin[1]);
                } else if (i % 20 == 9) {
                    x = logical(static_cast<int>(rng() % kWidth), origin[0]);
                    y = rng() % 2 == 0 ? INT_MIN + far : INT_MAX - far;
                }
                const unsigned rgb = 0x010000u * static_cast<unsigned>(1 + i / 100) + 0x0102u;
                const long long dx = static_cast<long long>(x) + origin[0];
                const long long dy = static_cast<long long>(y) + origin[1];
                const bool inside = dx >= clip.left && dx < clip.right && dy >= clip.top && dy < clip.bottom;
                const COLORREF result = SetPixel(c.dc(), x, y, RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF));
                ASSERT_EQ(result, inside ? RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF) : CLR_INVALID)
                    << "SetPixel(" << x << ", " << y << ") at device (" << dx << ", " << dy << ")";
                if (inside) {
                    expected[static_cast<std::size_t>(dy * kWidth + dx)] = rgb;
                    ++landed;
                }
            }
            EXPECT_EQ(picture(c), expected);
            EXPECT_GE(landed, 5);  // the runs did reach the canvas
            SelectClipRgn(c.dc(), nullptr);
            DeleteObject(region);
        }
    }
}

TEST_F(PixelPath, SetPixelOnAGoneDcOrSurfaceFails) {
    // A DC deleted after a quick call: its handle is refused, not followed.
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, nullptr);
    SelectObject(dc, bitmap);
    EXPECT_EQ(SetPixel(dc, 0, 0, RGB(1, 1, 1)), RGB(1, 1, 1));
    EXPECT_EQ(SetPixel(dc, 1, 0, RGB(1, 1, 1)), RGB(1, 1, 1));
    ASSERT_TRUE(DeleteDC(dc));
    SetLastError(0);
    EXPECT_EQ(SetPixel(dc, 1, 1, RGB(1, 1, 1)), static_cast<COLORREF>(CLR_INVALID));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // Other objects come and go between calls on a live DC: the drawing
    // still lands where it should.
    HDC again = CreateCompatibleDC(nullptr);
    SelectObject(again, bitmap);
    EXPECT_EQ(SetPixel(again, 1, 1, RGB(2, 2, 2)), RGB(2, 2, 2));
    DeleteObject(CreateSolidBrush(RGB(3, 3, 3)));
    EXPECT_EQ(SetPixel(again, 0, 1, RGB(2, 2, 2)), RGB(2, 2, 2));
    unsigned rgb = 0;
    ASSERT_TRUE(platform_testing::read_pixel(again, 0, 1, &rgb));
    EXPECT_EQ(rgb, 0x020202u);
    // With a monochrome bitmap in its place the DC has no surface to draw on.
    HBITMAP mono = CreateBitmap(2, 2, 1, 1, nullptr);
    SelectObject(again, mono);
    EXPECT_EQ(SetPixel(again, 0, 0, RGB(2, 2, 2)), static_cast<COLORREF>(CLR_INVALID));
    EXPECT_EQ(SetPixel(again, 1, 0, RGB(2, 2, 2)), static_cast<COLORREF>(CLR_INVALID));
    SelectObject(again, bitmap);
    EXPECT_EQ(SetPixel(again, 1, 0, RGB(2, 2, 2)), RGB(2, 2, 2));
    DeleteDC(again);
    DeleteObject(mono);
    DeleteObject(bitmap);
}

LRESULT CALLBACK plain_procedure(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

// A window's surface that changes size under a DC kept from BeginPaint, as
// the graphics layer keeps its screen DC: the very next SetPixel uses the
// new bounds; a destroyed window takes no pixel at all.
TEST_F(PixelPath, SetPixelFollowsTheWindowSurface) {
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    platform_testing::set_headless_input(input[0]);
    WNDCLASSA wc{};
    wc.lpfnWndProc = plain_procedure;
    wc.lpszClassName = "PixelPathCanvas";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND w = CreateWindowExA(0, "PixelPathCanvas", "", WS_OVERLAPPEDWINDOW, 0, 0, 648, 507, nullptr, nullptr, nullptr,
                             nullptr);
    ASSERT_NE(w, nullptr);
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(w, &ps);
    ASSERT_NE(dc, nullptr);
    const COLORREF green = RGB(0, 200, 0);
    EXPECT_EQ(SetPixel(dc, 500, 400, green), green);
    EXPECT_EQ(SetPixel(dc, 501, 400, green), green);
    EXPECT_EQ(SetPixel(dc, 10, 10, green), green);
    // Showing the window, by a flush or by ShowWindow, marks it undrawn: the
    // next pixel of the same colour must mark it drawn again, or the screen
    // never gets it.
    ASSERT_TRUE(GdiFlush());
    ASSERT_FALSE(pelmorix_platform::find_window(w)->dirty);
    EXPECT_EQ(SetPixel(dc, 11, 10, green), green);
    EXPECT_TRUE(pelmorix_platform::find_window(w)->dirty);
    ShowWindow(w, SW_SHOWNORMAL);
    ASSERT_FALSE(pelmorix_platform::find_window(w)->dirty);
    EXPECT_EQ(SetPixel(dc, 12, 10, green), green);
    EXPECT_TRUE(pelmorix_platform::find_window(w)->dirty);
    // A window drawn on and then left, while the program only looks at its
    // messages, is shown within about a frame.
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    MSG message;
    (void)PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    EXPECT_FALSE(pelmorix_platform::find_window(w)->dirty);
    EXPECT_EQ(SetPixel(dc, 13, 10, green), green);

    // Large pictures and small ones are kept in memory of different kinds:
    // large to small here, small to larger than the first below.
    platform_testing::resize_client(w, 300, 200);
    ASSERT_TRUE(platform_testing::dispatch_pending());
    EXPECT_EQ(SetPixel(dc, 501, 199, green), static_cast<COLORREF>(CLR_INVALID));  // beyond the new width
    EXPECT_EQ(SetPixel(dc, 299, 200, green), static_cast<COLORREF>(CLR_INVALID));  // beyond the new height
    EXPECT_EQ(SetPixel(dc, 299, 199, green), green);
    std::vector<unsigned> pixels;
    int width = 0;
    int height = 0;
    ASSERT_TRUE(platform_testing::read_window(w, &pixels, &width, &height));
    ASSERT_EQ(width, 300);
    ASSERT_EQ(height, 200);
    EXPECT_EQ(pixels[static_cast<std::size_t>(199 * 300 + 299)], 0x00C800u);
    EXPECT_EQ(pixels[static_cast<std::size_t>(10 * 300 + 10)], 0x00C800u);

    platform_testing::resize_client(w, 1600, 1200);
    ASSERT_TRUE(platform_testing::dispatch_pending());
    EXPECT_EQ(SetPixel(dc, 1599, 1199, green), green);
    ASSERT_TRUE(platform_testing::read_window(w, &pixels, &width, &height));
    ASSERT_EQ(width, 1600);
    ASSERT_EQ(height, 1200);
    EXPECT_EQ(pixels[static_cast<std::size_t>(10 * 1600 + 10)], 0x00C800u);
    EXPECT_EQ(pixels[static_cast<std::size_t>(199 * 1600 + 299)], 0x00C800u);
    EXPECT_EQ(pixels[static_cast<std::size_t>(400 * 1600 + 500)], 0u);  // dropped by the shrink
    EXPECT_EQ(pixels[static_cast<std::size_t>(1199 * 1600 + 1599)], 0x00C800u);

    DestroyWindow(w);
    EXPECT_EQ(SetPixel(dc, 10, 10, green), static_cast<COLORREF>(CLR_INVALID));
    EXPECT_EQ(SetPixel(dc, 11, 10, green), static_cast<COLORREF>(CLR_INVALID));
    platform_testing::reset();
    close(input[0]);
    close(input[1]);
}

}  // namespace
