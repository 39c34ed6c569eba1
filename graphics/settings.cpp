// PELMORIX_SIZE, the client size that the detect driver picks: `WxH`, or
// `screen` for the largest client area whose window fits the screen's work
// area. Unset, empty or not understood, the driver's own 640 x 480; a value
// not understood is said once, at start-up.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "graphics_internal.h"

namespace {

constexpr int kMinWidth = 320;
constexpr int kMaxWidth = 7680;
constexpr int kMinHeight = 200;
constexpr int kMaxHeight = 4320;

struct SizeSetting {
    enum class Kind { Unset, Size, Screen, NotUnderstood };
    Kind kind = Kind::Unset;
    int width = 0;
    int height = 0;
};

// Decimal digits only (no sign, no blank), at most `most`; moves `p` past them.
bool read_whole(const char*& p, int most, int* value) {
    if (*p < '0' || *p > '9') return false;
    int v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        v = v * 10 + (*p - '0');
        if (v > most) return false;
    }
    *value = v;
    return true;
}

const char* size_text() {
    const char* text = std::getenv("PELMORIX_SIZE");
    return text != nullptr && *text != '\0' ? text : nullptr;
}

SizeSetting read_size_setting() {
    SizeSetting s;
    const char* text = size_text();
    if (text == nullptr) return s;
    if (std::strcmp(text, "screen") == 0) {
        s.kind = SizeSetting::Kind::Screen;
        return s;
    }
    const char* p = text;
    int w = 0;
    int h = 0;
    const bool sized = read_whole(p, kMaxWidth, &w) && *p++ == 'x' && read_whole(p, kMaxHeight, &h) && *p == '\0';
    if (sized && w >= kMinWidth && h >= kMinHeight) {
        s.kind = SizeSetting::Kind::Size;
        s.width = w;
        s.height = h;
    } else {
        s.kind = SizeSetting::Kind::NotUnderstood;
    }
    return s;
}

int clamp(int v, int low, int high) { return v < low ? low : v > high ? high : v; }

// The work area less the frame and caption of the window drawn around the
// client area, kept within the sizes `WxH` may ask for. False with no screen.
bool screen_client_size(int* width, int* height) {
    RECT work{};
    if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0) == 0) return false;
    RECT frame{0, 0, 0, 0};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    *width = clamp((work.right - work.left) - (frame.right - frame.left), kMinWidth, kMaxWidth);
    *height = clamp((work.bottom - work.top) - (frame.bottom - frame.top), kMinHeight, kMaxHeight);
    return true;
}

bool no_screen_said = false;

// Before the program's own code runs, so that a mistyped value is heard of
// whatever the display and however far the run gets.
struct StartUpReport {
    StartUpReport() { report_size_setting(); }
};
const StartUpReport start_up_report;

}  // namespace

bool detected_client_size(int* width, int* height) {
    const SizeSetting s = read_size_setting();
    switch (s.kind) {
        case SizeSetting::Kind::Size:
            *width = s.width;
            *height = s.height;
            return true;
        case SizeSetting::Kind::Screen:
            if (screen_client_size(width, height)) return true;
            if (!no_screen_said) {
                no_screen_said = true;
                std::fputs("pelmorix: PELMORIX_SIZE=screen ignored: there is no screen\n", stderr);
            }
            return false;
        default:
            return false;
    }
}

void report_size_setting() {
    if (read_size_setting().kind != SizeSetting::Kind::NotUnderstood) return;
    std::fprintf(stderr,
                 "pelmorix: PELMORIX_SIZE=%s ignored: the size is WxH, W from %d to %d and H from %d to %d, or "
                 "screen\n",
                 size_text(), kMinWidth, kMaxWidth, kMinHeight, kMaxHeight);
}
