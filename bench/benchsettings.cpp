// bench_settings: writes the player's settings file for the whole-program
// benchmarks (bench/run-benchmarks), in the form the player stores itself.
//
//   bench_settings FILE [--autoplay NAME URL] [--newly NAME URL]...
//                  [--category NAME COUNT URL] [--size W H]
//
// --autoplay   the last played channel, started at launch (auto-play off without it)
// --newly      a channel of the "Newly" list, in order
// --category   a category of COUNT generated channels ("Channel 1" ...), all on URL
// --size       the window size (not maximised); 800x450 by default

#include <QCoreApplication>
#include <QSettings>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr,
                     "usage: bench_settings FILE [--autoplay NAME URL] [--newly NAME URL]... "
                     "[--category NAME COUNT URL] [--size W H]\n");
        return 1;
    }

    QString strPlayName, strPlayUrl;
    QStringList lstNewly, lstCategories;
    QVariantMap mapCategory;
    int nWidth = 800, nHeight = 450;
    for (int i = 2; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--autoplay") && i + 2 < args.size()) {
            strPlayName = args.at(++i);
            strPlayUrl = args.at(++i);
        } else if (a == QLatin1String("--newly") && i + 2 < args.size()) {
            lstNewly << args.at(i + 1) << args.at(i + 2) << QStringLiteral("0");
            i += 2;
        } else if (a == QLatin1String("--category") && i + 3 < args.size()) {
            const QString strName = args.at(++i);
            const int nCount = args.at(++i).toInt();
            const QString strUrl = args.at(++i);
            QStringList lstTriples;
            lstTriples.reserve(nCount * 3);
            for (int n = 1; n <= nCount; ++n)
                lstTriples << QStringLiteral("Channel %1").arg(n) << strUrl
                           << QString::number(n % 100);
            lstCategories << strName;
            mapCategory.insert(strName, lstTriples);
        } else if (a == QLatin1String("--size") && i + 2 < args.size()) {
            nWidth = args.at(++i).toInt();
            nHeight = args.at(++i).toInt();
        } else {
            std::fprintf(stderr, "bench_settings: unknown argument %s\n", qPrintable(a));
            return 1;
        }
    }

    QSettings settings(args.at(1), QSettings::IniFormat);
    settings.clear();
    settings.setValue(QStringLiteral("m_nMainWindowHeight"), nHeight);
    settings.setValue(QStringLiteral("m_nMainWindowWidth"), nWidth);
    settings.setValue(QStringLiteral("m_bMainWindowMaximized"), false);
    settings.setValue(QStringLiteral("m_bVolumeMuted"), false);
    settings.setValue(QStringLiteral("m_nVolume"), 100);
    settings.setValue(QStringLiteral("m_bAutoPlayLast"), !strPlayUrl.isEmpty());
    settings.setValue(QStringLiteral("m_strRegion"), QStringLiteral("all"));
    settings.setValue(QStringLiteral("m_nLanguage"), 31);
    settings.setValue(QStringLiteral("m_strChannelListVer"), QString());
    settings.setValue(QStringLiteral("m_strPlayingVideoName"), strPlayName);
    settings.setValue(QStringLiteral("m_strPlayingVideoUrl"), strPlayUrl);
    settings.setValue(QStringLiteral("m_strPlayingRegion"), QString());
    settings.setValue(QStringLiteral("m_nCategoryVer"), 0);
    settings.setValue(QStringLiteral("m_lstCategoryList"), lstCategories);
    settings.setValue(QStringLiteral("m_mapCategory"), mapCategory);
    settings.setValue(QStringLiteral("m_lstDefaultChannels"), lstNewly);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        std::fprintf(stderr, "bench_settings: cannot write %s\n", qPrintable(args.at(1)));
        return 1;
    }
    return 0;
}
