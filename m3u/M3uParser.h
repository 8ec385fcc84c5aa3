#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <string>

// One channel of a playlist file. Every field is text as the file gave it
// (decoded, names cleaned of control characters); nothing here has been
// judged safe to play or to fetch.
struct M3uChannel
{
    QString strName;
    QString strUrl;
    QString strRegion;    // the service's region for tvg-country ("all" without one)
    QString strGroup;     // group-title, else #EXTGRP
    QString strLogo;      // tvg-logo
    QString strTvgId;     // tvg-id
    QString strCountry;   // tvg-country as written
    QString strUserAgent; // #EXTVLCOPT:http-user-agent, else the user-agent attribute
    QString strReferrer;  // #EXTVLCOPT:http-referrer, else the referrer attribute
    bool bExtInf = false; // the entry had an #EXTINF line (else it is named after its URL)
};

// What a playlist file gave: its channels in file order, and how much of it
// had to be passed over.
struct M3uResult
{
    QVector<M3uChannel> lstChannels;
    int nDroppedEntries = 0; // #EXTINF lines that never got their URL line
    int nLongLines = 0;      // lines over kMaxM3uLineLength, skipped
    int nLatin1Lines = 0;    // lines that were not valid UTF-8
    bool bHeader = false;    // the first line that is not blank is #EXTM3U
    // The header's programme guide addresses as written: x-tvg-url, then
    // url-tvg (each may name several, separated by commas).
    QStringList lstGuideUrls;
};

// Longer lines are not channel data but garbage (or an attack); they are skipped.
constexpr int kMaxM3uLineLength = 16 * 1024;

// Parses an M3U/M3U8 playlist: "#EXTINF:-1 tvg-country="US" ...,Name" followed
// by the URL line, with #EXTGRP and #EXTVLCOPT lines in between. Never fails:
// whatever cannot be read is skipped and counted. pCancel, when given, is
// looked at now and then (it may be set from another thread); once it is set
// the parse stops early with what it has.
M3uResult parseM3u(const QByteArray &data, const std::atomic<bool> *pCancel = nullptr);

// The service's region for a tvg-country value ("US", "cn", "GB;IE", ...).
QString regionForCountry(const QString &strCountry);

// Bytes as text: UTF-8 when they are valid UTF-8, Latin-1 otherwise.
QString decodeText(const char *pData, int nSize, bool *pbLatin1 = nullptr);
inline QString decodeText(const std::string &str, bool *pbLatin1 = nullptr)
{
    return decodeText(str.data(), int(str.size()), pbLatin1);
}

bool isValidUtf8(const char *pData, int nSize);
