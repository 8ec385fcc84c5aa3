#pragma once

#include "ChannelOrigin.h"

#include <QString>
#include <QUrl>

// Whether a stream URL may be handed to libVLC. A URL from a playlist or from
// the channel service may name a local file, a screen or a camera as easily as
// a stream (file://, screen://, v4l2://, a bare path): such a URL plays only
// with one of the network schemes below. The user's own channels are not
// restricted. The check is made on the very QUrl that goes to libVLC.
class StreamSchemeCheck
{
public:
    // http, https, rtsp, rtmp, rtmps, rtp, udp, mms, mmsh, srt.
    static bool isNetworkScheme(const QString &strScheme);
    // True when url may be played for a channel of this origin.
    static bool allows(const QUrl &url, ChannelOrigin origin);
    // The scheme to name when refusing url: its scheme in lower case, or
    // "file" for a bare path, which libVLC would open as a local file.
    static QString schemeOf(const QUrl &url);
};
