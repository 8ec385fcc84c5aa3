#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// One channel of a playlist file.
struct M3uChannel
{
    QString strName;
    QString strUrl;
    QString strRegion;
};

// What a playlist file gave: its channels in file order, and how much of it
// had to be passed over.
struct M3uResult
{
    QVector<M3uChannel> lstChannels;
    int nDroppedEntries = 0; // #EXTINF lines that never got their URL line
    int nLongLines = 0;      // lines over kMaxM3uLineLength, skipped
    int nLatin1Lines = 0;    // lines that were not valid UTF-8
};

// Longer lines are not channel data but garbage (or an attack); they are skipped.
constexpr int kMaxM3uLineLength = 16 * 1024;

// Parses an M3U/M3U8 playlist: "#EXTINF:-1 tvg-country="US" ...,Name" followed
// by the URL line. Never fails: whatever cannot be read is skipped and counted.
M3uResult parseM3u(const QByteArray &data);

// The service's region for a tvg-country value ("US", "cn", "GB;IE", ...).
QString regionForCountry(const QString &strCountry);

// Bytes as text: UTF-8 when they are valid UTF-8, Latin-1 otherwise.
QString decodeText(const char *pData, int nSize, bool *pbLatin1 = nullptr);
inline QString decodeText(const std::string &str, bool *pbLatin1 = nullptr)
{
    return decodeText(str.data(), int(str.size()), pbLatin1);
}

bool isValidUtf8(const char *pData, int nSize);
