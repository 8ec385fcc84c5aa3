#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A PostgreSQL server of its own for a test or a benchmark, made from
// Debian's postgresql package: a cluster made by initdb in a temporary
// directory, a postmaster on a free port of 127.0.0.1 with its socket in
// that directory, trust authentication for the user "mirel". As root (CI)
// it runs as the unprivileged user nobody, since initdb refuses root.
class ScratchPostgres
{
public:
    ScratchPostgres();
    ~ScratchPostgres();
    ScratchPostgres(const ScratchPostgres &) = delete;
    ScratchPostgres &operator=(const ScratchPostgres &) = delete;

    // False, with the reason, when the binaries are missing or the server
    // does not start.
    bool start(QString *pstrError);
    bool stop();
    // Stops the server (fast: open connections are cut) and starts it again.
    bool restart();
    bool running() const { return m_bRunning; }
    int port() const { return m_nPort; }

    // Creates a database; false with the reason on failure.
    bool createDatabase(const QString &strName, QString *pstrError);
    // The connection string of one database, as the service's --db takes it.
    QString url(const QString &strDatabase) const;
    // The first column of the first row of a query on the database of a
    // connection string, as text ("" on error).
    static QString query(const QString &strUrl, const QString &strSql);

    // Where the server binaries are looked for.
    static QString binDir();

private:
    bool pgCtl(const QStringList &lstArgs, QString *pstrError);

    std::unique_ptr<QTemporaryDir> m_pDir;
    int m_nPort = 0;
    bool m_bRunning = false;
};
