// The object table and the GDI objects: stock objects, brushes, bitmaps,
// palettes, regions, pens and fonts.
#include <algorithm>
#include <cassert>
#include <cstring>

#include "font_glyphs.h"
#include "platform_internal.h"

namespace pelmorix_platform {

PlatformState* state_pointer = nullptr;  // constant-initialised: set before any code runs

PlatformState& make_state() {
    // Never destroyed: the display's system libraries must stay loaded until
    // the process ends, or what they keep becomes unattributable leaks.
    static PlatformState* const made = new PlatformState;
    state_pointer = made;
    return *made;
}

namespace {

std::uintptr_t encode(std::uint32_t slot, std::uint32_t generation, Kind kind) {
    return (static_cast<std::uintptr_t>(generation & 0xFF) << 24) | (static_cast<std::uintptr_t>(slot + 1) << 4) |
           static_cast<std::uintptr_t>(kind);
}

}  // namespace

HANDLE add_object(std::unique_ptr<Object> object) {
    PlatformState& st = state();
    std::uint32_t slot;
    if (!st.free_slots.empty()) {
        slot = st.free_slots.back();
        st.free_slots.pop_back();
    } else {
        if (st.slots.size() >= kMaxSlots) return fail(ERROR_NOT_ENOUGH_MEMORY, HANDLE{nullptr});
        slot = static_cast<std::uint32_t>(st.slots.size());
        st.slots.emplace_back();
    }
    Slot& s = st.slots[slot];
    const Kind kind = object->kind;
    s.object = std::move(object);
    return reinterpret_cast<HANDLE>(encode(slot, s.generation, kind));
}

void remove_object(const void* handle) {
    const std::uintptr_t index = (reinterpret_cast<std::uintptr_t>(handle) >> 4) & kMaxSlots;
    assert(find_object(handle) != nullptr);
    PlatformState& st = state();
    Slot& s = st.slots[index - 1];
    s.object.reset();
    ++s.generation;
    objects_changed();  // whatever a DC kept may have pointed at it
    st.free_slots.push_back(static_cast<std::uint32_t>(index - 1));
}

namespace {

HGDIOBJ make_stock(int index) {
    switch (index) {
        case WHITE_BRUSH:
        case LTGRAY_BRUSH:
        case GRAY_BRUSH:
        case DKGRAY_BRUSH:
        case BLACK_BRUSH: {
            static const COLORREF colors[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                              RGB(64, 64, 64), RGB(0, 0, 0)};
            auto b = std::make_unique<BrushObject>();
            b->color = colors[index];
            b->stock = true;
            return add_object(std::move(b));
        }
        case NULL_BRUSH: {
            auto b = std::make_unique<BrushObject>();
            b->type = BrushObject::Type::Null;
            b->stock = true;
            return add_object(std::move(b));
        }
        case WHITE_PEN:
        case BLACK_PEN:
        case NULL_PEN: {
            auto p = std::make_unique<PenObject>();
            p->style = index == NULL_PEN ? PS_NULL : PS_SOLID;
            p->color = index == WHITE_PEN ? RGB(255, 255, 255) : RGB(0, 0, 0);
            p->stock = true;
            return add_object(std::move(p));
        }
        case OEM_FIXED_FONT:
        case ANSI_FIXED_FONT:
        case ANSI_VAR_FONT:
        case SYSTEM_FONT:
        case DEVICE_DEFAULT_FONT:
        case SYSTEM_FIXED_FONT: {
            auto f = std::make_unique<FontObject>();
            f->stock = true;
            return add_object(std::move(f));
        }
        case DEFAULT_PALETTE: {
            // The twenty static colours of a palette device.
            static const PALETTEENTRY entries[20] = {
                {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
                {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
                {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
                {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
                {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0}};
            auto p = std::make_unique<PaletteObject>();
            p->entries.assign(entries, entries + 20);
            p->stock = true;
            return add_object(std::move(p));
        }
        default:
            return nullptr;
    }
}

// The system palette that PC_EXPLICIT entries name: the static colours at
// 0..9 and 246..255, black elsewhere.
PALETTEENTRY hardware_entry(unsigned index) {
    const PaletteObject* def = find<PaletteObject>(stock_object(DEFAULT_PALETTE), Kind::Palette);
    assert(def != nullptr);
    if (index < 10) return def->entries[index];
    if (index >= 246 && index < 256) return def->entries[index - 236];
    return PALETTEENTRY{0, 0, 0, 0};
}

}  // namespace

HGDIOBJ stock_object(int index) {
    if (index < 0 || index > SYSTEM_FIXED_FONT) return nullptr;
    PlatformState& st = state();
    if (st.stock[index] == nullptr || find_object(st.stock[index]) == nullptr) st.stock[index] = make_stock(index);
    return st.stock[index];
}

std::uint32_t resolve_palette_color(const DcObject& dc, COLORREF color) {
    // A palette index resolves through the DC's palette now; an index beyond
    // the palette gives its entry 0.
    const PaletteObject* pal = find<PaletteObject>(dc.palette, Kind::Palette);
    if (pal == nullptr) pal = find<PaletteObject>(stock_object(DEFAULT_PALETTE), Kind::Palette);
    const unsigned index = color & 0xFFFF;
    PALETTEENTRY e = index < pal->entries.size() ? pal->entries[index] : pal->entries[0];
    if ((e.peFlags & PC_EXPLICIT) != 0) e = hardware_entry(e.peRed | (e.peGreen << 8));
    const std::uint32_t rgb =
        (static_cast<std::uint32_t>(e.peRed) << 16) | (static_cast<std::uint32_t>(e.peGreen) << 8) | e.peBlue;
    // Palettes do not change once made, and one that goes moves the epoch
    // on: the result holds for this DC until its palette or the epoch changes.
    dc.color_epoch = state().object_epoch;
    dc.color_palette = dc.palette;
    dc.color_key = color;
    dc.color_rgb = rgb;
    return rgb;
}

}  // namespace pelmorix_platform

using namespace pelmorix_platform;

extern "C" {

HGDIOBJ WINAPI GetStockObject(int object) {
    HGDIOBJ h = stock_object(object);
    if (journaling()) journal_call("GetStockObject", nullptr, {object, hv(h)});
    return h;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    auto b = std::make_unique<BrushObject>();
    b->color = color;
    HBRUSH h = static_cast<HBRUSH>(add_object(std::move(b)));
    if (journaling()) journal_call("CreateSolidBrush", h, {static_cast<long long>(color)});
    return h;
}

HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bits_per_pixel, const void* bits) {
    if (width < 0 || height < 0 || planes != 1 || (bits_per_pixel != 1 && bits_per_pixel != 32)) {
        return fail(ERROR_INVALID_PARAMETER, HBITMAP{nullptr});
    }
    if (static_cast<long long>(width) * height > (1LL << 28)) return fail(ERROR_NOT_ENOUGH_MEMORY, HBITMAP{nullptr});
    auto b = std::make_unique<BitmapObject>();
    b->bits_per_pixel = static_cast<int>(bits_per_pixel);
    if (bits_per_pixel == 1) {
        // Monochrome rows are padded to 16 bits.
        const std::size_t stride = static_cast<std::size_t>((width + 15) / 16) * 2;
        b->mono.assign(stride * height, 0);
        if (bits != nullptr) std::memcpy(b->mono.data(), bits, b->mono.size());
        b->surface.width = width;
        b->surface.height = height;
    } else {
        b->surface.resize(width, height);
        if (bits != nullptr) {
            const auto* p = static_cast<const std::uint32_t*>(bits);
            for (std::size_t i = 0; i < b->surface.pixels.size(); ++i) b->surface.pixels[i] = p[i] & 0x00FFFFFF;
        }
    }
    HBITMAP h = static_cast<HBITMAP>(add_object(std::move(b)));
    if (journaling()) journal_call("CreateBitmap", h, {width, height, planes, bits_per_pixel});
    return h;
}

HBRUSH WINAPI CreatePatternBrush(HBITMAP bitmap) {
    const BitmapObject* bm = find<BitmapObject>(bitmap, Kind::Bitmap);
    if (bm == nullptr) return fail(ERROR_INVALID_HANDLE, HBRUSH{nullptr});
    auto b = std::make_unique<BrushObject>();
    b->type = BrushObject::Type::Pattern;
    // The brush keeps its own copy of the top-left 8 x 8 pixels.
    for (int y = 0; y < 8; ++y) {
        std::uint8_t row = 0;
        for (int x = 0; x < 8; ++x) {
            const int sx = bm->surface.width > 0 ? x % bm->surface.width : 0;
            const int sy = bm->surface.height > 0 ? y % bm->surface.height : 0;
            bool one = false;
            if (bm->surface.width > 0 && bm->surface.height > 0) {
                if (bm->bits_per_pixel == 1) {
                    const std::size_t stride = static_cast<std::size_t>((bm->surface.width + 15) / 16) * 2;
                    one = (bm->mono[sy * stride + sx / 8] & (0x80 >> (sx % 8))) != 0;
                } else {
                    one = bm->surface.row(sy)[sx] != 0;  // colour bitmaps: non-black counts as a 1 bit
                }
            }
            if (one) row = static_cast<std::uint8_t>(row | (0x80 >> x));
        }
        b->pattern.rows[y] = row;
    }
    HBRUSH h = static_cast<HBRUSH>(add_object(std::move(b)));
    if (journaling()) journal_call("CreatePatternBrush", h, {hv(bitmap)});
    return h;
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* palette) {
    if (palette == nullptr || palette->palVersion != 0x300 || palette->palNumEntries == 0) {
        return fail(ERROR_INVALID_PARAMETER, HPALETTE{nullptr});
    }
    auto p = std::make_unique<PaletteObject>();
    p->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
    HPALETTE h = static_cast<HPALETTE>(add_object(std::move(p)));
    if (journaling()) journal_call("CreatePalette", h, {palette->palNumEntries});
    return h;
}

HRGN WINAPI CreateRectRgn(int left, int top, int right, int bottom) {
    auto r = std::make_unique<RegionObject>();
    r->rect = ClipRect{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
    if (r->rect.empty()) r->rect = ClipRect{};
    HRGN h = static_cast<HRGN>(add_object(std::move(r)));
    if (journaling()) journal_call("CreateRectRgn", h, {left, top, right, bottom});
    return h;
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
    if (style < PS_SOLID || style > PS_INSIDEFRAME) return fail(ERROR_INVALID_PARAMETER, HPEN{nullptr});
    auto p = std::make_unique<PenObject>();
    p->style = style == PS_INSIDEFRAME ? PS_SOLID : style;
    p->width = std::max(width, 1);
    // Styled pens wider than one pixel draw solid.
    if (p->width > 1 && p->style != PS_NULL) p->style = PS_SOLID;
    p->color = color;
    HPEN h = static_cast<HPEN>(add_object(std::move(p)));
    if (journaling()) journal_call("CreatePen", h, {style, width, static_cast<long long>(color)});
    return h;
}

HPEN WINAPI ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD style_count,
                         const DWORD* style_lengths) {
    auto fail_call = [&](DWORD error) {
        if (journaling()) journal_call("ExtCreatePen", nullptr, {style, width, style_count, 0});
        return fail(error, HPEN{nullptr});
    };
    const DWORD pen_style = style & PS_STYLE_MASK;
    if (brush == nullptr || brush->lbStyle != BS_SOLID) return fail_call(ERROR_INVALID_PARAMETER);
    auto p = std::make_unique<PenObject>();
    p->geometric = (style & PS_TYPE_MASK) == PS_GEOMETRIC;
    if (pen_style == PS_USERSTYLE) {
        if (style_count == 0 || style_count > 16 || style_lengths == nullptr) return fail_call(ERROR_INVALID_PARAMETER);
        bool any = false;
        for (DWORD i = 0; i < style_count; ++i) {
            if (static_cast<int>(style_lengths[i]) < 0) return fail_call(ERROR_INVALID_PARAMETER);
            any = any || style_lengths[i] != 0;
        }
        if (!any) return fail_call(ERROR_INVALID_PARAMETER);
        p->dashes.assign(style_lengths, style_lengths + style_count);
    } else if (style_count != 0 || pen_style > PS_INSIDEFRAME) {
        return fail_call(ERROR_INVALID_PARAMETER);
    }
    // A cosmetic pen is one pixel wide and has no ends or joins to choose.
    if (!p->geometric && (width != 1 || (style & (PS_ENDCAP_MASK | PS_JOIN_MASK)) != 0)) {
        return fail_call(ERROR_INVALID_PARAMETER);
    }
    p->style = static_cast<int>(pen_style);
    p->width = p->geometric ? std::max<int>(static_cast<int>(width), 1) : 1;
    // Values other than the three of each draw round, as the real GDI's do.
    p->end_cap = style & PS_ENDCAP_MASK;
    p->join = style & PS_JOIN_MASK;
    p->color = brush->lbColor;
    HPEN h = static_cast<HPEN>(add_object(std::move(p)));
    if (journaling()) journal_call("ExtCreatePen", h, {style, width, style_count, static_cast<long long>(brush->lbColor)});
    return h;
}

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strike_out, DWORD char_set, DWORD output_precision,
                         DWORD clip_precision, DWORD quality, DWORD pitch_and_family, LPCSTR face_name) {
    (void)orientation, (void)italic, (void)underline, (void)strike_out, (void)char_set, (void)output_precision;
    (void)clip_precision, (void)quality;
    auto f = std::make_unique<FontObject>();
    // Every face is the one built-in bitmap face, scaled: a negative height
    // asks for the character height (8 rows of the 9-row cell), a positive
    // one for the cell height, 0 for the natural size.
    const long long h = height;
    long long cell_h = kGlyphHeight;
    if (h < 0) cell_h = (-h * kGlyphHeight + 7) / 8;
    if (h > 0) cell_h = h;
    cell_h = std::clamp<long long>(cell_h, 1, 4096);
    long long cell_w = width > 0 ? width : std::max<long long>(1, cell_h * kGlyphWidth / kGlyphHeight);
    if (width == 0 && height == 0) cell_w = kGlyphWidth;
    cell_w = std::clamp<long long>(cell_w, 1, 4096);
    f->cell_height = static_cast<int>(cell_h);
    f->cell_width = static_cast<int>(cell_w);
    f->ascent = static_cast<int>((cell_h * kGlyphAscent + kGlyphHeight / 2) / kGlyphHeight);
    // Escapement in tenths of a degree, turned to the nearest quarter turn.
    long long quarter = (static_cast<long long>(escapement) % 3600 + 3600) % 3600;
    f->quarter_turns = static_cast<int>(((quarter + 450) / 900) % 4);
    HFONT hf = static_cast<HFONT>(add_object(std::move(f)));
    if (journaling()) {
        journal_call("CreateFontA", hf, {height, width, escapement, orientation, weight, pitch_and_family},
                     face_name != nullptr ? face_name : "");
    }
    return hf;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    Object* o = find_object(object);
    if (journaling()) journal_call("DeleteObject", object, {});
    if (o == nullptr || o->kind == Kind::Dc || o->kind == Kind::Window) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (o->stock) return TRUE;
    // An object still selected into a DC stays, as the platform refuses to
    // delete it.
    if (o->select_count > 0) return FALSE;
    remove_object(object);
    return TRUE;
}

}  // extern "C"
