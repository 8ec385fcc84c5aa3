#include "MainWindow.h"
#include "Settings.h"
#include "SettingsWriter.h"
#include "testsupport.h"

#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QtTest>

#include <unistd.h>

namespace {
const QString kOrg = QStringLiteral("Mirel Software");
const QString kApp = QStringLiteral("Mirel Player");

QString storePath()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, kOrg, kApp).fileName();
}

void writeStore(const QByteArray &content)
{
    QDir().mkpath(QFileInfo(storePath()).absolutePath());
    QFile f(storePath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

// Makes the store file unwritable even for root, and undoes it on destruction.
class ReadOnlyStore
{
public:
    ReadOnlyStore()
    {
        if (geteuid() == 0) {
            m_bImmutable = QProcess::execute(QStringLiteral("chattr"),
                                             {QStringLiteral("+i"), storePath()}) == 0;
        } else {
            QFile::setPermissions(storePath(), QFile::ReadOwner);
            QFile::setPermissions(QFileInfo(storePath()).absolutePath(),
                                  QFile::ReadOwner | QFile::ExeOwner);
        }
    }
    ~ReadOnlyStore()
    {
        if (m_bImmutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), storePath()});
        QFile::setPermissions(QFileInfo(storePath()).absolutePath(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(storePath(), QFile::ReadOwner | QFile::WriteOwner);
    }
    bool usable() const { return m_bImmutable || geteuid() != 0; }

private:
    bool m_bImmutable = false;
};
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { TestSupport::verifyNoWindowLeft(); }
    void defaultsFromEmptyStore();
    void everyKeyRoundTrips();
    void anySetterWritesAllKeys();
    void changesGatheredIntoOneWrite();
    void listsReadInBackground_data();
    void listsReadInBackground();
    void wrongTypesConvert_data();
    void wrongTypesConvert();
    void firstDefaultChannel_data();
    void firstDefaultChannel();
    void untouchedKeysKept();
    void corruptStoreMovedAside_data();
    void corruptStoreMovedAside();
    void readOnlyStoreLeftAlone();
    void placement_data();
    void placement();
    void windowCloseStoresGeometry();
};

void TestSettings::init()
{
    QFile::remove(storePath());
    QFile::remove(storePath() + QStringLiteral(".corrupt"));
}

void TestSettings::defaultsFromEmptyStore()
{
    CSettings s(kOrg, kApp);
    QCOMPARE(s.m_nMainWindowHeight, 250);
    QCOMPARE(s.m_nMainWindowWidth, 400);
    QCOMPARE(s.m_bMainWindowMaximized, true);
    QCOMPARE(s.m_bVolumeMuted, false);
    QCOMPARE(s.m_nVolume, 100);
    QCOMPARE(s.m_bAutoPlayLast, true);
    QCOMPARE(s.m_strRegion, QStringLiteral("all"));
    QCOMPARE(s.m_nLanguage, int(QLocale::system().language()));
    QVERIFY(s.m_strChannelListVer.isEmpty());
    QVERIFY(s.m_strPlayingVideoName.isEmpty());
    QVERIFY(s.m_strPlayingVideoUrl.isEmpty());
    QVERIFY(s.m_strPlayingRegion.isEmpty());
    QCOMPARE(s.m_nCategoryVer, 0);
    QVERIFY(s.m_lstCategoryList.isEmpty());
    QVERIFY(s.m_mapCategory.isEmpty());
    QVERIFY(s.m_lstDefaultChannels.isEmpty());
}

void TestSettings::everyKeyRoundTrips()
{
    const QStringList lstNewly = {
        QStringLiteral("新闻 News"), QStringLiteral("http://a/1.m3u8"),       QStringLiteral("12"),
        QStringLiteral("スポーツ"),  QStringLiteral("udp://@239.0.0.1:1234"), QStringLiteral("0")};
    const QStringList lstFav = {QStringLiteral("凤凰卫视中文台"),
                                QStringLiteral("rtsp://x/y?a=b&c=d"), QStringLiteral("3")};
    {
        CSettings s(kOrg, kApp);
        s.setMainWindowHeight(611);
        s.setMainWindowWidth(-3);
        s.setMainWindowMaximized(false);
        s.setVolumeMuted(true);
        s.setVolume(37);
        s.setAutoPlayLast(false);
        s.setRegion(QStringLiteral("japan"));
        s.setLanguage(QLocale::Japanese);
        s.setChannelListVer(QStringLiteral("v 42"));
        s.setPlayingVideoName(QStringLiteral("東京 MX"));
        s.setPlayingVideoUrl(QStringLiteral("http://127.0.0.1/tokyo"));
        s.clearCategories();
        s.addCategory(QStringLiteral("My Favorite"), lstFav);
        s.addCategory(QStringLiteral("空"), {});
        s.setDefaultChannels(lstNewly);
    }
    CSettings s(kOrg, kApp);
    QCOMPARE(s.m_nMainWindowHeight, 611);
    QCOMPARE(s.m_nMainWindowWidth, -3);
    QCOMPARE(s.m_bMainWindowMaximized, false);
    QCOMPARE(s.m_bVolumeMuted, true);
    QCOMPARE(s.m_nVolume, 37);
    QCOMPARE(s.m_bAutoPlayLast, false);
    QCOMPARE(s.m_strRegion, QStringLiteral("japan"));
    QCOMPARE(s.m_nLanguage, int(QLocale::Japanese));
    QCOMPARE(s.m_strChannelListVer, QStringLiteral("v 42"));
    QCOMPARE(s.m_strPlayingVideoName, QStringLiteral("東京 MX"));
    QCOMPARE(s.m_strPlayingVideoUrl, QStringLiteral("http://127.0.0.1/tokyo"));
    QCOMPARE(s.m_lstCategoryList,
             QStringList({QStringLiteral("My Favorite"), QStringLiteral("空")}));
    QCOMPARE(s.m_mapCategory.value(QStringLiteral("My Favorite")).toStringList(), lstFav);
    QVERIFY(s.m_mapCategory.value(QStringLiteral("空")).toStringList().isEmpty());
    QCOMPARE(s.m_lstDefaultChannels, lstNewly);
}

void TestSettings::anySetterWritesAllKeys()
{
    {
        CSettings s(kOrg, kApp);
        s.setVolume(5);
    }
    QSettings raw(QSettings::NativeFormat, QSettings::UserScope, kOrg, kApp);
    QCOMPARE(raw.allKeys().size(), 16);
    for (const char *key :
         {"m_nMainWindowHeight", "m_nMainWindowWidth", "m_bMainWindowMaximized", "m_bVolumeMuted",
          "m_nVolume", "m_bAutoPlayLast", "m_strRegion", "m_nLanguage", "m_strChannelListVer",
          "m_strPlayingVideoName", "m_strPlayingVideoUrl", "m_strPlayingRegion", "m_nCategoryVer",
          "m_lstCategoryList", "m_mapCategory", "m_lstDefaultChannels"})
        QVERIFY2(raw.contains(QLatin1String(key)), key);
}

void TestSettings::changesGatheredIntoOneWrite()
{
    CSettings s(kOrg, kApp);
    auto *writer = s.findChild<SettingsWriter *>();
    QVERIFY(writer);
    QSignalSpy spyWritten(writer, &SettingsWriter::written);
    // A wheel spun fast: a hundred changes, one write, with the last value.
    for (int i = 1; i <= 100; ++i)
        s.setVolume(i);
    QCOMPARE(s.m_nVolume, 100);
    QVERIFY(spyWritten.wait(5000));
    QCOMPARE(spyWritten.count(), 1);
    QCOMPARE(spyWritten.first().first().value<QSettings::Status>(), QSettings::NoError);
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().contains("m_nVolume=100\n"));
}

void TestSettings::listsReadInBackground_data()
{
    QTest::addColumn<bool>("waitForLists");
    QTest::newRow("changed, then the lists come in") << true;
    QTest::newRow("changed and closed while they are read") << false;
}

void TestSettings::listsReadInBackground()
{
    QFETCH(bool, waitForLists);
    const QStringList lstNewly = {QStringLiteral("新闻"), QStringLiteral("http://n"),
                                  QStringLiteral("4")};
    {
        CSettings s(kOrg, kApp);
        s.addCategory(QStringLiteral("Fav"), {"F", "http://f", "1"});
        s.setDefaultChannels(lstNewly);
    }
    {
        CSettings s(kOrg, kApp, CSettings::ChannelLists::ReadInBackground);
        QCOMPARE(s.m_nVolume, 100); // the other keys at once
        s.setVolume(9);             // must not store empty lists over the stored ones
        if (waitForLists) {
            QTRY_VERIFY(s.channelListsLoaded());
            QCOMPARE(s.m_lstDefaultChannels, lstNewly);
            QCOMPARE(s.m_lstCategoryList, QStringList{"Fav"});
        }
    }
    CSettings s(kOrg, kApp);
    QCOMPARE(s.m_nVolume, 9);
    QCOMPARE(s.m_lstDefaultChannels, lstNewly);
    QCOMPARE(s.m_mapCategory.value(QStringLiteral("Fav")).toStringList(),
             (QStringList{"F", "http://f", "1"}));
}

void TestSettings::wrongTypesConvert_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("volume");
    QTest::addColumn<bool>("muted");
    QTest::addColumn<QStringList>("defaults");

    QTest::newRow("text volume") << QByteArray("[General]\nm_nVolume=loud\n") << 0 << false
                                 << QStringList();
    QTest::newRow("number as text")
        << QByteArray("[General]\nm_nVolume=\"42\"\n") << 42 << false << QStringList();
    QTest::newRow("bool from text")
        << QByteArray("[General]\nm_bVolumeMuted=true\n") << 100 << true << QStringList();
    QTest::newRow("bool from number")
        << QByteArray("[General]\nm_bVolumeMuted=1\n") << 100 << true << QStringList();
    QTest::newRow("single string as list") << QByteArray("[General]\nm_lstDefaultChannels=News\n")
                                           << 100 << false << QStringList{QStringLiteral("News")};
}

void TestSettings::wrongTypesConvert()
{
    QFETCH(QByteArray, content);
    writeStore(content);
    CSettings s(kOrg, kApp);
    QTEST(s.m_nVolume, "volume");
    QTEST(s.m_bVolumeMuted, "muted");
    QTEST(s.m_lstDefaultChannels, "defaults");
}

void TestSettings::firstDefaultChannel_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<bool>("found");
    QTest::newRow("empty") << QStringList() << false;
    QTest::newRow("two strings") << QStringList{QStringLiteral("A"), QStringLiteral("http://a")}
                                 << false;
    QTest::newRow("three strings")
        << QStringList{QStringLiteral("A"), QStringLiteral("http://a"), QStringLiteral("1")}
        << true;
}

void TestSettings::firstDefaultChannel()
{
    QFETCH(QStringList, stored);
    QFETCH(bool, found);
    CSettings s(kOrg, kApp);
    s.setDefaultChannels(stored);
    QString strName = QStringLiteral("untouched");
    QString strUrl = QStringLiteral("untouched");
    QCOMPARE(s.firstDefaultChannel(strName, strUrl), found);
    QCOMPARE(strName, found ? QStringLiteral("A") : QStringLiteral("untouched"));
    QCOMPARE(strUrl, found ? QStringLiteral("http://a") : QStringLiteral("untouched"));
}

void TestSettings::untouchedKeysKept()
{
    writeStore("[General]\nm_nCategoryVer=7\nm_strPlayingRegion=china\n");
    {
        CSettings s(kOrg, kApp);
        s.setVolume(10);
    }
    CSettings s(kOrg, kApp);
    QCOMPARE(s.m_nCategoryVer, 7);
    QCOMPARE(s.m_strPlayingRegion, QStringLiteral("china"));
    QCOMPARE(s.m_nVolume, 10);
}

void TestSettings::corruptStoreMovedAside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("binary garbage") << QByteArray("\x00\x01\xff\xfe garbage [[[", 17);
    QTest::newRow("broken section") << QByteArray("[General\nm_nVolume=3\n");
    QTest::newRow("key without name") << QByteArray("[General]\nm_nVolume=3\n=c\n\\\\\\");
}

void TestSettings::corruptStoreMovedAside()
{
    QFETCH(QByteArray, content);
    writeStore(content);
    {
        CSettings s(kOrg, kApp);
        QCOMPARE(s.m_nVolume, 100);
        s.setVolume(33);
        QCOMPARE(s.status(), QSettings::NoError);
    }
    QFile aside(storePath() + QStringLiteral(".corrupt"));
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), content);
    CSettings s(kOrg, kApp);
    QCOMPARE(s.m_nVolume, 33);
}

void TestSettings::readOnlyStoreLeftAlone()
{
    {
        CSettings s(kOrg, kApp);
        s.setVolume(20);
    }
    const QByteArray before = TestSupport::readFile(storePath());
    ReadOnlyStore guard;
    if (!guard.usable())
        QFAIL("cannot make the settings file read-only here (chattr failed)");
    {
        CSettings s(kOrg, kApp);
        QCOMPARE(s.m_nVolume, 20);
        s.setVolume(80);
        // The deferred write happens through the event loop.
        QTRY_COMPARE(s.status(), QSettings::AccessError);
        QCOMPARE(s.m_nVolume, 80);
    }
    QCOMPARE(TestSupport::readFile(storePath()), before);
    QVERIFY(!QFile::exists(storePath() + QStringLiteral(".corrupt")));
}

void TestSettings::placement_data()
{
    QTest::addColumn<QRect>("desktop");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("odd desktop width")
        << QRect(0, 0, 1365, 768) << 400 << 250 << QRect(482, 259, 400, 250);
    QTest::newRow("odd window size")
        << QRect(0, 0, 1280, 1024) << 401 << 251 << QRect(439, 386, 401, 251);
    QTest::newRow("larger than desktop")
        << QRect(0, 0, 1280, 1024) << 1501 << 1100 << QRect(-110, -38, 1501, 1100);
}

void TestSettings::placement()
{
    QFETCH(QRect, desktop);
    QFETCH(int, width);
    QFETCH(int, height);
    QTEST(MainWindow::centredGeometry(desktop, width, height), "expected");
}

void TestSettings::windowCloseStoresGeometry()
{
    CSettings s(kOrg, kApp);
    g_pSettings = &s;
    {
        MainWindow w;
        w.setGeometry(MainWindow::centredGeometry(QRect(0, 0, 1280, 1024), 520, 310));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.close();
    }
    QCOMPARE(s.m_nMainWindowWidth, 520);
    QCOMPARE(s.m_nMainWindowHeight, 310);
    QCOMPARE(s.m_bMainWindowMaximized, false);
    g_pSettings = nullptr;
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
