#pragma once

#include "VideoItem.h"

#include <QHash>
#include <QStringList>

// The stored form of what a channel carries beside its triple (name, URL,
// score): where its URL came from, its playlist logo and its stream options.
// They are stored under keys of their own, so the triples stay as they were
// and an earlier version of the program still reads the file.
//
// A list's details are five strings per channel that has any: URL, origin
// ("playlist" or "service"; empty for the user's own), logo, user agent,
// referrer. A playlist's tvg-id follows the origin word in the same string
// ("playlist tvg-id=news.uk"); an earlier version takes a word it does not
// know for "playlist", the careful choice. They are found again by URL, so
// the channels that a list still holds after an earlier version changed it
// get theirs back.
class ChannelDetails
{
public:
    static constexpr int kFields = 5;

    ChannelDetails() = default;
    explicit ChannelDetails(const QStringList &lstStored);

    // Appends the details of rec to a list's stored form (nothing when it has none).
    static void append(QStringList &lstStored, const VideoItem &rec);
    // Gives rec the details stored for its URL, if any.
    void applyTo(VideoItem &rec) const;
    bool isEmpty() const { return m_index.isEmpty(); }

    // The last played channel's details: URL, origin (with the tvg-id, as
    // above), user agent, referrer; empty when it has none of them.
    static QStringList ofPlaying(const VideoItem &rec);
    // Gives rec (the last played channel) the stored details, when they are
    // the ones of its URL.
    static void applyPlaying(const QStringList &lstStored, VideoItem &rec);

private:
    static QString originText(ChannelOrigin origin);
    static QString originText(const VideoItem &rec);
    static ChannelOrigin originOf(const QString &strText);
    // Origin and tvg-id from the stored origin string.
    static void readOrigin(const QString &strText, VideoItem &rec);

    QStringList m_lstStored;
    QHash<QString, int> m_index; // URL to the first of its five strings
};
