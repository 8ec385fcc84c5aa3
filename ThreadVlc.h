#pragma once

#include <QAtomicInteger>
#include <QDeadlineTimer>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <QWaitCondition>
#include <QWidget>

class QVlcInstance;
class QVlcLogWatch;
class QVlcMediaPlayer;

// The playback worker: owns the libVLC instance and player and carries out the
// slow libVLC work away from the GUI thread. The GUI thread stores a request,
// raises one command word (none, play, stop, quit: a command raised before the
// worker took the previous one replaces it) and wakes the worker, which sleeps
// on a condition variable between commands: it takes a command at once, and
// wakes up by itself only to look at a playing media (below). Volume and mute
// go to the player directly from the caller's thread.
//
// Order of start-up. Making the engine (libVLC's instance, which reads its
// plug-in cache, and the player) costs more than anything else before the
// first picture, so it is made on the worker thread as early as it can be:
// - EngineAtOnce: the thread makes the engine as soon as it runs, before it
//   looks at the command word; a command raised meanwhile waits in the word
//   and is taken the moment the engine is made.
// - EngineOnFirstPlay: the first play command makes the engine.
// With auto-play of a stored channel the program goes:
//   1. main() reads the settings, then starts the worker (EngineAtOnce,
//      CEarlyPlay) before it makes QApplication: libVLC loads its plug-ins
//      while Qt starts up;
//   2. the main window's constructor takes that worker and raises the play
//      command as soon as the video surface has its native window, before the
//      rest of the window is built: the media opens while the GUI thread
//      still builds and shows the window;
//   3. the web requests, the channel name and other work the picture does not
//      need wait for it (CAfterFirstPicture).
// When nothing will play, the main window makes the worker (EngineAtOnce)
// right after its window shows, and the first play finds the engine made and
// the video output's OpenGL driver loaded (CGlDriverWarmUp).
// A quit raised before the thread began to make the engine skips it; one
// raised while libVLC makes it is taken once libvlc_new() has returned.
// Either way the quit sequence follows: the player stopped and deleted, then
// the instance, then closeMainWindow(). The owner may thus close at any
// moment of the start-up.
//
// Between a play command and the next stop or quit the worker looks at the
// media every 200 ms until it has shown something, then every second: it
// fills the player's track lists and reports the progress by which the
// stream watch tells a stall.
//
// Every play request gets a serial number; the course of that play (opened,
// state, buffering, progress, end, error) comes back as signals tagged with
// it, emitted on the worker's or libVLC's thread and so queued to receivers on
// the GUI thread. A receiver tells the current play from an earlier one by the
// serial.
class CThreadVlc : public QThread
{
    Q_OBJECT

public:
    enum Command
    {
        CommandNone = 0,
        CommandPlay = 1,
        CommandStop = 2,
        CommandQuit = 3
    };

    // When the engine is made (see above).
    enum EngineStart
    {
        EngineOnFirstPlay,
        EngineAtOnce
    };

    // Starts the thread at once, unless bStart is false: then the caller
    // connects to the worker's signals first (the thread emits from its very
    // start) and calls start() itself.
    explicit CThreadVlc(QObject *parent = nullptr, EngineStart engineStart = EngineOnFirstPlay,
                        bool bStart = true);
    // Deletes player and instance if they still exist. The owner quits and
    // waits for the thread first.
    ~CThreadVlc() override;

    void setVolume(int volume);
    void setMuted(bool mute, bool bEmit);
    void setSubtitleFile(const QString &text);
    // libVLC options ("name=value") for the media of the next play only, such
    // as a channel's own user agent; the caller has checked them.
    void setMediaOptions(const QStringList &lstOptions);
    // Raises the play command; returns the serial of this play.
    quint32 setUrl(const QUrl &url, QWidget *videoWidget);
    // Plays the last url again, into the same window, as a new media; returns
    // the serial of this play (0 when no url was ever given).
    quint32 replay();
    void stop();
    void quitPlayer();

    // The player once the first play command has made it, null before that and
    // after quit. For inspection only: the worker deletes it on quit.
    QVlcMediaPlayer *player() const;

signals:
    void stateChanged(int);
    void emitStop();
    void closeMainWindow();
    // Emitted on the worker thread as it takes a command (play, stop or quit)
    // from the command word, before it carries the command out. A direct
    // connection runs inside the worker.
    void commandTaken(int nCommand);
    // Emitted on the worker thread before it makes the engine, and once it
    // has made it (bOk: libVLC gave an instance and a player). Direct
    // connections run inside the worker.
    void engineStarting();
    void engineMade(bool bOk);

    // The media of play nSerial was made (bOk) or the url was refused.
    void mediaOpened(quint32 nSerial, bool bOk);
    // The player's state (QVlcMediaPlayer::State) during play nSerial.
    void playerStateChanged(quint32 nSerial, int nState);
    // libVLC's buffering in percent, as it rises.
    void bufferingChanged(quint32 nSerial, int nPercent);
    // The media came to its end.
    void playbackEnded(quint32 nSerial);
    // libVLC gave up on the media; nFault is a QVlcLogWatch::Fault.
    void playbackFailed(quint32 nSerial, int nFault);
    // What has reached the user so far (pictures shown plus blocks of sound
    // decoded), sent when it changes, looked at every 200 ms; bLive
    // tells whether the media is a live stream, as far as it has played, and
    // bSourceFailing that libVLC could not reload its live playlist.
    void progressChanged(quint32 nSerial, qint64 nFrames, bool bLive, bool bSourceFailing);
    // A stop command has been carried out: libVLC draws nothing any more.
    void playerStopped();

public slots:
    void onStateChanged(int nState);

protected:
    void run() override;

private:
    // Sleeps until a command is raised or the media is due to be looked at;
    // returns the command taken, CommandNone when it is the media's turn.
    int takeCommand();
    void makeEngine();
    void playPlayer();
    void stopPlayer();
    void quitSequence();
    void pollMedia();
    void pollProgress();
    quint32 currentSerial() const { return m_nSerial.loadAcquire(); }

    QUrl m_url;
    WId m_hwnd = 0;
    QVlcInstance *m_pInstance = nullptr;
    QVlcMediaPlayer *m_pPlayer = nullptr;
    mutable QMutex m_mutex;
    // Woken with the mutex held whenever the command word is raised.
    QWaitCondition m_wake;
    int m_nCommand = CommandNone;
    bool m_bMuted = false;
    int m_nVolume = 100;
    QString subtitleFile;
    QStringList m_lstMediaOptions;

    // Play serials: the last handed out (guarded by the mutex) and the one
    // whose media the player holds now (read on libVLC's thread too).
    quint32 m_nLastSerial = 0;
    quint32 m_nRequestedSerial = 0;
    QAtomicInteger<quint32> m_nSerial{0};
    // The buffering last passed on for it (libVLC's thread).
    QAtomicInt m_nLastBuffering{-1};
    // Owned; made with the instance, gone before it.
    QVlcLogWatch *m_pLogWatch = nullptr;
    const EngineStart m_engineStart;
    // The worker thread's own: whether a play is under way and when its media
    // is to be looked at next; what progressChanged() last said.
    bool m_bWatching = false;
    QDeadlineTimer m_pollDue;
    qint64 m_nLastFrames = -1;
    bool m_bLastLive = false;
    bool m_bLastFailing = false;
};
