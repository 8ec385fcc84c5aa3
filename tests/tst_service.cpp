// The channel service, over real HTTP: the service binary runs as a child
// process on a free loopback port with its own database and channel file.
// Every case runs with each store: an SQLite file, and a database on a
// PostgreSQL server that the test starts itself (ScratchPostgres).

#include "ChannelStore.h"
#include "DemoChannels.h"
#include "M3uParser.h"
#include "scratchpostgres.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <signal.h>
#include <sqlite3.h>

namespace {

const QByteArray kUserAgent = "Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.9.1.3) "
                              "Gecko/20090824 Firefox/3.5.3 (.NET CLR 3.5.30729)";

// A channel as the player reads it from a get_video_list reply.
struct PlayerChannel
{
    int nId = 0;
    QString strName;
    QString strUrl;
    QString strRegion;
    int nScore = 0;
};

// A reply read the way the player reads it: UTF-8 up to the first NUL, a JSON
// object, "action" as a string, "data" as a list of maps, variant conversions.
struct PlayerReply
{
    bool bObject = false;
    QString strAction;
    QStringList lstListVers;
    QVector<PlayerChannel> lstChannels;
};

PlayerReply readAsPlayer(const QByteArray &body)
{
    PlayerReply reply;
    const int nNul = body.indexOf('\0');
    const QByteArray text = QString::fromUtf8(nNul < 0 ? body : body.left(nNul)).toUtf8();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return reply;
    reply.bObject = true;
    const QVariantMap map = doc.object().toVariantMap();
    reply.strAction = map.value(QStringLiteral("action")).toString();
    const QVariantList data = map.value(QStringLiteral("data")).toList();
    for (const QVariant &element : data) {
        const QVariantMap item = element.toMap();
        if (reply.strAction == QLatin1String("get_settings")) {
            if (item.value(QStringLiteral("name")).toString() == QLatin1String("list_ver"))
                reply.lstListVers << item.value(QStringLiteral("value")).toString().trimmed();
        } else if (reply.strAction == QLatin1String("get_video_list")) {
            reply.lstChannels.append({item.value(QStringLiteral("id")).toInt(),
                                      item.value(QStringLiteral("name")).toString(),
                                      item.value(QStringLiteral("url")).toString(),
                                      item.value(QStringLiteral("region")).toString(),
                                      item.value(QStringLiteral("score")).toInt()});
        }
    }
    return reply;
}

struct HttpResult
{
    int nStatus = 0;
    QByteArray contentType;
    QByteArray body;
};

// The service binary as a child process.
class Service
{
public:
    Service(const QString &strDir, const QString &strDb, const QStringList &lstExtraArgs = {})
        : m_strDir(strDir), m_strDb(strDb), m_lstExtraArgs(lstExtraArgs)
    {
    }
    ~Service() { stop(); }

    QString dbPath() const { return m_strDb; }
    QString channelPath() const
    {
        return m_strChannelPath.isEmpty() ? m_strDir + QStringLiteral("/channels.m3u")
                                          : m_strChannelPath;
    }
    QString demoPath() const { return m_strDir + QStringLiteral("/demo"); }

    bool start()
    {
        m_process.setProgram(QStringLiteral(MIREL_SERVICE_BINARY));
        m_process.setArguments(QStringList{QStringLiteral("--listen"),
                                           QStringLiteral("127.0.0.1:0"), QStringLiteral("--db"),
                                           dbPath(), QStringLiteral("--channels"), channelPath(),
                                           QStringLiteral("--demo"), demoPath()} +
                               m_lstExtraArgs);
        m_log.clear();
        m_process.start();
        if (!m_process.waitForStarted())
            return false;
        // The start-up line names the port it took.
        const QRegularExpression listening(QStringLiteral("listening on http://127.0.0.1:(\\d+)"));
        QRegularExpressionMatch match;
        const bool bUp = QTest::qWaitFor(
            [&] {
                m_log += m_process.readAllStandardError();
                match = listening.match(QString::fromUtf8(m_log));
                return match.hasMatch() || m_process.state() != QProcess::Running;
            },
            10000);
        if (!bUp || !match.hasMatch()) {
            qWarning() << "service did not start:" << m_log;
            return false;
        }
        m_nPort = match.captured(1).toInt();
        return true;
    }

    // Stops with SIGTERM; true when it ended cleanly.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished();
            return false;
        }
        m_log += m_process.readAllStandardError();
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

    void signal(int nSignal) { ::kill(pid_t(m_process.processId()), nSignal); }
    void setChannelPath(const QString &strPath) { m_strChannelPath = strPath; }
    bool running() const { return m_process.state() == QProcess::Running; }
    int port() const { return m_nPort; }
    QUrl url(const QString &strPath) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_nPort).arg(strPath));
    }
    QByteArray log()
    {
        m_log += m_process.readAllStandardError();
        return m_log;
    }

private:
    QString m_strDir;
    QString m_strDb;
    QStringList m_lstExtraArgs;
    QString m_strChannelPath;
    QProcess m_process;
    QByteArray m_log;
    int m_nPort = 0;
};

void writeFile(const QString &strPath, const QByteArray &data)
{
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data), qint64(data.size()));
}

// The first value a query gives, read straight from the service's database
// (a file, or a PostgreSQL connection string); also runs statements.
QString dbQuery(const QString &strDb, const QString &strSql)
{
    if (strDb.startsWith(QLatin1String("postgresql://")))
        return ScratchPostgres::query(strDb, strSql);
    sqlite3 *pDb = nullptr;
    QString strValue;
    if (sqlite3_open(QFile::encodeName(strDb).constData(), &pDb) == SQLITE_OK) {
        sqlite3_busy_timeout(pDb, 5000);
        sqlite3_stmt *pStmt = nullptr;
        if (sqlite3_prepare_v2(pDb, strSql.toUtf8().constData(), -1, &pStmt, nullptr) ==
            SQLITE_OK) {
            if (sqlite3_step(pStmt) == SQLITE_ROW)
                strValue = QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(pStmt, 0)));
        } else {
            qWarning() << "query failed:" << strSql << sqlite3_errmsg(pDb);
        }
        sqlite3_finalize(pStmt);
    }
    sqlite3_close(pDb);
    return strValue;
}

// Rows in the plays table.
qint64 storedPlays(const QString &strDb)
{
    const QString strCount = dbQuery(strDb, QStringLiteral("SELECT COUNT(*) FROM plays"));
    return strCount.isEmpty() ? -1 : strCount.toLongLong();
}

// The PostgreSQL server of the test program, started by the first case that
// needs it.
ScratchPostgres *postgres()
{
    static ScratchPostgres server;
    return &server;
}

const QByteArray kChannels =
    "#EXTM3U\n"
    "#EXTINF:-1 tvg-id=\"a\" tvg-country=\"US\" group-title=\"News\",Alpha\n"
    "http://127.0.0.1:1/alpha.m3u8\n"
    "#EXTINF:-1 tvg-country=\"CN\",CCTV-1 综合\n"
    "http://127.0.0.1:1/cctv1.m3u8\n"
    "#EXTINF:-1 tvg-country=\"JP\",<b>&\"Tokyo\"</b>\n"
    "http://127.0.0.1:1/tokyo.m3u8\n"
    "#EXTINF:-1,No Region \\ end\n"
    "http://127.0.0.1:1/none.m3u8\n";

} // namespace

class TestService : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void parserTolerance_data();
    void parserTolerance();
    void regions_data();
    void regions();
    void parserCounts();
    void parserFields_data();
    void parserFields();
    void largeFileLoads();
    void demoPlaylist_data();
    void demoPlaylist();

    void settingsReply();
    void videoListReply();
    void changedFileGivesNewList();
    void sighupReloads();
    void playsRaiseScore();
    void homePage();
    void badPostsRefused_data();
    void badPostsRefused();
    void oversizedChunkedBodyRefused();
    void malformedRequestsAnswered_data();
    void malformedRequestsAnswered();
    void silentClientDropped();
    void manyConnectionsAnswered();
    void databaseReused();
    void shutdownKeepsAcknowledgedReports();
    void stopsAtAnyMoment();
    void demoChannelsServed();
    void refusesToStart_data();
    void refusesToStart();
    void oldDatabaseUpgraded();
    void duplicateUrlsScoredPerEntry();
    void conditionalAndCompressedList();
    void healthFollowsDatabase();
    void slowClientsCutOff();
    void sharedDatabase();
    void clusterUnderLoad();

private:
    HttpResult get(const QString &strPath, Service *pService = nullptr);
    HttpResult post(const QList<QPair<QByteArray, QByteArray>> &fields,
                    Service *pService = nullptr);
    HttpResult rawPost(const QByteArray &contentType, const QByteArray &body);
    HttpResult finish(QNetworkReply *pReply);
    bool startService(const QByteArray &channels = kChannels, const QStringList &lstArgs = {});

    QString m_strStore; // "sqlite" or "postgresql"
    QString m_strDb;    // the --db value of this case
    std::unique_ptr<QTemporaryDir> m_pDir;
    std::unique_ptr<Service> m_pService;
    QNetworkAccessManager *m_pManager = nullptr;
};

void TestService::initTestCase_data()
{
    QTest::addColumn<QString>("store");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

void TestService::init()
{
    QFETCH_GLOBAL(QString, store);
    m_strStore = store;
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    m_pManager = new QNetworkAccessManager(this);
    if (m_strStore == QLatin1String("sqlite")) {
        m_strDb = m_pDir->filePath(QStringLiteral("service.sqlite"));
        return;
    }
    // A missing server is a failure, not a skip: CI installs the package.
    QString strError;
    if (!postgres()->running())
        QVERIFY2(postgres()->start(&strError), qPrintable(strError));
    static int s_nDatabase = 0;
    const QString strName = QStringLiteral("case%1").arg(++s_nDatabase);
    QVERIFY2(postgres()->createDatabase(strName, &strError), qPrintable(strError));
    m_strDb = postgres()->url(strName);
}

// Cases that never touch the store run once, with the first.
#define STORE_INDEPENDENT()                                                                        \
    if (m_strStore != QLatin1String("sqlite"))                                                     \
    QSKIP("does not depend on the store")

void TestService::cleanup()
{
    // Our idle keep-alive connections would hold the service's stop back.
    delete m_pManager;
    m_pManager = nullptr;
    if (m_pService)
        QVERIFY2(m_pService->stop(), m_pService->log().constData());
    m_pService.reset();
    m_pDir.reset();
}

bool TestService::startService(const QByteArray &channels, const QStringList &lstArgs)
{
    m_pService = std::make_unique<Service>(m_pDir->path(), m_strDb, lstArgs);
    QFile file(m_pService->channelPath());
    if (!file.exists()) {
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(channels);
        file.close();
    }
    return m_pService->start();
}

HttpResult TestService::finish(QNetworkReply *pReply)
{
    QSignalSpy finished(pReply, &QNetworkReply::finished);
    if (!pReply->isFinished())
        finished.wait(15000);
    HttpResult result;
    result.nStatus = pReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.contentType = pReply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    result.body = pReply->readAll();
    pReply->deleteLater();
    return result;
}

HttpResult TestService::get(const QString &strPath, Service *pService)
{
    QNetworkRequest request((pService ? pService : m_pService.get())->url(strPath));
    request.setRawHeader("User-Agent", kUserAgent);
    return finish(m_pManager->get(request));
}

// A play report built as the player builds it.
HttpResult TestService::post(const QList<QPair<QByteArray, QByteArray>> &fields, Service *pService)
{
    QNetworkRequest request(
        (pService ? pService : m_pService.get())->url(QStringLiteral("/remote/post_play_info")));
    request.setRawHeader("User-Agent", kUserAgent);
    auto *pMulti = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    for (const auto &field : fields) {
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QVariant(QByteArray("form-data; name=\"") + field.first + '"'));
        part.setBody(field.second);
        pMulti->append(part);
    }
    QNetworkReply *pReply = m_pManager->post(request, pMulti);
    pMulti->setParent(pReply);
    return finish(pReply);
}

HttpResult TestService::rawPost(const QByteArray &contentType, const QByteArray &body)
{
    QNetworkRequest request(m_pService->url(QStringLiteral("/remote/post_play_info")));
    request.setRawHeader("User-Agent", kUserAgent);
    if (!contentType.isEmpty())
        request.setRawHeader("Content-Type", contentType);
    return finish(m_pManager->post(request, body));
}

using Fields = QList<QPair<QByteArray, QByteArray>>;

Fields report(const QByteArray &url, const QByteArray &name = "Alpha")
{
    return {{"region", "all"}, {"video_name", name}, {"video_url", url}, {"app_ver", "WIN_1_2"}};
}

// ---------------------------------------------------------------- parser

void TestService::parserTolerance_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("expected"); // name|url|region per channel

    const QByteArray two = "#EXTM3U\n#EXTINF:-1 tvg-country=\"US\",One\nhttp://a/1\n"
                           "#EXTINF:-1 tvg-country=\"GB\",Two\nhttp://a/2\n";
    const QStringList twoExpected = {QStringLiteral("One|http://a/1|america"),
                                     QStringLiteral("Two|http://a/2|england")};
    QTest::newRow("plain") << two << twoExpected;
    QTest::newRow("CRLF") << QByteArray(two).replace("\n", "\r\n") << twoExpected;
    QTest::newRow("CR only") << QByteArray(two).replace("\n", "\r") << twoExpected;
    QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF") + two << twoExpected;
    QTest::newRow("blank lines and spaces")
        << QByteArray("\n\n  #EXTM3U  \n\n#EXTINF:-1 tvg-country=\"US\",One  \n\n\t http://a/1 "
                      "\n\n\n#EXTINF:-1 tvg-country=\"GB\",Two\r\n\r\nhttp://a/2\n\n")
        << twoExpected;
    QTest::newRow("no attributes")
        << QByteArray("#EXTINF:-1,Just a name\nudp://@239.0.0.1:1234\n")
        << QStringList{QStringLiteral("Just a name|udp://@239.0.0.1:1234|all")};
    QTest::newRow("comma inside quotes")
        << QByteArray("#EXTINF:-1 group-title=\"News, World\" tvg-country=\"JP\",NHK\nhttp://n\n")
        << QStringList{QStringLiteral("NHK|http://n|japan")};
    QTest::newRow("title with commas")
        << QByteArray("#EXTINF:-1 tvg-country=cn,Hello, World\nhttp://h\n")
        << QStringList{QStringLiteral("Hello, World|http://h|china")};
    QTest::newRow("name from tvg-name")
        << QByteArray("#EXTINF:-1 tvg-name=\"Named\" tvg-country=\"UK\"\nhttp://x\n")
        << QStringList{QStringLiteral("Named|http://x|england")};
    QTest::newRow("no name at all") << QByteArray("#EXTINF:-1,\nhttp://x/y\n")
                                    << QStringList{QStringLiteral("http://x/y|http://x/y|all")};
    QTest::newRow("URL without #EXTINF")
        << QByteArray("http://bare/1\n")
        << QStringList{QStringLiteral("http://bare/1|http://bare/1|all")};
    QTest::newRow("other directives skipped")
        << QByteArray("#EXTINF:-1,A\n#EXTVLCOPT:http-user-agent=x\n#EXTGRP:g\nhttp://a\n")
        << QStringList{QStringLiteral("A|http://a|all")};
    QTest::newRow("valid UTF-8")
        << QByteArray("#EXTINF:-1,Caf\xC3\xA9 \xE6\x96\xB0\xE9\x97\xBB\nhttp://c\n")
        << QStringList{QString::fromUtf8("Café 新闻|http://c|all")};
    QTest::newRow("Latin-1 bytes") << QByteArray("#EXTINF:-1,Caf\xE9 Cr\xE8me\nhttp://c/\xE9\n")
                                   << QStringList{QString::fromUtf8("Café Crème|http://c/é|all")};
    QTest::newRow("overlong UTF-8 is not UTF-8")
        << QByteArray("#EXTINF:-1,A\xC0\xAF\nhttp://c\n")
        << QStringList{QString::fromUtf8("AÀ¯|http://c|all")};
    QTest::newRow("truncated last entry") << two + "#EXTINF:-1 tvg-country=\"US\",Three\n"
                                          << twoExpected;
    QTest::newRow("cut inside an attribute") << two + "#EXTINF:-1 tvg-country=\"U" << twoExpected;
    QTest::newRow("#EXTINF without URL before another")
        << QByteArray("#EXTINF:-1,Lost\n#EXTINF:-1,Kept\nhttp://k\n")
        << QStringList{QStringLiteral("Kept|http://k|all")};
    QTest::newRow("huge line skipped")
        << QByteArray("#EXTINF:-1,Huge\nhttp://") + QByteArray(200000, 'x') +
               "\n#EXTINF:-1,Fine\nhttp://f\n"
        << QStringList{QStringLiteral("Fine|http://f|all")};
    QTest::newRow("control characters in the name")
        << QByteArray("#EXTINF:-1,Tab\there\x01\nhttp://t\n")
        << QStringList{QStringLiteral("Tab here|http://t|all")};
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("only a header") << QByteArray("#EXTM3U\r\n") << QStringList();
    QTest::newRow("duplicates kept")
        << QByteArray("#EXTINF:-1,D\nhttp://d\n#EXTINF:-1,D\nhttp://d\n")
        << QStringList{QStringLiteral("D|http://d|all"), QStringLiteral("D|http://d|all")};
}

void TestService::parserTolerance()
{
    STORE_INDEPENDENT();
    QFETCH(QByteArray, data);
    QStringList lstGot;
    for (const M3uChannel &channel : parseM3u(data).lstChannels)
        lstGot << channel.strName + QLatin1Char('|') + channel.strUrl + QLatin1Char('|') +
                      channel.strRegion;
    QTEST(lstGot, "expected");
}

void TestService::regions_data()
{
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("region");
    QTest::newRow("US") << "US"
                        << "america";
    QTest::newRow("lower case") << "us"
                                << "america";
    QTest::newRow("CN") << "CN"
                        << "china";
    QTest::newRow("GB") << "GB"
                        << "england";
    QTest::newRow("UK") << "UK"
                        << "england";
    QTest::newRow("JP") << "JP"
                        << "japan";
    QTest::newRow("first of several") << "GB;IE"
                                      << "england";
    QTest::newRow("other") << "FR"
                           << "all";
    QTest::newRow("none") << ""
                          << "all";
    QTest::newRow("longer code") << "USA"
                                 << "all";
}

void TestService::regions()
{
    STORE_INDEPENDENT();
    QFETCH(QString, country);
    QTEST(regionForCountry(country), "region");
}

void TestService::parserCounts()
{
    STORE_INDEPENDENT();
    const M3uResult result =
        parseM3u(QByteArray("#EXTINF:-1,A\n#EXTINF:-1,B\nhttp://b\nhttp://") +
                 QByteArray(kMaxM3uLineLength + 1, 'x') + "\nhttp://\xE9\n#EXTINF:-1,C");
    QCOMPARE(result.lstChannels.size(), 2);
    QCOMPARE(result.nDroppedEntries, 2);
    QCOMPARE(result.nLongLines, 1);
    QCOMPARE(result.nLatin1Lines, 1);
}

// What the player reads beside name and URL: "name|group|logo|tvg-id|country|
// user agent|referrer|E" per channel, E when the entry had an #EXTINF line,
// after "guide <value>" for each guide address value of an #EXTM3U line.
void TestService::parserFields_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("every attribute, any order")
        << QByteArray("#EXTINF:-1 referrer=\"http://r/\" tvg-logo=\"http://l/a b.png\" "
                      "group-title=\"\xE6\x96\xB0\xE9\x97\xBB, World\" tvg-id=\"a.cn\" "
                      "user-agent=\"UA 1, 2\" tvg-country=CN tvg-name=\"x\",A\nhttp://a\n")
        << QStringList{
               QString::fromUtf8("A|新闻, World|http://l/a b.png|a.cn|CN|UA 1, 2|http://r/|E")};
    QTest::newRow("#EXTGRP and #EXTVLCOPT belong to the next URL; group-title first")
        << QByteArray("#EXTGRP:Sport\n#EXTINF:-1 user-agent=\"attr\",V\n"
                      "#EXTVLCOPT:http-user-agent=Mozilla/5.0 (X11)\n"
                      "#EXTVLCOPT:HTTP-REFERRER=https://ref/?a=1\n#EXTVLCOPT:network-caching=1000\n"
                      "#EXTVLCOPT:sout=#file{dst=/tmp/x}\nhttp://v\n"
                      "#EXTINF:-1 group-title=\"G\",W\n#EXTGRP:H\nhttp://w\nhttp://x\n")
        << QStringList{"V|Sport||||Mozilla/5.0 (X11)|https://ref/?a=1|E", "W|G||||||E",
                       "http://x|||||||"};
    // The header's guide addresses come first, as written: x-tvg-url, then url-tvg.
    QTest::newRow("header guides, several in one, either name")
        << QByteArray("#EXTM3U url-tvg=\"http://127.0.0.1/c.xml\" "
                      "x-tvg-url=\"http://127.0.0.1/a.xml.gz, https://127.0.0.1/b.xml\"\n"
                      "#EXTINF:-1 tvg-id=\"a.uk\" x-tvg-url=\"http://127.0.0.1/no\",A\nhttp://a\n")
        << QStringList{"guide http://127.0.0.1/a.xml.gz, https://127.0.0.1/b.xml",
                       "guide http://127.0.0.1/c.xml", "A|||a.uk||||E"};
    QTest::newRow("a later #EXTM3U line adds its guide")
        << QByteArray("#EXTM3U\n#EXTINF:-1,A\nhttp://a\n#EXTM3U url-tvg=http://127.0.0.1/d\n")
        << QStringList{"guide http://127.0.0.1/d", "A|||||||E"};
    QTest::newRow("a dropped entry takes its options along")
        << QByteArray("#EXTINF:-1,Lost\n#EXTVLCOPT:http-user-agent=L\n#EXTGRP:L\n"
                      "#EXTINF:-1,Kept\nhttp://k\n")
        << QStringList{"Kept|||||||E"};
}

void TestService::parserFields()
{
    STORE_INDEPENDENT();
    QFETCH(QByteArray, data);
    const M3uResult result = parseM3u(data);
    QStringList lstGot;
    for (const QString &strGuide : result.lstGuideUrls)
        lstGot << QStringLiteral("guide ") + strGuide;
    for (const M3uChannel &c : result.lstChannels)
        lstGot << QStringList{c.strName,    c.strGroup,     c.strLogo,     c.strTvgId,
                              c.strCountry, c.strUserAgent, c.strReferrer, c.bExtInf ? "E" : ""}
                      .join(QLatin1Char('|'));
    QTEST(lstGot, "expected");
}

void TestService::largeFileLoads()
{
    QByteArray data = "#EXTM3U\n";
    for (int i = 0; i < 100000; ++i)
        data += "#EXTINF:-1 tvg-id=\"ch" + QByteArray::number(i) +
                "\" tvg-country=\"US\" group-title=\"Group\",Channel " + QByteArray::number(i) +
                "\nhttp://127.0.0.1:1/live/" + QByteArray::number(i) + ".m3u8\n";
    const QString strPath = m_pDir->filePath(QStringLiteral("big.m3u"));
    writeFile(strPath, data);

    ChannelStore store;
    QString strError;
    QVERIFY2(store.open(m_strDb, &strError), qPrintable(strError));
    QVERIFY2(store.loadChannels(strPath, &strError), qPrintable(strError));
    QCOMPARE(store.channels()->lstEntries.size(), size_t(100000));
    QVERIFY(store.reloadIfChanged(true) == false); // same content, same version
}

void TestService::demoPlaylist_data()
{
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<int>("mediaSequence");
    QTest::addColumn<int>("discontinuitySequence");
    QTest::addColumn<QStringList>("segments"); // "D" marks a discontinuity tag
    // Three segments of 2 s: a loop takes 6 s.
    QTest::newRow("start") << qint64(0) << 0 << 0 << QStringList{"s0.ts", "s1.ts", "s2.ts"};
    QTest::newRow("inside the first")
        << qint64(1999) << 0 << 0 << QStringList{"s0.ts", "s1.ts", "s2.ts"};
    QTest::newRow("second segment")
        << qint64(2000) << 1 << 0 << QStringList{"s1.ts", "s2.ts", "D", "s3.ts"};
    QTest::newRow("third segment")
        << qint64(5000) << 2 << 0 << QStringList{"s2.ts", "D", "s3.ts", "s4.ts"};
    QTest::newRow("first wrap on top")
        << qint64(6000) << 3 << 0 << QStringList{"D", "s3.ts", "s4.ts", "s5.ts"};
    QTest::newRow("first wrap gone")
        << qint64(8000) << 4 << 1 << QStringList{"s4.ts", "s5.ts", "D", "s6.ts"};
    QTest::newRow("an hour on") << qint64(3600000) << 1800 << 599
                                << QStringList{"D", "s1800.ts", "s1801.ts", "s1802.ts"};
}

void TestService::demoPlaylist()
{
    STORE_INDEPENDENT();
    QFETCH(qint64, elapsedMs);
    const QString strDir = m_pDir->filePath(QStringLiteral("demo/chan"));
    QVERIFY(QDir().mkpath(strDir));
    writeFile(strDir + QStringLiteral("/index.m3u8"),
              "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.000000,\nseg0.ts\n"
              "#EXTINF:2.000000,\nseg1.ts\n#EXTINF:2.000000,\nseg2.ts\n#EXT-X-ENDLIST\n");
    for (int i = 0; i < 3; ++i)
        writeFile(strDir + QStringLiteral("/seg%1.ts").arg(i), "segment " + QByteArray::number(i));
    DemoChannels demo;
    QCOMPARE(demo.load(m_pDir->filePath(QStringLiteral("demo"))), 1);

    const QStringList lstLines =
        QString::fromStdString(demo.livePlaylist("chan", elapsedMs)).split(QLatin1Char('\n'));
    QCOMPARE(lstLines.value(0), QStringLiteral("#EXTM3U"));
    QVERIFY(!lstLines.contains(QStringLiteral("#EXT-X-ENDLIST")));
    QVERIFY(lstLines.contains(QStringLiteral("#EXT-X-TARGETDURATION:2")));
    int nSequence = -1;
    int nDiscontinuity = -1;
    QStringList lstSegments;
    for (const QString &strLine : lstLines) {
        if (strLine.startsWith(QLatin1String("#EXT-X-MEDIA-SEQUENCE:")))
            nSequence = strLine.mid(22).toInt();
        else if (strLine.startsWith(QLatin1String("#EXT-X-DISCONTINUITY-SEQUENCE:")))
            nDiscontinuity = strLine.mid(30).toInt();
        else if (strLine == QLatin1String("#EXT-X-DISCONTINUITY"))
            lstSegments << QStringLiteral("D");
        else if (!strLine.isEmpty() && !strLine.startsWith(QLatin1Char('#')))
            lstSegments << strLine;
    }
    QTEST(nSequence, "mediaSequence");
    QTEST(nDiscontinuity, "discontinuitySequence");
    QTEST(lstSegments, "segments");

    std::string data;
    QVERIFY(demo.segment("chan", 1801, data));
    QCOMPARE(QByteArray::fromStdString(data), QByteArray("segment 1"));
    QVERIFY(!demo.segment("other", 0, data));
    QVERIFY(demo.livePlaylist("other", elapsedMs).empty());
}

// ---------------------------------------------------------------- over HTTP

void TestService::settingsReply()
{
    QVERIFY(startService());
    const HttpResult result = get(QStringLiteral("/remote/get_settings"));
    QCOMPARE(result.nStatus, 200);
    QVERIFY(result.contentType.startsWith("application/json"));
    const PlayerReply reply = readAsPlayer(result.body);
    QVERIFY(reply.bObject);
    QCOMPARE(reply.strAction, QStringLiteral("get_settings"));
    QCOMPARE(reply.lstListVers.size(), 1);
    QVERIFY(!reply.lstListVers.first().isEmpty());
    // Exactly the documented shape, nothing more.
    const QJsonObject obj = QJsonDocument::fromJson(result.body).object();
    QCOMPARE(obj.keys(), QStringList({QStringLiteral("action"), QStringLiteral("data")}));
    QCOMPARE(obj.value(QStringLiteral("data")).toArray().first().toObject().keys(),
             QStringList({QStringLiteral("name"), QStringLiteral("value")}));
    // Every request is logged: method, path, status, time taken.
    QTRY_VERIFY(QRegularExpression(QStringLiteral("GET /remote/get_settings 200 [0-9.]+ ms"))
                    .match(QString::fromUtf8(m_pService->log()))
                    .hasMatch());
}

void TestService::videoListReply()
{
    QVERIFY(startService());
    const HttpResult result = get(QStringLiteral("/remote/get_video_list"));
    QCOMPARE(result.nStatus, 200);
    const PlayerReply reply = readAsPlayer(result.body);
    QCOMPARE(reply.strAction, QStringLiteral("get_video_list"));
    QCOMPARE(reply.lstChannels.size(), 4);
    const QStringList lstNames = {QStringLiteral("Alpha"), QString::fromUtf8("CCTV-1 综合"),
                                  QStringLiteral("<b>&\"Tokyo\"</b>"),
                                  QStringLiteral("No Region \\ end")};
    const QStringList lstRegions = {QStringLiteral("america"), QStringLiteral("china"),
                                    QStringLiteral("japan"), QStringLiteral("all")};
    QSet<int> ids;
    for (int i = 0; i < 4; ++i) {
        const PlayerChannel &channel = reply.lstChannels.at(i);
        QCOMPARE(channel.strName, lstNames.at(i));
        QCOMPARE(channel.strRegion, lstRegions.at(i));
        QVERIFY(channel.strUrl.startsWith(QLatin1String("http://127.0.0.1:1/")));
        QCOMPARE(channel.nScore, 0);
        QVERIFY(channel.nId > 0);
        ids.insert(channel.nId);
    }
    QCOMPARE(ids.size(), 4);
    // Numbers are JSON numbers, strings JSON strings.
    const QJsonObject first = QJsonDocument::fromJson(result.body)
                                  .object()
                                  .value(QStringLiteral("data"))
                                  .toArray()
                                  .first()
                                  .toObject();
    QVERIFY(first.value(QStringLiteral("id")).isDouble());
    QVERIFY(first.value(QStringLiteral("score")).isDouble());
    QVERIFY(first.value(QStringLiteral("name")).isString());
    QCOMPARE(first.size(), 5);
}

void TestService::changedFileGivesNewList()
{
    QVERIFY(startService());
    const QString strVer1 =
        readAsPlayer(get(QStringLiteral("/remote/get_settings")).body).lstListVers.value(0);
    const QVector<PlayerChannel> lstBefore =
        readAsPlayer(get(QStringLiteral("/remote/get_video_list")).body).lstChannels;

    // The same content written again is the same list.
    writeFile(m_pService->channelPath(), kChannels);
    QCOMPARE(readAsPlayer(get(QStringLiteral("/remote/get_settings")).body).lstListVers.value(0),
             strVer1);

    writeFile(m_pService->channelPath(),
              "#EXTINF:-1,New One\nhttp://127.0.0.1:1/new.m3u8\n"
              "#EXTINF:-1 tvg-country=\"US\",Alpha again\nhttp://127.0.0.1:1/alpha.m3u8\n");
    const QString strVer2 =
        readAsPlayer(get(QStringLiteral("/remote/get_settings")).body).lstListVers.value(0);
    QVERIFY(!strVer2.isEmpty());
    QVERIFY(strVer2 != strVer1);
    const QVector<PlayerChannel> lstAfter =
        readAsPlayer(get(QStringLiteral("/remote/get_video_list")).body).lstChannels;
    QCOMPARE(lstAfter.size(), 2);
    QCOMPARE(lstAfter.at(0).strName, QStringLiteral("New One"));
    QCOMPARE(lstAfter.at(1).strName, QStringLiteral("Alpha again"));
    QCOMPARE(lstAfter.at(1).nId, lstBefore.at(0).nId); // same URL, same id
    for (const PlayerChannel &channel : lstBefore)
        QVERIFY(channel.nId != lstAfter.at(0).nId);

    // A channel file that disappears keeps the list being served.
    QVERIFY(QFile::remove(m_pService->channelPath()));
    QCOMPARE(readAsPlayer(get(QStringLiteral("/remote/get_settings")).body).lstListVers.value(0),
             strVer2);
    QCOMPARE(readAsPlayer(get(QStringLiteral("/remote/get_video_list")).body).lstChannels.size(),
             2);
}

void TestService::sighupReloads()
{
    QVERIFY(startService());
    writeFile(m_pService->channelPath(), "#EXTINF:-1,Only\nhttp://127.0.0.1:1/only.m3u8\n");
    m_pService->signal(SIGHUP);
    // No get_settings in between: the signal alone reloads.
    QTRY_COMPARE(
        readAsPlayer(get(QStringLiteral("/remote/get_video_list")).body).lstChannels.size(), 1);
    QVERIFY(m_pService->running());
}

void TestService::playsRaiseScore()
{
    QVERIFY(startService());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(readAsPlayer(post(report("http://127.0.0.1:1/tokyo.m3u8")).body).strAction,
                 QStringLiteral("post_play_info"));
    QCOMPARE(post(report("http://127.0.0.1:1/none.m3u8")).nStatus, 200);
    // A report of a channel that is not in the list is stored all the same.
    QCOMPARE(post(report("http://elsewhere/x")).nStatus, 200);
    QCOMPARE(storedPlays(m_pService->dbPath()), qint64(5));

    const QVector<PlayerChannel> lstChannels =
        readAsPlayer(get(QStringLiteral("/remote/get_video_list")).body).lstChannels;
    QCOMPARE(lstChannels.size(), 4);
    QCOMPARE(lstChannels.at(0).nScore, 0);
    QCOMPARE(lstChannels.at(1).nScore, 0);
    QCOMPARE(lstChannels.at(2).nScore, 3);
    QCOMPARE(lstChannels.at(3).nScore, 1);
}

void TestService::homePage()
{
    QVERIFY(startService());
    QCOMPARE(post(report("http://127.0.0.1:1/tokyo.m3u8")).nStatus, 200);
    QCOMPARE(post(report("http://127.0.0.1:1/tokyo.m3u8")).nStatus, 200);
    QCOMPARE(post(report("http://127.0.0.1:1/none.m3u8")).nStatus, 200);
    const HttpResult result = get(QStringLiteral("/"));
    QCOMPARE(result.nStatus, 200);
    QVERIFY(result.contentType.startsWith("text/html"));
    const QString strHtml = QString::fromUtf8(result.body);
    QVERIFY(!strHtml.contains(QLatin1String("<b>")));
    const int nTokyo = strHtml.indexOf(QLatin1String("&lt;b&gt;&amp;&quot;Tokyo&quot;&lt;/b&gt;"));
    const int nNone = strHtml.indexOf(QLatin1String("No Region"));
    const int nAlpha = strHtml.indexOf(QLatin1String("Alpha"));
    const int nCctv = strHtml.indexOf(QString::fromUtf8("CCTV-1 综合"));
    QVERIFY(nTokyo > 0);
    // Most played first; equal counts keep the file's order.
    QVERIFY(nTokyo < nNone);
    QVERIFY(nNone < nAlpha);
    QVERIFY(nAlpha < nCctv);
}

void TestService::badPostsRefused_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("why");

    auto multipart = [](const QList<QPair<QByteArray, QByteArray>> &fields) {
        QByteArray body;
        for (const auto &field : fields)
            body += "--XyZ\r\nContent-Disposition: form-data; name=\"" + field.first +
                    "\"\r\n\r\n" + field.second + "\r\n";
        return body + "--XyZ--\r\n";
    };
    const QByteArray form = "multipart/form-data; boundary=XyZ";
    const Fields full = report("http://127.0.0.1:1/alpha.m3u8");

    QTest::newRow("url-encoded form")
        << QByteArray("application/x-www-form-urlencoded")
        << QByteArray("region=all&video_name=a&video_url=b&app_ver=c") << "multipart";
    QTest::newRow("JSON") << QByteArray("application/json") << QByteArray("{\"region\":\"all\"}")
                          << "multipart";
    QTest::newRow("no body") << QByteArray() << QByteArray() << "multipart";
    for (int i = 0; i < full.size(); ++i) {
        Fields missing = full;
        missing.removeAt(i);
        QTest::newRow(("without " + full.at(i).first).constData())
            << form << multipart(missing) << QString::fromLatin1(full.at(i).first);
    }
    Fields big = full;
    big[1].second = QByteArray(65 * 1024, 'n');
    QTest::newRow("over 64 KiB") << form << multipart(big) << "65536";
    QTest::newRow("broken multipart")
        << form << QByteArray("--XyZ\r\nContent-Disposition: form-data; name=\"region\"\r\n\r\nall")
        << "malformed";
    QTest::newRow("wrong boundary")
        << QByteArray("multipart/form-data; boundary=Other") << multipart(full) << "";
    QTest::newRow("multipart without boundary")
        << QByteArray("multipart/form-data") << multipart(full) << "";
}

void TestService::badPostsRefused()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QString, why);
    QVERIFY(startService());

    const HttpResult result = rawPost(contentType, body);
    QCOMPARE(result.nStatus, 400);
    QVERIFY(result.contentType.startsWith("application/json"));
    const QJsonObject obj = QJsonDocument::fromJson(result.body).object();
    const QString strError = obj.value(QStringLiteral("error")).toString();
    QVERIFY2(!strError.isEmpty(), result.body.constData());
    QVERIFY2(strError.contains(why), qPrintable(strError));
    QCOMPARE(storedPlays(m_pService->dbPath()), qint64(0));

    // The service goes on serving, and the same connection settings still work.
    QCOMPARE(post(report("http://127.0.0.1:1/alpha.m3u8")).nStatus, 200);
    QCOMPARE(storedPlays(m_pService->dbPath()), qint64(1));
}

void TestService::oversizedChunkedBodyRefused()
{
    STORE_INDEPENDENT();
    QVERIFY(startService());
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_pService->port()));
    QVERIFY(socket.waitForConnected());
    socket.write("POST /remote/post_play_info HTTP/1.1\r\nHost: x\r\n"
                 "Content-Type: multipart/form-data; boundary=XyZ\r\n"
                 "Transfer-Encoding: chunked\r\n\r\n");
    const QByteArray chunk(16 * 1024, 'a');
    for (int i = 0; i < 8 && socket.state() == QAbstractSocket::ConnectedState; ++i) {
        socket.write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
        socket.waitForBytesWritten(1000);
    }
    QByteArray answer;
    QTRY_VERIFY_WITH_TIMEOUT((answer += socket.readAll()).contains("\r\n\r\n{"), 10000);
    QVERIFY2(answer.startsWith("HTTP/1.1 400"), answer.constData());
    QVERIFY2(answer.contains("65536"), answer.constData());
    QCOMPARE(storedPlays(m_pService->dbPath()), qint64(0));
}

void TestService::malformedRequestsAnswered_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::newRow("not HTTP") << QByteArray("GARBAGE\r\n\r\n") << QByteArray("HTTP/1.1 400");
    QByteArray binary;
    for (int i = 0; i < 2560; ++i)
        binary += char(i);
    QTest::newRow("binary") << binary + "\r\n\r\n" << QByteArray("HTTP/1.1 400");
    QTest::newRow("huge request line")
        << "GET /" + QByteArray(100000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n"
        << QByteArray("HTTP/1.1 414");
    QTest::newRow("huge header") << "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " +
                                        QByteArray(100000, 'b') + "\r\n\r\n"
                                 << QByteArray("HTTP/1.1 400");
    QTest::newRow("newline in the path")
        << QByteArray("GET /x%0AGET%20/forged HTTP/1.1\r\nHost: x\r\n\r\n")
        << QByteArray("HTTP/1.1 404");
    QTest::newRow("unknown path") << QByteArray("GET /remote/nothing HTTP/1.1\r\nHost: x\r\n\r\n")
                                  << QByteArray("HTTP/1.1 404");
    QTest::newRow("GET of the report path")
        << QByteArray("GET /remote/post_play_info HTTP/1.1\r\nHost: x\r\n\r\n")
        << QByteArray("HTTP/1.1 404");
}

void TestService::malformedRequestsAnswered()
{
    STORE_INDEPENDENT();
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, statusLine);
    QVERIFY(startService());
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_pService->port()));
    QVERIFY(socket.waitForConnected());
    socket.write(request);
    QByteArray answer;
    QTRY_VERIFY_WITH_TIMEOUT((answer += socket.readAll()).contains("\r\n\r\n{"), 10000);
    QVERIFY2(answer.startsWith(statusLine), answer.left(200).constData());
    QVERIFY(answer.contains("\"error\":"));
    QCOMPARE(get(QStringLiteral("/remote/get_settings")).nStatus, 200);
    // One log line per request, whatever the request held.
    const QByteArray log = m_pService->log();
    QVERIFY2(!log.contains("\nGET%20/forged") && !log.contains("\nGET /forged"), log.constData());
}

void TestService::silentClientDropped()
{
    STORE_INDEPENDENT();
    QVERIFY(startService());
    QTcpSocket silent;
    silent.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_pService->port()));
    QVERIFY(silent.waitForConnected());
    QTcpSocket halfway;
    halfway.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_pService->port()));
    QVERIFY(halfway.waitForConnected());
    halfway.write("GET /remote/get_settings HTTP/1.1\r\nHost: x\r\n");
    // Others are served meanwhile.
    QCOMPARE(get(QStringLiteral("/remote/get_settings")).nStatus, 200);
    // Both are cut off after the read timeout instead of holding a worker for good.
    QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QAbstractSocket::UnconnectedState, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(halfway.state(), QAbstractSocket::UnconnectedState, 15000);
    QVERIFY(m_pService->running());
}

void TestService::manyConnectionsAnswered()
{
    STORE_INDEPENDENT();
    QVERIFY(startService());
    constexpr int kClients = 400;
    std::vector<std::unique_ptr<QTcpSocket>> lstSockets;
    for (int i = 0; i < kClients; ++i) {
        auto pSocket = std::make_unique<QTcpSocket>();
        pSocket->connectToHost(QStringLiteral("127.0.0.1"), quint16(m_pService->port()));
        lstSockets.push_back(std::move(pSocket));
    }
    for (auto &pSocket : lstSockets) {
        QVERIFY(pSocket->waitForConnected(10000));
        pSocket->write(
            "GET /remote/get_video_list HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    }
    int nOk = 0;
    int nBusy = 0;
    std::vector<QByteArray> lstAnswers(kClients);
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            nOk = nBusy = 0;
            for (int i = 0; i < kClients; ++i) {
                lstAnswers[size_t(i)] += lstSockets[size_t(i)]->readAll();
                const QByteArray &answer = lstAnswers[size_t(i)];
                if (answer.startsWith("HTTP/1.1 200") && answer.endsWith("]}"))
                    ++nOk;
                else if (answer.startsWith("HTTP/1.1 503") && answer.endsWith("}"))
                    ++nBusy;
            }
            return nOk + nBusy == kClients;
        }(),
        30000);
    qInfo() << kClients << "clients at once:" << nOk << "served," << nBusy << "told to retry";
    QCOMPARE(nOk + nBusy, kClients);
    QVERIFY(nOk > 0);
    QVERIFY(m_pService->running());
    QCOMPARE(get(QStringLiteral("/remote/get_settings")).nStatus, 200);
}

void TestService::databaseReused()
{
    QVERIFY(startService());
    const QVector<PlayerChannel> lstFirst =
        readAsPlayer(get(QStringLiteral("/remote/get_video_list")).body).lstChannels;
    const QString strVer =
        readAsPlayer(get(QStringLiteral("/remote/get_settings")).body).lstListVers.value(0);
    QCOMPARE(post(report("http://127.0.0.1:1/cctv1.m3u8")).nStatus, 200);
    m_pManager->clearConnectionCache();
    QVERIFY(m_pService->stop());

    // Two older reports: six days old counts, eight days old does not.
    const qint64 nToday = QDateTime::currentMSecsSinceEpoch() / (24LL * 3600 * 1000);
    dbQuery(m_strDb, QStringLiteral("INSERT INTO play_counts(day, video_url, video_name, plays)"
                                    " VALUES(%1, 'http://127.0.0.1:1/cctv1.m3u8', 'x', 1),"
                                    " (%2, 'http://127.0.0.1:1/cctv1.m3u8', 'x', 1)")
                         .arg(nToday - 6)
                         .arg(nToday - 8));

    // Same file, same database: same ids, same version, the plays still count.
    QVERIFY(m_pService->start());
    QCOMPARE(readAsPlayer(get(QStringLiteral("/remote/get_settings")).body).lstListVers.value(0),
             strVer);
    QVector<PlayerChannel> lstSecond =
        readAsPlayer(get(QStringLiteral("/remote/get_video_list")).body).lstChannels;
    QCOMPARE(lstSecond.size(), lstFirst.size());
    for (int i = 0; i < lstFirst.size(); ++i)
        QCOMPARE(lstSecond.at(i).nId, lstFirst.at(i).nId);
    QCOMPARE(lstSecond.at(1).nScore, 2);
    m_pManager->clearConnectionCache();
    QVERIFY(m_pService->stop());

    // Reordered, one channel dropped, one added: the old URLs keep their ids;
    // the new one gets an id no other URL ever had.
    writeFile(m_pService->channelPath(), "#EXTINF:-1,Fresh\nhttp://127.0.0.1:1/fresh.m3u8\n"
                                         "#EXTINF:-1,Tokyo\nhttp://127.0.0.1:1/tokyo.m3u8\n"
                                         "#EXTINF:-1,Alpha\nhttp://127.0.0.1:1/alpha.m3u8\n");
    QVERIFY(m_pService->start());
    QVERIFY(readAsPlayer(get(QStringLiteral("/remote/get_settings")).body).lstListVers.value(0) !=
            strVer);
    lstSecond = readAsPlayer(get(QStringLiteral("/remote/get_video_list")).body).lstChannels;
    QCOMPARE(lstSecond.size(), 3);
    QCOMPARE(lstSecond.at(1).nId, lstFirst.at(2).nId);
    QCOMPARE(lstSecond.at(2).nId, lstFirst.at(0).nId);
    for (const PlayerChannel &channel : lstFirst)
        QVERIFY(lstSecond.at(0).nId != channel.nId);
}

void TestService::shutdownKeepsAcknowledgedReports()
{
    QVERIFY(startService());
    QList<QNetworkReply *> lstReplies;
    for (int i = 0; i < 300; ++i) {
        QNetworkRequest request(m_pService->url(QStringLiteral("/remote/post_play_info")));
        auto *pMulti = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        const Fields fields = report("http://127.0.0.1:1/alpha.m3u8", "n" + QByteArray::number(i));
        for (const auto &field : fields) {
            QHttpPart part;
            part.setHeader(QNetworkRequest::ContentDispositionHeader,
                           QVariant(QByteArray("form-data; name=\"") + field.first + '"'));
            part.setBody(field.second);
            pMulti->append(part);
        }
        QNetworkReply *pReply = m_pManager->post(request, pMulti);
        pMulti->setParent(pReply);
        lstReplies << pReply;
    }
    // Stop while reports are still coming in.
    QTRY_VERIFY(std::count_if(lstReplies.begin(), lstReplies.end(),
                              [](QNetworkReply *p) { return p->isFinished(); }) >= 30);
    m_pService->signal(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(lstReplies.begin(), lstReplies.end(),
                                         [](QNetworkReply *p) { return p->isFinished(); }),
                             20000);
    int nAcknowledged = 0;
    for (QNetworkReply *pReply : lstReplies) {
        if (pReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200 &&
            readAsPlayer(pReply->readAll()).strAction == QLatin1String("post_play_info"))
            ++nAcknowledged;
    }
    QVERIFY(m_pService->stop());
    qInfo() << nAcknowledged << "of 300 reports acknowledged before the stop";
    QVERIFY(nAcknowledged >= 30);
    QVERIFY(storedPlays(m_pService->dbPath()) >= nAcknowledged);
    qDeleteAll(lstReplies);
}

void TestService::stopsAtAnyMoment()
{
    STORE_INDEPENDENT();
    writeFile(m_pDir->filePath(QStringLiteral("channels.m3u")), kChannels);
    // A stop request that comes while the service is still starting must not
    // be lost (it would leave a service that no longer listens to signals).
    for (int nDelayMs : {0, 1, 2, 5, 10, 20, 50}) {
        QProcess process;
        process.start(QStringLiteral(MIREL_SERVICE_BINARY),
                      {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                       QStringLiteral("--db"), m_pDir->filePath(QStringLiteral("db.sqlite")),
                       QStringLiteral("--channels"),
                       m_pDir->filePath(QStringLiteral("channels.m3u"))});
        QVERIFY(process.waitForStarted());
        QThread::msleep(ulong(nDelayMs)); // the moment of the signal is the point here
        process.terminate();
        QVERIFY2(process.waitForFinished(5000), qPrintable(QString::number(nDelayMs)));
    }
}

void TestService::demoChannelsServed()
{
    STORE_INDEPENDENT();
    const QString strDir = m_pDir->filePath(QStringLiteral("demo/news"));
    QVERIFY(QDir().mkpath(strDir));
    writeFile(strDir + QStringLiteral("/index.m3u8"),
              "#EXTM3U\n#EXTINF:2.0,\nseg0.ts\n#EXTINF:2.0,\nseg1.ts\n#EXT-X-ENDLIST\n");
    writeFile(strDir + QStringLiteral("/seg0.ts"), "zero");
    writeFile(strDir + QStringLiteral("/seg1.ts"), "one");
    QVERIFY(startService());

    const HttpResult playlist = get(QStringLiteral("/demo/news/live.m3u8"));
    QCOMPARE(playlist.nStatus, 200);
    QVERIFY(playlist.body.startsWith("#EXTM3U\n"));
    QVERIFY(playlist.body.contains("#EXT-X-MEDIA-SEQUENCE:"));
    QVERIFY(!playlist.body.contains("ENDLIST"));
    QCOMPARE(get(QStringLiteral("/demo/news/s5.ts")).body, QByteArray("one"));
    QCOMPARE(get(QStringLiteral("/demo/news/s6.ts")).body, QByteArray("zero"));
    QCOMPARE(get(QStringLiteral("/demo/nothing/live.m3u8")).nStatus, 404);
    QCOMPARE(get(QStringLiteral("/demo/news/../../service.sqlite")).nStatus, 404);
    QCOMPARE(get(QStringLiteral("/demo/news/s99999999999999999999999.ts")).nStatus, 404);
}

void TestService::refusesToStart_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option") << "option"
                                    << "unknown option";
    QTest::newRow("option without value") << "novalue"
                                          << "needs a value";
    QTest::newRow("bad listen address") << "listen"
                                        << "bad --listen";
    QTest::newRow("missing channel file") << "missing"
                                          << "cannot read channel file";
    QTest::newRow("channel file is a directory") << "directory"
                                                 << "cannot read channel file";
    QTest::newRow("port in use") << "port"
                                 << "Address already in use";
    QTest::newRow("database not usable") << "db"
                                         << "database";
}

void TestService::refusesToStart()
{
    QFETCH(QString, scenario);
    QFETCH(QString, message);
    const QString strChannels = m_pDir->filePath(QStringLiteral("channels.m3u"));
    writeFile(strChannels, kChannels);
    const QString strDb = m_pDir->filePath(QStringLiteral("db.sqlite"));
    QTcpServer busy;
    QVERIFY(busy.listen(QHostAddress::LocalHost));
    QStringList lstArgs = {QStringLiteral("--listen"),   QStringLiteral("127.0.0.1:0"),
                           QStringLiteral("--db"),       strDb,
                           QStringLiteral("--channels"), strChannels};
    if (scenario == QLatin1String("option"))
        lstArgs << QStringLiteral("--frobnicate");
    else if (scenario == QLatin1String("novalue"))
        lstArgs << QStringLiteral("--db");
    else if (scenario == QLatin1String("listen"))
        lstArgs[1] = QStringLiteral("127.0.0.1:99999");
    else if (scenario == QLatin1String("missing"))
        lstArgs[5] = m_pDir->filePath(QStringLiteral("nope.m3u"));
    else if (scenario == QLatin1String("directory"))
        lstArgs[5] = m_pDir->path();
    else if (scenario == QLatin1String("port"))
        lstArgs[1] = QStringLiteral("127.0.0.1:%1").arg(busy.serverPort());
    else if (scenario == QLatin1String("db"))
        lstArgs[3] = m_strStore == QLatin1String("sqlite")
                         ? m_pDir->path()
                         : QStringLiteral("postgresql://mirel@127.0.0.1:1/nothing");

    QProcess process;
    process.start(QStringLiteral(MIREL_SERVICE_BINARY), lstArgs);
    QVERIFY(process.waitForFinished(10000));
    QVERIFY(process.exitCode() != 0);
    const QString strErr = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    const QStringList lstLines = strErr.split(QLatin1Char('\n'));
    QVERIFY2(lstLines.last().startsWith(QLatin1String("mirel-channel-service: ")),
             qPrintable(strErr));
    QVERIFY2(lstLines.last().contains(message), qPrintable(strErr));

    QProcess help;
    help.start(QStringLiteral(MIREL_SERVICE_BINARY), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(10000));
    QCOMPARE(help.exitCode(), 0);
    QVERIFY(help.readAllStandardOutput().contains("--demo DIR"));
}

// A database of the first schema: channel ids, a list version, and plays
// stored before they were counted per day.
void TestService::oldDatabaseUpgraded()
{
    if (m_strStore != QLatin1String("sqlite"))
        QSKIP("PostgreSQL databases begin with the current schema");
    const qint64 nDay = 24LL * 3600 * 1000;
    const qint64 nNow = QDateTime::currentMSecsSinceEpoch();
    for (const QString &strSql :
         {QStringLiteral("CREATE TABLE channels(id INTEGER PRIMARY KEY AUTOINCREMENT,"
                         " url TEXT NOT NULL UNIQUE)"),
          QStringLiteral("CREATE TABLE plays(id INTEGER PRIMARY KEY, time INTEGER NOT NULL,"
                         " region TEXT NOT NULL, video_name TEXT NOT NULL, video_url TEXT NOT NULL,"
                         " app_ver TEXT NOT NULL, client TEXT NOT NULL)"),
          QStringLiteral("CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)"),
          QStringLiteral("INSERT INTO channels(url) VALUES('http://127.0.0.1:1/tokyo.m3u8')"),
          QStringLiteral("INSERT INTO meta VALUES('list_ver', '7'), ('list_hash', 'old')"),
          QStringLiteral("INSERT INTO plays(time, region, video_name, video_url, app_ver, client)"
                         " SELECT t, 'all', 'T', 'http://127.0.0.1:1/tokyo.m3u8', 'WIN_1_2', 'x'"
                         " FROM (SELECT %1 AS t UNION SELECT %2 UNION SELECT %3)")
              .arg(nNow - nDay)
              .arg(nNow - 6 * nDay)
              .arg(nNow - 8 * nDay)})
        dbQuery(m_strDb, strSql);
    // Upgraded once: a second start changes nothing.
    for (int nRun = 0; nRun < 2; ++nRun) {
        QVERIFY(startService());
        QCOMPARE(readAsPlayer(get(QStringLiteral("/remote/get_settings")).body).lstListVers,
                 QStringList{QStringLiteral("8")});
        const QVector<PlayerChannel> lstChannels =
            readAsPlayer(get(QStringLiteral("/remote/get_video_list")).body).lstChannels;
        QCOMPARE(lstChannels.size(), 4);
        QCOMPARE(lstChannels.at(2).nId, 1);
        QCOMPARE(lstChannels.at(2).nScore, 2);
        m_pManager->clearConnectionCache();
        QVERIFY(m_pService->stop());
    }
}

// Two channels on one URL share an id but not their plays.
void TestService::duplicateUrlsScoredPerEntry()
{
    const QByteArray shared = "http://127.0.0.1:1/shared.m3u8";
    QVERIFY(startService("#EXTINF:-1,News\n" + shared + "\n#EXTINF:-1,Sport\n" + shared +
                         "\n#EXTINF:-1,News\n" + shared +
                         "\n#EXTINF:-1,Other\nhttp://127.0.0.1:1/other.m3u8\n"));
    const QVector<PlayerChannel> lstChannels =
        readAsPlayer(get(QStringLiteral("/remote/get_video_list")).body).lstChannels;
    QCOMPARE(lstChannels.size(), 4);
    QCOMPARE(lstChannels.at(1).nId, lstChannels.at(0).nId);
    QCOMPARE(lstChannels.at(2).nId, lstChannels.at(0).nId);
    QVERIFY(lstChannels.at(3).nId != lstChannels.at(0).nId);
    for (const char *pszName : {"News", "News", "Sport", "Renamed by the user"})
        QCOMPARE(post(report(shared, pszName)).nStatus, 200);
    QCOMPARE(post(report("http://127.0.0.1:1/other.m3u8", "Any name")).nStatus, 200);
    // News gets its own plays and the one under a name no entry has; the
    // second News entry is the same channel.
    const auto scores = [this] {
        QList<int> lstScores;
        for (const PlayerChannel &channel :
             readAsPlayer(get(QStringLiteral("/remote/get_video_list")).body).lstChannels)
            lstScores << channel.nScore;
        return lstScores;
    };
    QTRY_COMPARE(scores(), (QList<int>{3, 1, 3, 1}));
}

void TestService::conditionalAndCompressedList()
{
    STORE_INDEPENDENT();
    QVERIFY(startService());
    const QString strUrl = m_pService->url(QStringLiteral("/remote/get_video_list")).toString();
    const QString strBody = m_pDir->filePath(QStringLiteral("body"));
    // Status line and headers in lower case; the body goes to strBody.
    const auto curl = [&](const QStringList &lstArgs) {
        QFile::remove(strBody);
        QProcess process;
        process.start(QStringLiteral("curl"),
                      QStringList{QStringLiteral("-sS"), QStringLiteral("-D"), QStringLiteral("-"),
                                  QStringLiteral("-o"), strBody} +
                          lstArgs + QStringList{strUrl});
        if (!process.waitForFinished(15000) || process.exitCode() != 0)
            return "curl failed: " + process.errorString().toUtf8() +
                   process.readAllStandardError();
        return process.readAllStandardOutput().toLower();
    };
    const auto body = [&] {
        QFile file(strBody);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const auto etag = [](const QByteArray &headers) {
        const int nStart = headers.indexOf("\netag: ") + 7;
        return nStart < 7 ? QByteArray()
                          : headers.mid(nStart, headers.indexOf('\r', nStart) - nStart);
    };

    // As the player asks: identity.
    QByteArray headers = curl({QStringLiteral("-H"), QStringLiteral("Accept-Encoding: identity")});
    QVERIFY2(headers.startsWith("http/1.1 200"), headers.constData());
    QVERIFY(!headers.contains("content-encoding"));
    const QByteArray identityTag = etag(headers);
    const QByteArray identity = body();
    QCOMPARE(readAsPlayer(identity).lstChannels.size(), 4);
    // gzip: compressed on the wire, the same JSON once unpacked.
    headers = curl({QStringLiteral("-H"), QStringLiteral("Accept-Encoding: gzip")});
    QVERIFY2(headers.contains("\ncontent-encoding: gzip\r"), headers.constData());
    QVERIFY(body().startsWith("\x1f\x8b"));
    const QByteArray gzipTag = etag(headers);
    QVERIFY(gzipTag != identityTag);
    curl({QStringLiteral("--compressed")});
    QCOMPARE(body(), identity);
    // The tag a client holds, of either form, gives 304 and no body.
    for (const QByteArray &tag : {identityTag, "W/" + gzipTag, "\"other\", " + identityTag}) {
        headers = curl({QStringLiteral("-H"), QStringLiteral("If-None-Match: ") + tag});
        QVERIFY2(headers.startsWith("http/1.1 304"), (tag + '\n' + headers).constData());
        QCOMPARE(etag(headers), identityTag);
        QVERIFY(body().isEmpty());
    }
    QVERIFY(curl({QStringLiteral("-H"), QStringLiteral("If-None-Match: \"other\"")})
                .startsWith("http/1.1 200"));
    // A play changes a score, so the reply, so its tag.
    QCOMPARE(post(report("http://127.0.0.1:1/alpha.m3u8")).nStatus, 200);
    QTRY_VERIFY(curl({QStringLiteral("-H"), QStringLiteral("If-None-Match: ") + identityTag})
                    .startsWith("http/1.1 200"));
}

void TestService::healthFollowsDatabase()
{
    if (m_strStore != QLatin1String("postgresql"))
        QSKIP("an SQLite file does not go away");
    QVERIFY(startService());
    QCOMPARE(get(QStringLiteral("/healthz")).nStatus, 200);
    QVERIFY(postgres()->stop());
    QCOMPARE(get(QStringLiteral("/healthz")).nStatus, 503);
    const HttpResult refused = post(report("http://127.0.0.1:1/alpha.m3u8"));
    QCOMPARE(refused.nStatus, 503);
    QCOMPARE(readAsPlayer(refused.body).strAction, QStringLiteral("post_play_info"));
    // What the service holds is still served.
    QCOMPARE(readAsPlayer(get(QStringLiteral("/remote/get_video_list")).body).lstChannels.size(),
             4);
    QVERIFY(postgres()->restart());
    QTRY_COMPARE(get(QStringLiteral("/healthz")).nStatus, 200);
    QCOMPARE(post(report("http://127.0.0.1:1/alpha.m3u8")).nStatus, 200);
    QCOMPARE(storedPlays(m_strDb), qint64(1));
}

void TestService::slowClientsCutOff()
{
    STORE_INDEPENDENT();
    QVERIFY(startService(kChannels, {QStringLiteral("--max-per-address"), QStringLiteral("2")}));
    const QByteArray request = "GET /remote/get_settings HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                               "X-Padding: " +
                               QByteArray(40, 'x') + "\r\n\r\n";
    // Two clients that send a byte a second: their requests would take a minute.
    std::vector<std::unique_ptr<QTcpSocket>> lstSlow;
    for (int i = 0; i < 2; ++i) {
        lstSlow.push_back(std::make_unique<QTcpSocket>());
        lstSlow.back()->connectToHost(QStringLiteral("127.0.0.1"), quint16(m_pService->port()));
        QVERIFY(lstSlow.back()->waitForConnected());
        lstSlow.back()->write(request.left(1));
        QVERIFY(lstSlow.back()->waitForBytesWritten());
    }
    int nSent = 1;
    QTimer trickle;
    connect(&trickle, &QTimer::timeout, this, [&] {
        for (auto &pSocket : lstSlow)
            pSocket->write(request.mid(nSent, 1));
        ++nSent;
    });
    trickle.start(1000);
    // A whole request from another connection of theirs.
    const auto exchange = [&](const QHostAddress &from) {
        QTcpSocket socket;
        socket.bind(from);
        socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_pService->port()));
        if (!socket.waitForConnected())
            return QByteArray("no connection");
        socket.write(request);
        QByteArray answer;
        QElapsedTimer timer;
        timer.start();
        while (!answer.contains("\r\n\r\n{") && timer.elapsed() < 10000 &&
               socket.state() == QAbstractSocket::ConnectedState) {
            socket.waitForReadyRead(100);
            answer += socket.readAll();
        }
        return answer;
    };
    // Their address has its two connections: a third is refused at once (the
    // slow ones came first, so they are the two held), while another address
    // is served.
    const QByteArray answer = exchange(QHostAddress::LocalHost);
    QVERIFY2(answer.startsWith("HTTP/1.1 503"), answer.constData());
    QVERIFY(exchange(QHostAddress::LocalHost).contains("your address"));
    QVERIFY(exchange(QHostAddress(QStringLiteral("127.0.0.2"))).startsWith("HTTP/1.1 200"));
    // The deadline cuts both off long before their requests are complete.
    QTRY_VERIFY_WITH_TIMEOUT(lstSlow[0]->state() == QAbstractSocket::UnconnectedState &&
                                 lstSlow[1]->state() == QAbstractSocket::UnconnectedState,
                             40000);
    QVERIFY2(nSent < request.size() / 2, qPrintable(QString::number(nSent)));
    QVERIFY(m_pService->log().contains("cut off"));
    // Their address is served again.
    QVERIFY(exchange(QHostAddress::LocalHost).startsWith("HTTP/1.1 200"));
}

// Three services on one database: two read one channel file, the third a
// copy of its own that does not change.
void TestService::sharedDatabase()
{
    QVERIFY(startService());
    std::vector<std::unique_ptr<Service>> lstOthers;
    for (int i = 0; i < 2; ++i) {
        lstOthers.push_back(std::make_unique<Service>(m_pDir->path(), m_strDb));
        if (i == 1) {
            const QString strOwn = m_pDir->filePath(QStringLiteral("own.m3u"));
            QVERIFY(QFile::copy(m_pService->channelPath(), strOwn));
            lstOthers.back()->setChannelPath(strOwn);
        }
        QVERIFY(lstOthers.back()->start());
    }
    const std::vector<Service *> lstAll = {m_pService.get(), lstOthers[0].get(),
                                           lstOthers[1].get()};
    const auto version = [this](Service *pService) {
        return readAsPlayer(get(QStringLiteral("/remote/get_settings"), pService).body)
            .lstListVers.value(0);
    };
    const auto list = [this](Service *pService) {
        QStringList lstItems;
        for (const PlayerChannel &channel :
             readAsPlayer(get(QStringLiteral("/remote/get_video_list"), pService).body).lstChannels)
            lstItems << QStringLiteral("%1 %2 %3")
                            .arg(channel.nId)
                            .arg(channel.strName)
                            .arg(channel.nScore);
        return lstItems;
    };
    const QString strVer = version(lstAll[0]);
    for (Service *pService : lstAll) {
        QCOMPARE(version(pService), strVer);
        QCOMPARE(list(pService), list(lstAll[0]));
    }

    // The file changes and both services that read it are asked at once:
    // one new version for the new content.
    writeFile(m_pService->channelPath(), "#EXTINF:-1,Fresh\nhttp://127.0.0.1:1/fresh.m3u8\n"
                                         "#EXTINF:-1,Alpha\nhttp://127.0.0.1:1/alpha.m3u8\n");
    QList<QNetworkReply *> lstReplies;
    for (int i = 0; i < 6; ++i)
        lstReplies << m_pManager->get(
            QNetworkRequest(lstAll[size_t(i % 2)]->url(QStringLiteral("/remote/get_settings"))));
    QStringList lstVers;
    for (QNetworkReply *pReply : lstReplies)
        lstVers << readAsPlayer(finish(pReply).body).lstListVers.value(0);
    const QString strNewVer = QString::number(strVer.toInt() + 1);
    QCOMPARE(lstVers, QStringList(QVector<QString>(6, strNewVer).toList()));
    // The third takes that version from the database.
    QTRY_COMPARE(version(lstAll[2]), strNewVer);
    QCOMPARE(list(lstAll[2]), list(lstAll[0]));
    QCOMPARE(list(lstAll[2]).size(), 2);

    // A report to any of them counts in the scores of all.
    for (Service *pService : lstAll)
        QCOMPARE(post(report("http://127.0.0.1:1/fresh.m3u8"), pService).nStatus, 200);
    for (Service *pService : lstAll)
        QTRY_COMPARE(list(pService).value(0).section(QLatin1Char(' '), -1), QStringLiteral("3"));
    QCOMPARE(storedPlays(m_strDb), qint64(3));
    m_pManager->clearConnectionCache();
    for (auto &pOther : lstOthers)
        QVERIFY2(pOther->stop(), pOther->log().constData());
}

// Three services on one PostgreSQL under mixed load, one killed and the
// database restarted on the way: the short run of bench_service --cluster.
void TestService::clusterUnderLoad()
{
    if (m_strStore != QLatin1String("postgresql"))
        QSKIP("the load test runs on PostgreSQL");
    QProcess bench;
    bench.setProcessChannelMode(QProcess::MergedChannels);
    bench.start(QStringLiteral(MIREL_BENCH_SERVICE_BINARY),
                {QStringLiteral("--cluster"), QStringLiteral("8")});
    QVERIFY(bench.waitForFinished(120000));
    const QByteArray output = bench.readAll();
    qInfo().noquote() << output;
    QVERIFY2(bench.exitStatus() == QProcess::NormalExit && bench.exitCode() == 0,
             output.right(2000).constData());
}

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
