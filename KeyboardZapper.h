#pragma once

#include <QObject>
#include <QTimer>

class QKeyEvent;

// The main window's keys, as on a TV remote: Up/Down and Page Up/Page Down
// step to the previous or next channel, digits typed within 1.5 s of each
// other pick a channel by its number in the list, Enter plays the current
// channel, Space plays or stops, M mutes, F toggles full screen, Left/Right
// change the volume by one wheel notch and Ctrl+F searches the list. It only
// says what was asked; the main window decides what that means now.
class KeyboardZapper : public QObject
{
    Q_OBJECT

public:
    static constexpr int kNumberTimeoutMs = 1500;

    explicit KeyboardZapper(QObject *parent = nullptr);

    // Takes a key press meant for the main window; false when it is not one
    // of the keys above (and the window should handle it as before).
    bool keyPress(QKeyEvent *event);
    // The digits typed so far, empty when no number is being typed.
    QString pendingNumber() const { return m_strNumber; }
    // The keys, as one translated HTML paragraph for the About box.
    static QString helpText();

signals:
    void previousChannel();
    void nextChannel();
    void numberTyped(const QString &strDigits); // while typing, for the overlay
    void channelNumber(int nNumber);            // typing is over: channel 1, 2, ...
    void playCurrent();
    void playOrStop();
    void mute();
    void fullScreen();
    void volumeStep(int nWheelDelta); // +120 or -120, one notch of the wheel
    void search();

private:
    void commitNumber();

    QString m_strNumber;
    QTimer m_timerNumber;
};
