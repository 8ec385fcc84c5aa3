#include "DlgControl.h"
#include "DlgVideoText.h"
#include "testsupport.h"
#include "ui_DlgControl.h"

#include <QMenu>
#include <QtTest>

// The control panel and the text overlay on their own, offscreen.
class TestPanels : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { TestSupport::verifyNoWindowLeft(); }
    void overlayShowsWholeText_data();
    void overlayShowsWholeText();
    void overlayEmptyText();
    void panelIconsChangeOnlyOnChange();
    void panelVolume();
    void panelPrevNextOrder();
    void panelSignals();
};

namespace {
// Width of the painted red text, in pixels.
int paintedTextWidth(QWidget &widget)
{
    const QImage image = widget.grab().toImage();
    int nLeft = image.width();
    int nRight = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 128 && c.green() < 100 && c.blue() < 100) {
                nLeft = qMin(nLeft, x);
                nRight = qMax(nRight, x);
            }
        }
    }
    return nRight < 0 ? 0 : nRight - nLeft + 1;
}
} // namespace

void TestPanels::overlayShowsWholeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("volume") << QStringLiteral("Volume: 64");
    QTest::newRow("channel name") << QStringLiteral("CCTV-1 Demo");
    QTest::newRow("three words") << QStringLiteral("Colour Bars HD");
    QTest::newRow("chinese") << QStringLiteral("凤凰卫视 中文台");
}

void TestPanels::overlayShowsWholeText()
{
    QFETCH(QString, text);
    QWidget parent;
    parent.resize(800, 200);
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, Qt::black);
    parent.setPalette(pal);
    parent.setAutoFillBackground(true);
    auto *overlay = new CDlgVideoText(&parent);
    overlay->m_strText = text;
    overlay->resize(overlay->textSize());
    overlay->show();
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));

    // Sized to the text, every word of it is painted on one line: the last
    // word must not wrap away below the widget's edge.
    const QFontMetrics metrics(overlay->font());
    QCOMPARE(overlay->height(), metrics.height() + 10);
    QVERIFY2(paintedTextWidth(*overlay) >= metrics.horizontalAdvance(text) * 9 / 10,
             qPrintable(QStringLiteral("painted %1 of %2 pixels")
                            .arg(paintedTextWidth(*overlay))
                            .arg(metrics.horizontalAdvance(text))));
}

void TestPanels::overlayEmptyText()
{
    QWidget parent;
    CDlgVideoText overlay(&parent);
    QCOMPARE(overlay.windowFlags() & Qt::WindowType_Mask, Qt::Widget);
    QVERIFY(overlay.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(overlay.textSize().width(), 10);
    QCOMPARE(overlay.textSize().height(), QFontMetrics(overlay.font()).height() + 10);
}

void TestPanels::panelIconsChangeOnlyOnChange()
{
    QWidget parent;
    CDlgControl panel(&parent);
    const qint64 nMuteIcon = panel.ui->btnMute->icon().cacheKey();
    panel.setMuted(false);
    QCOMPARE(panel.ui->btnMute->icon().cacheKey(), nMuteIcon);
    panel.setMuted(true);
    QVERIFY(panel.ui->btnMute->icon().cacheKey() != nMuteIcon);
    const qint64 nMutedIcon = panel.ui->btnMute->icon().cacheKey();
    panel.setMuted(true);
    QCOMPARE(panel.ui->btnMute->icon().cacheKey(), nMutedIcon);

    const qint64 nPlayIcon = panel.ui->btnPlay->icon().cacheKey();
    panel.setPlaying(false);
    QCOMPARE(panel.ui->btnPlay->icon().cacheKey(), nPlayIcon);
    panel.setPlaying(true);
    QVERIFY(panel.ui->btnPlay->icon().cacheKey() != nPlayIcon);
    QVERIFY(panel.ui->sliderProgress->isHidden());
    QCOMPARE(panel.maximumWidth(), 500);
    QCOMPARE(panel.minimumWidth(), 500);
}

void TestPanels::panelVolume()
{
    QWidget parent;
    CDlgControl panel(&parent);
    QSignalSpy moved(&panel, &CDlgControl::moveVolume);
    panel.setVolume(40);
    QCOMPARE(moved.count(), 1);
    panel.setVolume(40);
    QCOMPARE(moved.count(), 1);
    panel.setVolume(150);
    QCOMPARE(panel.volume(), 100);
    QCOMPARE(moved.count(), 2);
    QCOMPARE(moved.last().at(0).toInt(), 100);
}

void TestPanels::panelPrevNextOrder()
{
    QWidget parent;
    CDlgControl panel(&parent);
    panel.setPrevNextEnabled(false, true);
    QVERIFY(!panel.ui->btnNext->isEnabled());
    QVERIFY(panel.ui->btnPrev->isEnabled());
}

void TestPanels::panelSignals()
{
    QWidget parent;
    CDlgControl panel(&parent);
    const QList<QPair<QAbstractButton *, const char *>> buttons = {
        {panel.ui->btnChannelList, SIGNAL(clickShowChannelList())},
        {panel.ui->btnPrev, SIGNAL(clickPrevious())},
        {panel.ui->btnNext, SIGNAL(clickNext())},
        {panel.ui->btnPlay, SIGNAL(clickPlay())},
        {panel.ui->btnMute, SIGNAL(clickMute())},
        {panel.ui->btnFullScreen, SIGNAL(clickFullScreen())},
    };
    for (const auto &button : buttons) {
        QSignalSpy spy(&panel, button.second);
        button.first->click();
        QVERIFY2(spy.count() == 1, button.second);
    }
    QSignalSpy options(&panel, &CDlgControl::clickActionOptions);
    QSignalSpy about(&panel, &CDlgControl::clickActionAbout);
    const QList<QAction *> actions = panel.ui->btnMenu->menu()->actions();
    QCOMPARE(actions.size(), 2);
    actions.at(0)->trigger();
    actions.at(1)->trigger();
    QCOMPARE(options.count(), 1);
    QCOMPARE(about.count(), 1);
}

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
