// Draws labelled groups of GDI calls and prints every pixel, so that the
// platform layer's pictures can be compared with a real GDI's: the same
// source is built natively and as a Windows program.
//
//   pelmorix-gdi-probe draw
//       each group on a memory bitmap of its own, with a 256-entry palette
//       laid out as the graphics layer's selected: "group NAME WIDTH HEIGHT",
//       then one line per row of six-digit RRGGBB pixels read with GetPixel.
//   pelmorix-gdi-probe compare NATIVE OTHER DIRECTORY [NAME=COUNT...]
//       compares two outputs of "draw" group by group; for each group that
//       differs prints the number of differing pixels and the first few with
//       both colours, and writes both pictures to DIRECTORY as NAME.native.ppm
//       and NAME.other.ppm. Exit status 1 when any group differs, other than
//       the known differences NAME=COUNT, which are reported alike, or when a
//       known difference does not differ in exactly COUNT pixels (it has then
//       changed, for the better or the worse).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

int usage() {
    std::fputs("usage: pelmorix-gdi-probe draw | compare NATIVE OTHER DIRECTORY [NAME=COUNT...]\n", stderr);
    return 2;
}

// ---------------------------------------------------------------- drawing

// The graphics layer's sixteen colours, which it puts at 16..31 of its palette.
const PALETTEENTRY kColours[16] = {
    {0, 0, 0, PC_NOCOLLAPSE},       {0, 0, 255, PC_NOCOLLAPSE},     {0, 255, 0, PC_NOCOLLAPSE},
    {0, 255, 255, PC_NOCOLLAPSE},   {255, 0, 0, PC_NOCOLLAPSE},     {255, 0, 255, PC_NOCOLLAPSE},
    {165, 42, 42, PC_NOCOLLAPSE},   {211, 211, 211, PC_NOCOLLAPSE}, {47, 79, 79, PC_NOCOLLAPSE},
    {173, 216, 230, PC_NOCOLLAPSE}, {32, 178, 170, PC_NOCOLLAPSE},  {224, 255, 255, PC_NOCOLLAPSE},
    {240, 128, 128, PC_NOCOLLAPSE}, {219, 112, 147, PC_NOCOLLAPSE}, {255, 255, 0, PC_NOCOLLAPSE},
    {255, 255, 255, PC_NOCOLLAPSE},
};

HPALETTE make_palette() {
    static struct {
        LOGPALETTE head;
        PALETTEENTRY more[255];
    } lp;
    lp.head.palVersion = 0x300;
    lp.head.palNumEntries = 256;
    PALETTEENTRY* e = lp.head.palPalEntry;
    for (int i = 0; i < 256; ++i) {
        const BYTE v = static_cast<BYTE>(i);
        e[i] = PALETTEENTRY{v, static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 7), PC_NOCOLLAPSE};
    }
    for (int i = 0; i < 16; ++i) {
        e[i] = kColours[i];
        e[16 + i] = kColours[i];
    }
    return CreatePalette(&lp.head);
}

// A memory bitmap with the palette selected, filled with one colour.
class Canvas {
public:
    Canvas(const char* name, int width, int height) : name_(name), width_(width), height_(height) {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateBitmap(width, height, 1, 32, nullptr);
        old_bitmap_ = SelectObject(dc_, bitmap_);
        palette_ = make_palette();
        old_palette_ = SelectPalette(dc_, palette_, FALSE);
        RealizePalette(dc_);
        background(PALETTEINDEX(16 + 1));
    }
    ~Canvas() {
        SetViewportOrgEx(dc_, 0, 0, nullptr);
        SelectClipRgn(dc_, nullptr);
        std::printf("group %s %d %d\n", name_, width_, height_);
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                const COLORREF c = GetPixel(dc_, x, y);
                std::printf("%s%02X%02X%02X", x == 0 ? "" : " ", GetRValue(c), GetGValue(c), GetBValue(c));
            }
            std::putchar('\n');
        }
        release_pen();
        SelectPalette(dc_, old_palette_, FALSE);
        SelectObject(dc_, old_bitmap_);
        DeleteObject(palette_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }

    void background(COLORREF color) {
        HBRUSH b = CreateSolidBrush(color);
        const RECT all{0, 0, width_, height_};
        FillRect(dc_, &all, b);
        DeleteObject(b);
    }

    // Selects `pen`, deleting the one this canvas selected before.
    void pen(HPEN pen) {
        SelectObject(dc_, pen);
        if (pen_ != nullptr) DeleteObject(pen_);
        pen_ = pen;
    }
    void release_pen() {
        SelectObject(dc_, GetStockObject(BLACK_PEN));
        if (pen_ != nullptr) DeleteObject(pen_);
        pen_ = nullptr;
    }

    void line(std::initializer_list<POINT> points) {
        Polyline(dc_, points.begin(), static_cast<int>(points.size()));
    }

    void clip(int left, int top, int right, int bottom) {
        HRGN r = CreateRectRgn(left, top, right, bottom);
        SelectClipRgn(dc_, r);
        DeleteObject(r);
    }

private:
    const char* name_;
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_bitmap_ = nullptr;
    HPALETTE palette_ = nullptr;
    HPALETTE old_palette_ = nullptr;
    HPEN pen_ = nullptr;
};

COLORREF pal(int i) { return PALETTEINDEX(16 + i); }

HPEN user_pen(DWORD width, COLORREF color, std::initializer_list<DWORD> lengths) {
    const LOGBRUSH brush{BS_SOLID, color, 0};
    return ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_ROUND | PS_JOIN_ROUND, width, &brush,
                        static_cast<DWORD>(lengths.size()), lengths.begin());
}

void draw_points() {
    Canvas c("points", 24, 16);
    for (int i = 0; i < 24; ++i) SetPixel(c.dc(), i, i / 2, pal(i % 16));
    SetViewportOrgEx(c.dc(), 3, 2, nullptr);
    for (int i = -4; i < 24; i += 3) SetPixel(c.dc(), i, 12, RGB(i * 9 & 255, 200, 40));
    c.clip(5, 4, 19, 11);  // device coordinates
    for (int y = -3; y < 16; y += 2) {
        for (int x = -3; x < 24; x += 4) SetPixel(c.dc(), x, y, pal((x + y) & 15));
    }
}

// From a centre to points all round it: every octant, and the ties where
// the minor offset is exactly half a pixel.
void draw_lines() {
    {
        Canvas c("lines.octants", 41, 41);
        c.pen(CreatePen(PS_SOLID, 1, pal(14)));
        const POINT ends[] = {{40, 26}, {34, 40}, {26, 40}, {6, 40}, {0, 33}, {0, 14}, {9, 0}, {31, 0},
                              {40, 9},  {40, 20}, {20, 40}, {0, 20}, {20, 0}, {40, 40}, {0, 0}, {40, 0}};
        for (const POINT& e : ends) c.line({{20, 20}, e});
    }
    {
        Canvas c("lines.ties", 40, 30);
        c.pen(CreatePen(PS_SOLID, 1, RGB(255, 0, 0)));
        c.line({{1, 1}, {13, 7}});   // x-major, ties rounding with y growing
        c.line({{13, 9}, {1, 3}});   // the same, drawn the other way
        c.line({{15, 1}, {27, 3}});  // 1:6
        c.line({{27, 10}, {15, 6}});
        c.line({{30, 1}, {34, 13}});  // y-major ties
        c.line({{38, 13}, {36, 1}});
        c.line({{2, 12}, {8, 28}});
        c.line({{18, 28}, {12, 12}});
        c.line({{20, 28}, {32, 22}});  // ties with y shrinking
        c.line({{34, 16}, {22, 28}});
    }
    {
        Canvas c("lines.closed", 32, 24);
        c.pen(CreatePen(PS_SOLID, 1, pal(15)));
        c.line({{2, 2}, {12, 2}, {12, 10}, {2, 10}, {2, 2}});
        c.line({{20, 2}, {30, 8}, {24, 20}, {16, 14}, {20, 2}});
        c.line({{3, 14}, {10, 21}, {3, 21}, {3, 14}});
    }
}

void draw_dashes(bool opaque) {
    Canvas c(opaque ? "dashes.opaque" : "dashes.transparent", 64, 48);
    SetBkMode(c.dc(), opaque ? OPAQUE : TRANSPARENT);
    SetBkColor(c.dc(), pal(15));
    const int styles[] = {PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT};
    for (int i = 0; i < 4; ++i) {
        c.pen(CreatePen(styles[i], 1, pal(14)));
        const int y = 2 + i * 11;
        c.line({{1, y}, {62, y}});
        c.line({{1, y + 2}, {30, y + 9}, {40, y + 3}, {40, y + 9}});
        c.line({{62, y + 9}, {44, y + 2}});
    }
}

// Runs of a 16-bit line pattern as the graphics layer hands them over.
void draw_user_styles(DWORD width) {
    Canvas c(width == 1 ? "userstyle.w1" : "userstyle.w3", 72, 64);
    const std::initializer_list<DWORD> patterns[] = {{4, 4}, {2, 2, 2, 2}, {1, 14, 1, 0}, {8, 8}, {0, 4, 4, 8},
                                                     {3, 1, 3, 9}};
    int i = 0;
    for (const auto& lengths : patterns) {
        c.pen(user_pen(width, pal(10 + i), lengths));
        const int y = 3 + i * 10;
        c.line({{2, y}, {40, y}});
        c.line({{44, y}, {52, y + 8}});     // diagonal
        c.line({{55, y}, {70, y + 5}});     // shallow
        c.line({{2, y + 6}, {20, y + 4}, {20, y + 8}});
        ++i;
    }
    c.pen(user_pen(width, RGB(255, 0, 0), {5, 3}));
    c.line({{24, 62}, {24, 44}, {40, 44}, {40, 62}, {24, 62}});  // a closed figure
}

// Dashes with square and flat ends, and joins within a dash.
void draw_dash_ends() {
    Canvas c("userstyle.ends", 96, 64);
    const DWORD kinds[] = {PS_ENDCAP_SQUARE | PS_JOIN_BEVEL, PS_ENDCAP_FLAT | PS_JOIN_MITER};
    for (int i = 0; i < 2; ++i) {
        const LOGBRUSH brush{BS_SOLID, pal(12 + i), 0};
        const DWORD lengths[] = {7, 5};
        c.pen(ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | kinds[i], 5, &brush, 2, lengths));
        const int x = 4 + 48 * i;
        c.line({{x, 4}, {x + 40, 4}});
        c.line({{x, 12}, {x + 20, 32}, {x + 40, 14}});
        c.line({{x + 2, 44}, {x + 14, 38}, {x + 22, 44}, {x + 40, 40}});
        // One-pixel dashes, one beginning at the turn after a side along an axis.
        const DWORD ones[] = {1, 1};
        c.pen(ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | kinds[i], 5, &brush, 2, ones));
        c.line({{x, 54}, {x + 8, 54}, {x + 20, 58}});
        c.line({{x + 26, 52}, {x + 34, 52}, {x + 34, 60}});
    }
}

// One-pixel dashes and gaps round a closed sixteen-sided figure whose sides
// run along the axes, the diagonals and through every octant between them,
// with each kind of end.
void draw_dash_turns(DWORD width, DWORD end) {
    static const char* const names[2][3] = {{"userturns.w3.round", "userturns.w3.square", "userturns.w3.flat"},
                                            {"userturns.w5.round", "userturns.w5.square", "userturns.w5.flat"}};
    const int kind = end == PS_ENDCAP_ROUND ? 0 : end == PS_ENDCAP_SQUARE ? 1 : 2;
    const DWORD join = end == PS_ENDCAP_ROUND ? PS_JOIN_ROUND : end == PS_ENDCAP_SQUARE ? PS_JOIN_BEVEL : PS_JOIN_MITER;
    Canvas c(names[width == 3 ? 0 : 1][kind], 132, 132);
    const std::vector<DWORD> patterns[] = {{1, 1}, {1, 2}, {2, 1}, {3, 1, 1, 2}, {1, 3}, {0, 1, 2, 1}};
    static const POINT steps[16] = {{6, 0},  {6, 2},   {5, 5},   {2, 6},   {0, 6},  {-2, 6}, {-5, 5}, {-6, 2},
                                    {-6, 0}, {-6, -2}, {-5, -5}, {-2, -6}, {0, -6}, {2, -6}, {5, -5}, {6, -2}};
    for (int i = 0; i < 6; ++i) {
        const LOGBRUSH brush{BS_SOLID, pal(9 + i), 0};
        c.pen(ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | end | join, width, &brush,
                           static_cast<DWORD>(patterns[i].size()), patterns[i].data()));
        POINT points[17] = {{17 + 43 * (i % 3), 5 + 43 * (i / 3)}};
        for (int k = 0; k < 16; ++k) points[k + 1] = POINT{points[k].x + steps[k].x, points[k].y + steps[k].y};
        Polyline(c.dc(), points, 17);
    }
    // Longer sides, so that a side's length is not a whole number of pattern lengths.
    for (int i = 0; i < 3; ++i) {
        const LOGBRUSH brush{BS_SOLID, pal(9 + i), 0};
        c.pen(ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | end | join, width, &brush,
                           static_cast<DWORD>(patterns[i].size()), patterns[i].data()));
        const int x = 4 + 43 * i;
        c.line({{x, 92}, {x + 24, 92}, {x + 34, 102}, {x + 34, 120}, {x + 26, 127}, {x + 4, 122}, {x + 10, 104},
                {x + 22, 110}, {x + 14, 114}});
    }
}

// Bevel and miter joins that stand alone: a flat-ended one-pixel dash that
// begins where a first segment (along the axes, then sloped) meets a second
// turning to each of sixteen directions, one turn to a cell.
void draw_dash_joins(DWORD width, DWORD join) {
    static const char* const names[2][2] = {{"userjoins.w3.bevel", "userjoins.w3.miter"},
                                            {"userjoins.w5.bevel", "userjoins.w5.miter"}};
    Canvas c(names[width == 3 ? 0 : 1][join == PS_JOIN_BEVEL ? 0 : 1], 16 * 32, 8 * 32);
    const LOGBRUSH brush{BS_SOLID, pal(9), 0};
    const DWORD lengths[] = {1, 11};
    c.pen(ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT | join, width, &brush, 2, lengths));
    static const POINT first[8] = {{12, 0}, {0, 12}, {-12, 0}, {0, -12}, {12, 4}, {8, 8}, {4, 12}, {-12, 4}};
    static const POINT second[16] = {{8, 0},  {6, 2},   {6, 6},   {2, 6},   {0, 8},  {-2, 6}, {-6, 6}, {-6, 2},
                                     {-8, 0}, {-6, -2}, {-6, -6}, {-2, -6}, {0, -8}, {2, -6}, {6, -6}, {6, -2}};
    for (int i = 0; i < 8; ++i) {
        int cell = 0;
        for (const POINT& d : second) {
            if (first[i].x * d.y == first[i].y * d.x) continue;  // straight on or back: no join
            const int x = 16 + 32 * cell++, y = 16 + 32 * i;
            c.line({{x - first[i].x, y - first[i].y}, {x, y}, {x + d.x, y + d.y}});
        }
    }
}

void draw_wide(int width) {
    static const char* const names[] = {"wide3", "wide5", "wide7"};
    Canvas c(names[(width - 3) / 2], 96, 80);
    c.pen(CreatePen(PS_SOLID, width, pal(14)));
    c.line({{4, 4}, {30, 4}});                    // along a row
    c.line({{34, 30}, {34, 6}});                  // along a column
    c.line({{40, 4}, {56, 20}});                  // diagonals
    c.line({{74, 4}, {60, 18}});
    c.line({{4, 12}, {31, 21}});                  // shallow slopes
    c.line({{31, 27}, {4, 34}});
    c.line({{78, 6}, {92, 26}});                  // steep
    c.line({{62, 30}, {66, 24}});
    c.line({{4, 42}, {24, 42}, {24, 56}, {4, 56}, {4, 42}});  // a closed rectangle
    c.line({{30, 44}, {50, 40}, {44, 58}, {30, 44}});  // a closed triangle
    // Very short segments: no length, one and two pixels.
    c.line({{58, 44}, {58, 44}});
    c.line({{66, 44}, {67, 44}});
    c.line({{74, 44}, {76, 44}});
    c.line({{82, 44}, {82, 45}});
    c.line({{90, 44}, {91, 46}});
    c.line({{58, 54}, {59, 55}});
    c.line({{66, 54}, {68, 56}});
    // A polyline turning both ways and doubling back.
    c.line({{6, 64}, {20, 76}, {34, 64}, {48, 70}, {40, 76}, {60, 76}, {90, 62}, {70, 62}});
    c.pen(CreatePen(PS_SOLID, width, RGB(255, 0, 0)));
    c.line({{80, 52}, {80, 52}, {86, 52}, {86, 52}, {86, 58}});  // repeated points
}

HPEN geometric_pen(DWORD style, DWORD width, COLORREF color) {
    const LOGBRUSH brush{BS_SOLID, color, 0};
    return ExtCreatePen(PS_GEOMETRIC | PS_SOLID | style, width, &brush, 0, nullptr);
}

// Square and flat ends, round joins between them.
void draw_ends(DWORD end) {
    Canvas c(end == PS_ENDCAP_SQUARE ? "ends.square" : "ends.flat", 96, 80);
    for (int i = 0; i < 3; ++i) {
        const DWORD width = 3 + 2 * i;
        const int x = 4 + 32 * i;
        c.pen(geometric_pen(end, width, pal(12 + i)));
        c.line({{x, 4}, {x + 20, 4}});
        c.line({{x + 24, 24}, {x + 24, 6}});
        c.line({{x, 10}, {x + 12, 22}});
        c.line({{x + 20, 12}, {x + 8, 18}});
        c.line({{x, 28}, {x + 22, 34}});
        c.line({{x + 2, 40}, {x + 3, 40}});  // one pixel long
        c.line({{x + 8, 40}, {x + 8, 40}});  // no length: nothing
        c.line({{x + 14, 40}, {x + 15, 42}});
        c.line({{x + 2, 60}, {x + 10, 48}, {x + 24, 58}, {x + 20, 46}});
        // An even width along a row and a column: as many pixels either side.
        c.pen(geometric_pen(end, width + 1, pal(12 + i)));
        c.line({{x + 2, 68}, {x + 16, 68}, {x + 16, 74}});
    }
}

// Bevel and miter joins, with flat ends so that only the joins add.
void draw_joins(DWORD join) {
    Canvas c(join == PS_JOIN_BEVEL ? "joins.bevel" : "joins.miter", 96, 48);
    for (int i = 0; i < 3; ++i) {
        const DWORD width = 3 + 2 * i;
        const int x = 4 + 32 * i;
        c.pen(geometric_pen(PS_ENDCAP_FLAT | join, width, pal(12 + i)));
        c.line({{x, 4}, {x + 12, 4}, {x + 22, 14}});   // 45 degrees
        c.line({{x, 20}, {x + 10, 20}, {x + 10, 30}, {x + 22, 24}});
        c.line({{x, 44}, {x + 12, 34}, {x + 24, 44}});  // a sharp turn
        c.line({{x + 18, 2}, {x + 26, 8}, {x + 16, 10}});
        // Nearly back on itself, the tip just past the limit: a bevel.
        if (i == 0) c.line({{x + 26, 15}, {x + 27, 31}, {x + 29, 17}});
    }
}

void draw_fills() {
    Canvas c("fills", 48, 32);
    HBRUSH solid = CreateSolidBrush(pal(12));
    const RECT a{2, 2, 20, 12};
    FillRect(c.dc(), &a, solid);
    static const WORD bits[8] = {0xAA, 0x55, 0xF0, 0x0F, 0x81, 0x42, 0x24, 0x18};
    HBITMAP mono = CreateBitmap(8, 8, 1, 1, bits);
    HBRUSH pattern = CreatePatternBrush(mono);
    SetTextColor(c.dc(), pal(14));
    SetBkColor(c.dc(), RGB(255, 0, 0));
    const RECT b{22, 2, 46, 14};
    FillRect(c.dc(), &b, pattern);
    SetViewportOrgEx(c.dc(), 3, 5, nullptr);  // the pattern stays where the device puts it
    const RECT d{-2, 12, 29, 26};
    FillRect(c.dc(), &d, pattern);
    const RECT e{30, 10, 50, 40};
    FillRect(c.dc(), &e, solid);
    DeleteObject(pattern);
    DeleteObject(mono);
    DeleteObject(solid);
}

void draw_clipped() {
    Canvas c("clip", 48, 40);
    c.clip(6, 5, 40, 33);
    SetViewportOrgEx(c.dc(), 2, 1, nullptr);
    HBRUSH b = CreateSolidBrush(pal(7));
    const RECT r{-10, -10, 12, 14};
    FillRect(c.dc(), &r, b);
    DeleteObject(b);
    c.pen(CreatePen(PS_SOLID, 1, pal(14)));
    c.line({{-5, 20}, {60, 12}});
    c.line({{20, -8}, {30, 50}});
    c.pen(CreatePen(PS_DASHDOT, 1, pal(10)));
    c.line({{-9, -3}, {50, 40}});
    c.pen(CreatePen(PS_SOLID, 5, pal(4)));
    c.line({{2, 30}, {44, 30}, {40, 2}});
    c.pen(user_pen(3, pal(13), {4, 4}));
    c.line({{-6, 26}, {50, 22}});
}

void draw_blits() {
    Canvas c("bitblt", 32, 24);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) SetPixel(c.dc(), x, y, RGB(x * 16, y * 20, 128));
    }
    BitBlt(c.dc(), 3, 2, 12, 9, c.dc(), 0, 0, SRCCOPY);  // overlapping, down and right
    BitBlt(c.dc(), 16, 12, 16, 12, c.dc(), 0, 0, SRCCOPY);
    BitBlt(c.dc(), 14, 10, 10, 8, c.dc(), 17, 13, SRCCOPY);  // overlapping, up and left
    BitBlt(c.dc(), 0, 14, 8, 8, nullptr, 0, 0, BLACKNESS);
    BitBlt(c.dc(), 8, 16, 6, 6, nullptr, 0, 0, WHITENESS);
}

void draw_colours() {
    Canvas c("colours", 40, 8);
    for (int i = 0; i < 32; ++i) {
        HBRUSH b = CreateSolidBrush(PALETTEINDEX(i));
        const RECT r{i, 0, i + 1, 4};
        FillRect(c.dc(), &r, b);
        DeleteObject(b);
    }
    const COLORREF rgb[] = {RGB(1, 2, 3), RGB(255, 255, 255), RGB(128, 64, 32), RGB(0, 0, 0), RGB(17, 200, 99)};
    for (int i = 0; i < 5; ++i) SetPixel(c.dc(), i, 5, rgb[i]);
    for (int i = 0; i < 16; ++i) SetPixel(c.dc(), 8 + i, 6, PALETTEINDEX(200 + i));
}

int draw() {
    draw_points();
    draw_lines();
    draw_dashes(true);
    draw_dashes(false);
    draw_user_styles(1);
    draw_user_styles(3);
    draw_dash_ends();
    for (DWORD width : {3, 5}) {
        for (DWORD join : {PS_JOIN_BEVEL, PS_JOIN_MITER}) draw_dash_joins(width, join);
    }
    for (DWORD width : {3, 5}) {
        for (DWORD end : {PS_ENDCAP_ROUND, PS_ENDCAP_SQUARE, PS_ENDCAP_FLAT}) draw_dash_turns(width, end);
    }
    draw_wide(3);
    draw_wide(5);
    draw_wide(7);
    draw_ends(PS_ENDCAP_SQUARE);
    draw_ends(PS_ENDCAP_FLAT);
    draw_joins(PS_JOIN_BEVEL);
    draw_joins(PS_JOIN_MITER);
    draw_fills();
    draw_clipped();
    draw_blits();
    draw_colours();
    std::fflush(stdout);
    return 0;
}

// ------------------------------------------------------------- comparing

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned> pixels;
};

// The groups of one output, in order; false when it cannot be read.
bool read_pictures(const char* path, std::vector<std::pair<std::string, Picture>>& out) {
    std::ifstream in(path);
    if (!in) return false;
    std::string word;
    while (in >> word) {
        if (word != "group") return false;
        std::string name;
        Picture p;
        if (!(in >> name >> p.width >> p.height) || p.width <= 0 || p.height <= 0) return false;
        p.pixels.resize(static_cast<std::size_t>(p.width) * p.height);
        for (unsigned& px : p.pixels) {
            if (!(in >> std::hex >> px >> std::dec)) return false;
        }
        out.emplace_back(name, std::move(p));
    }
    return true;
}

void write_ppm(const std::string& path, const Picture& p) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << p.width << ' ' << p.height << "\n255\n";
    for (unsigned px : p.pixels) {
        const char rgb[3] = {static_cast<char>(px >> 16), static_cast<char>(px >> 8), static_cast<char>(px)};
        out.write(rgb, 3);
    }
}

int compare(const char* native_path, const char* other_path, const std::string& directory,
            const std::map<std::string, int>& known) {
    std::vector<std::pair<std::string, Picture>> native, other;
    if (!read_pictures(native_path, native) || !read_pictures(other_path, other)) {
        std::fprintf(stderr, "an output could not be read\n");
        return 2;
    }
    std::map<std::string, const Picture*> others;
    for (const auto& g : other) others[g.first] = &g.second;
    int differing = 0;
    for (const auto& [name, a] : native) {
        const auto found = others.find(name);
        if (found == others.end()) {
            std::printf("%s: missing from the other output\n", name.c_str());
            ++differing;
            continue;
        }
        const Picture& b = *found->second;
        others.erase(found);
        if (a.width != b.width || a.height != b.height) {
            std::printf("%s: %dx%d natively, %dx%d in the other\n", name.c_str(), a.width, a.height, b.width,
                        b.height);
            ++differing;
            continue;
        }
        std::ostringstream first;
        int count = 0;
        for (int y = 0; y < a.height; ++y) {
            for (int x = 0; x < a.width; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * a.width + x;
                if (a.pixels[i] == b.pixels[i]) continue;
                if (++count <= 8) {
                    char text[64];
                    std::snprintf(text, sizeof text, " (%d,%d) %06X/%06X", x, y, a.pixels[i], b.pixels[i]);
                    first << text;
                }
            }
        }
        const auto listed = known.find(name);
        if (count == 0 && listed == known.end()) {
            std::printf("%s: identical\n", name.c_str());
            continue;
        }
        std::string note;
        if (listed != known.end() && count == listed->second) {
            note = " (a known difference)";
        } else if (listed != known.end()) {
            note = " (listed as a known difference of " + std::to_string(listed->second) + ")";
        }
        if (listed == known.end() || count != listed->second) ++differing;
        std::printf("%s: %d pixels differ%s, native/other:%s\n", name.c_str(), count, note.c_str(),
                    first.str().c_str());
        write_ppm(directory + "/" + name + ".native.ppm", a);
        write_ppm(directory + "/" + name + ".other.ppm", b);
    }
    for (const auto& g : others) {
        std::printf("%s: missing from the native output\n", g.first.c_str());
        ++differing;
    }
    return differing == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "draw") == 0) return draw();
    if (argc >= 5 && std::strcmp(argv[1], "compare") == 0) {
        std::map<std::string, int> known;
        for (int i = 5; i < argc; ++i) {
            const char* equals = std::strchr(argv[i], '=');
            if (equals == nullptr) return usage();
            known[std::string(argv[i], static_cast<std::size_t>(equals - argv[i]))] = std::atoi(equals + 1);
        }
        return compare(argv[2], argv[3], argv[4], known);
    }
    return usage();
}
