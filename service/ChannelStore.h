#pragma once

#include "ChannelDatabase.h"

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

// One channel as the service hands it out.
struct ChannelEntry
{
    int nId = 0;
    QString strName;
    QString strUrl;
    QString strRegion;
    std::string strUrlUtf8;
    std::string strNameUtf8;
    // The channel's JSON object without its closing brace and score:
    // {"id":1,"name":"..","url":"..","region":"..","score":
    std::string strJsonHead;
    // Scores count per entry: an entry whose URL is listed once gets every
    // play of that URL; of several entries on one URL each gets the plays
    // reported with its name, and the first also those with a name none of
    // them has. Entries with the same URL and name are one channel.
    bool bUniqueUrl = true;
    size_t nSameAs = 0;                     // index of the first entry with this URL and name
    std::vector<std::string> lstOtherNames; // first entry of a shared URL: the others' names
};

// The channel list of one version of the channel file. Never changed once
// published; a new file gives a new list.
struct ChannelList
{
    std::vector<ChannelEntry> lstEntries;
    QString strVer;
};

// The service's state: the channel list read from the channel file, the ids,
// list version and play reports kept in the database (SQLite or PostgreSQL,
// see ChannelDatabase), and the scores counted from them.
//
// Play reports are committed by one writer thread that groups whatever has
// queued up into one transaction; addPlay() returns only once its report is
// committed, so an acknowledged report survives a crash.
//
// Several processes may share one database: whichever sees the channel file
// change first publishes the new list, and the others take that version
// from the database (checked at most once a second). Scores take in this
// process's reports at once and are counted again from the database, with
// those of the others, at most once a second.
class ChannelStore
{
public:
    ChannelStore();
    ~ChannelStore();
    ChannelStore(const ChannelStore &) = delete;
    ChannelStore &operator=(const ChannelStore &) = delete;

    // Opens (or creates) the database named by strDb (a file path or a
    // PostgreSQL connection string) and starts the writer thread.
    bool open(const QString &strDb, QString *pstrError);
    QString description() const;
    // Reads the channel file for the first time; false when it is unreadable.
    bool loadChannels(const QString &strPath, QString *pstrError);
    // Reads the channel file again when it changed on disk (or always, when
    // bForce), and takes a list another process published. Returns true when
    // the channel list changed. An unreadable file keeps the current list.
    bool reloadIfChanged(bool bForce = false);
    // Stops taking reports, commits what is queued and closes the database.
    void close();

    std::shared_ptr<const ChannelList> channels() const;
    QString listVer() const;

    // Stores one report; blocks until it is committed. False when it could
    // not be stored (database error or unreachable, or the store is closing).
    bool addPlay(PlayReport report);
    // True when the database answers.
    bool reachable();

    // The score of every entry of list, in order; returns a number that
    // changes whenever the scores may have.
    uint64_t entryScores(const ChannelList &list, std::vector<int> &lstScores);
    // That number as it is now.
    uint64_t scoreGeneration();

    // Scores count the plays of the UTC days that overlap the last 7 days.
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
    };

    bool readFile(const QString &strPath, QByteArray &data, QString *pstrError);
    // nPublishedVer: the version another process published data as; 0 to publish it.
    bool applyChannels(const QByteArray &data, int64_t nPublishedVer);
    bool adoptPublishedList();
    void writerLoop();
    bool commitBatch(std::vector<std::unique_ptr<Pending>> &batch);
    void refreshScoresLocked(int64_t nNowMs);
    // The score lock, taken after a recount when the scores are a second old.
    std::unique_lock<std::mutex> lockFreshScores();

    std::unique_ptr<ChannelDatabase> m_pDb;
    // Lock order: m_dbMutex before m_scoreMutex; m_listMutex is taken alone
    // or last.
    std::mutex m_dbMutex; // the database and the ids
    std::unordered_map<std::string, int> m_mapIds;
    std::mutex m_scoreMutex;
    std::unordered_map<std::string, int64_t> m_mapPlaysByUrl;
    std::unordered_map<std::string, int64_t> m_mapPlaysByEntry; // URL, NUL, name
    uint64_t m_nScoreGeneration = 1;
    int64_t m_nScoresAtMs = -1; // when the scores were last counted from the database
    mutable std::mutex m_listMutex;
    std::shared_ptr<const ChannelList> m_pChannels;
    int64_t m_nListVer = 0;

    std::mutex m_reloadMutex; // one reload at a time
    QString m_strChannelPath;
    FileStamp m_stamp;
    int64_t m_nListCheckedAtMs = -1; // when the database's list version was last looked at

    std::mutex m_queueMutex;
    std::condition_variable m_queueCond;
    std::deque<std::unique_ptr<Pending>> m_queue;
    bool m_bStopping = false;
    std::thread m_writer;
};
