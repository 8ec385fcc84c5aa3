#include "StreamWatch.h"
#include "Log.h"
#include "ThreadVlc.h"
#include "qvlc/qvlclogwatch.h"
#include "qvlc/qvlcmediaplayer.h"

#include <QDebug>

CStreamWatch::CStreamWatch(QObject *parent)
    : QObject(parent), m_backoff(m_timing.nFirstRetryMs, m_timing.nLongestRetryMs)
{
    for (QTimer *pTimer : {&m_timerConnecting, &m_timerOpenLimit, &m_timerStall})
        pTimer->setSingleShot(true);
    setTiming(m_timing);
    connect(&m_timerConnecting, &QTimer::timeout, this, [this] {
        if (m_state == Starting)
            setState(Connecting);
    });
    connect(&m_timerOpenLimit, &QTimer::timeout, this, [this] { fail(TimedOut); });
    connect(&m_timerStall, &QTimer::timeout, this,
            [this] { fail(m_bSourceFailing ? CannotConnect : NoPicture); });
    connect(&m_backoff, &CBackoffTimer::due, this, &CStreamWatch::onReopenDue);
}

void CStreamWatch::setTiming(const Timing &timing)
{
    m_timing = timing;
    m_timerConnecting.setInterval(timing.nConnectingMs);
    m_timerOpenLimit.setInterval(timing.nOpenLimitMs);
    m_timerStall.setInterval(timing.nStallMs);
    m_backoff.setIntervals(timing.nFirstRetryMs, timing.nLongestRetryMs);
}

void CStreamWatch::watch(CThreadVlc *pWorker, quint32 nSerial)
{
    if (pWorker != m_pWorker) {
        if (m_pWorker)
            disconnect(m_pWorker, nullptr, this, nullptr);
        m_pWorker = pWorker;
        connect(pWorker, &CThreadVlc::mediaOpened, this, &CStreamWatch::onMediaOpened);
        connect(pWorker, &CThreadVlc::playerStateChanged, this,
                &CStreamWatch::onPlayerStateChanged);
        connect(pWorker, &CThreadVlc::bufferingChanged, this, &CStreamWatch::onBufferingChanged);
        connect(pWorker, &CThreadVlc::playbackEnded, this, &CStreamWatch::onPlaybackEnded);
        connect(pWorker, &CThreadVlc::playbackFailed, this, &CStreamWatch::onPlaybackFailed);
        connect(pWorker, &CThreadVlc::progressChanged, this, &CStreamWatch::onProgressChanged);
    }
    m_backoff.succeeded();
    m_bHasPlayed = false;
    m_bLive = false;
    m_reason = NoReason;
    beginAttempt(nSerial);
    setState(Starting);
}

void CStreamWatch::stop()
{
    stopAttemptTimers();
    m_backoff.succeeded();
    m_nSerial = 0;
    m_reason = NoReason;
    if (m_state != Idle)
        setState(Idle);
}

void CStreamWatch::cancelRetry()
{
    if (m_state != Retrying)
        return;
    stopAttemptTimers();
    m_backoff.cancel();
    m_nSerial = 0;
    if (m_pWorker)
        m_pWorker->stop();
    setState(Failed);
}

void CStreamWatch::beginAttempt(quint32 nSerial)
{
    m_nSerial = nSerial;
    m_nFrames = 0;
    m_bSourceFailing = false;
    m_timerStall.setInterval(m_timing.nStallMs);
    m_nBufferPercent = -1;
    m_timerStall.stop();
    m_timerConnecting.start();
    m_timerOpenLimit.start();
}

void CStreamWatch::stopAttemptTimers()
{
    m_timerConnecting.stop();
    m_timerOpenLimit.stop();
    m_timerStall.stop();
}

void CStreamWatch::fail(Reason reason)
{
    qDebug() << "stream failed:" << reason << "live:" << m_bLive << "played:" << m_bHasPlayed;
    stopAttemptTimers();
    // Whatever still comes of this media is of no interest; the player lets
    // go of the stream (a stalled one holds its connection).
    m_nSerial = 0;
    if (m_pWorker)
        m_pWorker->stop();
    m_reason = reason;
    if (m_state == Retrying || (m_bHasPlayed && m_bLive)) {
        m_backoff.failed();
        setState(Retrying);
    } else {
        setState(Failed);
    }
}

void CStreamWatch::onReopenDue()
{
    if (m_state != Retrying || !m_pWorker)
        return;
    const quint32 nSerial = m_pWorker->replay();
    if (!nSerial) {
        setState(Failed);
        return;
    }
    beginAttempt(nSerial);
}

void CStreamWatch::setState(State state)
{
    m_state = state;
    emit stateChanged(state);
}

void CStreamWatch::onMediaOpened(quint32 nSerial, bool bOk)
{
    qCDebug(lcStream) << "opened" << nSerial << bOk << "watching" << m_nSerial;
    if (isCurrent(nSerial) && !bOk)
        fail(CannotPlay);
}

void CStreamWatch::onPlayerStateChanged(quint32 nSerial, int nState)
{
    qCDebug(lcStream) << "state" << nSerial << nState;
    if (!isCurrent(nSerial) || nState != QVlcMediaPlayer::Playing)
        return;
    // libVLC is Playing once the stream is open, before any picture: from
    // here the stall clock runs instead of the open limit.
    m_timerOpenLimit.stop();
    if (!m_timerStall.isActive())
        m_timerStall.start();
}

void CStreamWatch::onBufferingChanged(quint32 nSerial, int nPercent)
{
    if (!isCurrent(nSerial) || nPercent <= m_nBufferPercent)
        return;
    m_nBufferPercent = nPercent;
    // Data still comes in: not stalled.
    if (m_timerStall.isActive())
        m_timerStall.start();
    if (m_state == Connecting)
        setState(Connecting);
}

void CStreamWatch::onPlaybackEnded(quint32 nSerial)
{
    qCDebug(lcStream) << "ended" << nSerial;
    if (isCurrent(nSerial))
        fail(StreamEnded);
}

void CStreamWatch::onPlaybackFailed(quint32 nSerial, int nFault)
{
    qCDebug(lcStream) << "error" << nSerial << nFault;
    if (!isCurrent(nSerial))
        return;
    switch (nFault) {
    case QVlcLogWatch::CannotConnect:
        fail(CannotConnect);
        break;
    case QVlcLogWatch::NotFound:
        fail(NotFound);
        break;
    default:
        fail(CannotPlay);
        break;
    }
}

void CStreamWatch::onProgressChanged(quint32 nSerial, qint64 nFrames, bool bLive,
                                     bool bSourceFailing)
{
    qCDebug(lcStream) << "progress" << nSerial << nFrames << (bLive ? "live" : "")
                      << (bSourceFailing ? "failing" : "");
    if (!isCurrent(nSerial))
        return;
    m_bLive = bLive;
    if (bSourceFailing != m_bSourceFailing) {
        // libVLC cannot reload the live playlist: once what it had buffered
        // has run out, the stream has failed; no need to wait out a stall.
        m_bSourceFailing = bSourceFailing;
        m_timerStall.setInterval(bSourceFailing ? m_timing.nSourceLostMs : m_timing.nStallMs);
        if (m_timerStall.isActive())
            m_timerStall.start();
    }
    if (nFrames <= m_nFrames)
        return;
    m_nFrames = nFrames;
    m_timerStall.start();
    if (m_state == Playing)
        return;
    m_timerConnecting.stop();
    m_timerOpenLimit.stop();
    m_bHasPlayed = true;
    m_backoff.succeeded();
    m_reason = NoReason;
    setState(Playing);
}

QString CStreamWatch::reasonText() const
{
    switch (m_reason) {
    case CannotConnect:
        return tr("cannot connect");
    case NotFound:
        return tr("not found");
    case StreamEnded:
        return tr("the stream ended");
    case NoPicture:
        return tr("no picture for %1 s").arg(m_timing.nStallMs / 1000);
    case TimedOut:
        return tr("no answer");
    case CannotPlay:
        return tr("cannot play this stream");
    case NoReason:
        break;
    }
    return QString();
}

QString CStreamWatch::statusText() const
{
    switch (m_state) {
    case Connecting:
        if (m_nBufferPercent > 0)
            return tr("Connecting... %1%").arg(m_nBufferPercent);
        return tr("Connecting...");
    case Retrying:
        return tr("No signal: %1. Reconnecting (%2)...")
            .arg(reasonText(), QString::number(attempt()));
    case Failed:
        return tr("No signal: %1").arg(reasonText());
    case Idle:
    case Starting:
    case Playing:
        break;
    }
    return QString();
}
