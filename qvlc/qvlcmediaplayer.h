#pragma once

#include <QAtomicInt>
#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

class QVlcInstance;
class QVlcMedia;
struct libvlc_event_t;
struct libvlc_media_player_t;

// One entry of the audio, video or subtitle track lists.
class QVlcTrack
{
public:
    enum Type
    {
        None = 0,
        Audio = 1,
        Video = 2,
        Subtitle = 3
    };

    int id() const { return m_nId; }
    void setId(int id) { m_nId = id; }
    int index() const { return m_nIndex; }
    void setIndex(int index) { m_nIndex = index; }
    int type() const { return m_nType; }
    void setType(int type) { m_nType = type; }
    QString name() const { return m_strName; }
    void setName(const QString &name) { m_strName = name; }

private:
    int m_nId = 0;
    int m_nIndex = 0;
    int m_nType = None;
    QString m_strName;
};
Q_DECLARE_METATYPE(QVlcTrack)

// A libVLC media player as a Qt object: libVLC's events become signals, its
// operations slots and getters, and the tracks of the playing media are kept in
// three lists for menus.
//
// libVLC calls the event callback on its input thread. The callback never calls
// back into libVLC (a stop or a media change waits for that thread while holding
// the player's input lock); it only records what the event carries and emits
// signals. The track lists are filled outside the callback by pollTracks(),
// which the owning thread calls regularly and menus may call before they read
// the lists.
class QVlcMediaPlayer : public QObject
{
    Q_OBJECT

public:
    enum State
    {
        NothingSpecial = 0,
        Opening = 1,
        Buffering = 2,
        Playing = 3,
        Paused = 4,
        Stopped = 5,
    };
    Q_ENUM(State)

    explicit QVlcMediaPlayer(QVlcInstance *instance, QObject *parent = nullptr);
    ~QVlcMediaPlayer() override;

    // Replaces the current media by one made from url (or path). Does not start
    // playback. False when the media could not be made; the player then has none.
    // lstOptions are given to the new media (QVlcMedia::addOption) before
    // libVLC sees it, so they hold for this media only.
    bool open(const QUrl &url, const QStringList &lstOptions = QStringList());
    bool open(const QString &path);

    void setVideoWidget(QWidget *widget);
    // Binds libVLC's video output to a native window (an X11 window on Linux).
    void setHwnd(WId id);

    libvlc_media_player_t *core() const { return m_vlcMediaPlayer; }
    bool isValid() const { return m_vlcMediaPlayer != nullptr; }
    // Null once the instance has been deleted.
    QVlcInstance *instance() const;
    // The current media; guarded, so other threads may ask too.
    QVlcMedia *media() const;
    bool hasMedia() const;
    State state() const;
    QWidget *videoWidget() const { return m_videoWidget; }

    qint64 time() const;
    qint64 length() const;
    double position() const;
    double rate() const;
    int title() const;
    bool isSeekable() const;
    bool isPlaying() const;

    int volume() const;
    bool isMuted() const;
    int audioTrack() const;
    int audioChannel() const;
    qint64 audioDelay() const;

    int videoTrack() const;
    int subtitle() const;

    int audioTrackCount() const;
    int videoTrackCount() const;
    int subtitleCount() const;
    bool hasAudioTracks() const { return audioTrackCount() != 0; }
    bool hasVideoTracks() const { return videoTrackCount() != 0; }
    bool hasSubtitles() const { return subtitleCount() != 0; }

    // Copies of the track lists; safe from any thread.
    QList<QVlcTrack> audioTracks() const;
    QList<QVlcTrack> videoTracks() const;
    QList<QVlcTrack> subtitles() const;

    // Fills the track lists when libVLC has reported new streams since the last
    // call (Playing, an elementary stream added or removed, a subtitle file
    // added). Cheap when nothing is pending. Call it from a thread that is not
    // inside a libVLC call: the playback worker's loop, or a menu about to show.
    void pollTracks();

signals:
    void mediaChanged();
    void finished();
    // Emitted when the state changes, not for every event libVLC repeats.
    void stateChanged(QVlcMediaPlayer::State state);
    void stateChanged(int state);
    void timeChanged(qint64 time);
    void positionChanged(double position);
    void rateChanged(double rate);
    void seekableChanged(bool seekable);
    void pausableChanged(bool pausable);
    void titleChanged(QString title);
    void lengthChanged(qint64 length);
    void volumeChanged(int volume);
    void mutedChanged(bool mute);
    void audioTrackChanged(int audioTrackIndex);
    void audioChannelChanged(int audioChannel);
    void audioDelayChanged(qint64 audioDelay);
    void videoTrackChanged(int videoTrackIndex);
    void subtitleChanged(int subtitleIndex);
    // libVLC's buffering, 0 to 100, with every Buffering state event.
    void bufferingChanged(float fPercent);
    // libVLC could not open or go on playing the media. The state stays as
    // it was; libVLC reports Stopped next.
    void encounteredError();

public slots:
    void play();
    void pause();
    void stop();
    void setTime(qint64 newTime);
    void setPosition(double newPosition);
    void setRate(double newRate);
    void setVolume(int newVolume);
    void setMuted(bool mute, bool bEmit = true);
    // Track selection takes positions in the track lists (as the menus show
    // them); libVLC's own ids are looked up through the lists.
    void setAudioTrack(int newTrackIndex);
    void setAudioChannel(int newChannel);
    void setAudioDelay(qint64 newDelay);
    void setVideoTrack(int newTrackIndex);
    void setSubtitle(int newSubtitleIndex);
    // Adds a subtitle file to the playing media. Only an existing regular file
    // is handed to libVLC; any other text is logged and ignored.
    void setSubtitle(QString filename);

private slots:
    void gatherTracks();
    void gatherSubtitles();

private:
    static void libvlcCallback(const libvlc_event_t *event, void *data);
    void attachEvents(bool bAttach);
    bool openMedia(QVlcMedia *media);
    void releaseMedia();

    mutable QMutex m_mutex;
    libvlc_media_player_t *m_vlcMediaPlayer = nullptr;
    QPointer<QVlcInstance> m_instance;
    QVlcMedia *m_media = nullptr;
    State m_state = NothingSpecial;
    QList<QVlcTrack> m_audioTracks;
    QList<QVlcTrack> m_videoTracks;
    QList<QVlcTrack> m_subtitles;
    QWidget *m_videoWidget = nullptr;

    // Set by the event callback when the streams may have changed; taken by
    // pollTracks(). Bit 0: audio and video, bit 1: subtitles.
    QAtomicInt m_nTracksPending;
    // Bumped (under the mutex) whenever the media is released, so a gather that
    // raced with open() never stores the old media's tracks.
    quint64 m_nMediaSerial = 0;
};
Q_DECLARE_METATYPE(QVlcMediaPlayer::State)
