#include "testsupport.h"
#include "acceptance_harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace TestSupport {

namespace {

QStringList openWindows(const QList<const QWidget *> &keep)
{
    QStringList lst;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        // A tooltip closes by itself; it is nothing a case left open.
        if (!w->isVisible() || w->windowType() == Qt::ToolTip || keep.contains(w))
            continue;
        lst << QStringLiteral("%1 \"%2\" (%3)")
                   .arg(QString::fromLatin1(w->metaObject()->className()), w->windowTitle(),
                        w->objectName());
    }
    return lst;
}

} // namespace

void verifyNoWindowLeft(const QList<const QWidget *> &keep)
{
    // A window whose close is under way (a worker reporting back, a deferred
    // delete) gets a moment; one that stays is the case's fault.
    const bool bNoneLeft = QTest::qWaitFor([&] { return openWindows(keep).isEmpty(); }, 2000);
    const QStringList lst = bNoneLeft ? QStringList() : openWindows(keep);
    if (!lst.isEmpty()) {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget *w : windows) {
            if (w->isVisible() && !keep.contains(w))
                w->hide();
        }
    }
    QVERIFY2(lst.isEmpty(), qPrintable(QStringLiteral("left open: ") + lst.join(", ")));
}

bool WindowManager::start()
{
    acceptance::XDisplay x;
    if (!x.isOpen())
        return false;
    if (x.windowManagerRunning())
        return true;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!m_process.waitForStarted(5000))
        return false;
    return QTest::qWaitFor([&] { return x.windowManagerRunning(); }, 10000);
}

void WindowManager::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(1000);
    acceptance::XDisplay x;
    if (!QTest::qWaitFor([&] { return !x.windowManagerRunning(); }, 3000))
        qWarning() << "the window manager is still announced after it ended";
}

QColor screenPixel(const QPoint &global)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, global.x(), global.y(), 1, 1)
        .toImage()
        .pixelColor(0, 0);
}

bool similarColour(const QColor &a, const QColor &b, int nTolerance)
{
    return qAbs(a.red() - b.red()) <= nTolerance && qAbs(a.green() - b.green()) <= nTolerance &&
           qAbs(a.blue() - b.blue()) <= nTolerance;
}

QByteArray readFile(const QString &strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeVlcrc(const QByteArray &text)
{
    const QString strDir = QDir::homePath() + QStringLiteral("/.config/vlc");
    QDir().mkpath(strDir);
    QFile rc(strDir + QStringLiteral("/vlcrc"));
    return rc.open(QIODevice::WriteOnly | QIODevice::Truncate) && rc.write(text) == text.size();
}

QRect settledGeometry(QWidget *window, bool bMaximized)
{
    // A maximised window fills the screen's free area with its frame; before
    // the manager's last word it may still stand where it stood.
    const auto placed = [&] {
        if (!bMaximized)
            return true;
        const QRect rcFree = window->screen()->availableGeometry();
        return window->isMaximized() && window->frameGeometry().topLeft() == rcFree.topLeft() &&
               window->frameGeometry().width() == rcFree.width();
    };
    constexpr int kQuietMs = 300;
    QRect rcLast = window->geometry();
    QElapsedTimer quiet;
    quiet.start();
    const bool bSettled = QTest::qWaitFor(
        [&] {
            if (window->geometry() != rcLast || !placed()) {
                rcLast = window->geometry();
                quiet.restart();
            }
            return quiet.elapsed() >= kQuietMs;
        },
        10000);
    return bSettled ? rcLast : QRect();
}

} // namespace TestSupport

// ---- ModalDriver ---------------------------------------------------------------

ModalDriver &ModalDriver::on(const char *szClass, Action action)
{
    m_steps.append({QByteArray(szClass), std::move(action)});
    return *this;
}

ModalDriver &ModalDriver::answerBox(QMessageBox::StandardButton button)
{
    return on("QMessageBox", [this, button](QWidget *w) {
        auto *box = static_cast<QMessageBox *>(w);
        boxTitles << box->windowTitle();
        boxTexts << box->text();
        QTest::mouseClick(box->button(button), Qt::LeftButton);
    });
}

ModalDriver &ModalDriver::fillAndPress(const char *szClass,
                                       const QList<QPair<QString, QString>> &fields,
                                       QDialogButtonBox::StandardButton button)
{
    return on(szClass, [fields, button](QWidget *w) {
        for (const auto &field : fields) {
            auto *edit = w->findChild<QLineEdit *>(field.first);
            QVERIFY2(edit, qPrintable(field.first));
            edit->setText(field.second);
        }
        pressButton(w, button);
    });
}

void ModalDriver::pressButton(QWidget *dialog, QDialogButtonBox::StandardButton button)
{
    auto *box = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(box);
    QTest::mouseClick(box->button(button), Qt::LeftButton);
}

void ModalDriver::start()
{
    m_timer.start();
    QTimer::singleShot(0, this, [this] { poll(); });
}

void ModalDriver::poll()
{
    if (finished())
        return;
    if (m_timer.elapsed() > 5000) {
        // Something unexpected is open (or nothing ever opened): close it
        // so the test fails instead of hanging.
        m_bTimedOut = true;
        if (QWidget *w = QApplication::activeModalWidget()) {
            if (auto *dlg = qobject_cast<QDialog *>(w))
                dlg->reject();
            QTimer::singleShot(10, this, [this] { poll(); });
        }
        return;
    }
    QWidget *w = QApplication::activeModalWidget();
    QTimer::singleShot(10, this, [this] { poll(); });
    if (!w || !w->isVisible() || !w->inherits(m_steps.at(m_nStep).className.constData()))
        return;
    Action action = m_steps.at(m_nStep).action;
    ++m_nStep;
    dialogTitles << w->windowTitle();
    action(w);
}
