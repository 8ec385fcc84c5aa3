#pragma once

// What the acceptance and fault tests share: the real channel service and the
// real player started as separate processes on the test's own X server (with
// or without a window manager), driven only through X input and watched only
// through what a user or the service could see: the screen, the window's
// title, geometry and state, the settings file and the service's database.
//
// The player's service address is fixed at build time to 127.0.0.1:8765, so
// these tests run in a network namespace of their own (tests/isolate
// --netns-x11), where that address belongs to the test alone.

#include "testsupport.h"

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct xcb_connection_t;

namespace acceptance {

// Starts a program that is killed when the test process ends, however it ends.
void startTiedToTest(QProcess &process, const QString &program, const QStringList &args);

// Runs a helper program (xdotool, ...) and returns its standard output, or a
// null string when it failed or took longer than the timeout.
QString runTool(const QString &program, const QStringList &args, int nTimeoutMs = 10000);

// One connection to the X server of the test (DISPLAY).
class XDisplay
{
public:
    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;

    bool isOpen() const { return m_pConn != nullptr; }
    quint32 root() const { return m_nRoot; }
    QSize screenSize() const { return m_sizeScreen; }

    // The mapped top-level window of a process (by _NET_WM_PID); 0 if none.
    quint32 findWindow(qint64 nPid);
    // Whether a process shows a pop-up (menu) window.
    bool hasPopup(qint64 nPid);
    QString title(quint32 nWindow);
    // The window's rectangle in screen coordinates (client area, no frame).
    QRect geometry(quint32 nWindow);
    // The atoms of _NET_WM_STATE, by name ("_NET_WM_STATE_FULLSCREEN", ...).
    QStringList netWmState(quint32 nWindow);
    bool isViewable(quint32 nWindow);
    // A screenshot of a screen rectangle (what the user sees there).
    QImage grab(const QRect &rc);
    // Asks the window to close as the title bar's close button does: through
    // the window manager when one runs, else WM_DELETE_WINDOW directly.
    void requestClose(quint32 nWindow);
    bool windowManagerRunning();

private:
    quint32 atom(const char *name);
    QByteArray property(quint32 nWindow, quint32 nProperty, quint32 nType);

    xcb_connection_t *m_pConn = nullptr;
    quint32 m_nRoot = 0;
    QSize m_sizeScreen;
};

// Pings a window with _NET_WM_PING from a connection of its own and records
// the round trips. Qt answers pings on its GUI thread, so a long round trip is
// a GUI thread that did not get to its events.
//
// Given the process of the window, each round trip is counted without the
// time that process's GUI thread (and the pinging thread) spent ready to run
// but waiting for a processor, as the kernel accounts it (schedstat): on a
// machine busy with other work a thread can wait 100 ms and more for its turn,
// which says nothing about the program; a GUI thread that is busy, sleeps or
// waits for a lock still counts in full.
class WmPinger
{
public:
    explicit WmPinger(quint32 nWindow, int nIntervalMs = 20, qint64 nPid = 0);
    ~WmPinger();
    void start();
    // Stops pinging and returns the round trips in milliseconds; a ping still
    // unanswered at the end counts with the time it has waited.
    std::vector<double> stop();
    // The most time taken off one round trip for waiting on a busy machine.
    double maxQueued() const { return m_dMaxQueuedMs; }

    static double maxOf(const std::vector<double> &v);
    static double percentile(std::vector<double> v, double p);
    static QString summary(const std::vector<double> &v);
    // How late the pinging thread itself woke up at worst, in milliseconds: a
    // measure of how busy the machine was during the round trips.
    double maxLateness() const { return m_dMaxLateMs; }

private:
    void run();

    quint32 m_nWindow;
    int m_nIntervalMs;
    qint64 m_nPid;
    double m_dMaxQueuedMs = 0;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::mutex m_mutex;
    std::vector<double> m_vecRoundTrips;
    double m_dMaxLateMs = 0;
};

// An idle Qt window in a process of its own (this test program, started
// again), pinged beside the player: when it is slow to answer too, the
// machine was too busy for a measurement to say anything about the player.
class ReferenceWindow
{
public:
    // At the top of main(): when this process was started as the reference
    // window, shows it until killed and returns true with its exit code.
    static bool runIfAsked(int argc, char *argv[], int &nExitCode);

    ~ReferenceWindow();
    // Starts it on the test's X server and waits until its window is mapped.
    bool start(XDisplay &x);
    quint32 window() const { return m_nWindow; }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
    quint32 m_nWindow = 0;
};

// The title of the window with the keyboard focus.
QString activeWindowName();

// xdotool input; coordinates are screen coordinates.
void mouseMove(int x, int y);
void click(int nButton, int nRepeat = 1);
void key(const QString &strKeys);
void typeText(const QString &strText);

// Counts pixels whose colour is far from black and the number of distinct
// coarse colours in an image: enough to tell a test picture from a black
// window.
struct PictureStats
{
    double fractionLit = 0;
    int nColours = 0;
};
PictureStats pictureStats(const QImage &img);
// The share of pixels near a colour (each channel within the tolerance).
double colourShare(const QImage &img, QColor colour, int nTolerance = 40);
// The line of overlay text (red on black) centred in an image of the window,
// where the player shows what its playback does: the width of the ink in
// pixels, 0 when there is none.
int centredTextWidth(const QImage &img);

// The test's own desktop, service and player processes.
class Harness
{
public:
    Harness();
    ~Harness();

    // Paths of the binaries under test and the demo channel folder.
    static QString playerBinary();
    static QString serviceBinary();
    static QString demoDir();
    // Fails (with a message) unless the test runs in a namespace of its own
    // on an X server: nothing else may listen on 127.0.0.1:8765 here.
    static bool checkEnvironment(QString &strWhy);
    // Makes the demo channels in demoDir() (the script skips what exists).
    static bool makeDemoChannels();

    bool startWindowManager();
    void stopWindowManager();

    // The service with the bundled channel file and the demo channels, its
    // database in the harness's folder; waits until it answers (a big
    // channel file takes it longer).
    bool startService(const QStringList &extraArgs = {}, int nTimeoutMs = 15000);
    void stopService();
    void killService();
    bool serviceRunning() const;
    QString databasePath() const;
    // Rows of "SELECT ..." against the service's database (sqlite3 tool).
    QString queryDatabase(const QString &strSql);

    // A fresh private home for the player (its settings file inside).
    void newHome();
    QString settingsPath() const;
    QVariant setting(const QString &strKey) const;
    QStringList settingKeys() const;
    // Writes a settings file before the player starts.
    void writeSettings(const QVariantMap &values);

    // Starts the player and, unless told not to, waits for its window.
    bool startPlayer(bool bWaitForWindow = true);
    qint64 playerPid() const;
    // Waits for the player's top-level window to be mapped.
    quint32 waitForWindow(int nTimeoutMs = 15000);
    quint32 window() const { return m_nWindow; }
    bool playerRunning() const;
    // Waits for the player to exit; returns the milliseconds it took, -1 if it
    // did not exit within the timeout (it is then killed, unless told not to).
    int waitForPlayerExit(int nTimeoutMs, bool bKillOnTimeout = true);
    int playerExitCode() const;
    QString playerLog() const;
    void killPlayer();

    XDisplay &x() { return m_x; }
    QRect windowRect() { return m_x.geometry(m_nWindow); }
    QString windowTitle() { return m_x.title(m_nWindow); }
    // Mouse to a point in window coordinates.
    void moveInWindow(int x, int y);
    QImage grabWindow();

    // Waits for what the user would see; each logs what it saw instead when
    // it does not come in time.
    bool waitForTitle(const QString &strTitle, int nTimeoutMs = 8000);
    // A test picture in the middle of the window (the demo channels are bars
    // and test cards): most of it lit, many colours. Without one, a
    // screenshot is saved (saveShot("no-picture")).
    bool waitForPicture(int nTimeoutMs = 15000);
    // An atom of the window's _NET_WM_STATE set or cleared.
    bool waitForState(const QString &strAtom, bool bSet, int nTimeoutMs = 10000);
    // The icon of the control panel's play button, "play" or "stop"; brings
    // the panel up with the pointer at the bottom edge first. Empty when no
    // panel comes.
    QString playButtonIcon();
    // The whole screen into <build>/acceptance/<name>.png; returns its path.
    QString saveShot(const QString &strName);

private:
    QTemporaryDir m_dir;
    QString m_strHome;
    int m_nHome = 0;
    XDisplay m_x;
    TestSupport::WindowManager m_wm;
    std::unique_ptr<QProcess> m_pService;
    std::unique_ptr<QProcess> m_pPlayer;
    QByteArray m_baPlayerLog;
    quint32 m_nWindow = 0;
};

} // namespace acceptance
