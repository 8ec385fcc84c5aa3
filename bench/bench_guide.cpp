// Reading a big programme guide while the window stays responsive.
//
//   tests/isolate --x11 build/bench/bench_guide [RUNS (3)] [MiB (200)] [CHANNELS (10000)]
//
// Generates an XMLTV guide of about MiB mebibytes for CHANNELS channels,
// shows the real channel list holding those channels (the guide line under
// each name), and has the guide service download it from 127.0.0.1 (an
// HTTP server in a child process, so that its copy of the file does not
// count here), plain and gzip-compressed. Per run: the time from asking to
// the guide being shown, the XML read per second, the process's peak memory
// during the read (VmHWM, reset before each run), the GUI thread's CPU time
// and its worst lateness on a 5 ms timer, and the longest _NET_WM_PING round
// trip to the window (time the GUI thread only waited for a processor taken
// off), beside the same for an idle window of another process (what the X
// server and a loaded machine add). References, in the same process: for
// the time, QXmlStreamReader going through the same file token by token and
// keeping nothing, run by run; then the cache's write and read of the result.

#include "DlgVideoList.h"
#include "Settings.h"
#include "acceptance_harness.h"
#include "guide/GuideService.h"
#include "guidegen.h"
#include "httpfileserver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWindow>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>
#include <unistd.h>

namespace {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(' ', 0, 2)
                                          : QString();
}

// VmHWM or VmRSS in MiB; resetPeak() makes VmHWM start again from what is
// in use now.
double statusMiB(const QByteArray &field = "VmHWM:")
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

// CPU time of the calling thread, in milliseconds.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void resetPeak()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

// Serves a folder on 127.0.0.1 until standard input closes.
int serve(const QString &strDir)
{
    HttpFileServer server(strDir);
    if (!server.start())
        return 1;
    std::printf("%d\n", server.port());
    std::fflush(stdout);
    char c;
    while (read(0, &c, 1) > 0) {
    }
    return 0;
}

// An idle window in a process of its own, until standard input closes: the
// reference of the round trips (what the X server and a loaded machine add).
int idleWindow(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(200, 100);
    window.show();
    std::printf("%llu\n", static_cast<unsigned long long>(window.winId()));
    std::fflush(stdout);
    std::thread watch([] {
        char c;
        while (read(0, &c, 1) > 0) {
        }
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    const int nResult = app.exec();
    watch.join();
    return nResult;
}

struct Figures
{
    QVector<double> vecSecs, vecMBps, vecPeak, vecLate, vecPing, vecGuiCpu, vecIdlePing;
};

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--idle") == 0)
        return idleWindow(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--serve") == 0) {
        QCoreApplication app(argc, argv);
        return serve(QString::fromLocal8Bit(argv[2]));
    }
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int nRuns = args.value(1, QStringLiteral("3")).toInt();
    const qint64 nTargetBytes = args.value(2, QStringLiteral("200")).toLongLong() << 20;
    const int nChannels = args.value(3, QStringLiteral("10000")).toInt();

    QTemporaryDir dir;
    GuideGen::Options guide;
    guide.nChannels = nChannels;
    guide.nMinutes = 30;
    guide.nProgrammes =
        int(qMax<qint64>(1, (nTargetBytes + 583LL * nChannels - 1) / (583LL * nChannels)));
    guide.nOffsetMinutes = 60;
    guide.nFirstStart = 1796644800;
    // Two hours in: every programme lies in the window kept, the most to hold.
    const qint64 nNow = guide.nFirstStart + 2 * 3600;
    const QString strPlain = dir.filePath(QStringLiteral("guide.xml"));
    qint64 nXmlBytes = 0;
    {
        QFile file(strPlain);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        nXmlBytes = GuideGen::write(&file, guide);
    }
    if (QProcess::execute(
            QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("gzip -1 -c '%1' > '%1.gz'").arg(strPlain)}) != 0)
        return 1;
    out() << QStringLiteral("guide: %1 MiB of XML (%2 MiB gzip), %3 channels, %4 programmes "
                            "each\n")
                 .arg(nXmlBytes / 1048576.0, 0, 'f', 1)
                 .arg(QFileInfo(strPlain + QStringLiteral(".gz")).size() / 1048576.0, 0, 'f', 1)
                 .arg(nChannels)
                 .arg(guide.nProgrammes);

    QProcess server;
    server.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve"), dir.path()});
    if (!server.waitForReadyRead(10000))
        return 1;
    const QString strBase =
        QStringLiteral("http://127.0.0.1:%1/").arg(server.readLine().trimmed().toInt());

    // The user's channels: all of the guide's, in the list as the player shows it.
    CSettings settings(QStringLiteral("Mirel Software"), QStringLiteral("Mirel Player bench"));
    g_pSettings = &settings;
    QStringList lstTriples;
    for (int c = 1; c <= nChannels; ++c)
        lstTriples << GuideGen::channelName(c) << QStringLiteral("http://127.0.0.1/%1").arg(c)
                   << QStringLiteral("0");
    settings.setDefaultChannels(lstTriples);
    QWidget window;
    window.resize(1280, 400);
    CDlgVideoList list(&window);
    list.setGeometry(0, 0, 1280, 200);
    window.show();
    QElapsedTimer wait;
    wait.start();
    while (!window.windowHandle()->isExposed() && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    QProcess idle;
    idle.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--idle")});
    if (!idle.waitForReadyRead(10000))
        return 1;
    const quint32 nIdleWindow = quint32(idle.readLine().trimmed().toULongLong());

    QVector<double> vecRef;
    // Without a cache: what is measured is the reading.
    GuideService service{QString()};
    service.setClock([nNow] { return nNow; });
    service.setChannelSource([&list] { return list.guideChannels(); });
    list.setGuide(&service);

    out() << QStringLiteral("in use before reading (the list of %1 channels shown): %2 MiB\n")
                 .arg(nChannels)
                 .arg(statusMiB("VmRSS:"), 0, 'f', 1);
    QMap<QString, Figures> figures;
    const QStringList lstKinds{QStringLiteral("plain"), QStringLiteral("gzip")};
    for (int r = 0; r < nRuns; ++r) {
        // The reference, run by run: the parser of Qt alone over the same bytes.
        {
            QFile file(strPlain);
            file.open(QIODevice::ReadOnly);
            QElapsedTimer t;
            t.start();
            QXmlStreamReader xml(&file);
            xml.setNamespaceProcessing(false);
            while (!xml.atEnd())
                xml.readNext();
            vecRef << t.nsecsElapsed() / 1e9;
        }
        for (const QString &strKind : lstKinds) {
            const QString strUrl =
                strBase + (strKind == QLatin1String("gzip") ? "guide.xml.gz" : "guide.xml");

            QElapsedTimer lateness;
            QElapsedTimer timer;
            double dLate = 0;
            QTimer probe;
            probe.setInterval(5);
            double dLateAt = 0;
            QObject::connect(&probe, &QTimer::timeout, [&] {
                const double dNow = lateness.nsecsElapsed() / 1e6 - 5;
                if (dNow > dLate) {
                    dLate = dNow;
                    dLateAt = timer.nsecsElapsed() / 1e9;
                }
                lateness.restart();
            });
            acceptance::WmPinger pinger(quint32(window.winId()), 20, qint64(getpid()));
            acceptance::WmPinger pingerIdle(nIdleWindow, 20, idle.processId());
            QSignalSpy spyRead(&service, &GuideService::guideRead);
            resetPeak();
            timer.start();
            const double dCpuBefore = threadCpuMs();
            lateness.start();
            probe.start();
            pinger.start();
            pingerIdle.start();
            // A new address: the guide of the last one goes, this one is read.
            service.setAddresses({strUrl});
            service.start();
            if (!spyRead.wait(600000) || !spyRead.at(0).at(1).toBool()) {
                out() << "read failed: " << spyRead.value(0).value(2).toString() << "\n";
                return 1;
            }
            const double dSecs = timer.nsecsElapsed() / 1e9;
            // The list repaints with the guide line.
            QCoreApplication::processEvents();
            const double dGuiCpu = threadCpuMs() - dCpuBefore;
            probe.stop();
            const std::vector<double> vecPings = pinger.stop();
            const std::vector<double> vecIdle = pingerIdle.stop();
            Figures &f = figures[strKind];
            f.vecSecs << dSecs;
            f.vecMBps << nXmlBytes / 1048576.0 / dSecs;
            f.vecPeak << statusMiB();
            f.vecLate << dLate;
            f.vecPing << acceptance::WmPinger::maxOf(vecPings);
            f.vecGuiCpu << dGuiCpu;
            f.vecIdlePing << acceptance::WmPinger::maxOf(vecIdle);
            out() << QStringLiteral("run %1 %2: %3 s, GUI thread CPU %4 ms, timer late %5 ms "
                                    "(at %8 s), pings %6, idle window's max %9 ms, load %7\n")
                         .arg(r + 1)
                         .arg(strKind)
                         .arg(dSecs, 0, 'f', 2)
                         .arg(dGuiCpu, 0, 'f', 1)
                         .arg(dLate, 0, 'f', 1)
                         .arg(acceptance::WmPinger::summary(vecPings))
                         .arg(loadAverage())
                         .arg(dLateAt, 0, 'f', 2)
                         .arg(acceptance::WmPinger::maxOf(vecIdle), 0, 'f', 1);
            out().flush();
            const QModelIndex first = list.channelView(0)->model()->index(0, 0);
            if (service.nowNext(first.data().toString(), QString()).isEmpty()) {
                out() << "no programme for " << first.data().toString() << "\n";
                return 1;
            }
        }
    }
    server.closeWriteChannel();
    server.waitForFinished(5000);
    idle.closeWriteChannel();
    idle.waitForFinished(5000);

    // The cache of what was read: written after each read, read at start
    // (both on the guide's worker thread in the player).
    const XmltvParser::Result result =
        GuideReader::read(strPlain, list.guideChannels()(), nNow - GuideService::kKeepBackSecs,
                          nNow + GuideService::kKeepAheadSecs);
    const QString strCache = dir.filePath(QStringLiteral("guide.sqlite"));
    QVector<double> vecStore, vecLoad;
    for (int r = 0; r < nRuns; ++r) {
        QElapsedTimer t;
        t.start();
        GuideCache::store(strCache, {strPlain, nNow, result.channels});
        vecStore << t.nsecsElapsed() / 1e9;
        t.restart();
        const QVector<GuideCache::Entry> vecLoaded =
            GuideCache::load(strCache, nNow - GuideService::kKeepBackSecs);
        vecLoad << t.nsecsElapsed() / 1e9;
        if (vecLoaded.value(0).channels.size() != result.channels.size())
            return 1;
    }
    out() << QStringLiteral("cache of %1 programmes: %2 MiB on disk, written in %3 s, read "
                            "back in %4 s (medians)\n")
                 .arg(result.nKept)
                 .arg(QFileInfo(strCache).size() / 1048576.0, 0, 'f', 1)
                 .arg(median(vecStore), 0, 'f', 2)
                 .arg(median(vecLoad), 0, 'f', 2);

    const double dRef = median(vecRef);
    out() << QStringLiteral("\nmedians of %1 runs; reference (QXmlStreamReader alone over the "
                            "file): %2 s, %3 MiB/s\n")
                 .arg(nRuns)
                 .arg(dRef, 0, 'f', 2)
                 .arg(nXmlBytes / 1048576.0 / dRef, 0, 'f', 1);
    out() << "kind       read s  ratio  MiB/s XML  peak MiB  GUI CPU ms  timer late ms  ping max "
             "ms  idle ping max ms\n";
    for (const QString &strKind : lstKinds) {
        const Figures &f = figures[strKind];
        out() << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9\n")
                     .arg(strKind, -6)
                     .arg(median(f.vecSecs), 10, 'f', 2)
                     .arg(median(f.vecSecs) / dRef, 6, 'f', 2)
                     .arg(median(f.vecMBps), 10, 'f', 1)
                     .arg(median(f.vecPeak), 9, 'f', 1)
                     .arg(median(f.vecGuiCpu), 11, 'f', 1)
                     .arg(median(f.vecLate), 14, 'f', 1)
                     .arg(median(f.vecPing), 12, 'f', 1)
                     .arg(median(f.vecIdlePing), 18, 'f', 1);
    }
    g_pSettings = nullptr;
    return 0;
}
