#include "VideoLogo.h"

#include <QStringList>

namespace {

struct LogoRule
{
    const char *szMatch1; // UTF-8, compared with the lower-cased name
    const char *szMatch2; // second spelling, or nullptr
    const char *szLogo;
};

// Order matters: the first matching row wins, so 凤凰资讯 must be tried before
// the shorter 凤凰.
const LogoRule s_rules[] = {
    {"cctv1", "cctv-1", ":/res/logo/cctv1.png"},  {"cctv2", "cctv-2", ":/res/logo/cctv2.png"},
    {"cctv3", "cctv-3", ":/res/logo/cctv3.png"},  {"cctv4", "cctv-4", ":/res/logo/cctv4.png"},
    {"cctv5", "cctv-5", ":/res/logo/cctv5.png"},  {"cctv6", "cctv-6", ":/res/logo/cctv6.png"},
    {"cctv7", "cctv-7", ":/res/logo/cctv7.png"},  {"cctv8", "cctv-8", ":/res/logo/cctv8.png"},
    {"湖南卫视", nullptr, ":/res/logo/hnws.png"}, {"东方卫视", nullptr, ":/res/logo/dfws.png"},
    {"浙江卫视", nullptr, ":/res/logo/zjws.png"}, {"阳光卫视", nullptr, ":/res/logo/ygws.png"},
    {"北京卫视", nullptr, ":/res/logo/bjws.png"}, {"凤凰资讯", nullptr, ":/res/logo/fhzx.png"},
    {"凤凰", nullptr, ":/res/logo/fhws.png"},     {"tvb8", nullptr, ":/res/logo/tvb8.png"},
};

// Whether strMatch occurs in strText. A match that ends in a digit counts only
// where no other digit follows, so "cctv1" finds CCTV-1 综合 but not CCTV-13,
// whose channel is not CCTV-1's.
bool containsRule(const QString &strText, const QString &strMatch)
{
    const bool bNumber = !strMatch.isEmpty() && strMatch.back().isDigit();
    int nFrom = 0;
    for (;;) {
        const int nAt = strText.indexOf(strMatch, nFrom);
        if (nAt < 0)
            return false;
        const int nAfter = nAt + strMatch.size();
        if (!bNumber || nAfter >= strText.size() || !strText.at(nAfter).isDigit())
            return true;
        nFrom = nAt + 1;
    }
}

} // namespace

QString logoForChannel(const QString &strName, int nCount)
{
    const QString strLower = strName.toLower();
    for (const LogoRule &rule : s_rules) {
        if (containsRule(strLower, QString::fromUtf8(rule.szMatch1)) ||
            (rule.szMatch2 && containsRule(strLower, QString::fromUtf8(rule.szMatch2))))
            return QString::fromLatin1(rule.szLogo);
    }
    if (nCount >= 0 && nCount < 5)
        return QStringLiteral(":/res/video_%1.png").arg(nCount + 1);
    return QStringLiteral(":/res/video.png");
}
