#include "MainWindow.h"
#include "ChannelDetails.h"
#include "DlgControl.h"
#include "DlgOptions.h"
#include "DlgStatusText.h"
#include "DlgVideoList.h"
#include "DlgVideoText.h"
#include "GlDriverWarmUp.h"
#include "KeyboardZapper.h"
#include "Settings.h"
#include "StreamSchemeCheck.h"
#include "ThreadVlc.h"
#include "guide/GuideService.h"
#include "guide/GuideSources.h"
#include "guide/GuideText.h"
#include "qvlc/qvlcmediaplayer.h"
#include "qvlc/qvlcmenu.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDebug>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QWheelEvent>

namespace {
// Hot zones over the video surface, in rows.
constexpr int kListZoneRows = 200;
constexpr int kListHeight = 200;
constexpr int kPanelZoneRows = 69;
constexpr int kPanelHeight = 70;
constexpr int kPanelWidth = 500;
} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    // When auto-play will start the stored channel, the worker makes libVLC's
    // engine while the window is built, and the media opens as soon as the
    // video surface has its window (the order of start-up: ThreadVlc.h);
    // what the first picture does not need waits for it.
    if (CThreadVlc *pWorker = m_earlyPlay.takeWorker(*g_pSettings)) {
        adoptWorker(pWorker);
        m_afterFirstPicture.hold();
        // The first picture has loaded the OpenGL driver; it is kept loaded
        // for the next channel, once the start-up is over.
        m_afterFirstPicture.run(
            [this] { QTimer::singleShot(2000, this, &CGlDriverWarmUp::start); });
    }
    // The images live in the static library; make sure the linker kept them.
    Q_INIT_RESOURCE(res);
    // The engine's menu icons, which the window's form and panel show too.
    Q_INIT_RESOURCE(qvlc);
    ui->setupUi(this);
    ui->centralWidget->setMenu(new QVlcMenu(this));

    setWindowFlags(Qt::Dialog | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::WindowFullscreenButtonHint);
    setAttribute(Qt::WA_MouseTracking);
    QPalette pal = palette();
    pal.setBrush(QPalette::Window, QBrush(Qt::black));
    setPalette(pal);
    if (m_pThreadVlc)
        m_streamWatch.watch(m_pThreadVlc, m_earlyPlay.raise(m_pThreadVlc, ui->centralWidget));

    m_pDlgControl = new CDlgControl(this);
    m_pDlgControl->setVolume(g_pSettings->m_nVolume);
    m_pDlgControl->setMuted(g_pSettings->m_bVolumeMuted);
    m_pDlgControl->hide();

    connect(m_pDlgControl, &CDlgControl::clickActionAbout, this, &MainWindow::onActionAbout);
    connect(m_pDlgControl, &CDlgControl::clickActionOptions, this, &MainWindow::onActionOptions);
    connect(m_pDlgControl, &CDlgControl::clickShowChannelList, this,
            &MainWindow::onClickShowChannelList);
    connect(m_pDlgControl, &CDlgControl::clickPrevious, this, &MainWindow::onClickPrevious);
    connect(m_pDlgControl, &CDlgControl::clickNext, this, &MainWindow::onClickNext);
    connect(m_pDlgControl, &CDlgControl::clickPlay, this, &MainWindow::onClickPlay);
    connect(m_pDlgControl, &CDlgControl::clickMute, this, &MainWindow::onClickMute);
    connect(m_pDlgControl, &CDlgControl::clickFullScreen, this,
            &MainWindow::on_actionFullscreen_triggered);
    connect(m_pDlgControl, &CDlgControl::moveVolume, this, &MainWindow::onMoveVolume);
    connect(m_pDlgControl, &CDlgControl::moveProgress, this, &MainWindow::onMoveProgress);

    m_pDlgVideoList = new CDlgVideoList(this);
    m_pDlgVideoList->hide();
    connect(m_pDlgVideoList, &CDlgVideoList::doubleClickedChannel, this,
            &MainWindow::onDbClickChannelItem);
    connect(m_pDlgVideoList, &CDlgVideoList::currentChanged, this,
            &MainWindow::onChannelListCurrentChanged);
    connect(m_pDlgVideoList, &CDlgVideoList::refreshNewlyChannels, this,
            &MainWindow::getSettingsFromWeb);

    m_pGuide = new GuideService(GuideCache::defaultPath(), this);
    m_pGuide->setChannelSource([this] { return m_pDlgVideoList->guideChannels(); });
    m_pDlgVideoList->setGuide(m_pGuide);
    connect(m_pDlgVideoList, &CDlgVideoList::channelsSaved, m_pGuide,
            &GuideService::channelsChanged);
    connect(m_pDlgVideoList, &CDlgVideoList::guideAddressesChanged, this,
            &MainWindow::updateGuideAddresses);
    updateGuideAddresses();
    // A guide keeps only the programmes of the user's channels: it is read
    // once the stored lists are there, and with auto-play once the first
    // picture is (its cache is read on the cores libVLC starts on).
    const auto startGuide = [this] { m_afterFirstPicture.run([this] { m_pGuide->start(); }); };
    if (m_pDlgVideoList->isLoaded())
        startGuide();
    else
        connect(m_pDlgVideoList, &CDlgVideoList::loaded, this, startGuide);

    m_pDlgControl->setPrevNextEnabled(m_pDlgVideoList->hasNextChannel(),
                                      m_pDlgVideoList->hasPreviousChannel());

    m_timerControl.setInterval(5000);
    m_timerChannelName.setInterval(2000);
    m_timerVolume.setInterval(2000);
    m_timerHideCursor.setInterval(2000);
    connect(&m_timerControl, &QTimer::timeout, this, &MainWindow::onTimeOutControl);
    connect(&m_timerChannelName, &QTimer::timeout, this, &MainWindow::onTimeOutChannelName);
    connect(&m_timerVolume, &QTimer::timeout, this, &MainWindow::onTimeOutVolume);
    connect(&m_timerHideCursor, &QTimer::timeout, this, &MainWindow::onTimeOutHideCursor);

    QVlcVideoWidget *pSurface = ui->centralWidget;
    connect(pSurface, &QVlcVideoWidget::mouseLeftPress, this, &MainWindow::onMouseLeftPress);
    connect(pSurface, &QVlcVideoWidget::mouseLeftRelease, this, &MainWindow::onMouseLeftRelease);
    connect(pSurface, &QVlcVideoWidget::mouseLeftDbClick, this, &MainWindow::onMouseLeftDbClick);
    connect(pSurface, &QVlcVideoWidget::mouseMove, this, &MainWindow::onMouseMove);
    connect(pSurface, &QVlcVideoWidget::clickAbout, this, &MainWindow::onActionAbout);
    connect(pSurface, &QVlcVideoWidget::clickFullscreen, this,
            &MainWindow::on_actionFullscreen_triggered);
    connect(pSurface, &QVlcVideoWidget::clickOptions, this, &MainWindow::onActionOptions);
    connect(pSurface, &QVlcVideoWidget::clickExit, this, &MainWindow::onActionExit);

    m_pDlgStatus = new CDlgStatusText(this, Qt::AlignCenter);
    m_pDlgHint = new CDlgStatusText(this, Qt::AlignLeft | Qt::AlignTop, kListHeight);
    connect(&m_settingsRetry, &CBackoffTimer::due, this, &MainWindow::getSettingsFromWeb);
    connect(&m_streamWatch, &CStreamWatch::stateChanged, this, &MainWindow::onStreamStateChanged);
    connectKeys();

    // A big store is read in the background (main.cpp): the service is asked
    // for its list once the stored lists are there to be replaced, and the
    // start falls back on them only then. With auto-play the request also
    // waits for the first picture.
    const auto askService = [this] { m_afterFirstPicture.run([this] { getSettingsFromWeb(); }); };
    if (m_pDlgVideoList->isLoaded())
        askService();
    else
        connect(m_pDlgVideoList, &CDlgVideoList::loaded, this, askService);
    if (g_pSettings->m_bAutoPlayLast && !m_pDlgVideoList->isLoaded() &&
        g_pSettings->m_strPlayingVideoName.isEmpty())
        connect(m_pDlgVideoList, &CDlgVideoList::loaded, this, &MainWindow::playAtStart);
    else
        playAtStart();
    // Nothing plays yet: the engine is made in the background once the window
    // shows, so that the first play does not wait for it.
    if (!m_pThreadVlc)
        QTimer::singleShot(0, this, &MainWindow::startWorkerInBackground);

    ui->actionFullscreen->setShortcut(QKeySequence(QStringLiteral("Alt K")));
    connect(ui->actionFullscreen, &QAction::triggered, this,
            &MainWindow::on_actionFullscreen_triggered);
}

MainWindow::~MainWindow()
{
    qDebug() << "closeEvent1";
    if (m_pThreadVlc) {
        m_pThreadVlc->quitPlayer();
        m_pThreadVlc->wait();
    }
    qDebug() << "closeEvent2";
    delete m_pThreadVlc;
    m_pThreadVlc = nullptr;
    qDebug() << "closeEvent3";

    delete ui;
    ui = nullptr;
    // Before the list it asks for the channels; a read under way is stopped.
    delete m_pGuide;
    m_pGuide = nullptr;
    delete m_pDlgVideoList;
    m_pDlgVideoList = nullptr;
    delete m_pDlgControl;
    m_pDlgControl = nullptr;
    delete m_pDlgChannelName;
    m_pDlgChannelName = nullptr;
    delete m_pDlgVolume;
    m_pDlgVolume = nullptr;
}

QRect MainWindow::centredGeometry(const QRect &rcDesktop, int nWidth, int nHeight)
{
    return QRect((rcDesktop.width() - nWidth) / 2, (rcDesktop.height() - nHeight) / 2, nWidth,
                 nHeight);
}

bool MainWindow::play(const QString &name, const QString &url)
{
    VideoItem rec;
    rec.strName = name;
    rec.strUrl = url;
    return play(rec);
}

bool MainWindow::play(const VideoItem &rec)
{
    const QString &name = rec.strName;
    const QString &url = rec.strUrl;
    if (name.isEmpty() || url.isEmpty())
        return false;
    // A URL someone else wrote (a playlist, the service) could as well name a
    // local file, the screen or a camera: it plays only over the network.
    const QUrl streamUrl(url, QUrl::TolerantMode);
    if (!StreamSchemeCheck::allows(streamUrl, rec.origin)) {
        showStreamRefused(name, StreamSchemeCheck::schemeOf(streamUrl));
        return false;
    }
    qDebug() << "play";
    m_strVideoName = name;
    m_strVideoUrl = url;
    m_strVideoTvgId = rec.strTvgId;

    if (!m_pThreadVlc)
        adoptWorker(new CThreadVlc(nullptr));
    // The play raised early for the auto-played channel is not raised again.
    if (!m_earlyPlay.take(rec)) {
        m_pThreadVlc->setVolume(g_pSettings->m_nVolume);
        m_pThreadVlc->setMuted(g_pSettings->m_bVolumeMuted, true);
        m_pThreadVlc->setSubtitleFile(name);
        m_pThreadVlc->setMediaOptions(rec.options.vlcOptions());
        m_streamWatch.watch(m_pThreadVlc, m_pThreadVlc->setUrl(streamUrl, ui->centralWidget));
    }
    m_bPlaying = true;
    m_bListIfStartFails = false;
    qDebug() << "muted: " << (g_pSettings->m_bVolumeMuted ? "true" : "false");

    setWindowTitle(tr("Mirel Player") + QStringLiteral("--") + name);
    m_afterFirstPicture.run([this, name, url] { postPlayInfo(name, url); });
    g_pSettings->setPlayingVideoName(name);
    g_pSettings->setPlayingVideoUrl(url);
    g_pSettings->setPlayingVideoDetails(ChannelDetails::ofPlaying(rec));
    // At start-up the name comes with the picture: the overlay's font is the
    // first text laid out, and loading the fonts can wait for it.
    m_afterFirstPicture.run([this] { showChannelName(); });
    return true;
}

void MainWindow::showStreamRefused(const QString &strName, const QString &strScheme)
{
    qDebug() << "not played: the scheme" << strScheme
             << "is not one a channel from elsewhere may use";
    if (!m_pStreamRefused) {
        m_pStreamRefused =
            new QMessageBox(QMessageBox::Warning, tr("Error"), QString(), QMessageBox::Ok, this);
        m_pStreamRefused->setModal(false);
        m_pStreamRefused->setTextFormat(Qt::PlainText); // the name is remote text
        m_pStreamRefused->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_pStreamRefused->setText(
        tr("\"%1\" was not played: its address uses \"%2\", which only channels you add "
           "yourself may use. Channels from a playlist or the channel service play over http, "
           "https, rtsp, rtmp, rtmps, rtp, udp, mms, mmsh or srt.")
            .arg(strName, strScheme));
    m_pStreamRefused->show();
}

void MainWindow::adoptWorker(CThreadVlc *pWorker)
{
    m_pThreadVlc = pWorker;
    connect(m_pThreadVlc, &CThreadVlc::closeMainWindow, this, &MainWindow::onCloseMainWindow);
    // libVLC leaves its last picture in the surface's window when it stops (as
    // the watch has it do with a dead stream): painted black again, no stale
    // picture stays under the message.
    connect(m_pThreadVlc, &CThreadVlc::playerStopped, this,
            [this] { ui->centralWidget->update(); });
}

void MainWindow::startWorkerInBackground()
{
    // Not for a window that was closed, or never shown, meanwhile.
    if (!m_pThreadVlc && isVisible()) {
        adoptWorker(new CThreadVlc(nullptr, CThreadVlc::EngineAtOnce));
        CGlDriverWarmUp::start();
    }
}

void MainWindow::playOrStop(bool bPlayLast)
{
    if (m_bPlaying) {
        m_bPlaying = false;
        ui->centralWidget->hide();
        m_pThreadVlc->stop();
        m_streamWatch.stop();
    } else {
        // The last played channel, with where it came from.
        const auto lastPlayed = [] { return CEarlyPlay::lastPlayed(*g_pSettings); };
        VideoItem rec;
        if (!bPlayLast) {
            m_pDlgVideoList->getCurrentChannel(rec);
            if (rec.strName.isEmpty())
                rec = lastPlayed();
        } else {
            rec = lastPlayed();
            if (rec.strName.isEmpty())
                m_pDlgVideoList->getCurrentChannel(rec);
        }
        if (rec.strName.isEmpty() && g_pSettings->firstDefaultChannel(rec.strName, rec.strUrl)) {
            rec.origin = ChannelOrigin::Service;
            rec.options = StreamOptions();
        }
        ui->centralWidget->show();
        m_bPlaying = play(rec);
    }
    m_pDlgControl->setPlaying(m_bPlaying);
}

// ---- slots: playback control ----

void MainWindow::onClickPlay()
{
    qDebug() << "onClickPlay";
    playOrStop(false);
}

void MainWindow::onClickPrevious()
{
    m_pDlgVideoList->selectPreviousChannel();
    playCurrentChannel();
}

void MainWindow::onClickNext()
{
    m_pDlgVideoList->selectNextChannel();
    playCurrentChannel();
}

void MainWindow::onDbClickChannelItem()
{
    playCurrentChannel();
}

void MainWindow::playCurrentChannel()
{
    // The play toggle starts the list's current channel. What plays is not
    // stopped first: the worker opens the new media over it, whereas a stop
    // taken first (the worker takes each command at once) would tear the
    // picture down and cost the switch tens of milliseconds. Only when no new
    // play starts is it stopped.
    const bool bWasPlaying = m_bPlaying;
    if (m_bPlaying) {
        m_streamWatch.stop();
        m_bPlaying = false;
    }
    onClickPlay();
    if (bWasPlaying && !m_bPlaying && m_pThreadVlc && m_pThreadVlc->isRunning())
        m_pThreadVlc->stop();
}

void MainWindow::onChannelListCurrentChanged()
{
    m_pDlgControl->setPrevNextEnabled(m_pDlgVideoList->hasNextChannel(),
                                      m_pDlgVideoList->hasPreviousChannel());
}

void MainWindow::onPlayerStateChanged(int nState)
{
    if (!m_pDlgControl)
        return;
    m_pDlgControl->setPlaying(nState == QVlcMediaPlayer::Opening ||
                              nState == QVlcMediaPlayer::Buffering ||
                              nState == QVlcMediaPlayer::Playing);
}

void MainWindow::onClickMute()
{
    g_pSettings->setVolumeMuted(!g_pSettings->m_bVolumeMuted);
    showVolumeText();
    if (m_pThreadVlc)
        m_pThreadVlc->setMuted(g_pSettings->m_bVolumeMuted, true);
    m_pDlgControl->setMuted(g_pSettings->m_bVolumeMuted);
}

void MainWindow::onMoveVolume(int nVal)
{
    if (m_pThreadVlc)
        m_pThreadVlc->setVolume(nVal);
    ui->centralWidget->update();
    g_pSettings->setVolume(nVal);
    showVolumeText();
}

void MainWindow::onMoveProgress(int nVal)
{
    Q_UNUSED(nVal)
}

void MainWindow::on_actionFullscreen_triggered()
{
    if (m_timerHideCursor.isActive())
        m_timerHideCursor.stop();
    if (m_bFullScreen) {
        if (m_bMaximizedBeforeFullScreen)
            showMaximized();
        else
            showNormal();
        restoreCursor();
    } else {
        m_bMaximizedBeforeFullScreen = isMaximized();
        showFullScreen();
        m_timerHideCursor.start();
    }
    m_bFullScreen = !m_bFullScreen;
}

void MainWindow::onActionOptions()
{
    m_streamWatch.cancelRetry();
    CDlgOptions dlg(this);
    if (dlg.exec() == QDialog::Accepted) {
        loadTranslations();
        updateGuideAddresses();
    }
}

void MainWindow::updateGuideAddresses()
{
    m_pGuide->setAddresses(GuideSources::merged(g_pSettings->m_lstGuideAddresses,
                                                g_pSettings->m_lstCategoryList,
                                                g_pSettings->m_mapPlaylistGuideAddresses));
}

void MainWindow::onActionExit()
{
    close();
}

void MainWindow::onCloseMainWindow()
{
    m_bCloseByThread = true;
    close();
}

// ---- close sequence ----

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    placeControlPanel();
    placeChannelList();
    placeChannelNameText();
    placeVolumeText();
    if (m_pDlgStatus) {
        m_pDlgStatus->place();
        m_pDlgHint->place();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_bCloseByThread) {
        QMainWindow::closeEvent(event);
        return;
    }
    // What waited for the first picture is of no use any more.
    m_afterFirstPicture.drop();
    m_streamWatch.stop();
    g_pSettings->setMainWindowMaximized(isMaximized());
    g_pSettings->setMainWindowHeight(height());
    g_pSettings->setMainWindowWidth(width());
    if (!m_pThreadVlc) {
        // Nothing was ever played: no worker to shut down and nobody who would
        // report back, so the close completes at once.
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    hide();
    m_pThreadVlc->setMuted(true, true);
    m_pThreadVlc->quitPlayer();
}

// ---- input ----

int MainWindow::cursorRowInSurface() const
{
    return ui->centralWidget->mapFromGlobal(QCursor::pos()).y();
}

void MainWindow::onMouseMove()
{
    const int y = cursorRowInSurface();
    const int nHeight = ui->centralWidget->height();
    bool bKeep = false;
    if (y > kListZoneRows - 1) {
        hideChannelList();
    } else {
        showChannelList();
        bKeep = true;
    }
    if (y < nHeight - kPanelZoneRows) {
        hideControlPanel();
    } else {
        showControlPanel();
        bKeep = true;
    }
    if (m_timerControl.isActive())
        m_timerControl.stop();
    m_timerControl.start();
    restoreCursor();
    if (!bKeep)
        m_timerHideCursor.start();
}

void MainWindow::onTimeOutControl()
{
    const int y = cursorRowInSurface();
    if (y <= kListZoneRows - 1)
        return;
    if (y < ui->centralWidget->height() - kPanelZoneRows) {
        hideControlPanel();
        hideChannelList();
        // Nothing left to hide: no need to wake up again until the pointer moves.
        m_timerControl.stop();
    }
}

void MainWindow::onMouseLeave()
{
    hideControlPanel();
    hideChannelList();
}

void MainWindow::onMouseLeftDbClick()
{
    on_actionFullscreen_triggered();
}

void MainWindow::onMouseLeftPress()
{
    qDebug() << ui->centralWidget->mapFromGlobal(QCursor::pos());
}

void MainWindow::onMouseLeftRelease()
{
    qDebug() << ui->centralWidget->mapFromGlobal(QCursor::pos());
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    QMainWindow::mouseMoveEvent(event);
    if (ui->centralWidget->isHidden())
        onMouseMove();
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    QMainWindow::mouseReleaseEvent(event);
    if (ui->centralWidget->isHidden() && event->button() == Qt::MiddleButton)
        on_actionFullscreen_triggered();
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent *event)
{
    QMainWindow::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        on_actionFullscreen_triggered();
}

void MainWindow::connectKeys()
{
    m_pZapper = new KeyboardZapper(this);
    // The same rules as the panel's Previous and Next buttons.
    connect(m_pZapper, &KeyboardZapper::previousChannel, this, [this] {
        if (m_pDlgVideoList->hasPreviousChannel())
            onClickPrevious();
    });
    connect(m_pZapper, &KeyboardZapper::nextChannel, this, [this] {
        if (m_pDlgVideoList->hasNextChannel())
            onClickNext();
    });
    connect(m_pZapper, &KeyboardZapper::numberTyped, this, &MainWindow::showChannelNumber);
    connect(m_pZapper, &KeyboardZapper::channelNumber, this, &MainWindow::playChannelNumber);
    connect(m_pZapper, &KeyboardZapper::playCurrent, this, &MainWindow::playCurrentChannel);
    connect(m_pZapper, &KeyboardZapper::playOrStop, this, &MainWindow::onClickPlay);
    connect(m_pZapper, &KeyboardZapper::mute, this, &MainWindow::onClickMute);
    connect(m_pZapper, &KeyboardZapper::fullScreen, this,
            &MainWindow::on_actionFullscreen_triggered);
    connect(m_pZapper, &KeyboardZapper::volumeStep, this, &MainWindow::stepVolume);
    connect(m_pZapper, &KeyboardZapper::search, this, [this] {
        showChannelList();
        m_pDlgVideoList->startSearch();
    });
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (m_pZapper->keyPress(event)) {
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::showChannelNumber(const QString &strDigits)
{
    // In the channel name's place, as a TV shows the number being typed.
    if (!m_pDlgChannelName)
        m_pDlgChannelName = new CDlgVideoText(this);
    m_pDlgChannelName->m_strText = strDigits;
    m_pDlgChannelName->update();
    placeChannelNameText();
    m_pDlgChannelName->show();
    m_timerChannelName.start();
}

void MainWindow::playChannelNumber(int nNumber)
{
    if (m_pDlgVideoList->selectChannelNumber(nNumber))
        playCurrentChannel();
    else
        onTimeOutChannelName(); // no such channel: the number goes away
}

void MainWindow::keyReleaseEvent(QKeyEvent *event)
{
    if (m_bFullScreen && event->key() == Qt::Key_Escape) {
        event->accept();
        on_actionFullscreen_triggered();
    }
    QMainWindow::keyReleaseEvent(event);
    qDebug() << "MainWindow::keyReleaseEvent";
}

void MainWindow::wheelEvent(QWheelEvent *event)
{
    QMainWindow::wheelEvent(event);
    qDebug() << "MainWindow::wheelEvent";
    if (m_pDlgVideoList && m_pDlgVideoList->isVisible())
        return;
    stepVolume(event->angleDelta().y());
}

void MainWindow::stepVolume(int nWheelDelta)
{
    const int nVolume = qBound(0, g_pSettings->m_nVolume + nWheelDelta / 20, 100);
    g_pSettings->setVolume(nVolume);
    if (m_pThreadVlc)
        m_pThreadVlc->setVolume(nVolume);
    if (m_pDlgControl)
        m_pDlgControl->setVolume(nVolume);
    showVolumeText();
}

void MainWindow::leaveEvent(QEvent *event)
{
    QMainWindow::leaveEvent(event);
}

void MainWindow::onClickShowChannelList()
{
    if (m_pDlgVideoList->isVisible())
        hideChannelList();
    else
        showChannelList();
}

// ---- floating panels ----

void MainWindow::showControlPanel()
{
    m_pDlgControl->show();
    placeControlPanel();
    restoreCursor();
}

void MainWindow::hideControlPanel()
{
    if (!m_pDlgControl)
        return;
    m_pDlgControl->hide();
    ui->centralWidget->repaint();
}

void MainWindow::placeControlPanel()
{
    if (!m_pDlgControl || !m_pDlgControl->isVisible())
        return;
    const int W = width();
    const int H = height();
    int fw = m_pDlgControl->frameGeometry().width();
    int fh = m_pDlgControl->frameGeometry().height();
    if (W < fw || fw < kPanelWidth) {
        const int nRequested = W > kPanelWidth ? kPanelWidth : W;
        if (nRequested > 0)
            m_pDlgControl->resize(nRequested, kPanelHeight);
        fw = nRequested;
        fh = kPanelHeight;
    }
    m_pDlgControl->move(W / 2 - fw / 2, H - fh - 1);
}

void MainWindow::showChannelList()
{
    m_pDlgVideoList->show();
    placeChannelList();
    restoreCursor();
}

void MainWindow::hideChannelList()
{
    if (!m_pDlgVideoList)
        return;
    m_pDlgVideoList->hide();
    m_pDlgVideoList->hideContextMenu();
    if (m_pDlgHint)
        m_pDlgHint->hide();
    setFocus(Qt::ActiveWindowFocusReason);
    ui->centralWidget->update();
}

void MainWindow::placeChannelList()
{
    if (!m_pDlgVideoList || !m_pDlgVideoList->isVisible())
        return;
    m_pDlgVideoList->resize(width(), kListHeight);
    m_pDlgVideoList->move(0, 0);
}

void MainWindow::restoreCursor()
{
    if (m_bCursorHidden) {
        setCursor(Qt::ArrowCursor);
        m_bCursorHidden = false;
    }
    if (m_timerHideCursor.isActive())
        m_timerHideCursor.stop();
}

void MainWindow::onTimeOutHideCursor()
{
    if (!m_bPlaying)
        return;
    m_bCursorHidden = true;
    setCursor(Qt::BlankCursor);
    m_timerHideCursor.stop();
}

// ---- overlays ----

void MainWindow::showChannelName()
{
    if (!m_pDlgChannelName)
        m_pDlgChannelName = new CDlgVideoText(this);
    // With what is on now and next when the guide knows the channel.
    const QString strGuide =
        GuideText::overlayLines(m_pGuide->nowNext(m_strVideoName, m_strVideoTvgId));
    m_pDlgChannelName->m_strText =
        strGuide.isEmpty() ? m_strVideoName : m_strVideoName + QLatin1Char('\n') + strGuide;
    m_pDlgChannelName->update();
    placeChannelNameText();
    m_pDlgChannelName->show();
    if (m_timerChannelName.isActive())
        m_timerChannelName.stop();
    m_timerChannelName.start();
}

void MainWindow::placeChannelNameText()
{
    if (!m_pDlgChannelName)
        return;
    m_pDlgChannelName->resize(m_pDlgChannelName->textSize());
    m_pDlgChannelName->move(0, 0);
}

void MainWindow::onTimeOutChannelName()
{
    if (m_pDlgChannelName)
        m_pDlgChannelName->hide();
    m_timerChannelName.stop();
}

void MainWindow::showVolumeText()
{
    if (!m_pDlgVolume)
        m_pDlgVolume = new CDlgVideoText(this);
    if (g_pSettings->m_bVolumeMuted)
        m_pDlgVolume->m_strText = tr("Muted");
    else
        m_pDlgVolume->m_strText = tr("Volume: %1").arg(m_pDlgControl->volume());
    m_pDlgVolume->update();
    placeVolumeText();
    m_pDlgVolume->show();
    if (m_timerVolume.isActive())
        m_timerVolume.stop();
    m_timerVolume.start();
}

void MainWindow::placeVolumeText()
{
    if (!m_pDlgVolume)
        return;
    m_pDlgVolume->resize(m_pDlgVolume->textSize());
    m_pDlgVolume->move(width() - m_pDlgVolume->width(), 0);
}

void MainWindow::onTimeOutVolume()
{
    if (m_pDlgVolume)
        m_pDlgVolume->hide();
    m_timerVolume.stop();
}

void MainWindow::onStreamStateChanged(CStreamWatch::State state)
{
    // The auto-played channel shows a picture, or will not soon.
    if (state != CStreamWatch::Starting)
        m_afterFirstPicture.release();
    // A channel that failed for good no longer plays: the panel offers Play,
    // and Play starts a channel instead of stopping one.
    if (state == CStreamWatch::Failed)
        m_bPlaying = false;
    m_pDlgControl->setPlaying(m_bPlaying);
    m_pDlgStatus->showText(m_streamWatch.statusText());
    if (state == CStreamWatch::Failed && m_bListIfStartFails)
        showChannelListHint();
    if (state == CStreamWatch::Playing || state == CStreamWatch::Failed)
        m_bListIfStartFails = false;
}

void MainWindow::playAtStart()
{
    if (m_bPlaying)
        return; // the user was quicker
    if (g_pSettings->m_bAutoPlayLast)
        playOrStop(true);
    // With nothing to play, the user is shown where the channels are (once
    // the window is up: the list is a native child); so too when the last
    // channel fails.
    if (!m_bPlaying)
        QTimer::singleShot(0, this, &MainWindow::showChannelListHint);
    else
        m_bListIfStartFails = true;
}

void MainWindow::showChannelListHint()
{
    showChannelList();
    m_pDlgHint->showText(tr("Double-click a channel to play it"));
}

void MainWindow::onActionAbout()
{
    const QString strHome = serviceUrl().toString();
    QMessageBox::about(
        this, tr("About Mirel Player"),
        tr("<h2>Mirel Player %1</h2><br><br>Channel Version: %2<br><a href=\"%3\">%3</a>")
                .arg(QStringLiteral("1.2"), g_pSettings->m_strChannelListVer.toHtmlEscaped(),
                     strHome.toHtmlEscaped()) +
            KeyboardZapper::helpText());
}
