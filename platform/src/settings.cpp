// The layer's environment variables: how each value is read, and the one
// line on standard error, at start-up, for a value that is not understood.
// A value not understood then counts as unset, wherever it is read.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform_internal.h"

namespace pelmorix_platform {

namespace {

const char* setting(const char* name) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? text : nullptr;
}

bool scale_understood(const char* text) {
    return text[0] >= '1' && text[0] <= '0' + kMaxDisplayScale && text[1] == '\0';
}

bool display_understood(const char* text) {
    return std::strcmp(text, "window") == 0 || std::strcmp(text, "headless") == 0;
}

// Said before the program's own code runs, so that whatever the display and
// however far the run gets, a mistyped value is heard of once.
struct StartUpReport {
    StartUpReport() { report_settings(); }
};
const StartUpReport start_up_report;

}  // namespace

DisplayChoice display_choice() {
    const char* text = setting("PELMORIX_DISPLAY");
    if (text == nullptr || !display_understood(text)) return DisplayChoice::Either;
    return std::strcmp(text, "window") == 0 ? DisplayChoice::Window : DisplayChoice::Headless;
}

int scale_choice() {
    const char* text = setting("PELMORIX_SCALE");
    return text != nullptr && scale_understood(text) ? text[0] - '0' : 0;
}

void report_settings() {
    if (const char* text = setting("PELMORIX_DISPLAY"); text != nullptr && !display_understood(text)) {
        std::fprintf(stderr, "pelmorix: PELMORIX_DISPLAY=%s ignored: the display is window or headless\n", text);
    }
    if (const char* text = setting("PELMORIX_SCALE"); text != nullptr && !scale_understood(text)) {
        std::fprintf(stderr, "pelmorix: PELMORIX_SCALE=%s ignored: the scale is a whole number from 1 to %d\n", text,
                     kMaxDisplayScale);
    }
}

}  // namespace pelmorix_platform
