#include "qvlcmediaplayer.h"
#include "qvlcinstance.h"
#include "qvlcmedia.h"
#include "qvlcmutexlocker.h"

#include <QDebug>
#include <QFileInfo>

#include <vlc/vlc.h>

namespace {

enum PendingTracks
{
    PendingAudioVideo = 1,
    PendingSubtitles = 2
};

// Copies one of libVLC's track description lists and releases it.
QList<QVlcTrack> takeDescriptions(libvlc_track_description_t *head, QVlcTrack::Type type)
{
    QList<QVlcTrack> tracks;
    int index = 0;
    for (libvlc_track_description_t *entry = head; entry; entry = entry->p_next, ++index) {
        QVlcTrack track;
        track.setId(entry->i_id);
        track.setIndex(index);
        track.setType(type);
        track.setName(entry->psz_name ? QString::fromUtf8(entry->psz_name) : QString());
        tracks.append(track);
    }
    if (head)
        libvlc_track_description_list_release(head);
    return tracks;
}

// The events this player follows: MediaChanged (0x100) up to Vout (0x112),
// plus the elementary-stream events that tell when the track lists change.
const int kFirstPlayerEvent = libvlc_MediaPlayerMediaChanged;
const int kLastPlayerEvent = libvlc_MediaPlayerVout;
const int kStreamEvents[] = {libvlc_MediaPlayerESAdded, libvlc_MediaPlayerESDeleted};

} // namespace

QVlcMediaPlayer::QVlcMediaPlayer(QVlcInstance *instance, QObject *parent)
    : QObject(parent), m_instance(instance)
{
    qRegisterMetaType<QVlcMediaPlayer::State>();

    if (instance && instance->core())
        m_vlcMediaPlayer = libvlc_media_player_new(instance->core());
    if (!m_vlcMediaPlayer) {
        qDebug() << "Cannot initialize libVLC media player";
        qDebug() << QVlcInstance::errmsg();
        return;
    }
    // Mouse input over the video reaches the program through the video
    // surface's own handling, not through libVLC's window.
    libvlc_video_set_mouse_input(m_vlcMediaPlayer, 0);
    libvlc_video_set_key_input(m_vlcMediaPlayer, 0);
    attachEvents(true);
}

QVlcMediaPlayer::~QVlcMediaPlayer()
{
    if (!m_vlcMediaPlayer)
        return;
    // No callback may reach this object once it starts to go away; detaching
    // waits for a callback in progress.
    attachEvents(false);
    libvlc_media_player_release(m_vlcMediaPlayer);
    m_vlcMediaPlayer = nullptr;
}

void QVlcMediaPlayer::attachEvents(bool bAttach)
{
    libvlc_event_manager_t *manager = libvlc_media_player_event_manager(m_vlcMediaPlayer);
    auto apply = [&](int type) {
        if (bAttach)
            libvlc_event_attach(manager, type, libvlcCallback, this);
        else
            libvlc_event_detach(manager, type, libvlcCallback, this);
    };
    for (int type = kFirstPlayerEvent; type <= kLastPlayerEvent; ++type)
        apply(type);
    for (int type : kStreamEvents)
        apply(type);
}

// Runs on libVLC's input thread. It must not call into libVLC: a stop or a
// media change on another thread holds the player's input lock while it waits
// for this thread to end. The values come from the event itself.
void QVlcMediaPlayer::libvlcCallback(const libvlc_event_t *event, void *data)
{
    auto *player = static_cast<QVlcMediaPlayer *>(data);
    QVlcMutexLocker locker(&player->m_mutex);

    auto changeState = [player](State state) {
        // libVLC repeats Buffering for as long as a live stream plays, several
        // times a second: only a change is passed on.
        if (state == player->m_state)
            return;
        player->m_state = state;
        emit player->stateChanged(state);
        emit player->stateChanged(static_cast<int>(state));
    };

    switch (event->type) {
    case libvlc_MediaPlayerMediaChanged:
        emit player->mediaChanged();
        break;
    case libvlc_MediaPlayerNothingSpecial:
        changeState(NothingSpecial);
        break;
    case libvlc_MediaPlayerOpening:
        changeState(Opening);
        break;
    case libvlc_MediaPlayerBuffering:
        changeState(Buffering);
        emit player->bufferingChanged(event->u.media_player_buffering.new_cache);
        break;
    case libvlc_MediaPlayerPlaying:
        // The tracks are gathered by the next pollTracks(), outside libVLC.
        player->m_nTracksPending.fetchAndOrOrdered(PendingAudioVideo | PendingSubtitles);
        changeState(Playing);
        break;
    case libvlc_MediaPlayerPaused:
        changeState(Paused);
        break;
    case libvlc_MediaPlayerStopped:
        changeState(Stopped);
        break;
    case libvlc_MediaPlayerEndReached:
        changeState(Stopped);
        emit player->finished();
        break;
    case libvlc_MediaPlayerTimeChanged:
        emit player->timeChanged(event->u.media_player_time_changed.new_time);
        break;
    case libvlc_MediaPlayerPositionChanged:
        emit player->positionChanged(event->u.media_player_position_changed.new_position);
        break;
    case libvlc_MediaPlayerSeekableChanged:
        emit player->seekableChanged(event->u.media_player_seekable_changed.new_seekable != 0);
        break;
    case libvlc_MediaPlayerTitleChanged:
        emit player->titleChanged(QString::number(event->u.media_player_title_changed.new_title));
        break;
    case libvlc_MediaPlayerEncounteredError:
        emit player->encounteredError();
        break;
    case libvlc_MediaPlayerLengthChanged:
        emit player->lengthChanged(event->u.media_player_length_changed.new_length);
        break;
    case libvlc_MediaPlayerESAdded:
    case libvlc_MediaPlayerESDeleted:
        // MPEG-TS and MPEG-PS declare their streams only after Playing.
        player->m_nTracksPending.fetchAndOrOrdered(
            event->u.media_player_es_changed.i_type == libvlc_track_text ? PendingSubtitles
                                                                         : PendingAudioVideo);
        break;
    default:
        // Forward, Backward, PausableChanged, SnapshotTaken, Vout: nothing.
        break;
    }
}

bool QVlcMediaPlayer::open(const QUrl &url, const QStringList &lstOptions)
{
    if (!m_vlcMediaPlayer)
        return false;
    releaseMedia();
    auto *media = new QVlcMedia(url, m_instance, this);
    for (const QString &strOption : lstOptions)
        media->addOption(strOption);
    return openMedia(media);
}

bool QVlcMediaPlayer::open(const QString &path)
{
    if (!m_vlcMediaPlayer)
        return false;
    releaseMedia();
    return openMedia(new QVlcMedia(path, m_instance, this));
}

void QVlcMediaPlayer::releaseMedia()
{
    if (!m_media)
        return;
    // Detach the media from libVLC before it is deleted. This stops the input
    // and delivers MediaChanged on this thread, so the mutex is not held here.
    libvlc_media_player_set_media(m_vlcMediaPlayer, nullptr);
    QVlcMedia *old = m_media;
    QVlcMutexLocker locker(&m_mutex);
    m_media = nullptr;
    ++m_nMediaSerial;
    m_audioTracks.clear();
    m_videoTracks.clear();
    m_subtitles.clear();
    locker.unlock();
    delete old;
}

bool QVlcMediaPlayer::openMedia(QVlcMedia *media)
{
    if (!media->isValid()) {
        qDebug() << QVlcInstance::errmsg();
        delete media;
        return false;
    }
    media->setParent(this);
    {
        QVlcMutexLocker locker(&m_mutex);
        m_media = media;
    }
    libvlc_media_player_set_media(m_vlcMediaPlayer, media->core());
    return true;
}

void QVlcMediaPlayer::setVideoWidget(QWidget *widget)
{
    m_videoWidget = widget;
    if (widget)
        setHwnd(widget->winId());
}

void QVlcMediaPlayer::setHwnd(WId id)
{
    if (!m_vlcMediaPlayer)
        return;
#if defined(Q_OS_WIN)
    libvlc_media_player_set_hwnd(m_vlcMediaPlayer, reinterpret_cast<void *>(id));
#elif defined(Q_OS_MACOS)
    libvlc_media_player_set_nsobject(m_vlcMediaPlayer, reinterpret_cast<void *>(id));
#else
    libvlc_media_player_set_xwindow(m_vlcMediaPlayer, static_cast<uint32_t>(id));
#endif
}

QVlcInstance *QVlcMediaPlayer::instance() const
{
    return m_instance;
}

QVlcMedia *QVlcMediaPlayer::media() const
{
    QVlcMutexLocker locker(&m_mutex);
    return m_media;
}

bool QVlcMediaPlayer::hasMedia() const
{
    QVlcMutexLocker locker(&m_mutex);
    return m_media != nullptr;
}

QVlcMediaPlayer::State QVlcMediaPlayer::state() const
{
    QVlcMutexLocker locker(&m_mutex);
    return m_state;
}

qint64 QVlcMediaPlayer::time() const
{
    return m_vlcMediaPlayer ? libvlc_media_player_get_time(m_vlcMediaPlayer) : 0;
}

qint64 QVlcMediaPlayer::length() const
{
    return m_vlcMediaPlayer ? libvlc_media_player_get_length(m_vlcMediaPlayer) : 0;
}

double QVlcMediaPlayer::position() const
{
    return m_vlcMediaPlayer ? libvlc_media_player_get_position(m_vlcMediaPlayer) : 0.0;
}

double QVlcMediaPlayer::rate() const
{
    return m_vlcMediaPlayer ? libvlc_media_player_get_rate(m_vlcMediaPlayer) : 0.0;
}

int QVlcMediaPlayer::title() const
{
    return m_vlcMediaPlayer ? libvlc_media_player_get_title(m_vlcMediaPlayer) : 0;
}

bool QVlcMediaPlayer::isSeekable() const
{
    return m_vlcMediaPlayer && libvlc_media_player_is_seekable(m_vlcMediaPlayer);
}

bool QVlcMediaPlayer::isPlaying() const
{
    return m_vlcMediaPlayer && libvlc_media_player_is_playing(m_vlcMediaPlayer);
}

int QVlcMediaPlayer::volume() const
{
    return m_vlcMediaPlayer ? libvlc_audio_get_volume(m_vlcMediaPlayer) : 0;
}

bool QVlcMediaPlayer::isMuted() const
{
    return m_vlcMediaPlayer && libvlc_audio_get_mute(m_vlcMediaPlayer) != 0;
}

int QVlcMediaPlayer::audioTrack() const
{
    return m_vlcMediaPlayer ? libvlc_audio_get_track(m_vlcMediaPlayer) : 0;
}

int QVlcMediaPlayer::audioChannel() const
{
    return m_vlcMediaPlayer ? libvlc_audio_get_channel(m_vlcMediaPlayer) : 0;
}

qint64 QVlcMediaPlayer::audioDelay() const
{
    return m_vlcMediaPlayer ? libvlc_audio_get_delay(m_vlcMediaPlayer) : 0;
}

int QVlcMediaPlayer::videoTrack() const
{
    return m_vlcMediaPlayer ? libvlc_video_get_track(m_vlcMediaPlayer) : 0;
}

int QVlcMediaPlayer::subtitle() const
{
    return m_vlcMediaPlayer ? libvlc_video_get_spu(m_vlcMediaPlayer) : 0;
}

int QVlcMediaPlayer::audioTrackCount() const
{
    return m_vlcMediaPlayer ? libvlc_audio_get_track_count(m_vlcMediaPlayer) : 0;
}

int QVlcMediaPlayer::videoTrackCount() const
{
    return m_vlcMediaPlayer ? libvlc_video_get_track_count(m_vlcMediaPlayer) : 0;
}

int QVlcMediaPlayer::subtitleCount() const
{
    return m_vlcMediaPlayer ? libvlc_video_get_spu_count(m_vlcMediaPlayer) : 0;
}

QList<QVlcTrack> QVlcMediaPlayer::audioTracks() const
{
    QVlcMutexLocker locker(&m_mutex);
    return m_audioTracks;
}

QList<QVlcTrack> QVlcMediaPlayer::videoTracks() const
{
    QVlcMutexLocker locker(&m_mutex);
    return m_videoTracks;
}

QList<QVlcTrack> QVlcMediaPlayer::subtitles() const
{
    QVlcMutexLocker locker(&m_mutex);
    return m_subtitles;
}

void QVlcMediaPlayer::play()
{
    if (m_vlcMediaPlayer)
        libvlc_media_player_play(m_vlcMediaPlayer);
}

void QVlcMediaPlayer::pause()
{
    if (m_vlcMediaPlayer)
        libvlc_media_player_pause(m_vlcMediaPlayer);
}

void QVlcMediaPlayer::stop()
{
    if (m_vlcMediaPlayer)
        libvlc_media_player_stop(m_vlcMediaPlayer);
}

void QVlcMediaPlayer::setTime(qint64 newTime)
{
    if (m_vlcMediaPlayer)
        libvlc_media_player_set_time(m_vlcMediaPlayer, newTime);
}

void QVlcMediaPlayer::setPosition(double newPosition)
{
    if (m_vlcMediaPlayer)
        libvlc_media_player_set_position(m_vlcMediaPlayer, static_cast<float>(newPosition));
}

void QVlcMediaPlayer::setRate(double newRate)
{
    if (!m_vlcMediaPlayer || !(newRate > 0.0))
        return;
    const float rate = static_cast<float>(newRate);
    if (rate == libvlc_media_player_get_rate(m_vlcMediaPlayer))
        return;
    if (libvlc_media_player_set_rate(m_vlcMediaPlayer, rate) == 0)
        emit rateChanged(newRate);
}

void QVlcMediaPlayer::setVolume(int newVolume)
{
    if (!m_vlcMediaPlayer || newVolume == libvlc_audio_get_volume(m_vlcMediaPlayer))
        return;
    libvlc_audio_set_volume(m_vlcMediaPlayer, newVolume);
    emit volumeChanged(newVolume);
}

void QVlcMediaPlayer::setMuted(bool mute, bool bEmit)
{
    if (!m_vlcMediaPlayer || mute == (libvlc_audio_get_mute(m_vlcMediaPlayer) != 0))
        return;
    libvlc_audio_set_mute(m_vlcMediaPlayer, mute ? 1 : 0);
    if (bEmit)
        emit mutedChanged(mute);
}

void QVlcMediaPlayer::setAudioTrack(int newTrackIndex)
{
    if (!m_vlcMediaPlayer)
        return;
    const QList<QVlcTrack> tracks = audioTracks();
    if (newTrackIndex < 0 || newTrackIndex >= tracks.size())
        return;
    const int id = tracks.at(newTrackIndex).id();
    if (id == libvlc_audio_get_track(m_vlcMediaPlayer))
        return;
    libvlc_audio_set_track(m_vlcMediaPlayer, id);
    emit audioTrackChanged(newTrackIndex);
}

void QVlcMediaPlayer::setAudioChannel(int newChannel)
{
    if (!m_vlcMediaPlayer || newChannel == libvlc_audio_get_channel(m_vlcMediaPlayer))
        return;
    libvlc_audio_set_channel(m_vlcMediaPlayer, newChannel);
    emit audioChannelChanged(newChannel);
}

void QVlcMediaPlayer::setAudioDelay(qint64 newDelay)
{
    if (!m_vlcMediaPlayer || newDelay == libvlc_audio_get_delay(m_vlcMediaPlayer))
        return;
    libvlc_audio_set_delay(m_vlcMediaPlayer, newDelay);
    emit audioDelayChanged(newDelay);
}

void QVlcMediaPlayer::setVideoTrack(int newTrackIndex)
{
    if (!m_vlcMediaPlayer)
        return;
    const QList<QVlcTrack> tracks = videoTracks();
    if (newTrackIndex < 0 || newTrackIndex >= tracks.size())
        return;
    const int id = tracks.at(newTrackIndex).id();
    if (id == libvlc_video_get_track(m_vlcMediaPlayer))
        return;
    libvlc_video_set_track(m_vlcMediaPlayer, id);
    emit videoTrackChanged(newTrackIndex);
}

void QVlcMediaPlayer::setSubtitle(int newSubtitleIndex)
{
    if (!m_vlcMediaPlayer)
        return;
    const QList<QVlcTrack> tracks = subtitles();
    if (newSubtitleIndex < 0 || newSubtitleIndex >= tracks.size())
        return;
    const int id = tracks.at(newSubtitleIndex).id();
    if (id == libvlc_video_get_spu(m_vlcMediaPlayer))
        return;
    libvlc_video_set_spu(m_vlcMediaPlayer, id);
    emit subtitleChanged(newSubtitleIndex);
}

void QVlcMediaPlayer::setSubtitle(QString filename)
{
    if (!m_vlcMediaPlayer)
        return;
    // libVLC would open whatever local path the text names, a device or a FIFO
    // included; the text may come from outside (a channel name), so only an
    // existing regular file goes on.
    const QFileInfo info(filename);
    if (filename.isEmpty() || !info.isFile()) {
        qDebug() << "setSubtitle: not a subtitle file:" << filename;
        return;
    }
    const QByteArray uri = QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded();
    if (libvlc_media_player_add_slave(m_vlcMediaPlayer, libvlc_media_slave_type_subtitle,
                                      uri.constData(), true) == 0) {
        // The new subtitle stream shows up in the list at the next poll.
        m_nTracksPending.fetchAndOrOrdered(PendingSubtitles);
    }
}

void QVlcMediaPlayer::pollTracks()
{
    const int pending = m_nTracksPending.fetchAndStoreOrdered(0);
    if (pending & PendingAudioVideo)
        gatherTracks();
    if (pending & PendingSubtitles)
        gatherSubtitles();
}

void QVlcMediaPlayer::gatherTracks()
{
    if (!m_vlcMediaPlayer || !libvlc_media_player_is_playing(m_vlcMediaPlayer))
        return;
    quint64 serial;
    bool bNeedAudio, bNeedVideo;
    {
        QVlcMutexLocker locker(&m_mutex);
        serial = m_nMediaSerial;
        bNeedAudio = m_audioTracks.isEmpty();
        bNeedVideo = m_videoTracks.isEmpty();
    }
    // libVLC is asked without the mutex: the event callback waits for it.
    QList<QVlcTrack> audio, video;
    if (bNeedAudio && libvlc_audio_get_track_count(m_vlcMediaPlayer) != 0)
        audio = takeDescriptions(libvlc_audio_get_track_description(m_vlcMediaPlayer),
                                 QVlcTrack::Audio);
    if (bNeedVideo && libvlc_video_get_track_count(m_vlcMediaPlayer) != 0)
        video = takeDescriptions(libvlc_video_get_track_description(m_vlcMediaPlayer),
                                 QVlcTrack::Video);

    QVlcMutexLocker locker(&m_mutex);
    if (serial != m_nMediaSerial)
        return;
    if (m_audioTracks.isEmpty())
        m_audioTracks = audio;
    if (m_videoTracks.isEmpty())
        m_videoTracks = video;
}

void QVlcMediaPlayer::gatherSubtitles()
{
    if (!m_vlcMediaPlayer || !libvlc_media_player_is_playing(m_vlcMediaPlayer))
        return;
    quint64 serial;
    {
        QVlcMutexLocker locker(&m_mutex);
        serial = m_nMediaSerial;
    }
    QList<QVlcTrack> subtitles;
    if (libvlc_video_get_spu_count(m_vlcMediaPlayer) != 0)
        subtitles = takeDescriptions(libvlc_video_get_spu_description(m_vlcMediaPlayer),
                                     QVlcTrack::Subtitle);

    QVlcMutexLocker locker(&m_mutex);
    if (serial == m_nMediaSerial)
        m_subtitles = subtitles;
}
