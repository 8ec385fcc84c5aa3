#include "acceptance_harness.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QSettings>
#include <QTcpSocket>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

namespace acceptance {

namespace {

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

bool listening(quint16 nPort)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), nPort);
    return socket.waitForConnected(200);
}

} // namespace

void startTiedToTest(QProcess &process, const QString &program, const QStringList &args)
{
    // setpriv execs the program in its own place (same process id), which then
    // gets SIGKILL should the test itself die: nothing lingers after a crash.
    process.start(QStringLiteral("setpriv"),
                  QStringList{QStringLiteral("--pdeathsig"), QStringLiteral("KILL"), program} +
                      args);
}

bool ReferenceWindow::runIfAsked(int argc, char *argv[], int &nExitCode)
{
    if (argc < 2 || qstrcmp(argv[1], "--reference-window") != 0)
        return false;
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("reference"));
    window.resize(160, 100);
    window.show();
    nExitCode = app.exec();
    return true;
}

ReferenceWindow::~ReferenceWindow()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool ReferenceWindow::start(XDisplay &x)
{
    startTiedToTest(m_process, QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--reference-window")});
    if (!m_process.waitForStarted(5000))
        return false;
    return QTest::qWaitFor([&] { return (m_nWindow = x.findWindow(m_process.processId())) != 0; },
                           15000);
}

QString runTool(const QString &program, const QStringList &args, int nTimeoutMs)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(nTimeoutMs) || !p.waitForFinished(nTimeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        qWarning() << "tool failed:" << program << args;
        return QString();
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();
    QString strOut = QString::fromUtf8(p.readAllStandardOutput());
    if (strOut.isNull())
        strOut = QStringLiteral(""); // success without output is not a failure
    return strOut;
}

// ---------------------------------------------------------------- XDisplay

XDisplay::XDisplay()
{
    int nScreen = 0;
    m_pConn = xcb_connect(nullptr, &nScreen);
    if (xcb_connection_has_error(m_pConn)) {
        xcb_disconnect(m_pConn);
        m_pConn = nullptr;
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_pConn));
    for (int i = 0; i < nScreen; ++i)
        xcb_screen_next(&it);
    m_nRoot = it.data->root;
    m_sizeScreen = QSize(it.data->width_in_pixels, it.data->height_in_pixels);
}

XDisplay::~XDisplay()
{
    if (m_pConn)
        xcb_disconnect(m_pConn);
}

quint32 XDisplay::atom(const char *name)
{
    return internAtom(m_pConn, name);
}

QByteArray XDisplay::property(quint32 nWindow, quint32 nProperty, quint32 nType)
{
    if (!m_pConn)
        return QByteArray();
    xcb_get_property_reply_t *r = xcb_get_property_reply(
        m_pConn, xcb_get_property(m_pConn, 0, nWindow, nProperty, nType, 0, 1 << 16), nullptr);
    QByteArray ba;
    if (r && r->type != XCB_ATOM_NONE)
        ba = QByteArray(static_cast<const char *>(xcb_get_property_value(r)),
                        xcb_get_property_value_length(r)); // in bytes
    free(r);
    return ba;
}

bool XDisplay::isViewable(quint32 nWindow)
{
    if (!m_pConn || !nWindow)
        return false;
    xcb_get_window_attributes_reply_t *a = xcb_get_window_attributes_reply(
        m_pConn, xcb_get_window_attributes(m_pConn, nWindow), nullptr);
    const bool bViewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE && !a->override_redirect;
    free(a);
    return bViewable;
}

bool XDisplay::hasPopup(qint64 nPid)
{
    if (!m_pConn)
        return false;
    const xcb_atom_t atomPid = atom("_NET_WM_PID");
    xcb_query_tree_reply_t *t =
        xcb_query_tree_reply(m_pConn, xcb_query_tree(m_pConn, m_nRoot), nullptr);
    if (!t)
        return false;
    bool bFound = false;
    const xcb_window_t *children = xcb_query_tree_children(t);
    for (int i = 0; i < xcb_query_tree_children_length(t) && !bFound; ++i) {
        const QByteArray ba = property(children[i], atomPid, XCB_ATOM_CARDINAL);
        if (ba.size() != 4 || *reinterpret_cast<const quint32 *>(ba.constData()) != nPid)
            continue;
        xcb_get_window_attributes_reply_t *a = xcb_get_window_attributes_reply(
            m_pConn, xcb_get_window_attributes(m_pConn, children[i]), nullptr);
        bFound = a && a->map_state == XCB_MAP_STATE_VIEWABLE && a->override_redirect;
        free(a);
    }
    free(t);
    return bFound;
}

quint32 XDisplay::findWindow(qint64 nPid)
{
    if (!m_pConn)
        return 0;
    const xcb_atom_t atomPid = atom("_NET_WM_PID");
    std::vector<xcb_window_t> todo{m_nRoot};
    while (!todo.empty()) {
        const xcb_window_t w = todo.back();
        todo.pop_back();
        xcb_query_tree_reply_t *t =
            xcb_query_tree_reply(m_pConn, xcb_query_tree(m_pConn, w), nullptr);
        if (!t)
            continue;
        const xcb_window_t *children = xcb_query_tree_children(t);
        const int n = xcb_query_tree_children_length(t);
        for (int i = 0; i < n; ++i) {
            const QByteArray ba = property(children[i], atomPid, XCB_ATOM_CARDINAL);
            if (ba.size() != 4) {
                todo.push_back(children[i]); // a frame of the window manager, say
                continue;
            }
            // A client's top-level window. Its subtree holds its native child
            // windows (the video surface, the overlays), which carry the same
            // process id but are no top-levels: never descend into it.
            if (*reinterpret_cast<const quint32 *>(ba.constData()) == nPid &&
                isViewable(children[i])) {
                const xcb_window_t found = children[i];
                free(t);
                return found;
            }
        }
        free(t);
    }
    return 0;
}

QString XDisplay::title(quint32 nWindow)
{
    const QByteArray ba = property(nWindow, atom("_NET_WM_NAME"), atom("UTF8_STRING"));
    if (!ba.isNull())
        return QString::fromUtf8(ba);
    return QString::fromLatin1(property(nWindow, XCB_ATOM_WM_NAME, XCB_ATOM_STRING));
}

QRect XDisplay::geometry(quint32 nWindow)
{
    if (!m_pConn || !nWindow)
        return QRect();
    xcb_get_geometry_reply_t *g =
        xcb_get_geometry_reply(m_pConn, xcb_get_geometry(m_pConn, nWindow), nullptr);
    xcb_translate_coordinates_reply_t *t = xcb_translate_coordinates_reply(
        m_pConn, xcb_translate_coordinates(m_pConn, nWindow, m_nRoot, 0, 0), nullptr);
    QRect rc;
    if (g && t)
        rc = QRect(t->dst_x, t->dst_y, g->width, g->height);
    free(g);
    free(t);
    return rc;
}

QStringList XDisplay::netWmState(quint32 nWindow)
{
    QStringList lst;
    const QByteArray ba = property(nWindow, atom("_NET_WM_STATE"), XCB_ATOM_ATOM);
    const auto *atoms = reinterpret_cast<const xcb_atom_t *>(ba.constData());
    for (int i = 0; i < ba.size() / 4; ++i) {
        xcb_get_atom_name_reply_t *r =
            xcb_get_atom_name_reply(m_pConn, xcb_get_atom_name(m_pConn, atoms[i]), nullptr);
        if (r)
            lst << QString::fromLatin1(xcb_get_atom_name_name(r), xcb_get_atom_name_name_length(r));
        free(r);
    }
    return lst;
}

QImage XDisplay::grab(const QRect &rcWanted)
{
    const QRect rc = rcWanted.intersected(QRect(QPoint(0, 0), m_sizeScreen));
    if (!m_pConn || rc.isEmpty())
        return QImage();
    xcb_get_image_reply_t *r = xcb_get_image_reply(
        m_pConn,
        xcb_get_image(m_pConn, XCB_IMAGE_FORMAT_Z_PIXMAP, m_nRoot, int16_t(rc.x()), int16_t(rc.y()),
                      uint16_t(rc.width()), uint16_t(rc.height()), ~0u),
        nullptr);
    QImage img;
    // A 24-bit screen comes back as 32 bits per pixel, rows without padding.
    if (r && xcb_get_image_data_length(r) == rc.width() * rc.height() * 4) {
        img = QImage(xcb_get_image_data(r), rc.width(), rc.height(), rc.width() * 4,
                     QImage::Format_RGB32)
                  .copy();
    }
    free(r);
    return img;
}

bool XDisplay::windowManagerRunning()
{
    const QByteArray ba = property(m_nRoot, atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
    if (ba.size() != 4)
        return false;
    const quint32 nCheck = *reinterpret_cast<const quint32 *>(ba.constData());
    xcb_get_geometry_reply_t *g =
        xcb_get_geometry_reply(m_pConn, xcb_get_geometry(m_pConn, nCheck), nullptr);
    const bool bAlive = g != nullptr;
    free(g);
    return bAlive;
}

void XDisplay::requestClose(quint32 nWindow)
{
    if (!m_pConn || !nWindow)
        return;
    xcb_client_message_event_t ev;
    memset(&ev, 0, sizeof ev);
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = nWindow;
    if (windowManagerRunning()) {
        // What a taskbar's close does: the manager then sends WM_DELETE_WINDOW.
        ev.type = atom("_NET_CLOSE_WINDOW");
        ev.data.data32[0] = XCB_CURRENT_TIME;
        ev.data.data32[1] = 2;
        xcb_send_event(m_pConn, 0, m_nRoot,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char *>(&ev));
    } else {
        ev.type = atom("WM_PROTOCOLS");
        ev.data.data32[0] = atom("WM_DELETE_WINDOW");
        ev.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_pConn, 0, nWindow, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&ev));
    }
    xcb_flush(m_pConn);
}

// ---------------------------------------------------------------- WmPinger

WmPinger::WmPinger(quint32 nWindow, int nIntervalMs, qint64 nPid)
    : m_nWindow(nWindow), m_nIntervalMs(nIntervalMs), m_nPid(nPid)
{
}

namespace {

// Milliseconds a thread has spent ready to run but waiting for a processor
// (the second field of its schedstat), or 0 when the kernel does not say.
double queuedMs(const QByteArray &path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = file.readAll().split(' ');
    return fields.size() < 2 ? 0 : fields.at(1).toDouble() / 1e6;
}

} // namespace

WmPinger::~WmPinger()
{
    stop();
}

void WmPinger::start()
{
    m_bStop = false;
    m_vecRoundTrips.clear();
    m_thread = std::thread([this] { run(); });
}

std::vector<double> WmPinger::stop()
{
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vecRoundTrips;
}

void WmPinger::run()
{
    using Clock = std::chrono::steady_clock;
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t atomProtocols = internAtom(c, "WM_PROTOCOLS");
    const xcb_atom_t atomPing = internAtom(c, "_NET_WM_PING");
    // Qt sends its answer to the root window with the structure-notify and
    // substructure-redirect masks; any client may listen for the former.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    // Waiting for a processor, of the window's GUI thread and of this one.
    const QByteArray pathGui = m_nPid ? "/proc/" + QByteArray::number(m_nPid) + "/task/" +
                                            QByteArray::number(m_nPid) + "/schedstat"
                                      : QByteArray();
    const QByteArray pathSelf =
        "/proc/self/task/" + QByteArray::number(qint64(gettid())) + "/schedstat";
    const auto queued = [&] { return m_nPid ? queuedMs(pathGui) + queuedMs(pathSelf) : 0.0; };
    double dMaxQueued = 0;

    // Sequence numbers far from the server timestamps a window manager uses.
    uint32_t nNext = 0x40000000u;
    struct Sent
    {
        Clock::time_point time;
        double dQueuedMs;
    };
    std::map<uint32_t, Sent> pending;
    std::vector<double> done;
    auto nextSend = Clock::now();
    double dMaxLate = 0;
    const int fd = xcb_get_file_descriptor(c);
    while (!m_bStop) {
        const auto now = Clock::now();
        if (now >= nextSend) {
            dMaxLate = std::max(dMaxLate,
                                std::chrono::duration<double, std::milli>(now - nextSend).count());
            xcb_client_message_event_t ev;
            memset(&ev, 0, sizeof ev);
            ev.response_type = XCB_CLIENT_MESSAGE;
            ev.format = 32;
            ev.window = m_nWindow;
            ev.type = atomProtocols;
            ev.data.data32[0] = atomPing;
            ev.data.data32[1] = nNext;
            ev.data.data32[2] = m_nWindow;
            pending[nNext++] = Sent{now, queued()};
            xcb_send_event(c, 0, m_nWindow, XCB_EVENT_MASK_NO_EVENT,
                           reinterpret_cast<const char *>(&ev));
            xcb_flush(c);
            nextSend = now + std::chrono::milliseconds(m_nIntervalMs);
        }
        while (xcb_generic_event_t *e = xcb_poll_for_event(c)) {
            if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto *cm = reinterpret_cast<xcb_client_message_event_t *>(e);
                if (cm->type == atomProtocols && cm->data.data32[0] == atomPing &&
                    cm->data.data32[2] == m_nWindow) {
                    const auto it = pending.find(cm->data.data32[1]);
                    if (it != pending.end()) {
                        const double dRoundTrip = std::chrono::duration<double, std::milli>(
                                                      Clock::now() - it->second.time)
                                                      .count();
                        const double dQueued =
                            std::min(dRoundTrip, std::max(0.0, queued() - it->second.dQueuedMs));
                        dMaxQueued = std::max(dMaxQueued, dQueued);
                        done.push_back(dRoundTrip - dQueued);
                        pending.erase(it);
                    }
                }
            }
            free(e);
        }
        if (xcb_connection_has_error(c))
            break;
        const int nWait = int(std::max<long long>(
            1, std::chrono::duration_cast<std::chrono::milliseconds>(nextSend - Clock::now())
                   .count()));
        pollfd pfd{fd, POLLIN, 0};
        poll(&pfd, 1, nWait);
    }
    const auto end = Clock::now();
    for (const auto &p : pending)
        done.push_back(std::chrono::duration<double, std::milli>(end - p.second.time).count());
    xcb_disconnect(c);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecRoundTrips = done;
    m_dMaxLateMs = dMaxLate;
    m_dMaxQueuedMs = dMaxQueued;
}

double WmPinger::maxOf(const std::vector<double> &v)
{
    return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
}

double WmPinger::percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

QString WmPinger::summary(const std::vector<double> &v)
{
    return QStringLiteral("%1 pings, median %2 ms, p95 %3 ms, max %4 ms")
        .arg(v.size())
        .arg(percentile(v, 0.5), 0, 'f', 1)
        .arg(percentile(v, 0.95), 0, 'f', 1)
        .arg(maxOf(v), 0, 'f', 1);
}

// ---------------------------------------------------------------- input

QString activeWindowName()
{
    return runTool(QStringLiteral("xdotool"),
                   {QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")})
        .trimmed();
}

void mouseMove(int x, int y)
{
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QString::number(x), QString::number(y)});
}

void click(int nButton, int nRepeat)
{
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(nRepeat),
             QStringLiteral("--delay"), QStringLiteral("60"), QString::number(nButton)});
}

void key(const QString &strKeys)
{
    QStringList args{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")};
    args += strKeys.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    runTool(QStringLiteral("xdotool"), args);
}

void typeText(const QString &strText)
{
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), strText});
}

PictureStats pictureStats(const QImage &img)
{
    PictureStats s;
    if (img.isNull())
        return s;
    QSet<int> colours;
    qint64 nLit = 0, nAll = 0;
    for (int y = 0; y < img.height(); y += 2) {
        const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); x += 2) {
            const QRgb c = line[x];
            ++nAll;
            if (qRed(c) + qGreen(c) + qBlue(c) > 120)
                ++nLit;
            colours.insert((qRed(c) >> 6) << 4 | (qGreen(c) >> 6) << 2 | (qBlue(c) >> 6));
        }
    }
    s.fractionLit = nAll ? double(nLit) / double(nAll) : 0.0;
    s.nColours = colours.size();
    return s;
}

int centredTextWidth(const QImage &img)
{
    int nLeft = img.width();
    int nRight = -1;
    for (int y = qMax(0, img.height() / 2 - 12); y < qMin(img.height(), img.height() / 2 + 12);
         ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            if (qRed(c) >= 100 && qGreen(c) < 60 && qBlue(c) < 60) {
                nLeft = qMin(nLeft, x);
                nRight = qMax(nRight, x);
            }
        }
    }
    // Red elsewhere (a test picture's red bar) is no text in the middle.
    if (nRight < 0 || qAbs((nLeft + nRight) / 2 - img.width() / 2) > 6)
        return 0;
    return nRight - nLeft + 1;
}

double colourShare(const QImage &img, QColor colour, int nTolerance)
{
    if (img.isNull())
        return 0.0;
    qint64 nNear = 0;
    for (int y = 0; y < img.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = line[x];
            if (qAbs(qRed(c) - colour.red()) <= nTolerance &&
                qAbs(qGreen(c) - colour.green()) <= nTolerance &&
                qAbs(qBlue(c) - colour.blue()) <= nTolerance)
                ++nNear;
        }
    }
    return double(nNear) / double(img.width() * img.height());
}

// ---------------------------------------------------------------- Harness

Harness::Harness()
{
    newHome();
}

Harness::~Harness()
{
    killPlayer();
    stopService();
    stopWindowManager();
}

QString Harness::playerBinary()
{
    return QStringLiteral(MIREL_PLAYER_BINARY);
}
QString Harness::serviceBinary()
{
    return QStringLiteral(MIREL_SERVICE_BINARY);
}
QString Harness::demoDir()
{
    return QStringLiteral(MIREL_DEMO_DIR);
}

bool Harness::makeDemoChannels()
{
    QProcess make;
    make.setProcessChannelMode(QProcess::ForwardedChannels);
    make.start(qEnvironmentVariable("MIREL_SOURCE_DIR") +
                   QStringLiteral("/scripts/make-demo-channels"),
               {demoDir()});
    return make.waitForFinished(240000) && make.exitStatus() == QProcess::NormalExit &&
           make.exitCode() == 0;
}

bool Harness::checkEnvironment(QString &strWhy)
{
    if (qEnvironmentVariable("MIREL_NETNS") != QLatin1String("1")) {
        strWhy = QStringLiteral("needs a network namespace of its own (tests/isolate --netns-x11, "
                                "as root)");
        return false;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        strWhy = QStringLiteral("needs an X server (DISPLAY)");
        return false;
    }
    if (listening(8765)) {
        strWhy = QStringLiteral("something already listens on 127.0.0.1:8765");
        return false;
    }
    return true;
}

bool Harness::startWindowManager()
{
    return m_wm.start();
}

void Harness::stopWindowManager()
{
    m_wm.stop();
}

bool Harness::startService(const QStringList &extraArgs, int nTimeoutMs)
{
    stopService();
    m_pService = std::make_unique<QProcess>();
    m_pService->setProcessChannelMode(QProcess::MergedChannels);
    m_pService->setStandardOutputFile(m_dir.filePath(QStringLiteral("service.log")),
                                      QIODevice::Append);
    QStringList args{QStringLiteral("--listen"),
                     QStringLiteral("127.0.0.1:8765"),
                     QStringLiteral("--channels"),
                     qEnvironmentVariable("MIREL_SOURCE_DIR") +
                         QStringLiteral("/service/channels.m3u"),
                     QStringLiteral("--db"),
                     databasePath(),
                     QStringLiteral("--demo"),
                     demoDir()};
    startTiedToTest(*m_pService, serviceBinary(), args + extraArgs);
    if (!m_pService->waitForStarted(5000))
        return false;
    return QTest::qWaitFor(
        [this] { return m_pService->state() == QProcess::Running && listening(8765); }, nTimeoutMs);
}

void Harness::stopService()
{
    if (!m_pService)
        return;
    m_pService->terminate();
    if (!m_pService->waitForFinished(5000))
        m_pService->kill();
    m_pService->waitForFinished(1000);
    m_pService.reset();
}

void Harness::killService()
{
    if (!m_pService)
        return;
    m_pService->kill();
    m_pService->waitForFinished(3000);
    m_pService.reset();
}

bool Harness::serviceRunning() const
{
    return m_pService && m_pService->state() == QProcess::Running;
}

QString Harness::databasePath() const
{
    return m_dir.filePath(QStringLiteral("service.db"));
}

QString Harness::queryDatabase(const QString &strSql)
{
    return runTool(QStringLiteral("sqlite3"), {databasePath(), strSql}).trimmed();
}

void Harness::newHome()
{
    m_strHome = m_dir.filePath(QStringLiteral("home%1").arg(++m_nHome));
    QDir().mkpath(m_strHome + QStringLiteral("/.config/vlc"));
    QDir().mkpath(m_strHome + QStringLiteral("/.cache"));
    QDir().mkpath(m_strHome + QStringLiteral("/.local/share"));
    QDir().mkpath(m_strHome + QStringLiteral("/run"));
    QFile::setPermissions(m_strHome + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile vlcrc(m_strHome + QStringLiteral("/.config/vlc/vlcrc"));
    if (vlcrc.open(QIODevice::WriteOnly))
        vlcrc.write("aout=adummy\n");
}

QString Harness::settingsPath() const
{
    return m_strHome + QStringLiteral("/.config/Mirel Software/Mirel Player.conf");
}

QVariant Harness::setting(const QString &strKey) const
{
    QSettings s(settingsPath(), QSettings::IniFormat);
    return s.value(strKey);
}

QStringList Harness::settingKeys() const
{
    QSettings s(settingsPath(), QSettings::IniFormat);
    return s.allKeys();
}

void Harness::writeSettings(const QVariantMap &values)
{
    QSettings s(settingsPath(), QSettings::IniFormat);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        s.setValue(it.key(), it.value());
    s.sync();
}

bool Harness::startPlayer(bool bWaitForWindow)
{
    killPlayer();
    m_baPlayerLog.clear();
    m_nWindow = 0;
    m_pPlayer = std::make_unique<QProcess>();
    m_pPlayer->setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(m_pPlayer.get(), &QProcess::readyRead, m_pPlayer.get(),
                     [this] { m_baPlayerLog += m_pPlayer->readAll(); });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_strHome);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_strHome + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_strHome + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_strHome + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_strHome + QStringLiteral("/run"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("MIREL_NETNS"));
    m_pPlayer->setProcessEnvironment(env);
    startTiedToTest(*m_pPlayer, playerBinary(), QStringList());
    return m_pPlayer->waitForStarted(5000) && (!bWaitForWindow || waitForWindow());
}

qint64 Harness::playerPid() const
{
    return m_pPlayer ? m_pPlayer->processId() : 0;
}

quint32 Harness::waitForWindow(int nTimeoutMs)
{
    const bool bDone = QTest::qWaitFor(
        [this] {
            if (!playerRunning())
                return true;
            m_nWindow = m_x.findWindow(playerPid());
            return m_nWindow != 0;
        },
        nTimeoutMs);
    if (!bDone || !m_nWindow)
        qWarning().noquote() << "no window; player running:" << playerRunning() << "log:\n"
                             << playerLog();
    return m_nWindow;
}

bool Harness::playerRunning() const
{
    return m_pPlayer && m_pPlayer->state() != QProcess::NotRunning;
}

int Harness::waitForPlayerExit(int nTimeoutMs, bool bKillOnTimeout)
{
    if (!m_pPlayer)
        return 0;
    QElapsedTimer timer;
    timer.start();
    const bool bExited = QTest::qWaitFor([this] { return !playerRunning(); }, nTimeoutMs);
    const int nMs = int(timer.elapsed());
    if (!bExited) {
        if (bKillOnTimeout)
            killPlayer();
        return -1;
    }
    m_baPlayerLog += m_pPlayer->readAll();
    return nMs;
}

int Harness::playerExitCode() const
{
    if (!m_pPlayer || m_pPlayer->exitStatus() != QProcess::NormalExit)
        return -1;
    return m_pPlayer->exitCode();
}

QString Harness::playerLog() const
{
    return QString::fromUtf8(m_baPlayerLog);
}

void Harness::killPlayer()
{
    if (!m_pPlayer || m_pPlayer->state() == QProcess::NotRunning)
        return;
    m_pPlayer->kill();
    m_pPlayer->waitForFinished(3000);
    m_baPlayerLog += m_pPlayer->readAll();
}

void Harness::moveInWindow(int x, int y)
{
    const QRect rc = windowRect();
    mouseMove(rc.x() + x, rc.y() + y);
}

QImage Harness::grabWindow()
{
    return m_x.grab(windowRect());
}

bool Harness::waitForTitle(const QString &strTitle, int nTimeoutMs)
{
    if (QTest::qWaitFor([&] { return windowTitle() == strTitle; }, nTimeoutMs))
        return true;
    qWarning() << "title is" << windowTitle() << "not" << strTitle;
    return false;
}

bool Harness::waitForPicture(int nTimeoutMs)
{
    PictureStats s;
    const bool bPicture = QTest::qWaitFor(
        [&] {
            const QRect rc = windowRect();
            s = pictureStats(m_x.grab(QRect(rc.x() + rc.width() / 4, rc.y() + rc.height() / 4,
                                            rc.width() / 2, rc.height() / 2)));
            return s.fractionLit > 0.5 && s.nColours >= 6;
        },
        nTimeoutMs);
    if (!bPicture)
        qWarning() << "no picture in" << windowRect() << "- lit" << s.fractionLit << "colours"
                   << s.nColours << "screen in" << saveShot(QStringLiteral("no-picture"));
    return bPicture;
}

QString Harness::playButtonIcon()
{
    // The panel is 500 wide, centred at the bottom, grey; the play button's
    // 32 by 32 icon sits 15 pixels left of the middle, on a light face.
    const QRect rc = windowRect();
    moveInWindow(10, rc.height() - 30);
    const QRect rcPanel(rc.x() + rc.width() / 2 - 250, rc.bottom() - 70, 500, 70);
    if (!QTest::qWaitFor(
            [&] { return colourShare(m_x.grab(rcPanel), QColor(100, 100, 100), 3) > 0.4; }))
        return QString();
    const QImage img = m_x.grab(QRect(rc.x() + rc.width() / 2 - 35, rc.bottom() - 55, 40, 40));
    // Stop is a square, Play a triangle: only Stop draws a long line across.
    int nLongest = 0;
    for (int y = 0; y < img.height(); ++y) {
        int nDark = 0;
        for (int x = 0; x < img.width(); ++x)
            nDark += qGray(img.pixel(x, y)) < 200;
        nLongest = qMax(nLongest, nDark);
    }
    if (nLongest < 2)
        return QString();
    return nLongest > 10 ? QStringLiteral("stop") : QStringLiteral("play");
}

bool Harness::waitForState(const QString &strAtom, bool bSet, int nTimeoutMs)
{
    return QTest::qWaitFor([&] { return m_x.netWmState(m_nWindow).contains(strAtom) == bSet; },
                           nTimeoutMs);
}

QString Harness::saveShot(const QString &strName)
{
    const QString strDir = qEnvironmentVariable("MIREL_BINARY_DIR") + QStringLiteral("/acceptance");
    QDir().mkpath(strDir);
    const QString strPath = strDir + QLatin1Char('/') + strName + QStringLiteral(".png");
    m_x.grab(QRect(QPoint(0, 0), m_x.screenSize())).save(strPath);
    return strPath;
}

} // namespace acceptance
