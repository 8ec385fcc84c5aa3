#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QIODevice;

// Realistic XMLTV guides for tests and benchmarks: channels with display
// names, then a run of back-to-back programmes per channel with titles,
// sub-titles, descriptions, categories, credits and episode numbers, their
// times written with a chosen offset from UTC.
namespace GuideGen {

struct Options
{
    int nChannels = 4;
    qint64 nFirstStart = 0; // UTC seconds of every channel's first programme
    int nProgrammes = 48;   // per channel
    int nMinutes = 60;      // each programme's length
    int nOffsetMinutes = 0; // the offset its times are written with (+480, -300...)
    int nFirstChannel = 1;  // channels are numbered from here
    bool bByChannel = true; // programmes grouped by channel, else by time
    QStringList lstNames;   // display names of the first channels, else channelName()
};

// <channel id="chN.example"> with the display names "Channel N" and "CHN".
QString channelId(int nChannel);
QString channelName(int nChannel);
// The title of a channel's k-th programme (from 0).
QString title(int nChannel, int nProgramme);
// A time as XMLTV writes it with the given offset: "20261207190000 +0800".
QByteArray xmltvTime(qint64 nUtcSecs, int nOffsetMinutes);

// Writes the guide; returns the bytes written.
qint64 write(QIODevice *pOut, const Options &options);
QByteArray make(const Options &options);
// gzip (one member) of the bytes, by zlib.
QByteArray gzip(const QByteArray &plain);

} // namespace GuideGen
