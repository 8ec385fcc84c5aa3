#include "GuideCache.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <functional>

namespace GuideCache {

namespace {

constexpr int kSchemaVersion = 1;

QString connectionName()
{
    static QAtomicInt s_nNext;
    return QStringLiteral("mirel-guide-cache-%1").arg(s_nNext.fetchAndAddRelaxed(1));
}

bool exec(QSqlQuery &query, const QString &strSql)
{
    if (query.exec(strSql))
        return true;
    qDebug() << "guide cache:" << strSql << query.lastError().text();
    return false;
}

bool prepareSchema(QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!exec(query, QStringLiteral("PRAGMA user_version")) || !query.next())
        return false;
    if (query.value(0).toInt() == kSchemaVersion)
        return true;
    return exec(query, QStringLiteral("DROP TABLE IF EXISTS guide_programmes")) &&
           exec(query, QStringLiteral("DROP TABLE IF EXISTS guide_sources")) &&
           exec(query, QStringLiteral("CREATE TABLE guide_sources(address TEXT PRIMARY KEY, "
                                      "fetched INTEGER NOT NULL)")) &&
           exec(query, QStringLiteral("CREATE TABLE guide_programmes(address TEXT NOT NULL, "
                                      "channel TEXT NOT NULL, start INTEGER NOT NULL, "
                                      "stop INTEGER NOT NULL, title TEXT NOT NULL)")) &&
           exec(query, QStringLiteral("CREATE INDEX guide_programmes_address "
                                      "ON guide_programmes(address)")) &&
           exec(query, QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion));
}

// Runs work on the open file; a file that cannot be opened or used is
// removed, and the work tried once more on a new one.
bool withDatabase(const QString &strPath, const std::function<bool(QSqlDatabase &)> &work)
{
    QDir().mkpath(QFileInfo(strPath).absolutePath());
    for (int nTry = 0; nTry < 2; ++nTry) {
        const QString strName = connectionName();
        bool bOk = false;
        bool bBroken = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), strName);
            db.setDatabaseName(strPath);
            if (!db.open()) {
                qDebug() << "guide cache: cannot open" << strPath << db.lastError().text();
                bBroken = true;
            } else if (!prepareSchema(db)) {
                bBroken = true;
            } else {
                bOk = work(db);
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(strName);
        if (!bBroken)
            return bOk;
        qDebug() << "guide cache: starting anew in" << strPath;
        QFile::remove(strPath);
    }
    return false;
}

} // namespace

QString defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Mirel Software/Mirel Player/guide.sqlite");
}

QVector<Entry> load(const QString &strPath, qint64 nFrom)
{
    QVector<Entry> vecEntries;
    if (!QFile::exists(strPath))
        return vecEntries;
    withDatabase(strPath, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!exec(query, QStringLiteral("SELECT address, fetched FROM guide_sources")))
            return false;
        QHash<QString, int> hashIndex;
        while (query.next()) {
            hashIndex.insert(query.value(0).toString(), vecEntries.size());
            vecEntries.append(Entry{query.value(0).toString(), query.value(1).toLongLong(), {}});
        }
        query.prepare(QStringLiteral("SELECT address, channel, start, stop, title FROM "
                                     "guide_programmes WHERE stop > ? ORDER BY rowid"));
        query.addBindValue(nFrom);
        if (!query.exec()) {
            qDebug() << "guide cache:" << query.lastError().text();
            vecEntries.clear();
            return false;
        }
        while (query.next()) {
            const int nIndex = hashIndex.value(query.value(0).toString(), -1);
            if (nIndex < 0)
                continue;
            vecEntries[nIndex].channels[query.value(1).toString()].append(
                GuideProgramme{query.value(2).toLongLong(), query.value(3).toLongLong(),
                               query.value(4).toString()});
        }
        return true;
    });
    return vecEntries;
}

bool store(const QString &strPath, const Entry &entry)
{
    return withDatabase(strPath, [&](QSqlDatabase &db) {
        if (!db.transaction())
            return false;
        QSqlQuery query(db);
        query.prepare(QStringLiteral("DELETE FROM guide_programmes WHERE address = ?"));
        query.addBindValue(entry.strAddress);
        bool bOk = query.exec();
        query.prepare(QStringLiteral("INSERT OR REPLACE INTO guide_sources VALUES (?, ?)"));
        query.addBindValue(entry.strAddress);
        query.addBindValue(entry.nFetched);
        bOk = bOk && query.exec();
        // Rows go in schedule order, which load() keeps (ORDER BY rowid).
        bOk = bOk && query.prepare(QStringLiteral("INSERT INTO guide_programmes "
                                                  "VALUES (?, ?, ?, ?, ?)"));
        for (auto it = entry.channels.cbegin(); bOk && it != entry.channels.cend(); ++it) {
            for (const GuideProgramme &programme : it.value()) {
                query.bindValue(0, entry.strAddress);
                query.bindValue(1, it.key());
                query.bindValue(2, programme.nStart);
                query.bindValue(3, programme.nStop);
                query.bindValue(4, programme.strTitle);
                if (!query.exec()) {
                    bOk = false;
                    break;
                }
            }
        }
        if (!bOk) {
            qDebug() << "guide cache: cannot store" << entry.strAddress << query.lastError().text();
            db.rollback();
            return false;
        }
        return db.commit();
    });
}

bool keepOnly(const QString &strPath, const QStringList &lstAddresses)
{
    if (!QFile::exists(strPath))
        return true;
    return withDatabase(strPath, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        if (!exec(query, QStringLiteral("SELECT address FROM guide_sources")))
            return false;
        QStringList lstGone;
        while (query.next()) {
            if (!lstAddresses.contains(query.value(0).toString()))
                lstGone << query.value(0).toString();
        }
        if (lstGone.isEmpty() || !db.transaction())
            return lstGone.isEmpty();
        for (const QString &strAddress : qAsConst(lstGone)) {
            for (const char *pszSql : {"DELETE FROM guide_programmes WHERE address = ?",
                                       "DELETE FROM guide_sources WHERE address = ?"}) {
                query.prepare(QLatin1String(pszSql));
                query.addBindValue(strAddress);
                query.exec();
            }
        }
        return db.commit();
    });
}

} // namespace GuideCache
