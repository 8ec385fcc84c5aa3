#pragma once

#include <QWidget>

namespace Ui {
class CDlgControl;
}

// The grey strip of buttons at the bottom of the video. It holds no logic: every
// control re-emits a signal that the main window acts on, and the main window
// tells it which icons to show and which buttons to enable.
class CDlgControl : public QWidget
{
    Q_OBJECT

public:
    explicit CDlgControl(QWidget *parent);
    ~CDlgControl() override;

    void setVolume(int value);
    int volume() const;
    void setMuted(bool bMuted);
    void setPlaying(bool bPlaying);
    void setPrevNextEnabled(bool bNext, bool bPrev);

signals:
    void clickShowChannelList();
    void clickPrevious();
    void clickNext();
    void clickPlay();
    void clickMute();
    void clickFullScreen();
    void moveVolume(int);
    void moveProgress(int);
    void clickActionOptions();
    void clickActionAbout();

private:
    friend class TestMainWindow;
    friend class TestPanels;

    Ui::CDlgControl *ui;
    bool m_bMuted = false;
    bool m_bPlaying = false;
};
