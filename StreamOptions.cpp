#include "StreamOptions.h"

bool StreamOptions::acceptable(const QString &strValue)
{
    if (strValue.size() > kMaxLength)
        return false;
    for (const QChar ch : strValue) {
        if (ch.category() == QChar::Other_Control) // C0, DEL and C1
            return false;
    }
    return true;
}

StreamOptions StreamOptions::checked(int *pnRefused) const
{
    StreamOptions result;
    int nRefused = 0;
    if (acceptable(strUserAgent))
        result.strUserAgent = strUserAgent;
    else
        ++nRefused;
    if (acceptable(strReferrer))
        result.strReferrer = strReferrer;
    else
        ++nRefused;
    if (pnRefused)
        *pnRefused = nRefused;
    return result;
}

QStringList StreamOptions::vlcOptions() const
{
    const StreamOptions safe = checked();
    QStringList lstOptions;
    if (!safe.strUserAgent.isEmpty())
        lstOptions << QStringLiteral("http-user-agent=") + safe.strUserAgent;
    if (!safe.strReferrer.isEmpty())
        lstOptions << QStringLiteral("http-referrer=") + safe.strReferrer;
    return lstOptions;
}
