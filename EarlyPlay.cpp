#include "EarlyPlay.h"
#include "ChannelDetails.h"
#include "Settings.h"
#include "StreamSchemeCheck.h"
#include "ThreadVlc.h"

#include <QUrl>

namespace {
// Started by main(), not yet taken by a main window.
CThreadVlc *s_pStartedWorker = nullptr;
} // namespace

VideoItem CEarlyPlay::lastPlayed(const CSettings &settings)
{
    VideoItem last;
    last.strName = settings.m_strPlayingVideoName;
    last.strUrl = settings.m_strPlayingVideoUrl;
    ChannelDetails::applyPlaying(settings.m_lstPlayingVideoDetails, last);
    return last;
}

bool CEarlyPlay::willAutoPlay(const CSettings &settings)
{
    // The automatic start tries the last played channel first; a name
    // without a URL plays nothing, and a URL play() would refuse is not
    // opened here either. The channel list, the next candidate, is not built
    // yet: such a play is raised in the usual way.
    if (!settings.m_bAutoPlayLast)
        return false;
    const VideoItem last = lastPlayed(settings);
    return !last.strName.isEmpty() && !last.strUrl.isEmpty() &&
           StreamSchemeCheck::allows(QUrl(last.strUrl, QUrl::TolerantMode), last.origin);
}

void CEarlyPlay::startWorker(const CSettings &settings)
{
    if (!s_pStartedWorker && willAutoPlay(settings))
        s_pStartedWorker = new CThreadVlc(nullptr, CThreadVlc::EngineAtOnce);
}

CThreadVlc *CEarlyPlay::takeWorker(const CSettings &settings)
{
    if (!willAutoPlay(settings))
        return nullptr;
    m_channel = lastPlayed(settings);
    m_nVolume = settings.m_nVolume;
    m_bMuted = settings.m_bVolumeMuted;
    CThreadVlc *pWorker = s_pStartedWorker;
    s_pStartedWorker = nullptr;
    return pWorker ? pWorker : new CThreadVlc(nullptr, CThreadVlc::EngineAtOnce);
}

quint32 CEarlyPlay::raise(CThreadVlc *pWorker, QWidget *pVideoSurface)
{
    if (!pWorker || m_channel.strName.isEmpty())
        return 0;
    pWorker->setVolume(m_nVolume);
    pWorker->setMuted(m_bMuted, true);
    pWorker->setSubtitleFile(m_channel.strName);
    pWorker->setMediaOptions(m_channel.options.vlcOptions());
    m_bRaised = true;
    return pWorker->setUrl(QUrl(m_channel.strUrl, QUrl::TolerantMode), pVideoSurface);
}

bool CEarlyPlay::take(const VideoItem &rec)
{
    // Only the first play after it can be the one raised early: any later
    // play of the same channel is a new one.
    const bool bSame = m_bRaised && rec.strName == m_channel.strName &&
                       rec.strUrl == m_channel.strUrl && rec.options == m_channel.options;
    m_bRaised = false;
    return bSame;
}
