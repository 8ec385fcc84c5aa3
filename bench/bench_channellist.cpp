// The channel list at 1,000 to 500,000 channels.
//
// Prints, per size, the median time to build the tabs from the settings store
// (constructing the panel), to show the panel (until its first paint is
// done), to narrow the current tab by one keystroke in the search field, of
// the GUI thread's share of a new "Newly" list of the same size arriving (its
// rows made beforehand, as a worker thread makes them), of one
// saveChannelLists() on the GUI thread, of writing the store to disk, of tearing the panel down,
// and the process's peak memory. Each size runs in a child process of its own (this program started
// again with
// --size), so every peak-memory figure belongs to that size alone; the child
// repeats the timings, the parent repeats the child and takes medians.
//
// Usage: bench_channellist [runs-per-child (5)] [children-per-size (3)] [sizes...]
//
// With --import first, it measures instead an M3U playlist of N channels
// imported into an empty list (the Import command's own path: read, parsed
// and sorted into 20 groups on a worker thread, then taken by the list and
// stored): the time until the list holds them, the longest the GUI thread
// was kept from its events meanwhile (the longest gap between the ticks of
// a 2 ms timer, its share of taking the rows included), and writing the
// store to disk afterwards.
//
// Usage: bench_channellist --import [runs-per-child (5)] [children-per-size (3)] [sizes...]

#include "ChannelListModel.h"
#include "DlgVideoList.h"
#include "PlaylistTransfer.h"
#include "Settings.h"
#include "guide/GuideService.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

// Times of the child, then its peak memory.
constexpr int kColumns = 8;

double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss; // KiB on Linux
}

// All but 400 of the channels in "Newly", as a provider's list comes from the
// service, and four categories of 100 of the user's own; every seventh name
// carries a broadcaster's logo.
void fillStore(int nChannels)
{
    auto triplesFor = [](int nFirst, int nCount) {
        QStringList lst;
        lst.reserve(nCount * 3);
        for (int i = nFirst; i < nFirst + nCount; ++i) {
            lst << (i % 7 == 0 ? QStringLiteral("CCTV-%1 频道 %2").arg(i % 8 + 1).arg(i)
                               : QStringLiteral("Channel %1 频道").arg(i))
                << QStringLiteral("http://streams.example.net/live/%1/index.m3u8").arg(i)
                << QString::number(i % 1000);
        }
        return lst;
    };
    const int nPerCategory = nChannels >= 1000 ? 100 : 0;
    const int nNewly = nChannels - 4 * nPerCategory;
    g_pSettings->clear();
    g_pSettings->load();
    g_pSettings->m_lstDefaultChannels = triplesFor(0, nNewly);
    for (int c = 0; c < 4; ++c) {
        g_pSettings->addCategory(QStringLiteral("Category %1").arg(c),
                                 triplesFor(nNewly + c * nPerCategory, nPerCategory));
    }
    // The last channel played is near the end of "Newly", which the panel then shows.
    g_pSettings->m_strPlayingVideoName = QStringLiteral("Channel %1 频道").arg(nNewly - 2);
    g_pSettings->save();
    g_pSettings->sync();
}

// Shows the panel at the size the main window gives it and waits until the
// layout and the first paint are done.
void showPanel(CDlgVideoList *dlg)
{
    dlg->resize(1280, 200);
    dlg->show();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// One keystroke into the search field of the panel, until the narrowed list
// is painted; -1 when the panel has no search field.
double filterOneKey(CDlgVideoList *dlg)
{
    auto *edit = dlg->findChild<QLineEdit *>(QStringLiteral("editChannelFilter"));
    if (!edit)
        return -1;
    QElapsedTimer timer;
    timer.start();
    QTest::keyClick(edit, Qt::Key_7);
    QCoreApplication::processEvents();
    const double dMs = timer.nsecsElapsed() / 1e6;
    edit->clear();
    QCoreApplication::processEvents();
    return dMs;
}

int runChild(int nChannels, int nRuns)
{
    QVector<double> build, show, filter, arrive, save, sync, teardown;
    for (int r = 0; r < nRuns; ++r) {
        fillStore(nChannels);
        g_pSettings->load();

        QElapsedTimer timer;
        timer.start();
        auto dlg = std::make_unique<CDlgVideoList>(nullptr);
        build << timer.nsecsElapsed() / 1e6;
        // As in the player: the rows are painted by the guide's delegate
        // (here with no guide address, as after a fresh install).
        GuideService guide{QString()};
        dlg->setGuide(&guide);

        timer.restart();
        showPanel(dlg.get());
        show << timer.nsecsElapsed() / 1e6;

        filter << filterOneKey(dlg.get());

        // A new "Newly" list of the same size from the service: its rows are
        // made on a worker thread, the GUI thread only swaps them in.
        QVector<VideoItem> vecRecords;
        vecRecords.reserve(nChannels);
        for (int i = 0; i < nChannels; ++i) {
            VideoItem rec;
            rec.nId = i + 1;
            rec.strName = QStringLiteral("New %1").arg(i);
            rec.strUrl = QStringLiteral("http://streams.example.net/new/%1.m3u8").arg(i);
            rec.strRegion = QStringLiteral("all");
            vecRecords.append(rec);
        }
        ChannelListModel::Rows rows = ChannelListModel::rowsFromRecords(vecRecords);
        timer.restart();
        dlg->setNewlyRows(std::move(rows));
        QCoreApplication::processEvents();
        arrive << timer.nsecsElapsed() / 1e6;

        timer.restart();
        dlg->saveChannelLists();
        save << timer.nsecsElapsed() / 1e6;

        timer.restart();
        g_pSettings->sync();
        sync << timer.nsecsElapsed() / 1e6;

        timer.restart();
        dlg.reset();
        teardown << timer.nsecsElapsed() / 1e6;
    }
    std::printf("%.3f %.3f %.3f %.3f %.3f %.3f %.3f %ld\n", median(build), median(show),
                median(filter), median(arrive), median(save), median(sync), median(teardown),
                peakKiB());
    return 0;
}

// A playlist as providers publish them: 20 groups, a logo and an id per
// channel, names in several scripts.
QByteArray playlistOf(int nChannels)
{
    QByteArray data = "#EXTM3U x-tvg-url=\"http://epg.example.net/guide.xml\"\n";
    data.reserve(nChannels * 190);
    for (int i = 0; i < nChannels; ++i) {
        const QByteArray n = QByteArray::number(i);
        data += "#EXTINF:-1 tvg-id=\"ch" + n + ".example\" tvg-name=\"Channel " + n +
                "\" tvg-logo=\"http://logos.example.net/" + n + ".png\" group-title=\"Group " +
                QByteArray::number(i % 20) + "\",Channel " + n + " \xE9\xA2\x91\xE9\x81\x93\n" +
                "http://streams.example.net/live/" + n + "/index.m3u8\n";
    }
    return data;
}

int runImportChild(int nChannels, int nRuns)
{
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("big.m3u"));
    {
        QFile file(strPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(playlistOf(nChannels)) < 0)
            return 1;
    }
    QVector<double> total, stall, sync;
    for (int r = 0; r < nRuns; ++r) {
        fillStore(0);
        g_pSettings->load();
        auto dlg = std::make_unique<CDlgVideoList>(nullptr);
        auto *transfer = dlg->findChild<PlaylistTransfer *>();
        // The GUI thread's pauses: how late a 2 ms timer fires.
        QElapsedTimer clock;
        qint64 nLastTick = 0;
        qint64 nLongest = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 nNow = clock.nsecsElapsed();
            nLongest = std::max(nLongest, nNow - nLastTick);
            nLastTick = nNow;
        });
        QElapsedTimer timer;
        timer.start();
        clock.start();
        ticker.start(2);
        transfer->importFrom(QUrl::fromLocalFile(strPath));
        while (transfer->isImporting() || dlg->channelModel(1) == nullptr)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        total << timer.nsecsElapsed() / 1e6;
        ticker.stop();
        stall << nLongest / 1e6;
        int nHeld = 0;
        for (int nTab = 1; dlg->channelModel(nTab); ++nTab)
            nHeld += dlg->channelModel(nTab)->count();
        if (nHeld != nChannels) {
            std::fprintf(stderr, "imported %d of %d channels\n", nHeld, nChannels);
            return 1;
        }
        timer.restart();
        g_pSettings->sync();
        sync << timer.nsecsElapsed() / 1e6;
    }
    std::printf("%.3f %.3f %.3f %ld\n", median(total), median(stall), median(sync), peakKiB());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // A private settings store: never the user's own channel list.
    QTemporaryDir dirConfig;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dirConfig.path()));
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        QDir(dirConfig.path()).mkdir(QStringLiteral("run"));
        QFile::setPermissions(dirConfig.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dirConfig.filePath(QStringLiteral("run"))));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    const QStringList lstArgs = app.arguments();
    CSettings settings(QStringLiteral("Mirel Software"), QStringLiteral("Mirel Player Bench"));
    g_pSettings = &settings;

    if (lstArgs.size() >= 4 && lstArgs.at(1) == QLatin1String("--size"))
        return runChild(lstArgs.at(2).toInt(), lstArgs.at(3).toInt());
    if (lstArgs.size() >= 4 && lstArgs.at(1) == QLatin1String("--import-size")) {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        return runImportChild(lstArgs.at(2).toInt(), lstArgs.at(3).toInt());
    }

    const bool bImport = lstArgs.size() > 1 && lstArgs.at(1) == QLatin1String("--import");
    const int nFirst = bImport ? 2 : 1;
    const int nRuns = lstArgs.size() > nFirst ? std::max(1, lstArgs.at(nFirst).toInt()) : 5;
    const int nChildren =
        lstArgs.size() > nFirst + 1 ? std::max(1, lstArgs.at(nFirst + 1).toInt()) : 3;
    QVector<int> vecSizes;
    for (int i = nFirst + 2; i < lstArgs.size(); ++i)
        vecSizes << lstArgs.at(i).toInt();
    if (vecSizes.isEmpty())
        vecSizes = bImport ? QVector<int>{1000, 10000, 100000, 200000}
                           : QVector<int>{0, 1000, 10000, 100000, 200000, 500000};
    const int nColumns = bImport ? 4 : kColumns;
    if (bImport) {
        std::printf("playlist import, medians of %d runs in each of %d processes per size\n", nRuns,
                    nChildren);
        std::printf("%8s %10s %10s %10s %10s\n", "channels", "import ms", "stall ms", "disk ms",
                    "peak MiB");
    } else {
        std::printf("channel list, medians of %d runs (1 from 200,000 on) in each of %d "
                    "processes per size\n",
                    nRuns, nChildren);
        std::printf("%8s %10s %10s %10s %10s %10s %10s %10s %10s\n", "channels", "build ms",
                    "show ms", "filter ms", "arrive ms", "save ms", "disk ms", "free ms",
                    "peak MiB");
    }
    for (int nChannels : qAsConst(vecSizes)) {
        QVector<double> columns[kColumns];
        for (int c = 0; c < nChildren; ++c) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(),
                        {bImport ? QStringLiteral("--import-size") : QStringLiteral("--size"),
                         QString::number(nChannels),
                         QString::number(!bImport && nChannels >= 200000 ? 1 : nRuns)});
            if (!child.waitForFinished(-1) || child.exitCode() != 0) {
                std::fprintf(stderr, "child for %d channels failed\n", nChannels);
                return 1;
            }
            const QStringList lstFields =
                QString::fromLatin1(child.readAllStandardOutput()).simplified().split(' ');
            if (lstFields.size() != nColumns) {
                std::fprintf(stderr, "unexpected child output for %d channels\n", nChannels);
                return 1;
            }
            for (int i = 0; i < nColumns; ++i)
                columns[i] << lstFields.at(i).toDouble() / (i == nColumns - 1 ? 1024.0 : 1.0);
        }
        std::printf("%8d", nChannels);
        for (int i = 0; i < nColumns; ++i) {
            const double d = median(columns[i]);
            if (d < 0)
                std::printf(" %10s", "n/a");
            else
                std::printf(i == nColumns - 1 ? " %10.1f" : " %10.2f", d);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
