#include "scratchpostgres.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>

#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>

namespace {

// The command that runs a server binary: as nobody when we are root.
QStringList asServerUser(const QString &strBinary, const QStringList &lstArgs)
{
    if (::geteuid() != 0)
        return QStringList{strBinary} + lstArgs;
    return QStringList{QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("nobody"),
                       QStringLiteral("--"), strBinary} +
           lstArgs;
}

bool run(const QStringList &lstCommand, QString *pstrError, int nTimeoutMs = 60000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(lstCommand.first(), lstCommand.mid(1));
    if (!process.waitForFinished(nTimeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        *pstrError = QStringLiteral("%1 failed: %2 %3")
                         .arg(lstCommand.join(QLatin1Char(' ')), process.errorString(),
                              QString::fromLocal8Bit(process.readAll()).trimmed());
        process.kill();
        process.waitForFinished();
        return false;
    }
    return true;
}

} // namespace

ScratchPostgres::ScratchPostgres() = default;

ScratchPostgres::~ScratchPostgres()
{
    if (m_bRunning) {
        QString strError;
        pgCtl({QStringLiteral("stop"), QStringLiteral("-m"), QStringLiteral("immediate")},
              &strError);
    }
}

QString ScratchPostgres::binDir()
{
    const QByteArray env = qgetenv("MIREL_PG_BINDIR");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    // The newest installed major version.
    QStringList lstVersions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(lstVersions.begin(), lstVersions.end(),
              [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
    return QStringLiteral("/usr/lib/postgresql/%1/bin")
        .arg(lstVersions.isEmpty() ? QStringLiteral("15") : lstVersions.last());
}

bool ScratchPostgres::pgCtl(const QStringList &lstArgs, QString *pstrError)
{
    return run(
        asServerUser(binDir() + QStringLiteral("/pg_ctl"),
                     QStringList{QStringLiteral("-D"), m_pDir->filePath(QStringLiteral("data")),
                                 QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60")} +
                         lstArgs),
        pstrError, 90000);
}

bool ScratchPostgres::start(QString *pstrError)
{
    const QString strInitdb = binDir() + QStringLiteral("/initdb");
    if (!QFile::exists(strInitdb)) {
        *pstrError = QStringLiteral("%1 is missing: install the postgresql package").arg(strInitdb);
        return false;
    }
    m_pDir = std::make_unique<QTemporaryDir>();
    if (!m_pDir->isValid()) {
        *pstrError = QStringLiteral("no temporary directory");
        return false;
    }
    if (::geteuid() == 0) {
        const passwd *pUser = ::getpwnam("nobody");
        if (!pUser || ::chown(QFile::encodeName(m_pDir->path()).constData(), pUser->pw_uid,
                              pUser->pw_gid) != 0) {
            *pstrError = QStringLiteral("cannot hand %1 to the user nobody").arg(m_pDir->path());
            return false;
        }
    }
    if (!run(
            asServerUser(strInitdb, {QStringLiteral("-D"), m_pDir->filePath(QStringLiteral("data")),
                                     QStringLiteral("-U"), QStringLiteral("mirel"),
                                     QStringLiteral("--auth=trust"), QStringLiteral("-E"),
                                     QStringLiteral("UTF8"), QStringLiteral("--locale=C"),
                                     QStringLiteral("--no-sync")}),
            pstrError))
        return false;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        m_nPort = probe.serverPort();
    }
    // Port, socket directory and address go into the cluster's own settings,
    // so that pg_ctl restart keeps them.
    QFile conf(m_pDir->filePath(QStringLiteral("data/postgresql.auto.conf")));
    if (!conf.open(QIODevice::Append)) {
        *pstrError = conf.errorString();
        return false;
    }
    conf.write(QStringLiteral("port = %1\nlisten_addresses = '127.0.0.1'\n"
                              "unix_socket_directories = '%2'\nmax_connections = 60\n")
                   .arg(m_nPort)
                   .arg(m_pDir->path())
                   .toUtf8());
    conf.close();
    if (!pgCtl({QStringLiteral("-l"), m_pDir->filePath(QStringLiteral("server.log")),
                QStringLiteral("start")},
               pstrError))
        return false;
    m_bRunning = true;
    return true;
}

bool ScratchPostgres::stop()
{
    QString strError;
    m_bRunning =
        !pgCtl({QStringLiteral("stop"), QStringLiteral("-m"), QStringLiteral("fast")}, &strError);
    if (m_bRunning) {
        // pg_ctl may give up waiting on a busy machine: ask whether it stopped.
        qWarning().noquote() << strError;
        QString strStatus;
        m_bRunning = pgCtl({QStringLiteral("status")}, &strStatus);
    }
    return !m_bRunning;
}

bool ScratchPostgres::restart()
{
    QString strError;
    const bool bOk =
        pgCtl({QStringLiteral("-l"), m_pDir->filePath(QStringLiteral("server.log")),
               QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("restart")},
              &strError);
    if (!bOk)
        qWarning().noquote() << strError;
    return bOk;
}

bool ScratchPostgres::createDatabase(const QString &strName, QString *pstrError)
{
    PGconn *pConn = PQconnectdb(url(QStringLiteral("postgres")).toUtf8().constData());
    const QByteArray sql = "CREATE DATABASE \"" + strName.toUtf8() + '"';
    PGresult *pResult = PQexec(pConn, sql.constData());
    const bool bOk = PQresultStatus(pResult) == PGRES_COMMAND_OK;
    if (!bOk)
        *pstrError = QString::fromUtf8(PQerrorMessage(pConn)).trimmed();
    PQclear(pResult);
    PQfinish(pConn);
    return bOk;
}

QString ScratchPostgres::url(const QString &strDatabase) const
{
    return QStringLiteral("postgresql://mirel@127.0.0.1:%1/%2").arg(m_nPort).arg(strDatabase);
}

QString ScratchPostgres::query(const QString &strUrl, const QString &strSql)
{
    PGconn *pConn = PQconnectdb(strUrl.toUtf8().constData());
    PGresult *pResult = PQexec(pConn, strSql.toUtf8().constData());
    QString strValue;
    if (PQresultStatus(pResult) == PGRES_TUPLES_OK && PQntuples(pResult) > 0)
        strValue = QString::fromUtf8(PQgetvalue(pResult, 0, 0));
    else if (PQresultStatus(pResult) != PGRES_COMMAND_OK)
        qWarning().noquote() << "query failed:" << strSql << PQerrorMessage(pConn);
    PQclear(pResult);
    PQfinish(pConn);
    return strValue;
}
