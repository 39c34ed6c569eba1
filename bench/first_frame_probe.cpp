// Start-to-first-frame probe. Runs the viewer's own entry point on the
// headless display, wrapped so that the moment the window's first drawn
// picture is handed to the display to be shown (the first present) is
// noted on the monotonic clock. Writes that time, in nanoseconds, to
// RESULT_FILE and ends the process there.
//
//   pelmorix-first-frame RESULT_FILE FILE.skv minimox minimoy maximox maximoy
//
// The benchmark driver notes the same clock just before it starts this
// process; the difference is the time from start to first frame, process
// creation and loading included.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform_internal.h"

int pelmorix_main(int argc, char* argv[]);

namespace {

using pelmorix_platform::Display;
using pelmorix_platform::DisplayEvent;
using pelmorix_platform::WindowObject;

const char* result_path = nullptr;

long long monotonic_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// The headless display, unchanged, with a note of the first present.
class FirstFrameDisplay final : public Display {
public:
    explicit FirstFrameDisplay(std::unique_ptr<Display> inner) : inner_(std::move(inner)) {}

    const char* name() const override { return inner_->name(); }
    void screen_size(int* width, int* height) override { inner_->screen_size(width, height); }
    bool open_window(HWND handle, WindowObject& window) override { return inner_->open_window(handle, window); }
    void close_window(WindowObject& window) override { inner_->close_window(window); }
    void show_window(WindowObject& window) override { inner_->show_window(window); }
    void retitle(WindowObject& window) override { inner_->retitle(window); }
    void service() override { inner_->service(); }
    void poll(std::vector<DisplayEvent>& out) override { inner_->poll(out); }
    void wait(std::vector<DisplayEvent>& out) override { inner_->wait(out); }

    void present(WindowObject& window) override {
        inner_->present(window);
        const long long now = monotonic_ns();
        std::FILE* f = std::fopen(result_path, "w");
        if (f == nullptr) std::_Exit(3);
        std::fprintf(f, "%lld\n", now);
        std::fclose(f);
        std::_Exit(0);  // the first frame is all this run was for
    }

private:
    std::unique_ptr<Display> inner_;
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fputs("usage: pelmorix-first-frame RESULT_FILE FILE.skv minimox minimoy maximox maximoy\n", stderr);
        return 2;
    }
    result_path = argv[1];
    pelmorix_platform::PlatformState& st = pelmorix_platform::state();
    st.display = std::make_unique<FirstFrameDisplay>(
        pelmorix_platform::make_headless_display(st.headless_fd, st.headless_width, st.headless_height));
    // The viewer sees its usual command line, with the result file taken out.
    argv[1] = argv[0];
    return pelmorix_main(argc - 1, argv + 1);
}
