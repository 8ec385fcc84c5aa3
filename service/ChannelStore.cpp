#include "ChannelStore.h"

#include "M3uParser.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Scores are kept up to date as reports come in; counting them again from the
// database now and then lets plays older than the window drop out.
constexpr int64_t kScoreRecountMs = 60 * 1000;

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

private:
    sqlite3_stmt *m_p = nullptr;
};

void appendJsonString(std::string &strOut, const QString &str)
{
    static const char kHex[] = "0123456789abcdef";
    const QByteArray utf8 = str.toUtf8();
    strOut += '"';
    for (const char c : utf8) {
        switch (c) {
        case '"':
            strOut += "\\\"";
            break;
        case '\\':
            strOut += "\\\\";
            break;
        case '\n':
            strOut += "\\n";
            break;
        case '\r':
            strOut += "\\r";
            break;
        case '\t':
            strOut += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                strOut += "\\u00";
                strOut += kHex[(c >> 4) & 0xF];
                strOut += kHex[c & 0xF];
            } else {
                strOut += c;
            }
        }
    }
    strOut += '"';
}

// The reply to get_video_list is made of these heads, one per channel, with
// the current score appended; built once per channel list, as a list of
// 100,000 channels would take QJsonDocument most of a second.
std::string jsonHead(int nId, const QString &strName, const QString &strUrl,
                     const QString &strRegion)
{
    std::string str = "{\"id\":" + std::to_string(nId) + ",\"name\":";
    appendJsonString(str, strName);
    str += ",\"url\":";
    appendJsonString(str, strUrl);
    str += ",\"region\":";
    appendJsonString(str, strRegion);
    str += ",\"score\":";
    return str;
}

} // namespace

ChannelStore::ChannelStore() = default;

ChannelStore::~ChannelStore()
{
    close();
}

bool ChannelStore::exec(const char *pszSql)
{
    char *pszError = nullptr;
    if (sqlite3_exec(m_pDb, pszSql, nullptr, nullptr, &pszError) != SQLITE_OK) {
        qWarning().noquote() << "sqlite:" << (pszError ? pszError : "error") << "in" << pszSql;
        sqlite3_free(pszError);
        return false;
    }
    return true;
}

bool ChannelStore::open(const QString &strDbPath, QString *pstrError)
{
    const QByteArray path = QFile::encodeName(strDbPath);
    if (sqlite3_open_v2(path.constData(), &m_pDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        *pstrError = QStringLiteral("cannot open database %1: %2")
                         .arg(strDbPath, QString::fromUtf8(sqlite3_errmsg(m_pDb)));
        sqlite3_close(m_pDb);
        m_pDb = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_pDb, 5000);
    // WAL lets readers go on during a commit; synchronous=FULL makes every
    // commit durable before the report is acknowledged.
    const bool bOk =
        exec("PRAGMA journal_mode=WAL") && exec("PRAGMA synchronous=FULL") &&
        exec("CREATE TABLE IF NOT EXISTS channels("
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
        exec("CREATE INDEX IF NOT EXISTS plays_by_time ON plays(time, video_url)") &&
        exec("CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)");
    if (!bOk) {
        *pstrError = QStringLiteral("cannot use database %1: %2")
                         .arg(strDbPath, QString::fromUtf8(sqlite3_errmsg(m_pDb)));
        sqlite3_close(m_pDb);
        m_pDb = nullptr;
        return false;
    }

    Statement ids(m_pDb, "SELECT id, url FROM channels");
    while (ids && sqlite3_step(ids.get()) == SQLITE_ROW) {
        const auto *pUrl = reinterpret_cast<const char *>(sqlite3_column_text(ids.get(), 1));
        m_mapIds[std::string(pUrl ? pUrl : "", size_t(sqlite3_column_bytes(ids.get(), 1)))] =
            sqlite3_column_int(ids.get(), 0);
    }
    m_bStopping = false;
    m_writer = std::thread(&ChannelStore::writerLoop, this);
    return true;
}

void ChannelStore::close()
{
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_bStopping = true;
    }
    m_queueCond.notify_all();
    if (m_writer.joinable())
        m_writer.join();
    std::lock_guard<std::mutex> lock(m_dbMutex);
    if (m_pDb) {
        sqlite3_close(m_pDb);
        m_pDb = nullptr;
    }
}

bool ChannelStore::readFile(const QString &strPath, QByteArray &data, QString *pstrError)
{
    QFile file(strPath);
    if (file.size() > kMaxChannelFileBytes) {
        *pstrError = QStringLiteral("channel file %1 is over %2 MiB; not read")
                         .arg(strPath)
                         .arg(kMaxChannelFileBytes >> 20);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *pstrError =
            QStringLiteral("cannot read channel file %1: %2").arg(strPath, file.errorString());
        return false;
    }
    data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *pstrError =
            QStringLiteral("cannot read channel file %1: %2").arg(strPath, file.errorString());
        return false;
    }
    return true;
}

bool ChannelStore::loadChannels(const QString &strPath, QString *pstrError)
{
    std::lock_guard<std::mutex> reload(m_reloadMutex);
    m_strChannelPath = strPath;
    m_stamp = FileStamp();
    QByteArray data;
    struct stat st;
    if (::stat(QFile::encodeName(strPath).constData(), &st) != 0) {
        *pstrError = QStringLiteral("cannot read channel file %1: %2")
                         .arg(strPath, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *pstrError = QStringLiteral("cannot read channel file %1: it is a directory").arg(strPath);
        return false;
    }
    if (!readFile(strPath, data, pstrError))
        return false;
    m_stamp = {int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
               int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec, uint64_t(st.st_ino)};
    if (!applyChannels(data) && !m_pChannels) {
        *pstrError = QStringLiteral("cannot store the channel ids of %1").arg(strPath);
        return false;
    }
    return true;
}

bool ChannelStore::reloadIfChanged(bool bForce)
{
    std::lock_guard<std::mutex> reload(m_reloadMutex);
    if (m_strChannelPath.isEmpty())
        return false;
    struct stat st;
    if (::stat(QFile::encodeName(m_strChannelPath).constData(), &st) != 0 || S_ISDIR(st.st_mode)) {
        if (m_stamp.nSize != -2)
            qWarning().noquote() << "channel file" << m_strChannelPath
                                 << "is gone; keeping the current list";
        m_stamp.nSize = -2; // warn once
        return false;
    }
    const FileStamp stamp{
        int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
        int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec, uint64_t(st.st_ino)};
    if (!bForce && stamp == m_stamp)
        return false;
    QByteArray data;
    QString strError;
    if (!readFile(m_strChannelPath, data, &strError)) {
        qWarning().noquote() << strError << "- keeping the current list";
        return false;
    }
    m_stamp = stamp;
    return applyChannels(data);
}

bool ChannelStore::applyChannels(const QByteArray &data)
{
    QElapsedTimer timer;
    timer.start();
    const M3uResult parsed = parseM3u(data);
    if (parsed.nDroppedEntries || parsed.nLongLines || parsed.nLatin1Lines) {
        qDebug().noquote() << "channel file" << m_strChannelPath << ":" << parsed.nDroppedEntries
                           << "entries without URL dropped," << parsed.nLongLines
                           << "over-long lines skipped," << parsed.nLatin1Lines
                           << "lines read as Latin-1";
    }

    auto pList = std::make_shared<ChannelList>();
    pList->lstEntries.reserve(size_t(parsed.lstChannels.size()));
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const M3uChannel &channel : parsed.lstChannels) {
        ChannelEntry entry;
        entry.strName = channel.strName;
        entry.strUrl = channel.strUrl;
        entry.strRegion = channel.strRegion;
        entry.strUrlUtf8 = channel.strUrl.toStdString();
        const QByteArray name = channel.strName.toUtf8();
        hash.addData(name.constData(), name.size() + 1); // with the NUL as separator
        hash.addData(entry.strUrlUtf8.c_str(), int(entry.strUrlUtf8.size()) + 1);
        const QByteArray region = channel.strRegion.toUtf8();
        hash.addData(region.constData(), region.size() + 1);
        pList->lstEntries.push_back(std::move(entry));
    }
    const QString strHash = QString::fromLatin1(hash.result().toHex());

    std::lock_guard<std::mutex> lock(m_dbMutex);
    if (!m_pDb)
        return false;
    // Ids are kept per URL for good, so a channel keeps its id across edits of
    // the file and restarts of the service.
    bool bOk = exec("BEGIN IMMEDIATE");
    {
        Statement insert(m_pDb, "INSERT INTO channels(url) VALUES(?1)");
        bOk = bOk && bool(insert);
        for (ChannelEntry &entry : pList->lstEntries) {
            if (!bOk)
                break;
            const auto it = m_mapIds.find(entry.strUrlUtf8);
            if (it != m_mapIds.end()) {
                entry.nId = it->second;
                continue;
            }
            insert.bind(1, entry.strUrlUtf8);
            if (sqlite3_step(insert.get()) != SQLITE_DONE) {
                qWarning().noquote() << "sqlite:" << sqlite3_errmsg(m_pDb);
                bOk = false;
                break;
            }
            sqlite3_reset(insert.get());
            entry.nId = int(sqlite3_last_insert_rowid(m_pDb));
            m_mapIds.emplace(entry.strUrlUtf8, entry.nId);
        }
    }
    QString strVer = metaLocked("list_ver");
    const bool bChanged = strHash != metaLocked("list_hash") || strVer.isEmpty();
    if (bOk && bChanged) {
        strVer = QString::number(strVer.toLongLong() + 1);
        bOk = setMetaLocked("list_hash", strHash) && setMetaLocked("list_ver", strVer);
    }
    if (!bOk || !exec("COMMIT")) {
        exec("ROLLBACK");
        // Ids handed out in the failed transaction are void.
        m_mapIds.clear();
        Statement ids(m_pDb, "SELECT id, url FROM channels");
        while (ids && sqlite3_step(ids.get()) == SQLITE_ROW) {
            const auto *pUrl = reinterpret_cast<const char *>(sqlite3_column_text(ids.get(), 1));
            m_mapIds[std::string(pUrl ? pUrl : "", size_t(sqlite3_column_bytes(ids.get(), 1)))] =
                sqlite3_column_int(ids.get(), 0);
        }
        qWarning().noquote() << "channel list of" << m_strChannelPath
                             << "not taken: the database refused it";
        return false;
    }
    for (ChannelEntry &entry : pList->lstEntries) {
        entry.strJsonHead = jsonHead(entry.nId, entry.strName, entry.strUrl, entry.strRegion);
    }
    pList->strVer = strVer;
    const size_t nCount = pList->lstEntries.size();
    bool bNewList;
    {
        std::lock_guard<std::mutex> list(m_listMutex);
        bNewList = !m_pChannels || m_pChannels->strVer != strVer;
        m_pChannels = std::move(pList);
    }
    qInfo().noquote() << "channel list" << strVer << "from" << m_strChannelPath << ":" << nCount
                      << "channels in" << timer.elapsed() << "ms";
    return bNewList;
}

QString ChannelStore::metaLocked(const char *pszKey)
{
    Statement select(m_pDb, "SELECT value FROM meta WHERE key = ?1");
    if (!select)
        return QString();
    select.bind(1, std::string(pszKey));
    if (sqlite3_step(select.get()) != SQLITE_ROW)
        return QString();
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(select.get(), 0)),
                             sqlite3_column_bytes(select.get(), 0));
}

bool ChannelStore::setMetaLocked(const char *pszKey, const QString &strValue)
{
    Statement upsert(m_pDb, "INSERT INTO meta(key, value) VALUES(?1, ?2)"
                            " ON CONFLICT(key) DO UPDATE SET value = excluded.value");
    if (!upsert)
        return false;
    upsert.bind(1, std::string(pszKey));
    upsert.bind(2, strValue.toStdString());
    return sqlite3_step(upsert.get()) == SQLITE_DONE;
}

std::shared_ptr<const ChannelList> ChannelStore::channels() const
{
    std::lock_guard<std::mutex> lock(m_listMutex);
    return m_pChannels;
}

QString ChannelStore::listVer() const
{
    std::lock_guard<std::mutex> lock(m_listMutex);
    return m_pChannels ? m_pChannels->strVer : QString();
}

bool ChannelStore::addPlay(PlayReport report)
{
    auto pPending = std::make_unique<Pending>();
    pPending->report = std::move(report);
    std::future<bool> done = pPending->done.get_future();
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        if (m_bStopping || !m_writer.joinable())
            return false;
        m_queue.push_back(std::move(pPending));
    }
    m_queueCond.notify_one();
    return done.get();
}

void ChannelStore::writerLoop()
{
    for (;;) {
        std::vector<std::unique_ptr<Pending>> batch;
        {
            std::unique_lock<std::mutex> lock(m_queueMutex);
            m_queueCond.wait(lock, [this] { return m_bStopping || !m_queue.empty(); });
            if (m_queue.empty())
                return; // stopping, and everything taken is committed
            // Everything that queued up while the last commit ran goes into one
            // transaction: one sync to disk for many reports.
            while (!m_queue.empty() && batch.size() < 4096) {
                batch.push_back(std::move(m_queue.front()));
                m_queue.pop_front();
            }
        }
        const bool bOk = commitBatch(batch);
        for (auto &pPending : batch)
            pPending->done.set_value(bOk);
    }
}

bool ChannelStore::commitBatch(std::vector<std::unique_ptr<Pending>> &batch)
{
    std::lock_guard<std::mutex> lock(m_dbMutex);
    if (!m_pDb || !exec("BEGIN IMMEDIATE"))
        return false;
    bool bOk = true;
    {
        Statement insert(m_pDb, "INSERT INTO plays(time, region, video_name, video_url, app_ver,"
                                " client) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        bOk = bool(insert);
        for (const auto &pPending : batch) {
            if (!bOk)
                break;
            const PlayReport &r = pPending->report;
            insert.bind(1, r.nTimeMs);
            insert.bind(2, r.strRegion);
            insert.bind(3, r.strVideoName);
            insert.bind(4, r.strVideoUrl);
            insert.bind(5, r.strAppVer);
            insert.bind(6, r.strClient);
            if (sqlite3_step(insert.get()) != SQLITE_DONE) {
                qWarning().noquote() << "sqlite: report not stored:" << sqlite3_errmsg(m_pDb);
                bOk = false;
            }
            sqlite3_reset(insert.get());
        }
    }
    if (!bOk || !exec("COMMIT")) {
        exec("ROLLBACK");
        return false;
    }
    // Still under the database lock, so a recount cannot fall between the
    // commit and these increments and count the batch twice.
    std::lock_guard<std::mutex> scores(m_scoreMutex);
    if (m_nScoresAtMs >= 0) {
        const int64_t nFrom = nowMs() - kScoreWindowMs;
        for (const auto &pPending : batch) {
            if (pPending->report.nTimeMs >= nFrom)
                ++m_mapScores[pPending->report.strVideoUrl];
        }
    }
    return true;
}

void ChannelStore::refreshScoresLocked(int64_t nNowMs)
{
    m_mapScores.clear();
    Statement count(m_pDb,
                    "SELECT video_url, COUNT(*) FROM plays WHERE time >= ?1 GROUP BY video_url");
    if (!count)
        return;
    count.bind(1, nNowMs - kScoreWindowMs);
    while (sqlite3_step(count.get()) == SQLITE_ROW) {
        const auto *pUrl = reinterpret_cast<const char *>(sqlite3_column_text(count.get(), 0));
        m_mapScores[std::string(pUrl ? pUrl : "", size_t(sqlite3_column_bytes(count.get(), 0)))] =
            sqlite3_column_int(count.get(), 1);
    }
    m_nScoresAtMs = nNowMs;
}

void ChannelStore::withScores(
    const std::function<void(const std::unordered_map<std::string, int> &)> &fn)
{
    const auto stale = [this](int64_t nNow) {
        return m_nScoresAtMs < 0 || nNow - m_nScoresAtMs > kScoreRecountMs;
    };
    {
        // The common case: no database access, so no waiting for a commit.
        std::lock_guard<std::mutex> scores(m_scoreMutex);
        if (!stale(nowMs())) {
            fn(m_mapScores);
            return;
        }
    }
    std::lock_guard<std::mutex> db(m_dbMutex);
    std::lock_guard<std::mutex> scores(m_scoreMutex);
    const int64_t nNow = nowMs();
    if (m_pDb && stale(nNow))
        refreshScoresLocked(nNow);
    fn(m_mapScores);
}
