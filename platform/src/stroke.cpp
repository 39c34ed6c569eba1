// Pens wider than one pixel: every segment's body is a four-cornered
// polygon and every point of the polyline gets a round end, all filled by
// the polygon rule (pixel centres on integer coordinates, a row's pixels
// from the left edge up to but not including the right edge, an edge's
// rows from its upper end up to but not including its lower end).
#include <algorithm>
#include <cassert>
#include <cmath>

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

// The round end of a pen `width` pixels wide at (x, y): the pixel centres
// inside a circle slightly smaller than the pen, centred on the point for
// odd widths and half a pixel up and left of it for even ones. Only the
// rows inside the clip are worked out: a pen may be far wider than the
// surface.
void paint_round_end(Surface& s, const ClipRect& clip, int width, long long x, long long y, std::uint32_t color) {
    const double radius = width / 2.0 - 0.1;
    const double centre = width % 2 != 0 ? 0.0 : -0.5;
    const long long first = std::max<long long>(y - width, clip.top);
    const long long last = std::min<long long>(y + width, clip.bottom - 1);
    for (long long row = first; row <= last; ++row) {
        const double dy = static_cast<double>(row - y) - centre;
        if (dy * dy > radius * radius) continue;
        const double reach = std::sqrt(radius * radius - dy * dy);
        const long long l = static_cast<long long>(std::ceil(centre - reach));
        const long long r = static_cast<long long>(std::floor(centre + reach));
        if (l <= r) paint_run(s, clip, row, x + l, x + r, color);
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

// Where the corners of a body lie relative to its ends: a on one side, b on
// the other, for a segment running dx, dy (not both 0).
struct BodyOffsets {
    long long ax, ay, bx, by;
};

BodyOffsets body_offsets(long long dx, long long dy, int width) {
    const double length = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
    double nx = static_cast<double>(dy) * width / (2 * length);
    double ny = -static_cast<double>(dx) * width / (2 * length);
    if (nx < 0 || (nx == 0 && ny < 0)) {
        nx = -nx;
        ny = -ny;
    }
    const bool along_axis = dx == 0 || dy == 0;
    return BodyOffsets{beyond(nx), beyond(ny), -nearest(nx, along_axis), -nearest(ny, along_axis)};
}

// The body from (x0, y0) to (x1, y1) with the given corners.
void paint_body(Surface& s, const ClipRect& clip, long long x0, long long y0, long long x1, long long y1,
                const BodyOffsets& o, std::uint32_t color) {
    const long long ax = o.ax, ay = o.ay, bx = o.bx, by = o.by;
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

// A piece of a segment with round ends: its body, with the corners of the
// whole segment's, and a disc at each end.
void paint_piece(Surface& s, const ClipRect& clip, int width, long long x0, long long y0, long long x1,
                 long long y1, const BodyOffsets& o, std::uint32_t color) {
    paint_round_end(s, clip, width, x0, y0, color);
    if (x0 == x1 && y0 == y1) return;
    paint_round_end(s, clip, width, x1, y1, color);
    paint_body(s, clip, x0, y0, x1, y1, o, color);
}

// The distances along the segment from (x0, y0) running dx, dy (`length`
// long) between which a piece of a pen `width` wide can reach the clip;
// first > last when none can.
void reachable(const ClipRect& clip, long long x0, long long y0, long long dx, long long dy, double length, int width,
               double* first, double* last) {
    double t0 = 0, t1 = 1;
    const double margin = static_cast<double>(width) + 2;
    auto limit = [&](double p, double q) {  // keeps p * t <= q
        if (p == 0) {
            if (q < 0) t1 = -1;
        } else if (p > 0) {
            t1 = std::min(t1, q / p);
        } else {
            t0 = std::max(t0, q / p);
        }
    };
    limit(-static_cast<double>(dx), static_cast<double>(x0) - (clip.left - margin));
    limit(static_cast<double>(dx), (clip.right + margin) - static_cast<double>(x0));
    limit(-static_cast<double>(dy), static_cast<double>(y0) - (clip.top - margin));
    limit(static_cast<double>(dy), (clip.bottom + margin) - static_cast<double>(y0));
    *first = t0 * length;
    *last = t1 * length;
}

}  // namespace

void stroke_wide(Surface& s, const ClipRect& clip, const long long* xs, const long long* ys, int count, int width,
                 std::uint32_t color, const DashPattern& dashes) {
    assert(width > 1 && count >= 2);
    long long period = 0;
    for (std::uint32_t d : dashes) period += d;
    if (dashes.empty() || period == 0) {
        for (int i = 0; i + 1 < count; ++i) {
            const long long dx = xs[i + 1] - xs[i], dy = ys[i + 1] - ys[i];
            if (dx == 0 && dy == 0) {
                paint_round_end(s, clip, width, xs[i], ys[i], color);
            } else {
                paint_piece(s, clip, width, xs[i], ys[i], xs[i + 1], ys[i + 1], body_offsets(dx, dy, width), color);
            }
        }
        return;
    }
    // Dashes: the lengths are distances along the polyline; each dash is a
    // piece of its own with round ends, its ends on the whole pixels reached
    // by cutting the fraction off the offset from the segment's first point.
    // A dash that reaches a point goes on in the next segment.
    std::size_t index = 0;
    double left = dashes[0];
    for (int i = 0; i + 1 < count; ++i) {
        const long long dx = xs[i + 1] - xs[i], dy = ys[i + 1] - ys[i];
        const double length = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
        auto at = [&](double distance, long long* x, long long* y) {
            const double f = length > 0 ? distance / length : 0;
            *x = xs[i] + static_cast<long long>(static_cast<double>(dx) * f);
            *y = ys[i] + static_cast<long long>(static_cast<double>(dy) * f);
        };
        const BodyOffsets corners = dx == 0 && dy == 0 ? BodyOffsets{} : body_offsets(dx, dy, width);
        const double whole = std::floor(length);  // what the segment takes from the pattern
        double first, last;
        reachable(clip, xs[i], ys[i], dx, dy, length, width, &first, &last);
        double pos = 0;
        for (;;) {
            // Whole periods that cannot reach the clip are passed over at
            // once: a segment may run far outside the surface. Distances
            // along the pattern stay whole numbers, so this is exact.
            if (first > last) first = last = whole;
            double skip = 0;
            if (pos + period < first) skip = std::floor((first - pos) / period) - 1;
            else if (pos > last && pos + 2 * period < whole) skip = std::floor((whole - pos) / period) - 1;
            if (skip > 0) pos += skip * static_cast<double>(period);
            if (index % 2 == 0 && pos <= last + 1) {
                long long ax, ay, bx, by;
                at(pos, &ax, &ay);
                at(std::min(pos + left, length), &bx, &by);
                paint_piece(s, clip, width, ax, ay, bx, by, corners, color);
            }
            if (pos + left > whole) {
                left -= whole - pos;
                break;
            }
            pos += left;
            index = (index + 1) % dashes.size();
            left = dashes[index];
        }
    }
}

}  // namespace pelmorix_platform
