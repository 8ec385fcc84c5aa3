#include "M3uParser.h"

#include <cstdint>
#include <cstring>

namespace {

const char kBom[] = "\xEF\xBB\xBF";

// Strict check: no overlong forms, no surrogates, nothing above U+10FFFF.
bool validUtf8(const unsigned char *p, const unsigned char *pEnd)
{
    while (p < pEnd) {
        // Most of a playlist is ASCII: skip it eight bytes at a time.
        while (pEnd - p >= 8) {
            uint64_t nWord;
            memcpy(&nWord, p, 8);
            if (nWord & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p >= pEnd)
            break;
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int nMore;
        unsigned int nCode;
        unsigned int nMin;
        if ((c & 0xE0) == 0xC0) {
            nMore = 1;
            nCode = c & 0x1F;
            nMin = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            nMore = 2;
            nCode = c & 0x0F;
            nMin = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            nMore = 3;
            nCode = c & 0x07;
            nMin = 0x10000;
        } else {
            return false;
        }
        if (pEnd - p <= nMore)
            return false;
        for (int i = 1; i <= nMore; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            nCode = (nCode << 6) | (p[i] & 0x3F);
        }
        if (nCode < nMin || nCode > 0x10FFFF || (nCode >= 0xD800 && nCode <= 0xDFFF))
            return false;
        p += nMore + 1;
    }
    return true;
}

// Control characters in a display name only do harm (they end up in list
// items and HTML); tabs and the like become spaces.
QString cleanName(QString str)
{
    for (QChar &ch : str) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            ch = QLatin1Char(' ');
    }
    return str.trimmed();
}

bool isSpaceByte(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

bool equalsLower(const char *p, int nLen, const char *pszLower)
{
    int i = 0;
    for (; i < nLen && pszLower[i]; ++i) {
        char c = p[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != pszLower[i])
            return false;
    }
    return i == nLen && !pszLower[i];
}

// What an #EXTINF line gives, as bytes of the line.
struct ExtInf
{
    QByteArray title;
    QByteArray tvgName;
    QByteArray tvgCountry;
    QByteArray tvgId;
    QByteArray tvgLogo;
    QByteArray groupTitle;
    QByteArray userAgent;
    QByteArray referrer;
    QByteArray xTvgUrl;   // of the #EXTM3U header
    QByteArray urlTvg;    // the same, as some playlists name it
    bool bLatin1 = false; // the line is not valid UTF-8
};

// The attributes read from an #EXTINF line, by their lower-case names.
struct Attribute
{
    const char *szName;
    QByteArray ExtInf::*pField;
};
const Attribute s_attributes[] = {
    {"tvg-name", &ExtInf::tvgName},       {"tvg-country", &ExtInf::tvgCountry},
    {"tvg-id", &ExtInf::tvgId},           {"tvg-logo", &ExtInf::tvgLogo},
    {"group-title", &ExtInf::groupTitle}, {"user-agent", &ExtInf::userAgent},
    {"referrer", &ExtInf::referrer},      {"x-tvg-url", &ExtInf::xTvgUrl},
    {"url-tvg", &ExtInf::urlTvg},
};

// "#EXTINF:-1 tvg-id="x" group-title="News, World",Title": the duration, then
// key="value" attributes (values may hold commas), then the title after the
// first comma outside quotes. A line cut short loses only what is missing.
// Works on the bytes: the structure is ASCII, and only the few parts used are
// decoded afterwards.
// The #EXTM3U header has attributes of the same form after its 7 bytes.
ExtInf parseExtInf(const char *pLine, int n, int nStart = 8)
{
    ExtInf info;
    info.bLatin1 = !isValidUtf8(pLine, n);
    int i = nStart; // after "#EXTINF:"
    while (i < n && !isSpaceByte(pLine[i]) && pLine[i] != ',')
        ++i;
    while (i < n) {
        const char c = pLine[i];
        if (isSpaceByte(c)) {
            ++i;
            continue;
        }
        if (c == ',') {
            info.title = QByteArray(pLine + i + 1, n - i - 1);
            break;
        }
        const int nKeyStart = i;
        while (i < n && !isSpaceByte(pLine[i]) && pLine[i] != '=' && pLine[i] != ',')
            ++i;
        const int nKeyLen = i - nKeyStart;
        if (i >= n || pLine[i] != '=')
            continue; // a bare word: no attribute
        ++i;
        int nValueStart;
        int nValueLen;
        if (i < n && pLine[i] == '"') {
            nValueStart = i + 1;
            const void *pQuote = memchr(pLine + nValueStart, '"', size_t(n - nValueStart));
            if (!pQuote) { // unterminated quote: the line was cut here
                nValueLen = n - nValueStart;
                i = n;
            } else {
                nValueLen = int(static_cast<const char *>(pQuote) - (pLine + nValueStart));
                i = nValueStart + nValueLen + 1;
            }
        } else {
            nValueStart = i;
            while (i < n && !isSpaceByte(pLine[i]) && pLine[i] != ',')
                ++i;
            nValueLen = i - nValueStart;
        }
        for (const Attribute &attribute : s_attributes) {
            if (equalsLower(pLine + nKeyStart, nKeyLen, attribute.szName)) {
                info.*attribute.pField = QByteArray(pLine + nValueStart, nValueLen);
                break;
            }
        }
    }
    return info;
}

// "#EXTVLCOPT:name=value": only the two HTTP options a stream may need are
// kept; every other option is passed over.
struct VlcOptions
{
    QString strUserAgent;
    QString strReferrer;
};

void readVlcOption(const char *pLine, int n, VlcOptions &options)
{
    const int nStart = 11; // after "#EXTVLCOPT:"
    const void *pEquals = memchr(pLine + nStart, '=', size_t(n - nStart));
    if (!pEquals)
        return;
    const int nKeyLen = int(static_cast<const char *>(pEquals) - (pLine + nStart));
    const int nValueStart = nStart + nKeyLen + 1;
    const QString strValue = decodeText(pLine + nValueStart, n - nValueStart).trimmed();
    if (equalsLower(pLine + nStart, nKeyLen, "http-user-agent"))
        options.strUserAgent = strValue;
    else if (equalsLower(pLine + nStart, nKeyLen, "http-referrer"))
        options.strReferrer = strValue;
}

bool startsWithLower(const char *p, int n, const char *szLower)
{
    const int nPrefix = int(strlen(szLower));
    return n >= nPrefix && equalsLower(p, nPrefix, szLower);
}

QString decodeAs(const QByteArray &bytes, bool bLatin1)
{
    return bLatin1 ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
}

} // namespace

bool isValidUtf8(const char *pData, int nSize)
{
    const auto *p = reinterpret_cast<const unsigned char *>(pData);
    return validUtf8(p, p + nSize);
}

QString decodeText(const char *pData, int nSize, bool *pbLatin1)
{
    const bool bUtf8 = isValidUtf8(pData, nSize);
    if (pbLatin1)
        *pbLatin1 = !bUtf8;
    return bUtf8 ? QString::fromUtf8(pData, nSize) : QString::fromLatin1(pData, nSize);
}

QString regionForCountry(const QString &strCountry)
{
    // Several countries may be listed ("GB;IE"); the first one decides.
    QString strCode;
    for (const QChar ch : strCountry) {
        if (ch == QLatin1Char(';') || ch == QLatin1Char(',') || ch == QLatin1Char('|') ||
            ch.isSpace()) {
            if (!strCode.isEmpty())
                break;
            continue;
        }
        strCode.append(ch.toUpper());
    }
    if (strCode == QLatin1String("US"))
        return QStringLiteral("america");
    if (strCode == QLatin1String("CN"))
        return QStringLiteral("china");
    if (strCode == QLatin1String("GB") || strCode == QLatin1String("UK"))
        return QStringLiteral("england");
    if (strCode == QLatin1String("JP"))
        return QStringLiteral("japan");
    return QStringLiteral("all");
}

M3uResult parseM3u(const QByteArray &data, const std::atomic<bool> *pCancel)
{
    M3uResult result;
    const char *p = data.constData();
    const char *pEnd = p + data.size();
    if (data.startsWith(kBom))
        p += 3;

    bool bFirstLine = true;
    bool bPending = false;
    ExtInf pending;
    // #EXTGRP and #EXTVLCOPT lines belong to the entry whose URL comes next.
    QString strNextGroup;
    VlcOptions nextOptions;
    int nLinesToCancelCheck = 4096;
    while (p < pEnd) {
        if (pCancel && --nLinesToCancelCheck == 0) {
            nLinesToCancelCheck = 4096;
            if (pCancel->load(std::memory_order_relaxed))
                return result;
        }
        // CR, LF and CRLF all end a line.
        const char *pLineEnd = p;
        while (pLineEnd < pEnd && *pLineEnd != '\n' && *pLineEnd != '\r')
            ++pLineEnd;
        const char *pNext = pLineEnd;
        if (pNext < pEnd && *pNext == '\r')
            ++pNext;
        if (pNext < pEnd && *pNext == '\n' && (pNext == pLineEnd || pNext[-1] == '\r'))
            ++pNext;

        const char *pStart = p;
        p = pNext;
        while (pStart < pLineEnd && isSpaceByte(*pStart))
            ++pStart;
        const char *pStop = pLineEnd;
        while (pStop > pStart && (isSpaceByte(pStop[-1]) || pStop[-1] == '\0'))
            --pStop;
        const int nLen = int(pStop - pStart);
        if (nLen == 0)
            continue;
        if (bFirstLine) {
            bFirstLine = false;
            result.bHeader = startsWithLower(pStart, nLen, "#extm3u");
        }
        if (nLen > kMaxM3uLineLength) {
            ++result.nLongLines;
            if (bPending) { // the entry's URL (or its next #EXTINF) is unusable
                ++result.nDroppedEntries;
                bPending = false;
            }
            continue;
        }

        if (*pStart == '#') {
            if (startsWithLower(pStart, nLen, "#extinf:")) {
                if (bPending) {
                    // The entry before never got its URL: what it gathered goes with it.
                    ++result.nDroppedEntries;
                    strNextGroup.clear();
                    nextOptions = VlcOptions();
                }
                pending = parseExtInf(pStart, nLen);
                result.nLatin1Lines += pending.bLatin1;
                bPending = true;
            } else if (startsWithLower(pStart, nLen, "#extgrp:")) {
                strNextGroup = cleanName(decodeText(pStart + 8, nLen - 8));
            } else if (startsWithLower(pStart, nLen, "#extvlcopt:")) {
                readVlcOption(pStart, nLen, nextOptions);
            } else if (startsWithLower(pStart, nLen, "#extm3u")) {
                const ExtInf header = parseExtInf(pStart, nLen, 7);
                for (const QByteArray &value : {header.xTvgUrl, header.urlTvg}) {
                    const QString strValue = decodeAs(value, header.bLatin1).trimmed();
                    if (!strValue.isEmpty())
                        result.lstGuideUrls << strValue;
                }
            }
            continue; // #EXTM3U, other directives, comments
        }

        bool bLatin1 = false;
        M3uChannel channel;
        channel.strUrl = decodeText(pStart, nLen, &bLatin1);
        result.nLatin1Lines += bLatin1;
        if (bPending) {
            channel.bExtInf = true;
            channel.strName = cleanName(decodeAs(pending.title, pending.bLatin1));
            if (channel.strName.isEmpty())
                channel.strName = cleanName(decodeAs(pending.tvgName, pending.bLatin1));
            channel.strCountry = decodeAs(pending.tvgCountry, pending.bLatin1).trimmed();
            channel.strRegion = regionForCountry(channel.strCountry);
            channel.strGroup = cleanName(decodeAs(pending.groupTitle, pending.bLatin1));
            channel.strLogo = decodeAs(pending.tvgLogo, pending.bLatin1).trimmed();
            channel.strTvgId = decodeAs(pending.tvgId, pending.bLatin1).trimmed();
            channel.strUserAgent = decodeAs(pending.userAgent, pending.bLatin1).trimmed();
            channel.strReferrer = decodeAs(pending.referrer, pending.bLatin1).trimmed();
            bPending = false;
        } else {
            channel.strRegion = QStringLiteral("all");
        }
        if (channel.strName.isEmpty())
            channel.strName = cleanName(channel.strUrl);
        if (channel.strGroup.isEmpty())
            channel.strGroup = strNextGroup;
        if (!nextOptions.strUserAgent.isEmpty())
            channel.strUserAgent = nextOptions.strUserAgent;
        if (!nextOptions.strReferrer.isEmpty())
            channel.strReferrer = nextOptions.strReferrer;
        strNextGroup.clear();
        nextOptions = VlcOptions();
        result.lstChannels.append(channel);
    }
    if (bPending)
        ++result.nDroppedEntries; // the file ends before the entry's URL
    return result;
}
