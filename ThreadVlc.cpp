#include "ThreadVlc.h"
#include "StartupTrace.h"
#include "qvlc/qvlcinstance.h"
#include "qvlc/qvlclogwatch.h"
#include "qvlc/qvlcmedia.h"
#include "qvlc/qvlcmediaplayer.h"
#include "qvlc/qvlcmutexlocker.h"

#include <QDebug>

namespace {
// How often the worker looks at what the playing media has shown: often until
// the first picture or sound, which ends "Connecting...", then just often
// enough for the stream watch's stall clock (seconds).
constexpr int kStartPollMs = 200;
constexpr int kSteadyPollMs = 1000;
} // namespace

CThreadVlc::CThreadVlc(QObject *parent, EngineStart engineStart, bool bStart)
    : QThread(parent), m_engineStart(engineStart)
{
    CStartupTrace::mark(CStartupTrace::WorkerStarted);
    if (bStart)
        start();
}

CThreadVlc::~CThreadVlc()
{
    // Deleting a running QThread aborts the program; should an owner forget to
    // quit and wait, tear the engine down on the worker as the quit command does.
    if (isRunning()) {
        quitPlayer();
        wait();
    }
    delete m_pPlayer;
    m_pPlayer = nullptr;
    delete m_pLogWatch;
    m_pLogWatch = nullptr;
    delete m_pInstance;
    m_pInstance = nullptr;
}

void CThreadVlc::setVolume(int volume)
{
    // The mutex stays held across the player call so that the quit command
    // cannot delete the player under it.
    QVlcMutexLocker locker(&m_mutex);
    m_nVolume = volume;
    if (m_pPlayer)
        m_pPlayer->setVolume(volume);
}

void CThreadVlc::setMuted(bool mute, bool bEmit)
{
    qDebug() << "CThreadVlc::setMuted: " << (mute ? "true" : "false");
    QVlcMutexLocker locker(&m_mutex);
    m_bMuted = mute;
    if (m_pPlayer)
        m_pPlayer->setMuted(mute, bEmit);
}

void CThreadVlc::setSubtitleFile(const QString &text)
{
    QVlcMutexLocker locker(&m_mutex);
    subtitleFile = text;
}

void CThreadVlc::setMediaOptions(const QStringList &lstOptions)
{
    QVlcMutexLocker locker(&m_mutex);
    m_lstMediaOptions = lstOptions;
}

quint32 CThreadVlc::setUrl(const QUrl &url, QWidget *videoWidget)
{
    // winId() creates the native window if needed: GUI-thread work, done here.
    const WId hwnd = videoWidget ? videoWidget->winId() : 0;
    quint32 nSerial;
    {
        QVlcMutexLocker locker(&m_mutex);
        m_url = url;
        m_hwnd = hwnd;
        m_nCommand = CommandPlay;
        m_wake.wakeOne();
        nSerial = m_nRequestedSerial = ++m_nLastSerial;
    }
    CStartupTrace::mark(CStartupTrace::PlayRequested);
    return nSerial;
}

quint32 CThreadVlc::replay()
{
    QVlcMutexLocker locker(&m_mutex);
    if (m_url.isEmpty())
        return 0;
    m_nCommand = CommandPlay;
    m_wake.wakeOne();
    return m_nRequestedSerial = ++m_nLastSerial;
}

void CThreadVlc::stop()
{
    qDebug() << "stop1";
    {
        QVlcMutexLocker locker(&m_mutex);
        qDebug() << "stop2";
        m_nCommand = CommandStop;
        m_wake.wakeOne();
    }
    qDebug() << (isRunning() ? "true" : "false");
}

void CThreadVlc::quitPlayer()
{
    QVlcMutexLocker locker(&m_mutex);
    m_nCommand = CommandQuit;
    m_wake.wakeOne();
}

QVlcMediaPlayer *CThreadVlc::player() const
{
    QVlcMutexLocker locker(&m_mutex);
    return m_pPlayer;
}

void CThreadVlc::onStateChanged(int nState)
{
    Q_UNUSED(nState)
}

void CThreadVlc::run()
{
    if (m_engineStart == EngineAtOnce) {
        emit engineStarting();
        bool bQuit;
        {
            QVlcMutexLocker locker(&m_mutex);
            bQuit = m_nCommand == CommandQuit;
        }
        if (!bQuit)
            makeEngine();
    }
    for (;;) {
        const int nCommand = takeCommand();
        if (nCommand != CommandNone)
            emit commandTaken(nCommand);
        switch (nCommand) {
        case CommandPlay:
            playPlayer();
            break;
        case CommandStop:
            stopPlayer();
            break;
        case CommandQuit:
            quitSequence();
            return;
        default:
            pollMedia();
            break;
        }
    }
}

int CThreadVlc::takeCommand()
{
    QVlcMutexLocker locker(&m_mutex);
    while (m_nCommand == CommandNone) {
        if (!m_bWatching)
            locker.wait(m_wake);
        else if (m_pollDue.hasExpired())
            return CommandNone;
        else
            locker.wait(m_wake, m_pollDue);
    }
    const int nCommand = m_nCommand;
    // The quit stays raised: whatever comes later is not carried out.
    if (nCommand != CommandQuit)
        m_nCommand = CommandNone;
    return nCommand;
}

void CThreadVlc::makeEngine()
{
    m_pInstance =
        new QVlcInstance({QStringLiteral("--no-ignore-config"), QStringLiteral("--media-library")});
    m_pLogWatch = new QVlcLogWatch(m_pInstance);
    auto *player = new QVlcMediaPlayer(m_pInstance);
    connect(player, QOverload<int>::of(&QVlcMediaPlayer::stateChanged), this,
            &CThreadVlc::stateChanged);
    connect(player, QOverload<int>::of(&QVlcMediaPlayer::stateChanged), this,
            &CThreadVlc::onStateChanged);
    // These run in libVLC's event callback: they only tag the event with
    // the serial of the media that plays and pass it on.
    connect(
        player, QOverload<int>::of(&QVlcMediaPlayer::stateChanged), this,
        [this](int nState) {
            if (nState == QVlcMediaPlayer::Playing)
                CStartupTrace::mark(CStartupTrace::FirstPlaying);
            emit playerStateChanged(currentSerial(), nState);
        },
        Qt::DirectConnection);
    connect(
        player, &QVlcMediaPlayer::bufferingChanged, this,
        [this](float fPercent) {
            // libVLC repeats its buffering for as long as a live stream plays;
            // only a rise is news, and the GUI thread is not woken for less.
            const int nPercent = qRound(fPercent);
            if (nPercent <= m_nLastBuffering.loadAcquire())
                return;
            m_nLastBuffering.storeRelease(nPercent);
            emit bufferingChanged(currentSerial(), nPercent);
        },
        Qt::DirectConnection);
    connect(
        player, &QVlcMediaPlayer::finished, this, [this] { emit playbackEnded(currentSerial()); },
        Qt::DirectConnection);
    connect(
        player, &QVlcMediaPlayer::encounteredError, this,
        [this] { emit playbackFailed(currentSerial(), m_pLogWatch->fault()); },
        Qt::DirectConnection);
    {
        QVlcMutexLocker locker(&m_mutex);
        m_pPlayer = player;
    }
    CStartupTrace::mark(CStartupTrace::InstanceMade);
    emit engineMade(m_pInstance->isValid() && player->isValid());
}

void CThreadVlc::playPlayer()
{
    qDebug() << "playPlayer";
    if (!m_pInstance)
        makeEngine();

    QUrl url;
    WId hwnd;
    QString text;
    QStringList lstOptions;
    int nVolume;
    bool bMuted;
    quint32 nSerial;
    {
        QVlcMutexLocker locker(&m_mutex);
        nSerial = m_nRequestedSerial;
        url = m_url;
        hwnd = m_hwnd;
        text = subtitleFile;
        lstOptions = m_lstMediaOptions;
        nVolume = m_nVolume;
        bMuted = m_bMuted;
    }

    m_pPlayer->setHwnd(hwnd);
    const bool bOpened = m_pPlayer->open(url, lstOptions);
    // The previous media is gone: what libVLC logs and reports from here on
    // is about this play.
    m_pLogWatch->reset();
    m_nSerial.storeRelease(nSerial);
    m_nLastBuffering.storeRelease(-1);
    m_nLastFrames = -1;
    m_bLastLive = false;
    m_bLastFailing = false;
    m_bWatching = true;
    m_pollDue.setRemainingTime(kStartPollMs);
    emit mediaOpened(nSerial, bOpened);
    m_pPlayer->play();
    CStartupTrace::mark(CStartupTrace::MediaOpened);
    m_pPlayer->setVolume(nVolume);
    m_pPlayer->setMuted(bMuted, true);
    if (!text.isEmpty())
        m_pPlayer->setSubtitle(text);
}

void CThreadVlc::stopPlayer()
{
    qDebug() << "stopPlayer";
    if (m_pPlayer)
        m_pPlayer->stop();
    m_bWatching = false;
    emit playerStopped();
}

void CThreadVlc::pollMedia()
{
    // This thread runs no event loop, so the player's track lists are filled
    // from here when libVLC has reported new streams.
    m_pPlayer->pollTracks();
    pollProgress();
    m_pollDue.setRemainingTime(m_nLastFrames > 0 ? kSteadyPollMs : kStartPollMs);
}

void CThreadVlc::pollProgress()
{
    const QVlcMedia *pMedia = m_pPlayer->media();
    if (!pMedia)
        return;
    const QVlcMedia::Stats stats = pMedia->stats();
    const qint64 nFrames = stats.nDisplayedPictures + stats.nDecodedAudio;
    // Whether the stream is live is read while it plays: before, libVLC does
    // not know yet, and after, the media is gone. A live stream cannot seek,
    // except a live HLS or DASH playlist, which libVLC lets seek within its
    // window (and gives the window's length) but keeps reloading. The length
    // alone tells nothing: libVLC has none for an MPEG-TS file over HTTP.
    bool bLive = m_bLastLive;
    if (nFrames > 0 && m_pPlayer->isPlaying())
        bLive = !m_pPlayer->isSeekable() || m_pLogWatch->playlistReloaded();
    const bool bFailing = m_pLogWatch->reloadFailing();
    if (nFrames == m_nLastFrames && bLive == m_bLastLive && bFailing == m_bLastFailing)
        return;
    m_nLastFrames = nFrames;
    m_bLastLive = bLive;
    m_bLastFailing = bFailing;
    emit progressChanged(currentSerial(), nFrames, bLive, bFailing);
}

void CThreadVlc::quitSequence()
{
    qDebug() << "VLC_QUIT1";
    m_bWatching = false;
    if (m_pPlayer) {
        m_pPlayer->stop();
        QVlcMediaPlayer *player;
        {
            QVlcMutexLocker locker(&m_mutex);
            player = m_pPlayer;
            m_pPlayer = nullptr;
        }
        delete player;
    }
    qDebug() << "VLC_QUIT2";
    delete m_pLogWatch;
    m_pLogWatch = nullptr;
    if (m_pInstance) {
        delete m_pInstance;
        m_pInstance = nullptr;
    }
    qDebug() << "VLC_QUIT3";
    emit closeMainWindow();
}
