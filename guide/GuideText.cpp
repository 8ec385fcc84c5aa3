#include "GuideText.h"

#include <QDateTime>
#include <QStringList>

QString GuideText::clockTime(qint64 nSecs)
{
    return QDateTime::fromSecsSinceEpoch(nSecs, Qt::LocalTime).toString(QStringLiteral("HH:mm"));
}

QString GuideText::span(const GuideProgramme &programme)
{
    return QStringLiteral("%1\u2013%2")
        .arg(clockTime(programme.nStart), clockTime(programme.nStop));
}

QString GuideText::overlayLines(const GuideNowNext &nowNext)
{
    QStringList lst;
    if (nowNext.bNow)
        lst << tr("Now: %1 (%2)").arg(nowNext.now.strTitle, span(nowNext.now));
    if (nowNext.bNext)
        lst << tr("Next: %1").arg(nowNext.next.strTitle);
    return lst.join(QLatin1Char('\n'));
}

QString GuideText::toolTip(const QString &strName, const GuideNowNext &nowNext)
{
    QStringList lst{strName};
    if (nowNext.bNow)
        lst << tr("Now: %1 (%2)").arg(nowNext.now.strTitle, span(nowNext.now));
    if (nowNext.bNext)
        lst << tr("Next: %1 (%2)").arg(nowNext.next.strTitle, span(nowNext.next));
    return lst.join(QLatin1Char('\n'));
}

double GuideText::progress(const GuideProgramme &programme, qint64 nAt)
{
    if (programme.nStop <= programme.nStart)
        return 0;
    return qBound(0.0, double(nAt - programme.nStart) / double(programme.nStop - programme.nStart),
                  1.0);
}
