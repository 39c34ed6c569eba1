// Pens wider than one pixel: every segment's body is a four-cornered
// polygon and every point of the polyline gets a round end, all filled by
// the polygon rule (pixel centres on integer coordinates, a row's pixels
// from the left edge up to but not including the right edge, an edge's
// rows from its upper end up to but not including its lower end).
#include <algorithm>
#include <cassert>
#include <cmath>
#include <vector>

#include "surface.h"

namespace pelmorix_platform {

namespace {

__extension__ typedef __int128 wide_int;

// ceil(n / d) for d > 0.
long long ceil_div(wide_int n, wide_int d) {
    wide_int q = n / d;
    if (n % d != 0 && n > 0) ++q;
    return static_cast<long long>(q);
}

// Paints x in [left, right] of row y, clipped.
void paint_run(Surface& s, const ClipRect& clip, long long y, long long left, long long right, std::uint32_t color) {
    if (y < clip.top || y >= clip.bottom) return;
    left = std::max<long long>(left, clip.left);
    right = std::min<long long>(right, clip.right - 1);
    if (left > right) return;
    std::uint32_t* row = s.row(static_cast<int>(y));
    std::fill(row + left, row + right + 1, color);
}

// The round end of a pen `width` pixels wide, as each row's first and last
// pixel relative to the point: the pixel centres inside a circle slightly
// smaller than the pen, centred on the point for odd widths and half a
// pixel up and left of it for even ones.
struct RoundEnd {
    int top = 0;                    // offset of the first row
    std::vector<int> left, right;   // per row, inclusive
};

RoundEnd round_end(int width) {
    RoundEnd end;
    const double radius = width / 2.0 - 0.1;
    const double centre = width % 2 != 0 ? 0.0 : -0.5;
    end.top = width;
    for (int y = -width; y <= width; ++y) {
        const double dy = y - centre;
        if (dy * dy > radius * radius) continue;
        const double reach = std::sqrt(radius * radius - dy * dy);
        const int l = static_cast<int>(std::ceil(centre - reach));
        const int r = static_cast<int>(std::floor(centre + reach));
        if (l > r) continue;
        if (end.left.empty()) end.top = y;
        end.left.push_back(l);
        end.right.push_back(r);
    }
    return end;
}

void paint_round_end(Surface& s, const ClipRect& clip, const RoundEnd& end, long long x, long long y,
                     std::uint32_t color) {
    for (std::size_t i = 0; i < end.left.size(); ++i) {
        paint_run(s, clip, y + end.top + static_cast<long long>(i), x + end.left[i], x + end.right[i], color);
    }
}

// Rounding of the body's corner offsets: one side of the segment is moved
// out to the next whole pixel, the other to the nearest, ties towards the
// segment for lines along an axis and away from it otherwise.
long long beyond(double v) {
    if (v > 0) return static_cast<long long>(std::floor(v)) + 1;
    if (v < 0) return -(static_cast<long long>(std::floor(-v)) + 1);
    return 0;
}
long long nearest(double v, bool ties_in) {
    const double m = std::fabs(v);
    const long long r = static_cast<long long>(ties_in ? std::ceil(m - 0.5) : std::floor(m + 0.5));
    return v < 0 ? -r : r;
}

// The body of the segment (x0, y0)-(x1, y1), which are not the same point.
void paint_body(Surface& s, const ClipRect& clip, long long x0, long long y0, long long x1, long long y1, int width,
                std::uint32_t color) {
    const long long dx = x1 - x0;
    const long long dy = y1 - y0;
    const double length = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
    double nx = static_cast<double>(dy) * width / (2 * length);
    double ny = -static_cast<double>(dx) * width / (2 * length);
    if (nx < 0 || (nx == 0 && ny < 0)) {
        nx = -nx;
        ny = -ny;
    }
    const bool along_axis = dx == 0 || dy == 0;
    const long long ax = beyond(nx), ay = beyond(ny);
    const long long bx = -nearest(nx, along_axis), by = -nearest(ny, along_axis);
    const long long px[4] = {x0 + ax, x1 + ax, x1 + bx, x0 + bx};
    const long long py[4] = {y0 + ay, y1 + ay, y1 + by, y0 + by};
    const long long top = std::max<long long>(*std::min_element(py, py + 4), clip.top);
    const long long bottom = std::min<long long>(*std::max_element(py, py + 4), clip.bottom);  // exclusive
    for (long long y = top; y < bottom; ++y) {
        long long left = 0, right = 0;  // [left, right)
        bool any = false;
        for (int i = 0; i < 4; ++i) {
            long long ex0 = px[i], ey0 = py[i], ex1 = px[(i + 1) % 4], ey1 = py[(i + 1) % 4];
            if (ey0 == ey1) continue;
            if (ey0 > ey1) {
                std::swap(ex0, ex1);
                std::swap(ey0, ey1);
            }
            if (y < ey0 || y >= ey1) continue;
            const wide_int num = static_cast<wide_int>(ex0) * (ey1 - ey0) + static_cast<wide_int>(ex1 - ex0) * (y - ey0);
            const long long x = ceil_div(num, ey1 - ey0);
            if (!any) {
                left = right = x;
                any = true;
            } else {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        if (any && left < right) paint_run(s, clip, y, left, right - 1, color);
    }
}

// Point k of the way from a to b along the major axis, on the pixel a
// one-pixel line would take there.
void step_point(long long x0, long long y0, long long x1, long long y1, long long k, long long* x, long long* y) {
    const long long dx = x1 - x0, dy = y1 - y0;
    const long long adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const bool x_major = adx >= ady;
    const long long major = x_major ? adx : ady;
    if (major == 0) {
        *x = x0;
        *y = y0;
        return;
    }
    const long long minor_delta = x_major ? dy : dx;
    const long long a = (x_major ? dx : dy) < 0 ? -k : k;
    // The nearest minor offset, ties to the smaller coordinate as lines do:
    // floor((2 k minor + major - 1) / (2 major)).
    const wide_int n = static_cast<wide_int>(2) * k * minor_delta + major - 1;
    const wide_int d = static_cast<wide_int>(2) * major;
    wide_int q = n / d;
    if (n % d != 0 && n < 0) --q;
    const long long m = static_cast<long long>(q);
    if (x_major) {
        *x = x0 + a;
        *y = y0 + m;
    } else {
        *x = x0 + m;
        *y = y0 + a;
    }
}

}  // namespace

void stroke_wide(Surface& s, const ClipRect& clip, const long long* xs, const long long* ys, int count, int width,
                 std::uint32_t color, const DashPattern& dashes) {
    assert(width > 1 && count >= 2);
    const RoundEnd end = round_end(width);
    long long period = 0;
    for (std::uint32_t d : dashes) period += d;
    if (dashes.empty() || period == 0) {
        for (int i = 0; i < count; ++i) paint_round_end(s, clip, end, xs[i], ys[i], color);
        for (int i = 0; i + 1 < count; ++i) {
            if (xs[i] != xs[i + 1] || ys[i] != ys[i + 1]) {
                paint_body(s, clip, xs[i], ys[i], xs[i + 1], ys[i + 1], width, color);
            }
        }
        return;
    }
    // Dashes: each "on" run of steps is a segment of its own with round ends;
    // the pattern runs on from one segment to the next.
    std::size_t index = 0;
    long long left = dashes[0];
    for (int i = 0; i + 1 < count; ++i) {
        const long long dx = xs[i + 1] - xs[i], dy = ys[i + 1] - ys[i];
        const long long steps = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
        long long k = 0;
        while (k < steps) {
            while (left == 0) {
                index = (index + 1) % dashes.size();
                left = dashes[index];
            }
            const long long run = std::min(left, steps - k);
            if (index % 2 == 0) {
                long long ax, ay, bx, by;
                step_point(xs[i], ys[i], xs[i + 1], ys[i + 1], k, &ax, &ay);
                step_point(xs[i], ys[i], xs[i + 1], ys[i + 1], k + run - 1, &bx, &by);
                paint_round_end(s, clip, end, ax, ay, color);
                paint_round_end(s, clip, end, bx, by, color);
                if (ax != bx || ay != by) paint_body(s, clip, ax, ay, bx, by, width, color);
            }
            k += run;
            left -= run;
        }
    }
}

}  // namespace pelmorix_platform
