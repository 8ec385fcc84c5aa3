// The reference the whole-program benchmarks measure the player against: the
// least a program can do to show a stream with the same libVLC. One bare X
// window, one libVLC instance with the player's own two arguments, one media
// player bound to the window, and nothing else (no toolkit, no worker thread,
// no channel list). It plays until it gets SIGTERM or SIGINT.
//
//   bench_refplayer URL [WIDTH HEIGHT [LIBVLC-ARGUMENT...]]
//
// Further arguments go to libvlc_new() after the player's two, so that the
// benchmarks can also measure libVLC alone with the options the player adds.
#include "refplay.h"

#include <X11/Xlib.h>
#include <vlc/vlc.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <signal.h>
#include <vector>

namespace {
volatile std::sig_atomic_t g_stop = 0;
void onSignal(int)
{
    g_stop = 1;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc == 3) {
        std::fprintf(stderr, "usage: %s URL [WIDTH HEIGHT [LIBVLC-ARGUMENT...]]\n", argv[0]);
        return 2;
    }
    const unsigned width = argc >= 4 ? unsigned(std::atoi(argv[2])) : 800;
    const unsigned height = argc >= 4 ? unsigned(std::atoi(argv[3])) : 600;
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    // Blocked before libVLC makes its threads, which inherit the mask: the
    // signal can only reach the main thread, while it waits for it.
    sigset_t blocked, waiting;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &waiting);

    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "refplayer: no X display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    const Window window =
        XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, width, height, 0,
                            BlackPixel(display, screen), BlackPixel(display, screen));
    XStoreName(display, window, "refplayer");
    XMapWindow(display, window);
    XSync(display, False);

    std::vector<const char *> args = {"--no-ignore-config", "--media-library"};
    for (int i = 4; i < argc; ++i)
        args.push_back(argv[i]);
    libvlc_instance_t *instance = libvlc_new(int(args.size()), args.data());
    if (!instance) {
        std::fprintf(stderr, "refplayer: libvlc_new failed\n");
        return 1;
    }
    libvlc_media_player_t *player = playInto(instance, argv[1], uint32_t(window));

    // Asleep until the signal: the process's wake-ups are libVLC's alone.
    while (!g_stop)
        sigsuspend(&waiting);

    libvlc_media_player_stop(player);
    libvlc_media_player_release(player);
    libvlc_release(instance);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}
