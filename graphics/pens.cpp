// Drawing colour, line settings, the pen cache and line drawing.
#include <vector>

#include "graphics_internal.h"

namespace {

constexpr int kUserPatternStyle = 4;
constexpr int kDashArraySize = 32;
// Vertices converted on the stack; longer polylines take the free store.
constexpr int kStackPoints = 64;

PenCacheEntry* as_entry(CacheLink* link) { return static_cast<PenCacheEntry*>(link); }

bool entry_matches(const PenCacheEntry& entry, int color, const GraphicsContext& g) {
    return entry.key_color == color && entry.key_style == g.line_style && entry.key_thickness == g.line_thickness &&
           (g.line_style != kUserPatternStyle || entry.key_pattern == g.line_pattern);
}

void select_pen_into_both(HPEN pen) {
    GraphicsContext& g = graphics_context();
    SelectObject(g.screen_dc, pen);
    SelectObject(g.page_dc, pen);
}

// The user pattern as a geometric pen; null when the platform cannot make it.
HPEN make_user_pattern_pen(int color) {
    const GraphicsContext& g = graphics_context();
    LOGBRUSH brush;
    brush.lbStyle = BS_SOLID;
    brush.lbColor = PALETTEINDEX(color);
    brush.lbHatch = 0;
    DWORD dashes[kDashArraySize];
    const int count = pattern_to_dashes(dashes, g.line_pattern);
    return ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                        static_cast<DWORD>(g.line_thickness), &brush, static_cast<DWORD>(count), dashes);
}

void polyline_by_output_rule(const POINT* points, int count) {
    const GraphicsContext& g = graphics_context();
    if (output_to_page()) Polyline(g.page_dc, points, count);
    if (output_to_screen()) Polyline(g.screen_dc, points, count);
}

}  // namespace

const int pen_styles[5] = {PS_SOLID, PS_DOT, PS_DASHDOT, PS_DASH, PS_DASHDOTDOT};

void pen_cache_init(PenCache& cache) { cache_list_init(cache); }

void pen_cache_select(PenCache& cache, int color) {
    GraphicsContext& g = graphics_context();
    for (CacheLink* link = cache.next_link; link != &cache; link = link->next_link) {
        PenCacheEntry* entry = as_entry(link);
        if (!entry_matches(*entry, color, g)) continue;
        cache_unlink(entry);
        cache_insert_front(cache, entry);
        if (entry->pen != g.current_pen) {
            g.current_pen = entry->pen;
            select_pen_into_both(g.current_pen);
        }
        return;
    }

    g.current_pen = nullptr;
    if (g.line_style == kUserPatternStyle) g.current_pen = make_user_pattern_pen(color);
    if (g.current_pen == nullptr) g.current_pen = CreatePen(pen_styles[g.line_style], g.line_thickness, PALETTEINDEX(color));
    select_pen_into_both(g.current_pen);

    // The evicted pen goes only now that neither DC holds it.
    PenCacheEntry* entry = cache.free_entries;
    if (entry != nullptr) {
        cache.free_entries = as_entry(entry->next_link);
    } else {
        entry = as_entry(cache.prev_link);
        cache_unlink(entry);
        DeleteObject(entry->pen);
    }
    entry->pen = g.current_pen;
    entry->key_color = color;
    entry->key_thickness = g.line_thickness;
    entry->key_style = g.line_style;
    entry->key_pattern = g.line_pattern;
    cache_insert_front(cache, entry);
}

int pattern_to_dashes(DWORD* dashes, int pattern) {
    // Runs of bits from the lowest upwards: 1 bits are drawn, 0 bits skipped.
    std::uint32_t bits = static_cast<std::uint32_t>(pattern) & 0xFFFF;
    int count = 0;
    DWORD total = 0;
    for (;;) {
        DWORD run = 0;
        for (; (bits & 1) != 0; bits >>= 1) ++run;
        dashes[count++] = run;
        total += run;
        if (bits == 0) {
            dashes[count++] = 16 - total;  // the gap that completes the period
            return count;
        }
        run = 0;
        for (; (bits & 1) == 0; bits >>= 1) ++run;
        dashes[count++] = run;
        total += run;
    }
}

void set_color(int color) {
    GraphicsContext& g = graphics_context();
    g.current_color = color & 15;
    g.text_color_cache = g.current_color;
    SetTextColor(g.screen_dc, palette_color(g.current_color));
    SetTextColor(g.page_dc, palette_color(g.current_color));
}

void set_line_style(int style, int pattern, int thickness) {
    GraphicsContext& g = graphics_context();
    g.line_style = style;
    g.line_pattern = pattern;
    g.line_thickness = thickness;
}

void move_to(int x, int y) {
    const GraphicsContext& g = graphics_context();
    if (output_to_page()) MoveToEx(g.page_dc, x, y, nullptr);
    if (output_to_screen()) MoveToEx(g.screen_dc, x, y, nullptr);
}

void put_pixel(int x, int y, int color) {
    // The plot loop's every point: the output rule is read off the one
    // context fetched here rather than fetched again for each test.
    const GraphicsContext& g = graphics_context();
    const COLORREF c = palette_color(color);
    if (always_to_page != 0 || g.visual_page != g.active_page) SetPixel(g.page_dc, x, y, c);
    if (g.visual_page == g.active_page) SetPixel(g.screen_dc, x, y, c);
}

void draw_poly(int count, const PointRecord* points) {
    GraphicsContext& g = graphics_context();
    pen_cache_select(g.pen_cache, g.current_color + 16);
    // The platform's point record need not be ours: copy the vertices.
    const int n = points != nullptr && count > 0 ? count : 0;
    POINT stack_points[kStackPoints];
    std::vector<POINT> heap_points;
    POINT* converted = stack_points;
    if (n > kStackPoints) {
        heap_points.resize(static_cast<std::size_t>(n));
        converted = heap_points.data();
    }
    for (int i = 0; i < n; ++i) {
        converted[i].x = points[i].x;
        converted[i].y = points[i].y;
    }
    polyline_by_output_rule(points != nullptr ? converted : nullptr, count);
}

void draw_rectangle(int left, int top, int right, int bottom) {
    const PointRecord outline[5] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}};
    draw_poly(5, outline);
}
