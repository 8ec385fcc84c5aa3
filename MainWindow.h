#pragma once

#include "AfterFirstPicture.h"
#include "BackoffTimer.h"
#include "ChannelListModel.h"
#include "EarlyPlay.h"
#include "StreamWatch.h"
#include "ThreadVlc.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class CDlgControl;
class CDlgStatusText;
class CDlgVideoList;
class CDlgVideoText;
class CThreadVlc;
class GuideService;
class KeyboardZapper;
class QMessageBox;
class QNetworkAccessManager;
class ServiceReplyReader;
struct ServiceReply;

namespace Ui {
class MainWindow;
}

// The player's window: it shows nothing but the video, owns everything that
// floats over it and the playback worker, and turns the user's actions into
// commands for the worker.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    bool play(const QString &name, const QString &url);
    // Plays a channel with its own stream options, if its origin lets its
    // URL play (StreamSchemeCheck); a refused one is told and not played.
    bool play(const VideoItem &rec);
    void playOrStop(bool bPlayLast);
    void postPlayInfo(const QString &name, const QString &url);

    // Start-up placement: centred on the desktop rectangle, integer division
    // truncated toward zero, never clamped.
    static QRect centredGeometry(const QRect &rcDesktop, int nWidth, int nHeight);

    // The channel service's base address, fixed at build time. Tests point the
    // windows they make at a server of their own through setServiceUrl()
    // before constructing them; the program never calls it.
    static QUrl serviceUrl();
    static void setServiceUrl(const QUrl &url);

signals:
    void getListVer(QString);

public slots:
    void getSettingsFromWeb();
    void getVideoListFromWeb();

private slots:
    void onMouseMove();
    void onMouseLeave();
    void onMouseLeftDbClick();
    void onMouseLeftPress();
    void onMouseLeftRelease();
    void onActionAbout();
    void onActionOptions();
    void onClickShowChannelList();
    void onClickPrevious();
    void onClickNext();
    void onClickPlay();
    void onClickMute();
    void onActionExit();
    void onMoveVolume(int nVal);
    void onMoveProgress(int nVal);
    void onTimeOutControl();
    void onTimeOutChannelName();
    void onTimeOutVolume();
    void onTimeOutHideCursor();
    void onNetworkReplyFinish();
    void onPlayerStateChanged(int nState);
    void onDbClickChannelItem();
    void onChannelListCurrentChanged();
    void on_actionFullscreen_triggered();
    void onCloseMainWindow();
    void onStreamStateChanged(CStreamWatch::State state);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    friend class TestMainWindow;
    friend class TestWebClient;
    friend struct FuzzAccess;

    void showControlPanel();
    void hideControlPanel();
    void placeControlPanel();
    void showChannelList();
    void hideChannelList();
    void placeChannelList();
    void restoreCursor();
    void showChannelName();
    void placeChannelNameText();
    void showVolumeText();
    void placeVolumeText();
    void showChannelListHint();
    // Auto-play of the last channel, or the hint where the channels are.
    void playAtStart();
    int cursorRowInSurface() const;
    void playCurrentChannel();
    // The volume moved as by the wheel (120: one notch up).
    void stepVolume(int nWheelDelta);
    void showChannelNumber(const QString &strDigits);
    void playChannelNumber(int nNumber);
    void connectKeys();
    // The guide addresses of the options and of the imported playlists.
    void updateGuideAddresses();
    void adoptWorker(CThreadVlc *pWorker);
    void startWorkerInBackground();

    // The body of a reply of the channel service (from the request to
    // strPath): read (off the GUI thread when big), then acted upon by its
    // "action" in applyServiceReply.
    void handleServiceReply(QByteArray body, const QString &strPath);
    void applyServiceReply(const ServiceReply &reply, const QString &strPath);
    void updateNewlyChannels(const ChannelListModel::Rows &rows);
    void showChannelListRefused(const QString &strText);
    void showStreamRefused(const QString &strName, const QString &strScheme);

    Ui::MainWindow *ui;
    CThreadVlc *m_pThreadVlc = nullptr;
    CDlgVideoList *m_pDlgVideoList = nullptr;
    CDlgControl *m_pDlgControl = nullptr;
    CDlgVideoText *m_pDlgChannelName = nullptr;
    CDlgVideoText *m_pDlgVolume = nullptr;
    QTimer m_timerChannelName;
    QTimer m_timerVolume;
    QTimer m_timerHideCursor;
    bool m_bCursorHidden = false;
    bool m_bFullScreen = false;
    bool m_bMaximizedBeforeFullScreen = false;
    QTimer m_timerControl;
    bool m_bPlaying = false;
    bool m_bCloseByThread = false;
    QString m_strVideoName;
    QString m_strVideoUrl;
    QString m_strVideoTvgId; // the playing channel's, for the guide
    QString m_strListVer;
    QNetworkAccessManager *m_pNetworkManager = nullptr;
    ServiceReplyReader *m_pReplyReader = nullptr;
    QPointer<QMessageBox> m_pListRefused;
    QPointer<QMessageBox> m_pStreamRefused;

    // What the user is told of the channel that plays, and its reconnects.
    CStreamWatch m_streamWatch;
    // The playback status over the middle of the video, and the hint below
    // the channel list; children of the window, hidden while they say nothing.
    CDlgStatusText *m_pDlgStatus = nullptr;
    CDlgStatusText *m_pDlgHint = nullptr;
    // The channel auto-play started: should it fail, the list is offered.
    bool m_bListIfStartFails = false;
    // A failed get_settings is asked again: 5 s, doubling up to 5 min.
    CBackoffTimer m_settingsRetry{5000, 300000};
    KeyboardZapper *m_pZapper = nullptr;
    // What is on: under the channels of the list and with the channel name.
    GuideService *m_pGuide = nullptr;
    // The auto-played channel's play, raised while the window is built, and
    // what waits until it shows a picture.
    CEarlyPlay m_earlyPlay;
    CAfterFirstPicture m_afterFirstPicture;
};
