#pragma once

#include "GuideTypes.h"

#include <QStringList>
#include <QVector>

// The guides last read, kept on disk in an SQLite file under the user's cache
// folder, so that a start shows them at once. Each call opens the file on the
// calling thread and closes it again; calls must not run on two threads at
// once (GuideService makes them on its one worker). A file that cannot be
// used is a cache lost, not an error: it is logged, removed and made anew.
namespace GuideCache {

struct Entry
{
    QString strAddress;
    qint64 nFetched = 0; // when it was read, seconds since the epoch
    GuideChannels channels;
};

// "<cache folder>/Mirel Software/Mirel Player/guide.sqlite"
QString defaultPath();

// Every guide of the file, without the programmes that ended before nFrom.
QVector<Entry> load(const QString &strPath, qint64 nFrom);
// Replaces what the file holds for the entry's address.
bool store(const QString &strPath, const Entry &entry);
// Drops the guides of every address but these.
bool keepOnly(const QString &strPath, const QStringList &lstAddresses);

} // namespace GuideCache
