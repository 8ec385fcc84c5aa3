#pragma once

#include <QAtomicInteger>
#include <QElapsedTimer>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <QWidget>

class QVlcInstance;
class QVlcLogWatch;
class QVlcMediaPlayer;

// The playback worker: owns the libVLC instance and player and carries out the
// slow libVLC work away from the GUI thread. The GUI thread stores a request
// and raises one command word; the worker polls it every 10 ms. Volume and mute
// go to the player directly from the caller's thread.
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

    // Starts the thread at once.
    explicit CThreadVlc(QObject *parent = nullptr);
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

    // The media of play nSerial was made (bOk) or the url was refused.
    void mediaOpened(quint32 nSerial, bool bOk);
    // The player's state (QVlcMediaPlayer::State) during play nSerial.
    void playerStateChanged(quint32 nSerial, int nState);
    // libVLC's buffering in percent.
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
    void playPlayer();
    void stopPlayer();
    void quitSequence();
    void pollProgress();
    quint32 currentSerial() const { return m_nSerial.loadAcquire(); }

    QUrl m_url;
    WId m_hwnd = 0;
    QVlcInstance *m_pInstance = nullptr;
    QVlcMediaPlayer *m_pPlayer = nullptr;
    mutable QMutex m_mutex;
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
    // Owned; made with the instance, gone before it.
    QVlcLogWatch *m_pLogWatch = nullptr;
    // The worker thread's own: what progressChanged() last said.
    QElapsedTimer m_progressClock;
    qint64 m_nLastFrames = -1;
    bool m_bLastLive = false;
    bool m_bLastFailing = false;
};
