#include "StreamSchemeCheck.h"

bool StreamSchemeCheck::isNetworkScheme(const QString &strScheme)
{
    static const char *const s_schemes[] = {"http", "https", "rtsp", "rtmp", "rtmps",
                                            "rtp",  "udp",   "mms",  "mmsh", "srt"};
    for (const char *szScheme : s_schemes) {
        if (strScheme == QLatin1String(szScheme))
            return true;
    }
    return false;
}

bool StreamSchemeCheck::allows(const QUrl &url, ChannelOrigin origin)
{
    if (origin == ChannelOrigin::Own)
        return true;
    return url.isValid() && isNetworkScheme(url.scheme().toLower());
}

QString StreamSchemeCheck::schemeOf(const QUrl &url)
{
    const QString strScheme = url.scheme().toLower();
    return strScheme.isEmpty() ? QStringLiteral("file") : strScheme;
}
