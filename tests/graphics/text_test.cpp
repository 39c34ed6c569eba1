// Text: when alignment and colour are sent, the font cache, the user size,
// and where text lands.
#include <climits>

#include "support.h"

namespace {

using namespace test_support;

void use_font(int font, int size, int direction) {
    GraphicsContext& g = graphics_context();
    g.text_font = font;
    g.char_size = size;
    g.text_direction = direction;
}

TEST_F(GraphicsTest, AlignmentIsSentBeforeTheFirstTextAndAfterEveryJustify) {
    out_text_xy(10, 10, "a");
    out_text_xy(10, 20, "b");
    set_text_justify(1, 2);
    out_text_xy(10, 30, "c");
    set_text_justify(1, 2);  // the same values again still count
    out_text_xy(10, 40, "d");
    EXPECT_EQ(journal_lines({"SetTextAlign"}), (Lines{"SetTextAlign screen 0", "SetTextAlign page 0",
                                                      "SetTextAlign screen 6", "SetTextAlign page 6",
                                                      "SetTextAlign screen 6", "SetTextAlign page 6"}));
}

TEST_F(GraphicsTest, JustificationAndDirectionGiveTheAlignmentFlags) {
    const struct { int h, v, direction; unsigned align; const char* why; } rows[] = {
        {0, 2, 0, TA_LEFT | TA_TOP, "the defaults"},
        {2, 0, 0, TA_RIGHT | TA_BOTTOM, "right, bottom"},
        {1, 1, 0, TA_CENTER | TA_BASELINE, "vertical centre is the baseline"},
        {0, 2, 1, TA_BOTTOM | TA_RIGHT, "turned text: the tables swap roles"},
        {2, 1, 3, TA_TOP | TA_CENTER, "any nonzero direction swaps"},
    };
    for (const auto& r : rows) {
        set_text_justify(r.h, r.v);
        graphics_context().text_direction = r.direction;
        platform_testing::journal_clear();
        out_text_xy(200, 200, "x");
        const std::string value = std::to_string(r.align);
        EXPECT_EQ(journal_lines({"SetTextAlign"}), (Lines{"SetTextAlign screen " + value, "SetTextAlign page " + value}))
            << r.why;
    }
}

TEST_F(GraphicsTest, TextSetsTheTextColourOnlyWhenTheCacheDiffers) {
    out_text_xy(0, 0, "a");  // the defaults leave colour 15 in the cache
    set_fill_style(1, 3);
    fill_bar(0, 0, 2, 2);
    platform_testing::journal_clear();
    out_text_xy(0, 0, "b");
    out_text_xy(0, 10, "c");
    set_color(5);
    out_text_xy(0, 20, "d");
    EXPECT_EQ(journal_lines({"SetTextColor"}), (Lines{"SetTextColor screen " + pal(15), "SetTextColor page " + pal(15),
                                                      "SetTextColor screen " + pal(5), "SetTextColor page " + pal(5)}));
}

TEST_F(GraphicsTest, AnEmptyStringGoesThroughAlignmentFontAndColourInThatOrder) {
    use_font(0, 2, 0);
    text_height("H");  // another font is current
    use_font(0, 1, 0);
    set_text_justify(2, 0);
    set_fill_style(1, 3);
    fill_bar(0, 0, 2, 2);  // another text colour is current
    platform_testing::journal_clear();
    out_text_xy(5, 6, "");
    EXPECT_EQ(journal_lines({"SetTextAlign", "SelectObject", "SetTextColor", "TextOutA"}),
              (Lines{"SetTextAlign screen 10", "SetTextAlign page 10", "SelectObject screen font",
                     "SelectObject page font", "SetTextColor screen " + pal(15), "SetTextColor page " + pal(15),
                     "TextOutA page 5 6 0", "TextOutA screen 5 6 0"}));
}

TEST_F(GraphicsTest, TheHeightOfHIs9AndUnchangedSettingsMakeAndSelectNoFont) {
    EXPECT_EQ(text_height("H"), 9);
    platform_testing::journal_clear();
    EXPECT_EQ(text_height("H"), 9);
    out_text_xy(3, 3, "abc");
    EXPECT_EQ(journal_lines(), (Lines{"GetTextExtentPoint32A screen 1 \"H\"", "SetTextAlign screen 0",
                                      "SetTextAlign page 0", "TextOutA page 3 3 3 \"abc\"",
                                      "TextOutA screen 3 3 3 \"abc\""}));
}

TEST_F(GraphicsTest, TheNinthFontKeyEvictsTheLeastRecentlyUsedAfterSelectingTheNew) {
    const GraphicsContext& g = graphics_context();
    auto measure_with = [&g](int font, int size) {
        use_font(font, size, 0);
        platform_testing::journal_clear();
        text_height("H");
        name(g.current_font, std::to_string(font) + "/" + std::to_string(size));
    };
    for (int size = 1; size <= 8; ++size) measure_with(1, size);  // eight keys of font 1
    measure_with(1, 1);  // found again: to the front, so 1/2 is the oldest now
    EXPECT_EQ(count_calls("CreateFontA"), 0);
    measure_with(0, 1);
    EXPECT_EQ(journal_lines({"CreateFontA", "SelectObject", "DeleteObject"}),
              (Lines{"CreateFontA 0/1 -8 8 0 0 700 1 \"Console\"", "SelectObject screen 0/1",
                     "SelectObject page 0/1", "DeleteObject 1/2"}));
    measure_with(1, 9);
    EXPECT_EQ(journal_lines({"CreateFontA", "DeleteObject"}),
              (Lines{"CreateFontA 1/9 -93 66 0 0 400 18 \"Times New Roman\"", "DeleteObject 1/3"}));
    use_font(7, 2, 3);  // font 7 has font 1's sizes; three quarter turns
    text_height("H");
    EXPECT_EQ(journal_lines({"CreateFontA"}).back(), "CreateFontA font -20 14 2700 900 400 66 \"Script\"");
}

TEST_F(GraphicsTest, AFontKeyDifferingInOneFieldMakesANewFont) {
    // Widths 201 to 205 belong to this test.
    const struct { const char* field; int font[2], direction[2], width[2], height[2]; } rows[] = {
        {"font number", {1, 7}, {0, 0}, {201, 201}, {30, 30}},
        {"direction", {3, 3}, {0, 1}, {202, 202}, {30, 30}},
        {"width", {3, 3}, {0, 0}, {203, 204}, {30, 30}},
        {"height", {3, 3}, {0, 0}, {205, 205}, {30, 31}},
    };
    GraphicsContext& g = graphics_context();
    for (const auto& r : rows) {
        for (int i = 0; i < 2; ++i) {
            platform_testing::journal_clear();
            font_cache_select(g.font_cache, r.font[i], r.direction[i], r.width[i], r.height[i]);
        }
        EXPECT_EQ(count_calls("CreateFontA"), 1) << r.field;
    }
}

TEST_F(GraphicsTest, TheUserSizeScalesTheBasePairWithoutDividingByZero) {
    const struct { int font; UserCharSize scale; int width, height; const char* why; } rows[] = {
        {0, {0, 0, 0, 0}, 8, 8, "zero divisors leave font 0's base size"},
        {1, {0, 0, 0, 0}, 22, 31, "other fonts scale size 4"},
        {0, {3, 2, 5, 4}, 12, 10, "product first, then the quotient"},
        {0, {1, 3, -1, 3}, 2, -2, "quotients truncate toward zero"},
        {4, {0, 5, 2, 0}, 0, 32, "one divisor zero, the other not"},
        {0, {0x7FFFFFFF, 1, 0x10000000, -1}, -8, INT_MIN, "32-bit products wrap, INT_MIN / -1 too"},
    };
    GraphicsContext& g = graphics_context();
    for (const auto& r : rows) {
        use_font(r.font, 0, 0);
        g.user_char_size = r.scale;
        text_height("H");
        const auto& entry = *static_cast<const FontCacheEntry*>(g.font_cache.next_link);
        EXPECT_EQ(entry.font_number, r.font) << r.why;
        EXPECT_EQ(entry.width, r.width) << r.why;
        EXPECT_EQ(entry.height, r.height) << r.why;
        EXPECT_EQ(entry.font, g.current_font) << r.why;
    }
    g.user_char_size = UserCharSize{};
}

}  // namespace
