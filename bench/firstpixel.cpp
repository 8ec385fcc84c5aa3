// bench_firstpixel: measures how long it takes until something shows on an X
// screen, for the whole-program benchmarks (bench/run-benchmarks).
//
// It starts a command and then watches the screen:
//   --t0 exec  the clock starts when the command is started (a program being
//              launched); the command is left running, its pid written to
//              --pidfile, its output sent to --log;
//   --t0 exit  the clock starts when the command has finished;
//   --click N  instead of a command: N clicks of the left button where the
//              pointer is (XTest, 40 ms apart: 2 is a double-click); the clock
//              starts when the X server has taken the last one. (Timing an
//              xdotool process instead would count its start-up, or, from its
//              exit, leave out whatever it was descheduled for after the click.)
// Before the command runs, the screen must not show the awaited picture yet,
// or the measurement is refused ("invalid", exit status 3).
// What it waits for:
//   pixel mode (default): at least --min sampled pixels of the root window
//              within --tol of the colour --expect R,G,B. The root window's
//              image is what is on screen, so this is the first frame that
//              really reached the screen, whatever the video output did before.
//              Sampling is a grid of every --step-th pixel, fetched with MIT-SHM
//              (plain XGetImage without it) every --interval-ms; --snapshot
//              writes the screen as it was then to a PPM file.
//   --map      the first top-level window of the started process being mapped
//              (matched through _NET_WM_PID); --cpu-out F appends the CPU time
//              the process had used by then (ms, all threads) to F, a figure
//              that other load on the machine disturbs far less.
// Prints the elapsed milliseconds on one line; "timeout" and exit status 2 when
// nothing came within --timeout seconds, 1 on a usage or X error.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Options
{
    bool bExecT0 = true;
    bool bMap = false;
    int nClicks = 0;
    int nR = -1, nG = -1, nB = -1;
    int nTol = 48;
    int nMin = 200;
    int nStep = 4;
    int nIntervalMs = 3;
    double dTimeout = 20;
    std::string strPidFile;
    std::string strLog = "/dev/null";
    std::string strSnapshot;
    std::string strCpuOut;
    std::vector<char *> argv;
};

double nowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

int usage()
{
    std::fprintf(
        stderr,
        "usage: bench_firstpixel [--t0 exec|exit] [--map | --expect R,G,B [--tol N] "
        "[--min N] [--step N] [--interval-ms N] [--snapshot F.ppm]] [--cpu-out F] [--timeout S] "
        "[--pidfile F] "
        "[--log F] {-- command [args...] | --click N}\n");
    return 1;
}

bool parse(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
        const char *v = nullptr;
        if (a == "--") {
            for (++i; i < argc; ++i)
                o.argv.push_back(argv[i]);
            break;
        } else if (a == "--click" && (v = next())) {
            o.nClicks = std::max(1, std::atoi(v));
        } else if (a == "--map") {
            o.bMap = true;
        } else if (a == "--t0" && (v = next())) {
            if (std::strcmp(v, "exec") && std::strcmp(v, "exit"))
                return false;
            o.bExecT0 = !std::strcmp(v, "exec");
        } else if (a == "--expect" && (v = next())) {
            if (std::sscanf(v, "%d,%d,%d", &o.nR, &o.nG, &o.nB) != 3)
                return false;
        } else if (a == "--tol" && (v = next())) {
            o.nTol = std::atoi(v);
        } else if (a == "--min" && (v = next())) {
            o.nMin = std::atoi(v);
        } else if (a == "--step" && (v = next())) {
            o.nStep = std::max(1, std::atoi(v));
        } else if (a == "--interval-ms" && (v = next())) {
            o.nIntervalMs = std::max(0, std::atoi(v));
        } else if (a == "--timeout" && (v = next())) {
            o.dTimeout = std::atof(v);
        } else if (a == "--pidfile" && (v = next())) {
            o.strPidFile = v;
        } else if (a == "--cpu-out" && (v = next())) {
            o.strCpuOut = v;
        } else if (a == "--snapshot" && (v = next())) {
            o.strSnapshot = v;
        } else if (a == "--log" && (v = next())) {
            o.strLog = v;
        } else {
            return false;
        }
    }
    if (o.argv.empty() == (o.nClicks == 0) || (o.nClicks && o.bMap))
        return false;
    if (!o.bMap && o.nR < 0)
        return false;
    o.argv.push_back(nullptr);
    return true;
}

// The root window's image, through shared memory where the server offers it.
class ScreenGrabber
{
public:
    explicit ScreenGrabber(Display *dpy) : m_dpy(dpy)
    {
        const int screen = DefaultScreen(dpy);
        m_root = RootWindow(dpy, screen);
        m_nWidth = DisplayWidth(dpy, screen);
        m_nHeight = DisplayHeight(dpy, screen);
        if (XShmQueryExtension(dpy)) {
            m_pImage = XShmCreateImage(dpy, DefaultVisual(dpy, screen), DefaultDepth(dpy, screen),
                                       ZPixmap, nullptr, &m_shm, m_nWidth, m_nHeight);
            if (m_pImage) {
                m_shm.shmid = shmget(IPC_PRIVATE, size_t(m_pImage->bytes_per_line) * m_nHeight,
                                     IPC_CREAT | 0600);
                m_shm.shmaddr = m_pImage->data =
                    static_cast<char *>(shmat(m_shm.shmid, nullptr, 0));
                m_shm.readOnly = False;
                if (m_shm.shmaddr != reinterpret_cast<char *>(-1) && XShmAttach(dpy, &m_shm)) {
                    XSync(dpy, False);
                    shmctl(m_shm.shmid, IPC_RMID, nullptr); // gone once both sides detach
                    m_bShm = true;
                } else {
                    XDestroyImage(m_pImage);
                    m_pImage = nullptr;
                }
            }
        }
    }

    ~ScreenGrabber()
    {
        if (m_bShm) {
            XShmDetach(m_dpy, &m_shm);
            XDestroyImage(m_pImage);
            shmdt(m_shm.shmaddr);
        }
    }

    // Number of sampled pixels near the colour; with a snapshot file, the
    // screen as it was is written there (PPM) when the count reaches --min.
    int count(const Options &o)
    {
        XImage *image = nullptr;
        if (m_bShm) {
            if (!XShmGetImage(m_dpy, m_root, m_pImage, 0, 0, AllPlanes))
                return -1;
            image = m_pImage;
        } else {
            image = XGetImage(m_dpy, m_root, 0, 0, m_nWidth, m_nHeight, AllPlanes, ZPixmap);
            if (!image)
                return -1;
        }
        int n = 0;
        const bool bFast = image->bits_per_pixel == 32 && image->red_mask == 0xff0000 &&
                           image->green_mask == 0xff00 && image->blue_mask == 0xff;
        for (int y = 0; y < m_nHeight; y += o.nStep) {
            const auto *row = reinterpret_cast<const unsigned char *>(
                image->data + size_t(y) * image->bytes_per_line);
            for (int x = 0; x < m_nWidth; x += o.nStep) {
                int r, g, b;
                if (bFast) {
                    uint32_t p;
                    std::memcpy(&p, row + size_t(x) * 4, 4);
                    r = (p >> 16) & 0xff;
                    g = (p >> 8) & 0xff;
                    b = p & 0xff;
                } else {
                    const unsigned long p = XGetPixel(image, x, y);
                    r = int((p & image->red_mask) >> __builtin_ctzl(image->red_mask)) & 0xff;
                    g = int((p & image->green_mask) >> __builtin_ctzl(image->green_mask)) & 0xff;
                    b = int((p & image->blue_mask) >> __builtin_ctzl(image->blue_mask)) & 0xff;
                }
                if (std::abs(r - o.nR) <= o.nTol && std::abs(g - o.nG) <= o.nTol &&
                    std::abs(b - o.nB) <= o.nTol)
                    ++n;
            }
        }
        if (n >= o.nMin && !o.strSnapshot.empty())
            writePpm(image, o.strSnapshot);
        if (!m_bShm)
            XDestroyImage(image);
        return n;
    }

private:
    void writePpm(XImage *image, const std::string &strPath) const
    {
        FILE *f = std::fopen(strPath.c_str(), "wb");
        if (!f)
            return;
        std::fprintf(f, "P6\n%d %d\n255\n", m_nWidth, m_nHeight);
        std::vector<unsigned char> row(size_t(m_nWidth) * 3);
        for (int y = 0; y < m_nHeight; ++y) {
            for (int x = 0; x < m_nWidth; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                row[size_t(x) * 3] = (p >> 16) & 0xff;
                row[size_t(x) * 3 + 1] = (p >> 8) & 0xff;
                row[size_t(x) * 3 + 2] = p & 0xff;
            }
            std::fwrite(row.data(), 1, row.size(), f);
        }
        std::fclose(f);
    }

    Display *m_dpy;
    Window m_root;
    int m_nWidth = 0;
    int m_nHeight = 0;
    XShmSegmentInfo m_shm{};
    XImage *m_pImage = nullptr;
    bool m_bShm = false;
};

pid_t spawn(const Options &o)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(o.strLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
        setpgid(0, 0); // the caller can stop the program with everything it started
        execvp(o.argv[0], o.argv.data());
        std::fprintf(stderr, "bench_firstpixel: cannot run %s: %s\n", o.argv[0],
                     std::strerror(errno));
        _exit(127);
    }
    return pid;
}

long windowPid(Display *dpy, Window w)
{
    static const Atom atomPid = XInternAtom(dpy, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long nItems, nAfter;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(dpy, w, atomPid, 0, 1, False, XA_CARDINAL, &type, &format, &nItems,
                           &nAfter, &data) == Success &&
        data && nItems == 1 && format == 32)
        pid = long(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

// utime + stime of a process, in ms; -1 when unreadable.
double cpuMs(pid_t pid)
{
    char szPath[64];
    std::snprintf(szPath, sizeof szPath, "/proc/%d/stat", int(pid));
    FILE *f = std::fopen(szPath, "r");
    if (!f)
        return -1;
    char buf[1024];
    const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    // Fields after the command name, which ends with the last ')'.
    const char *p = std::strrchr(buf, ')');
    unsigned long utime = 0, stime = 0;
    if (!p || std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                          &stime) != 2)
        return -1;
    return (utime + stime) * 1000.0 / sysconf(_SC_CLK_TCK);
}

int ignoreXErrors(Display *, XErrorEvent *)
{
    return 0; // windows that vanish between the event and the property read
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!parse(argc, argv, o))
        return usage();
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "bench_firstpixel: cannot open display\n");
        return 1;
    }
    XSetErrorHandler(ignoreXErrors);

    if (o.bMap) {
        const Window root = DefaultRootWindow(dpy);
        XSelectInput(dpy, root, SubstructureNotifyMask);
        XSync(dpy, False);
        const double t0 = nowMs();
        const pid_t pid = spawn(o);
        if (!o.strPidFile.empty())
            if (FILE *f = std::fopen(o.strPidFile.c_str(), "w")) {
                std::fprintf(f, "%d\n", int(pid));
                std::fclose(f);
            }
        const int fd = ConnectionNumber(dpy);
        for (;;) {
            while (XPending(dpy)) {
                XEvent ev;
                XNextEvent(dpy, &ev);
                if (ev.type == MapNotify && windowPid(dpy, ev.xmap.window) == pid) {
                    const double dElapsed = nowMs() - t0;
                    if (!o.strCpuOut.empty())
                        if (FILE *f = std::fopen(o.strCpuOut.c_str(), "a")) {
                            std::fprintf(f, "%.0f\n", cpuMs(pid));
                            std::fclose(f);
                        }
                    std::printf("%.1f\n", dElapsed);
                    return 0;
                }
            }
            const double left = o.dTimeout * 1000 - (nowMs() - t0);
            if (left <= 0)
                break;
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, int(left) + 1);
        }
        std::printf("timeout\n");
        return 2;
    }

    ScreenGrabber grabber(dpy);
    const int nBefore = grabber.count(o);
    if (nBefore >= o.nMin) {
        std::fprintf(stderr, "bench_firstpixel: the awaited picture is already on screen (%d)\n",
                     nBefore);
        std::printf("invalid\n");
        return 3;
    }

    double t0 = nowMs();
    if (o.nClicks) {
        int nEvent, nError, nMajor, nMinor;
        if (!XTestQueryExtension(dpy, &nEvent, &nError, &nMajor, &nMinor)) {
            std::fprintf(stderr, "bench_firstpixel: the X server has no XTEST\n");
            return 1;
        }
        for (int i = 0; i < o.nClicks; ++i) {
            if (i) {
                const timespec gap{0, 40 * 1000000L};
                nanosleep(&gap, nullptr);
            }
            XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
            XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
            XSync(dpy, False);
        }
        t0 = nowMs();
    }
    const pid_t pid = o.nClicks ? 0 : spawn(o);
    if (!o.strPidFile.empty() && pid > 0)
        if (FILE *f = std::fopen(o.strPidFile.c_str(), "w")) {
            std::fprintf(f, "%d\n", int(pid));
            std::fclose(f);
        }
    if (!o.bExecT0 && pid > 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        t0 = nowMs();
    }
    const timespec pause{0, long(o.nIntervalMs) * 1000000L};
    while (nowMs() - t0 < o.dTimeout * 1000) {
        const int n = grabber.count(o);
        if (n >= o.nMin) {
            std::printf("%.1f\n", nowMs() - t0);
            return 0;
        }
        if (n < 0) {
            std::fprintf(stderr, "bench_firstpixel: cannot read the screen\n");
            return 1;
        }
        nanosleep(&pause, nullptr);
    }
    std::printf("timeout\n");
    return 2;
}
