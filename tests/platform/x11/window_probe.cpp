// A program with one real window, driven from outside by xvfb_window_test.sh:
// it paints a known picture, then reports every WM_CHAR it receives and its
// destruction on standard output, one line each.
#include <windows.h>

#include <cstdio>

namespace {

HDC g_dc = nullptr;
PAINTSTRUCT g_paint;

// Left half red, right half blue, a white 4 x 4 square at (10, 10).
void paint_picture(HDC dc) {
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    const RECT left{0, 0, 80, 60};
    const RECT right{80, 0, 160, 60};
    const RECT square{10, 10, 14, 14};
    FillRect(dc, &left, red);
    FillRect(dc, &right, blue);
    FillRect(dc, &square, white);
    DeleteObject(red);
    DeleteObject(blue);
    DeleteObject(white);
}

LRESULT CALLBACK procedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
        case WM_PAINT:
            if (g_dc == nullptr) g_dc = BeginPaint(w, &g_paint);
            paint_picture(g_dc);
            ValidateRect(w, nullptr);
            return 0;
        case WM_CHAR:
            std::printf("char %u\n", static_cast<unsigned>(wp));
            std::fflush(stdout);
            return 0;
        case WM_DESTROY:
            EndPaint(w, &g_paint);
            std::printf("destroyed\n");
            std::fflush(stdout);
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(w, m, wp, lp);
    }
}

}  // namespace

int main() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = procedure;
    wc.lpszClassName = "Probe";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    if (RegisterClassA(&wc) == 0) return 2;
    HWND w = CreateWindowExA(0, "Probe", "Window Probe", WS_OVERLAPPEDWINDOW, 0, 0, 160 + 8, 60 + 27, nullptr, nullptr,
                             nullptr, nullptr);
    if (w == nullptr) {
        std::printf("no window: %u\n", static_cast<unsigned>(GetLastError()));
        return 3;
    }
    ShowWindow(w, SW_SHOWNORMAL);
    UpdateWindow(w);
    std::printf("drawn\n");
    std::fflush(stdout);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return static_cast<int>(m.wParam);
}
