#include "ChannelDetails.h"
#include "DlgControl.h"
#include "DlgStatusText.h"
#include "DlgVideoList.h"
#include "DlgVideoText.h"
#include "MainWindow.h"
#include "Settings.h"
#include "ThreadVlc.h"
#include "channellist_helpers.h"
#include "guide/GuideService.h"
#include "guidegen.h"
#include "httpfileserver.h"
#include "qvlc/qvlcinstance.h"
#include "qvlc/qvlcmedia.h"
#include "qvlc/qvlcmediaplayer.h"
#include "qvlc/qvlcvideowidget.h"
#include "testmedia.h"
#include "testsupport.h"
#include "ui_DlgControl.h"
#include "ui_MainWindow.h"

#include <QListView>
#include <QProcess>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

// The main window's input, overlays and floating panels on a real X server
// with a window manager (full screen and maximised states need one).
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void startWithNothingToPlay();
    void hotZones();
    void panelInNarrowWindow();
    void wheel_data();
    void wheel();
    void wheelIgnoredWhileListShown();
    void muteTwice();
    void fullScreenRoundTrip_data();
    void fullScreenRoundTrip();
    void escapeOutsideFullScreen();
    void cursorStaysWhenNothingPlays();
    void closeDuringStartUp_data();
    void closeDuringStartUp();
    void closeInFullScreen();

    // With real clips played through libVLC from a local HTTP server.
    void doubleClickPlaysChannel();
    void playStopAndNeighbours();
    void autoPlayAtStartAndCloseWhilePlaying();
    void badChannelsLeaveTheWindowResponsive();
    void closeWhileConnecting();
    void cursorHidesWhilePlaying();
    void schemesOfOthersChannels_data();
    void schemesOfOthersChannels();
    void channelNameWithGuide();

private:
    struct Channel
    {
        QString name;
        QColor colour;
    };
    bool makeClips();
    QStringList triples() const;
    QListView *newlyList(MainWindow &w) const;
    static QColor surfaceColour(MainWindow &w);
    static bool playing(MainWindow &w);
    void waitForPicture(MainWindow &w, const QColor &colour);

    std::unique_ptr<MainWindow> makeWindow(const QRect &geometry = QRect(40, 40, 800, 600));
    static Ui::MainWindow *form(MainWindow &w) { return w.ui; }
    static CDlgControl *panel(MainWindow &w) { return w.m_pDlgControl; }
    static CDlgVideoList *list(MainWindow &w) { return w.m_pDlgVideoList; }
    static CDlgVideoText *volumeText(MainWindow &w) { return w.m_pDlgVolume; }
    static void moveCursorToSurfaceRow(MainWindow &w, int nRow, int nColumn = 300);

    TestSupport::WindowManager m_windowManager;
    std::unique_ptr<CSettings> m_pSettings;
    QTemporaryDir m_mediaDir;
    std::unique_ptr<HttpFileServer> m_pServer;
    const QList<Channel> m_channels = {{QStringLiteral("Blue"), QColor(0x20, 0x60, 0xC0)},
                                       {QStringLiteral("Red"), QColor(0xC0, 0x30, 0x30)},
                                       {QStringLiteral("Green"), QColor(0x30, 0xB0, 0x40)}};
};

// One clip per channel: 30 s of a single colour with a tone, so that a picture
// on the screen can be told apart by its colour.
bool TestMainWindow::makeClips()
{
    for (const Channel &channel : m_channels) {
        if (!TestMedia::ffmpeg(m_mediaDir.filePath(channel.name + QStringLiteral(".ts")),
                               TestMedia::colourInputs(channel.colour, 30) +
                                   QStringList{"-c:v", "libx264", "-preset", "ultrafast",
                                               "-pix_fmt", "yuv420p", "-g", "25", "-c:a", "aac",
                                               "-f", "mpegts"}))
            return false;
    }
    return true;
}

QStringList TestMainWindow::triples() const
{
    QStringList lst;
    for (const Channel &channel : m_channels)
        lst << channel.name << m_pServer->url(channel.name + QStringLiteral(".ts")).toString()
            << QStringLiteral("0");
    return lst;
}

QListView *TestMainWindow::newlyList(MainWindow &w) const
{
    return list(w)->channelView(0);
}

QColor TestMainWindow::surfaceColour(MainWindow &w)
{
    QWidget *surface = form(w)->centralWidget;
    return TestSupport::screenPixel(surface->mapToGlobal(surface->rect().center()));
}

bool TestMainWindow::playing(MainWindow &w)
{
    QVlcMediaPlayer *player = w.m_pThreadVlc ? w.m_pThreadVlc->player() : nullptr;
    return player && player->state() == QVlcMediaPlayer::Playing;
}

void TestMainWindow::waitForPicture(MainWindow &w, const QColor &colour)
{
    QTRY_VERIFY_WITH_TIMEOUT(TestSupport::similarColour(surfaceColour(w), colour, 39), 15000);
}

void TestMainWindow::initTestCase()
{
    QVERIFY(m_windowManager.start());
    QVERIFY(m_mediaDir.isValid());
    QVERIFY(makeClips());
    m_pServer.reset(new HttpFileServer(m_mediaDir.path()));
    QVERIFY(m_pServer->start());
}

void TestMainWindow::cleanupTestCase()
{
    m_pServer.reset();
    m_windowManager.stop();
}

void TestMainWindow::init()
{
    m_pSettings = channellist::freshSettings();
    // Nothing plays unless a test asks for it, and the service address leads
    // nowhere (a closed port on this machine answers at once).
    g_pSettings->setAutoPlayLast(false);
    MainWindow::setServiceUrl(QUrl(QStringLiteral("http://127.0.0.1:9")));
}

void TestMainWindow::cleanup()
{
    TestSupport::verifyNoWindowLeft();
    g_pSettings = nullptr;
    m_pSettings.reset();
}

std::unique_ptr<MainWindow> TestMainWindow::makeWindow(const QRect &geometry)
{
    std::unique_ptr<MainWindow> w(new MainWindow);
    w->setGeometry(geometry);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        return nullptr;
    // With nothing to play the channel list comes up dropped down; the
    // pointer moving below it, between the hot zones, puts it away.
    if (!QTest::qWaitFor([&] { return list(*w)->isVisible(); }))
        return nullptr;
    // Qt drops a move to where the pointer already is, so each window gets
    // a column of its own.
    static int s_nColumn = 0;
    s_nColumn = (s_nColumn + 7) % 200;
    const int nRow = 200 + (form(*w)->centralWidget->height() - 200 - 69) / 2;
    moveCursorToSurfaceRow(*w, nRow, 100 + s_nColumn);
    if (!QTest::qWaitFor([&] { return !list(*w)->isVisible(); }))
        return nullptr;
    return w;
}

void TestMainWindow::moveCursorToSurfaceRow(MainWindow &w, int nRow, int nColumn)
{
    QCursor::setPos(form(w)->centralWidget->mapToGlobal(QPoint(nColumn, nRow)));
}

void TestMainWindow::startWithNothingToPlay()
{
    g_pSettings->setAutoPlayLast(true);
    MainWindow w;
    QVERIFY(!w.m_pThreadVlc);
    QVERIFY(!w.m_bPlaying);
    QVERIFY(!form(w)->centralWidget->isHidden());
    QCOMPARE(w.windowTitle(), QStringLiteral("Mirel Player"));
    QVERIFY(!panel(w)->m_bPlaying);
    // The user is shown where the channels are, and what to do.
    QTRY_VERIFY(!list(w)->isHidden());
    QVERIFY(!w.m_pDlgHint->isHidden());
    QCOMPARE(w.m_pDlgHint->m_strText, QStringLiteral("Double-click a channel to play it"));
}

void TestMainWindow::hotZones()
{
    auto w = makeWindow(QRect(40, 40, 800, 600));
    QVERIFY(w);
    QCOMPARE(form(*w)->centralWidget->height(), 600);

    moveCursorToSurfaceRow(*w, 199);
    QTRY_VERIFY(list(*w)->isVisible());
    QCOMPARE(list(*w)->geometry(), QRect(0, 0, 800, 200));
    moveCursorToSurfaceRow(*w, 200);
    QTRY_VERIFY(!list(*w)->isVisible());

    // The panel covers its own zone, so the boundary is approached from the
    // neutral rows above it, where moves reach the video surface.
    QSignalSpy moves(form(*w)->centralWidget, &QVlcVideoWidget::mouseMove);
    moveCursorToSurfaceRow(*w, 530);
    QVERIFY(moves.wait());
    QVERIFY(!panel(*w)->isVisible());
    moveCursorToSurfaceRow(*w, 531);
    QTRY_VERIFY(panel(*w)->isVisible());
    // Centred, with one pixel row below it.
    QCOMPARE(panel(*w)->x(), 400 - 250);
    QCOMPARE(panel(*w)->width(), 500);
    QCOMPARE(panel(*w)->y(), 600 - panel(*w)->height() - 1);
    moveCursorToSurfaceRow(*w, 300);
    QTRY_VERIFY(!panel(*w)->isVisible());

    // The channel list button toggles the list.
    moveCursorToSurfaceRow(*w, 590);
    QTRY_VERIFY(panel(*w)->isVisible());
    panel(*w)->ui->btnChannelList->click();
    QVERIFY(list(*w)->isVisible());
    panel(*w)->ui->btnChannelList->click();
    QVERIFY(!list(*w)->isVisible());
}

void TestMainWindow::panelInNarrowWindow()
{
    auto w = makeWindow(QRect(40, 40, 400, 300));
    QVERIFY(w);
    moveCursorToSurfaceRow(*w, form(*w)->centralWidget->height() - 5, 200);
    QTRY_VERIFY(panel(*w)->isVisible());
    QCOMPARE(panel(*w)->x(), 0);
    QCOMPARE(panel(*w)->width(), 500);
    QCOMPARE(panel(*w)->y(), w->height() - 70 - 1);
    QCOMPARE(panel(*w)->height(), 70);
}

void TestMainWindow::wheel_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("delta");
    QTest::addColumn<int>("expected");
    QTest::newRow("notch up near the top") << 97 << 120 << 100;
    QTest::newRow("notch down near the bottom") << 3 << -120 << 0;
    QTest::newRow("notch up") << 50 << 120 << 56;
    QTest::newRow("two notches down") << 50 << -240 << 38;
    QTest::newRow("fine step") << 50 << 15 << 50;
    QTest::newRow("fine step down") << 50 << -19 << 50;
}

void TestMainWindow::wheel()
{
    QFETCH(int, start);
    QFETCH(int, delta);
    QFETCH(int, expected);
    g_pSettings->setVolume(start);
    auto w = makeWindow();
    QVERIFY(w);
    QCOMPARE(panel(*w)->volume(), start);

    const QPoint pos(300, 300);
    QWheelEvent event(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.get(), &event);

    QCOMPARE(g_pSettings->m_nVolume, expected);
    QCOMPARE(panel(*w)->volume(), expected);
    QVERIFY(volumeText(*w));
    QVERIFY(volumeText(*w)->isVisible());
    QCOMPARE(volumeText(*w)->m_strText, QStringLiteral("Volume: %1").arg(expected));
    // Top-right corner, sized to the text.
    QCOMPARE(volumeText(*w)->geometry().topRight(), QPoint(w->width() - 1, 0));
    QCOMPARE(volumeText(*w)->size(), volumeText(*w)->textSize());
    // Hidden again after its two seconds.
    QTRY_VERIFY_WITH_TIMEOUT(!volumeText(*w)->isVisible(), 4000);
}

void TestMainWindow::wheelIgnoredWhileListShown()
{
    g_pSettings->setVolume(50);
    auto w = makeWindow();
    QVERIFY(w);
    moveCursorToSurfaceRow(*w, 10);
    QTRY_VERIFY(list(*w)->isVisible());
    const QPoint pos(300, 300);
    QWheelEvent event(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.get(), &event);
    QCOMPARE(g_pSettings->m_nVolume, 50);
    QVERIFY(!volumeText(*w));
}

void TestMainWindow::muteTwice()
{
    g_pSettings->setVolume(64);
    auto w = makeWindow();
    QVERIFY(w);
    QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Mirel Software"),
                  QStringLiteral("Mirel Player"));

    panel(*w)->ui->btnMute->click();
    QCOMPARE(g_pSettings->m_bVolumeMuted, true);
    QCOMPARE(volumeText(*w)->m_strText, QStringLiteral("Muted"));
    QVERIFY(panel(*w)->m_bMuted);
    g_pSettings->sync();
    raw.sync();
    QCOMPARE(raw.value(QStringLiteral("m_bVolumeMuted")).toBool(), true);

    panel(*w)->ui->btnMute->click();
    QCOMPARE(g_pSettings->m_bVolumeMuted, false);
    QCOMPARE(volumeText(*w)->m_strText, QStringLiteral("Volume: 64"));
    QVERIFY(!panel(*w)->m_bMuted);
    g_pSettings->sync();
    raw.sync();
    QCOMPARE(raw.value(QStringLiteral("m_bVolumeMuted")).toBool(), false);
}

void TestMainWindow::fullScreenRoundTrip_data()
{
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<QString>("enterBy");
    QTest::addColumn<QString>("leaveBy");
    QTest::newRow("normal, panel button, Escape") << false << "button"
                                                  << "escape";
    QTest::newRow("maximised, panel button, Escape") << true << "button"
                                                     << "escape";
    QTest::newRow("normal, double click, double click") << false << "dblclick"
                                                        << "dblclick";
    QTest::newRow("maximised, double click, panel button") << true << "dblclick"
                                                           << "button";
}

void TestMainWindow::fullScreenRoundTrip()
{
    QFETCH(bool, maximized);
    QFETCH(QString, enterBy);
    QFETCH(QString, leaveBy);
    auto w = makeWindow();
    QVERIFY(w);
    if (maximized)
        w->showMaximized();
    // Where the window manager has put it, once it is done.
    const QRect before = TestSupport::settledGeometry(w.get(), maximized);
    QVERIFY(before.isValid());

    auto toggle = [&](const QString &how) {
        if (how == QLatin1String("button")) {
            panel(*w)->ui->btnFullScreen->click();
        } else if (how == QLatin1String("escape")) {
            QTest::keyClick(w.get(), Qt::Key_Escape);
        } else {
            // A real double click over the video surface, through the X server.
            const QPoint p = form(*w)->centralWidget->mapToGlobal(QPoint(
                form(*w)->centralWidget->width() / 2, form(*w)->centralWidget->height() / 2));
            QProcess::execute(
                QStringLiteral("xdotool"),
                {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
                 QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                 QStringLiteral("--delay"), QStringLiteral("60"), QStringLiteral("1")});
        }
    };

    toggle(enterBy);
    QTRY_VERIFY(w->isFullScreen());
    QVERIFY(w->m_bFullScreen);
    const QRect screen = w->screen()->geometry();
    QTRY_COMPARE(w->geometry(), screen);

    toggle(leaveBy);
    QTRY_VERIFY(!w->isFullScreen());
    QVERIFY(!w->m_bFullScreen);
    QTRY_COMPARE(w->isMaximized(), maximized);
    QTRY_COMPARE(w->geometry(), before);
}

void TestMainWindow::escapeOutsideFullScreen()
{
    auto w = makeWindow();
    QVERIFY(w);
    const QRect before = TestSupport::settledGeometry(w.get());
    QVERIFY(before.isValid());
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QVERIFY(!w->m_bFullScreen);
    QVERIFY(!w->isFullScreen());
    QCOMPARE(w->geometry(), before);
}

void TestMainWindow::cursorStaysWhenNothingPlays()
{
    auto w = makeWindow();
    QVERIFY(w);
    QSignalSpy fired(&w->m_timerHideCursor, &QTimer::timeout);
    moveCursorToSurfaceRow(*w, 300, 200);
    moveCursorToSurfaceRow(*w, 310, 210);
    QVERIFY(fired.wait(5000));
    QVERIFY(!w->m_bCursorHidden);
    QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    // It keeps firing without effect.
    QVERIFY(fired.wait(5000));
    QVERIFY(!w->m_bCursorHidden);
}

void TestMainWindow::closeDuringStartUp_data()
{
    QTest::addColumn<bool>("autoPlay");
    // 0 constructed, 1 shown, 2 worker, 3 engine, 4 media, 5 media of a
    // server that never answers: connecting, never Playing
    QTest::addColumn<int>("phase");
    QTest::addColumn<bool>("destroy"); // destroyed instead of closed
    QTest::newRow("nothing to play, as it shows") << false << 1 << false;
    QTest::newRow("nothing to play, engine being made") << false << 2 << false;
    QTest::newRow("nothing to play, engine made") << false << 3 << false;
    QTest::newRow("auto-play, before it shows") << true << 0 << false;
    QTest::newRow("auto-play, destroyed before it shows") << true << 0 << true;
    QTest::newRow("auto-play, as it shows") << true << 1 << false;
    QTest::newRow("auto-play, engine made") << true << 3 << false;
    QTest::newRow("auto-play, media opened") << true << 4 << false;
    QTest::newRow("auto-play, connecting, before Playing") << true << 5 << false;
}

// Closed at each step of start-up, the window goes for good with its size
// stored; a worker already made is shut down first, whatever it was doing.
void TestMainWindow::closeDuringStartUp()
{
    QFETCH(bool, autoPlay);
    QFETCH(int, phase);
    QFETCH(bool, destroy);
    HttpFileServer silent(m_mediaDir.path());
    silent.setMode(HttpFileServer::NeverAnswer);
    QVERIFY(silent.start());
    if (autoPlay) {
        g_pSettings->setAutoPlayLast(true);
        g_pSettings->setPlayingVideoName(QStringLiteral("Green"));
        g_pSettings->setPlayingVideoUrl(
            (phase == 5 ? silent : *m_pServer).url(QStringLiteral("Green.ts")).toString());
    }
    std::unique_ptr<MainWindow> w(new MainWindow);
    // With auto-play the worker is made at once, else once the window shows.
    QCOMPARE(bool(w->m_pThreadVlc), autoPlay);
    w->setGeometry(60, 70, 640, 420);
    if (phase >= 1)
        w->show();
    if (phase >= 2)
        QTRY_VERIFY(w->m_pThreadVlc);
    if (phase >= 3)
        QTRY_VERIFY_WITH_TIMEOUT(w->m_pThreadVlc->player(), 10000);
    if (phase >= 4)
        QTRY_VERIFY_WITH_TIMEOUT(w->m_pThreadVlc->player()->hasMedia(), 10000);
    if (phase >= 5)
        QTRY_VERIFY_WITH_TIMEOUT(silent.connectionCount() > 0, 10000);
    if (destroy)
        return; // the destructor quits the worker and waits for it
    const bool bWorker = w->m_pThreadVlc;
    // Nothing to shut down: the close completes at once.
    QCOMPARE(w->close(), !bWorker);
    QVERIFY(!w->isVisible());
    if (bWorker) {
        QTRY_VERIFY_WITH_TIMEOUT(w->m_bCloseByThread, 10000);
        QVERIFY(w->m_pThreadVlc->wait(10000));
    }
    QCoreApplication::processEvents();
    // A window closed before its first pass of events makes no worker.
    QCOMPARE(bool(w->m_pThreadVlc), bWorker);
    QCOMPARE(g_pSettings->m_nMainWindowWidth, 640);
    QCOMPARE(g_pSettings->m_nMainWindowHeight, 420);
    QCOMPARE(g_pSettings->m_bMainWindowMaximized, false);
}

void TestMainWindow::closeInFullScreen()
{
    auto w = makeWindow();
    QVERIFY(w);
    w->showMaximized();
    QTRY_VERIFY(w->isMaximized());
    panel(*w)->ui->btnFullScreen->click();
    const QRect screen = w->screen()->geometry();
    QTRY_COMPARE(w->geometry(), screen);
    QVERIFY(!w->close());
    QTRY_VERIFY_WITH_TIMEOUT(w->m_bCloseByThread, 10000);
    // A full-screen window does not count as maximised.
    QCOMPARE(g_pSettings->m_bMainWindowMaximized, false);
    QCOMPARE(g_pSettings->m_nMainWindowWidth, screen.width());
    QCOMPARE(g_pSettings->m_nMainWindowHeight, screen.height());
}

void TestMainWindow::doubleClickPlaysChannel()
{
    g_pSettings->setDefaultChannels(triples());
    auto w = makeWindow();
    QVERIFY(w);
    moveCursorToSurfaceRow(*w, 20);
    QTRY_VERIFY(list(*w)->isVisible());
    QListView *pList = newlyList(*w);
    QVERIFY(pList);
    QCOMPARE(pList->model()->rowCount(), 3);

    const QRect rcItem = pList->visualRect(pList->model()->index(1, 0));
    QTest::mouseClick(pList->viewport(), Qt::LeftButton, {}, rcItem.center());
    QTest::mouseDClick(pList->viewport(), Qt::LeftButton, {}, rcItem.center());

    QVERIFY(w->m_pThreadVlc);
    QVERIFY(w->m_bPlaying);
    QCOMPARE(w->windowTitle(), QStringLiteral("Mirel Player--Red"));
    QVERIFY(w->m_pDlgChannelName && w->m_pDlgChannelName->isVisible());
    QCOMPARE(w->m_pDlgChannelName->m_strText, QStringLiteral("Red"));
    QCOMPARE(w->m_pDlgChannelName->pos(), QPoint(0, 0));
    QCOMPARE(g_pSettings->m_strPlayingVideoName, QStringLiteral("Red"));
    QCOMPARE(g_pSettings->m_strPlayingVideoUrl,
             m_pServer->url(QStringLiteral("Red.ts")).toString());
    QVERIFY(panel(*w)->m_bPlaying);

    // The worker opens the URL the list gave, and the picture reaches the screen.
    moveCursorToSurfaceRow(*w, 300);
    QTRY_VERIFY(!list(*w)->isVisible());
    waitForPicture(*w, m_channels[1].colour);
    QCOMPARE(w->m_pThreadVlc->player()->media()->url(), m_pServer->url(QStringLiteral("Red.ts")));
    QTRY_VERIFY_WITH_TIMEOUT(!w->m_pDlgChannelName->isVisible(), 4000);
    QVERIFY(!w->close());
    QTRY_VERIFY_WITH_TIMEOUT(w->m_bCloseByThread, 10000);
}

void TestMainWindow::playStopAndNeighbours()
{
    g_pSettings->setDefaultChannels(triples());
    auto w = makeWindow();
    QVERIFY(w);
    Ui::CDlgControl *controls = panel(*w)->ui;
    // The list's current row starts at the first channel.
    QVERIFY(controls->btnNext->isEnabled());

    controls->btnPlay->click();
    QCOMPARE(w->windowTitle(), QStringLiteral("Mirel Player--Blue"));
    waitForPicture(*w, m_channels[0].colour);

    // Play while playing stops and hides the surface.
    controls->btnPlay->click();
    QVERIFY(!w->m_bPlaying);
    QVERIFY(form(*w)->centralWidget->isHidden());
    QVERIFY(!panel(*w)->m_bPlaying);
    QTRY_VERIFY(!playing(*w));

    // Nothing was current in the list, so Next starts at its first row.
    controls->btnNext->click();
    QVERIFY(w->m_bPlaying);
    QVERIFY(!form(*w)->centralWidget->isHidden());
    QCOMPARE(w->windowTitle(), QStringLiteral("Mirel Player--Blue"));
    QVERIFY(controls->btnNext->isEnabled());
    QVERIFY(!controls->btnPrev->isEnabled());

    controls->btnNext->click();
    QCOMPARE(w->windowTitle(), QStringLiteral("Mirel Player--Red"));
    waitForPicture(*w, m_channels[1].colour);
    QVERIFY(controls->btnNext->isEnabled());
    QVERIFY(controls->btnPrev->isEnabled());

    controls->btnNext->click();
    QCOMPARE(w->windowTitle(), QStringLiteral("Mirel Player--Green"));
    waitForPicture(*w, m_channels[2].colour);
    QVERIFY(!controls->btnNext->isEnabled());
    QVERIFY(controls->btnPrev->isEnabled());

    controls->btnPrev->click();
    QCOMPARE(w->windowTitle(), QStringLiteral("Mirel Player--Red"));
    waitForPicture(*w, m_channels[1].colour);
    QVERIFY(!w->close());
    QTRY_VERIFY_WITH_TIMEOUT(w->m_bCloseByThread, 10000);
}

// A playlist names its guide in its header: once imported, the window reads
// it. With the clock fixed at 12:10 UTC, when each channel's programme 6
// (12:00 to 13:00) is on, the name overlay adds it and the next one, in
// local time: Blue's found by its name, Red's by its tvg-id (channel 3)
// before its name (channel 2); Green, not in the guide, shows its name alone.
void TestMainWindow::channelNameWithGuide()
{
    const qint64 nNow = 1796644800;
    GuideGen::Options guide;
    guide.nChannels = 3;
    guide.nFirstStart = nNow - 6 * 3600;
    guide.lstNames = QStringList{"blue", "RED"};
    QFile file(m_mediaDir.filePath(QStringLiteral("guide.xml")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    GuideGen::write(&file, guide);
    file.close();
    const QString strGuide = m_pServer->url(QStringLiteral("guide.xml")).toString();
    QByteArray playlist = "#EXTM3U x-tvg-url=\"" + strGuide.toUtf8() + "\"\n";
    const QStringList lstTriples = triples();
    for (int i = 0; i < lstTriples.size(); i += 3)
        playlist += "#EXTINF:-1" + QByteArray(i == 3 ? " tvg-id=\"ch3.example\"" : "") + "," +
                    lstTriples.at(i).toUtf8() + "\n" + lstTriples.at(i + 1).toUtf8() + "\n";
    channellist::Answers answers;
    answers.strFile = m_mediaDir.filePath(QStringLiteral("guided.m3u"));
    QFile m3u(answers.strFile);
    QVERIFY(m3u.open(QIODevice::WriteOnly) && m3u.write(playlist) == playlist.size());
    m3u.close();
    auto w = makeWindow();
    QVERIFY(w);
    w->m_pGuide->setClock([nNow] { return nNow + 600; });
    QCOMPARE(channellist::runTransfer(list(*w), "actionImport_Channel_List", answers),
             QStringList());
    QCOMPARE(w->m_pGuide->addresses(), QStringList{strGuide});
    QTRY_VERIFY_WITH_TIMEOUT(w->m_pGuide->nowNext(QStringLiteral("Blue"), QString()).bNow, 10000);

    panel(*w)->ui->btnNext->click();
    panel(*w)->ui->btnNext->click();
    QCOMPARE(w->windowTitle(), QStringLiteral("Mirel Player--Red"));
    auto clock = [](qint64 nSecs) {
        return QDateTime::fromSecsSinceEpoch(nSecs).toString(QStringLiteral("HH:mm"));
    };
    CDlgVideoText *overlay = w->m_pDlgChannelName;
    QCOMPARE(overlay->m_strText, QStringLiteral("Red\nNow: %1 (%2\u2013%3)\nNext: %4")
                                     .arg(GuideGen::title(3, 6), clock(nNow), clock(nNow + 3600),
                                          GuideGen::title(3, 7)));
    QTRY_COMPARE(overlay->size(), overlay->textSize());
    QVERIFY(overlay->height() > 3 * QFontMetrics(overlay->font()).height());

    panel(*w)->ui->btnNext->click();
    QCOMPARE(w->windowTitle(), QStringLiteral("Mirel Player--Green"));
    QCOMPARE(overlay->m_strText, QStringLiteral("Green"));
    QVERIFY(!w->close());
    QTRY_VERIFY_WITH_TIMEOUT(w->m_bCloseByThread, 10000);
}

void TestMainWindow::autoPlayAtStartAndCloseWhilePlaying()
{
    g_pSettings->setAutoPlayLast(true);
    g_pSettings->setPlayingVideoName(QStringLiteral("Green"));
    g_pSettings->setPlayingVideoUrl(m_pServer->url(QStringLiteral("Green.ts")).toString());
    std::unique_ptr<MainWindow> w(new MainWindow);
    // The play command is issued by the constructor, before the window shows.
    QVERIFY(w->m_pThreadVlc);
    QVERIFY(w->m_bPlaying);
    QCOMPARE(w->windowTitle(), QStringLiteral("Mirel Player--Green"));
    w->setGeometry(30, 40, 700, 500);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    waitForPicture(*w, m_channels[2].colour);

    const QSize size = w->size();
    QVERIFY(!w->close()); // the first close only starts the shutdown
    QVERIFY(!w->isVisible());
    QCOMPARE(g_pSettings->m_nMainWindowWidth, size.width());
    QCOMPARE(g_pSettings->m_nMainWindowHeight, size.height());
    QCOMPARE(g_pSettings->m_bMainWindowMaximized, false);
    // The worker's closeMainWindow comes queued to the window; a spy on the
    // worker would be filled on the worker's thread while this one reads it.
    QTRY_VERIFY_WITH_TIMEOUT(w->m_bCloseByThread, 10000);
    QTRY_VERIFY(w->m_pThreadVlc->isFinished());
}

void TestMainWindow::badChannelsLeaveTheWindowResponsive()
{
    auto w = makeWindow();
    QVERIFY(w);
    QVERIFY(!w->play(QString(), m_pServer->url(QStringLiteral("Blue.ts")).toString()));
    QVERIFY(!w->play(QStringLiteral("Nameless"), QString()));
    QCOMPARE(w->m_streamWatch.state(), CStreamWatch::Idle);
    QCOMPARE(w->windowTitle(), QStringLiteral("Mirel Player"));
    QVERIFY(g_pSettings->m_strPlayingVideoName.isEmpty());

    // A channel whose server answers 404, then one that refuses: the window
    // stays responsive, and the next channel plays.
    QVERIFY(w->play(QStringLiteral("Missing"),
                    m_pServer->url(QStringLiteral("missing.ts")).toString()));
    QVERIFY(w->play(QStringLiteral("Refused"),
                    QStringLiteral("http://127.0.0.1:%1/x.ts").arg(HttpFileServer::refusedPort())));
    QVERIFY(w->play(QStringLiteral("Blue"), m_pServer->url(QStringLiteral("Blue.ts")).toString()));
    waitForPicture(*w, m_channels[0].colour);
    QVERIFY(!w->close());
    QTRY_VERIFY_WITH_TIMEOUT(w->m_bCloseByThread, 10000);
}

void TestMainWindow::closeWhileConnecting()
{
    QTemporaryDir dir;
    HttpFileServer silent(dir.path());
    silent.setMode(HttpFileServer::NeverAnswer);
    QVERIFY(silent.start());
    auto w = makeWindow();
    QVERIFY(w);
    QVERIFY(w->play(QStringLiteral("Silent"), silent.url(QStringLiteral("live.ts")).toString()));
    QTRY_VERIFY(silent.connectionCount() > 0);
    QElapsedTimer timer;
    timer.start();
    w->close();
    QTRY_VERIFY_WITH_TIMEOUT(w->m_bCloseByThread, 5000);
    qDebug() << "closed while connecting in" << timer.elapsed() << "ms";
}

void TestMainWindow::cursorHidesWhilePlaying()
{
    auto w = makeWindow();
    QVERIFY(w);
    QVERIFY(w->play(QStringLiteral("Blue"), m_pServer->url(QStringLiteral("Blue.ts")).toString()));
    QSignalSpy fired(&w->m_timerHideCursor, &QTimer::timeout);
    moveCursorToSurfaceRow(*w, 300, 200);
    moveCursorToSurfaceRow(*w, 310, 210);
    QVERIFY(fired.wait(5000));
    QVERIFY(w->m_bCursorHidden);
    QCOMPARE(w->cursor().shape(), Qt::BlankCursor);
    QVERIFY(!w->m_timerHideCursor.isActive());
    // Any move brings it back; inside a zone it stays.
    moveCursorToSurfaceRow(*w, w->height() - 10);
    QTRY_VERIFY(!w->m_bCursorHidden);
    QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    QVERIFY(!w->m_timerHideCursor.isActive());
    QVERIFY(!w->close());
    QTRY_VERIFY_WITH_TIMEOUT(w->m_bCloseByThread, 10000);
}

void TestMainWindow::schemesOfOthersChannels_data()
{
    QTest::addColumn<QString>("url"); // %1: the folder of the clips
    QTest::addColumn<int>("origin");
    QTest::addColumn<bool>("autoPlay"); // as the last played channel, at start
    QTest::addColumn<bool>("plays");
    // A real clip behind the file URL: had it reached libVLC, it would show.
    const int nService = int(ChannelOrigin::Service);
    QTest::newRow("playlist: camera")
        << "v4l2:///dev/video0" << int(ChannelOrigin::Playlist) << false << false;
    QTest::newRow("service: bare path") << "%1/Blue.ts" << nService << false << false;
    QTest::newRow("service, last played") << "file://%1/Blue.ts" << nService << true << false;
    QTest::newRow("own: file URL")
        << "file://%1/Blue.ts" << int(ChannelOrigin::Own) << false << true;
}

void TestMainWindow::schemesOfOthersChannels()
{
    QFETCH(QString, url);
    QFETCH(int, origin);
    QFETCH(bool, autoPlay);
    QFETCH(bool, plays);
    VideoItem rec;
    rec.strName = QStringLiteral("Elsewhere");
    rec.strUrl = url.arg(m_mediaDir.path());
    rec.origin = ChannelOrigin(origin);
    if (autoPlay) {
        g_pSettings->setAutoPlayLast(true);
        g_pSettings->setPlayingVideoName(rec.strName);
        g_pSettings->setPlayingVideoUrl(rec.strUrl);
        g_pSettings->setPlayingVideoDetails(ChannelDetails::ofPlaying(rec));
    }
    auto w = makeWindow();
    QVERIFY(w);
    QVERIFY(autoPlay || w->play(rec) == plays);
    if (plays) {
        waitForPicture(*w, m_channels[0].colour);
        QVERIFY(!w->close());
        QTRY_VERIFY_WITH_TIMEOUT(w->m_bCloseByThread, 10000);
        return;
    }
    // Nothing reached libVLC (the worker made in the background holds no
    // media, nothing is watched); the message names the scheme.
    QCOMPARE(w->m_streamWatch.state(), CStreamWatch::Idle);
    QVlcMediaPlayer *pPlayer = w->m_pThreadVlc ? w->m_pThreadVlc->player() : nullptr;
    QVERIFY(!pPlayer || !pPlayer->hasMedia());
    QCOMPARE(w->windowTitle(), QStringLiteral("Mirel Player"));
    QTRY_VERIFY(w->m_pStreamRefused && w->m_pStreamRefused->isVisible());
    QVERIFY(w->m_pStreamRefused->text().contains(url.startsWith("v4l2") ? "\"v4l2\"" : "\"file\""));
    w->m_pStreamRefused->close();
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
