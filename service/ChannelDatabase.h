#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// Plays of one channel entry (URL and name) counted over some days.
struct PlayCount
{
    std::string strUrl;
    std::string strName;
    int64_t nPlays = 0;
};

// The published channel list: its version and the hash of its content.
struct ListState
{
    int64_t nVer = 0; // 0: nothing published yet
    std::string strHash;
};

// The service's storage: channel ids, the published channel list and the
// play reports. Each back-end (SQLite, PostgreSQL) implements it; no SQL
// lives anywhere else. Not thread-safe: the caller serialises the calls.
//
// Several service processes may share one database: publishing a list and
// creating ids is serialised between them by the back-end, and play reports
// are counted per UTC day in the same transaction that stores them, so any
// process can read the scores cheaply.
class ChannelDatabase
{
public:
    virtual ~ChannelDatabase() = default;

    // The back-end for a --db value: a PostgreSQL connection string
    // ("postgresql://...", "postgres://..." or "key=value ..."), else the path
    // of an SQLite file.
    static std::unique_ptr<ChannelDatabase> forTarget(const QString &strTarget);

    // Connects (or opens the file) and creates or upgrades the schema.
    virtual bool open(QString *pstrError) = 0;
    // What the log may say about the database (never a password).
    virtual QString description() const = 0;
    // True when the database answers now (reconnecting when it had gone away).
    virtual bool reachable() = 0;

    // The list published last.
    virtual bool currentList(ListState &state) = 0;
    // The content of version nVer; false when it is not the current one any more.
    virtual bool listContent(int64_t nVer, QByteArray &content) = 0;
    // In one transaction, serialised against every other process: gives every
    // URL of lstUrls an id (ids are never reused), and unless strHash is the
    // hash of the current list, stores content as the next version. state is
    // the list then current; lstIds the ids in the order of lstUrls.
    virtual bool publishList(const std::string &strHash, const QByteArray &content,
                             const std::vector<std::string> &lstUrls, ListState &state,
                             std::vector<int> &lstIds) = 0;
    // The ids of existing URLs, in order; false when one has none.
    virtual bool channelIds(const std::vector<std::string> &lstUrls, std::vector<int> &lstIds) = 0;

    // Stores the reports and counts them, all or none.
    virtual bool addPlays(const std::vector<const PlayReport *> &lstReports) = 0;
    // Plays per URL and name from day nFromDay (days since the epoch, UTC) on.
    virtual bool countPlays(int64_t nFromDay, std::vector<PlayCount> &lstCounts) = 0;

    static constexpr int64_t kDayMs = 24LL * 3600 * 1000;
    // The schema version this program writes; older ones are upgraded.
    static constexpr int kSchemaVersion = 2;
};
