// Pixel surfaces and the rasterizer's span-level primitives.
//
// Every function here takes rectangles that the caller has already clipped to
// the surface and to the DC's clip region (`ClipRect`), in device
// coordinates; nothing here knows about handles, palettes or origins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelmorix_platform {

// Memory for pixels. A picture of a megabyte or more is mapped on its own,
// in 2 MiB pages where the host has them: a screen-sized picture is then
// touched for the first time in a few page faults instead of one for every
// 4 KiB page, which the benchmark's runs on the model's log show in their
// time (docs/performance.md). Smaller ones come from the heap.
void* allocate_pixel_bytes(std::size_t bytes);
void free_pixel_bytes(void* memory, std::size_t bytes);

template <class T>
struct PixelAllocator {
    using value_type = T;
    PixelAllocator() = default;
    template <class U>
    PixelAllocator(const PixelAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(allocate_pixel_bytes(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { free_pixel_bytes(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const PixelAllocator<U>&) const { return true; }
    template <class U>
    bool operator!=(const PixelAllocator<U>&) const { return false; }
};

using PixelVector = std::vector<std::uint32_t, PixelAllocator<std::uint32_t>>;

// Rows top to bottom (inclusive) of pixel column x, all in one colour.
struct ColumnRun {
    int x = 0;
    int top = 0;
    int bottom = 0;
    std::uint32_t color = 0;
};

// A 32-bit true-colour surface, pixels 0x00RRGGBB, rows top to bottom.
struct Surface {
    static constexpr int kKnownRuns = 4;

    int width = 0;       // pixels per row
    int height = 0;      // rows
    PixelVector pixels;  // width * height pixels
    // Runs the line drawing painted down columns and that still hold their
    // colour, the latest first, so that painting one again paints only
    // what it adds (a grid of box outlines drawn from one shared corner
    // paints each vertical line hundreds of times). Every write through
    // row() forgets them; the painters that keep them true use
    // row_keeping_runs(). A pointer into the pixels kept for later writes
    // (SetPixel's short cut) must be dropped when runs are noted.
    ColumnRun known_runs[kKnownRuns];
    int known_count = 0;

    void resize(int w, int h);  // keeps the overlapping part, new pixels black
    std::uint32_t* row(int y) {
        known_count = 0;
        return row_keeping_runs(y);
    }
    const std::uint32_t* row(int y) const { return pixels.data() + static_cast<std::size_t>(y) * width; }
    std::uint32_t* row_keeping_runs(int y) { return pixels.data() + static_cast<std::size_t>(y) * width; }
};

// Half-open device rectangle: left <= x < right, top <= y < bottom.
struct ClipRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool empty() const { return right <= left || bottom <= top; }
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// Intersection of two rectangles (empty when they do not meet).
ClipRect intersect(const ClipRect& a, const ClipRect& b);

// An 8 x 8 monochrome pattern: rows[y] bit (7 - x) is pixel (x, y);
// a 0 bit paints `zero_color`, a 1 bit `one_color`.
struct Pattern8 {
    std::uint8_t rows[8] = {};
};

// Fills an already-clipped rectangle with one colour.
void fill_solid(Surface& s, const ClipRect& r, std::uint32_t color);
// Paints x in [left, right] of row y in `color`, clipped to `clip`
// (coordinates may lie anywhere).
void paint_run(Surface& s, const ClipRect& clip, long long y, long long left, long long right, std::uint32_t color);

// Fills an already-clipped rectangle with a pattern aligned to device (0, 0).
void fill_pattern(Surface& s, const ClipRect& r, const Pattern8& p, std::uint32_t zero_color, std::uint32_t one_color);

// Copies a w x h block from (sx, sy) of `src` to (dx, dy) of `dst`; both
// rectangles already lie inside their surfaces. Overlap on one surface is
// handled as by memmove.
void copy_block(Surface& dst, int dx, int dy, const Surface& src, int sx, int sy, int w, int h);

// Dash lengths in steps, on, off, on, off ...: a view of the pen's own
// lengths, which outlive the drawing call.
struct DashPattern {
    const std::uint32_t* lengths = nullptr;
    std::size_t count = 0;

    DashPattern() = default;
    // Implicit, so that a pen's vector of lengths can be given as it is.
    DashPattern(const std::vector<std::uint32_t>& v) : lengths(v.data()), count(v.size()) {}
    bool empty() const { return count == 0; }
    std::size_t size() const { return count; }
    std::uint32_t operator[](std::size_t i) const { return lengths[i]; }
    const std::uint32_t* begin() const { return lengths; }
    const std::uint32_t* end() const { return lengths + count; }
    void clear() { count = 0; }
};

// How a line's pixels are painted, step by step along its major axis.
struct LineStyle {
    DashPattern dashes;                 // empty = solid
    std::uint32_t color = 0;            // colour of drawn steps
    bool paint_gaps = false;            // gaps painted in gap_color (opaque styled pens)
    std::uint32_t gap_color = 0;
};

// Position in the dash pattern; it runs on from one segment to the next of a
// polyline and starts at 0 for each new polyline.
struct DashState {
    std::uint32_t index = 0;  // current entry of LineStyle::dashes
    std::uint32_t left = 0;   // steps left in that entry; 0 = not started
};

// Draws the segment from (x0, y0) to (x1, y1) in device coordinates, first
// point included, last left out, pixels outside `clip` skipped (the segment
// is clipped here, since it need not lie inside the surface). On an exact
// tie an x-major segment takes the smaller y, a y-major one the smaller x, so
// that a segment covers the same pixels in both directions. A solid
// one-pixel segment along a row or a column is filled as one span.
void draw_segment(Surface& s, const ClipRect& clip, long long x0, long long y0, long long x1, long long y1,
                  const LineStyle& style, DashState& dash);

// A pen wider than one pixel: its width, the kind of its two ends and of
// the joins between segments.
enum class LineEnd { Round, Square, Flat };
enum class LineJoin { Round, Bevel, Miter };
struct WidePen {
    int width = 2;
    LineEnd end = LineEnd::Round;
    LineJoin join = LineJoin::Round;
};

// Strokes a polyline of `count` >= 2 device points with a wide pen: every
// segment's body a four-cornered polygon, round ends discs, square ends the
// body drawn on by half the width, joins discs or the corner between the
// bodies' outer walls (bevel), or reaching to where they meet (miter). With
// dashes, every dash is a piece with the pen's ends, joined where it runs on
// past a point. Clipped to `clip`.
void stroke_wide(Surface& s, const ClipRect& clip, const long long* xs, const long long* ys, int count,
                 const WidePen& pen, std::uint32_t color, const DashPattern& dashes);

}  // namespace pelmorix_platform
