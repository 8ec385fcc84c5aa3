#pragma once

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

struct sqlite3;

// One channel as the service hands it out.
struct ChannelEntry
{
    int nId = 0;
    QString strName;
    QString strUrl;
    QString strRegion;
    std::string strUrlUtf8;
    // The channel's JSON object without its closing brace and score:
    // {"id":1,"name":"..","url":"..","region":"..","score":
    std::string strJsonHead;
};

// The channel list of one version of the channel file. Never changed once
// published; a new file gives a new list.
struct ChannelList
{
    std::vector<ChannelEntry> lstEntries;
    QString strVer;
};

// One play report, as stored.
struct PlayReport
{
    int64_t nTimeMs = 0; // milliseconds since the epoch, UTC
    std::string strRegion;
    std::string strVideoName;
    std::string strVideoUrl;
    std::string strAppVer;
    std::string strClient;
};

// The service's state: the channel list read from the channel file, the ids
// and list version kept in SQLite, and the play reports.
//
// Play reports are committed by one writer thread that groups whatever has
// queued up into one transaction; addPlay() returns only once its report is
// on disk, so an acknowledged report survives a crash.
class ChannelStore
{
public:
    ChannelStore();
    ~ChannelStore();
    ChannelStore(const ChannelStore &) = delete;
    ChannelStore &operator=(const ChannelStore &) = delete;

    // Opens (or creates) the database and starts the writer thread.
    bool open(const QString &strDbPath, QString *pstrError);
    // Reads the channel file for the first time; false when it is unreadable.
    bool loadChannels(const QString &strPath, QString *pstrError);
    // Reads the channel file again when it changed on disk (or always, when
    // bForce). Returns true when the channel list changed. An unreadable file
    // keeps the current list.
    bool reloadIfChanged(bool bForce = false);
    // Stops taking reports, commits what is queued and closes the database.
    void close();

    std::shared_ptr<const ChannelList> channels() const;
    QString listVer() const;

    // Stores one report; blocks until it is committed. False when it could
    // not be stored (database error, or the store is closing).
    bool addPlay(PlayReport report);

    // Calls fn with the plays per URL of the last 7 days, under the scores' lock.
    void withScores(const std::function<void(const std::unordered_map<std::string, int> &)> &fn);

    static constexpr int64_t kScoreWindowMs = 7LL * 24 * 3600 * 1000;
    // A playlist of a million channels is about 100 MB; anything much bigger
    // is a mistake (a video file given as the channel file, say).
    static constexpr qint64 kMaxChannelFileBytes = 512LL * 1024 * 1024;

private:
    struct Pending
    {
        PlayReport report;
        std::promise<bool> done;
    };

    bool exec(const char *pszSql);
    bool readFile(const QString &strPath, QByteArray &data, QString *pstrError);
    bool applyChannels(const QByteArray &data);
    void writerLoop();
    bool commitBatch(std::vector<std::unique_ptr<Pending>> &batch);
    void refreshScoresLocked(int64_t nNowMs);
    QString metaLocked(const char *pszKey);
    bool setMetaLocked(const char *pszKey, const QString &strValue);

    sqlite3 *m_pDb = nullptr;
    // Lock order: m_dbMutex before m_scoreMutex; m_listMutex is taken alone
    // or last.
    std::mutex m_dbMutex; // the database and the ids
    std::unordered_map<std::string, int> m_mapIds;
    std::mutex m_scoreMutex;
    std::unordered_map<std::string, int> m_mapScores;
    int64_t m_nScoresAtMs = -1; // when the scores were last counted from the database
    mutable std::mutex m_listMutex;
    std::shared_ptr<const ChannelList> m_pChannels;

    std::mutex m_reloadMutex; // one reload at a time
    QString m_strChannelPath;
    struct FileStamp
    {
        int64_t nSize = -1;
        int64_t nMtimeNs = -1;
        int64_t nCtimeNs = -1;
        uint64_t nInode = 0;
        bool operator==(const FileStamp &o) const
        {
            return nSize == o.nSize && nMtimeNs == o.nMtimeNs && nCtimeNs == o.nCtimeNs &&
                   nInode == o.nInode;
        }
    } m_stamp;

    std::mutex m_queueMutex;
    std::condition_variable m_queueCond;
    std::deque<std::unique_ptr<Pending>> m_queue;
    bool m_bStopping = false;
    std::thread m_writer;
};
