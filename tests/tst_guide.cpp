// The programme guide: XMLTV read in pieces (plain and gzip, offsets east
// and west of UTC), bad input, reading over HTTP with the cache and the
// refresh, and what the channel list shows for a fixed clock.

#include "ChannelGuideDelegate.h"
#include "DlgVideoList.h"
#include "Settings.h"
#include "channellist_helpers.h"
#include "guide/GuideByteStream.h"
#include "guide/GuideReader.h"
#include "guide/GuideService.h"
#include "guide/GuideSources.h"
#include "guide/GuideText.h"
#include "guidegen.h"
#include "httpfileserver.h"

#include <QHelpEvent>
#include <QListView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include <ctime>

using namespace channellist;

Q_DECLARE_METATYPE(GuideWanted)

namespace {

// 2026-12-07 12:00 UTC; every generated channel starts 6 hours earlier with
// 48 programmes of an hour, so programme 6 is on and 4 to 29 lie in the
// window kept (2 hours back, 24 ahead).
constexpr qint64 kNow = 1796644800;
constexpr int kKeptPerChannel = 26;

GuideGen::Options options(int nOffsetMinutes, bool bByChannel = true)
{
    GuideGen::Options o;
    o.nChannels = 3;
    o.nFirstStart = kNow - 6 * 3600;
    o.nOffsetMinutes = nOffsetMinutes;
    o.bByChannel = bByChannel;
    return o;
}

bool writeFile(const QString &strPath, const QByteArray &data)
{
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

class TestGuide : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_fixture.tearDown(); }
    void cleanup() { m_fixture.verifyNothingLeft(); }

    void addresses();
    void parseTime_data();
    void parseTime();
    void readInPieces_data();
    void readInPieces();
    void badInput_data();
    void badInput();
    void text();
    void overHttpWithCache();
    void listShowsProgramme();

private:
    Fixture m_fixture;
    QTemporaryDir m_dir;
};

void TestGuide::initTestCase()
{
    // Local time 5 h 30 east of UTC, with no summer time.
    qputenv("TZ", "XST-5:30");
    tzset();
    QVERIFY(m_fixture.setUp());
    QVERIFY(m_dir.isValid());
}

// A playlist header's x-tvg-url (or url-tvg): several addresses, separated
// by commas, only http(s) ones and a few; all addresses: the user's, then
// the playlists' by category.
void TestGuide::addresses()
{
    QCOMPARE(GuideSources::fromHeaderValue(
                 " http://127.0.0.1/a.xml.gz,https://127.0.0.1/b.xml ,ftp://127.0.0.1/c.xml,"
                 "relative.xml,,/etc/passwd,file:///dev/zero,http://127.0.0.1/a.xml.gz"),
             (QStringList{"http://127.0.0.1/a.xml.gz", "https://127.0.0.1/b.xml"}));
    QStringList lstMany;
    for (int i = 0; i < 3 * GuideSources::kMaxHeaderAddresses; ++i)
        lstMany << QStringLiteral("http://127.0.0.1/%1.xml").arg(i);
    QCOMPARE(GuideSources::fromHeaderValue(lstMany.join(',')),
             lstMany.mid(0, GuideSources::kMaxHeaderAddresses));
    const QVariantMap mapPlaylists{{"News", QStringList{"http://127.0.0.1/n.xml", "/g/u.xml"}},
                                   {"Gone", QStringList{"http://127.0.0.1/gone.xml"}},
                                   {"Sport", QStringList{"http://127.0.0.1/s.xml"}}};
    QCOMPARE(GuideSources::merged({"file:///g/u.xml"}, {"Sport", "News"}, mapPlaylists),
             (QStringList{"/g/u.xml", "http://127.0.0.1/s.xml", "http://127.0.0.1/n.xml"}));
}

void TestGuide::parseTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("utc"); // -1: refused
    QTest::newRow("east") << "20261207190000 +0800" << qint64(1796641200);
    QTest::newRow("west, across midnight") << "20261207190000 -0500" << qint64(1796688000);
    QTest::newRow("no seconds, no offset") << "202612071900" << qint64(1796670000);
    QTest::newRow("UTC named") << "20261207190000 UTC" << qint64(1796670000);
    QTest::newRow("half hour") << "20261207193000 +0530" << qint64(1796652000);
    QTest::newRow("leap day") << "20280229000000 +0000" << qint64(1835395200);
    QTest::newRow("month 13") << "20261307190000 +0000" << qint64(-1);
    QTest::newRow("30 February") << "20260230190000 +0000" << qint64(-1);
    QTest::newRow("hour 25") << "20261207250000 +0000" << qint64(-1);
    QTest::newRow("offset 25 h") << "20261207190000 +2500" << qint64(-1);
    QTest::newRow("short") << "2026120719" << qint64(-1);
    QTest::newRow("words") << "tonight" << qint64(-1);
    QTest::newRow("empty") << "" << qint64(-1);
}

void TestGuide::parseTime()
{
    QFETCH(QString, text);
    QFETCH(qint64, utc);
    qint64 nSecs = -1;
    const bool bOk = XmltvParser::parseTime(QStringRef(&text), &nSecs);
    QCOMPARE(bOk, utc >= 0);
    if (bOk)
        QCOMPARE(nSecs, utc);
}

void TestGuide::readInPieces_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<GuideWanted>("wanted");
    QTest::addColumn<int>("matched");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("channel"); // whose programme 6 is on for key

    const QByteArray east = GuideGen::make(options(480));
    QTest::newRow("plain, +0800, by name")
        << east << GuideWanted{GuideKeys::forName("Channel 1"), GuideKeys::forName("CHANNEL  2")}
        << 2 << GuideKeys::forName("channel 1") << 1;
    QTest::newRow("gzip, -0500, by time, second display name")
        << GuideGen::gzip(GuideGen::make(options(-300, false)))
        << GuideWanted{GuideKeys::forName("ch3")} << 1 << GuideKeys::forName("CH3") << 3;
    QTest::newRow("gzip, +0530, tvg-id") << GuideGen::gzip(GuideGen::make(options(330)))
                                         << GuideWanted{GuideKeys::forTvgId("CH2.EXAMPLE")} << 1
                                         << GuideKeys::forTvgId("ch2.example") << 2;
    QTest::newRow("two gzip members")
        << GuideGen::gzip(east.left(5000)) + GuideGen::gzip(east.mid(5000))
        << GuideWanted{GuideKeys::forName("Channel 3")} << 1 << GuideKeys::forName("Channel 3")
        << 3;
    QTest::newRow("nothing wanted") << east << GuideWanted() << 0 << QString() << 0;
}

// Fed a few bytes at a time, as a slow download delivers them.
void TestGuide::readInPieces()
{
    QFETCH(QByteArray, bytes);
    QFETCH(GuideWanted, wanted);
    QFETCH(int, channel);
    XmltvParser parser(wanted, kNow - GuideService::kKeepBackSecs,
                       kNow + GuideService::kKeepAheadSecs);
    GuideByteStream stream(1 << 30,
                           [&parser](const QByteArray &xml) { return parser.addData(xml); });
    for (int i = 0; i < bytes.size(); i += 997)
        QVERIFY(stream.write(bytes.mid(i, 997)));
    QVERIFY2(stream.close(), qPrintable(stream.error()));
    const XmltvParser::Result result = parser.finish();
    QVERIFY2(result.ok(), qPrintable(result.strError));
    QTEST(result.nMatchedChannels, "matched");
    QCOMPARE(result.nKept, qint64(result.nMatchedChannels * kKeptPerChannel));
    QCOMPARE(result.nProgrammes, qint64(3 * 48));
    if (channel == 0)
        return;
    QFETCH(QString, key);
    const GuideNowNext nowNext = guideNowNext(result.channels.value(key), kNow + 1800);
    QVERIFY(nowNext.bNow && nowNext.bNext);
    QCOMPARE(nowNext.now.strTitle, GuideGen::title(channel, 6));
    QCOMPARE(nowNext.now.nStart, kNow);
    QCOMPARE(nowNext.now.nStop, kNow + 3600);
    QCOMPARE(nowNext.next.strTitle, GuideGen::title(channel, 7));
}

void TestGuide::badInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("maxXml");
    QTest::addColumn<QString>("error"); // empty: read, with what the counts say
    QTest::addColumn<int>("badTimes");
    QTest::addColumn<int>("unmatched");

    const QByteArray guide = GuideGen::make(options(0));
    const QByteArray packed = GuideGen::gzip(guide);
    const qint64 nBig = 1 << 30;
    QByteArray malformed = guide;
    malformed.replace(malformed.indexOf("</programme>", guide.size() / 2), 12, "</programm>");
    QByteArray damaged = packed;
    for (int i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i)
        damaged[i] = char(damaged.at(i) ^ 0x5a);
    QByteArray badTime = guide;
    badTime.replace(badTime.indexOf("start=\"") + 11, 2, "13");
    QByteArray unmatched = guide;
    unmatched.replace("channel=\"ch2.example\"", "channel=\"nobody\"");

    QTest::newRow("malformed") << malformed << nBig << "malformed XML" << 0 << 0;
    QTest::newRow("truncated") << guide.left(guide.size() / 2) << nBig << "ends early" << 0 << 0;
    QTest::newRow("truncated gzip")
        << packed.left(packed.size() / 2) << nBig << "compressed guide ends early" << 0 << 0;
    QTest::newRow("damaged gzip") << damaged << nBig << "damaged" << 0 << 0;
    QTest::newRow("not a guide") << QByteArray("<html><body/></html>") << nBig << "not an XMLTV"
                                 << 0 << 0;
    QTest::newRow("empty") << QByteArray() << nBig << "no XML" << 0 << 0;
    QTest::newRow("over the bound") << guide << qint64(20000) << "larger than" << 0 << 0;
    QTest::newRow("over the bound, gzip") << packed << qint64(20000) << "larger than" << 0 << 0;
    // Channel 3 is not wanted: its 48 programmes never match.
    QTest::newRow("a text of 40 MB")
        << guide.left(guide.indexOf("<title")) + "<title>" + QByteArray(40 << 20, 'x') << nBig
        << "without the end of an element" << 0 << 0;
    QTest::newRow("impossible time") << badTime << nBig << "" << 1 << 48;
    QTest::newRow("channel matching nothing") << unmatched << nBig << "" << 0 << 96;
}

// From a file, as GuideReader reads a local guide: a clear error or counts,
// never a crash.
void TestGuide::badInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, maxXml);
    QFETCH(QString, error);
    const QString strPath = m_dir.filePath(QStringLiteral("bad.xml"));
    QVERIFY(writeFile(strPath, bytes));
    GuideReader::Limits limits;
    limits.nMaxXmlBytes = maxXml;
    const GuideWanted wanted{GuideKeys::forName("Channel 1"), GuideKeys::forName("Channel 2")};
    const XmltvParser::Result result =
        GuideReader::read(strPath, wanted, kNow - 7200, kNow + 86400, nullptr, limits);
    if (!error.isEmpty()) {
        QVERIFY2(result.strError.contains(error), qPrintable(result.strError));
        QVERIFY(result.channels.isEmpty());
        return;
    }
    QVERIFY2(result.ok(), qPrintable(result.strError));
    QTEST(int(result.nBadTimes), "badTimes");
    QTEST(int(result.nUnmatched), "unmatched");
    QVERIFY(result.channels.contains(GuideKeys::forName("Channel 1")));
}

// Local time is 5 h 30 east of UTC here: 18:00 UTC is 23:30.
void TestGuide::text()
{
    GuideNowNext nowNext;
    nowNext.bNow = true;
    nowNext.now = {kNow + 6 * 3600, kNow + 7 * 3600, QStringLiteral("Late & Live")};
    nowNext.bNext = true;
    nowNext.next = {kNow + 7 * 3600, kNow + 8 * 3600, QStringLiteral("Night")};
    QCOMPARE(GuideText::overlayLines(nowNext),
             QStringLiteral("Now: Late & Live (23:30\u201300:30)\nNext: Night"));
    QCOMPARE(GuideText::toolTip(QStringLiteral("One"), nowNext),
             QStringLiteral("One\nNow: Late & Live (23:30\u201300:30)\nNext: Night "
                            "(00:30\u201301:30)"));
    nowNext.bNow = false;
    QCOMPARE(GuideText::overlayLines(nowNext), QStringLiteral("Next: Night"));
    QCOMPARE(GuideText::overlayLines(GuideNowNext()), QString());
}

// Read over HTTP, kept in the cache, read back at the next start; a guide
// that fails keeps the earlier one; read again once 12 hours have passed.
void TestGuide::overHttpWithCache()
{
    QTemporaryDir served;
    HttpFileServer server(served.path());
    QVERIFY(server.start());
    const QString strFile = served.filePath(QStringLiteral("guide.xml.gz"));
    QVERIFY(writeFile(strFile, GuideGen::gzip(GuideGen::make(options(-300)))));
    const QString strUrl = server.url(QStringLiteral("guide.xml.gz")).toString();
    const QString strCache = m_dir.filePath(QStringLiteral("cache/guide.sqlite"));
    qint64 nClock = kNow;
    auto makeService = [&](GuideService &service) {
        service.setClock([&nClock] { return nClock; });
        service.setChannelSource(
            [] { return [] { return GuideWanted{GuideKeys::forName("Channel 2")}; }; });
        service.setAddresses({strUrl});
        service.start();
    };
    auto title = [](const GuideService &service) {
        return service.nowNext(QStringLiteral("channel 2"), QString()).now.strTitle;
    };
    {
        GuideService service(strCache);
        QSignalSpy spyRead(&service, &GuideService::guideRead);
        makeService(service);
        QVERIFY(spyRead.wait(10000));
        QCOMPARE(spyRead.takeFirst().at(1).toBool(), true);
        QCOMPARE(title(service), GuideGen::title(2, 6));

        // Damaged now: the guide read before stays.
        const QByteArray packed = GuideGen::gzip(GuideGen::make(options(-300)));
        QVERIFY(writeFile(strFile, packed.left(packed.size() / 2)));
        service.readNow(strUrl);
        QVERIFY(spyRead.wait(10000));
        QCOMPARE(spyRead.takeFirst().at(1).toBool(), false);
        QCOMPARE(title(service), GuideGen::title(2, 6));
        // Not due again before 12 hours.
        nClock += 3600 * 2;
        service.readDue();
        QVERIFY(!service.isBusy());
    }
    // The next start shows the cached guide before (and without) any download.
    server.setMode(HttpFileServer::NotFound);
    const int nRequests = server.requests().size();
    nClock = kNow + 3600;
    {
        GuideService service(strCache);
        QSignalSpy spyCache(&service, &GuideService::cacheLoaded);
        makeService(service);
        QVERIFY(spyCache.wait(10000));
        QCOMPARE(title(service), GuideGen::title(2, 7));
        QCOMPARE(server.requests().size(), nRequests);

        // 12 hours after the read: read again; the failure (404) keeps it.
        QSignalSpy spyRead(&service, &GuideService::guideRead);
        nClock = kNow + GuideService::kRefreshSecs;
        service.readDue();
        QVERIFY(spyRead.wait(10000));
        QCOMPARE(spyRead.takeFirst().at(2).toString(), QStringLiteral("HTTP status 404"));
        QCOMPARE(title(service), GuideGen::title(2, 18));
    }
}

// The list asks the guide for the rows it shows: the programme under the
// name and, as tooltip, the times and the next one; other rows as before.
// A playlist's channel is found by its stored tvg-id before its name.
// A channel added later gets its programme from a new read.
void TestGuide::listShowsProgramme()
{
    g_pSettings->setDefaultChannels(triples({"Channel 1", "u1", "0", "Elsewhere", "u2", "0"}));
    g_pSettings->setValue(QStringLiteral("m_lstCategoryList"), QStringList{"Mine"});
    g_pSettings->setValue(QStringLiteral("m_mapCategory"),
                          QVariantMap{{"Mine", triples({"Channel 1", "u4", "0"})}});
    g_pSettings->setValue(
        QStringLiteral("m_mapChannelDetails"),
        QVariantMap{{"Mine", QStringList{"u4", "playlist tvg-id=ch3.example", "", "", ""}}});
    g_pSettings->load();
    const QString strPath = m_dir.filePath(QStringLiteral("list.xml"));
    QVERIFY(writeFile(strPath, GuideGen::make(options(480))));
    CDlgVideoList dlg(m_fixture.pMain.get());
    dlg.setGeometry(0, 0, 800, 200);
    dlg.show();
    GuideService service{QString()};
    service.setClock([] { return kNow + 600; });
    service.setChannelSource([&dlg] { return dlg.guideChannels(); });
    dlg.setGuide(&service);
    QSignalSpy spyChanged(&service, &GuideService::changed);
    service.setAddresses({strPath});
    service.start();
    QVERIFY(spyChanged.wait(10000));

    QListView *view = dlg.channelView(0);
    auto *delegate = qobject_cast<ChannelGuideDelegate *>(view->itemDelegate());
    QVERIFY(delegate);
    const QModelIndex shown = view->model()->index(0, 0);
    QCOMPARE(delegate->nowNextOf(shown).now.strTitle, GuideGen::title(1, 6));
    QVERIFY(delegate->nowNextOf(view->model()->index(1, 0)).isEmpty());
    QCOMPARE(view->visualRect(shown).size(), QSize(180, 40));
    QListView *mine = dlg.channelView(1);
    QCOMPARE(delegate->nowNextOf(mine->model()->index(0, 0)).now.strTitle, GuideGen::title(3, 6));

    QHelpEvent help(QEvent::ToolTip, view->visualRect(shown).center(),
                    view->viewport()->mapToGlobal(view->visualRect(shown).center()));
    QApplication::sendEvent(view->viewport(), &help);
    QTRY_VERIFY(QToolTip::isVisible());
    // 12:00 UTC is 17:30 here.
    QCOMPARE(QToolTip::text(), QStringLiteral("Channel 1\nNow: %1 (17:30\u201318:30)\nNext: %2 "
                                              "(18:30\u201319:30)")
                                   .arg(GuideGen::title(1, 6), GuideGen::title(1, 7)));
    QToolTip::hideText();
    QTRY_VERIFY(!QToolTip::isVisible());

    // A channel the guide was not read for: read again once the lists settle.
    dlg.addChannel(0, QStringLiteral("CH2"), QStringLiteral("u3"), QString(), 0);
    QVERIFY(delegate->nowNextOf(view->model()->index(2, 0)).isEmpty());
    service.checkChannels();
    QVERIFY(spyChanged.wait(10000));
    QCOMPARE(delegate->nowNextOf(view->model()->index(2, 0)).now.strTitle, GuideGen::title(2, 6));
}

QTEST_MAIN(TestGuide)
#include "tst_guide.moc"
