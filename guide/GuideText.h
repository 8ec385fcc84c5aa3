#pragma once

#include "GuideTypes.h"

#include <QCoreApplication>
#include <QString>

// How a guide's programmes are told to the user, in local time: the line
// under a channel's name, its tooltip and the lines over the video.
class GuideText
{
    Q_DECLARE_TR_FUNCTIONS(GuideText)

public:
    // "19:00" in the user's time zone.
    static QString clockTime(qint64 nSecs);
    // "Now: title (19:00–20:00)" and "Next: title".
    static QString overlayLines(const GuideNowNext &nowNext);
    // The channel's name, then now and next with their times.
    static QString toolTip(const QString &strName, const GuideNowNext &nowNext);
    // How far the programme on now has run, 0 to 1.
    static double progress(const GuideProgramme &programme, qint64 nAt);

private:
    static QString span(const GuideProgramme &programme);
};
