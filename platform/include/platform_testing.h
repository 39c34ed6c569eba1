// Test-only instrumentation of the portable platform layer.
//
// Not part of the Win32 subset and never used by the program: tests use it to
// watch the calls made on the platform, read back pixels, feed input as a
// display would, and force start-up failures.
#ifndef PELMORIX_PLATFORM_TESTING_H
#define PELMORIX_PLATFORM_TESTING_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace platform_testing {

// One journaled platform call. `target` is the DC, window or object the call
// acts on (null where there is none); `args` hold the arguments that matter,
// in the call's own order, as integers (colour references, coordinates,
// handles as their integer values); `text` holds a string argument.
struct Call {
    std::string function;
    const void* target = nullptr;
    std::vector<long long> args;
    std::string text;
};

void journal_enable(bool on);
const std::vector<Call>& journal();
void journal_clear();
// The journaled calls of one function, in order.
std::vector<Call> journal_of(const std::string& function);
// A call's arguments as one line, e.g. "SetTextColor dc#3 16777231", for
// failure messages.
std::string describe(const Call& call);

// A handle as an integer, for comparing with Call::args.
long long handle_value(const void* handle);

// Pixel read-back, in device coordinates, as 0x00RRGGBB. A window DC reads
// the window's client surface; a memory DC its selected bitmap. Returns false
// for an invalid DC or a point outside the surface.
bool read_pixel(HDC dc, int x, int y, unsigned* rgb);
// The whole surface of a DC, row by row; width and height are set.
bool read_surface(HDC dc, std::vector<unsigned>* pixels, int* width, int* height);
// The client surface of a window.
bool read_window(HWND window, std::vector<unsigned>* pixels, int* width, int* height);

// Input as a display delivers it; it reaches the program at its next
// GetMessageA, exactly as real input would.
void type_char(HWND window, unsigned char ch);  // a key that produces a character
void press_key(HWND window, UINT virtual_key);  // a key that produces none
void click_close(HWND window);                   // the close button
void resize_client(HWND window, int width, int height);
void minimize(HWND window);
void restore(HWND window);
void gain_focus(HWND window);
void expose(HWND window);  // part of the window was uncovered
// The pointer moved to client pixel (x, y); a button (MK_LBUTTON or
// MK_RBUTTON) pressed there, the `clicks`-th click in a row (2 for the
// second of a double-click), or released there.
void move_pointer(HWND window, int x, int y);
void press_button(HWND window, UINT button, int x, int y, int clicks = 1);
void release_button(HWND window, UINT button, int x, int y);

// Dispatches every message (and injected input) that is waiting, as a
// program's loop does, and returns once the queue would wait; false if the
// quit message came first.
bool dispatch_pending();

// The next call of `function` ("RegisterClassA" or "CreateWindowExA") fails
// with `error` as its last error.
void fail_next(const std::string& function, DWORD error);

// Forgets every window, class, object and queued message, and closes the
// display, so that a test starts from a clean platform.
void reset();

// The headless display reads typed characters from this descriptor (standard
// input unless set).
void set_headless_input(int fd);

// The screen size the headless display reports (HORZRES, VERTRES).
void set_headless_screen(int width, int height);

// Called at the end of every GdiFlush, on the caller's thread, until reset
// or replaced (an empty function removes it): a test sees the picture at the
// moment the program hands it to the screen.
void on_gdi_flush(std::function<void()> hook);

// Writes the client area of the most recently created window to a PNG file;
// false when there is no window or the file cannot be written.
bool write_snapshot(const char* path);

}  // namespace platform_testing

#endif  // PELMORIX_PLATFORM_TESTING_H
