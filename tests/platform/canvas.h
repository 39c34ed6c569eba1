// A small memory DC to draw on in tests, with its picture as text: one
// character per pixel, from a legend of colours, so that expected pictures
// can be written out by hand and a failure shows the actual picture.
#pragma once

#include <platform_testing.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace test_support {

inline unsigned rgb_of(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height) {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateBitmap(width, height, 1, 32, nullptr);
        SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }

    unsigned pixel(int x, int y) const {
        unsigned rgb = 0xFFFFFFFF;
        platform_testing::read_pixel(dc_, x, y, &rgb);
        return rgb;
    }

    // The picture, rows joined by '\n'; a colour missing from the legend is '?'.
    std::string art(const std::map<unsigned, char>& legend) const {
        std::string s;
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                auto it = legend.find(pixel(x, y));
                s += it != legend.end() ? it->second : '?';
            }
            s += '\n';
        }
        return s;
    }

    void fill(COLORREF color) {
        HBRUSH b = CreateSolidBrush(color);
        RECT r{-100000, -100000, 100000, 100000};
        POINT old;
        SetViewportOrgEx(dc_, 0, 0, &old);
        HRGN none = nullptr;
        SelectClipRgn(dc_, none);
        FillRect(dc_, &r, b);
        SetViewportOrgEx(dc_, old.x, old.y, nullptr);
        DeleteObject(b);
    }

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
};

// Joins picture rows written one per line in the test source.
inline std::string rows(std::initializer_list<const char*> lines) {
    std::string s;
    for (const char* l : lines) {
        s += l;
        s += '\n';
    }
    return s;
}

}  // namespace test_support
