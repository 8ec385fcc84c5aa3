#include "guidegen.h"

#include <QBuffer>
#include <QDateTime>
#include <QIODevice>

#include <zlib.h>

namespace GuideGen {

QString channelId(int nChannel)
{
    return QStringLiteral("ch%1.example").arg(nChannel);
}

QString channelName(int nChannel)
{
    return QStringLiteral("Channel %1").arg(nChannel);
}

QString title(int nChannel, int nProgramme)
{
    static const char *const kKinds[] = {"News", "Weather & Sport", "Film", "Documentary", "Quiz",
                                         "Drama"};
    return QStringLiteral("%1 %2 (%3)")
        .arg(QLatin1String(kKinds[(nChannel + nProgramme) % 6]))
        .arg(nProgramme)
        .arg(nChannel);
}

QByteArray xmltvTime(qint64 nUtcSecs, int nOffsetMinutes)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(nUtcSecs + nOffsetMinutes * 60, Qt::UTC);
    const int nAbs = qAbs(nOffsetMinutes);
    return local.toString(QStringLiteral("yyyyMMddhhmmss")).toLatin1() +
           QStringLiteral(" %1%2%3")
               .arg(nOffsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(nAbs / 60, 2, 10, QLatin1Char('0'))
               .arg(nAbs % 60, 2, 10, QLatin1Char('0'))
               .toLatin1();
}

namespace {

QByteArray escaped(const QString &strText)
{
    return strText.toHtmlEscaped().toUtf8();
}

// Words that differ from programme to programme, so that a guide compresses
// about as well as a real one.
QByteArray words(uint nSeed, int nCount)
{
    static const char *const kWords[] = {
        "river",   "council", "market", "season", "final",  "storm",  "harbour", "election",
        "village", "garden",  "engine", "record", "winter", "museum", "trial",   "valley",
        "kitchen", "orbit",   "league", "bridge", "forest", "summit", "archive", "comedy"};
    QByteArray text;
    for (int i = 0; i < nCount; ++i) {
        nSeed = nSeed * 1103515245u + 12345u;
        text += ' ';
        text += kWords[(nSeed >> 16) % 24];
        if ((nSeed >> 8) % 5 == 0)
            text += ' ' + QByteArray::number((nSeed >> 4) % 1000);
    }
    return text;
}

void appendProgramme(QByteArray &out, const Options &o, int nChannel, int k)
{
    const qint64 nStart = o.nFirstStart + qint64(k) * o.nMinutes * 60;
    out += "  <programme start=\"" + xmltvTime(nStart, o.nOffsetMinutes) + "\" stop=\"" +
           xmltvTime(nStart + o.nMinutes * 60, o.nOffsetMinutes) + "\" channel=\"" +
           channelId(nChannel).toLatin1() + "\">\n    <title lang=\"en\">" +
           escaped(title(nChannel, k)) + "</title>\n    <sub-title lang=\"en\">Part " +
           QByteArray::number(k % 7 + 1) +
           "</sub-title>\n    <desc lang=\"en\">An account of what happened &amp; why, told "
           "by the people who were there:" +
           words(uint(nChannel) * 7919u + uint(k), 4 + (nChannel * 7 + k * 13) % 20) +
           ".</desc>\n    <credits>\n      <presenter>Jane Doe</presenter>\n    "
           "</credits>\n    <category lang=\"en\">Entertainment</category>\n    "
           "<episode-num system=\"xmltv_ns\">0." +
           QByteArray::number(k) + ".</episode-num>\n  </programme>\n";
}

} // namespace

qint64 write(QIODevice *pOut, const Options &o)
{
    qint64 nWritten = 0;
    QByteArray out;
    auto flush = [&](bool bAlways) {
        if (out.size() < (1 << 20) && !bAlways)
            return;
        nWritten += pOut->write(out);
        out.clear();
    };
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE tv SYSTEM \"xmltv.dtd\">\n"
           "<tv generator-info-name=\"guidegen\">\n";
    const int nLast = o.nFirstChannel + o.nChannels;
    for (int c = o.nFirstChannel; c < nLast; ++c) {
        out += "  <channel id=\"" + channelId(c).toLatin1() + "\">\n    <display-name>" +
               escaped(c - o.nFirstChannel < o.lstNames.size() ? o.lstNames.at(c - o.nFirstChannel)
                                                               : channelName(c)) +
               "</display-name>\n    <display-name>CH" + QByteArray::number(c) +
               "</display-name>\n    <icon src=\"http://127.0.0.1/" + QByteArray::number(c) +
               ".png\"/>\n  </channel>\n";
        flush(false);
    }
    if (o.bByChannel) {
        for (int c = o.nFirstChannel; c < nLast; ++c) {
            for (int k = 0; k < o.nProgrammes; ++k) {
                appendProgramme(out, o, c, k);
                flush(false);
            }
        }
    } else {
        for (int k = 0; k < o.nProgrammes; ++k) {
            for (int c = o.nFirstChannel; c < nLast; ++c) {
                appendProgramme(out, o, c, k);
                flush(false);
            }
        }
    }
    out += "</tv>\n";
    flush(true);
    return nWritten;
}

QByteArray make(const Options &options)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    write(&buffer, options);
    return buffer.data();
}

QByteArray gzip(const QByteArray &plain)
{
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(plain.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.constData()));
    stream.avail_in = uInt(plain.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(int(stream.total_out));
    deflateEnd(&stream);
    return out;
}

} // namespace GuideGen
