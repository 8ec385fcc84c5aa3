#pragma once

#include "ChannelOrigin.h"
#include "StreamOptions.h"

#include <QString>

// One channel, held by value by the list it belongs to.
struct VideoItem
{
    int nId = 0; // the web service's id; 0 for channels not received from it
    QString strName;
    QString strUrl;
    QString strRegion; // the service's region; empty for the user's own channels
    int nScore = 0;
    // Where the URL came from; a channel of the "Newly" list is the service's
    // whatever this says.
    ChannelOrigin origin = ChannelOrigin::Own;
    QString strLogo;       // the playlist's tvg-logo, fetched by LogoFetcher
    StreamOptions options; // the stream's own user agent and referrer
    QString strTvgId;      // the playlist's tvg-id: a programme guide finds it by this first

    // Whether anything beside the stored triple must be kept for it.
    bool hasDetails() const
    {
        return origin != ChannelOrigin::Own || !strLogo.isEmpty() || !options.isEmpty() ||
               !strTvgId.isEmpty();
    }
};
