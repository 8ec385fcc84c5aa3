#include "ThreadVlc.h"
#include "qvlc/qvlcinstance.h"
#include "qvlc/qvlcmediaplayer.h"
#include "qvlc/qvlcmutexlocker.h"

#include <QDebug>

CThreadVlc::CThreadVlc(QObject *parent) : QThread(parent)
{
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

void CThreadVlc::setUrl(const QUrl &url, QWidget *videoWidget)
{
    // winId() creates the native window if needed: GUI-thread work, done here.
    const WId hwnd = videoWidget ? videoWidget->winId() : 0;
    QVlcMutexLocker locker(&m_mutex);
    m_url = url;
    m_hwnd = hwnd;
    m_nCommand = CommandPlay;
}

void CThreadVlc::stop()
{
    qDebug() << "stop1";
    {
        QVlcMutexLocker locker(&m_mutex);
        qDebug() << "stop2";
        m_nCommand = CommandStop;
    }
    qDebug() << (isRunning() ? "true" : "false");
}

void CThreadVlc::quitPlayer()
{
    QVlcMutexLocker locker(&m_mutex);
    m_nCommand = CommandQuit;
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
    for (;;) {
        int nCommand;
        {
            QVlcMutexLocker locker(&m_mutex);
            nCommand = m_nCommand;
            if (nCommand == CommandPlay || nCommand == CommandStop)
                m_nCommand = CommandNone;
        }
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
            // This thread runs no event loop, so the player's track lists are
            // filled from here when libVLC has reported new streams.
            if (m_pPlayer)
                m_pPlayer->pollTracks();
            QThread::msleep(10);
            break;
        }
    }
}

void CThreadVlc::playPlayer()
{
    qDebug() << "playPlayer";
    if (!m_pInstance) {
        m_pInstance = new QVlcInstance(
            {QStringLiteral("--no-ignore-config"), QStringLiteral("--media-library")});
        auto *player = new QVlcMediaPlayer(m_pInstance);
        connect(player, QOverload<int>::of(&QVlcMediaPlayer::stateChanged), this,
                &CThreadVlc::stateChanged);
        connect(player, QOverload<int>::of(&QVlcMediaPlayer::stateChanged), this,
                &CThreadVlc::onStateChanged);
        QVlcMutexLocker locker(&m_mutex);
        m_pPlayer = player;
    }

    QUrl url;
    WId hwnd;
    QString text;
    int nVolume;
    bool bMuted;
    {
        QVlcMutexLocker locker(&m_mutex);
        url = m_url;
        hwnd = m_hwnd;
        text = subtitleFile;
        nVolume = m_nVolume;
        bMuted = m_bMuted;
    }

    m_pPlayer->setHwnd(hwnd);
    m_pPlayer->open(url);
    m_pPlayer->play();
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
}

void CThreadVlc::quitSequence()
{
    qDebug() << "VLC_QUIT1";
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
    if (m_pInstance) {
        delete m_pInstance;
        m_pInstance = nullptr;
    }
    qDebug() << "VLC_QUIT3";
    emit closeMainWindow();
}
