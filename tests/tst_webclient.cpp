// The main window's client of the channel service, against a scripted HTTP
// server on the loopback interface and against the real channel service.
#include "DlgVideoList.h"
#include "MainWindow.h"
#include "ScriptedHttpServer.h"
#include "ServiceReplyReader.h"
#include "Settings.h"
#include "channellist_helpers.h"

#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <memory>

using Answer = ScriptedHttpServer::Answer;
using Request = ScriptedHttpServer::Request;

namespace {

const QByteArray kUserAgent = "Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.9.1.3) "
                              "Gecko/20090824 Firefox/3.5.3 (.NET CLR 3.5.30729)";
const QByteArray kSettingsPath = "/remote/get_settings";
const QByteArray kListPath = "/remote/get_video_list";
const QByteArray kPlayPath = "/remote/post_play_info";

QByteArray listReply(const QStringList &lstNames)
{
    QByteArray data;
    for (int i = 0; i < lstNames.size(); ++i) {
        if (i)
            data += ',';
        data += QStringLiteral(R"({"id":%1,"name":"%2","url":"http://tv.example/%1.m3u8",)"
                               R"("region":"china","score":%3})")
                    .arg(i + 1)
                    .arg(lstNames.at(i))
                    .arg(10 * (i + 1))
                    .toUtf8();
    }
    return R"({"action":"get_video_list","data":[)" + data + "]}";
}

QByteArray settingsReply(const QByteArray &listVer)
{
    return R"({"action":"get_settings","data":[{"name":"list_ver","value":")" + listVer + "\"}]}";
}

struct MultiPartField
{
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
};

// Splits a multipart body along its boundary, as a form parser would.
QList<MultiPartField> splitMultiPart(const QByteArray &body, const QByteArray &boundary)
{
    QList<MultiPartField> lstFields;
    const QByteArray delimiter = "--" + boundary;
    int nPos = body.indexOf(delimiter);
    while (nPos >= 0) {
        nPos += delimiter.size();
        if (body.mid(nPos, 2) == "--")
            break;
        nPos += 2; // CRLF after the delimiter
        const int nNext = body.indexOf("\r\n" + delimiter, nPos);
        if (nNext < 0)
            break;
        const QByteArray part = body.mid(nPos, nNext - nPos);
        const int nHeadEnd = part.indexOf("\r\n\r\n");
        MultiPartField field;
        for (const QByteArray &line : part.left(nHeadEnd).split('\n')) {
            const int nColon = line.indexOf(':');
            if (nColon > 0)
                field.headers.append({line.left(nColon).trimmed(), line.mid(nColon + 1).trimmed()});
        }
        field.body = part.mid(nHeadEnd + 4);
        lstFields.append(field);
        nPos = nNext + 2;
    }
    return lstFields;
}

} // namespace

class TestWebClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void getRequests_data();
    void getRequests();
    void playReport_data();
    void playReport();
    void playWithoutChannelPostsNothing();
    void repliesAreFreed();

    void listReplies_data();
    void listReplies();
    void settingsReplies_data();
    void settingsReplies();
    void repliesInReverseOrder();

    void hostileService_data();
    void hostileService();
    void silentServer();
    void serviceDown();

    void roundTripWithChannelService();

private:
    MainWindow *newWindow();
    QList<QNetworkReply *> liveReplies(const QByteArray &path = QByteArray()) const;
    void handle(const std::function<void()> &send);
    void answerLists(const QByteArray &body);
    channellist::ListPeek newlyList() const;
    QStringList newlyNames() const;

    std::unique_ptr<ScriptedHttpServer> m_pServer;
    std::unique_ptr<MainWindow> m_pWindow;
};

void TestWebClient::initTestCase()
{
    g_pSettings = new CSettings(QStringLiteral("Mirel Software"), QStringLiteral("Mirel Player"));
    g_pSettings->setAutoPlayLast(false);
}

void TestWebClient::cleanupTestCase()
{
    delete g_pSettings;
    g_pSettings = nullptr;
}

void TestWebClient::init()
{
    g_pSettings->setRegion(QStringLiteral("all"));
    g_pSettings->setDefaultChannels({});
    m_pServer = std::make_unique<ScriptedHttpServer>();
    QVERIFY(m_pServer->listen());
    // Until a test scripts otherwise: a settings reply without a version.
    m_pServer->setScript([](const Request &request) {
        if (request.path() == kSettingsPath)
            return Answer{Answer::Reply, ScriptedHttpServer::http(R"({"action":"get_settings"})")};
        return Answer{Answer::Reply, ScriptedHttpServer::http(R"({"action":"post_play_info"})")};
    });
    MainWindow::setServiceUrl(m_pServer->url());
}

void TestWebClient::cleanup()
{
    m_pWindow.reset();
    m_pServer.reset();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

MainWindow *TestWebClient::newWindow()
{
    m_pWindow = std::make_unique<MainWindow>();
    return m_pWindow.get();
}

// The replies of the window that are still in flight or not yet handled.
QList<QNetworkReply *> TestWebClient::liveReplies(const QByteArray &path) const
{
    QList<QNetworkReply *> lst;
    if (!m_pWindow || !m_pWindow->m_pNetworkManager)
        return lst;
    for (QNetworkReply *pReply : m_pWindow->m_pNetworkManager->findChildren<QNetworkReply *>()) {
        if (path.isEmpty() || pReply->url().path().toUtf8() == path)
            lst.append(pReply);
    }
    return lst;
}

// Sends what `send` sends and waits until the window has handled the replies
// (a handled reply is deleted, and a big one read off the GUI thread).
void TestWebClient::handle(const std::function<void()> &send)
{
    const QList<QNetworkReply *> lstBefore = liveReplies();
    send();
    QList<QPointer<QNetworkReply>> lstNew;
    for (QNetworkReply *pReply : liveReplies()) {
        if (!lstBefore.contains(pReply))
            lstNew.append(pReply);
    }
    QVERIFY(!lstNew.isEmpty());
    for (const QPointer<QNetworkReply> &pReply : lstNew)
        QTRY_VERIFY_WITH_TIMEOUT(pReply.isNull(), 10000);
    const ServiceReplyReader *pReader = m_pWindow->m_pReplyReader;
    QTRY_VERIFY_WITH_TIMEOUT(!pReader || pReader->isIdle(), 30000);
}

// From now on every channel list request is answered with this body.
void TestWebClient::answerLists(const QByteArray &body)
{
    m_pServer->setScript([body](const Request &request) {
        if (request.path() == kListPath)
            return Answer{Answer::Reply, ScriptedHttpServer::http(body)};
        return Answer{Answer::Reply, ScriptedHttpServer::http(R"({"action":"post_play_info"})")};
    });
}

channellist::ListPeek TestWebClient::newlyList() const
{
    return channellist::listOf(m_pWindow->m_pDlgVideoList, 0);
}

QStringList TestWebClient::newlyNames() const
{
    return channellist::namesOf(newlyList());
}

// ---- What the player sends ----

void TestWebClient::getRequests_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("first settings request") << "constructor" << kSettingsPath;
    QTest::newRow("refresh of the Newly list") << "refresh" << kSettingsPath;
    QTest::newRow("channel list") << "list" << kListPath;
}

void TestWebClient::getRequests()
{
    QFETCH(QString, how);
    QFETCH(QByteArray, path);

    newWindow();
    // The constructor sends get_settings before anything else.
    QTRY_COMPARE(m_pServer->requests().size(), 1);
    if (how == QLatin1String("refresh")) {
        // The channel list's refresh asks for the settings, never for the list.
        emit m_pWindow->m_pDlgVideoList->refreshNewlyChannels();
        QTRY_COMPARE(m_pServer->requests().size(), 2);
    } else if (how == QLatin1String("list")) {
        m_pWindow->getVideoListFromWeb();
        QTRY_COMPARE(m_pServer->requests().size(), 2);
    }
    const Request request = m_pServer->requests().constLast();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.target, path); // no query
    QCOMPARE(request.headerValues("User-Agent"), QList<QByteArray>{kUserAgent});
    QCOMPARE(request.header("Accept-Encoding"), QByteArray("identity"));
    QVERIFY(request.body.isEmpty());
    QCOMPARE(request.header("Content-Length").toInt(), 0);
    QVERIFY(request.header("Content-Type").isEmpty());
    QVERIFY(request.raw.endsWith("\r\n\r\n"));
}

void TestWebClient::playReport_data()
{
    QTest::addColumn<QString>("region");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url");
    QTest::newRow("default region") << "all"
                                    << "CCTV-1"
                                    << "http://tv.example/cctv1.m3u8";
    QTest::newRow("chosen region, text beyond ASCII")
        << "japan" << QStringLiteral("日本テレビ \"HD\"") << "rtmp://tv.example/a b?x=1&y=ü";
}

void TestWebClient::playReport()
{
    QFETCH(QString, region);
    QFETCH(QString, name);
    QFETCH(QString, url);

    g_pSettings->setRegion(region);
    newWindow();
    QTRY_COMPARE(m_pServer->requests().size(), 1);
    // The played channel comes from the service with a region of its own: the
    // report still carries the region of the options.
    const QJsonObject channel{
        {"id", 3}, {"name", name}, {"url", "http://x"}, {"region", "england"}};
    handle([&] {
        answerLists(
            QJsonDocument(QJsonObject{{"action", "get_video_list"}, {"data", QJsonArray{channel}}})
                .toJson());
        m_pWindow->getVideoListFromWeb();
    });
    QCOMPARE(newlyList().record(0).strRegion, QStringLiteral("england"));

    handle([&] { m_pWindow->postPlayInfo(name, url); });
    QCOMPARE(m_pServer->requestsTo(kPlayPath).size(), 1);
    const Request request = m_pServer->requestsTo(kPlayPath).constFirst();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.target, kPlayPath);
    QCOMPARE(request.headerValues("User-Agent"), QList<QByteArray>{kUserAgent});

    const QByteArray contentType = request.header("Content-Type");
    QVERIFY2(contentType.startsWith("multipart/form-data; boundary="), contentType);
    QByteArray boundary = contentType.mid(contentType.indexOf('=') + 1);
    if (boundary.startsWith('"'))
        boundary = boundary.mid(1, boundary.size() - 2);
    QVERIFY(!boundary.isEmpty());
    QCOMPARE(request.header("Content-Length").toInt(), request.body.size());

    const QList<MultiPartField> lstFields = splitMultiPart(request.body, boundary);
    QVERIFY(request.body.trimmed().endsWith("--" + boundary + "--"));
    const QList<QPair<QByteArray, QByteArray>> expected = {
        {"region", region.toUtf8()},
        {"video_name", name.toUtf8()},
        {"video_url", url.toUtf8()},
        {"app_ver", "WIN_1_2"},
    };
    QCOMPARE(lstFields.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const MultiPartField &field = lstFields.at(i);
        QCOMPARE(field.headers.size(), 1); // no content type of its own
        QCOMPARE(field.headers.at(0).first.toLower(), QByteArray("content-disposition"));
        QCOMPARE(field.headers.at(0).second, "form-data; name=\"" + expected.at(i).first + "\"");
        QCOMPARE(field.body, expected.at(i).second);
    }

    // Two reports of the same channel are two requests.
    handle([&] { m_pWindow->postPlayInfo(name, url); });
    QCOMPARE(m_pServer->requestsTo(kPlayPath).size(), 2);
    QCOMPARE(m_pServer->requestsTo(kPlayPath).at(1).body.size(), request.body.size());
}

void TestWebClient::playWithoutChannelPostsNothing()
{
    newWindow();
    QTRY_COMPARE(m_pServer->requests().size(), 1);
    // The start-up request's reply handled and gone first.
    QTRY_VERIFY(liveReplies().isEmpty());
    QVERIFY(!m_pWindow->play(QString(), QStringLiteral("http://tv.example/a.m3u8")));
    QVERIFY(!m_pWindow->play(QStringLiteral("A"), QString()));
    QVERIFY(!m_pWindow->play(QString(), QString()));
    // Nothing was sent: no reply exists, and a later request is the next the
    // server sees.
    QVERIFY(liveReplies().isEmpty());
    handle([&] { m_pWindow->getVideoListFromWeb(); });
    QCOMPARE(m_pServer->requests().size(), 2);
    QCOMPARE(m_pServer->requests().at(1).path(), kListPath);
    QVERIFY(m_pServer->requestsTo(kPlayPath).isEmpty());
}

void TestWebClient::repliesAreFreed()
{
    newWindow();
    QTRY_VERIFY(m_pWindow->m_pNetworkManager && liveReplies().isEmpty());
    QCOMPARE(m_pWindow->m_pNetworkManager->parent(), m_pWindow.get());
    QNetworkAccessManager *pManager = m_pWindow->m_pNetworkManager;

    QPointer<QHttpMultiPart> pBody;
    handle([&] {
        m_pWindow->postPlayInfo(QStringLiteral("A"), QStringLiteral("http://a"));
        pBody = liveReplies(kPlayPath).value(0)->findChild<QHttpMultiPart *>();
        QVERIFY(pBody);
        m_pWindow->getSettingsFromWeb();
        m_pWindow->getVideoListFromWeb();
    });
    // Replies and the report's body are gone; the manager serves on.
    QVERIFY(pBody.isNull());
    QVERIFY(pManager->findChildren<QNetworkReply *>().isEmpty());
    QCOMPARE(m_pWindow->m_pNetworkManager, pManager);
}

// ---- How the player handles the replies ----

void TestWebClient::listReplies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("newly"); // expected names; {"(unchanged)"} when left alone

    const QStringList unchanged = {QStringLiteral("(unchanged)")};
    QTest::newRow("three channels")
        << listReply({"C3", "A1", "B2"}) << QStringList{"C3", "A1", "B2"};
    const QByteArray many = QByteArray(R"({"name":"x"},)").repeated(999999) + R"({"name":"x"})";
    QTest::newRow("1,000,000 channels, the most taken")
        << R"({"action":"get_video_list","data":[)" + many + "]}"
        << QStringList(QVector<QString>(1000000, QStringLiteral("x")).toList());
    QTest::newRow("1,000,001 channels")
        << R"({"action":"get_video_list","data":[{},)" + many + "]}" << unchanged;
    QTest::newRow("empty data") << QByteArray(R"({"action":"get_video_list","data":[]})")
                                << QStringList();
    QTest::newRow("missing data") << QByteArray(R"({"action":"get_video_list"})") << QStringList();
    QTest::newRow("null data") << QByteArray(R"({"action":"get_video_list","data":null})")
                               << QStringList();
    QTest::newRow("two identical elements")
        << QByteArray(R"({"action":"get_video_list","data":[{"name":"Twin","url":"u"},)"
                      R"({"name":"Twin","url":"u"}]})")
        << QStringList{"Twin", "Twin"};
    QTest::newRow("empty name and URL are kept")
        << QByteArray(R"({"action":"get_video_list","data":[{"id":1},{"name":"B"}]})")
        << QStringList{"", "B"};
    QTest::newRow("text after a NUL byte is cut")
        << QByteArray("{\"action\":\"get_video_list\",\"data\":[]}\0trailing garbage", 54)
        << QStringList();
    QTest::newRow("NUL inside the object")
        << QByteArray("{\"action\":\"get_video_list\",\0\"data\":[]}", 38) << unchanged;
    QTest::newRow("JSON array") << QByteArray(R"([{"action":"get_video_list","data":[]}])")
                                << unchanged;
    QTest::newRow("invalid JSON") << QByteArray(R"({"action":"get_video_list","data":[})")
                                  << unchanged;
    QTest::newRow("empty body") << QByteArray() << unchanged;
    QTest::newRow("action in other letter case")
        << QByteArray(R"({"action":"Get_Video_List","data":[]})") << unchanged;
    QTest::newRow("no action") << QByteArray(R"({"data":[{"name":"X"}]})") << unchanged;
    QTest::newRow("play report reply")
        << QByteArray(R"({"action":"post_play_info","data":[]})") << unchanged;
    QTest::newRow("data of the wrong type")
        << QByteArray(R"({"action":"get_video_list","data":{"name":"X"}})") << unchanged;
    QTest::newRow("data as text") << QByteArray(R"({"action":"get_video_list","data":"X"})")
                                  << unchanged;
    QTest::newRow("a channel that is not an object")
        << QByteArray(R"({"action":"get_video_list","data":[{"name":"X"},"Y",3]})") << unchanged;
    QTest::newRow("deeply nested JSON")
        << QByteArray(R"({"action":"get_video_list","data":)") + QByteArray(100000, '[') +
               QByteArray(100000, ']') + "}"
        << unchanged;
    QTest::newRow("action as an array")
        << QByteArray(R"({"action":["get_video_list"],"data":[]})") << unchanged;
    QTest::newRow("invalid UTF-8 and control bytes")
        << QByteArray("\xff\xfe{\"action\":\"get_video_list\"}\x01\x02", 32) << unchanged;
    // A repeated member is ambiguous, and the parser would lose the memory of
    // the array or object it replaces (found by bench/fuzz/fuzz_webreply).
    QTest::newRow("data named twice")
        << QByteArray(R"({"action":"get_video_list","data":[{"name":"A"}],"data":[{"name":"B"}]})")
        << unchanged;
    QTest::newRow("a channel member named twice, once escaped")
        << QByteArray(R"({"action":"get_video_list","data":[{"name":{"a":1},"na\u006de":"B"}]})")
        << unchanged;
    QTest::newRow("the same member in different objects")
        << QByteArray(R"({"action":"get_video_list","data":[{"name":"A","x":{"name":"B"}},)"
                      R"({"name":"A\"","url":"name"}]})")
        << QStringList{"A", "A\""};
    QTest::newRow("a repeated member after nesting too deep")
        << QByteArray(R"({"action":"get_video_list","data":[)") + QByteArray(1100, '[') +
               QByteArray(R"({"a":[1],"a":1})") + QByteArray(1100, ']') + "]}"
        << unchanged;
}

void TestWebClient::listReplies()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, newly);

    newWindow();
    QTRY_COMPARE(m_pServer->requests().size(), 1);
    handle([&] {
        answerLists(listReply({"Old A", "Old B"}));
        m_pWindow->getVideoListFromWeb();
    });
    QCOMPARE(newlyNames(), QStringList({"Old A", "Old B"}));
    m_pWindow->m_strListVer = QStringLiteral("42");
    g_pSettings->setChannelListVer(QStringLiteral("41"));

    handle([&] {
        answerLists(body);
        m_pWindow->getVideoListFromWeb();
    });
    // A list refused for its length is not refused silently.
    const bool bTooLong = QTest::currentDataTag() == QByteArray("1,000,001 channels");
    QCOMPARE(!m_pWindow->m_pListRefused.isNull(), bTooLong);
    if (bTooLong)
        QVERIFY(m_pWindow->m_pListRefused->text().contains(QLocale().toString(1000001)) &&
                m_pWindow->m_pListRefused->text().contains(QLocale().toString(1000000)));
    if (newly == QStringList{QStringLiteral("(unchanged)")}) {
        QCOMPARE(newlyNames(), QStringList({"Old A", "Old B"}));
        QCOMPARE(g_pSettings->m_strChannelListVer, QStringLiteral("41"));
        return;
    }
    QCOMPARE(newlyNames(), newly);
    QCOMPARE(g_pSettings->m_strChannelListVer, QStringLiteral("42"));
    // The stored "Newly" list is the one shown: name, URL, score triples.
    QCOMPARE(g_pSettings->m_lstDefaultChannels.size(), newly.size() * 3);
    if (QTest::currentDataTag() == QByteArray("three channels")) {
        const VideoItem &first = newlyList().record(0);
        QCOMPARE(first.nId, 1);
        QCOMPARE(first.strUrl, QStringLiteral("http://tv.example/1.m3u8"));
        QCOMPARE(first.strRegion, QStringLiteral("china"));
        QCOMPARE(first.nScore, 10);
        QCOMPARE(g_pSettings->m_lstDefaultChannels.mid(0, 3),
                 QStringList({"C3", "http://tv.example/1.m3u8", "10"}));
    }
}

void TestWebClient::settingsReplies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("listVer");  // m_strListVer afterwards (it was "5")
    QTest::addColumn<int>("listRequests"); // channel list requests sent

    QTest::newRow("new version") << settingsReply("6") << "6" << 1;
    QTest::newRow("same version as stored") << settingsReply("5") << "5" << 1;
    QTest::newRow("white space around") << settingsReply(" \t7 \n") << "7" << 1;
    QTest::newRow("only spaces") << settingsReply("   ") << "" << 0;
    QTest::newRow("no list_ver")
        << QByteArray(R"({"action":"get_settings","data":[{"name":"motd","value":"hi"}]})") << "5"
        << 0;
    QTest::newRow("no data") << QByteArray(R"({"action":"get_settings"})") << "5" << 0;
    QTest::newRow("two list_ver elements")
        << QByteArray(R"({"action":"get_settings","data":[{"name":"list_ver","value":"8"},)"
                      R"({"name":"other"},{"name":"list_ver","value":"9"}]})")
        << "9" << 2;
    QTest::newRow("version as a number")
        << QByteArray(R"({"action":"get_settings","data":[{"name":"list_ver","value":12}]})")
        << "12" << 1;
    QTest::newRow("version as an array")
        << QByteArray(R"({"action":"get_settings","data":[{"name":"list_ver","value":["3"]}]})")
        << "" << 0;
    QTest::newRow("version as an object")
        << QByteArray(R"({"action":"get_settings","data":[{"name":"list_ver","value":{}}]})") << ""
        << 0;
    QTest::newRow("elements that are not objects")
        << QByteArray(R"({"action":"get_settings","data":["list_ver",null,[1]]})") << "5" << 0;
    QTest::newRow("data of the wrong type")
        << QByteArray(R"({"action":"get_settings","data":{"name":"list_ver","value":"3"}})") << "5"
        << 0;
    QTest::newRow("action in other letter case")
        << QByteArray(R"({"action":"GET_SETTINGS","data":[{"name":"list_ver","value":"3"}]})")
        << "5" << 0;
    QTest::newRow("a thousand list_ver elements")
        << QByteArray(R"({"action":"get_settings","data":[)") +
               QByteArray(R"({"name":"list_ver","value":"3"},)").repeated(999) +
               R"({"name":"list_ver","value":"4"}]})"
        << "3" << 16;
}

void TestWebClient::settingsReplies()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, listVer);
    QFETCH(int, listRequests);

    g_pSettings->setChannelListVer(QStringLiteral("5"));
    newWindow();
    QTRY_COMPARE(m_pServer->requests().size(), 1);
    m_pWindow->m_strListVer = QStringLiteral("5");
    const QStringList lstNewly = newlyNames();
    // Channel list requests stay unanswered, so they can be counted.
    m_pServer->setScript([body](const Request &request) {
        if (request.path() == kSettingsPath)
            return Answer{Answer::Reply, ScriptedHttpServer::http(body)};
        return Answer{Answer::Hold, QByteArray()};
    });
    QSignalSpy spyVer(m_pWindow.get(), &MainWindow::getListVer);
    handle([&] { m_pWindow->getSettingsFromWeb(); });

    QCOMPARE(m_pWindow->m_strListVer, listVer);
    QCOMPARE(liveReplies(kListPath).size(), listRequests);
    QCOMPARE(spyVer.size(), listRequests);
    if (listRequests)
        QCOMPARE(spyVer.constLast().at(0).toString(), listVer);
    QTRY_COMPARE(m_pServer->requestsTo(kListPath).size(), qMin(listRequests, 6));
    // A settings reply alone never touches the list or the stored version.
    QCOMPARE(newlyNames(), lstNewly);
    QCOMPARE(g_pSettings->m_strChannelListVer, QStringLiteral("5"));
    // Destroyed with its requests still unanswered (cleanup()).
}

void TestWebClient::repliesInReverseOrder()
{
    newWindow();
    QTRY_COMPARE(m_pServer->requests().size(), 1);
    m_pServer->setScript([](const Request &) { return Answer{Answer::Hold, QByteArray()}; });
    m_pWindow->getVideoListFromWeb();
    QTRY_COMPARE(m_pServer->requests().size(), 2);
    m_pWindow->getVideoListFromWeb();
    QTRY_COMPARE(m_pServer->requests().size(), 3);
    const QList<QNetworkReply *> lstReplies = liveReplies(kListPath);
    QCOMPARE(lstReplies.size(), 2);
    QPointer<QNetworkReply> pFirst = lstReplies.at(0);
    QPointer<QNetworkReply> pSecond = lstReplies.at(1);

    // Which server-side request belongs to which reply does not matter: the
    // one answered last finishes last.
    m_pWindow->m_strListVer = QStringLiteral("2");
    m_pServer->answer(2, ScriptedHttpServer::http(listReply({"Second"})));
    QTRY_VERIFY(pFirst.isNull() || pSecond.isNull());
    QCOMPARE(newlyNames(), QStringList{"Second"});
    QCOMPARE(g_pSettings->m_strChannelListVer, QStringLiteral("2"));

    m_pWindow->m_strListVer = QStringLiteral("1");
    m_pServer->answer(1, ScriptedHttpServer::http(listReply({"First", "Again"})));
    QTRY_VERIFY(pFirst.isNull() && pSecond.isNull());
    QCOMPARE(newlyNames(), QStringList({"First", "Again"}));
    QCOMPARE(g_pSettings->m_strChannelListVer, QStringLiteral("1"));
}

// ---- A broken or hostile service ----

void TestWebClient::hostileService_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("close");

    const QByteArray big = listReply({"Big"}) + QByteArray(257 * 1024 * 1024, ' ');
    QTest::newRow("257 MiB list") << ScriptedHttpServer::http(big) << false;
    QTest::newRow("257 MiB without a length")
        << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n") + big << true;
    QTest::newRow("1,000,001 channels")
        << ScriptedHttpServer::http(R"({"action":"get_video_list","data":[)" +
                                    QByteArray("{},").repeated(1000000) + "{}]}")
        << false;
    // 2 KB on the wire, 200 MB once inflated.
    QTest::newRow("compressed 200 MB")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nConnection: close\r\n\r\n") +
               qCompress(listReply({"Bomb"}) + QByteArray(200 * 1024 * 1024, ' '), 9).mid(4)
        << true;
    QTest::newRow("not HTTP at all") << QByteArray("garbage\r\n\r\n\x00\xff", 13) << true;
    QTest::newRow("random bytes") << QByteArray(4096, '\x9c') << true;
    QTest::newRow("closed without answer") << QByteArray() << true;
    QTest::newRow("server error page")
        << ScriptedHttpServer::http("<html>Internal error</html>", 500, "text/html") << false;
    QTest::newRow("error status with a valid list")
        << ScriptedHttpServer::http(listReply({"From an error"}), 500) << false;
    QTest::newRow("length larger than the body")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n") +
               listReply({"Cut"}).left(40)
        << true;
}

void TestWebClient::hostileService()
{
    QFETCH(QByteArray, response);
    QFETCH(bool, close);

    newWindow();
    QTRY_COMPARE(m_pServer->requests().size(), 1);
    handle([&] {
        answerLists(listReply({"Kept"}));
        m_pWindow->getVideoListFromWeb();
    });
    m_pServer->setScript([&](const Request &) {
        return Answer{close ? Answer::ReplyAndClose : Answer::Reply, response};
    });
    const QString strVersion = g_pSettings->m_strChannelListVer;
    m_pWindow->m_strListVer = QStringLiteral("99");
    QElapsedTimer timer;
    timer.start();
    handle([&] {
        m_pWindow->getSettingsFromWeb();
        m_pWindow->getVideoListFromWeb();
        m_pWindow->postPlayInfo(QStringLiteral("A"), QStringLiteral("http://a"));
    });
    QCOMPARE(newlyNames(), QStringList{"Kept"});
    QCOMPARE(g_pSettings->m_strChannelListVer, strVersion);
    QTRY_VERIFY(liveReplies().isEmpty()); // the start-up request's too
    qDebug() << "handled in" << timer.elapsed() << "ms";
}

void TestWebClient::silentServer()
{
    // The service accepts and never answers: the window keeps working and is
    // destroyed with its requests still open.
    m_pServer->setScript([](const Request &) { return Answer{Answer::Hold, QByteArray()}; });
    newWindow();
    QTRY_COMPARE(m_pServer->requests().size(), 1);
    m_pWindow->postPlayInfo(QStringLiteral("A"), QStringLiteral("http://a"));
    emit m_pWindow->m_pDlgVideoList->refreshNewlyChannels();
    QTRY_COMPARE(m_pServer->requests().size(), 3);
    QCOMPARE(liveReplies().size(), 3);
    // None of them waits for ever.
    for (QNetworkReply *pReply : liveReplies())
        QCOMPARE(pReply->request().transferTimeout(), 10000);
    QVERIFY(newlyNames().isEmpty());
}

void TestWebClient::serviceDown()
{
    // A port that nothing listens on any more.
    m_pServer.reset();
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    MainWindow::setServiceUrl(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort())));
    probe.close();

    g_pSettings->setDefaultChannels({"Stored", "http://s", "0"});
    newWindow();
    QTRY_VERIFY(liveReplies().isEmpty());
    handle([&] {
        m_pWindow->getVideoListFromWeb();
        m_pWindow->postPlayInfo(QStringLiteral("A"), QStringLiteral("http://a"));
        emit m_pWindow->m_pDlgVideoList->refreshNewlyChannels();
    });
    QCOMPARE(newlyNames(), QStringList{"Stored"});
}

// ---- The real channel service ----

void TestWebClient::roundTripWithChannelService()
{
#ifndef MIREL_SERVICE_BINARY
    QSKIP("the channel service is not part of this build");
#else
    const QString strService = QStringLiteral(MIREL_SERVICE_BINARY);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString strChannels = dir.filePath(QStringLiteral("channels.m3u"));
    const QString strDb = dir.filePath(QStringLiteral("service.sqlite"));
    {
        QFile file(strChannels);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#EXTM3U\n"
                   "#EXTINF:-1 tvg-country=\"JP\",Alpha TV\nhttp://127.0.0.1:9/alpha.m3u8\n"
                   "#EXTINF:-1 tvg-country=\"CN\",Beta TV\nhttp://127.0.0.1:9/beta.m3u8\n"
                   "#EXTINF:-1,Gamma TV\nhttp://127.0.0.1:9/gamma.m3u8\n");
    }

    QProcess service;
    service.setProcessChannelMode(QProcess::MergedChannels);
    service.start(strService, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                               QStringLiteral("--channels"), strChannels, QStringLiteral("--db"),
                               strDb, QStringLiteral("--demo"), dir.filePath("no-demo")});
    QVERIFY2(service.waitForStarted(), qPrintable(service.errorString()));
    auto stop = qScopeGuard([&] {
        service.terminate();
        if (!service.waitForFinished(10000))
            service.kill();
    });
    // The start-up line names the port it picked.
    QByteArray output;
    QRegularExpression reListening(QStringLiteral("listening on (http://127\\.0\\.0\\.1:\\d+)"));
    QRegularExpressionMatch match;
    QTRY_VERIFY_WITH_TIMEOUT((output += service.readAll(),
                              match = reListening.match(QString::fromUtf8(output)),
                              match.hasMatch() || service.state() == QProcess::NotRunning),
                             20000);
    QVERIFY2(match.hasMatch(), output.constData());
    MainWindow::setServiceUrl(QUrl(match.captured(1)));
    g_pSettings->setRegion(QStringLiteral("japan"));
    g_pSettings->setChannelListVer(QString());

    // Start-up: settings, then the list, fills "Newly" and stores the version.
    newWindow();
    QTRY_COMPARE_WITH_TIMEOUT(newlyNames(), QStringList({"Alpha TV", "Beta TV", "Gamma TV"}),
                              10000);
    QVERIFY(!m_pWindow->m_strListVer.isEmpty());
    QCOMPARE(g_pSettings->m_strChannelListVer, m_pWindow->m_strListVer);
    const VideoItem beta = newlyList().record(1);
    QCOMPARE(beta.strUrl, QStringLiteral("http://127.0.0.1:9/beta.m3u8"));
    QCOMPARE(beta.nScore, 0);
    QVERIFY(beta.nId > 0);

    // A play report lands in the service's database...
    handle([&] { m_pWindow->postPlayInfo(beta.strName, beta.strUrl); });
    sqlite3 *pDb = nullptr;
    QCOMPARE(sqlite3_open_v2(strDb.toUtf8().constData(), &pDb, SQLITE_OPEN_READONLY, nullptr),
             SQLITE_OK);
    auto closeDb = qScopeGuard([&] { sqlite3_close(pDb); });
    sqlite3_busy_timeout(pDb, 5000);
    sqlite3_stmt *pStmt = nullptr;
    QCOMPARE(sqlite3_prepare_v2(pDb, "SELECT region, video_name, video_url, app_ver FROM plays", -1,
                                &pStmt, nullptr),
             SQLITE_OK);
    auto finalize = qScopeGuard([&] { sqlite3_finalize(pStmt); });
    QCOMPARE(sqlite3_step(pStmt), SQLITE_ROW);
    auto column = [&](int n) {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(pStmt, n)));
    };
    QCOMPARE(column(0), QStringLiteral("japan"));
    QCOMPARE(column(1), QStringLiteral("Beta TV"));
    QCOMPARE(column(2), QStringLiteral("http://127.0.0.1:9/beta.m3u8"));
    QCOMPARE(column(3), QStringLiteral("WIN_1_2"));
    QCOMPARE(sqlite3_step(pStmt), SQLITE_DONE);

    // ...and in the score of the next list.
    emit m_pWindow->m_pDlgVideoList->refreshNewlyChannels();
    QTRY_VERIFY_WITH_TIMEOUT(newlyList().count() == 3 && newlyList().record(1).nScore == 1, 10000);
    QCOMPARE(newlyNames(), QStringList({"Alpha TV", "Beta TV", "Gamma TV"}));
    QCOMPARE(g_pSettings->m_lstDefaultChannels.mid(3, 3),
             QStringList({"Beta TV", "http://127.0.0.1:9/beta.m3u8", "1"}));
#endif
}

QTEST_MAIN(TestWebClient)
#include "tst_webclient.moc"
