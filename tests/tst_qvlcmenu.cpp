// The context menu over the video: its main actions, its player submenus built
// from a real libVLC player playing real clips, and the video widget's hold on
// it. Offscreen: libVLC decodes into its dummy video output.

#include "qvlc/qvlcinstance.h"
#include "qvlc/qvlcmediaplayer.h"
#include "qvlc/qvlcmenu.h"
#include "qvlc/qvlcvideowidget.h"
#include "testmedia.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

QAction *findAction(QMenu *menu, const QString &text)
{
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// The submenu reached through a path of entry texts, e.g. {"Audio", "Tracks"}.
QMenu *subMenu(QMenu *menu, const QStringList &path)
{
    for (const QString &text : path) {
        QAction *action = menu ? findAction(menu, text) : nullptr;
        menu = action ? action->menu() : nullptr;
    }
    return menu;
}

// The checkable entries of a submenu: the track or speed entries.
QList<QAction *> checkableEntries(QMenu *menu)
{
    QList<QAction *> entries;
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (action->isCheckable())
            entries.append(action);
    }
    return entries;
}

QStringList texts(const QList<QAction *> &actions)
{
    QStringList list;
    for (QAction *action : actions)
        list.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return list;
}

} // namespace

class TestQVlcMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void mainActions_data();
    void mainActions();
    void mainActionsLayout();
    void playerMenusLayout();
    void tracksListedOnce();
    void trackChoicePlaysThatTrack_data();
    void trackChoicePlaysThatTrack();
    void noAudioTrack();
    void playbackRate_data();
    void playbackRate();
    void refreshNeedsPlayingPlayer();
    void setPlayerStopsRefreshesFromFirst();
    void openSubtitleFile();
    void openSubtitleFileCancelled();
    void playerDeletedWhileAttached();
    void widgetForwardsMenuSignals_data();
    void widgetForwardsMenuSignals();
    void widgetSetMenuDeletesOld();

private:
    QString makeClip(const QString &name, const QStringList &inputArgs);
    QVlcMediaPlayer *startPlayer(const QString &path);

    QTemporaryDir m_dir;
    QString m_strAvClip;
    QString m_strVideoClip;
    QString m_strSubtitles;
    QVlcInstance *m_pInstance = nullptr;
};

QString TestQVlcMenu::makeClip(const QString &name, const QStringList &args)
{
    const QString path = m_dir.filePath(name);
    return TestMedia::ffmpeg(path, args) ? path : QString();
}

void TestQVlcMenu::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Two audio tracks, so that choosing one can be told apart from the other.
    // They come first in the file: libVLC's track ids (0, 1) then differ from
    // the entries' list positions (1, 2, after "Disable").
    m_strAvClip = makeClip("av.mkv", {"-f",
                                      "lavfi",
                                      "-i",
                                      "testsrc=size=160x120:rate=25:duration=3",
                                      "-f",
                                      "lavfi",
                                      "-i",
                                      "sine=frequency=440:duration=3",
                                      "-f",
                                      "lavfi",
                                      "-i",
                                      "sine=frequency=880:duration=3",
                                      "-map",
                                      "1:a",
                                      "-map",
                                      "2:a",
                                      "-map",
                                      "0:v",
                                      "-c:v",
                                      "mpeg4",
                                      "-c:a",
                                      "mp2",
                                      "-metadata:s:a:0",
                                      "title=First",
                                      "-metadata:s:a:1",
                                      "title=Second"});
    QVERIFY(!m_strAvClip.isEmpty());
    m_strVideoClip =
        makeClip("video.mkv",
                 {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=3", "-c:v", "mpeg4"});
    QVERIFY(!m_strVideoClip.isEmpty());
    m_strSubtitles = m_dir.filePath("subs.srt");
    QFile srt(m_strSubtitles);
    QVERIFY(srt.open(QIODevice::WriteOnly));
    srt.write("1\n00:00:00,000 --> 00:00:30,000\nHello\n\n");
    srt.close();

    // The clips loop, so a player stays in Playing for the whole test.
    m_pInstance =
        new QVlcInstance({"--vout=dummy", "--input-repeat=65535", "--no-video-title-show"}, this);
    QVERIFY(m_pInstance->isValid());
}

void TestQVlcMenu::cleanupTestCase()
{
    delete m_pInstance;
    m_pInstance = nullptr;
}

void TestQVlcMenu::cleanup()
{
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QTRY_VERIFY(!QApplication::activePopupWidget());
    TestSupport::verifyNoWindowLeft();
}

QVlcMediaPlayer *TestQVlcMenu::startPlayer(const QString &path)
{
    auto *player = new QVlcMediaPlayer(m_pInstance, this);
    if (!player->open(path))
        return player;
    player->play();
    // Playing, and the streams known to libVLC.
    if (!QTest::qWaitFor([&] { return player->isPlaying() && player->hasVideoTracks(); }, 10000))
        qWarning() << "the clip does not play:" << path;
    return player;
}

void TestQVlcMenu::mainActions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("signalIndex"); // into the spies of the test below

    QTest::newRow("Fullscreen") << "Fullscreen" << 0;
    QTest::newRow("Options") << "Options..." << 1;
    QTest::newRow("About") << "About" << 2;
    QTest::newRow("Exit") << "Exit" << 3;
}

void TestQVlcMenu::mainActions()
{
    QFETCH(QString, text);
    QFETCH(int, signalIndex);

    QVlcMenu menu;
    QSignalSpy fullscreen(&menu, &QVlcMenu::clickFullscreen);
    QSignalSpy options(&menu, &QVlcMenu::clickOptions);
    QSignalSpy about(&menu, &QVlcMenu::clickAbout);
    QSignalSpy exitSpy(&menu, &QVlcMenu::clickExit);
    QList<QSignalSpy *> spies{&fullscreen, &options, &about, &exitSpy};

    QAction *action = findAction(&menu, text);
    QVERIFY(action);
    QVERIFY(!action->isCheckable());
    action->trigger();
    for (int i = 0; i < spies.size(); ++i)
        QCOMPARE(spies.at(i)->count(), i == signalIndex ? 1 : 0);
}

void TestQVlcMenu::mainActionsLayout()
{
    QWidget parent;
    QVlcMenu menu(&parent);
    QCOMPARE(menu.parentWidget(), &parent);
    QVERIFY(!menu.player());
    QCOMPARE(texts(menu.actions()),
             QStringList({"Fullscreen", "Options...", "About", "-", "Exit"}));
    QVERIFY(!menu.actions().at(0)->icon().isNull());
    QVERIFY(menu.actions().at(1)->icon().isNull());
    QVERIFY(!menu.actions().at(2)->icon().isNull());
    QVERIFY(menu.actions().at(4)->icon().isNull());
    // The same pictures as the resources they come from.
    const QImage fullscreen(QStringLiteral(":/res/fullscreen.png"));
    QVERIFY(!fullscreen.isNull());
    QCOMPARE(menu.actions()
                 .at(0)
                 ->icon()
                 .pixmap(fullscreen.size())
                 .toImage()
                 .convertToFormat(QImage::Format_ARGB32),
             fullscreen.convertToFormat(QImage::Format_ARGB32));
    for (QAction *action : menu.actions())
        QVERIFY(action->shortcut().isEmpty());
}

void TestQVlcMenu::playerMenusLayout()
{
    QVlcMediaPlayer player(m_pInstance);
    QVlcMenu menu(&player);
    QCOMPARE(menu.player(), &player);
    QVERIFY(menu.actions().isEmpty()); // this constructor builds nothing itself
    menu.createPlayerMenus();

    QCOMPARE(texts(menu.actions()), QStringList({"Audio", "Video", "-", "Playback speed"}));
    QCOMPARE(texts(subMenu(&menu, {"Audio"})->actions()), QStringList({"Tracks"}));
    QCOMPARE(texts(subMenu(&menu, {"Video"})->actions()), QStringList({"Tracks", "Subtitles"}));
    QCOMPARE(texts(subMenu(&menu, {"Video", "Subtitles"})->actions()),
             QStringList({"Open from file...", "-"}));
    QMenu *speed = subMenu(&menu, {"Playback speed"});
    QVERIFY(speed);
    QCOMPARE(texts(speed->actions()), QStringList({"0.25x", "0.5x", "1x", "1.5x", "2x"}));
    const QList<double> rates{0.25, 0.5, 1, 1.5, 2};
    for (int i = 0; i < rates.size(); ++i) {
        QAction *action = speed->actions().at(i);
        QVERIFY(action->isCheckable());
        QCOMPARE(action->data().userType(), int(QMetaType::Float));
        QCOMPARE(action->data().toDouble(), rates.at(i));
        QVERIFY(action->actionGroup() && action->actionGroup()->isExclusive());
    }
    // Nothing playing: a refresh leaves the menu as built.
    emit menu.aboutToShow();
    QVERIFY(subMenu(&menu, {"Audio", "Tracks"})->actions().isEmpty());
}

void TestQVlcMenu::tracksListedOnce()
{
    QScopedPointer<QVlcMediaPlayer> player(startPlayer(m_strAvClip));
    QVERIFY(player->isPlaying());
    QVlcMenu menu(player.data());
    menu.createPlayerMenus();
    QMenu *audio = subMenu(&menu, {"Audio", "Tracks"});
    QMenu *video = subMenu(&menu, {"Video", "Tracks"});
    QVERIFY(audio && video);

    // Refreshes also come from the player's state changes; several in a row
    // must never add entries up.
    QTRY_VERIFY((menu.updateMenu(), player->audioTracks().size() == 3));
    for (int i = 0; i < 3; ++i) {
        emit menu.aboutToShow();
        // libVLC lists "Disable" first, then the two tracks of the clip.
        QCOMPARE(texts(audio->actions()).size(), 3);
        QCOMPARE(checkableEntries(audio).size(), 3);
        QVERIFY(texts(audio->actions()).contains(QStringLiteral("Disable")));
        QCOMPARE(checkableEntries(video).size(), player->videoTracks().size());
        QVERIFY(!checkableEntries(video).isEmpty());
        QVERIFY(audio->menuAction()->isEnabled());
        QVERIFY(video->menuAction()->isEnabled());
    }
    // The entries carry their list positions; the checked one is the track
    // libVLC plays.
    const QList<QVlcTrack> tracks = player->audioTracks();
    const QList<QAction *> entries = checkableEntries(audio);
    int nChecked = 0;
    for (int i = 0; i < entries.size(); ++i) {
        QCOMPARE(entries.at(i)->data().toInt(), i);
        QCOMPARE(entries.at(i)->text(), tracks.at(i).name());
        if (entries.at(i)->isChecked()) {
            ++nChecked;
            QCOMPARE(tracks.at(i).id(), player->audioTrack());
        }
    }
    QCOMPARE(nChecked, 1);
    // Otherwise the test could not tell a position from an id.
    QCOMPARE(tracks.at(1).id(), 0);
    QCOMPARE(tracks.at(2).id(), 1);
    QCOMPARE(QStringList({tracks.at(1).name(), tracks.at(2).name()}).join(' ').count("First"), 1);
    player->stop();
}

void TestQVlcMenu::trackChoicePlaysThatTrack_data()
{
    QTest::addColumn<int>("position");
    QTest::newRow("Disable") << 0;
    QTest::newRow("second track") << 2;
    QTest::newRow("first track") << 1;
}

void TestQVlcMenu::trackChoicePlaysThatTrack()
{
    QFETCH(int, position);

    QScopedPointer<QVlcMediaPlayer> player(startPlayer(m_strAvClip));
    QVERIFY(player->isPlaying());
    QVlcMenu menu(player.data());
    menu.createPlayerMenus();
    QMenu *audio = subMenu(&menu, {"Audio", "Tracks"});
    QTRY_COMPARE((menu.updateMenu(), checkableEntries(audio).size()), 3);

    const QList<QVlcTrack> tracks = player->audioTracks();
    const int nWantedId = tracks.at(position).id();
    // Start from another track, so the choice has something to change.
    const int nOther = position == 1 ? 2 : 1;
    player->setAudioTrack(nOther);
    QTRY_COMPARE(player->audioTrack(), tracks.at(nOther).id());
    menu.updateMenu();
    QVERIFY(checkableEntries(audio).at(nOther)->isChecked());

    checkableEntries(audio).at(position)->trigger();
    QTRY_COMPARE(player->audioTrack(), nWantedId);
    menu.updateMenu();
    const QList<QAction *> entries = checkableEntries(audio);
    for (int i = 0; i < entries.size(); ++i)
        QCOMPARE(entries.at(i)->isChecked(), i == position);
    player->stop();
}

void TestQVlcMenu::noAudioTrack()
{
    QScopedPointer<QVlcMediaPlayer> player(startPlayer(m_strVideoClip));
    QVERIFY(player->isPlaying());
    QVlcMenu menu(player.data());
    menu.createPlayerMenus();
    QMenu *audio = subMenu(&menu, {"Audio", "Tracks"});
    QMenu *video = subMenu(&menu, {"Video", "Tracks"});
    QTRY_VERIFY((menu.updateMenu(), !checkableEntries(video).isEmpty()));
    QVERIFY(!audio->menuAction()->isEnabled());
    QVERIFY(audio->actions().isEmpty());
    QVERIFY(video->menuAction()->isEnabled());
    // The subtitles submenu stays usable for a file even without subtitles.
    QVERIFY(subMenu(&menu, {"Video", "Subtitles"})->menuAction()->isEnabled());
    player->stop();
}

void TestQVlcMenu::playbackRate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("rate");
    QTest::newRow("1.5x") << "1.5x" << 1.5;
    QTest::newRow("0.25x") << "0.25x" << 0.25;
    QTest::newRow("2x") << "2x" << 2.0;
}

void TestQVlcMenu::playbackRate()
{
    QFETCH(QString, text);
    QFETCH(double, rate);

    QScopedPointer<QVlcMediaPlayer> player(startPlayer(m_strAvClip));
    QVERIFY(player->isPlaying());
    QVlcMenu menu(player.data());
    menu.createPlayerMenus();
    QMenu *speed = subMenu(&menu, {"Playback speed"});
    menu.updateMenu();
    QVERIFY(findAction(speed, "1x")->isChecked());

    QSignalSpy rateSpy(player.data(), &QVlcMediaPlayer::rateChanged);
    findAction(speed, text)->trigger();
    QCOMPARE(rateSpy.count(), 1);
    QCOMPARE(rateSpy.at(0).at(0).toDouble(), rate);
    QCOMPARE(player->rate(), rate);

    // Another entry checked meanwhile (as a user click would leave it) is put
    // right by the next refresh.
    findAction(speed, "1x")->setChecked(true);
    emit menu.aboutToShow();
    const QList<QAction *> entries = speed->actions();
    for (QAction *action : entries)
        QCOMPARE(action->isChecked(), action->text() == text);
    player->stop();
}

void TestQVlcMenu::refreshNeedsPlayingPlayer()
{
    QScopedPointer<QVlcMediaPlayer> player(startPlayer(m_strAvClip));
    QVERIFY(player->isPlaying());
    QVlcMenu menu(player.data());
    menu.createPlayerMenus();
    QMenu *audio = subMenu(&menu, {"Audio", "Tracks"});
    QTRY_COMPARE((menu.updateMenu(), checkableEntries(audio).size()), 3);
    QPointer<QAction> entry = checkableEntries(audio).first();

    // A selection without a player changes nothing and does not crash.
    menu.setPlayer(nullptr);
    QVERIFY(!menu.player());
    emit menu.aboutToShow();
    QVERIFY(entry);
    entry->trigger();

    // Stopped: the refresh leaves the old entries alone.
    menu.setPlayer(player.data());
    player->stop();
    QTRY_VERIFY(!player->isPlaying());
    emit menu.aboutToShow();
    QVERIFY(entry);
}

void TestQVlcMenu::setPlayerStopsRefreshesFromFirst()
{
    QScopedPointer<QVlcMediaPlayer> first(startPlayer(m_strAvClip));
    QScopedPointer<QVlcMediaPlayer> second(startPlayer(m_strVideoClip));
    QVERIFY(first->isPlaying() && second->isPlaying());

    QVlcMenu menu(first.data());
    menu.createPlayerMenus();
    menu.setPlayer(second.data());
    QCOMPARE(menu.player(), second.data());
    QMenu *video = subMenu(&menu, {"Video", "Tracks"});
    QVERIFY(video->actions().isEmpty());

    // A state change of the first player, as its event callback sends it: a
    // refresh it still caused would fill the menu from the (playing) second
    // player at once. Nothing is taken from the event loop meanwhile, so the
    // second player's own state changes (libVLC reports buffering while it
    // plays) cannot come in between.
    emit first->stateChanged(int(QVlcMediaPlayer::Paused));
    QVERIFY(video->actions().isEmpty());

    // The second player's state changes do refresh it.
    emit second->stateChanged(int(QVlcMediaPlayer::Playing));
    QVERIFY(!checkableEntries(video).isEmpty());
    first->stop();
    second->stop();
}

void TestQVlcMenu::openSubtitleFile()
{
    QScopedPointer<QVlcMediaPlayer> player(startPlayer(m_strAvClip));
    QVERIFY(player->isPlaying());
    QWidget parent;
    QVlcMenu *menu = new QVlcMenu(player.data(), &parent);
    menu->createPlayerMenus();

    QString strTitle;
    QStringList filters;
    QWidget *dialogParent = nullptr;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(qobject_cast<QFileDialog *>(QApplication::activeModalWidget()));
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        strTitle = dialog->windowTitle();
        filters = dialog->nameFilters();
        dialogParent = dialog->parentWidget();
        dialog->selectFile(m_strSubtitles);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    findAction(subMenu(menu, {"Video", "Subtitles"}), "Open from file...")->trigger();
    QCOMPARE(strTitle, QStringLiteral("Open subtitles..."));
    QCOMPARE(filters, QStringList(QVlcMenu::subtitleFileFilter()));
    QCOMPARE(dialogParent, menu);
    QVERIFY(QVlcMenu::subtitleFileFilter().contains(QStringLiteral("*.srt")));

    // The file's subtitle track shows up in the menu.
    QMenu *subtitles = subMenu(menu, {"Video", "Subtitles"});
    QTRY_VERIFY((menu->updateMenu(), !checkableEntries(subtitles).isEmpty()));
    QCOMPARE(texts(subtitles->actions()).mid(0, 2), QStringList({"Open from file...", "-"}));
    player->stop();
}

void TestQVlcMenu::openSubtitleFileCancelled()
{
    QScopedPointer<QVlcMediaPlayer> player(startPlayer(m_strAvClip));
    QVERIFY(player->isPlaying());
    QVlcMenu menu(player.data());
    menu.createPlayerMenus();
    bool bSeen = false;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(qobject_cast<QFileDialog *>(QApplication::activeModalWidget()));
        bSeen = true;
        QApplication::activeModalWidget()->close();
    });
    findAction(subMenu(&menu, {"Video", "Subtitles"}), "Open from file...")->trigger();
    QVERIFY(bSeen);
    menu.updateMenu();
    QVERIFY(player->subtitles().isEmpty());
    QVERIFY(checkableEntries(subMenu(&menu, {"Video", "Subtitles"})).isEmpty());
    player->stop();
}

void TestQVlcMenu::playerDeletedWhileAttached()
{
    auto *player = new QVlcMediaPlayer(m_pInstance);
    QVlcMenu menu(player);
    menu.createPlayerMenus();
    delete player;
    QVERIFY(!menu.player());
    emit menu.aboutToShow();
    findAction(subMenu(&menu, {"Playback speed"}), "2x")->trigger();
}

void TestQVlcMenu::widgetForwardsMenuSignals_data()
{
    mainActions_data();
}

void TestQVlcMenu::widgetForwardsMenuSignals()
{
    QFETCH(QString, text);
    QFETCH(int, signalIndex);

    QVlcVideoWidget widget;
    auto *menu = new QVlcMenu(&widget);
    widget.setMenu(menu);
    QCOMPARE(widget.menu(), menu);
    QSignalSpy fullscreen(&widget, &QVlcVideoWidget::clickFullscreen);
    QSignalSpy options(&widget, &QVlcVideoWidget::clickOptions);
    QSignalSpy about(&widget, &QVlcVideoWidget::clickAbout);
    QSignalSpy exitSpy(&widget, &QVlcVideoWidget::clickExit);
    QList<QSignalSpy *> spies{&fullscreen, &options, &about, &exitSpy};

    findAction(menu, text)->trigger();
    for (int i = 0; i < spies.size(); ++i)
        QCOMPARE(spies.at(i)->count(), i == signalIndex ? 1 : 0);
}

void TestQVlcMenu::widgetSetMenuDeletesOld()
{
    QVlcVideoWidget widget;
    // Black wherever no video covers it.
    QVERIFY(widget.autoFillBackground());
    QCOMPARE(widget.palette().color(QPalette::Active, QPalette::Window), QColor(Qt::black));
    QCOMPARE(widget.palette().color(QPalette::Inactive, QPalette::Window), QColor(Qt::black));
    QVERIFY(!widget.menu());

    QPointer<QVlcMenu> first = new QVlcMenu(&widget);
    widget.setMenu(first);
    QPointer<QVlcMenu> second = new QVlcMenu;
    widget.setMenu(second);
    QVERIFY(!first);
    QCOMPARE(widget.menu(), second.data());

    // The replaced menu is gone, and so are its connections: the new one's
    // entries each emit once.
    QSignalSpy about(&widget, &QVlcVideoWidget::clickAbout);
    findAction(second, "About")->trigger();
    QCOMPARE(about.count(), 1);

    widget.setMenu(nullptr);
    QVERIFY(!second);
    QVERIFY(!widget.menu());
    widget.setMenu(nullptr);
}

QTEST_MAIN(TestQVlcMenu)
#include "tst_qvlcmenu.moc"
