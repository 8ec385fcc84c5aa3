#include "SqliteDatabase.h"

#include <QByteArray>
#include <QDebug>
#include <QFile>

#include <sqlite3.h>

#include <map>
#include <tuple>

namespace {

// Finalizes a statement whatever way the scope is left.
class Statement
{
public:
    Statement(sqlite3 *pDb, const char *pszSql)
    {
        if (sqlite3_prepare_v2(pDb, pszSql, -1, &m_p, nullptr) != SQLITE_OK) {
            qWarning().noquote() << "sqlite:" << sqlite3_errmsg(pDb) << "in" << pszSql;
            m_p = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(m_p); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    sqlite3_stmt *get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    void bind(int nIndex, const std::string &str)
    {
        sqlite3_bind_text(m_p, nIndex, str.data(), int(str.size()), SQLITE_TRANSIENT);
    }
    void bind(int nIndex, int64_t n) { sqlite3_bind_int64(m_p, nIndex, n); }
    int step() { return sqlite3_step(m_p); }
    void reset() { sqlite3_reset(m_p); }
    std::string text(int nColumn) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_p, nColumn));
        return std::string(p ? p : "", size_t(sqlite3_column_bytes(m_p, nColumn)));
    }
    int64_t integer(int nColumn) const { return sqlite3_column_int64(m_p, nColumn); }

private:
    sqlite3_stmt *m_p = nullptr;
};

int64_t number(const std::string &str)
{
    return QByteArray::fromStdString(str).toLongLong();
}

} // namespace

SqliteDatabase::SqliteDatabase(const QString &strPath) : m_strPath(strPath) {}

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close(m_pDb);
}

QString SqliteDatabase::description() const
{
    return QStringLiteral("SQLite %1").arg(m_strPath);
}

bool SqliteDatabase::exec(const char *pszSql)
{
    char *pszError = nullptr;
    if (sqlite3_exec(m_pDb, pszSql, nullptr, nullptr, &pszError) != SQLITE_OK) {
        qWarning().noquote() << "sqlite:" << (pszError ? pszError : "error") << "in" << pszSql;
        sqlite3_free(pszError);
        return false;
    }
    return true;
}

bool SqliteDatabase::open(QString *pstrError)
{
    const QByteArray path = QFile::encodeName(m_strPath);
    if (sqlite3_open_v2(path.constData(), &m_pDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        *pstrError = QStringLiteral("cannot open database %1: %2")
                         .arg(m_strPath, QString::fromUtf8(sqlite3_errmsg(m_pDb)));
        sqlite3_close(m_pDb);
        m_pDb = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_pDb, 5000);
    // WAL lets readers go on during a commit; synchronous=FULL makes every
    // commit durable before the report is acknowledged.
    if (!exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=FULL") || !upgradeSchema()) {
        *pstrError = QStringLiteral("cannot use database %1: %2")
                         .arg(m_strPath, QString::fromUtf8(sqlite3_errmsg(m_pDb)));
        sqlite3_close(m_pDb);
        m_pDb = nullptr;
        return false;
    }
    return true;
}

// Version 1 had channels, plays and meta; version 2 adds the plays counted
// per day and the published list's content. Safe to run at every start, and
// by several processes at once (BEGIN IMMEDIATE serialises them).
bool SqliteDatabase::upgradeSchema()
{
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    bool bOk = exec("CREATE TABLE IF NOT EXISTS channels("
                    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                    " url TEXT NOT NULL UNIQUE)") &&
               exec("CREATE TABLE IF NOT EXISTS plays("
                    " id INTEGER PRIMARY KEY,"
                    " time INTEGER NOT NULL," // milliseconds since the epoch, UTC
                    " region TEXT NOT NULL,"
                    " video_name TEXT NOT NULL,"
                    " video_url TEXT NOT NULL,"
                    " app_ver TEXT NOT NULL,"
                    " client TEXT NOT NULL)") &&
               exec("CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)") &&
               exec("CREATE TABLE IF NOT EXISTS play_counts("
                    " day INTEGER NOT NULL," // days since the epoch, UTC
                    " video_url TEXT NOT NULL,"
                    " video_name TEXT NOT NULL,"
                    " plays INTEGER NOT NULL,"
                    " PRIMARY KEY(day, video_url, video_name))") &&
               exec("CREATE TABLE IF NOT EXISTS list_content("
                    " ver INTEGER PRIMARY KEY, content BLOB NOT NULL)");
    int64_t nSchema = 0;
    if (bOk) {
        Statement select(m_pDb, "SELECT value FROM meta WHERE key = 'schema'");
        bOk = bool(select);
        if (bOk && select.step() == SQLITE_ROW)
            nSchema = number(select.text(0));
    }
    if (bOk && nSchema > kSchemaVersion) {
        qWarning() << "sqlite: the database has schema" << nSchema << "; this program knows up to"
                   << kSchemaVersion;
        bOk = false;
    }
    if (bOk && nSchema < 2) {
        // Plays stored before the counts existed are counted once, here.
        bOk = exec("DELETE FROM play_counts") &&
              exec("INSERT INTO play_counts(day, video_url, video_name, plays)"
                   " SELECT time / 86400000, video_url, video_name, COUNT(*) FROM plays"
                   " GROUP BY 1, 2, 3") &&
              setMeta("schema", std::to_string(kSchemaVersion));
        if (bOk)
            qInfo().noquote() << "database" << m_strPath << "upgraded to schema" << kSchemaVersion;
    }
    if (!bOk || !exec("COMMIT")) {
        exec("ROLLBACK");
        return false;
    }
    return true;
}

bool SqliteDatabase::reachable()
{
    return m_pDb && exec("SELECT 1");
}

bool SqliteDatabase::setMeta(const char *pszKey, const std::string &strValue)
{
    Statement upsert(m_pDb, "INSERT INTO meta(key, value) VALUES(?1, ?2)"
                            " ON CONFLICT(key) DO UPDATE SET value = excluded.value");
    if (!upsert)
        return false;
    upsert.bind(1, std::string(pszKey));
    upsert.bind(2, strValue);
    return upsert.step() == SQLITE_DONE;
}

bool SqliteDatabase::readList(ListState &state)
{
    Statement select(m_pDb, "SELECT key, value FROM meta WHERE key IN ('list_ver', 'list_hash')");
    if (!select)
        return false;
    state = ListState();
    int nStep;
    while ((nStep = select.step()) == SQLITE_ROW) {
        if (select.text(0) == "list_ver")
            state.nVer = number(select.text(1));
        else
            state.strHash = select.text(1);
    }
    return nStep == SQLITE_DONE;
}

bool SqliteDatabase::currentList(ListState &state)
{
    return m_pDb && readList(state);
}

bool SqliteDatabase::listContent(int64_t nVer, QByteArray &content)
{
    if (!m_pDb)
        return false;
    Statement select(m_pDb, "SELECT content FROM list_content WHERE ver = ?1");
    if (!select)
        return false;
    select.bind(1, nVer);
    if (select.step() != SQLITE_ROW)
        return false;
    content = QByteArray(static_cast<const char *>(sqlite3_column_blob(select.get(), 0)),
                         sqlite3_column_bytes(select.get(), 0));
    return true;
}

bool SqliteDatabase::publishList(const std::string &strHash, const QByteArray &content,
                                 const std::vector<std::string> &lstUrls, ListState &state,
                                 std::vector<int> &lstIds)
{
    if (!m_pDb || !exec("BEGIN IMMEDIATE"))
        return false;
    lstIds.clear();
    lstIds.reserve(lstUrls.size());
    bool bOk = true;
    {
        // Ids are kept per URL for good, so a channel keeps its id across
        // edits of the file and restarts of the service.
        Statement insert(m_pDb, "INSERT INTO channels(url) VALUES(?1)"
                                " ON CONFLICT(url) DO NOTHING RETURNING id");
        Statement select(m_pDb, "SELECT id FROM channels WHERE url = ?1");
        bOk = insert && select;
        for (size_t i = 0; bOk && i < lstUrls.size(); ++i) {
            insert.bind(1, lstUrls[i]);
            int nStep = insert.step();
            if (nStep == SQLITE_ROW) {
                lstIds.push_back(int(insert.integer(0)));
                nStep = insert.step();
            } else if (nStep == SQLITE_DONE) {
                select.bind(1, lstUrls[i]);
                bOk = select.step() == SQLITE_ROW;
                if (bOk)
                    lstIds.push_back(int(select.integer(0)));
                select.reset();
            }
            bOk = bOk && nStep == SQLITE_DONE;
            insert.reset();
        }
    }
    bOk = bOk && readList(state);
    bool bHasContent = false;
    if (bOk && state.strHash == strHash && state.nVer > 0) {
        Statement select(m_pDb, "SELECT 1 FROM list_content WHERE ver = ?1");
        select.bind(1, state.nVer);
        bHasContent = select && select.step() == SQLITE_ROW;
    } else if (bOk) {
        ++state.nVer;
        state.strHash = strHash;
        bOk = setMeta("list_hash", strHash) && setMeta("list_ver", std::to_string(state.nVer)) &&
              exec("DELETE FROM list_content");
    }
    if (bOk && !bHasContent) {
        Statement insert(m_pDb, "INSERT OR REPLACE INTO list_content(ver, content) VALUES(?1, ?2)");
        bOk = bool(insert);
        if (bOk) {
            insert.bind(1, state.nVer);
            sqlite3_bind_blob64(insert.get(), 2, content.constData(),
                                sqlite3_uint64(content.size()), SQLITE_STATIC);
            bOk = insert.step() == SQLITE_DONE;
        }
    }
    if (!bOk || !exec("COMMIT")) {
        qWarning().noquote() << "sqlite: list not published:" << sqlite3_errmsg(m_pDb);
        exec("ROLLBACK");
        return false;
    }
    return true;
}

bool SqliteDatabase::channelIds(const std::vector<std::string> &lstUrls, std::vector<int> &lstIds)
{
    if (!m_pDb)
        return false;
    Statement select(m_pDb, "SELECT id FROM channels WHERE url = ?1");
    if (!select)
        return false;
    lstIds.clear();
    for (const std::string &strUrl : lstUrls) {
        select.bind(1, strUrl);
        if (select.step() != SQLITE_ROW)
            return false;
        lstIds.push_back(int(select.integer(0)));
        select.reset();
    }
    return true;
}

bool SqliteDatabase::addPlays(const std::vector<const PlayReport *> &lstReports)
{
    if (!m_pDb || !exec("BEGIN IMMEDIATE"))
        return false;
    bool bOk = true;
    std::map<std::tuple<int64_t, std::string, std::string>, int64_t> mapCounts;
    {
        Statement insert(m_pDb, "INSERT INTO plays(time, region, video_name, video_url, app_ver,"
                                " client) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        bOk = bool(insert);
        for (const PlayReport *pReport : lstReports) {
            if (!bOk)
                break;
            const PlayReport &r = *pReport;
            insert.bind(1, r.nTimeMs);
            insert.bind(2, r.strRegion);
            insert.bind(3, r.strVideoName);
            insert.bind(4, r.strVideoUrl);
            insert.bind(5, r.strAppVer);
            insert.bind(6, r.strClient);
            bOk = insert.step() == SQLITE_DONE;
            insert.reset();
            ++mapCounts[{r.nTimeMs / kDayMs, r.strVideoUrl, r.strVideoName}];
        }
    }
    if (bOk) {
        Statement upsert(m_pDb, "INSERT INTO play_counts(day, video_url, video_name, plays)"
                                " VALUES(?1, ?2, ?3, ?4) ON CONFLICT(day, video_url, video_name)"
                                " DO UPDATE SET plays = plays + excluded.plays");
        bOk = bool(upsert);
        for (auto it = mapCounts.begin(); bOk && it != mapCounts.end(); ++it) {
            upsert.bind(1, std::get<0>(it->first));
            upsert.bind(2, std::get<1>(it->first));
            upsert.bind(3, std::get<2>(it->first));
            upsert.bind(4, it->second);
            bOk = upsert.step() == SQLITE_DONE;
            upsert.reset();
        }
    }
    if (!bOk || !exec("COMMIT")) {
        qWarning().noquote() << "sqlite: reports not stored:" << sqlite3_errmsg(m_pDb);
        exec("ROLLBACK");
        return false;
    }
    return true;
}

bool SqliteDatabase::countPlays(int64_t nFromDay, std::vector<PlayCount> &lstCounts)
{
    if (!m_pDb)
        return false;
    Statement count(m_pDb, "SELECT video_url, video_name, SUM(plays) FROM play_counts"
                           " WHERE day >= ?1 GROUP BY video_url, video_name");
    if (!count)
        return false;
    count.bind(1, nFromDay);
    lstCounts.clear();
    int nStep;
    while ((nStep = count.step()) == SQLITE_ROW)
        lstCounts.push_back({count.text(0), count.text(1), count.integer(2)});
    return nStep == SQLITE_DONE;
}
