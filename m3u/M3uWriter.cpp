#include "M3uWriter.h"

namespace {

bool holdsLineBreak(const QString &str)
{
    return str.contains(QLatin1Char('\n')) || str.contains(QLatin1Char('\r'));
}

// Text on one line: line breaks (and other control characters) become spaces.
QString oneLine(QString str)
{
    for (QChar &ch : str) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            ch = QLatin1Char(' ');
    }
    return str;
}

} // namespace

QByteArray writeM3u(const QVector<M3uChannel> &channels, int *pnSkipped)
{
    int nSkipped = 0;
    QString strOut = QStringLiteral("#EXTM3U\n");
    for (const M3uChannel &channel : channels) {
        const QString strUrl = channel.strUrl.trimmed();
        if (strUrl.isEmpty() || strUrl.startsWith(QLatin1Char('#')) || holdsLineBreak(strUrl)) {
            ++nSkipped;
            continue;
        }
        strOut += QLatin1String("#EXTINF:-1");
        // An attribute value cannot hold a double quote; such a group goes
        // on an #EXTGRP line instead, where any text fits.
        const QString strGroup = oneLine(channel.strGroup);
        const bool bGroupAttribute = !strGroup.contains(QLatin1Char('"'));
        if (!strGroup.isEmpty() && bGroupAttribute)
            strOut += QLatin1String(" group-title=\"") + strGroup + QLatin1Char('"');
        // In a URL a double quote may stand percent-encoded.
        QString strLogo = oneLine(channel.strLogo).trimmed();
        strLogo.replace(QLatin1Char('"'), QLatin1String("%22"));
        if (!strLogo.isEmpty())
            strOut += QLatin1String(" tvg-logo=\"") + strLogo + QLatin1Char('"');
        // A tvg-id with a double quote could not be read back: left out.
        const QString strTvgId = oneLine(channel.strTvgId).trimmed();
        if (!strTvgId.isEmpty() && !strTvgId.contains(QLatin1Char('"')))
            strOut += QLatin1String(" tvg-id=\"") + strTvgId + QLatin1Char('"');
        strOut += QLatin1Char(',') + oneLine(channel.strName) + QLatin1Char('\n');
        if (!strGroup.isEmpty() && !bGroupAttribute)
            strOut += QLatin1String("#EXTGRP:") + strGroup + QLatin1Char('\n');
        if (!channel.strUserAgent.isEmpty())
            strOut += QLatin1String("#EXTVLCOPT:http-user-agent=") + oneLine(channel.strUserAgent) +
                      QLatin1Char('\n');
        if (!channel.strReferrer.isEmpty())
            strOut += QLatin1String("#EXTVLCOPT:http-referrer=") + oneLine(channel.strReferrer) +
                      QLatin1Char('\n');
        strOut += strUrl + QLatin1Char('\n');
    }
    if (pnSkipped)
        *pnSkipped = nSkipped;
    return strOut.toUtf8();
}
