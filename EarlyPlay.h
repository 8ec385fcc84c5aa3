#pragma once

#include "VideoItem.h"

class CSettings;
class CThreadVlc;
class QWidget;

// The play auto-play starts, got under way before the window is built (the
// order of start-up is in ThreadVlc.h). When the settings alone name the
// channel auto-play will start (the last one played, with a URL it may play),
// the playback worker is started with its engine at once: by main() before
// even QApplication is made, or else by the main window's constructor. The
// main window raises the channel's play command as soon as the video surface
// has its native window, and libVLC opens the media while Qt still builds the
// window. play() then takes the play already raised instead of raising it a
// second time, which would open the media again.
class CEarlyPlay
{
public:
    // The last played channel as the settings hold it, with where it came
    // from and its stream options.
    static VideoItem lastPlayed(const CSettings &settings);

    // main(), with the settings loaded: starts the worker for auto-play, if
    // auto-play will start a stored channel, and keeps it for the main window.
    static void startWorker(const CSettings &settings);

    // The main window's constructor: the worker for auto-play (the one
    // main() started, or else a new one), null when auto-play will not start
    // a stored channel. Remembers the channel.
    CThreadVlc *takeWorker(const CSettings &settings);
    // Raises the play command of that channel as play() would (the stored
    // volume and mute, the name as subtitle text, its options, the surface's
    // window) and returns its serial; 0 when there is none.
    quint32 raise(CThreadVlc *pWorker, QWidget *pVideoSurface);
    // Asked by every play(): true for the first one only, and only when the
    // play raised early is that of its channel.
    bool take(const VideoItem &rec);

private:
    static bool willAutoPlay(const CSettings &settings);

    VideoItem m_channel;
    int m_nVolume = 100;
    bool m_bMuted = false;
    bool m_bRaised = false;
};
