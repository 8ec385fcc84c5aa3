#pragma once

#include "qvlcmediaplayer.h"

#include <QMenu>
#include <QPointer>

class QActionGroup;

// The context menu over the video. Two setups: the main actions (Fullscreen,
// Options..., About, Exit), which only emit signals, and the player submenus
// (audio and video tracks, subtitles, playback speed), refreshed from the
// attached player whenever the menu is about to show or the player changes
// state.
class QVlcMenu : public QMenu
{
    Q_OBJECT

public:
    // The main-actions setup.
    explicit QVlcMenu(QWidget *parent = nullptr);
    // Attaches player; builds no actions (see createPlayerMenus()).
    explicit QVlcMenu(QVlcMediaPlayer *player, QWidget *parent = nullptr);

    void createMainActions();
    void createPlayerMenus();

    // Attaches player (not owned); refreshes follow its state changes only.
    void setPlayer(QVlcMediaPlayer *player);
    QVlcMediaPlayer *player() const { return m_pPlayer.data(); }

    // The file filter of the "Open from file..." dialog, untranslated.
    static QString subtitleFileFilter();

signals:
    void clickOptions();
    void clickAbout();
    void clickFullscreen();
    void clickExit();

public slots:
    void updateMenu();

private slots:
    void audioTrackSelected(QAction *action);
    void videoTrackSelected(QAction *action);
    void subtitleSelected(QAction *action);
    void openSubtitleFile(bool checked);
    void playbackRateSelected(QAction *action);

private:
    // Guarded: a player deleted while attached reads as none.
    QPointer<QVlcMediaPlayer> m_pPlayer;
    QMenu *m_pAudioMenu = nullptr;
    QMenu *m_pAudioTracksMenu = nullptr;
    QActionGroup *m_pAudioGroup = nullptr;
    QMenu *m_pVideoMenu = nullptr;
    QMenu *m_pVideoTracksMenu = nullptr;
    QActionGroup *m_pVideoGroup = nullptr;
    QMenu *m_pSubtitlesMenu = nullptr;
    QAction *m_pOpenSubtitleAction = nullptr;
    QActionGroup *m_pSubtitleGroup = nullptr;
    QMenu *m_pSpeedMenu = nullptr;
    QActionGroup *m_pSpeedGroup = nullptr;
};
