// The display used when there is no window system: windows exist only as
// surfaces, and typed characters are read byte by byte from a descriptor
// (standard input, a pipe, a file). There is no pointer.
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <iterator>
#include <vector>

#include "platform_internal.h"

namespace pelmorix_platform {

namespace {

// Whether the process started with a standard input. If it did not, the
// first file it opens takes descriptor 0 (the cell log, say), and reading
// "typed characters" from it would read that file: such a process has no
// keyboard, and its input has ended before it began. Taken before any code of
// the program runs.
const bool standard_input_at_start = fcntl(STDIN_FILENO, F_GETFD) != -1;

// The key that would have typed `ch` on a keyboard.
UINT virtual_key_of_byte(unsigned char ch) {
    switch (ch) {
        case 27: return VK_ESCAPE;
        case 13:
        case 10: return VK_RETURN;
        case 8:
        case 127: return VK_BACK;  // terminals send DEL for the backspace key
        case 9: return VK_TAB;
        case ' ': return VK_SPACE;
        default: break;
    }
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 'A';
    if ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) return ch;
    if (ch >= 1 && ch <= 26) return 'A' + ch - 1;  // Ctrl+letter
    return 0;
}

// What a signal that ends the process must give back: the terminal's
// settings from before raw mode. Read by the handler, so kept where it can
// reach them; set only while a RawTerminal is active.
struct TerminalToRestore {
    int fd = -1;            // the terminal in raw mode
    termios settings{};     // its settings before
};
TerminalToRestore terminal_to_restore;

// The signals that end a process by default and that a user or the system
// sends to one waiting at a terminal.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Gives the terminal back, then ends the process as the signal would have
// (the handler was reset to the default action on entry, and the signal
// raised again is taken as soon as the handler returns).
void restore_terminal_and_end(int signal_number) {
    const int saved_errno = errno;
    tcsetattr(terminal_to_restore.fd, TCSANOW, &terminal_to_restore.settings);
    raise(signal_number);
    errno = saved_errno;
}

// Puts a terminal in character-at-a-time mode without echo while alive and
// restores its previous settings afterwards, on a signal that ends the
// process too. Does nothing for non-terminals.
class RawTerminal {
public:
    explicit RawTerminal(int fd) : fd_(fd) {
        if (isatty(fd) == 0 || tcgetattr(fd, &saved_) != 0) return;
        terminal_to_restore.fd = fd;
        terminal_to_restore.settings = saved_;
        struct sigaction action {};
        action.sa_handler = restore_terminal_and_end;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            // A signal the process ignores (a run under nohup, say) stays ignored.
            sigaction(kEndingSignals[i], nullptr, &previous_[i]);
            if (previous_[i].sa_handler != SIG_IGN) sigaction(kEndingSignals[i], &action, nullptr);
        }
        termios raw = saved_;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);  // keep ISIG: Ctrl+C still interrupts
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        active_ = tcsetattr(fd, TCSANOW, &raw) == 0;
        handlers_set_ = true;
    }
    ~RawTerminal() {
        if (active_) tcsetattr(fd_, TCSANOW, &saved_);
        if (handlers_set_) {
            for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) sigaction(kEndingSignals[i], &previous_[i], nullptr);
        }
    }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
    bool handlers_set_ = false;
    struct sigaction previous_[std::size(kEndingSignals)] = {};  // the handlers before, put back afterwards
};

class HeadlessDisplay final : public Display {
public:
    HeadlessDisplay(int input_fd, int screen_width, int screen_height)
        : fd_(input_fd),
          width_(screen_width),
          height_(screen_height),
          ended_(input_fd == STDIN_FILENO && !standard_input_at_start) {}

    const char* name() const override { return "headless"; }
    bool headless() const override { return true; }

    void screen_size(int* width, int* height) override {
        *width = width_;
        *height = height_;
    }

    bool open_window(HWND handle, WindowObject& window) override {
        window.display_data = handle;  // the record is just the handle, for close_window
        open_.push_back(handle);
        return true;
    }

    void close_window(WindowObject& window) override {
        auto it = std::find(open_.begin(), open_.end(), static_cast<HWND>(window.display_data));
        if (it != open_.end()) open_.erase(it);
        window.display_data = nullptr;
    }

    // Nothing to show on; the surface counts as shown.
    void show_window(WindowObject& window) override { window.dirty = false; }

    void present(WindowObject& window) override { window.dirty = false; }

    void retitle(WindowObject&) override {}

    void service() override {}

    void poll(std::vector<DisplayEvent>&) override {}

    void wait(std::vector<DisplayEvent>& out) override {
        HWND target = open_.empty() ? nullptr : open_.back();
        if (ended_) {
            out.push_back(end_of_input(target));
            return;
        }
        unsigned char buffer[4096];
        ssize_t got;
        {
            RawTerminal raw(fd_);
            do {
                got = read(fd_, buffer, sizeof buffer);
            } while (got < 0 && errno == EINTR);
        }
        if (got <= 0) {
            ended_ = true;
            out.push_back(end_of_input(target));
            return;
        }
        for (ssize_t i = 0; i < got; ++i) {
            DisplayEvent e;
            e.type = DisplayEvent::Type::Char;
            e.window = target;
            e.ch = buffer[i];
            e.vk = virtual_key_of_byte(buffer[i]);
            out.push_back(e);
        }
    }

private:
    static DisplayEvent end_of_input(HWND window) {
        DisplayEvent e;
        e.type = DisplayEvent::Type::EndOfInput;
        e.window = window;
        return e;
    }

    int fd_;
    int width_;
    int height_;
    std::vector<HWND> open_;  // open windows, oldest first; typing goes to the newest
    bool ended_ = false;
};

}  // namespace

std::unique_ptr<Display> make_headless_display(int input_fd, int screen_width, int screen_height) {
    return std::make_unique<HeadlessDisplay>(input_fd, screen_width, screen_height);
}

}  // namespace pelmorix_platform
