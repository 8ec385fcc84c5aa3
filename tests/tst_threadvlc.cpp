// The playback worker against real libVLC under Xvfb: the worker always binds
// the player to a native window, as the main window has it do.
#include "StreamWatch.h"
#include "ThreadVlc.h"
#include "httpfileserver.h"
#include "qvlc/qvlcmedia.h"
#include "qvlc/qvlcmediaplayer.h"
#include "qvlc/qvlcmutexlocker.h"
#include "testmedia.h"
#include "testsupport.h"

#include <QtTest>

namespace {

// The commands the worker takes and its steps of start-up and shutdown, as it
// takes them (on its own thread). It can hold the worker inside the next step
// of one kind until the test lets it go on.
class Commands
{
public:
    enum Step
    {
        EngineStarting = 100,
        EngineMade,
        MediaOpened,
        Closed,
    };
    explicit Commands(CThreadVlc *worker)
    {
        QObject::connect(
            worker, &CThreadVlc::commandTaken, &m_context, [this](int n) { record(n); },
            Qt::DirectConnection);
        QObject::connect(
            worker, &CThreadVlc::engineStarting, &m_context, [this] { record(EngineStarting); },
            Qt::DirectConnection);
        QObject::connect(
            worker, &CThreadVlc::engineMade, &m_context, [this] { record(EngineMade); },
            Qt::DirectConnection);
        QObject::connect(
            worker, &CThreadVlc::mediaOpened, &m_context, [this] { record(MediaOpened); },
            Qt::DirectConnection);
        QObject::connect(
            worker, &CThreadVlc::closeMainWindow, &m_context, [this] { record(Closed); },
            Qt::DirectConnection);
    }
    int count(int nCommand) const
    {
        QVlcMutexLocker locker(&m_mutex);
        return m_lstTaken.count(nCommand);
    }
    void holdNext(int nCommand) { m_nHold.storeRelease(nCommand); }
    bool waitUntilHeld() { return m_held.tryAcquire(1, 5000); }
    void release() { m_release.release(); }

private:
    void record(int nCommand)
    {
        bool bHold;
        {
            // Under the lock that count() takes, the worker's last touch of
            // this object is ordered before the test's next look at it.
            QVlcMutexLocker locker(&m_mutex);
            m_lstTaken.append(nCommand);
            bHold = m_nHold.testAndSetOrdered(nCommand, CThreadVlc::CommandNone);
        }
        if (bHold) {
            m_held.release();
            m_release.acquire();
        }
    }

    QObject m_context;
    mutable QMutex m_mutex;
    QList<int> m_lstTaken;
    QAtomicInt m_nHold{CThreadVlc::CommandNone};
    QSemaphore m_held;
    QSemaphore m_release;
};

// Relays a worker signal emitted on the worker thread to the test's thread.
class Relay : public QObject
{
    Q_OBJECT
signals:
    void fired();
};

} // namespace

class TestThreadVlc : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { TestSupport::verifyNoWindowLeft({m_video.data()}); }
    void cleanupTestCase();

    void setUrlThenStopTakesOnlyStop();
    void quitWithoutEngine();
    void playStopAndReuse();
    void subtitleText_data();
    void subtitleText();
    void badInput_data();
    void badInput();
    void quitWhileOpening();
    void destroyWithoutQuit();
    void closeDuringStartUp_data();
    void closeDuringStartUp();
    void streamWatch_data();
    void streamWatch();

private:
    // Asks the worker to quit and waits for the thread to end.
    bool quit(CThreadVlc *worker, int msTimeout = 10000);

    QScopedPointer<HttpFileServer> m_server;
    QScopedPointer<HttpFileServer> m_missing;
    QScopedPointer<HttpFileServer> m_silent;
    QScopedPointer<QWidget> m_video;
};

void TestThreadVlc::initTestCase()
{
    QVERIFY2(!TestMedia::dir().isEmpty(), "ffmpeg could not make the test clips");
    m_server.reset(new HttpFileServer(TestMedia::dir()));
    m_missing.reset(new HttpFileServer(TestMedia::dir()));
    m_silent.reset(new HttpFileServer(TestMedia::dir()));
    QVERIFY(m_server->start());
    QVERIFY(m_missing->start());
    QVERIFY(m_silent->start());
    m_missing->setMode(HttpFileServer::NotFound);
    m_silent->setMode(HttpFileServer::NeverAnswer);

    // The ALSA output with audio decoding off: volume and mute take effect,
    // and nothing is played to a device that is not there.
    QVERIFY(TestSupport::writeVlcrc("aout=alsa\naudio=0\n"));

    m_video.reset(new QWidget);
    m_video->resize(320, 240);
    m_video->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_video.data()));
}

void TestThreadVlc::cleanupTestCase()
{
    m_video.reset();
    m_silent.reset();
    m_missing.reset();
    m_server.reset();
}

bool TestThreadVlc::quit(CThreadVlc *worker, int msTimeout)
{
    worker->quitPlayer();
    return worker->wait(msTimeout);
}

void TestThreadVlc::setUrlThenStopTakesOnlyStop()
{
    CThreadVlc worker;
    QVERIFY(worker.isRunning());
    Commands commands(&worker);
    // Hold the worker inside a first stop command, so that it cannot look at
    // the command word while the next two requests are raised.
    commands.holdNext(CThreadVlc::CommandStop);
    worker.stop();
    QVERIFY(commands.waitUntilHeld());
    // One command word: the stop replaces the play before the worker looks.
    worker.setUrl(m_server->url("clip.ts"), m_video.data());
    worker.stop();
    commands.release();
    QTRY_COMPARE(commands.count(CThreadVlc::CommandStop), 2);
    QCOMPARE(commands.count(CThreadVlc::CommandPlay), 0);
    QVERIFY(worker.player() == nullptr);
    QVERIFY(quit(&worker));
    QCOMPARE(commands.count(CThreadVlc::CommandPlay), 0);
}

void TestThreadVlc::quitWithoutEngine()
{
    auto *worker = new CThreadVlc;
    Commands commands(worker);
    Relay relay;
    connect(worker, &CThreadVlc::closeMainWindow, &relay, &Relay::fired);
    QSignalSpy closeSpy(&relay, &Relay::fired);
    worker->quitPlayer();
    QVERIFY(closeSpy.wait(5000));
    QVERIFY(worker->wait(5000));
    QVERIFY(worker->isFinished());
    QCOMPARE(commands.count(CThreadVlc::CommandQuit), 1);

    // The thread has ended: later requests are stored and nothing is carried out.
    worker->setVolume(30);
    worker->setMuted(true, true);
    worker->setUrl(m_server->url("clip.ts"), m_video.data());
    worker->stop();
    worker->quitPlayer();
    QCOMPARE(commands.count(CThreadVlc::CommandQuit), 1);
    QCOMPARE(commands.count(CThreadVlc::CommandPlay) + commands.count(CThreadVlc::CommandStop), 0);
    QVERIFY(worker->player() == nullptr);
    QCOMPARE(closeSpy.count(), 1);
    delete worker;
}

void TestThreadVlc::playStopAndReuse()
{
    CThreadVlc worker;
    Commands commands(&worker);
    QSignalSpy states(&worker, &CThreadVlc::stateChanged);
    // Stored before the first play, applied by it.
    worker.setVolume(40);
    worker.setMuted(false, true);
    worker.setUrl(m_server->url("clip.ts"), m_video.data());
    QTRY_VERIFY_WITH_TIMEOUT(states.contains({3}), 10000);
    QVlcMediaPlayer *player = worker.player();
    QVERIFY(player);
    QTRY_COMPARE(player->volume(), 40);
    QVERIFY(!player->isMuted());
    // MPEG-TS reports its streams after Playing; the worker's loop picks them up.
    QTRY_VERIFY_WITH_TIMEOUT(player->audioTracks().size() == 2 && player->videoTracks().size() == 2,
                             5000);

    // Volume and mute go straight to the player.
    worker.setVolume(70);
    QCOMPARE(player->volume(), 70);
    worker.setMuted(true, true);
    QVERIFY(player->isMuted());
    worker.setMuted(false, false);
    QVERIFY(!player->isMuted());

    // A second channel: the same engine, a new media, volume applied again.
    QPointer<QVlcMedia> oldMedia = player->media();
    QVERIFY(oldMedia);
    // Its own libVLC options go with its media, stored before the command.
    QVERIFY(player->media()->options().isEmpty());
    states.clear();
    const QStringList lstOptions{QStringLiteral("http-user-agent=Mirel-Test/2")};
    worker.setMediaOptions(lstOptions);
    worker.setUrl(m_server->url("clip.mkv"), m_video.data());
    QTRY_VERIFY_WITH_TIMEOUT(states.contains({3}), 10000);
    QCOMPARE(worker.player(), player);
    QVERIFY(oldMedia.isNull());
    QCOMPARE(player->media()->url(), m_server->url("clip.mkv"));
    QCOMPARE(player->media()->options(), lstOptions);
    QCOMPARE(player->volume(), 70);
    QTRY_VERIFY_WITH_TIMEOUT(player->audioTracks().size() == 3, 5000);
    QCOMPARE(commands.count(CThreadVlc::CommandPlay), 2);

    // Stop: the stream stops and the engine stays for the next play.
    states.clear();
    worker.stop();
    QTRY_VERIFY_WITH_TIMEOUT(states.contains({5}), 5000);
    QVERIFY(!player->isPlaying());
    QCOMPARE(worker.player(), player);

    // A stop raised while the play step runs is taken on the next pass. When
    // it comes before libVLC's input has reported Opening, libVLC reports no
    // Stopped (its state is still the last stop's); the worker's own
    // playerStopped comes either way.
    Relay stopped;
    connect(&worker, &CThreadVlc::playerStopped, &stopped, &Relay::fired);
    QSignalSpy stoppedSpy(&stopped, &Relay::fired);
    worker.setUrl(m_server->url("clip.ts"), m_video.data());
    QTRY_COMPARE(commands.count(CThreadVlc::CommandPlay), 3);
    worker.stop();
    QTRY_COMPARE(commands.count(CThreadVlc::CommandStop), 2);
    QTRY_COMPARE_WITH_TIMEOUT(stoppedSpy.count(), 1, 5000);
    QVERIFY(!player->isPlaying());

    Relay relay;
    connect(&worker, &CThreadVlc::closeMainWindow, &relay, &Relay::fired);
    QSignalSpy closeSpy(&relay, &Relay::fired);
    QVERIFY(quit(&worker));
    QVERIFY(closeSpy.wait(2000));
    QVERIFY(worker.player() == nullptr);
}

void TestThreadVlc::subtitleText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isFile");
    // The main window hands over the channel name as the subtitle text.
    QTest::newRow("channel name") << "Channel One HD" << false;
    QTest::newRow("device path") << "/dev/zero" << false;
    QTest::newRow("subtitle file") << TestMedia::path(TestMedia::Subtitles) << true;
}

void TestThreadVlc::subtitleText()
{
    QFETCH(QString, text);
    QFETCH(bool, isFile);
    CThreadVlc worker;
    QSignalSpy states(&worker, &CThreadVlc::stateChanged);
    worker.setSubtitleFile(text);
    worker.setUrl(QUrl::fromLocalFile(TestMedia::path(TestMedia::Mkv)), m_video.data());
    QTRY_VERIFY_WITH_TIMEOUT(states.contains({3}), 10000);
    QVlcMediaPlayer *player = worker.player();
    QTRY_VERIFY_WITH_TIMEOUT(!player->videoTracks().isEmpty(), 5000);
    if (isFile) {
        QTRY_VERIFY_WITH_TIMEOUT(player->subtitles().size() == 2, 5000);
        QCOMPARE(player->subtitles().at(1).type(), int(QVlcTrack::Subtitle));
    } else {
        QCOMPARE(player->subtitleCount(), 0);
        QVERIFY(player->subtitles().isEmpty());
    }
    QVERIFY(quit(&worker));
}

void TestThreadVlc::badInput_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("404") << "404";
    QTest::newRow("refused") << "refused";
    QTest::newRow("never answers") << "silent";
    QTest::newRow("not media") << "notmedia";
    QTest::newRow("unknown scheme") << "scheme";
    QTest::newRow("empty") << "empty";
    QTest::newRow("colons") << "colons";
    QTest::newRow("no scheme") << "words";
}

void TestThreadVlc::badInput()
{
    QFETCH(QString, kind);
    QUrl url;
    if (kind == "404")
        url = m_missing->url("clip.ts");
    else if (kind == "refused")
        url = QUrl(QString("http://127.0.0.1:%1/clip.ts").arg(HttpFileServer::refusedPort()));
    else if (kind == "silent")
        url = m_silent->url("clip.ts");
    else if (kind == "notmedia")
        url = m_server->url(TestMedia::fileName(TestMedia::NotMedia));
    else if (kind == "scheme")
        url = QUrl("nosuchscheme://host/x");
    else if (kind == "colons")
        url = QUrl("::::");
    else if (kind == "words")
        url = QUrl("just some words");
    const int silentBefore = m_silent->connectionCount();

    CThreadVlc worker;
    Commands commands(&worker);
    worker.setVolume(50);
    worker.setUrl(url, m_video.data());
    QTRY_COMPARE(commands.count(CThreadVlc::CommandPlay), 1);
    if (kind == "silent")
        QTRY_VERIFY(m_silent->connectionCount() > silentBefore);

    // The GUI thread's calls never wait for libVLC's network work (a bound
    // that only catches such a wait: they take a few milliseconds).
    QElapsedTimer timer;
    timer.start();
    worker.setVolume(60);
    worker.setMuted(true, true);
    worker.setMuted(false, true);
    worker.setSubtitleFile("Channel");
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));

    // The worker still serves the next command. States of the bad media may
    // still come in after the new command (a text file can reach Playing
    // through a fallback demuxer): only those tagged with the new play's
    // serial count, received on this thread.
    quint32 nSerial = 0;
    bool bNewPlaying = false;
    QObject context;
    connect(&worker, &CThreadVlc::playerStateChanged, &context, [&](quint32 n, int nState) {
        bNewPlaying = bNewPlaying || (n == nSerial && nState == QVlcMediaPlayer::Playing);
    });
    nSerial = worker.setUrl(m_server->url("clip.ts"), m_video.data());
    QTRY_VERIFY_WITH_TIMEOUT(bNewPlaying, 10000);
    QCOMPARE(worker.player()->media()->url(), m_server->url("clip.ts"));
    QVERIFY(quit(&worker));
}

void TestThreadVlc::quitWhileOpening()
{
    const int before = m_silent->connectionCount();
    CThreadVlc worker;
    Relay relay;
    connect(&worker, &CThreadVlc::closeMainWindow, &relay, &Relay::fired);
    QSignalSpy closeSpy(&relay, &Relay::fired);
    worker.setUrl(m_silent->url("clip.ts"), m_video.data());
    QTRY_VERIFY_WITH_TIMEOUT(m_silent->connectionCount() > before, 5000);

    // The stream still connects, and the quit is not held up by it.
    worker.quitPlayer();
    QVERIFY(closeSpy.wait(5000));
    QVERIFY(worker.wait(5000));
    QVERIFY(worker.player() == nullptr);
}

void TestThreadVlc::destroyWithoutQuit()
{
    // An owner that forgets to quit and wait must not bring the program down.
    auto *worker = new CThreadVlc;
    QSignalSpy closeSpy(worker, &CThreadVlc::closeMainWindow);
    QSignalSpy states(worker, &CThreadVlc::stateChanged);
    worker->setUrl(m_server->url("clip.ts"), m_video.data());
    QTRY_VERIFY_WITH_TIMEOUT(states.contains({3}), 10000);
    // The engine is torn down on the worker, as the quit command does.
    delete worker;
    QCOMPARE(closeSpy.count(), 1);
}

void TestThreadVlc::closeDuringStartUp_data()
{
    QTest::addColumn<int>("holdAt");   // the step the worker is held in while the test acts
    QTest::addColumn<bool>("play");    // a play command is raised first
    QTest::addColumn<bool>("destroy"); // the owner deletes the worker instead of quitting
    QTest::addColumn<int>("plays");    // play commands taken in the end
    QTest::addColumn<bool>("engine");  // the engine was made
    QTest::newRow("before the engine")
        << int(Commands::EngineStarting) << true << false << 0 << false;
    QTest::newRow("engine made, play not taken")
        << int(Commands::EngineMade) << true << false << 0 << true;
    QTest::newRow("media opening") << int(CThreadVlc::CommandPlay) << true << false << 1 << true;
    QTest::newRow("media opened, before Playing")
        << int(Commands::MediaOpened) << true << false << 1 << true;
    QTest::newRow("playing") << int(CThreadVlc::CommandNone) << true << false << 1 << true;
    QTest::newRow("destroyed once the engine is made")
        << int(Commands::EngineMade) << false << true << 0 << true;
}

// The worker made as the player starts, engine first: a quit (or the owner's
// delete) at any step ends in the quit sequence and closeMainWindow().
void TestThreadVlc::closeDuringStartUp()
{
    QFETCH(int, holdAt);
    QFETCH(bool, play);
    QFETCH(bool, destroy);
    QFETCH(int, plays);
    QFETCH(bool, engine);
    // Watched from the thread's start: the engine is its first step.
    auto *worker = new CThreadVlc(nullptr, CThreadVlc::EngineAtOnce, false);
    Commands commands(worker);
    QSignalSpy states(worker, &CThreadVlc::stateChanged);
    commands.holdNext(holdAt);
    worker->start();
    // Held in the play itself: the play is raised first.
    const bool bPlayFirst = holdAt == CThreadVlc::CommandPlay || holdAt == Commands::MediaOpened;
    if (holdAt != CThreadVlc::CommandNone) {
        if (bPlayFirst)
            worker->setUrl(m_server->url("clip.ts"), m_video.data());
        QVERIFY(commands.waitUntilHeld());
    }
    if (play && !bPlayFirst)
        worker->setUrl(m_server->url("clip.ts"), m_video.data());
    if (holdAt == CThreadVlc::CommandNone)
        QTRY_VERIFY_WITH_TIMEOUT(states.contains({3}), 10000);
    if (destroy) {
        commands.release();
        delete worker;
    } else {
        worker->quitPlayer();
        commands.release();
        QVERIFY(worker->wait(10000));
        QVERIFY(worker->player() == nullptr);
        delete worker;
    }
    QCOMPARE(commands.count(Commands::Closed), 1);
    QCOMPARE(commands.count(CThreadVlc::CommandPlay), plays);
    QCOMPARE(commands.count(Commands::EngineMade), int(engine));
}

void TestThreadVlc::streamWatch_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<CStreamWatch::State>("state"); // where the watch comes to
    QTest::addColumn<CStreamWatch::Reason>("reason");
    const QUrl refused(QString("http://127.0.0.1:%1/clip.ts").arg(HttpFileServer::refusedPort()));
    QTest::newRow("refused") << refused << CStreamWatch::Failed << CStreamWatch::CannotConnect;
    QTest::newRow("404") << m_missing->url("clip.ts") << CStreamWatch::Failed
                         << CStreamWatch::NotFound;
    QTest::newRow("never answers")
        << m_silent->url("clip.ts") << CStreamWatch::Failed << CStreamWatch::TimedOut;
    QTest::newRow("a clip ends") << m_server->url("clip.ts") << CStreamWatch::Failed
                                 << CStreamWatch::StreamEnded;
}

void TestThreadVlc::streamWatch()
{
    QFETCH(QUrl, url);
    QFETCH(CStreamWatch::State, state);
    QFETCH(CStreamWatch::Reason, reason);
    CThreadVlc worker;
    CStreamWatch watch;
    CStreamWatch::Timing timing;
    timing.nConnectingMs = 100;
    timing.nOpenLimitMs = 1500;
    watch.setTiming(timing);
    watch.watch(&worker, worker.setUrl(url, m_video.data()));
    QTRY_COMPARE_WITH_TIMEOUT(watch.state(), state, 10000);
    QCOMPARE(watch.reason(), reason);
    QVERIFY(!watch.statusText().isEmpty());
    watch.stop();
    QCOMPARE(watch.state(), CStreamWatch::Idle);
    QVERIFY(watch.statusText().isEmpty());
    QVERIFY(quit(&worker));
}

QTEST_MAIN(TestThreadVlc)
#include "tst_threadvlc.moc"
