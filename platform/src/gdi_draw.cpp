// Drawing through a DC: pixels, rectangle fills, polylines and block copies.
// Each call turns logical coordinates into device ones and clips once, here;
// the span routines of surface.cpp take the clipped result.
#include <algorithm>
#include <vector>

#include "platform_internal.h"

namespace pelmorix_platform {

namespace {

// A logical rectangle moved to device coordinates and clipped, without
// overflow for any int input.
ClipRect device_rect(const DcObject& dc, const ClipRect& clip, long long left, long long top, long long right,
                     long long bottom) {
    left += dc.origin.x;
    right += dc.origin.x;
    top += dc.origin.y;
    bottom += dc.origin.y;
    ClipRect r{static_cast<int>(std::clamp<long long>(left, clip.left, clip.right)),
               static_cast<int>(std::clamp<long long>(top, clip.top, clip.bottom)),
               static_cast<int>(std::clamp<long long>(right, clip.left, clip.right)),
               static_cast<int>(std::clamp<long long>(bottom, clip.top, clip.bottom))};
    if (right <= left || bottom <= top || r.empty()) return ClipRect{};
    return r;
}

void paint_rect(DcObject& dc, Surface& s, const ClipRect& r, const BrushObject& brush) {
    switch (brush.type) {
        case BrushObject::Type::Null:
            return;
        case BrushObject::Type::Solid:
            fill_solid(s, r, resolve_color(dc, brush.color));
            return;
        case BrushObject::Type::Pattern:
            // Monochrome patterns take the DC's colours when they paint.
            fill_pattern(s, r, brush.pattern, resolve_color(dc, dc.text_color), resolve_color(dc, dc.bk_color));
            return;
    }
}

// The cosmetic dash patterns, in pixels, starting with a dash.
const std::vector<std::uint32_t>& cosmetic_dashes(int style) {
    static const std::vector<std::uint32_t> none;
    static const std::vector<std::uint32_t> dash = {18, 6};
    static const std::vector<std::uint32_t> dot = {3, 3};
    static const std::vector<std::uint32_t> dash_dot = {9, 6, 3, 6};
    static const std::vector<std::uint32_t> dash_dot_dot = {9, 3, 3, 3, 3, 3};
    static const std::vector<std::uint32_t> alternate = {1, 1};
    switch (style) {
        case PS_DASH:
            return dash;
        case PS_DOT:
            return dot;
        case PS_DASHDOT:
            return dash_dot;
        case PS_DASHDOTDOT:
            return dash_dot_dot;
        case PS_ALTERNATE:
            return alternate;
        default:
            return none;
    }
}

// Calls of the short cut between two looks at the present clock: reading
// it on every pixel would cost more than the pixel.
constexpr int kShortcutsPerClockCheck = 4096;

// Keeps what a SetPixel on `dc` looked up, as its short cut.
void keep_pixel_shortcut(HDC dc, const DcObject& d, const DrawTarget& t, COLORREF color, std::uint32_t rgb,
                         COLORREF result) {
    PlatformState& st = state();
    if (st.journal_on) return;  // every call must reach the journal
    const auto handle = reinterpret_cast<std::uintptr_t>(dc);
    PixelShortcut* entry = pixel_shortcuts[0].handle == handle   ? &pixel_shortcuts[0]
                           : pixel_shortcuts[1].handle == handle ? &pixel_shortcuts[1]
                                                                 : nullptr;
    if (entry == nullptr) {
        entry = &pixel_shortcuts[st.pixel_shortcut_next];
        st.pixel_shortcut_next ^= 1;
    }
    // The pixel just drawn lies in the clip, so the clip is not empty and
    // its top-left pixel is on the surface.
    entry->handle = handle;
    entry->key = color;  // as given: a palette index never equals a plain RGB colour
    entry->rgb = rgb;
    entry->result = result;
    entry->countdown = kShortcutsPerClockCheck;
    entry->left = static_cast<long long>(t.clip.left) - d.origin.x;
    entry->top = static_cast<long long>(t.clip.top) - d.origin.y;
    entry->width = static_cast<unsigned long long>(t.clip.right - t.clip.left);
    entry->height = static_cast<unsigned long long>(t.clip.bottom - t.clip.top);
    entry->first = t.surface->row(t.clip.top) + t.clip.left;
    entry->stride = t.surface->width;
}

// SetPixel in full: every case, every check. What it looked up is kept
// for the short cut in SetPixel.
__attribute__((noinline)) COLORREF set_pixel(HDC dc, int x, int y, COLORREF color) {
    if (journaling()) journal_call("SetPixel", dc, {x, y, static_cast<long long>(color)});
    DcObject* d = find_dc(dc);
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, CLR_INVALID);
    DrawTarget t;
    if (!draw_target(*d, &t)) return CLR_INVALID;
    const long long dx = static_cast<long long>(x) + d->origin.x;
    const long long dy = static_cast<long long>(y) + d->origin.y;
    if (dx < t.clip.left || dx >= t.clip.right || dy < t.clip.top || dy >= t.clip.bottom) return CLR_INVALID;
    const std::uint32_t rgb = resolve_color(*d, color);
    t.surface->row(static_cast<int>(dy))[dx] = rgb;
    const COLORREF result = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    keep_pixel_shortcut(dc, *d, t, color, rgb, result);
    // After the short cut is kept: showing the window now forgets it again.
    if (t.window != nullptr) note_window_drawn(*t.window);
    return result;
}

// Reads the present clock, showing what is due, then gives SetPixel's
// result: the rare end of the short cut.
__attribute__((noinline)) COLORREF present_due(PixelShortcut& entry) {
    const COLORREF result = entry.result;
    entry.countdown = kShortcutsPerClockCheck;  // before presenting, which may forget the entry
    present_dirty_windows_if_due();
    return result;
}

}  // namespace

PixelShortcut pixel_shortcuts[2];

}  // namespace pelmorix_platform

using namespace pelmorix_platform;

extern "C" {

COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF color) {
    // The program's plot loop comes here for every point, twice. The usual
    // call (the same colour as last time on a DC with a short cut) is done
    // here; anything else takes the full way.
    const auto handle = reinterpret_cast<std::uintptr_t>(dc);
    PixelShortcut* entry;
    if (pixel_shortcuts[0].handle == handle) {
        entry = &pixel_shortcuts[0];
    } else if (pixel_shortcuts[1].handle == handle) {
        entry = &pixel_shortcuts[1];
    } else {
        return set_pixel(dc, x, y, color);
    }
    if (entry->key != color) return set_pixel(dc, x, y, color);
    // Left of or above the clip wraps round to a large offset: one compare an axis.
    const auto cx = static_cast<unsigned long long>(x - entry->left);
    const auto cy = static_cast<unsigned long long>(y - entry->top);
    if (cx >= entry->width || cy >= entry->height) return CLR_INVALID;
    entry->first[static_cast<std::ptrdiff_t>(cy) * entry->stride + static_cast<std::ptrdiff_t>(cx)] = entry->rgb;
    if (--entry->countdown == 0) return present_due(*entry);
    return entry->result;
}

COLORREF WINAPI GetPixel(HDC dc, int x, int y) {
    DcObject* d = find_dc(dc);
    if (d == nullptr) return CLR_INVALID;
    DrawTarget t;
    if (!draw_target(*d, &t)) return CLR_INVALID;
    const long long dx = static_cast<long long>(x) + d->origin.x;
    const long long dy = static_cast<long long>(y) + d->origin.y;
    if (dx < 0 || dy < 0 || dx >= t.surface->width || dy >= t.surface->height) return CLR_INVALID;
    const Surface& surface = *t.surface;  // a read: what the surface knows of its runs stays
    const std::uint32_t rgb = surface.row(static_cast<int>(dy))[dx];
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    if (journaling()) {
        if (rect != nullptr) {
            journal_call("FillRect", dc, {rect->left, rect->top, rect->right, rect->bottom, hv(brush)});
        } else {
            journal_call("FillRect", dc, {hv(brush)});
        }
    }
    DcObject* d = find_dc(dc);
    const BrushObject* b = find<BrushObject>(brush, Kind::Brush);
    if (d == nullptr || b == nullptr) return fail(ERROR_INVALID_HANDLE, 0);
    if (rect == nullptr) return fail(ERROR_INVALID_PARAMETER, 0);
    DrawTarget t;
    if (!draw_target(*d, &t)) return 1;
    const ClipRect r = device_rect(*d, t.clip, rect->left, rect->top, rect->right, rect->bottom);
    if (r.empty()) return 1;
    paint_rect(*d, *t.surface, r, *b);
    if (t.window != nullptr && b->type != BrushObject::Type::Null) note_window_drawn(*t.window);
    return 1;
}

BOOL WINAPI Polyline(HDC dc, const POINT* points, int count) {
    if (journaling()) {
        journal_call("Polyline", dc, {count});
        auto& args = state().journal.back().args;
        for (int i = 0; points != nullptr && i < count; ++i) {
            args.push_back(points[i].x);
            args.push_back(points[i].y);
        }
    }
    DcObject* d = find_dc(dc);
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (points == nullptr || count < 2) return fail(ERROR_INVALID_PARAMETER, FALSE);
    const PenObject* pen = find<PenObject>(d->pen, Kind::Pen);
    if (pen == nullptr) pen = find<PenObject>(stock_object(BLACK_PEN), Kind::Pen);
    if (pen->style == PS_NULL) return TRUE;
    DrawTarget t;
    if (!draw_target(*d, &t)) return TRUE;

    const std::uint32_t color = resolve_color(*d, pen->color);
    if (pen->width > 1) {
        std::vector<long long> xs(static_cast<std::size_t>(count)), ys(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            xs[i] = static_cast<long long>(points[i].x) + d->origin.x;
            ys[i] = static_cast<long long>(points[i].y) + d->origin.y;
        }
        const DashPattern dashes = pen->style == PS_USERSTYLE ? DashPattern(pen->dashes) : DashPattern();
        WidePen wide;
        wide.width = pen->width;
        wide.end = pen->end_cap == PS_ENDCAP_SQUARE ? LineEnd::Square
                   : pen->end_cap == PS_ENDCAP_FLAT ? LineEnd::Flat
                                                    : LineEnd::Round;
        wide.join = pen->join == PS_JOIN_BEVEL ? LineJoin::Bevel
                    : pen->join == PS_JOIN_MITER ? LineJoin::Miter
                                                 : LineJoin::Round;
        stroke_wide(*t.surface, t.clip, xs.data(), ys.data(), count, wide, color, dashes);
        if (t.window != nullptr) note_window_drawn(*t.window);
        return TRUE;
    }
    LineStyle style;
    style.color = color;
    if (pen->style == PS_USERSTYLE) {
        style.dashes = pen->dashes;  // gaps of user styles are left untouched
    } else {
        style.dashes = cosmetic_dashes(pen->style);
        style.paint_gaps = !style.dashes.empty() && d->bk_mode == OPAQUE;
        style.gap_color = resolve_color(*d, d->bk_color);
    }
    DashState dash;  // the pattern restarts with each polyline
    for (int i = 0; i + 1 < count; ++i) {
        draw_segment(*t.surface, t.clip, static_cast<long long>(points[i].x) + d->origin.x,
                     static_cast<long long>(points[i].y) + d->origin.y,
                     static_cast<long long>(points[i + 1].x) + d->origin.x,
                     static_cast<long long>(points[i + 1].y) + d->origin.y, style, dash);
    }
    // Its writes would pass the runs the lines noted.
    if (t.surface->known_count != 0) forget_pixel_shortcuts();
    if (t.window != nullptr) note_window_drawn(*t.window);
    return TRUE;
}

BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int source_x, int source_y, DWORD rop) {
    if (journaling()) journal_call("BitBlt", dest, {x, y, width, height, hv(source), source_x, source_y, rop});
    DcObject* dd = find_dc(dest);
    if (dd == nullptr) return fail(ERROR_INVALID_HANDLE, FALSE);
    DrawTarget dt;
    if (rop == BLACKNESS || rop == WHITENESS) {
        if (!draw_target(*dd, &dt)) return TRUE;
        const ClipRect r = device_rect(*dd, dt.clip, x, y, static_cast<long long>(x) + width,
                                       static_cast<long long>(y) + height);
        fill_solid(*dt.surface, r, rop == BLACKNESS ? 0x000000u : 0xFFFFFFu);
        if (dt.window != nullptr) note_window_drawn(*dt.window);
        return TRUE;
    }
    if (rop != SRCCOPY) return fail(ERROR_INVALID_PARAMETER, FALSE);
    DcObject* sd = find_dc(source);
    if (sd == nullptr) return fail(ERROR_INVALID_HANDLE, FALSE);
    DrawTarget st;
    if (!draw_target(*dd, &dt) || !draw_target(*sd, &st) || width <= 0 || height <= 0) return TRUE;
    // Destination and source in device coordinates; the copy is limited to
    // the destination's clip and to what the source surface holds.
    const long long dx0 = static_cast<long long>(x) + dd->origin.x;
    const long long dy0 = static_cast<long long>(y) + dd->origin.y;
    const long long shift_x = static_cast<long long>(source_x) + sd->origin.x - dx0;
    const long long shift_y = static_cast<long long>(source_y) + sd->origin.y - dy0;
    long long left = std::max<long long>(dx0, dt.clip.left);
    long long top = std::max<long long>(dy0, dt.clip.top);
    long long right = std::min<long long>(dx0 + width, dt.clip.right);
    long long bottom = std::min<long long>(dy0 + height, dt.clip.bottom);
    left = std::max<long long>(left, -shift_x);
    top = std::max<long long>(top, -shift_y);
    right = std::min<long long>(right, st.surface->width - shift_x);
    bottom = std::min<long long>(bottom, st.surface->height - shift_y);
    if (right <= left || bottom <= top) return TRUE;
    copy_block(*dt.surface, static_cast<int>(left), static_cast<int>(top), *st.surface,
               static_cast<int>(left + shift_x), static_cast<int>(top + shift_y), static_cast<int>(right - left),
               static_cast<int>(bottom - top));
    if (dt.window != nullptr) note_window_drawn(*dt.window);
    return TRUE;
}

}  // extern "C"
