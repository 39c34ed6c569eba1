// Justified text output, text measurement and the font cache.
#include <cstring>

#include "graphics_internal.h"

namespace {

constexpr int kAligned = 2;  // align_state: both DCs carry the current alignment

struct FontFace {
    const char* face_name;
    int weight;
    DWORD pitch_and_family;
};

const FontFace font_faces[11] = {
    {"Console", FW_BOLD, FIXED_PITCH | FF_DONTCARE},
    {"Times New Roman", FW_NORMAL, VARIABLE_PITCH | FF_ROMAN},
    {"Small Fonts", FW_NORMAL, VARIABLE_PITCH | FF_MODERN},
    {"MS Sans Serif", FW_NORMAL, VARIABLE_PITCH | FF_DONTCARE},
    {"Arial", FW_NORMAL, VARIABLE_PITCH | FF_SWISS},
    {"Script", FW_NORMAL, VARIABLE_PITCH | FF_SCRIPT},
    {"Times New Roman", FW_NORMAL, VARIABLE_PITCH | FF_DONTCARE},
    {"Script", FW_NORMAL, VARIABLE_PITCH | FF_SCRIPT},
    {"Courier New", FW_NORMAL, VARIABLE_PITCH | FF_DONTCARE},
    {"Times New Roman", FW_NORMAL, VARIABLE_PITCH | FF_DONTCARE},
    {"Courier New Bold", FW_BOLD, VARIABLE_PITCH | FF_DONTCARE},
};

struct CharSize {
    int width;
    int height;
};

// Rows of character sizes shared by several fonts; size 0 (the user size)
// has no pair of its own.
#define PELMORIX_SIZES_SQUARE \
    {{0, 0}, {8, 8}, {16, 16}, {24, 24}, {32, 32}, {40, 40}, {48, 48}, {56, 56}, {64, 64}, {72, 72}, {80, 80}}
#define PELMORIX_SIZES_ROMAN \
    {{0, 0}, {13, 18}, {14, 20}, {16, 23}, {22, 31}, {29, 41}, {36, 51}, {44, 62}, {55, 77}, {66, 93}, {88, 124}}
#define PELMORIX_SIZES_SMALL \
    {{0, 0}, {3, 5}, {4, 6}, {4, 6}, {6, 9}, {8, 12}, {10, 15}, {12, 18}, {15, 22}, {18, 27}, {24, 36}}
#define PELMORIX_SIZES_SWISS \
    {{0, 0}, {13, 19}, {14, 21}, {16, 24}, {22, 32}, {29, 42}, {36, 53}, {44, 64}, {55, 80}, {66, 96}, {88, 128}}
#define PELMORIX_SIZES_PLAIN \
    {{0, 0}, {11, 19}, {12, 21}, {14, 24}, {19, 32}, {25, 42}, {31, 53}, {38, 64}, {47, 80}, {57, 96}, {76, 128}}
const CharSize char_size_table[11][11] = {
    PELMORIX_SIZES_SQUARE,  // 0
    PELMORIX_SIZES_ROMAN,   // 1
    PELMORIX_SIZES_SMALL,   // 2
    PELMORIX_SIZES_PLAIN,   // 3
    PELMORIX_SIZES_SWISS,   // 4
    PELMORIX_SIZES_PLAIN,   // 5
    PELMORIX_SIZES_PLAIN,   // 6
    PELMORIX_SIZES_ROMAN,   // 7
    PELMORIX_SIZES_PLAIN,   // 8
    PELMORIX_SIZES_PLAIN,   // 9
    PELMORIX_SIZES_PLAIN,   // 10
};
#undef PELMORIX_SIZES_SQUARE
#undef PELMORIX_SIZES_ROMAN
#undef PELMORIX_SIZES_SMALL
#undef PELMORIX_SIZES_SWISS
#undef PELMORIX_SIZES_PLAIN

// The size whose pair the user size scales, by font number.
const int user_size_base[11] = {1, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};

const UINT horizontal_align_flags[3] = {TA_LEFT, TA_CENTER, TA_RIGHT};
const UINT vertical_align_flags[3] = {TA_BOTTOM, TA_BASELINE, TA_TOP};

FontCacheEntry* as_entry(CacheLink* link) { return static_cast<FontCacheEntry*>(link); }

// One dimension of the user size: size * mult / div in 32-bit arithmetic
// (wrapping, quotient toward zero). A zero divisor leaves the size unscaled.
int scale_user_size(int size, std::int32_t mult, std::int32_t div) {
    if (div == 0) return size;
    const auto product = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(size) * mult));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(product) / div));
}

void select_font_into_both(HFONT font) {
    GraphicsContext& g = graphics_context();
    SelectObject(g.screen_dc, font);
    SelectObject(g.page_dc, font);
}

}  // namespace

void font_cache_init(FontCache& cache) { cache_list_init(cache); }

void font_cache_select(FontCache& cache, int font, int direction, int width, int height) {
    GraphicsContext& g = graphics_context();
    for (CacheLink* link = cache.next_link; link != &cache; link = link->next_link) {
        FontCacheEntry* entry = as_entry(link);
        if (entry->font_number != font || entry->direction != direction || entry->width != width ||
            entry->height != height) {
            continue;
        }
        cache_unlink(entry);
        cache_insert_front(cache, entry);
        if (entry->font != g.current_font) {
            g.current_font = entry->font;
            select_font_into_both(g.current_font);
        }
        return;
    }

    const FontFace& face = font_faces[font];
    // A negative height asks for the character height rather than the cell's.
    // Both are formed in wrapping 32-bit arithmetic, as the settings are
    // not checked.
    const int char_height = static_cast<int>(0u - static_cast<std::uint32_t>(height));
    const int escapement = static_cast<int>(static_cast<std::uint32_t>(direction) * 900u);
    HFONT made = CreateFontA(char_height, width, escapement, (direction & 1) * 900, face.weight, 0, 0, 0,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             face.pitch_and_family, face.face_name);
    g.current_font = made;
    select_font_into_both(made);

    // The evicted font goes only now that neither DC holds it.
    FontCacheEntry* entry = cache.free_entries;
    if (entry != nullptr) {
        cache.free_entries = as_entry(entry->next_link);
    } else {
        entry = as_entry(cache.prev_link);
        cache_unlink(entry);
        DeleteObject(entry->font);
    }
    entry->font = made;
    entry->font_number = font;
    entry->width = width;
    entry->height = height;
    entry->direction = direction;
    cache_insert_front(cache, entry);
}

void select_text_font() {
    GraphicsContext& g = graphics_context();
    int width;
    int height;
    if (g.char_size != 0) {
        const CharSize& size = char_size_table[g.text_font][g.char_size];
        width = size.width;
        height = size.height;
    } else {
        const CharSize& base = char_size_table[g.text_font][user_size_base[g.text_font]];
        const UserCharSize& user = g.user_char_size;
        width = scale_user_size(base.width, user.mult_x, user.div_x);
        height = scale_user_size(base.height, user.mult_y, user.div_y);
    }
    font_cache_select(g.font_cache, g.text_font, g.text_direction, width, height);
}

void draw_text(int x, int y, const char* text) {
    GraphicsContext& g = graphics_context();
    select_text_font();
    if (g.text_color_cache != g.current_color) {
        g.text_color_cache = g.current_color;
        SetTextColor(g.screen_dc, palette_color(g.current_color));
        SetTextColor(g.page_dc, palette_color(g.current_color));
    }
    const int length = static_cast<int>(std::strlen(text));
    if (output_to_page()) TextOutA(g.page_dc, x, y, text, length);
    if (output_to_screen()) TextOutA(g.screen_dc, x, y, text, length);
}

void set_text_justify(int horizontal, int vertical) {
    GraphicsContext& g = graphics_context();
    g.h_justify = horizontal;
    g.v_justify = vertical;
    g.align_state = 0;
}

void out_text_xy(int x, int y, const char* text) {
    GraphicsContext& g = graphics_context();
    if (g.align_state != kAligned) {
        g.align_state = kAligned;
        // Turned text runs along the other axis, so the tables swap roles.
        const UINT align = g.text_direction == 0
                               ? horizontal_align_flags[g.h_justify] | vertical_align_flags[g.v_justify]
                               : vertical_align_flags[g.h_justify] | horizontal_align_flags[g.v_justify];
        SetTextAlign(g.screen_dc, align | TA_NOUPDATECP);
        SetTextAlign(g.page_dc, align | TA_NOUPDATECP);
    }
    draw_text(x, y, text);
}

int text_height(const char* text) {
    GraphicsContext& g = graphics_context();
    select_text_font();
    SIZE extent{0, 0};  // stays 0 when the string cannot be measured
    GetTextExtentPoint32A(g.screen_dc, text, static_cast<int>(std::strlen(text)), &extent);
    return extent.cy;
}
