// Text: the built-in bitmap face, scaled and turned as the DC's font asks,
// drawn opaque or transparent at the DC's alignment.
#include <algorithm>

#include "font_glyphs.h"
#include "platform_internal.h"

namespace pelmorix_platform {

namespace {

// Device pixel of text-space pixel (u, v): u along the baseline, v across
// it (downwards for unturned text), for a string anchored at (x, y).
void to_device(int quarter_turns, long long x, long long y, long long u, long long v, long long* dx, long long* dy) {
    switch (quarter_turns) {
        case 0:
            *dx = x + u, *dy = y + v;
            break;
        case 1:  // a quarter turn counter-clockwise: the text runs upwards
            *dx = x + v, *dy = y - 1 - u;
            break;
        case 2:
            *dx = x - 1 - u, *dy = y - 1 - v;
            break;
        default:
            *dx = x - 1 - v, *dy = y + u;
            break;
    }
}

}  // namespace

}  // namespace pelmorix_platform

using namespace pelmorix_platform;

extern "C" {

BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
    if (journaling()) journal_call("TextOutA", dc, {x, y, length}, text, length);
    DcObject* d = find_dc(dc);
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (length < 0 || (text == nullptr && length > 0)) return fail(ERROR_INVALID_PARAMETER, FALSE);
    const FontObject& font = dc_font(*d);
    const long long width = static_cast<long long>(length) * font.cell_width;

    long long ref_x = x;
    long long ref_y = y;
    const bool update_cp = (d->text_align & TA_UPDATECP) != 0;
    if (update_cp) {
        ref_x = d->position.x;
        ref_y = d->position.y;
    }
    // Where the reference point sits on the string's cell box.
    long long u0 = 0;
    switch (d->text_align & (TA_LEFT | TA_RIGHT | TA_CENTER)) {
        case TA_RIGHT:
            u0 = -width;
            break;
        case TA_CENTER:
            u0 = -(width / 2);
            break;
        default:
            break;
    }
    long long v0 = 0;
    switch (d->text_align & (TA_TOP | TA_BOTTOM | TA_BASELINE)) {
        case TA_BASELINE:
            v0 = -font.ascent;
            break;
        case TA_BOTTOM:
            v0 = -font.cell_height;
            break;
        default:
            break;
    }
    if (update_cp && (d->text_align & TA_CENTER) != TA_CENTER) {
        d->position.x = static_cast<LONG>((d->text_align & TA_RIGHT) != 0 ? ref_x - width : ref_x + width);
    }

    DrawTarget t;
    if (!draw_target(*d, &t) || length == 0) return TRUE;
    const long long ox = ref_x + d->origin.x;
    const long long oy = ref_y + d->origin.y;
    const std::uint32_t fg = resolve_color(*d, d->text_color);
    const std::uint32_t bg = resolve_color(*d, d->bk_color);
    const bool opaque = d->bk_mode == OPAQUE;
    const ClipRect& clip = t.clip;

    // The box the string covers, in device pixels, clipped: only pixels in it
    // are visited.
    long long ax, ay, bx, by;
    to_device(font.quarter_turns, ox, oy, u0, v0, &ax, &ay);
    to_device(font.quarter_turns, ox, oy, u0 + width - 1, v0 + font.cell_height - 1, &bx, &by);
    const long long left = std::max<long long>(std::min(ax, bx), clip.left);
    const long long right = std::min<long long>(std::max(ax, bx) + 1, clip.right);
    const long long top = std::max<long long>(std::min(ay, by), clip.top);
    const long long bottom = std::min<long long>(std::max(ay, by) + 1, clip.bottom);
    if (left >= right || top >= bottom) return TRUE;

    for (long long py = top; py < bottom; ++py) {
        std::uint32_t* row = t.surface->row(static_cast<int>(py));
        for (long long px = left; px < right; ++px) {
            // Back from device to text space.
            long long u, v;
            switch (font.quarter_turns) {
                case 0:
                    u = px - ox, v = py - oy;
                    break;
                case 1:
                    u = oy - 1 - py, v = px - ox;
                    break;
                case 2:
                    u = ox - 1 - px, v = oy - 1 - py;
                    break;
                default:
                    u = py - oy, v = ox - 1 - px;
                    break;
            }
            u -= u0;
            v -= v0;
            const long long index = u / font.cell_width;
            const int cu = static_cast<int>(u % font.cell_width);
            const int gx = cu * kGlyphWidth / font.cell_width;
            const int gy = static_cast<int>(v * kGlyphHeight / font.cell_height);
            const std::uint8_t bits = glyph_rows(static_cast<unsigned char>(text[index]))[gy];
            if ((bits & (0x80u >> gx)) != 0) {
                row[px] = fg;
            } else if (opaque) {
                row[px] = bg;
            }
        }
    }
    if (t.window != nullptr) note_window_drawn(*t.window);
    return TRUE;
}

BOOL WINAPI GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, LPSIZE size) {
    if (journaling()) journal_call("GetTextExtentPoint32A", dc, {length}, text, length);
    DcObject* d = find_dc(dc);
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (size == nullptr || length < 0 || (text == nullptr && length > 0)) return fail(ERROR_INVALID_PARAMETER, FALSE);
    const FontObject& font = dc_font(*d);
    size->cx = static_cast<LONG>(std::min<long long>(static_cast<long long>(length) * font.cell_width, 0x7FFFFFFF));
    size->cy = font.cell_height;
    return TRUE;
}

}  // extern "C"
