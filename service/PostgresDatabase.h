#pragma once

#include "ChannelDatabase.h"

#include <chrono>

struct pg_conn;

// The store in a PostgreSQL database (libpq), which several service processes
// may share. A connection that breaks (the server restarts, say) is made
// again on a later call, at most twice a second; meanwhile every call fails
// at once.
class PostgresDatabase : public ChannelDatabase
{
public:
    explicit PostgresDatabase(const QString &strConnInfo);
    ~PostgresDatabase() override;

    // True for a value that names a PostgreSQL database rather than a file.
    static bool isConnectionString(const QString &strTarget);

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
    class Result;
    bool connect(QString *pstrError);
    bool connected();
    bool begin();
    bool exec(const char *pszSql);
    bool lookUpIds(const std::string &strUrlArray, size_t nCount, std::vector<int> &lstIds);
    bool readList(ListState &state);
    void rollback();

    QString m_strConnInfo;
    QString m_strDescription;
    pg_conn *m_pConn = nullptr;
    bool m_bLost = false;
    std::chrono::steady_clock::time_point m_lastAttempt;
};
