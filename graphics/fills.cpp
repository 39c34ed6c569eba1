// Fill settings and bars, the viewport with its clip, and clearing the page.
#include "graphics_internal.h"

void set_fill_style(int pattern, int color) {
    GraphicsContext& g = graphics_context();
    g.fill_pattern = pattern;
    g.fill_color = color & 15;
    SelectObject(g.screen_dc, g.fill_brushes[pattern]);
    SelectObject(g.page_dc, g.fill_brushes[pattern]);
}

void fill_bar(int x1, int y1, int x2, int y2) {
    GraphicsContext& g = graphics_context();
    RECT bar;
    bar.left = x2 < x1 ? x2 : x1;
    bar.right = x2 < x1 ? x1 : x2;
    bar.top = y1 > y2 ? y2 : y1;
    bar.bottom = y1 > y2 ? y1 : y2;
    // Pattern brushes paint their 0 bits in the DC's text colour.
    if (g.text_color_cache != g.fill_color) {
        g.text_color_cache = g.fill_color;
        SetTextColor(g.screen_dc, palette_color(g.fill_color));
        SetTextColor(g.page_dc, palette_color(g.fill_color));
    }
    HBRUSH brush = g.fill_brushes[g.fill_pattern];
    if (output_to_page()) FillRect(g.page_dc, &bar, brush);
    if (output_to_screen()) FillRect(g.screen_dc, &bar, brush);
}

void set_viewport(int left, int top, int right, int bottom, int clip) {
    GraphicsContext& g = graphics_context();
    g.viewport.left = left;
    g.viewport.top = top;
    g.viewport.right = right;
    g.viewport.bottom = bottom;
    g.viewport.clip = clip;
    if (g.clip_region != nullptr) DeleteObject(g.clip_region);
    g.clip_region = clip != 0 ? CreateRectRgn(left, top, right, bottom) : nullptr;
    SelectClipRgn(g.page_dc, g.clip_region);
    SetViewportOrgEx(g.page_dc, left, top, nullptr);
    SelectClipRgn(g.screen_dc, g.clip_region);
    SetViewportOrgEx(g.screen_dc, left, top, nullptr);
    move_to(0, 0);
}

void get_view_settings(ViewportRecord* viewport) { *viewport = graphics_context().viewport; }

void clear_device() {
    GraphicsContext& g = graphics_context();
    // Device (0, 0) to the page's far corner, less its last column and row.
    const RECT page{-g.viewport.left, -g.viewport.top, g.screen_width - g.viewport.left - 1,
                    g.screen_height - g.viewport.top - 1};
    auto clear = [&g, &page](HDC dc) {
        if (g.clip_region != nullptr) SelectClipRgn(dc, nullptr);
        FillRect(dc, &page, g.fill_brushes[kBackgroundBrush]);
        if (g.clip_region != nullptr) SelectClipRgn(dc, g.clip_region);
    };
    if (output_to_page()) clear(g.page_dc);
    if (output_to_screen()) clear(g.screen_dc);
    move_to(0, 0);
}
