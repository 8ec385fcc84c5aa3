#pragma once

#include "BackoffTimer.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class CThreadVlc;

// Follows the channel the user started, as the playback worker reports it,
// and decides what the user is told: connecting, playing, or no signal and
// why. A live stream that was playing and then ends, fails or stalls is
// opened again after a wait (1, 2, 4, 8, 16 s, then every 30 s) for as long
// as the user keeps the channel; a reopen is the watch's own business, not a
// new play of the user's. Every action of the user ends a wait at once
// (stop(), cancelRetry(), or a new watch()).
class CStreamWatch : public QObject
{
    Q_OBJECT

public:
    enum State
    {
        Idle,       // nothing asked for
        Starting,   // a channel was asked for; nothing shown yet
        Connecting, // still nothing shown a second after the play
        Playing,    // pictures (or sound) come in
        Retrying,   // a live channel dropped: waiting to open it again, or opening it
        Failed,     // the channel failed and is not tried again
    };
    Q_ENUM(State)

    enum Reason
    {
        NoReason,
        CannotConnect, // refused, unreachable, no such host
        NotFound,      // the server has no such stream
        StreamEnded,   // it came to its end
        NoPicture,     // playing, but nothing new for a while (stalled)
        TimedOut,      // not playing after the open limit
        CannotPlay,    // anything else libVLC gave up on
    };
    Q_ENUM(Reason)

    // The times the watch goes by. Tests shorten them; the program keeps these.
    struct Timing
    {
        int nConnectingMs = 1000;    // "Connecting..." when nothing has come by then
        int nOpenLimitMs = 15000;    // not Playing by then: failed
        int nStallMs = 5000;         // Playing, but nothing new for this long: stalled
        int nSourceLostMs = 1500;    // the same while libVLC cannot reload a live playlist
        int nFirstRetryMs = 1000;    // the first wait before a reopen, doubled each time...
        int nLongestRetryMs = 30000; // ...up to this one, which then repeats
    };

    explicit CStreamWatch(QObject *parent = nullptr);
    void setTiming(const Timing &timing);

    // The user started a channel: play nSerial of pWorker (CThreadVlc's
    // setUrl() gave it). What was watched before is forgotten.
    void watch(CThreadVlc *pWorker, quint32 nSerial);
    // The user stopped, or closes the window: nothing is watched or retried.
    void stop();
    // A user action that ends a wait to reconnect (the options dialog): the
    // channel then counts as failed. Nothing else changes.
    void cancelRetry();

    State state() const { return m_state; }
    Reason reason() const { return m_reason; }
    // The reconnect under way or waited for: 1 for the first after a drop.
    int attempt() const { return m_backoff.failures(); }
    // The line to show over the video; empty when there is nothing to say.
    QString statusText() const;
    QString reasonText() const;

signals:
    // Emitted whenever state(), reason(), attempt() or what statusText()
    // says changes.
    void stateChanged(CStreamWatch::State state);

private slots:
    void onMediaOpened(quint32 nSerial, bool bOk);
    void onPlayerStateChanged(quint32 nSerial, int nState);
    void onBufferingChanged(quint32 nSerial, int nPercent);
    void onPlaybackEnded(quint32 nSerial);
    void onPlaybackFailed(quint32 nSerial, int nFault);
    void onProgressChanged(quint32 nSerial, qint64 nFrames, bool bLive, bool bSourceFailing);
    void onReopenDue();

private:
    bool isCurrent(quint32 nSerial) const { return nSerial != 0 && nSerial == m_nSerial; }
    // A new media of the channel: its open limit and "Connecting..." start.
    void beginAttempt(quint32 nSerial);
    void stopAttemptTimers();
    // The current media failed: the channel is opened again later when it is
    // a live stream that has played, or a reconnect failed; else it failed.
    void fail(Reason reason);
    void setState(State state);

    Timing m_timing;
    QPointer<CThreadVlc> m_pWorker;
    quint32 m_nSerial = 0; // the play watched now; 0 when none
    State m_state = Idle;
    Reason m_reason = NoReason;
    bool m_bHasPlayed = false; // the channel has played since the user chose it
    bool m_bLive = false;      // what the worker last said of the playing media
    bool m_bSourceFailing = false;
    qint64 m_nFrames = 0;
    int m_nBufferPercent = -1;
    QTimer m_timerConnecting;
    QTimer m_timerOpenLimit;
    QTimer m_timerStall;
    CBackoffTimer m_backoff;
};
