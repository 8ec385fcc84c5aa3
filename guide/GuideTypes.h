#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

// One programme of a guide: its title and its times, in seconds since the
// epoch (UTC); stop is after start.
struct GuideProgramme
{
    qint64 nStart = 0;
    qint64 nStop = 0;
    QString strTitle;
};

// The programmes of one channel, by start time, none overlapping the next.
using GuideSchedule = QVector<GuideProgramme>;

// What a guide gave for the user's channels: a schedule per channel key
// (GuideKeys).
using GuideChannels = QHash<QString, GuideSchedule>;

// A channel of the user's is found in a guide by its tvg-id (the guide's
// <channel id>) or by its name (one of the guide's <display-name>s), both
// without regard to case. Keys of the two kinds never collide.
namespace GuideKeys {

QString forName(const QString &strName);
QString forTvgId(const QString &strTvgId);

} // namespace GuideKeys

// The keys of the channels the user has: a guide keeps only their programmes.
using GuideWanted = QSet<QString>;

// The programme on at a moment and the one after it.
struct GuideNowNext
{
    bool bNow = false;
    GuideProgramme now;
    bool bNext = false;
    GuideProgramme next;

    bool isEmpty() const { return !bNow && !bNext; }
};

// The programme of a schedule on at nAt (and the next one).
GuideNowNext guideNowNext(const GuideSchedule &schedule, qint64 nAt);
