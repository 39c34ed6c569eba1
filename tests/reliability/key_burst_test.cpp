// A burst of typed keys reaching the graphics layer at once, as when keys
// are typed while the program plots and the display hands them all over at
// the final prompt: every key must come out of get_key, in the order typed.
// The first one decides how the run ends, so losing it is no small matter.
#include <platform_testing.h>

#include <string>
#include <vector>

#include "../graphics/support.h"

namespace {

using test_support::GraphicsTest;

class KeyBurst : public GraphicsTest {};

TEST_F(KeyBurst, EveryKeyOfABurstComesOutInOrder) {
    struct Case {
        const char* what;
        int count;
    } cases[] = {
        {"one key", 1},
        {"as many as the key ring holds", 255},
        {"one more than the ring holds", 256},
        // Key presses waiting for their characters ran past 256 entries.
        {"300 keys", 300},
        {"a thousand keys", 1000},
    };
    for (const Case& c : cases) {
        const HWND window = graphics_context().window_handle;
        std::vector<int> typed;
        for (int i = 0; i < c.count; ++i) {
            // Esc first, then bytes that run through the whole range.
            typed.push_back(i == 0 ? 27 : (i * 37) % 256);
            platform_testing::type_char(window, static_cast<unsigned char>(typed.back()));
        }
        std::vector<int> got;
        for (int i = 0; i < c.count; ++i) got.push_back(get_key());
        EXPECT_EQ(got, typed) << c.what;
    }
}

}  // namespace
