#include "KeyboardZapper.h"

#include <QKeyEvent>

namespace {
// The longest list taken holds 1,000,000 channels, seven digits; further
// digits are not a channel number and are dropped.
constexpr int kMaxDigits = 7;
} // namespace

KeyboardZapper::KeyboardZapper(QObject *parent) : QObject(parent)
{
    m_timerNumber.setSingleShot(true);
    m_timerNumber.setInterval(kNumberTimeoutMs);
    connect(&m_timerNumber, &QTimer::timeout, this, &KeyboardZapper::commitNumber);
}

bool KeyboardZapper::keyPress(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (event->key() == Qt::Key_F && modifiers == Qt::ControlModifier) {
        emit search();
        return true;
    }
    if (modifiers != Qt::NoModifier)
        return false;

    const int nKey = event->key();
    if (nKey >= Qt::Key_0 && nKey <= Qt::Key_9) {
        if (m_strNumber.size() < kMaxDigits)
            m_strNumber += QChar(QLatin1Char('0' + (nKey - Qt::Key_0)));
        m_timerNumber.start();
        emit numberTyped(m_strNumber);
        return true;
    }
    switch (nKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter ends a number at once, as on a remote; otherwise it plays the
        // channel that is current.
        if (!m_strNumber.isEmpty())
            commitNumber();
        else
            emit playCurrent();
        return true;
    case Qt::Key_Up:
    case Qt::Key_PageUp:
        emit previousChannel();
        return true;
    case Qt::Key_Down:
    case Qt::Key_PageDown:
        emit nextChannel();
        return true;
    case Qt::Key_Space:
        emit playOrStop();
        return true;
    case Qt::Key_M:
        emit mute();
        return true;
    case Qt::Key_F:
        emit fullScreen();
        return true;
    case Qt::Key_Left:
        emit volumeStep(-120);
        return true;
    case Qt::Key_Right:
        emit volumeStep(120);
        return true;
    default:
        return false;
    }
}

void KeyboardZapper::commitNumber()
{
    m_timerNumber.stop();
    const QString strNumber = m_strNumber;
    m_strNumber.clear();
    const int nNumber = strNumber.toInt();
    if (nNumber > 0)
        emit channelNumber(nNumber);
}

QString KeyboardZapper::helpText()
{
    return tr("<p><b>Keys</b><br>"
              "Up, Down, Page Up, Page Down: previous or next channel<br>"
              "Digits: the channel of that number in the list<br>"
              "Enter: play the current channel<br>"
              "Space: play or stop<br>"
              "M: mute<br>"
              "F: full screen, Esc: leave it<br>"
              "Left, Right: volume<br>"
              "Ctrl+F: search the channel list</p>");
}
