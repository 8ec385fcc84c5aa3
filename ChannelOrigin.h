#pragma once

// Where a channel's URL came from. The user's own channels (typed into the
// channel dialog) may use any URL libVLC takes; a URL written by someone else
// (a playlist, the channel service) plays only with a network scheme
// (StreamSchemeCheck).
enum class ChannelOrigin
{
    Own = 0,
    Playlist = 1,
    Service = 2,
};
