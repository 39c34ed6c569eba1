// Device contexts: creation, selected objects and the state that drawing reads.
#include <algorithm>
#include <cassert>

#include "platform_internal.h"

namespace pelmorix_platform {

namespace {

// The 1 x 1 monochrome bitmap a new memory DC holds.
HBITMAP default_bitmap() {
    static HBITMAP bitmap = nullptr;
    if (find<BitmapObject>(bitmap, Kind::Bitmap) == nullptr) {
        auto b = std::make_unique<BitmapObject>();
        b->bits_per_pixel = 1;
        b->surface.width = 1;
        b->surface.height = 1;
        b->mono.assign(2, 0);
        b->stock = true;
        bitmap = static_cast<HBITMAP>(add_object(std::move(b)));
    }
    return bitmap;
}

void hold(HGDIOBJ object, int delta) {
    if (Object* o = find_object(object)) o->select_count += delta;
}

void init_dc(DcObject& dc) {
    dc.pen = static_cast<HPEN>(stock_object(BLACK_PEN));
    dc.brush = static_cast<HBRUSH>(stock_object(WHITE_BRUSH));
    dc.font = static_cast<HFONT>(stock_object(SYSTEM_FONT));
    dc.palette = static_cast<HPALETTE>(stock_object(DEFAULT_PALETTE));
    hold(dc.pen, 1);
    hold(dc.brush, 1);
    hold(dc.font, 1);
    hold(dc.palette, 1);
}

}  // namespace

HDC make_window_dc(HWND window) {
    auto dc = std::make_unique<DcObject>();
    dc->window = window;
    init_dc(*dc);
    return static_cast<HDC>(add_object(std::move(dc)));
}

void release_dc(HDC handle) {
    DcObject* dc = find_dc(handle);
    assert(dc != nullptr);
    hold(dc->pen, -1);
    hold(dc->brush, -1);
    hold(dc->font, -1);
    hold(dc->palette, -1);
    hold(dc->bitmap, -1);
    remove_object(handle);
}

void look_up_surface(const DcObject& dc) {
    Surface* surface = nullptr;
    WindowObject* window = nullptr;
    if (dc.window != nullptr) {
        window = find_window(dc.window);
        if (window != nullptr) surface = &window->surface;
    } else if (BitmapObject* bm = find<BitmapObject>(dc.bitmap, Kind::Bitmap)) {
        if (bm->bits_per_pixel == 32) surface = &bm->surface;
    }
    // A surface lives as long as its window or bitmap, and neither goes
    // without moving the epoch on; the DC's bitmap changes only by
    // SelectObject, which forgets this.
    dc.target_surface = surface;
    dc.target_window = window;
    dc.target_epoch = state().object_epoch;
}

bool draw_target(DcObject& dc, DrawTarget* target) {
    WindowObject* window = nullptr;
    Surface* surface = dc_surface(dc, &window);
    if (surface == nullptr) return false;
    target->surface = surface;
    target->window = window;
    target->clip = ClipRect{0, 0, surface->width, surface->height};
    if (dc.clipped) target->clip = intersect(target->clip, dc.clip);
    return true;
}

const FontObject& dc_font(const DcObject& dc) {
    const FontObject* f = find<FontObject>(dc.font, Kind::Font);
    if (f == nullptr) f = find<FontObject>(stock_object(SYSTEM_FONT), Kind::Font);
    assert(f != nullptr);
    return *f;
}

}  // namespace pelmorix_platform

using namespace pelmorix_platform;

extern "C" {

HDC WINAPI CreateCompatibleDC(HDC dc) {
    if (dc != nullptr && find_dc(dc) == nullptr) return fail(ERROR_INVALID_HANDLE, HDC{nullptr});
    auto mem = std::make_unique<DcObject>();
    init_dc(*mem);
    mem->bitmap = default_bitmap();
    hold(mem->bitmap, 1);
    HDC h = static_cast<HDC>(add_object(std::move(mem)));
    if (journaling()) journal_call("CreateCompatibleDC", h, {hv(dc)});
    return h;
}

BOOL WINAPI DeleteDC(HDC dc) {
    if (journaling()) journal_call("DeleteDC", dc, {});
    if (find_dc(dc) == nullptr) return fail(ERROR_INVALID_HANDLE, FALSE);
    release_dc(dc);
    return TRUE;
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height) {
    DcObject* d = find_dc(dc);
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, HBITMAP{nullptr});
    // A memory DC still holding its monochrome default bitmap makes
    // monochrome bitmaps, as on the real platform.
    const BitmapObject* held = find<BitmapObject>(d->bitmap, Kind::Bitmap);
    const UINT bpp = d->window == nullptr && (held == nullptr || held->bits_per_pixel == 1) ? 1 : 32;
    if (width <= 0 || height <= 0) return fail(ERROR_INVALID_PARAMETER, HBITMAP{nullptr});
    const bool was = journaling();
    state().journal_on = false;  // journaled as itself, not as CreateBitmap
    HBITMAP h = CreateBitmap(width, height, 1, bpp, nullptr);
    state().journal_on = was;
    if (journaling()) journal_call("CreateCompatibleBitmap", h, {hv(dc), width, height});
    return h;
}

int WINAPI GetDeviceCaps(HDC dc, int index) {
    if (find_dc(dc) == nullptr) return fail(ERROR_INVALID_HANDLE, 0);
    int width = 0;
    int height = 0;
    if (Display* d = display()) d->screen_size(&width, &height);
    switch (index) {
        case HORZRES:
            return width;
        case VERTRES:
            return height;
        case BITSPIXEL:
            return 32;
        case PLANES:
            return 1;
        case NUMCOLORS:
            return -1;
        default:
            return 0;  // RASTERCAPS without RC_PALETTE, SIZEPALETTE 0: a true-colour screen
    }
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    DcObject* d = find_dc(dc);
    Object* o = find_object(object);
    if (journaling()) journal_call("SelectObject", dc, {hv(object)});
    if (d == nullptr || o == nullptr) return fail(ERROR_INVALID_HANDLE, HGDIOBJ{nullptr});
    HGDIOBJ* slot = nullptr;
    switch (o->kind) {
        case Kind::Pen:
            slot = reinterpret_cast<HGDIOBJ*>(&d->pen);
            break;
        case Kind::Brush:
            slot = reinterpret_cast<HGDIOBJ*>(&d->brush);
            break;
        case Kind::Font:
            slot = reinterpret_cast<HGDIOBJ*>(&d->font);
            break;
        case Kind::Bitmap:
            // Only memory DCs hold bitmaps, and a bitmap lives in one DC at a time.
            if (d->window != nullptr) return fail(ERROR_INVALID_PARAMETER, HGDIOBJ{nullptr});
            if (object != d->bitmap && o->select_count > 0 && !o->stock) {
                return fail(ERROR_INVALID_PARAMETER, HGDIOBJ{nullptr});
            }
            slot = reinterpret_cast<HGDIOBJ*>(&d->bitmap);
            break;
        case Kind::Region: {
            // Selecting a region sets the clip, as SelectClipRgn does.
            const int result = SelectClipRgn(dc, static_cast<HRGN>(object));
            return reinterpret_cast<HGDIOBJ>(static_cast<std::intptr_t>(result));
        }
        default:
            return fail(ERROR_INVALID_PARAMETER, HGDIOBJ{nullptr});
    }
    HGDIOBJ old = *slot;
    hold(old, -1);
    hold(object, 1);
    *slot = object;
    d->target_epoch = 0;  // a new bitmap is a new surface
    forget_pixel_shortcuts();
    return old;
}

HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL force_background) {
    DcObject* d = find_dc(dc);
    if (journaling()) journal_call("SelectPalette", dc, {hv(palette), force_background});
    if (d == nullptr || find<PaletteObject>(palette, Kind::Palette) == nullptr) {
        return fail(ERROR_INVALID_HANDLE, HPALETTE{nullptr});
    }
    HPALETTE old = d->palette;
    hold(old, -1);
    hold(palette, 1);
    d->palette = palette;
    forget_pixel_shortcuts();  // the kept colour was resolved through the old one
    return old;
}

UINT WINAPI RealizePalette(HDC dc) {
    DcObject* d = find_dc(dc);
    if (journaling()) journal_call("RealizePalette", dc, {});
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, GDI_ERROR);
    // A true-colour screen maps every entry as it is: nothing to remap.
    return 0;
}

BOOL WINAPI UpdateColors(HDC dc) {
    if (journaling()) journal_call("UpdateColors", dc, {});
    return find_dc(dc) != nullptr ? TRUE : fail(ERROR_INVALID_HANDLE, FALSE);
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) {
    DcObject* d = find_dc(dc);
    if (journaling()) journal_call("SetTextColor", dc, {static_cast<long long>(color)});
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, CLR_INVALID);
    const COLORREF old = d->text_color;
    d->text_color = color;  // kept as given: palette indices resolve when drawing
    return old;
}

COLORREF WINAPI SetBkColor(HDC dc, COLORREF color) {
    DcObject* d = find_dc(dc);
    if (journaling()) journal_call("SetBkColor", dc, {static_cast<long long>(color)});
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, CLR_INVALID);
    const COLORREF old = d->bk_color;
    d->bk_color = color;
    return old;
}

int WINAPI SetBkMode(HDC dc, int mode) {
    DcObject* d = find_dc(dc);
    if (journaling()) journal_call("SetBkMode", dc, {mode});
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, 0);
    if (mode != OPAQUE && mode != TRANSPARENT) return fail(ERROR_INVALID_PARAMETER, 0);
    const int old = d->bk_mode;
    d->bk_mode = mode;
    return old;
}

int WINAPI SelectClipRgn(HDC dc, HRGN region) {
    DcObject* d = find_dc(dc);
    if (journaling()) journal_call("SelectClipRgn", dc, {hv(region)});
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, ERROR);
    forget_pixel_shortcuts();  // SetPixel's kept clip is the old one
    if (region == nullptr) {
        d->clipped = false;
        return SIMPLEREGION;
    }
    const RegionObject* r = find<RegionObject>(region, Kind::Region);
    if (r == nullptr) return fail(ERROR_INVALID_HANDLE, ERROR);
    // The DC keeps a copy, in device coordinates: the region may be deleted
    // afterwards and the clip does not follow the viewport origin.
    d->clipped = true;
    d->clip = r->rect;
    return r->rect.empty() ? NULLREGION : SIMPLEREGION;
}

BOOL WINAPI SetViewportOrgEx(HDC dc, int x, int y, LPPOINT old_origin) {
    DcObject* d = find_dc(dc);
    if (journaling()) journal_call("SetViewportOrgEx", dc, {x, y});
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (old_origin != nullptr) *old_origin = d->origin;
    d->origin = POINT{x, y};
    forget_pixel_shortcuts();  // SetPixel's kept clip is in the old logical coordinates
    return TRUE;
}

BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT old_position) {
    DcObject* d = find_dc(dc);
    if (journaling()) journal_call("MoveToEx", dc, {x, y});
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (old_position != nullptr) *old_position = d->position;
    d->position = POINT{x, y};
    return TRUE;
}

UINT WINAPI SetTextAlign(HDC dc, UINT align) {
    DcObject* d = find_dc(dc);
    if (journaling()) journal_call("SetTextAlign", dc, {align});
    if (d == nullptr) return fail(ERROR_INVALID_HANDLE, GDI_ERROR);
    const UINT old = d->text_align;
    d->text_align = align;
    return old;
}

}  // extern "C"
