// The video surface on a real X server: libVLC plays a clip into the widget
// (with its default OpenGL output, which draws into the widget's own window,
// and with its xcb output, which makes a child window), real pointer input
// comes from xdotool, and the widget's signals are what the hook makes of it.

#include "qvlc/qvlcinstance.h"
#include "qvlc/qvlcmediaplayer.h"
#include "qvlc/qvlcmenu.h"
#include "qvlc/qvlcvideowidget.h"
#include "testmedia.h"
#include "testsupport.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest>

namespace {

// The clip's only colour; the screenshot must show it inside the widget.
const QColor kClipColour(0x20, 0x60, 0xC0);

// Stands in for the main window: counts what reaches its own mouse handlers,
// which must be nothing but the wheel while the video surface covers it.
class HostWindow : public QMainWindow
{
public:
    int m_nPress = 0;
    int m_nRelease = 0;
    int m_nDoubleClick = 0;
    int m_nWheel = 0;

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        ++m_nPress;
        QMainWindow::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        ++m_nRelease;
        QMainWindow::mouseReleaseEvent(event);
    }
    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        ++m_nDoubleClick;
        QMainWindow::mouseDoubleClickEvent(event);
    }
    void wheelEvent(QWheelEvent *event) override
    {
        ++m_nWheel;
        QMainWindow::wheelEvent(event);
    }
};

// Counts the pointer events the X server delivered to the program's native
// windows, so a test knows its input has arrived before it looks at what
// came of it.
class RawPointerCounter : public QObject
{
public:
    int m_nButtons = 0; // presses, releases, double clicks
    int m_nWheel = 0;
    int m_nMoves = 0;
    QSet<QObject *> m_windows; // the windows that got them

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!watched->isWindowType())
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            ++m_nButtons;
            m_windows.insert(watched);
            break;
        case QEvent::Wheel:
            ++m_nWheel;
            m_windows.insert(watched);
            break;
        case QEvent::MouseMove:
            ++m_nMoves;
            m_windows.insert(watched);
            break;
        default:
            break;
        }
        return false;
    }
};

// The hook signals of one widget, in the order they came.
class SignalLog : public QObject
{
public:
    explicit SignalLog(QVlcVideoWidget *widget)
    {
        connect(widget, &QVlcVideoWidget::mouseLeftPress, this, [this] { m_list << "press"; });
        connect(widget, &QVlcVideoWidget::mouseLeftRelease, this, [this] { m_list << "release"; });
        connect(widget, &QVlcVideoWidget::mouseLeftDbClick, this, [this] { m_list << "dbl"; });
        connect(widget, &QVlcVideoWidget::mouseMove, this, [this] { m_list << "move"; });
    }
    // Without the moves: a click may come with a motion event or not.
    QStringList buttons() const
    {
        QStringList list = m_list;
        list.removeAll(QStringLiteral("move"));
        return list;
    }
    QStringList m_list;
};

bool xdo(const QStringList &args)
{
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

// Moves the pointer and waits until the server has it there. (xdotool's own
// --sync stalls when the pointer is there already.)
bool movePointer(const QPoint &global)
{
    if (QCursor::pos() == global)
        return true;
    if (!xdo({"mousemove", QString::number(global.x()), QString::number(global.y())}))
        return false;
    return QTest::qWaitFor([&] { return QCursor::pos() == global; }, 2000);
}

using TestSupport::screenPixel;

bool closeTo(const QColor &a, const QColor &b)
{
    // Colour conversion in the decoder and the output.
    return TestSupport::similarColour(a, b, 12);
}

QPoint centreOf(QWidget *widget)
{
    return widget->mapToGlobal(widget->rect().center());
}

} // namespace

class TestVideoWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void picture_data();
    void picture();
    void buttons_data();
    void buttons();
    void middleButton_data();
    void middleButton();
    void moves_data();
    void moves();
    void contextMenu();
    void otherWindows_data();
    void otherWindows();
    void nativeWindowRecreated();
    void hookLifetime();

private:
    void addVoutColumn();
    bool playInto(QVlcVideoWidget *widget, const QString &vout);
    void stopPlayer();
    void resetCounts();
    QPoint clickSpot(QWidget *widget);

    QTemporaryDir m_dir;
    QString m_strClip;
    QMap<QString, QVlcInstance *> m_instances;
    QVlcMediaPlayer *m_pPlayer = nullptr;
    QString m_strVout; // output of the current player
    HostWindow *m_pHost = nullptr;
    QVlcVideoWidget *m_pVideo = nullptr;
    RawPointerCounter m_raw;
    SignalLog *m_pLog = nullptr;
    int m_nClickSpot = 0;
};

void TestVideoWidget::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_strClip = m_dir.filePath("colour.mkv");
    QVERIFY(
        TestMedia::ffmpeg(m_strClip, TestMedia::colourInputs(kClipColour, 3) +
                                         QStringList{"-c:v", "mpeg4", "-q:v", "2", "-c:a", "mp2"}));

    // The clip loops for as long as a test needs it.
    const QStringList common{"--no-video-title-show", "--input-repeat=65535"};
    m_instances["default"] = new QVlcInstance(common, this);
    m_instances["xcb_x11"] = new QVlcInstance(common + QStringList{"--vout=xcb_x11"}, this);
    for (QVlcInstance *instance : qAsConst(m_instances))
        QVERIFY(instance->isValid());

    qApp->installEventFilter(&m_raw);

    m_pHost = new HostWindow;
    m_pVideo = new QVlcVideoWidget(m_pHost);
    m_pHost->setCentralWidget(m_pVideo);
    m_pHost->setGeometry(100, 100, 640, 480);
    m_pHost->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pHost));
    m_pLog = new SignalLog(m_pVideo);
}

void TestVideoWidget::cleanupTestCase()
{
    stopPlayer();
    delete m_pLog;
    delete m_pHost;
    qApp->removeEventFilter(&m_raw);
}

void TestVideoWidget::init()
{
    QVERIFY(!QApplication::activePopupWidget());
}

void TestVideoWidget::cleanup()
{
    TestSupport::verifyNoWindowLeft({m_pHost});
}

void TestVideoWidget::addVoutColumn()
{
    QTest::addColumn<QString>("vout");
}

bool TestVideoWidget::playInto(QVlcVideoWidget *widget, const QString &vout)
{
    if (m_pPlayer && m_strVout == vout && m_pPlayer->videoWidget() == widget)
        return true;
    stopPlayer();
    m_pPlayer = new QVlcMediaPlayer(m_instances.value(vout), this);
    m_strVout = vout;
    m_pPlayer->setVideoWidget(widget);
    if (!m_pPlayer->open(m_strClip))
        return false;
    m_pPlayer->play();
    // Up when the clip's colour shows in the middle of the widget.
    const QPoint centre = centreOf(widget);
    if (QTest::qWaitFor([&] { return closeTo(screenPixel(centre), kClipColour); }, 10000))
        return true;
    qDebug() << "no picture; centre pixel" << screenPixel(centre);
    return false;
}

void TestVideoWidget::stopPlayer()
{
    if (!m_pPlayer)
        return;
    m_pPlayer->stop();
    delete m_pPlayer;
    m_pPlayer = nullptr;
}

void TestVideoWidget::resetCounts()
{
    m_raw.m_nButtons = m_raw.m_nWheel = m_raw.m_nMoves = 0;
    m_raw.m_windows.clear();
    m_pLog->m_list.clear();
    m_pHost->m_nPress = m_pHost->m_nRelease = m_pHost->m_nDoubleClick = m_pHost->m_nWheel = 0;
}

// A point near the middle of widget, never the one of the click before: two
// clicks at one spot within the double-click interval would make a double
// click of two test cases.
QPoint TestVideoWidget::clickSpot(QWidget *widget)
{
    return centreOf(widget) + QPoint((m_nClickSpot++ % 5 - 2) * 20, 0);
}

void TestVideoWidget::picture_data()
{
    addVoutColumn();
    QTest::newRow("default output") << "default";
    QTest::newRow("xcb output") << "xcb_x11";
}

void TestVideoWidget::picture()
{
    QFETCH(QString, vout);
    QVERIFY(playInto(m_pVideo, vout));
    // The whole clip shows: centre and near each corner of the widget.
    const QRect r = m_pVideo->rect().adjusted(20, 20, -20, -20);
    for (const QPoint &p : {r.center(), r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()})
        QVERIFY2(closeTo(screenPixel(m_pVideo->mapToGlobal(p)), kClipColour),
                 qPrintable(screenPixel(m_pVideo->mapToGlobal(p)).name()));
    // Outside the widget it is not the clip.
    QVERIFY(!closeTo(screenPixel(m_pHost->geometry().bottomRight() + QPoint(20, 20)), kClipColour));
}

void TestVideoWidget::buttons_data()
{
    QTest::addColumn<QString>("vout");
    QTest::addColumn<QStringList>("action");   // xdotool arguments
    QTest::addColumn<int>("rawButtons");       // press/release/double click events to wait for
    QTest::addColumn<int>("rawWheel");         // wheel events to wait for (at least)
    QTest::addColumn<QStringList>("expected"); // hook signals, moves left out

    for (const char *name : {"default", "xcb_x11"}) {
        const QString vout = QString::fromLatin1(name);
        const QString suffix = " (" + vout + ")";
        QTest::newRow(qPrintable("left click" + suffix))
            << vout << QStringList{"click", "1"} << 2 << 0 << QStringList{"press", "release"};
        // Qt makes the second press of a double click also a double-click event.
        QTest::newRow(qPrintable("double click" + suffix))
            << vout << QStringList{"click", "--repeat", "2", "--delay", "80", "1"} << 5 << 0
            << QStringList{"press", "release", "press", "dbl", "release"};
        QTest::newRow(qPrintable("right click" + suffix))
            << vout << QStringList{"click", "3"} << 2 << 0 << QStringList{};
        QTest::newRow(qPrintable("wheel up" + suffix))
            << vout << QStringList{"click", "4"} << 0 << 1 << QStringList{};
        QTest::newRow(qPrintable("wheel down" + suffix))
            << vout << QStringList{"click", "5"} << 0 << 1 << QStringList{};
    }
}

void TestVideoWidget::buttons()
{
    QFETCH(QString, vout);
    QFETCH(QStringList, action);
    QFETCH(int, rawButtons);
    QFETCH(int, rawWheel);
    QFETCH(QStringList, expected);

    QVERIFY(playInto(m_pVideo, vout));
    QVERIFY(!m_pVideo->menu()); // a right click opens nothing here
    QVERIFY(movePointer(clickSpot(m_pVideo)));
    // Let the move land first so it does not count below.
    QTRY_VERIFY(m_pVideo->underMouse());
    resetCounts();

    QVERIFY(xdo(action));
    QTRY_COMPARE(m_raw.m_nButtons, rawButtons);
    QTRY_VERIFY(m_raw.m_nWheel >= rawWheel);
    QCOMPARE(m_pLog->buttons(), expected);
    QCOMPARE(expected.count("dbl"), int(action.contains("--repeat")));

    // Nothing travels on to the window's own handlers but the wheel, which
    // is the window's to handle (the volume).
    QCOMPARE(m_pHost->m_nPress, 0);
    QCOMPARE(m_pHost->m_nRelease, 0);
    QCOMPARE(m_pHost->m_nDoubleClick, 0);
    QCOMPARE(m_pHost->m_nWheel, m_raw.m_nWheel);
}

void TestVideoWidget::middleButton_data()
{
    addVoutColumn();
    QTest::newRow("default output") << "default";
    QTest::newRow("xcb output") << "xcb_x11";
}

void TestVideoWidget::middleButton()
{
    QFETCH(QString, vout);
    QVERIFY(playInto(m_pVideo, vout));
    QVERIFY(movePointer(clickSpot(m_pVideo)));
    QTRY_VERIFY(m_pVideo->underMouse());
    resetCounts();

    QVERIFY(xdo({"mousedown", "2"}));
    QTRY_COMPARE(m_raw.m_nButtons, 1);
    QCOMPARE(m_pLog->buttons(), QStringList());

    QVERIFY(xdo({"mouseup", "2"}));
    QTRY_COMPARE(m_raw.m_nButtons, 2);
    QCOMPARE(m_pLog->buttons(), QStringList{"dbl"});
    QCOMPARE(m_pHost->m_nRelease, 0);
}

void TestVideoWidget::moves_data()
{
    addVoutColumn();
    QTest::newRow("default output") << "default";
    QTest::newRow("xcb output") << "xcb_x11";
}

void TestVideoWidget::moves()
{
    QFETCH(QString, vout);
    QVERIFY(playInto(m_pVideo, vout));

    // Qt merges the moves it has not read yet and drops one to where it saw
    // the pointer last: first let it see the pointer at a new place.
    const QPoint centre = centreOf(m_pVideo);
    const QPoint start = QCursor::pos() == centre ? centre - QPoint(30, 20) : centre;
    resetCounts();
    QVERIFY(movePointer(start));
    QTRY_VERIFY(m_raw.m_nMoves > 0);
    QVERIFY(m_pVideo->underMouse());
    resetCounts();

    QVERIFY(movePointer(start + QPoint(40, 30)));
    QTRY_VERIFY(m_raw.m_nMoves > 0);
    QVERIFY(!m_pLog->m_list.isEmpty());
    QCOMPARE(m_pLog->m_list.count("move"), m_pLog->m_list.size());
    QCOMPARE(m_pLog->m_list.size(), m_raw.m_nMoves);
    QCOMPARE(m_pHost->m_nPress + m_pHost->m_nRelease, 0);
}

void TestVideoWidget::contextMenu()
{
    QVERIFY(playInto(m_pVideo, "default"));
    auto *menu = new QVlcMenu(m_pHost);
    m_pVideo->setMenu(menu);
    const QPoint centre = centreOf(m_pVideo);
    QVERIFY(movePointer(centre));
    QTRY_VERIFY(m_pVideo->underMouse());
    resetCounts();

    // The menu runs modally inside the right click; close it from there.
    QPointer<QWidget> shown;
    QRect shownGeometry;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            shown = popup;
            shownGeometry = popup->geometry();
            popup->close();
            closer.stop();
        }
    });
    closer.start(20);
    QVERIFY(xdo({"click", "3"}));
    QTRY_VERIFY(shown);
    QCOMPARE(shown.data(), menu);
    QCOMPARE(shownGeometry.topLeft(), centre);
    QTRY_VERIFY(!QApplication::activePopupWidget());
    QCOMPARE(m_pLog->buttons(), QStringList());

    // An entry chosen in the open menu reaches the widget's signal.
    QSignalSpy options(m_pVideo, &QVlcVideoWidget::clickOptions);
    QTimer chooser;
    connect(&chooser, &QTimer::timeout, this, [&] {
        auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!popup)
            return;
        chooser.stop();
        popup->actions().at(1)->trigger(); // "Options..."
        popup->close();
    });
    chooser.start(20);
    QVERIFY(xdo({"click", "3"}));
    QTRY_COMPARE(options.count(), 1);
    QTRY_VERIFY(!QApplication::activePopupWidget());

    m_pVideo->setMenu(nullptr);
}

void TestVideoWidget::otherWindows_data()
{
    QTest::addColumn<bool>("topLevel");
    QTest::newRow("sibling over the video") << false;
    QTest::newRow("window above the video") << true;
}

void TestVideoWidget::otherWindows()
{
    QFETCH(bool, topLevel);
    QVERIFY(playInto(m_pVideo, "default"));

    // Like the floating control panel: a child of the window, over the video.
    QScopedPointer<QLabel> other(topLevel ? new QLabel("above") : new QLabel("panel", m_pHost));
    const QPoint centre = centreOf(m_pVideo);
    if (topLevel) {
        other->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        other->setGeometry(QRect(centre - QPoint(100, 60), QSize(200, 120)));
    } else {
        other->setGeometry(
            QRect(m_pHost->mapFromGlobal(centre) - QPoint(100, 60), QSize(200, 120)));
    }
    other->setAutoFillBackground(true);
    other->show();
    other->raise();
    QVERIFY(QTest::qWaitForWindowExposed(other->window()));
    // The panel sits over the native video window only as a native window
    // itself, as every sibling of a native widget does.
    QVERIFY(other->internalWinId());
    QTRY_VERIFY(!closeTo(screenPixel(centre), kClipColour));

    QVERIFY(movePointer(centre));
    QTRY_VERIFY(other->underMouse());
    resetCounts();
    QVERIFY(xdo({"click", "1"}));
    QVERIFY(xdo({"click", "--repeat", "2", "--delay", "80", "1"}));
    QVERIFY(xdo({"click", "2"}));
    QVERIFY(movePointer(centre + QPoint(10, 10)));
    QTRY_COMPARE(m_raw.m_nButtons, 9);
    QTRY_VERIFY(m_raw.m_nMoves > 0);
    // They all went to the other window and made no hook signal.
    QCOMPARE(m_raw.m_windows, QSet<QObject *>{other->windowHandle()});
    QCOMPARE(m_pLog->m_list, QStringList());
    QTRY_VERIFY(other->isVisible());
}

void TestVideoWidget::nativeWindowRecreated()
{
    // No video here: libVLC must not draw into a window that goes away.
    stopPlayer();
    // Made without a parent, the widget gets a top-level native window; put
    // into a window, it gets another one (and the hook must follow).
    auto *video = new QVlcVideoWidget;
    const WId alone = video->internalWinId();
    QVERIFY(alone);
    SignalLog log(video);
    HostWindow host;
    host.setCentralWidget(video);
    host.setGeometry(800, 100, 320, 240);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QVERIFY(video->internalWinId());
    QVERIFY(!video->isWindow());

    QVERIFY(movePointer(clickSpot(video)));
    QTRY_VERIFY(video->underMouse());
    log.m_list.clear();
    m_raw.m_nButtons = 0;
    QVERIFY(xdo({"click", "1"}));
    QTRY_COMPARE(m_raw.m_nButtons, 2);
    QCOMPARE(log.buttons(), QStringList({"press", "release"}));
}

void TestVideoWidget::hookLifetime()
{
    // Last: the shared surface goes away here.
    stopPlayer();
    QVERIFY(QVlcVideoWidget::isHookInstalled());
    delete m_pLog;
    m_pLog = nullptr;
    delete m_pHost;
    m_pHost = nullptr;
    m_pVideo = nullptr;
    QVERIFY(!QVlcVideoWidget::isHookInstalled());

    // A new widget installs it again and gets its input.
    QScopedPointer<HostWindow> first(new HostWindow);
    auto *firstVideo = new QVlcVideoWidget;
    QVERIFY(QVlcVideoWidget::isHookInstalled());
    first->setCentralWidget(firstVideo);
    first->setGeometry(100, 100, 320, 240);
    first->show();
    QVERIFY(QTest::qWaitForWindowExposed(first.data()));
    QVERIFY(playInto(firstVideo, "default"));
    SignalLog firstLog(firstVideo);

    // A second surface at the same time gets its own input, and only that.
    QScopedPointer<HostWindow> second(new HostWindow);
    auto *secondVideo = new QVlcVideoWidget;
    second->setCentralWidget(secondVideo);
    second->setGeometry(600, 100, 320, 240);
    second->show();
    QVERIFY(QTest::qWaitForWindowExposed(second.data()));
    SignalLog secondLog(secondVideo);

    auto clickOn = [this](QWidget *widget) {
        if (!movePointer(clickSpot(widget)) ||
            !QTest::qWaitFor([&] { return widget->underMouse(); }, 2000))
            return false;
        m_raw.m_nButtons = 0;
        return xdo({"click", "1"}) && QTest::qWaitFor([&] { return m_raw.m_nButtons == 2; }, 2000);
    };
    QVERIFY(clickOn(firstVideo));
    QCOMPARE(firstLog.buttons(), QStringList({"press", "release"}));
    QCOMPARE(secondLog.buttons(), QStringList());
    firstLog.m_list.clear();
    QVERIFY(clickOn(secondVideo));
    QCOMPARE(secondLog.buttons(), QStringList({"press", "release"}));
    QCOMPARE(firstLog.buttons(), QStringList());

    // The hook stays while one surface is left.
    stopPlayer();
    first.reset();
    QVERIFY(QVlcVideoWidget::isHookInstalled());
    secondLog.m_list.clear();
    QVERIFY(clickOn(secondVideo));
    QCOMPARE(secondLog.buttons(), QStringList({"press", "release"}));
    second.reset();
    QVERIFY(!QVlcVideoWidget::isHookInstalled());
}

QTEST_MAIN(TestVideoWidget)
#include "tst_videowidget.moc"
