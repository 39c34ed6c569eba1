// Pens wider than one pixel: every segment's body is a four-cornered
// polygon, ends and joins are discs or polygons of their own, all filled by
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
// out to the next whole pixel, the other to the nearest, ties away from the
// segment; along an axis both go to the nearest, the first side's ties away
// from the segment and the other's towards it.
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
    // Along an axis the half width is whole or a half: a pen of even width
    // covers one pixel more above a row (left of a column) than below it.
    if (dx == 0 || dy == 0) {
        return BodyOffsets{nearest(nx, false), nearest(ny, false), -nearest(nx, true), -nearest(ny, true)};
    }
    return BodyOffsets{beyond(nx), beyond(ny), -nearest(nx, false), -nearest(ny, false)};
}

// Fills a convex polygon of `n` corners by the polygon rule.
void fill_convex(Surface& s, const ClipRect& clip, const long long* px, const long long* py, int n,
                 std::uint32_t color) {
    const long long top = std::max<long long>(*std::min_element(py, py + n), clip.top);
    const long long bottom = std::min<long long>(*std::max_element(py, py + n), clip.bottom);  // exclusive
    for (long long y = top; y < bottom; ++y) {
        long long left = 0, right = 0;  // [left, right)
        bool any = false;
        for (int i = 0; i < n; ++i) {
            long long ex0 = px[i], ey0 = py[i], ex1 = px[(i + 1) % n], ey1 = py[(i + 1) % n];
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

// How far a square end reaches past each end of a segment running dx, dy:
// half the pen's width along it, rounded as the body's corners are (the end
// further down the surface, or right along a row, out to the next whole
// pixel, the other to the nearest; both to the nearest along an axis, ties
// inwards).
struct Extension {
    long long x0, y0, x1, y1;  // added to the first end and to the last
};

Extension square_extension(long long dx, long long dy, int width) {
    const double length = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
    const double ex = static_cast<double>(dx) * width / (2 * length);
    const double ey = static_cast<double>(dy) * width / (2 * length);
    if (dx == 0 || dy == 0) {
        const long long x = nearest(ex, true), y = nearest(ey, true);
        return Extension{-x, -y, x, y};
    }
    if (ey > 0) return Extension{-nearest(ex, false), -nearest(ey, false), beyond(ex), beyond(ey)};
    return Extension{beyond(-ex), beyond(-ey), nearest(ex, false), nearest(ey, false)};
}

// The body from (x0, y0) to (x1, y1) with the given corners, its ends moved
// by `e`.
void paint_body(Surface& s, const ClipRect& clip, long long x0, long long y0, long long x1, long long y1,
                const BodyOffsets& o, const Extension& e, std::uint32_t color) {
    x0 += e.x0;
    y0 += e.y0;
    x1 += e.x1;
    y1 += e.y1;
    const long long px[4] = {x0 + o.ax, x1 + o.ax, x1 + o.bx, x0 + o.bx};
    const long long py[4] = {y0 + o.ay, y1 + o.ay, y1 + o.by, y0 + o.by};
    fill_convex(s, clip, px, py, 4, color);
}

// A piece of a segment, (x0, y0) to (x1, y1), running as the segment's
// dx, dy: its body, with the whole segment's corners, and an end of the
// pen's kind at each end, if `start` and `finish` say so.
void paint_piece(Surface& s, const ClipRect& clip, const WidePen& pen, long long x0, long long y0, long long x1,
                 long long y1, long long dx, long long dy, const BodyOffsets& o, bool start, bool finish,
                 std::uint32_t color) {
    if (pen.end == LineEnd::Round) {
        if (start) paint_round_end(s, clip, pen.width, x0, y0, color);
        if (finish && (x1 != x0 || y1 != y0)) paint_round_end(s, clip, pen.width, x1, y1, color);
    }
    if (x0 == x1 && y0 == y1 && pen.end != LineEnd::Square) return;
    Extension e{};
    if (pen.end == LineEnd::Square) {
        const Extension full = square_extension(dx, dy, pen.width);
        if (start) e.x0 = full.x0, e.y0 = full.y0;
        if (finish) e.x1 = full.x1, e.y1 = full.y1;
    }
    paint_body(s, clip, x0, y0, x1, y1, o, e, color);
}

// The corner a segment running dx, dy with corners `o` has on the side away
// from where the next turns (`turn`: the sign of the turn), and the other.
void corners_of(long long dx, long long dy, const BodyOffsets& o, long long turn, long long* outer_x,
                long long* outer_y, long long* inner_x, long long* inner_y) {
    const bool a_left = dx * o.ay - dy * o.ax > 0;
    const bool a_outer = a_left == (turn < 0);
    *outer_x = a_outer ? o.ax : o.bx;
    *outer_y = a_outer ? o.ay : o.by;
    *inner_x = a_outer ? o.bx : o.ax;
    *inner_y = a_outer ? o.by : o.ay;
}

// Fills the convex hull of `n` points (at most 5) by the polygon rule.
void fill_hull(Surface& s, const ClipRect& clip, const long long* xs, const long long* ys, int n,
               std::uint32_t color) {
    assert(n <= 5);
    int order[5];
    for (int i = 0; i < n; ++i) order[i] = i;
    std::sort(order, order + n, [&](int a, int b) { return xs[a] != xs[b] ? xs[a] < xs[b] : ys[a] < ys[b]; });
    auto turns_left = [&](int o, int a, int b) {
        return (xs[a] - xs[o]) * (ys[b] - ys[o]) - (ys[a] - ys[o]) * (xs[b] - xs[o]) > 0;
    };
    int chain[11];
    int k = 0;
    for (int j = 0; j < n; ++j) {  // the lower chain
        while (k >= 2 && !turns_left(chain[k - 2], chain[k - 1], order[j])) --k;
        chain[k++] = order[j];
    }
    for (int j = n - 2, lower = k + 1; j >= 0; --j) {  // the upper chain, back to the first point
        while (k >= lower && !turns_left(chain[k - 2], chain[k - 1], order[j])) --k;
        chain[k++] = order[j];
    }
    long long px[5], py[5];
    const int corners = k - 1;
    for (int i = 0; i < corners; ++i) {
        px[i] = xs[chain[i]];
        py[i] = ys[chain[i]];
    }
    if (corners >= 3) fill_convex(s, clip, px, py, corners, color);
}

// The join at (x, y) between a segment running d1 and the next running d2.
void paint_join(Surface& s, const ClipRect& clip, const WidePen& pen, long long x, long long y, long long d1x,
                long long d1y, const BodyOffsets& o1, long long d2x, long long d2y, const BodyOffsets& o2,
                std::uint32_t color) {
    const long long turn = d1x * d2y - d1y * d2x;
    if (pen.join == LineJoin::Round) {
        paint_round_end(s, clip, pen.width, x, y, color);
        return;
    }
    if (turn == 0) return;  // straight on, or back: the bodies meet along their ends
    long long ox1, oy1, ix1, iy1, ox2, oy2, ix2, iy2;
    corners_of(d1x, d1y, o1, turn, &ox1, &oy1, &ix1, &iy1);
    corners_of(d2x, d2y, o2, turn, &ox2, &oy2, &ix2, &iy2);
    // The bevel is the hull of the first segment's corners where it ends and
    // the next one's where it starts; the next one's inner corner counts only
    // when it lies back along the first segment. A first segment along an
    // axis ends with the row or column of its last pixel rather than at the
    // point.
    const bool along_axis = d1x == 0 || d1y == 0;
    const long long ex = along_axis ? x - (d1x > 0) + (d1x < 0) : x;
    const long long ey = along_axis ? y - (d1y > 0) + (d1y < 0) : y;
    const long long hx[4] = {ex + ox1, ex + ix1, x + ox2, x + ix2};
    const long long hy[4] = {ey + oy1, ey + iy1, y + oy2, y + iy2};
    fill_hull(s, clip, hx, hy, d1x * ix2 + d1y * iy2 < 0 ? 4 : 3, color);
    if (pen.join != LineJoin::Miter) return;
    // The miter adds the triangle out to where the outer walls meet, unless
    // that is further from the point than the miter limit (10) times half
    // the width, as when the walls are nearly parallel.
    const double t =
        (static_cast<double>(ox2 - ox1) * d2y - static_cast<double>(oy2 - oy1) * d2x) / static_cast<double>(turn);
    const double tx = static_cast<double>(ox1) + t * static_cast<double>(d1x);
    const double ty = static_cast<double>(oy1) + t * static_cast<double>(d1y);
    if (std::hypot(tx, ty) > 5.0 * pen.width) return;
    const long long px[3] = {ex + ox1, x + static_cast<long long>(std::floor(tx + 0.5)), x + ox2};
    const long long py[3] = {ey + oy1, y + static_cast<long long>(std::floor(ty + 0.5)), y + oy2};
    fill_convex(s, clip, px, py, 3, color);
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

void stroke_wide(Surface& s, const ClipRect& clip, const long long* xs, const long long* ys, int count,
                 const WidePen& pen, std::uint32_t color, const DashPattern& dashes) {
    assert(pen.width > 1 && count >= 2);
    long long period = 0;
    for (std::uint32_t d : dashes) period += d;
    // Points that repeat are no segments: ends and joins belong to the
    // segments that have a length.
    int first = -1, last = -1;
    for (int i = 0; i + 1 < count; ++i) {
        if (xs[i + 1] == xs[i] && ys[i + 1] == ys[i]) continue;
        if (first < 0) first = i;
        last = i;
    }
    if (first < 0) {
        if (pen.end == LineEnd::Round) paint_round_end(s, clip, pen.width, xs[0], ys[0], color);
        return;
    }
    long long pdx = 0, pdy = 0;  // the last segment with a length, and its corners
    BodyOffsets previous{};
    if (dashes.empty() || period == 0) {
        for (int i = first; i <= last; ++i) {
            const long long dx = xs[i + 1] - xs[i], dy = ys[i + 1] - ys[i];
            if (dx == 0 && dy == 0) continue;
            const BodyOffsets o = body_offsets(dx, dy, pen.width);
            if (i != first) paint_join(s, clip, pen, xs[i], ys[i], pdx, pdy, previous, dx, dy, o, color);
            paint_piece(s, clip, pen, xs[i], ys[i], xs[i + 1], ys[i + 1], dx, dy, o, i == first, i == last, color);
            pdx = dx;
            pdy = dy;
            previous = o;
        }
        return;
    }
    // Dashes: the lengths are distances along the polyline; each dash is a
    // piece with the pen's ends, its ends on the whole pixels reached by
    // cutting the fraction off the offset from the segment's first point. A
    // dash that reaches a point goes on in the next segment, joined there as
    // the segments of a solid line are.
    const int width = pen.width;
    std::size_t index = 0;
    double left = dashes[0];
    bool open = false;  // a dash runs on from the last segment
    for (int i = first; i <= last; ++i) {
        const long long dx = xs[i + 1] - xs[i], dy = ys[i + 1] - ys[i];
        if (dx == 0 && dy == 0) continue;
        const double length = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
        auto at = [&](double distance, long long* x, long long* y) {
            const double f = distance / length;
            *x = xs[i] + static_cast<long long>(static_cast<double>(dx) * f);
            *y = ys[i] + static_cast<long long>(static_cast<double>(dy) * f);
        };
        const BodyOffsets corners = body_offsets(dx, dy, width);
        const double whole = std::floor(length);  // what the segment takes from the pattern
        double reach_from, reach_to;
        reachable(clip, xs[i], ys[i], dx, dy, length, width, &reach_from, &reach_to);
        if (reach_from > reach_to) reach_from = reach_to = whole;
        double pos = 0;
        for (;;) {
            // Whole periods that cannot reach the clip are passed over at
            // once: a segment may run far outside the surface. Distances
            // along the pattern stay whole numbers, so this is exact.
            double skip = 0;
            if (pos + period < reach_from) skip = std::floor((reach_from - pos) / period) - 1;
            else if (pos > reach_to && pos + 2 * period < whole) skip = std::floor((whole - pos) / period) - 1;
            if (skip > 0) {
                pos += skip * static_cast<double>(period);
                open = false;
            }
            const bool runs_on = pos + left > whole;
            if (index % 2 == 0 && pos <= reach_to + 1) {
                const bool joined = pos == 0 && open;
                if (joined) paint_join(s, clip, pen, xs[i], ys[i], pdx, pdy, previous, dx, dy, corners, color);
                long long ax, ay, bx, by;
                at(pos, &ax, &ay);
                at(std::min(pos + left, length), &bx, &by);
                paint_piece(s, clip, pen, ax, ay, bx, by, dx, dy, corners, !joined, !runs_on || i == last, color);
            }
            if (runs_on) {
                left -= whole - pos;
                open = index % 2 == 0;
                break;
            }
            pos += left;
            index = (index + 1) % dashes.size();
            left = dashes[index];
        }
        pdx = dx;
        pdy = dy;
        previous = corners;
    }
}

}  // namespace pelmorix_platform
