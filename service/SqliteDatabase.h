#pragma once

#include "ChannelDatabase.h"

struct sqlite3;

// The store in one SQLite file, in WAL mode with synchronous=FULL, so every
// commit is on disk before a report is acknowledged.
class SqliteDatabase : public ChannelDatabase
{
public:
    explicit SqliteDatabase(const QString &strPath);
    ~SqliteDatabase() override;

    bool open(QString *pstrError) override;
    QString description() const override;
    bool reachable() override;
    bool currentList(ListState &state) override;
    bool listContent(int64_t nVer, QByteArray &content) override;
    bool publishList(const std::string &strHash, const QByteArray &content,
                     const std::vector<std::string> &lstUrls, ListState &state,
                     std::vector<int> &lstIds) override;
    bool channelIds(const std::vector<std::string> &lstUrls, std::vector<int> &lstIds) override;
    bool addPlays(const std::vector<const PlayReport *> &lstReports) override;
    bool countPlays(int64_t nFromDay, std::vector<PlayCount> &lstCounts) override;

private:
    bool exec(const char *pszSql);
    bool upgradeSchema();
    bool readList(ListState &state);
    bool setMeta(const char *pszKey, const std::string &strValue);

    QString m_strPath;
    sqlite3 *m_pDb = nullptr;
};
