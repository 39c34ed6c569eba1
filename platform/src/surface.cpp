// Span-level rasterizer: fills, pattern fills, block copies and lines.
#include "surface.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace pelmorix_platform {

namespace {

#if defined(__linux__)
constexpr std::size_t kLargePage = std::size_t{2} << 20;
constexpr std::size_t kOwnMapping = std::size_t{1} << 20;  // from this size up

std::size_t mapped_size(std::size_t bytes) { return (bytes + kLargePage - 1) & ~(kLargePage - 1); }
#endif

}  // namespace

void* allocate_pixel_bytes(std::size_t bytes) {
#if defined(__linux__)
    if (bytes >= kOwnMapping) {
        // Mapped one large page too big, then trimmed to start on a large
        // page boundary: the kernel only backs aligned ranges with them.
        const std::size_t size = mapped_size(bytes);
        void* const mapped = mmap(nullptr, size + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::bad_alloc();
        char* const start = static_cast<char*>(mapped);
        char* const aligned =
            reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1));
        if (aligned != start) munmap(start, static_cast<std::size_t>(aligned - start));
        const std::size_t after = static_cast<std::size_t>(start + kLargePage - aligned);  // the rest of the spare page
        if (after != 0) munmap(aligned + size, after);
        // Only advice: where the host has no large pages, small ones serve.
        (void)madvise(aligned, size, MADV_HUGEPAGE);
        return aligned;
    }
#endif
    return ::operator new(bytes);
}

void free_pixel_bytes(void* memory, std::size_t bytes) {
#if defined(__linux__)
    if (bytes >= kOwnMapping) {
        munmap(memory, mapped_size(bytes));
        return;
    }
#endif
    ::operator delete(memory);
}

void Surface::resize(int w, int h) {
    w = std::max(w, 0);
    h = std::max(h, 0);
    if (w == width && h == height) return;
    PixelVector next(static_cast<std::size_t>(w) * h, 0);
    const int keep_w = std::min(w, width);
    const int keep_h = std::min(h, height);
    for (int y = 0; y < keep_h; ++y) {
        std::memcpy(next.data() + static_cast<std::size_t>(y) * w, row(y), sizeof(std::uint32_t) * keep_w);
    }
    pixels.swap(next);
    known_count = 0;
    width = w;
    height = h;
}

ClipRect intersect(const ClipRect& a, const ClipRect& b) {
    ClipRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
    if (r.empty()) r = ClipRect{};
    return r;
}

void fill_solid(Surface& s, const ClipRect& r, std::uint32_t color) {
    assert(r.empty() || (r.left >= 0 && r.top >= 0 && r.right <= s.width && r.bottom <= s.height));
    for (int y = r.top; y < r.bottom; ++y) {
        std::fill(s.row(y) + r.left, s.row(y) + r.right, color);
    }
}

namespace {

// Forgets the known runs that pixels of `color` at rows top to bottom of
// columns left to right paint over.
void paint_over_runs(Surface& s, int left, int right, int top, int bottom, std::uint32_t color) {
    int kept = 0;
    for (int k = 0; k < s.known_count; ++k) {
        const ColumnRun& run = s.known_runs[k];
        const bool covered = run.x >= left && run.x <= right && run.top <= bottom && run.bottom >= top;
        if (!covered || run.color == color) s.known_runs[kept++] = run;
    }
    s.known_count = kept;
}

// Paints rows top to bottom (inclusive, inside the surface) of column x.
void paint_column(Surface& s, int x, int top, int bottom, std::uint32_t color) {
    const std::ptrdiff_t stride = s.width;  // read once: the stores could alias it
    std::uint32_t* p = s.row_keeping_runs(top) + x;
    for (int y = top; y <= bottom; ++y, p += stride) *p = color;
}

// paint_column, leaving out the rows a known run of the same colour holds
// already, and noting the run painted.
void paint_column_run(Surface& s, int x, int top, int bottom, std::uint32_t color) {
    for (int k = 0; k < s.known_count; ++k) {
        ColumnRun& run = s.known_runs[k];
        // Overlapping or touching: one run then.
        if (run.x != x || run.color != color || run.top > bottom + 1 || run.bottom < top - 1) continue;
        if (top < run.top) paint_column(s, x, top, run.top - 1, color);
        if (bottom > run.bottom) paint_column(s, x, run.bottom + 1, bottom, color);
        ColumnRun grown = run;
        grown.top = std::min(run.top, top);
        grown.bottom = std::max(run.bottom, bottom);
        for (int j = k; j > 0; --j) s.known_runs[j] = s.known_runs[j - 1];
        s.known_runs[0] = grown;
        return;
    }
    paint_column(s, x, top, bottom, color);
    paint_over_runs(s, x, x, top, bottom, color);
    const int count = std::min(s.known_count + 1, Surface::kKnownRuns);
    for (int j = count - 1; j > 0; --j) s.known_runs[j] = s.known_runs[j - 1];
    s.known_runs[0] = ColumnRun{x, top, bottom, color};
    s.known_count = count;
}

}  // namespace

void paint_run(Surface& s, const ClipRect& clip, long long y, long long left, long long right, std::uint32_t color) {
    if (y < clip.top || y >= clip.bottom) return;
    left = std::max<long long>(left, clip.left);
    right = std::min<long long>(right, clip.right - 1);
    if (left > right) return;
    const int row_y = static_cast<int>(y);
    paint_over_runs(s, static_cast<int>(left), static_cast<int>(right), row_y, row_y, color);
    std::uint32_t* row = s.row_keeping_runs(row_y);
    std::fill(row + left, row + right + 1, color);
}

void fill_pattern(Surface& s, const ClipRect& r, const Pattern8& p, std::uint32_t zero_color,
                  std::uint32_t one_color) {
    assert(r.empty() || (r.left >= 0 && r.top >= 0 && r.right <= s.width && r.bottom <= s.height));
    for (int y = r.top; y < r.bottom; ++y) {
        const std::uint8_t bits = p.rows[y & 7];
        std::uint32_t* out = s.row(y);
        for (int x = r.left; x < r.right; ++x) {
            out[x] = (bits & (0x80u >> (x & 7))) != 0 ? one_color : zero_color;
        }
    }
}

void copy_block(Surface& dst, int dx, int dy, const Surface& src, int sx, int sy, int w, int h) {
    assert(w >= 0 && h >= 0);
    assert(dx >= 0 && dy >= 0 && dx + w <= dst.width && dy + h <= dst.height);
    assert(sx >= 0 && sy >= 0 && sx + w <= src.width && sy + h <= src.height);
    if (w == 0 || h == 0) return;
    const bool same = &dst == &src;
    // Rows bottom-up when copying downwards within one surface, so no source
    // row is overwritten before it is read.
    if (same && dy > sy) {
        for (int y = h - 1; y >= 0; --y) {
            std::memmove(dst.row(dy + y) + dx, src.row(sy + y) + sx, sizeof(std::uint32_t) * w);
        }
    } else {
        for (int y = 0; y < h; ++y) {
            std::memmove(dst.row(dy + y) + dx, src.row(sy + y) + sx, sizeof(std::uint32_t) * w);
        }
    }
}

namespace {

// Products of two coordinate spans need more than 64 bits.
__extension__ typedef __int128 wide_int;

// Paints one pixel of a line, if it lies inside the clip.
void plot(Surface& s, const ClipRect& clip, long long x, long long y, std::uint32_t color) {
    if (x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom) {
        s.row(static_cast<int>(y))[x] = color;
    }
}

// Makes the dash state point at an entry with steps left, passing over
// entries of length 0. The pattern has at least one nonzero length.
void load_dash(const LineStyle& style, DashState& dash) {
    while (dash.left == 0) {
        if (dash.index >= style.dashes.size()) dash.index = 0;
        dash.left = style.dashes[dash.index];
        if (dash.left == 0) dash.index = (dash.index + 1) % style.dashes.size();
    }
}

// Advances the dash state by `steps` without drawing (for the parts of a
// segment clipped away).
void skip_dashes(const LineStyle& style, DashState& dash, long long steps, long long period) {
    if (style.dashes.empty() || steps <= 0) return;
    steps %= period;
    while (steps > 0) {
        load_dash(style, dash);
        if (steps < static_cast<long long>(dash.left)) {
            dash.left -= static_cast<std::uint32_t>(steps);
            return;
        }
        steps -= dash.left;
        dash.left = 0;
        dash.index = (dash.index + 1) % style.dashes.size();
    }
}

// Whether the next step is drawn (an even entry: dashes and gaps alternate)
// and advances the pattern. Where entries of length 0 are passed over to
// reach the step's entry, a sloped line takes the step's colour from the
// first of them, a line along an axis from the entry reached.
bool next_dash(const LineStyle& style, DashState& dash, bool sloped) {
    if (style.dashes.empty()) return true;
    const bool first_on = (dash.index % 2) == 0;
    const bool passing = dash.left == 0;
    load_dash(style, dash);
    const bool on = sloped && passing ? first_on : (dash.index % 2) == 0;
    if (--dash.left == 0) dash.index = (dash.index + 1) % style.dashes.size();
    return on;
}

// A solid one-pixel segment along a row (y0 == y1) or a column (x0 == x1):
// the pixels from the first point up to the one before the last, clipped,
// written as one run. The same pixels as stepping along it one at a time.
void draw_solid_span(Surface& s, const ClipRect& clip, long long x0, long long y0, long long x1, long long y1,
                     std::uint32_t color) {
    const bool along_row = y0 == y1;
    const long long first = along_row ? x0 : y0;
    const long long last = along_row ? x1 : y1;
    const long long across = along_row ? y0 : x0;
    long long lo = first < last ? first : last + 1;
    long long hi = first < last ? last - 1 : first;
    if (along_row) {
        paint_run(s, clip, across, lo, hi, color);
    } else {
        if (across < clip.left || across >= clip.right) return;
        lo = std::max<long long>(lo, clip.top);
        hi = std::min<long long>(hi, clip.bottom - 1);
        if (lo > hi) return;
        paint_column_run(s, static_cast<int>(across), static_cast<int>(lo), static_cast<int>(hi), color);
    }
}

}  // namespace

void draw_segment(Surface& s, const ClipRect& clip, long long x0, long long y0, long long x1, long long y1,
                  const LineStyle& style, DashState& dash) {
    const long long dx = x1 - x0;
    const long long dy = y1 - y0;
    const long long adx = dx < 0 ? -dx : dx;
    const long long ady = dy < 0 ? -dy : dy;
    const bool x_major = adx >= ady;
    const long long steps = x_major ? adx : ady;  // pixels drawn: the last point is left out
    if (steps == 0) return;
    long long period = 0;
    for (std::uint32_t d : style.dashes) period += d;
    const LineStyle* used = &style;
    LineStyle solid_fallback;
    if (!style.dashes.empty() && period == 0) {
        // A pattern of only zero lengths draws solid.
        solid_fallback = style;
        solid_fallback.dashes.clear();
        used = &solid_fallback;
    }
    if (used->dashes.empty() && (dx == 0 || dy == 0)) {
        draw_solid_span(s, clip, x0, y0, x1, y1, used->color);
        return;
    }

    // Major axis a, minor axis b; s_a, s_b their directions.
    const long long a0 = x_major ? x0 : y0;
    const long long b0 = x_major ? y0 : x0;
    const long long s_a = (x_major ? dx : dy) < 0 ? -1 : 1;
    const long long s_b = (x_major ? dy : dx) < 0 ? -1 : 1;
    const long long major = steps;
    const long long minor = x_major ? ady : adx;
    // On a tie the smaller coordinate wins: rounding the minor offset down
    // when the minor axis grows, up when it shrinks.
    const bool tie_up = s_b < 0;

    // Clip the range of steps to where the major coordinate lies inside the
    // clip.
    const long long lo_a = x_major ? clip.left : clip.top;
    const long long hi_a = (x_major ? clip.right : clip.bottom) - 1;
    long long k_first = 0;
    long long k_last = major - 1;
    if (s_a > 0) {
        k_first = std::max(k_first, lo_a - a0);
        k_last = std::min(k_last, hi_a - a0);
    } else {
        k_first = std::max(k_first, a0 - hi_a);
        k_last = std::min(k_last, a0 - lo_a);
    }
    if (k_first > k_last) {
        skip_dashes(*used, dash, major, period);
        return;
    }
    skip_dashes(*used, dash, k_first, period);

    // Minor offset m = round(k * minor / major) with the tie rule, kept
    // incrementally as r = k * minor - m * major (in 128 bits: coordinates
    // may be far apart).
    wide_int num = static_cast<wide_int>(k_first) * minor;
    long long m = static_cast<long long>(num / major);
    wide_int r = num - static_cast<wide_int>(m) * major;
    if (2 * r > major || (tie_up && 2 * r == major)) {
        ++m;
        r -= major;
    }
    const std::uint32_t gap_color = used->gap_color;
    const bool sloped = dx != 0 && dy != 0;
    for (long long k = k_first; k <= k_last; ++k) {
        const bool on = next_dash(*used, dash, sloped);
        const long long a = a0 + s_a * k;
        const long long b = b0 + s_b * m;
        if (on || used->paint_gaps) {
            const std::uint32_t color = on ? used->color : gap_color;
            if (x_major) {
                plot(s, clip, a, b, color);
            } else {
                plot(s, clip, b, a, color);
            }
        }
        r += minor;
        if (2 * r > major || (tie_up && 2 * r == major)) {
            ++m;
            r -= major;
        }
    }
    skip_dashes(*used, dash, major - 1 - k_last, period);
}

}  // namespace pelmorix_platform
