// mirel-channel-service: the channel service of Mirel Player. Serves the
// channel list of an M3U file, takes play reports into SQLite or PostgreSQL
// and serves the demo channels.

#include "ChannelService.h"
#include "ChannelStore.h"
#include "DemoChannels.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

const char kName[] = "mirel-channel-service";

void printUsage()
{
    std::printf("Usage: %s [OPTION]...\n"
                "The channel service of Mirel Player: serves a channel list from an M3U file,\n"
                "stores play reports, and serves the demo channels as live HLS streams.\n"
                "\n"
                "  --listen ADDR:PORT  address to serve on (default 127.0.0.1:8765; port 0 picks\n"
                "                      a free port, which the start-up line names)\n"
                "  --channels FILE     M3U/M3U8 channel file (default: channels.m3u beside the\n"
                "                      program, else ../share/mirel-player/channels.m3u from it)\n"
                "  --db FILE|URL       SQLite database file (default\n"
                "                      $XDG_DATA_HOME/mirel-player/channel-service.sqlite), or a\n"
                "                      PostgreSQL connection string: postgresql://USER@HOST/DB\n"
                "                      or 'host=... dbname=...'; several services may share one\n"
                "  --max-per-address N connections one client address may have open at once\n"
                "                      (default %d)\n"
                "  --demo DIR          demo channel segments, made by scripts/make-demo-channels\n"
                "                      (default: ../demo from the program, as in a build tree,\n"
                "                      else ../share/mirel-player/demo from it)\n"
                "  --help              show this help and exit\n"
                "\n"
                "The channel file is read again when it changes (seen at the next get_settings)\n"
                "or on SIGHUP. SIGINT and SIGTERM stop the service after the requests under way.\n",
                kName, ChannelService::kDefaultMaxPerAddress);
}

[[noreturn]] void refuseToStart(const QString &strWhy)
{
    std::fprintf(stderr, "%s: %s\n", kName, strWhy.toLocal8Bit().constData());
    std::exit(2);
}

QString programDir()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

QString firstExisting(const QStringList &lstCandidates)
{
    for (const QString &strPath : lstCandidates) {
        if (QFileInfo::exists(strPath))
            return strPath;
    }
    return lstCandidates.value(0);
}

bool parseListen(const QString &strValue, std::string &strHost, int &nPort)
{
    const int nColon = strValue.lastIndexOf(QLatin1Char(':'));
    if (nColon <= 0)
        return false;
    bool bOk = false;
    const QString strPort = strValue.mid(nColon + 1);
    nPort = strPort.toInt(&bOk);
    if (!bOk || strPort.startsWith(QLatin1Char('+')) || nPort < 0 || nPort > 65535)
        return false;
    QString strAddr = strValue.left(nColon);
    if (strAddr.startsWith(QLatin1Char('[')) && strAddr.endsWith(QLatin1Char(']')))
        strAddr = strAddr.mid(1, strAddr.size() - 2);
    strHost = strAddr.toStdString();
    return !strHost.empty();
}

} // namespace

int main(int argc, char *argv[])
{
    qSetMessagePattern(QStringLiteral("%{time yyyy-MM-dd hh:mm:ss.zzz} "
                                      "%{if-warning}warning: %{endif}%{if-critical}error: %{endif}"
                                      "%{message}"));

    QString strListen = QStringLiteral("127.0.0.1:8765");
    QString strChannels;
    QString strDb;
    QString strDemo;
    QString strMaxPerAddress = QString::number(ChannelService::kDefaultMaxPerAddress);
    for (int i = 1; i < argc; ++i) {
        const QString strArg = QString::fromLocal8Bit(argv[i]);
        if (strArg == QLatin1String("--help") || strArg == QLatin1String("-h")) {
            printUsage();
            return 0;
        }
        QString strOption = strArg;
        QString strValue;
        bool bHasValue = false;
        const int nEq = strArg.indexOf(QLatin1Char('='));
        if (strArg.startsWith(QLatin1String("--")) && nEq > 0) {
            strOption = strArg.left(nEq);
            strValue = strArg.mid(nEq + 1);
            bHasValue = true;
        }
        QString *pTarget = nullptr;
        if (strOption == QLatin1String("--listen"))
            pTarget = &strListen;
        else if (strOption == QLatin1String("--channels"))
            pTarget = &strChannels;
        else if (strOption == QLatin1String("--db"))
            pTarget = &strDb;
        else if (strOption == QLatin1String("--demo"))
            pTarget = &strDemo;
        else if (strOption == QLatin1String("--max-per-address"))
            pTarget = &strMaxPerAddress;
        if (!pTarget)
            refuseToStart(QStringLiteral("unknown option '%1' (see --help)").arg(strArg));
        if (!bHasValue) {
            if (i + 1 >= argc)
                refuseToStart(QStringLiteral("option %1 needs a value (see --help)").arg(strArg));
            strValue = QString::fromLocal8Bit(argv[++i]);
        }
        if (strValue.isEmpty())
            refuseToStart(QStringLiteral("option %1 needs a value (see --help)").arg(strOption));
        *pTarget = strValue;
    }

    std::string strHost;
    int nPort = 0;
    if (!parseListen(strListen, strHost, nPort))
        refuseToStart(QStringLiteral("bad --listen value '%1': expected ADDR:PORT").arg(strListen));

    bool bNumber = false;
    const int nMaxPerAddress = strMaxPerAddress.toInt(&bNumber);
    if (!bNumber || nMaxPerAddress < 1 || nMaxPerAddress > 100000)
        refuseToStart(QStringLiteral("bad --max-per-address value '%1': expected a number from 1")
                          .arg(strMaxPerAddress));

    const QString strProgramDir = programDir();
    if (strChannels.isEmpty())
        strChannels = firstExisting(
            {strProgramDir + QStringLiteral("/channels.m3u"),
             strProgramDir + QStringLiteral("/" MIREL_DATA_FROM_BIN "/mirel-player/channels.m3u")});
    if (strDemo.isEmpty())
        strDemo = firstExisting(
            {strProgramDir + QStringLiteral("/../demo"),
             strProgramDir + QStringLiteral("/" MIREL_DATA_FROM_BIN "/mirel-player/demo")});
    strDemo = QDir::cleanPath(strDemo);
    strChannels = QDir::cleanPath(strChannels);
    if (strDb.isEmpty()) {
        const QString strDataDir =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
            QStringLiteral("/mirel-player");
        if (!QDir().mkpath(strDataDir))
            refuseToStart(QStringLiteral("cannot create %1").arg(strDataDir));
        strDb = strDataDir + QStringLiteral("/channel-service.sqlite");
    }

    // Signals are taken by one thread of our own (sigwait), so every other
    // thread, started below, runs with them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN); // a client that went away is a failed write, not a death

    ChannelStore store;
    QString strError;
    if (!store.open(strDb, &strError))
        refuseToStart(strError);
    if (!store.loadChannels(strChannels, &strError)) {
        store.close();
        refuseToStart(strError);
    }

    DemoChannels demo;
    const int nDemo = demo.load(strDemo);

    ChannelService service(store, demo, nMaxPerAddress);
    if (!service.bind(strHost, nPort, &strError)) {
        store.close();
        refuseToStart(strError);
    }

    std::atomic<bool> bSignalThreadDone{false};
    std::thread signalThread([&] {
        for (;;) {
            int nSignal = 0;
            if (sigwait(&stopSignals, &nSignal) != 0)
                continue;
            if (nSignal == SIGHUP) {
                qInfo() << "SIGHUP: reading the channel file and the demo channels again";
                store.reloadIfChanged(true);
                demo.load(demo.dir());
                continue;
            }
            qInfo().noquote() << (nSignal == SIGINT ? "SIGINT" : "SIGTERM") << ": stopping";
            bSignalThreadDone = true;
            service.stop();
            return;
        }
    });

    qInfo().noquote() << QStringLiteral("channel service listening on http://%1:%2 (database %3,"
                                        " %4 demo channels in %5)")
                             .arg(QString::fromStdString(strHost))
                             .arg(service.port())
                             .arg(store.description())
                             .arg(nDemo)
                             .arg(strDemo);
    const bool bServed = service.run();
    // When the server ended on its own, wake the signal thread so it ends too.
    if (!bSignalThreadDone)
        pthread_kill(signalThread.native_handle(), SIGTERM);
    signalThread.join();
    store.close();
    qInfo() << "stopped; every acknowledged report is stored";
    return bServed ? 0 : 1;
}
