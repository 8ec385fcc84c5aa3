// Long run of the web client: many play reports and "Newly" refreshes against
// a scripted server on the loopback interface, printing the process's resident
// memory as it goes. Flat figures mean that nothing per request is kept.
//
//   bench_webclient [ROUNDS]     (default 10000; one round = a play report and
//                                 a refresh: get_settings, then get_video_list)
#include "DlgVideoList.h"
#include "MainWindow.h"
#include "ScriptedHttpServer.h"
#include "Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkReply>
#include <QTemporaryDir>

#include <cstdio>

namespace {

long residentKiB()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

QByteArray channelList()
{
    QByteArray data;
    for (int i = 1; i <= 20; ++i) {
        if (i > 1)
            data += ',';
        data += QStringLiteral(R"({"id":%1,"name":"Channel %1","url":"http://127.0.0.1:9/%1.m3u8",)"
                               R"("region":"all","score":%2})")
                    .arg(i)
                    .arg(i * 3)
                    .toUtf8();
    }
    return R"({"action":"get_video_list","data":[)" + data + "]}";
}

// Runs the event loop until the server has seen nRequests requests and the
// window has handled (and freed) every reply.
bool settle(MainWindow &window, ScriptedHttpServer &server, int nRequests)
{
    QElapsedTimer timer;
    timer.start();
    while (server.requestCount() < nRequests || !window.findChildren<QNetworkReply *>().isEmpty()) {
        if (timer.elapsed() > 30000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // Never touch the user's own settings: a private, throw-away home.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qSetMessagePattern(QStringLiteral("%{if-warning}%{message}%{endif}%{if-critical}%{message}"
                                      "%{endif}%{if-fatal}%{message}%{endif}"));

    QApplication app(argc, argv);
    const int nRounds = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    if (nRounds <= 0) {
        std::fprintf(stderr, "usage: bench_webclient [ROUNDS]\n");
        return 2;
    }

    ScriptedHttpServer server;
    if (!server.listen())
        return 1;
    server.setRecording(false);
    const QByteArray settings = ScriptedHttpServer::http(
        R"({"action":"get_settings","data":[{"name":"list_ver","value":"7"}]})");
    const QByteArray list = ScriptedHttpServer::http(channelList());
    const QByteArray ack = ScriptedHttpServer::http(R"({"action":"post_play_info"})");
    server.setScript([&](const ScriptedHttpServer::Request &request) {
        const QByteArray path = request.path();
        if (path == "/remote/get_settings")
            return ScriptedHttpServer::Answer{ScriptedHttpServer::Answer::Reply, settings};
        if (path == "/remote/get_video_list")
            return ScriptedHttpServer::Answer{ScriptedHttpServer::Answer::Reply, list};
        return ScriptedHttpServer::Answer{ScriptedHttpServer::Answer::Reply, ack};
    });
    MainWindow::setServiceUrl(server.url());

    CSettings settingsStore(QStringLiteral("Mirel Software"), QStringLiteral("Mirel Player"));
    g_pSettings = &settingsStore;
    settingsStore.setAutoPlayLast(false);

    int nRequests = 0;
    {
        MainWindow window;
        nRequests = 2; // get_settings from the constructor, then the list it names
        if (!settle(window, server, nRequests)) {
            std::fprintf(stderr, "the first requests were not answered\n");
            return 1;
        }

        const int nWarmUp = qMin(500, nRounds);
        const int nBatch = 20; // rounds in flight at once
        long nRssWarm = 0;
        long nRssPeak = 0;
        QElapsedTimer timer;
        std::printf("%8s %10s %12s\n", "rounds", "RSS KiB", "ms/round");
        for (int nDone = 0; nDone < nRounds;) {
            if (nDone == nWarmUp) {
                nRssWarm = residentKiB();
                timer.start();
                std::printf("%8d %10ld %12s  (after warm-up)\n", nDone, nRssWarm, "-");
            }
            const int nStep = qMin(nBatch, (nDone < nWarmUp ? nWarmUp : nRounds) - nDone);
            for (int i = 0; i < nStep; ++i) {
                const int nChannel = (nDone + i) % 20 + 1;
                window.postPlayInfo(QStringLiteral("Channel %1").arg(nChannel),
                                    QStringLiteral("http://127.0.0.1:9/%1.m3u8").arg(nChannel));
                window.getSettingsFromWeb();
            }
            nDone += nStep;
            nRequests += 3 * nStep;
            if (!settle(window, server, nRequests)) {
                std::fprintf(stderr, "stalled after %d rounds\n", nDone);
                return 1;
            }
            if (nDone > nWarmUp) {
                const long nRss = residentKiB();
                nRssPeak = qMax(nRssPeak, nRss);
                if (nDone % 1000 == 0 || nDone == nRounds)
                    std::printf("%8d %10ld %12.3f\n", nDone, nRss,
                                double(timer.elapsed()) / (nDone - nWarmUp));
            }
        }
        std::fflush(stdout);
        const long nRssEnd = residentKiB();
        std::printf("requests answered: %d; replies left: %d\n", server.requestCount(),
                    int(window.findChildren<QNetworkReply *>().size()));
        if (nRounds > nWarmUp)
            std::printf("RSS after warm-up %ld KiB, at the end %ld KiB, peak %ld KiB: "
                        "%+ld KiB over %d rounds (%.3f KiB per 1000 rounds)\n",
                        nRssWarm, nRssEnd, nRssPeak, nRssEnd - nRssWarm, nRounds - nWarmUp,
                        1000.0 * double(nRssEnd - nRssWarm) / (nRounds - nWarmUp));
    }
    g_pSettings = nullptr;
    return 0;
}
