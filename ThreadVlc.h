#pragma once

#include <QMutex>
#include <QString>
#include <QThread>
#include <QUrl>
#include <QWidget>

class QVlcInstance;
class QVlcMediaPlayer;

// The playback worker: owns the libVLC instance and player and carries out the
// slow libVLC work away from the GUI thread. The GUI thread stores a request
// and raises one command word; the worker polls it every 10 ms. Volume and mute
// go to the player directly from the caller's thread.
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
    void setUrl(const QUrl &url, QWidget *videoWidget);
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

public slots:
    void onStateChanged(int nState);

protected:
    void run() override;

private:
    void playPlayer();
    void stopPlayer();
    void quitSequence();

    QUrl m_url;
    WId m_hwnd = 0;
    QVlcInstance *m_pInstance = nullptr;
    QVlcMediaPlayer *m_pPlayer = nullptr;
    mutable QMutex m_mutex;
    int m_nCommand = CommandNone;
    bool m_bMuted = false;
    int m_nVolume = 100;
    QString subtitleFile;
};
