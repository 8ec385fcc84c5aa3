#include "GuideTypes.h"

#include <algorithm>

namespace GuideKeys {

QString forName(const QString &strName)
{
    return QLatin1String("n:") + strName.simplified().toCaseFolded();
}

QString forTvgId(const QString &strTvgId)
{
    return QLatin1String("i:") + strTvgId.trimmed().toCaseFolded();
}

} // namespace GuideKeys

GuideNowNext guideNowNext(const GuideSchedule &schedule, qint64 nAt)
{
    GuideNowNext result;
    // The first programme that ends after nAt is the one on now, unless it
    // has not started yet (a gap in the guide): then it is only the next.
    const auto it = std::upper_bound(
        schedule.cbegin(), schedule.cend(), nAt,
        [](qint64 nTime, const GuideProgramme &programme) { return nTime < programme.nStop; });
    if (it == schedule.cend())
        return result;
    if (it->nStart <= nAt) {
        result.bNow = true;
        result.now = *it;
        if (it + 1 != schedule.cend()) {
            result.bNext = true;
            result.next = *(it + 1);
        }
    } else {
        result.bNext = true;
        result.next = *it;
    }
    return result;
}
