#include "DlgControl.h"
#include "DlgVideoList.h"
#include "DlgVideoText.h"
#include "MainWindow.h"
#include "Settings.h"
#include "ThreadVlc.h"
#include "ui_DlgControl.h"
#include "ui_MainWindow.h"

#include <QListWidget>
#include <QProcess>
#include <QScreen>
#include <QTabWidget>
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
    void closeBeforeAnyPlay();

private:
    std::unique_ptr<MainWindow> makeWindow(const QRect &geometry = QRect(40, 40, 800, 600));
    static Ui::MainWindow *form(MainWindow &w) { return w.ui; }
    static CDlgControl *panel(MainWindow &w) { return w.m_pDlgControl; }
    static CDlgVideoList *list(MainWindow &w) { return w.m_pDlgVideoList; }
    static CDlgVideoText *volumeText(MainWindow &w) { return w.m_pDlgVolume; }
    static void moveCursorToSurfaceRow(MainWindow &w, int nRow, int nColumn = 300);

    QProcess m_windowManager;
    std::unique_ptr<CSettings> m_pSettings;
};

void TestMainWindow::initTestCase()
{
    m_windowManager.start(QStringLiteral("openbox"), {});
    QVERIFY(m_windowManager.waitForStarted());
    // The window manager announces itself on the root window once it runs.
    QTRY_VERIFY_WITH_TIMEOUT(
        [] {
            QProcess xprop;
            xprop.start(QStringLiteral("xprop"),
                        {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
            xprop.waitForFinished();
            return xprop.readAllStandardOutput().contains("window id");
        }(),
        10000);
}

void TestMainWindow::cleanupTestCase()
{
    m_windowManager.terminate();
    m_windowManager.waitForFinished();
}

void TestMainWindow::init()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Mirel Software"),
              QStringLiteral("Mirel Player"))
        .clear();
    m_pSettings.reset(
        new CSettings(QStringLiteral("Mirel Software"), QStringLiteral("Mirel Player")));
    g_pSettings = m_pSettings.get();
    // Nothing plays unless a test asks for it, and the service address leads
    // nowhere (a closed port on this machine answers at once).
    g_pSettings->setAutoPlayLast(false);
    MainWindow::setServiceUrl(QUrl(QStringLiteral("http://127.0.0.1:9")));
}

void TestMainWindow::cleanup()
{
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().cbegin(),
                             QApplication::topLevelWidgets().cend(),
                             [](QWidget *w) { return w->isVisible(); }));
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

    moveCursorToSurfaceRow(*w, 531);
    QTRY_VERIFY(panel(*w)->isVisible());
    // Centred, with one pixel row below it.
    QCOMPARE(panel(*w)->x(), 400 - 250);
    QCOMPARE(panel(*w)->width(), 500);
    QCOMPARE(panel(*w)->y(), 600 - panel(*w)->height() - 1);
    moveCursorToSurfaceRow(*w, 530);
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
    if (maximized) {
        w->showMaximized();
        QTRY_VERIFY(w->isMaximized());
        QTRY_VERIFY(w->width() > 800);
    }
    const QRect before = w->geometry();

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
    const QRect before = w->geometry();
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
    moveCursorToSurfaceRow(*w, 300);
    QVERIFY(fired.wait(5000));
    QVERIFY(!w->m_bCursorHidden);
    QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    // It keeps firing without effect.
    QVERIFY(fired.wait(5000));
    QVERIFY(!w->m_bCursorHidden);
}

void TestMainWindow::closeBeforeAnyPlay()
{
    auto w = makeWindow(QRect(60, 70, 640, 420));
    QVERIFY(w);
    QVERIFY(w->close());
    QVERIFY(!w->isVisible());
    QCOMPARE(g_pSettings->m_nMainWindowWidth, 640);
    QCOMPARE(g_pSettings->m_nMainWindowHeight, 420);
    QCOMPARE(g_pSettings->m_bMainWindowMaximized, false);
    QTest::ignoreMessage(QtDebugMsg, "closeEvent1");
    QTest::ignoreMessage(QtDebugMsg, "closeEvent2");
    QTest::ignoreMessage(QtDebugMsg, "closeEvent3");
    w.reset();
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
