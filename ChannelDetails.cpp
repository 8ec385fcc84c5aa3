#include "ChannelDetails.h"

ChannelDetails::ChannelDetails(const QStringList &lstStored) : m_lstStored(lstStored)
{
    // An incomplete last group is dropped: its origin cannot be told.
    for (int i = 0; i + kFields <= m_lstStored.size(); i += kFields) {
        if (!m_index.contains(m_lstStored.at(i)))
            m_index.insert(m_lstStored.at(i), i);
    }
}

QString ChannelDetails::originText(ChannelOrigin origin)
{
    switch (origin) {
    case ChannelOrigin::Playlist:
        return QStringLiteral("playlist");
    case ChannelOrigin::Service:
        return QStringLiteral("service");
    case ChannelOrigin::Own:
        break;
    }
    return QString();
}

namespace {
const QLatin1String kTvgId(" tvg-id=");
} // namespace

QString ChannelDetails::originText(const VideoItem &rec)
{
    const QString strOrigin = originText(rec.origin);
    return rec.strTvgId.isEmpty() ? strOrigin : strOrigin + kTvgId + rec.strTvgId;
}

void ChannelDetails::readOrigin(const QString &strText, VideoItem &rec)
{
    // The first marker ends the origin word: whatever follows it, another
    // " tvg-id=" included, is the id.
    const int nAt = strText.indexOf(kTvgId);
    rec.origin = originOf(nAt < 0 ? strText : strText.left(nAt));
    rec.strTvgId = nAt < 0 ? QString() : strText.mid(nAt + kTvgId.size());
}

ChannelOrigin ChannelDetails::originOf(const QString &strText)
{
    if (strText.isEmpty())
        return ChannelOrigin::Own;
    if (strText == QLatin1String("service"))
        return ChannelOrigin::Service;
    // "playlist", or a word this version does not know: the careful choice.
    return ChannelOrigin::Playlist;
}

void ChannelDetails::append(QStringList &lstStored, const VideoItem &rec)
{
    if (!rec.hasDetails())
        return;
    lstStored << rec.strUrl << originText(rec) << rec.strLogo << rec.options.strUserAgent
              << rec.options.strReferrer;
}

void ChannelDetails::applyTo(VideoItem &rec) const
{
    const auto it = m_index.constFind(rec.strUrl);
    if (it == m_index.constEnd())
        return;
    const int i = *it;
    readOrigin(m_lstStored.at(i + 1), rec);
    rec.strLogo = m_lstStored.at(i + 2);
    // Checked again: the file may have been edited by hand.
    rec.options = StreamOptions{m_lstStored.at(i + 3), m_lstStored.at(i + 4)}.checked();
}

QStringList ChannelDetails::ofPlaying(const VideoItem &rec)
{
    if (rec.origin == ChannelOrigin::Own && rec.options.isEmpty() && rec.strTvgId.isEmpty())
        return QStringList();
    return {rec.strUrl, originText(rec), rec.options.strUserAgent, rec.options.strReferrer};
}

void ChannelDetails::applyPlaying(const QStringList &lstStored, VideoItem &rec)
{
    // Details written for another channel (an earlier version played one
    // since) are not this one's.
    if (lstStored.size() < 4 || lstStored.at(0) != rec.strUrl)
        return;
    readOrigin(lstStored.at(1), rec);
    rec.options = StreamOptions{lstStored.at(2), lstStored.at(3)}.checked();
}
