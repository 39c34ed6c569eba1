#include "support.h"

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <set>

namespace test_support {

const unsigned kRgb[16] = {0x000000, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xA52A2A, 0xD3D3D3,
                           0x2F4F4F, 0xADD8E6, 0x20B2AA, 0xE0FFFF, 0xF08080, 0xDB7093, 0xFFFF00, 0xFFFFFF};

std::string pal(int color) { return std::to_string(0x01000010 + color); }

void start(int driver, int mode) {
    platform_testing::journal_clear();
    platform_testing::journal_enable(true);
    init_graphics(&driver, &mode, "");
}

void open_graphics() {
    start();
    ASSERT_EQ(graph_result(), 0u) << graph_error_message(graph_result());
    KeyRing& ring = graphics_context().key_ring;
    ring.read_index = ring.write_index;
    platform_testing::journal_clear();
}

void GraphicsTest::SetUp() {
    forget_names();
    ASSERT_NO_FATAL_FAILURE(open_graphics());
}

namespace {
std::map<long long, std::string> names;

unsigned pixel_of(HDC dc, int x, int y) {
    unsigned rgb = 0;
    return platform_testing::read_pixel(dc, x, y, &rgb) ? rgb : 0xFFFFFFFFu;
}

std::string name_of(long long value) {
    auto it = names.find(value);
    return value == 0 ? "null" : it != names.end() ? it->second : "#" + std::to_string(value);
}

bool is_handle_argument(const std::string& function, std::size_t index) {
    static const std::set<std::string> first = {"SelectObject", "SelectPalette",      "SelectClipRgn",
                                                "BeginPaint",   "CreateCompatibleDC", "CreatePatternBrush",
                                                "EndPaint",     "CreateCompatibleBitmap"};
    return (index == 0 && first.count(function) != 0) ||
           (index == 4 && (function == "FillRect" || function == "BitBlt")) || (index == 1 && function == "GetStockObject");
}
}  // namespace

unsigned page_pixel(int x, int y) { return pixel_of(graphics_context().page_dc, x, y); }
unsigned window_pixel(int x, int y) { return pixel_of(graphics_context().screen_dc, x, y); }

void name(const void* handle, const std::string& text) {
    if (handle != nullptr) names[platform_testing::handle_value(handle)] = text;
}

void forget_names() { names.clear(); }

Lines journal_lines(const std::vector<std::string>& functions) {
    const GraphicsContext& g = graphics_context();
    const std::pair<const void*, std::string> fields[] = {
        {g.screen_dc, "screen"},         {g.page_dc, "page"},        {g.aux_dc[0], "aux0"},
        {g.aux_dc[1], "aux1"},           {g.window_handle, "window"}, {g.palette_handle, "palette"},
        {g.clip_region, "clip"},         {g.current_pen, "pen"},     {g.current_font, "font"},
        {g.page_bitmaps[0], "page0"}};
    for (const auto& f : fields) {
        if (f.first != nullptr) names.emplace(platform_testing::handle_value(f.first), f.second);
    }
    for (int i = 0; i < kBrushCount; ++i) {
        if (g.fill_brushes[i] != nullptr) {
            names.emplace(platform_testing::handle_value(g.fill_brushes[i]), "brush" + std::to_string(i));
        }
    }
    const std::set<std::string> wanted(functions.begin(), functions.end());
    Lines out;
    for (const platform_testing::Call& c : platform_testing::journal()) {
        if (!wanted.empty() && wanted.count(c.function) == 0) continue;
        std::string line = c.function + " " + name_of(platform_testing::handle_value(c.target));
        for (std::size_t i = 0; i < c.args.size(); ++i) {
            line += " " + (is_handle_argument(c.function, i) ? name_of(c.args[i]) : std::to_string(c.args[i]));
        }
        out.push_back(c.text.empty() ? line : line + " \"" + c.text + "\"");
    }
    return out;
}

int headless_input = -1;

int count_calls(const std::string& function) { return static_cast<int>(platform_testing::journal_of(function).size()); }

}  // namespace test_support

// The headless display reads its input from a pipe already at its end: a
// test that wrongly waits for input sees the window closed instead of hanging.
int main(int argc, char** argv) {
    setenv("PELMORIX_DISPLAY", "headless", 1);
    int fds[2];
    if (pipe(fds) != 0) return 2;
    close(fds[1]);
    platform_testing::set_headless_input(fds[0]);
    test_support::headless_input = fds[0];
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
