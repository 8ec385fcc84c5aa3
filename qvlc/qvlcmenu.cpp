#include "qvlcmenu.h"

#include <QActionGroup>
#include <QFileDialog>
#include <QIcon>

// The icons live in this library's own resources; a static library's resource
// object is only linked in when something asks for it.
static void initResources()
{
    Q_INIT_RESOURCE(qvlc);
}

namespace {

// Built once at program start and passed through translation when the dialog
// opens. The catalogues carry no entry for it (its patterns are the same in
// every language), so it is deliberately not marked for lupdate.
const char *const kSubtitleFileFilter =
    "Subtitle Files (*.idx *.sub *.srt *.ssa *.ass *.smi *.utf *.utf8 *.utf-8 *.txt "
    "*.rt *.aqt *.usf *.jss *.cdg *.psb *.mpsub *.mpl2 *.pjs *.dks)";

const double kPlaybackRates[] = {0.25, 0.5, 1, 1.5, 2};

// Removes the entries of group from menu and deletes them; other entries of
// the menu stay.
void clearGroup(QMenu *menu, QActionGroup *group)
{
    const QList<QAction *> actions = group->actions();
    for (QAction *action : actions) {
        menu->removeAction(action);
        group->removeAction(action);
        delete action;
    }
}

// Lists tracks in menu as checkable entries of group. An entry carries its
// position in the list, the form the player's selection slots take; it is
// checked when its libVLC id is the one the player reports as current.
void fillTracks(QMenu *menu, QActionGroup *group, const QList<QVlcTrack> &tracks, int nCurrentId)
{
    for (const QVlcTrack &track : tracks) {
        QAction *action = new QAction(track.name(), group);
        action->setCheckable(true);
        action->setData(track.index());
        action->setChecked(track.id() == nCurrentId);
        menu->addAction(action);
    }
}

} // namespace

QVlcMenu::QVlcMenu(QWidget *parent) : QMenu(parent)
{
    createMainActions();
}

QVlcMenu::QVlcMenu(QVlcMediaPlayer *player, QWidget *parent) : QMenu(parent)
{
    setPlayer(player);
}

QString QVlcMenu::subtitleFileFilter()
{
    return QString::fromLatin1(kSubtitleFileFilter);
}

void QVlcMenu::createMainActions()
{
    initResources();
    QAction *action = addAction(QIcon(QStringLiteral(":/res/fullscreen.png")), tr("Fullscreen"));
    connect(action, &QAction::triggered, this, &QVlcMenu::clickFullscreen);
    action = addAction(tr("Options..."));
    connect(action, &QAction::triggered, this, &QVlcMenu::clickOptions);
    action = addAction(QIcon(QStringLiteral(":/res/about.png")), tr("About"));
    connect(action, &QAction::triggered, this, &QVlcMenu::clickAbout);
    addSeparator();
    action = addAction(tr("Exit"));
    connect(action, &QAction::triggered, this, &QVlcMenu::clickExit);
}

void QVlcMenu::createPlayerMenus()
{
    m_pAudioMenu = addMenu(tr("Audio"));
    m_pAudioTracksMenu = m_pAudioMenu->addMenu(tr("Tracks"));
    m_pAudioGroup = new QActionGroup(this);
    m_pAudioGroup->setExclusive(true);
    connect(m_pAudioGroup, &QActionGroup::triggered, this, &QVlcMenu::audioTrackSelected);

    m_pVideoMenu = addMenu(tr("Video"));
    m_pVideoTracksMenu = m_pVideoMenu->addMenu(tr("Tracks"));
    m_pVideoGroup = new QActionGroup(this);
    m_pVideoGroup->setExclusive(true);
    connect(m_pVideoGroup, &QActionGroup::triggered, this, &QVlcMenu::videoTrackSelected);

    m_pSubtitlesMenu = m_pVideoMenu->addMenu(tr("Subtitles"));
    m_pOpenSubtitleAction = m_pSubtitlesMenu->addAction(tr("Open from file..."));
    connect(m_pOpenSubtitleAction, &QAction::triggered, this, &QVlcMenu::openSubtitleFile);
    m_pSubtitlesMenu->addSeparator();
    m_pSubtitleGroup = new QActionGroup(this);
    m_pSubtitleGroup->setExclusive(true);
    connect(m_pSubtitleGroup, &QActionGroup::triggered, this, &QVlcMenu::subtitleSelected);

    connect(this, &QMenu::aboutToShow, this, &QVlcMenu::updateMenu);

    addSeparator();

    m_pSpeedMenu = addMenu(tr("Playback speed"));
    m_pSpeedGroup = new QActionGroup(this);
    m_pSpeedGroup->setExclusive(true);
    for (double rate : kPlaybackRates) {
        QAction *action =
            new QAction(QString::number(rate, 'g', 6) + QLatin1Char('x'), m_pSpeedGroup);
        action->setData(QVariant(float(rate)));
        action->setCheckable(true);
        m_pSpeedMenu->addAction(action);
    }
    connect(m_pSpeedGroup, &QActionGroup::triggered, this, &QVlcMenu::playbackRateSelected);
}

void QVlcMenu::setPlayer(QVlcMediaPlayer *player)
{
    if (m_pPlayer)
        disconnect(m_pPlayer, nullptr, this, nullptr);
    m_pPlayer = player;
    if (m_pPlayer) {
        connect(m_pPlayer, qOverload<int>(&QVlcMediaPlayer::stateChanged), this,
                &QVlcMenu::updateMenu);
    }
}

void QVlcMenu::updateMenu()
{
    if (!m_pPlayer || !m_pSpeedGroup || !m_pPlayer->isPlaying())
        return;

    // The player fills its track lists lazily; make them current first.
    m_pPlayer->pollTracks();

    m_pAudioTracksMenu->clear();
    clearGroup(m_pAudioTracksMenu, m_pAudioGroup);
    m_pAudioTracksMenu->menuAction()->setEnabled(m_pPlayer->hasAudioTracks());
    fillTracks(m_pAudioTracksMenu, m_pAudioGroup, m_pPlayer->audioTracks(),
               m_pPlayer->audioTrack());

    m_pVideoTracksMenu->clear();
    clearGroup(m_pVideoTracksMenu, m_pVideoGroup);
    m_pVideoTracksMenu->menuAction()->setEnabled(m_pPlayer->hasVideoTracks());
    fillTracks(m_pVideoTracksMenu, m_pVideoGroup, m_pPlayer->videoTracks(),
               m_pPlayer->videoTrack());

    // "Open from file..." and its separator stay.
    clearGroup(m_pSubtitlesMenu, m_pSubtitleGroup);
    fillTracks(m_pSubtitlesMenu, m_pSubtitleGroup, m_pPlayer->subtitles(), m_pPlayer->subtitle());

    // libVLC keeps the rate as a float, as the entries do.
    const float rate = float(m_pPlayer->rate());
    const QList<QAction *> speeds = m_pSpeedGroup->actions();
    for (QAction *action : speeds)
        action->setChecked(action->data().toFloat() == rate);
}

void QVlcMenu::audioTrackSelected(QAction *action)
{
    if (m_pPlayer)
        m_pPlayer->setAudioTrack(action->data().toInt());
}

void QVlcMenu::videoTrackSelected(QAction *action)
{
    if (m_pPlayer)
        m_pPlayer->setVideoTrack(action->data().toInt());
}

void QVlcMenu::subtitleSelected(QAction *action)
{
    if (m_pPlayer)
        m_pPlayer->setSubtitle(action->data().toInt());
}

void QVlcMenu::openSubtitleFile(bool checked)
{
    Q_UNUSED(checked)
    if (!m_pPlayer)
        return;
    const QString file = QFileDialog::getOpenFileName(this, tr("Open subtitles..."), QString(),
                                                      tr(kSubtitleFileFilter));
    if (!file.isEmpty())
        m_pPlayer->setSubtitle(file);
}

void QVlcMenu::playbackRateSelected(QAction *action)
{
    if (m_pPlayer)
        m_pPlayer->setRate(action->data().toDouble());
}
