/* What a desktop asks of a window, and how long the window takes to answer:
 *   desktop_probe ping WINDOW   sends the window manager's _NET_WM_PING and
 *                               waits for the reply on the root window
 *   desktop_probe cover WINDOW  maps a window over it, unmaps it again and
 *                               waits until the screen shows what it showed
 *                               before
 * Prints the milliseconds the answer took and exits 0; exits 1 when none
 * came within 3 seconds, 2 on bad usage, 3 when the X server cannot be
 * used for the probe (no display, the cover changed nothing). */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static const long kLimitMs = 3000;

static long now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static int ping(Display* d, Window w) {
    Window root = DefaultRootWindow(d);
    Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    Atom net_wm_ping = XInternAtom(d, "_NET_WM_PING", False);
    /* The reply is sent to the root window with the substructure masks. */
    XSelectInput(d, root, SubstructureNotifyMask);
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = protocols;
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)net_wm_ping;
    e.xclient.data.l[1] = 12345; /* the time stamp that identifies this ping */
    e.xclient.data.l[2] = (long)w;
    const long start = now_ms();
    XSendEvent(d, w, False, NoEventMask, &e);
    XFlush(d);
    for (;;) {
        while (XPending(d) > 0) {
            XEvent got;
            XNextEvent(d, &got);
            if (got.type == ClientMessage && got.xclient.window == root && got.xclient.message_type == protocols &&
                (Atom)got.xclient.data.l[0] == net_wm_ping && got.xclient.data.l[1] == 12345 &&
                (Window)got.xclient.data.l[2] == w) {
                printf("%ld\n", now_ms() - start);
                return 0;
            }
        }
        const long left = kLimitMs - (now_ms() - start);
        if (left <= 0) return 1;
        struct pollfd ready = {ConnectionNumber(d), POLLIN, 0};
        poll(&ready, 1, (int)(left < 20 ? left : 20));
    }
}

/* The window's area of the screen, as the server shows it now. */
static XImage* screen_of(Display* d, Window w, int* width, int* height) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a)) return NULL;
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    *width = a.width;
    *height = a.height;
    return XGetImage(d, DefaultRootWindow(d), x, y, (unsigned)a.width, (unsigned)a.height, AllPlanes, ZPixmap);
}

static int same_image(XImage* a, XImage* b, int width, int height) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (XGetPixel(a, x, y) != XGetPixel(b, x, y)) return 0;
        }
    }
    return 1;
}

static int cover(Display* d, Window w) {
    int width = 0, height = 0;
    XImage* before = screen_of(d, w, &width, &height);
    if (before == NULL) return 3;
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    /* Another program's window, placed by no window manager, in a colour
     * the viewer's picture does not have everywhere. */
    XSetWindowAttributes attributes;
    attributes.override_redirect = True;
    attributes.background_pixel = 0x336699;
    Window over = XCreateWindow(d, DefaultRootWindow(d), x, y, (unsigned)width, (unsigned)height, 0, CopyFromParent,
                                InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(d, over);
    XSync(d, False);
    struct timespec pause = {0, 200 * 1000000L};
    nanosleep(&pause, NULL);
    int w2 = 0, h2 = 0;
    XImage* covered = screen_of(d, w, &w2, &h2);
    const int changed = covered != NULL && w2 == width && h2 == height && !same_image(before, covered, width, height);
    if (covered != NULL) XDestroyImage(covered);
    if (!changed) return 3;
    XUnmapWindow(d, over);
    XSync(d, False);
    const long start = now_ms();
    int result = 1;
    while (now_ms() - start < kLimitMs) {
        XImage* now = screen_of(d, w, &w2, &h2);
        const int same = now != NULL && w2 == width && h2 == height && same_image(before, now, width, height);
        if (now != NULL) XDestroyImage(now);
        if (same) {
            printf("%ld\n", now_ms() - start);
            result = 0;
            break;
        }
        struct timespec step = {0, 10 * 1000000L};
        nanosleep(&step, NULL);
    }
    XDestroyWindow(d, over);
    XDestroyImage(before);
    return result;
}

int main(int argc, char** argv) {
    if (argc != 3 || (strcmp(argv[1], "ping") != 0 && strcmp(argv[1], "cover") != 0)) {
        fprintf(stderr, "usage: desktop_probe ping|cover WINDOW_ID\n");
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (d == NULL) return 3;
    Window w = (Window)strtoul(argv[2], NULL, 0);
    const int result = strcmp(argv[1], "ping") == 0 ? ping(d, w) : cover(d, w);
    fflush(stdout);
    XCloseDisplay(d);
    return result;
}
