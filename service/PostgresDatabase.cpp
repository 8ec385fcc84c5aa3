#include "PostgresDatabase.h"

#include <QDebug>
#include <QRegularExpression>

#include <libpq-fe.h>

#include <map>
#include <tuple>

namespace {

// Advisory lock keys: one for the schema, one for publishing a list.
constexpr int64_t kSchemaLock = 0x6d6972656c0001;
constexpr int64_t kListLock = 0x6d6972656c0002;
// A broken connection is tried again at most this often.
constexpr auto kReconnectInterval = std::chrono::milliseconds(500);

int64_t number(const char *psz)
{
    return QByteArray(psz).toLongLong();
}

// A text[] literal: {"a","b\"c"}.
void appendArrayElement(std::string &strOut, const std::string &str)
{
    strOut += strOut.empty() ? "{\"" : ",\"";
    for (const char c : str) {
        if (c == '"' || c == '\\')
            strOut += '\\';
        strOut += c;
    }
    strOut += '"';
}

std::string closeArray(std::string str)
{
    return str.empty() ? std::string("{}") : str + '}';
}

// A field of COPY's text format.
void appendCopyField(std::string &strOut, const std::string &str)
{
    for (const char c : str) {
        switch (c) {
        case '\\':
            strOut += "\\\\";
            break;
        case '\t':
            strOut += "\\t";
            break;
        case '\n':
            strOut += "\\n";
            break;
        case '\r':
            strOut += "\\r";
            break;
        default:
            strOut += c;
        }
    }
}

} // namespace

// Clears a result whatever way the scope is left.
class PostgresDatabase::Result
{
public:
    explicit Result(PGresult *p) : m_p(p) {}
    ~Result() { PQclear(m_p); }
    Result(const Result &) = delete;
    Result &operator=(const Result &) = delete;
    PGresult *get() const { return m_p; }
    bool ok(ExecStatusType expected = PGRES_TUPLES_OK) const
    {
        return m_p && PQresultStatus(m_p) == expected;
    }
    int rows() const { return PQntuples(m_p); }
    const char *value(int nRow, int nColumn) const { return PQgetvalue(m_p, nRow, nColumn); }
    std::string text(int nRow, int nColumn) const
    {
        return std::string(PQgetvalue(m_p, nRow, nColumn), size_t(PQgetlength(m_p, nRow, nColumn)));
    }

private:
    PGresult *m_p;
};

PostgresDatabase::PostgresDatabase(const QString &strConnInfo) : m_strConnInfo(strConnInfo) {}

PostgresDatabase::~PostgresDatabase()
{
    PQfinish(m_pConn);
}

bool PostgresDatabase::isConnectionString(const QString &strTarget)
{
    static const QRegularExpression keyValue(QStringLiteral("^\\s*[A-Za-z_]+\\s*="));
    return strTarget.startsWith(QLatin1String("postgresql://")) ||
           strTarget.startsWith(QLatin1String("postgres://")) ||
           keyValue.match(strTarget).hasMatch();
}

QString PostgresDatabase::description() const
{
    return m_strDescription.isEmpty() ? QStringLiteral("PostgreSQL") : m_strDescription;
}

bool PostgresDatabase::connect(QString *pstrError)
{
    m_lastAttempt = std::chrono::steady_clock::now();
    if (m_pConn) {
        PQreset(m_pConn);
    } else {
        const QByteArray conninfo = m_strConnInfo.toUtf8();
        // The connection string may set a connect timeout of its own; the
        // text encoding is always UTF-8.
        const char *const pszKeys[] = {"connect_timeout", "application_name", "dbname",
                                       "client_encoding", nullptr};
        const char *const pszValues[] = {"5", "mirel-channel-service", conninfo.constData(), "UTF8",
                                         nullptr};
        m_pConn = PQconnectdbParams(pszKeys, pszValues, 1);
    }
    if (PQstatus(m_pConn) != CONNECTION_OK) {
        *pstrError = QString::fromUtf8(PQerrorMessage(m_pConn)).simplified();
        return false;
    }
    m_strDescription =
        QStringLiteral("PostgreSQL %1@%2:%3/%4")
            .arg(QString::fromUtf8(PQuser(m_pConn)), QString::fromUtf8(PQhost(m_pConn)),
                 QString::fromUtf8(PQport(m_pConn)), QString::fromUtf8(PQdb(m_pConn)));
    return true;
}

bool PostgresDatabase::connected()
{
    if (m_pConn && PQstatus(m_pConn) == CONNECTION_OK)
        return true;
    if (!m_bLost) {
        qWarning().noquote() << "postgresql: connection to" << description() << "lost";
        m_bLost = true;
    }
    if (std::chrono::steady_clock::now() - m_lastAttempt < kReconnectInterval)
        return false;
    QString strError;
    if (!connect(&strError))
        return false;
    qInfo().noquote() << "postgresql: connected to" << description() << "again";
    m_bLost = false;
    return true;
}

bool PostgresDatabase::exec(const char *pszSql)
{
    Result result(PQexec(m_pConn, pszSql));
    if (result.ok(PGRES_COMMAND_OK) || result.ok(PGRES_TUPLES_OK))
        return true;
    qWarning().noquote() << "postgresql:" << QString::fromUtf8(PQerrorMessage(m_pConn)).simplified()
                         << "in" << pszSql;
    return false;
}

void PostgresDatabase::rollback()
{
    if (PQstatus(m_pConn) == CONNECTION_OK)
        Result(PQexec(m_pConn, "ROLLBACK"));
}

// BEGIN, once more on a new connection when the old one turns out to be
// dead: nothing was sent yet, so nothing can happen twice.
bool PostgresDatabase::begin()
{
    if (!connected())
        return false;
    if (exec("BEGIN"))
        return true;
    if (PQstatus(m_pConn) == CONNECTION_OK)
        return false;
    m_lastAttempt = {};
    return connected() && exec("BEGIN");
}

bool PostgresDatabase::open(QString *pstrError)
{
    QString strError;
    if (!connect(&strError)) {
        *pstrError = QStringLiteral("cannot connect to the database: %1").arg(strError);
        return false;
    }
    if (QByteArray(PQparameterStatus(m_pConn, "server_encoding")) != "UTF8") {
        *pstrError = QStringLiteral("database %1 does not use UTF-8 (server_encoding %2)")
                         .arg(description(),
                              QString::fromUtf8(PQparameterStatus(m_pConn, "server_encoding")));
        return false;
    }
    // Several processes may start at once: the lock makes them take turns.
    // URLs and names are looked up by their MD5, as a btree entry can hold
    // only about 2.7 kB and a report may carry a far longer URL.
    const std::string strLock = "SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLock) + ")";
    bool bOk = exec("SET client_min_messages = warning") && begin() && exec(strLock.c_str()) &&
               exec("CREATE TABLE IF NOT EXISTS channels("
                    " id BIGSERIAL PRIMARY KEY, url TEXT NOT NULL)") &&
               exec("CREATE UNIQUE INDEX IF NOT EXISTS channels_by_url ON channels(md5(url))") &&
               exec("CREATE TABLE IF NOT EXISTS plays("
                    " id BIGSERIAL PRIMARY KEY,"
                    " time BIGINT NOT NULL," // milliseconds since the epoch, UTC
                    " region TEXT NOT NULL,"
                    " video_name TEXT NOT NULL,"
                    " video_url TEXT NOT NULL,"
                    " app_ver TEXT NOT NULL,"
                    " client TEXT NOT NULL)") &&
               exec("CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)") &&
               exec("CREATE TABLE IF NOT EXISTS play_counts("
                    " day BIGINT NOT NULL," // days since the epoch, UTC
                    " video_url TEXT NOT NULL,"
                    " video_name TEXT NOT NULL,"
                    " plays BIGINT NOT NULL)") &&
               exec("CREATE UNIQUE INDEX IF NOT EXISTS play_counts_by_entry"
                    " ON play_counts(day, md5(video_url), md5(video_name))") &&
               exec("CREATE TABLE IF NOT EXISTS list_content("
                    " ver BIGINT PRIMARY KEY, content BYTEA NOT NULL)");
    int64_t nSchema = 0;
    if (bOk) {
        Result result(PQexec(m_pConn, "SELECT value FROM meta WHERE key = 'schema'"));
        bOk = result.ok();
        if (bOk && result.rows() == 1)
            nSchema = number(result.value(0, 0));
    }
    if (bOk && nSchema > kSchemaVersion) {
        *pstrError = QStringLiteral("database %1 has schema %2; this program knows up to %3")
                         .arg(description())
                         .arg(nSchema)
                         .arg(kSchemaVersion);
        rollback();
        return false;
    }
    if (bOk && nSchema < kSchemaVersion) {
        const std::string strSet = "INSERT INTO meta(key, value) VALUES('schema', '" +
                                   std::to_string(kSchemaVersion) +
                                   "') ON CONFLICT(key) DO UPDATE SET value = excluded.value";
        bOk = exec(strSet.c_str());
    }
    if (!bOk || !exec("COMMIT")) {
        *pstrError =
            QStringLiteral("cannot use database %1: %2")
                .arg(description(), QString::fromUtf8(PQerrorMessage(m_pConn)).simplified());
        rollback();
        return false;
    }
    return true;
}

bool PostgresDatabase::reachable()
{
    if (!connected())
        return false;
    if (exec("SELECT 1"))
        return true;
    // A connection that died while idle is only noticed now.
    m_lastAttempt = {};
    return connected() && exec("SELECT 1");
}

bool PostgresDatabase::readList(ListState &state)
{
    Result result(
        PQexec(m_pConn, "SELECT key, value FROM meta WHERE key IN ('list_ver', 'list_hash')"));
    if (!result.ok())
        return false;
    state = ListState();
    for (int i = 0; i < result.rows(); ++i) {
        if (result.text(i, 0) == "list_ver")
            state.nVer = number(result.value(i, 1));
        else
            state.strHash = result.text(i, 1);
    }
    return true;
}

bool PostgresDatabase::currentList(ListState &state)
{
    if (!connected())
        return false;
    if (readList(state))
        return true;
    m_lastAttempt = {};
    return connected() && readList(state);
}

bool PostgresDatabase::listContent(int64_t nVer, QByteArray &content)
{
    if (!connected())
        return false;
    const std::string strVer = std::to_string(nVer);
    const char *const pszParams[] = {strVer.c_str()};
    Result result(PQexecParams(m_pConn, "SELECT content FROM list_content WHERE ver = $1", 1,
                               nullptr, pszParams, nullptr, nullptr, 1));
    if (!result.ok() || result.rows() != 1)
        return false;
    content = QByteArray(result.value(0, 0), PQgetlength(result.get(), 0, 0));
    return true;
}

bool PostgresDatabase::lookUpIds(const std::string &strUrlArray, size_t nCount,
                                 std::vector<int> &lstIds)
{
    const char *const pszParams[] = {strUrlArray.c_str()};
    Result result(PQexecParams(m_pConn,
                               "SELECT u.n, c.id FROM unnest($1::text[]) WITH ORDINALITY"
                               " AS u(url, n) JOIN channels c"
                               " ON md5(c.url) = md5(u.url) AND c.url = u.url",
                               1, nullptr, pszParams, nullptr, nullptr, 0));
    if (!result.ok())
        return false;
    lstIds.assign(nCount, 0);
    for (int i = 0; i < result.rows(); ++i) {
        const int64_t n = number(result.value(i, 0));
        if (n >= 1 && size_t(n) <= nCount)
            lstIds[size_t(n - 1)] = int(number(result.value(i, 1)));
    }
    for (const int nId : lstIds) {
        if (nId == 0)
            return false;
    }
    return true;
}

bool PostgresDatabase::channelIds(const std::vector<std::string> &lstUrls, std::vector<int> &lstIds)
{
    if (!connected())
        return false;
    std::string strArray;
    for (const std::string &strUrl : lstUrls)
        appendArrayElement(strArray, strUrl);
    return lookUpIds(closeArray(std::move(strArray)), lstUrls.size(), lstIds);
}

bool PostgresDatabase::publishList(const std::string &strHash, const QByteArray &content,
                                   const std::vector<std::string> &lstUrls, ListState &state,
                                   std::vector<int> &lstIds)
{
    // One process at a time, so one content never gets two versions.
    const std::string strLock = "SELECT pg_advisory_xact_lock(" + std::to_string(kListLock) + ")";
    if (!begin())
        return false;
    bool bOk = exec(strLock.c_str());
    if (bOk && !lstUrls.empty()) {
        // New URLs get their ids in file order.
        std::string strArray;
        for (const std::string &strUrl : lstUrls)
            appendArrayElement(strArray, strUrl);
        strArray = closeArray(std::move(strArray));
        const char *const pszParams[] = {strArray.c_str()};
        Result insert(PQexecParams(m_pConn,
                                   "INSERT INTO channels(url) SELECT url FROM unnest($1::text[])"
                                   " WITH ORDINALITY AS u(url, n) ORDER BY n"
                                   " ON CONFLICT (md5(url)) DO NOTHING",
                                   1, nullptr, pszParams, nullptr, nullptr, 0));
        bOk = insert.ok(PGRES_COMMAND_OK) && lookUpIds(strArray, lstUrls.size(), lstIds);
    } else {
        lstIds.clear();
    }
    bOk = bOk && readList(state);
    bool bHasContent = false;
    if (bOk && state.strHash == strHash && state.nVer > 0) {
        const std::string strVer = std::to_string(state.nVer);
        const char *const pszParams[] = {strVer.c_str()};
        Result select(PQexecParams(m_pConn, "SELECT 1 FROM list_content WHERE ver = $1", 1, nullptr,
                                   pszParams, nullptr, nullptr, 0));
        bOk = select.ok();
        bHasContent = bOk && select.rows() == 1;
    } else if (bOk) {
        ++state.nVer;
        state.strHash = strHash;
        const std::string strVer = std::to_string(state.nVer);
        const char *const pszParams[] = {strVer.c_str(), strHash.c_str()};
        Result upsert(PQexecParams(m_pConn,
                                   "INSERT INTO meta(key, value) VALUES('list_ver', $1),"
                                   " ('list_hash', $2)"
                                   " ON CONFLICT(key) DO UPDATE SET value = excluded.value",
                                   2, nullptr, pszParams, nullptr, nullptr, 0));
        bOk = upsert.ok(PGRES_COMMAND_OK) && exec("DELETE FROM list_content");
    }
    if (bOk && !bHasContent) {
        const std::string strVer = std::to_string(state.nVer);
        const char *const pszParams[] = {strVer.c_str(), content.constData()};
        const int nLengths[] = {0, int(content.size())};
        const int nFormats[] = {0, 1};
        Result insert(PQexecParams(m_pConn,
                                   "INSERT INTO list_content(ver, content) VALUES($1, $2)"
                                   " ON CONFLICT(ver) DO UPDATE SET content = excluded.content",
                                   2, nullptr, pszParams, nLengths, nFormats, 0));
        bOk = insert.ok(PGRES_COMMAND_OK);
    }
    if (!bOk || !exec("COMMIT")) {
        qWarning().noquote() << "postgresql: list not published:"
                             << QString::fromUtf8(PQerrorMessage(m_pConn)).simplified();
        rollback();
        return false;
    }
    return true;
}

bool PostgresDatabase::addPlays(const std::vector<const PlayReport *> &lstReports)
{
    // The rows go in through COPY, the counts in one statement; both in one
    // transaction, so a report is stored and counted, or neither.
    std::string strRows;
    std::map<std::tuple<int64_t, std::string, std::string>, int64_t> mapCounts;
    for (const PlayReport *pReport : lstReports) {
        const PlayReport &r = *pReport;
        strRows += std::to_string(r.nTimeMs);
        for (const std::string *pField :
             {&r.strRegion, &r.strVideoName, &r.strVideoUrl, &r.strAppVer, &r.strClient}) {
            strRows += '\t';
            appendCopyField(strRows, *pField);
        }
        strRows += '\n';
        ++mapCounts[{r.nTimeMs / kDayMs, r.strVideoUrl, r.strVideoName}];
    }
    // Sorted keys: processes that count the same channels lock their rows in
    // the same order and never deadlock.
    std::string strDays, strUrls, strNames, strPlays;
    for (const auto &count : mapCounts) {
        strDays += (strDays.empty() ? "{" : ",") + std::to_string(std::get<0>(count.first));
        appendArrayElement(strUrls, std::get<1>(count.first));
        appendArrayElement(strNames, std::get<2>(count.first));
        strPlays += (strPlays.empty() ? "{" : ",") + std::to_string(count.second);
    }
    strDays = closeArray(std::move(strDays));
    strUrls = closeArray(std::move(strUrls));
    strNames = closeArray(std::move(strNames));
    strPlays = closeArray(std::move(strPlays));

    if (!begin())
        return false;
    bool bOk = false;
    {
        Result copy(PQexec(m_pConn, "COPY plays(time, region, video_name, video_url, app_ver,"
                                    " client) FROM STDIN"));
        bOk = copy.ok(PGRES_COPY_IN) &&
              PQputCopyData(m_pConn, strRows.data(), int(strRows.size())) == 1 &&
              PQputCopyEnd(m_pConn, nullptr) == 1;
    }
    if (bOk) {
        Result end(PQgetResult(m_pConn));
        bOk = end.ok(PGRES_COMMAND_OK);
    }
    // Drain whatever COPY left behind, so the connection is ready again.
    while (PGresult *pRest = PQgetResult(m_pConn))
        PQclear(pRest);
    if (bOk) {
        const char *const pszParams[] = {strDays.c_str(), strUrls.c_str(), strNames.c_str(),
                                         strPlays.c_str()};
        Result upsert(
            PQexecParams(m_pConn,
                         "INSERT INTO play_counts(day, video_url, video_name, plays)"
                         " SELECT * FROM unnest($1::bigint[], $2::text[], $3::text[], $4::bigint[])"
                         " ON CONFLICT (day, md5(video_url), md5(video_name))"
                         " DO UPDATE SET plays = play_counts.plays + excluded.plays",
                         4, nullptr, pszParams, nullptr, nullptr, 0));
        bOk = upsert.ok(PGRES_COMMAND_OK);
    }
    if (!bOk || !exec("COMMIT")) {
        qWarning().noquote() << "postgresql: reports not stored:"
                             << QString::fromUtf8(PQerrorMessage(m_pConn)).simplified();
        rollback();
        return false;
    }
    return true;
}

bool PostgresDatabase::countPlays(int64_t nFromDay, std::vector<PlayCount> &lstCounts)
{
    if (!connected())
        return false;
    const std::string strDay = std::to_string(nFromDay);
    const char *const pszParams[] = {strDay.c_str()};
    Result result(PQexecParams(m_pConn,
                               "SELECT video_url, video_name, SUM(plays) FROM play_counts"
                               " WHERE day >= $1 GROUP BY video_url, video_name",
                               1, nullptr, pszParams, nullptr, nullptr, 0));
    if (!result.ok())
        return false;
    lstCounts.clear();
    lstCounts.reserve(size_t(result.rows()));
    for (int i = 0; i < result.rows(); ++i)
        lstCounts.push_back({result.text(i, 0), result.text(i, 1), number(result.value(i, 2))});
    return true;
}
