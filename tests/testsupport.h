#pragma once

// What many test programs need beside the code under test: the check that a
// case left no window open, a window manager on the test's X server, the
// user's libVLC configuration, and a wait for a window that the window
// manager has finished placing. Nothing here depends on the application.

#include <QColor>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QRect>
#include <QStringList>

#include <functional>

class QWidget;

namespace TestSupport {

// For a GUI test's cleanup(): fails the case when a top-level window other
// than the ones kept is still visible (after a short grace for windows that
// are closing), and hides it so that the next case starts clean.
void verifyNoWindowLeft(const QList<const QWidget *> &keep = {});

// openbox on the test's own X server; full screen, maximised states and the
// title bar's close need a window manager.
class WindowManager
{
public:
    ~WindowManager() { stop(); }
    // Starts it (unless one runs already) and waits until it has announced
    // itself on the root window.
    bool start();
    void stop();

private:
    QProcess m_process;
};

// What the screen shows at a global point; whether two colours are alike
// (every channel within the tolerance).
QColor screenPixel(const QPoint &global);
bool similarColour(const QColor &a, const QColor &b, int nTolerance);

// The whole file, or nothing when it cannot be read.
QByteArray readFile(const QString &strPath);

// Writes the vlcrc that every libVLC instance of the test process reads
// (tests/isolate gives each test a home of its own).
bool writeVlcrc(const QByteArray &text);

// Waits until a shown top-level window has the place the window manager gives
// it: maximised when asked, and its geometry unchanged for a while (the
// manager may move a window it has already resized). Returns that geometry,
// or a null rectangle when it does not settle.
QRect settledGeometry(QWidget *window, bool bMaximized = false);

} // namespace TestSupport

// Answers the modal dialogs and message boxes that a command opens, so a test
// can call the command directly and never hang on a box nobody closes.
//
// Usage: queue steps, then call the command that runs exec(). Each step waits
// until the active modal widget is of the expected kind, then acts on it. A
// step's action may itself open a nested modal loop (pressing OK can raise an
// "Error" box), so the next poll is always scheduled before the action runs.
class ModalDriver : public QObject
{
public:
    using Action = std::function<void(QWidget *)>;

    // Acts on the next modal widget whose class inherits szClass.
    ModalDriver &on(const char *szClass, Action action);
    // Presses the message box's button and records its title and text.
    ModalDriver &answerBox(QMessageBox::StandardButton button);
    // Fills line edits of the dialog by object name, then presses a button.
    ModalDriver &fillAndPress(const char *szClass, const QList<QPair<QString, QString>> &fields,
                              QDialogButtonBox::StandardButton button);
    static void pressButton(QWidget *dialog, QDialogButtonBox::StandardButton button);

    void start();
    bool finished() const { return m_nStep >= m_steps.size(); }
    bool timedOut() const { return m_bTimedOut; }

    QStringList boxTitles;
    QStringList boxTexts;
    QStringList dialogTitles; // window title of every dialog a step acted on

private:
    struct Step
    {
        QByteArray className;
        Action action;
    };
    void poll();

    QList<Step> m_steps;
    int m_nStep = 0;
    QElapsedTimer m_timer;
    bool m_bTimedOut = false;
};
