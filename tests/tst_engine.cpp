// The playback engine against real libVLC and real clips served over HTTP on
// 127.0.0.1. Runs offscreen: every instance here uses libVLC's dummy video
// output (the text-mode fallback crashes without a display).
#include "httpfileserver.h"
#include "qvlc/qvlcinstance.h"
#include "qvlc/qvlclogwatch.h"
#include "qvlc/qvlcmedia.h"
#include "qvlc/qvlcmediaplayer.h"
#include "qvlc/qvlcmutexlocker.h"
#include "testmedia.h"

#include <QtTest>

#include <atomic>
#include <sys/stat.h>
#include <vlc/vlc.h>

namespace {

const QStringList kQuietArgs{"--vout=dummy", "--aout=adummy", "--no-video-title-show"};
// The ALSA output with audio decoding off: volume and mute take effect
// without a sound device.
const QStringList kVolumeArgs{"--vout=dummy", "--aout=alsa", "--no-audio"};

// Records the player's signals in the order they reach the test's thread.
class Recorder : public QObject
{
    Q_OBJECT
public:
    explicit Recorder(QVlcMediaPlayer *player)
    {
        connect(
            player, &QVlcMediaPlayer::mediaChanged, this, [this] { add("media"); },
            Qt::QueuedConnection);
        connect(
            player, &QVlcMediaPlayer::finished, this, [this] { add("finished"); },
            Qt::QueuedConnection);
        connect(
            player, QOverload<QVlcMediaPlayer::State>::of(&QVlcMediaPlayer::stateChanged), this,
            [this](QVlcMediaPlayer::State s) { add(QString("State:%1").arg(int(s))); },
            Qt::QueuedConnection);
        connect(
            player, QOverload<int>::of(&QVlcMediaPlayer::stateChanged), this,
            [this](int s) { add(QString("int:%1").arg(s)); }, Qt::QueuedConnection);
        connect(
            player, &QVlcMediaPlayer::timeChanged, this,
            [this](qint64 t) { maxTime = qMax(maxTime, t); }, Qt::QueuedConnection);
        connect(
            player, &QVlcMediaPlayer::lengthChanged, this, [this](qint64 l) { length = l; },
            Qt::QueuedConnection);
        connect(
            player, &QVlcMediaPlayer::positionChanged, this, [this](double p) { lastPosition = p; },
            Qt::QueuedConnection);
    }
    void add(const QString &event) { events.append(event); }
    bool has(const QString &event) const { return events.contains(event); }

    QStringList events;
    qint64 maxTime = -1;
    qint64 length = -1;
    double lastPosition = -1;
};

// The player's direct signals and libVLC's own events in one list, in the
// order they happen on libVLC's threads. A listener attached after the player's
// own callback runs after it for every event.
class EventLog
{
public:
    explicit EventLog(QVlcMediaPlayer *player) : m_player(player)
    {
        QObject::connect(
            player, QOverload<int>::of(&QVlcMediaPlayer::stateChanged), &m_context,
            [this](int s) { add(QString("signal:%1").arg(s)); }, Qt::DirectConnection);
        libvlc_event_manager_t *manager = libvlc_media_player_event_manager(player->core());
        for (int type = libvlc_MediaPlayerNothingSpecial; type <= libvlc_MediaPlayerStopped; ++type)
            libvlc_event_attach(manager, type, callback, this);
        libvlc_event_attach(manager, libvlc_MediaPlayerEndReached, callback, this);
        libvlc_event_attach(manager, libvlc_MediaPlayerEncounteredError, callback, this);
    }
    ~EventLog()
    {
        libvlc_event_manager_t *manager = libvlc_media_player_event_manager(m_player->core());
        for (int type = libvlc_MediaPlayerNothingSpecial; type <= libvlc_MediaPlayerStopped; ++type)
            libvlc_event_detach(manager, type, callback, this);
        libvlc_event_detach(manager, libvlc_MediaPlayerEndReached, callback, this);
        libvlc_event_detach(manager, libvlc_MediaPlayerEncounteredError, callback, this);
    }
    QStringList entries() const
    {
        QVlcMutexLocker locker(&m_mutex);
        return m_entries;
    }

private:
    static void callback(const libvlc_event_t *event, void *data)
    {
        auto *log = static_cast<EventLog *>(data);
        log->add(QString("event:%1 state:%2")
                     .arg(QString::fromLatin1(libvlc_event_type_name(event->type)))
                     .arg(int(log->m_player->state())));
    }
    void add(const QString &entry)
    {
        QVlcMutexLocker locker(&m_mutex);
        m_entries.append(entry);
    }

    QVlcMediaPlayer *m_player;
    QObject m_context;
    mutable QMutex m_mutex;
    QStringList m_entries;
};

QString mrlOf(libvlc_media_t *media)
{
    char *mrl = libvlc_media_get_mrl(media);
    const QString text = QString::fromUtf8(mrl);
    libvlc_free(mrl);
    return text;
}

// libVLC's own description list, as the player's lists should mirror it.
QStringList describe(libvlc_track_description_t *head)
{
    QStringList entries;
    for (auto *entry = head; entry; entry = entry->p_next)
        entries << QString("%1:%2").arg(entry->i_id).arg(QString::fromUtf8(entry->psz_name));
    libvlc_track_description_list_release(head);
    return entries;
}

QStringList describe(const QList<QVlcTrack> &tracks, int type)
{
    QStringList entries;
    for (int i = 0; i < tracks.size(); ++i) {
        const QVlcTrack &t = tracks.at(i);
        if (t.index() != i || t.type() != type)
            return {QString("bad entry %1: index %2 type %3").arg(i).arg(t.index()).arg(t.type())};
        entries << QString("%1:%2").arg(t.id()).arg(t.name());
    }
    return entries;
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void instance_data();
    void instance();
    void mediaLocation_data();
    void mediaLocation();
    void emptyLocation_data();
    void emptyLocation();
    void mediaParse();

    void playToEnd_data();
    void playToEnd();
    void tracks_data();
    void tracks();
    void openWhilePlaying();
    void mediaOptions();
    void openInvalidInstance();
    void invalidPlayer();
    void unchangedSettings_data();
    void unchangedSettings();
    void errorKeepsState_data();
    void errorKeepsState();
    void subtitleFile_data();
    void subtitleFile();
    void openStopLoopNeverHangs();

private:
    QScopedPointer<HttpFileServer> m_server;
};

void TestEngine::initTestCase()
{
    QVERIFY2(!TestMedia::dir().isEmpty(), "ffmpeg could not make the test clips");
    m_server.reset(new HttpFileServer(TestMedia::dir()));
    QVERIFY(m_server->start());
}

void TestEngine::cleanupTestCase()
{
    m_server.reset();
}

void TestEngine::instance_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("valid");
    QTest::newRow("product arguments")
        << QStringList{"--no-ignore-config", "--media-library"} << true;
    QTest::newRow("no arguments") << QStringList() << true;
    QTest::newRow("non-ASCII value")
        << QStringList{"--vout=dummy", "--meta-title=Ünïcødé 频道"} << true;
    QTest::newRow("unknown argument") << QStringList{"--no-such-option-anywhere"} << false;
    QTest::newRow("unknown after good") << QStringList{"--vout=dummy", "--bogus-flag=1"} << false;
}

void TestEngine::instance()
{
    QFETCH(QStringList, args);
    QFETCH(bool, valid);
    auto *instance = new QVlcInstance(args);
    QCOMPARE(instance->isValid(), valid);
    QCOMPARE(instance->core() != nullptr, valid);
    // Destroying an invalid instance must not hand libVLC a null handle.
    delete instance;
    QVERIFY(QVlcInstance::version().startsWith("3."));
}

void TestEngine::mediaLocation_data()
{
    QTest::addColumn<bool>("isUrl");
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("mrl");

    QTest::newRow("http") << true << "http://127.0.0.1:8080/live/stream.ts"
                          << "http://127.0.0.1:8080/live/stream.ts";
    // QUrl's default formatting decodes what is safe to show; libVLC gets that text.
    QTest::newRow("encoded space") << true << "http://example.com/a%20b.m3u8?x=1&y=%41"
                                   << "http://example.com/a b.m3u8?x=1&y=A";
    QTest::newRow("unicode path") << true << "http://example.com/%E9%A2%91%E9%81%93.ts"
                                  << "http://example.com/频道.ts";
    QTest::newRow("rtmp") << true << "rtmp://127.0.0.1/live/x"
                          << "rtmp://127.0.0.1/live/x";
    QTest::newRow("path") << false << "/tmp/clips/news.ts"
                          << "file:///tmp/clips/news.ts";
    QTest::newRow("path with space") << false << "/tmp/my clips/a.ts"
                                     << "file:///tmp/my%20clips/a.ts";
    QTest::newRow("path unicode") << false << "/tmp/频道.ts"
                                  << "file:///tmp/%E9%A2%91%E9%81%93.ts";
}

void TestEngine::mediaLocation()
{
    QFETCH(bool, isUrl);
    QFETCH(QString, given);
    QFETCH(QString, mrl);

    QVlcInstance instance(kQuietArgs);
    QVERIFY(instance.isValid());
    QScopedPointer<QVlcMedia> media(isUrl ? new QVlcMedia(QUrl(given), &instance)
                                          : new QVlcMedia(given, &instance));
    QVERIFY(media->isValid());
    QCOMPARE(mrlOf(media->core()), mrl);
    QCOMPARE(media->url(), isUrl ? QUrl(given) : QUrl());
    QCOMPARE(media->path(), isUrl ? QString() : given);

    // The same over an invalid instance: a failed creation, logged, and every
    // operation harmless.
    QVlcInstance broken({"--no-such-option-anywhere"});
    QScopedPointer<QVlcMedia> failed(isUrl ? new QVlcMedia(QUrl(given), &broken)
                                           : new QVlcMedia(given, &broken));
    QVERIFY(!failed->isValid());
    QCOMPARE(failed->duration(), qint64(-1));
    QVERIFY(!failed->isParsed());
    failed->parse();
    failed->attachEvents();
    QCOMPARE(failed->path(), isUrl ? QString() : given);
}

void TestEngine::emptyLocation_data()
{
    QTest::addColumn<bool>("isUrl");
    QTest::addColumn<QString>("given");
    QTest::newRow("empty url") << true << QString();
    QTest::newRow("url QUrl cannot parse") << true << "::::";
    QTest::newRow("empty path") << false << QString();
}

// libVLC takes an empty location and then probes every access module on it;
// such a media counts as not made.
void TestEngine::emptyLocation()
{
    QFETCH(bool, isUrl);
    QFETCH(QString, given);
    QVlcInstance instance(kQuietArgs);
    QVlcMediaPlayer player(&instance);
    QVERIFY(player.open(TestMedia::path(TestMedia::Ts)));

    const bool opened = isUrl ? player.open(QUrl(given)) : player.open(given);
    QVERIFY(!opened);
    QVERIFY(!player.hasMedia());
    player.play(); // nothing to play
    QVERIFY(!player.isPlaying());
}

void TestEngine::mediaParse()
{
    QVlcInstance instance(kQuietArgs);
    QVlcMedia media(TestMedia::path(TestMedia::Mkv), &instance);
    QVERIFY(media.isValid());
    QVERIFY(!media.isParsed());

    // Media events arrive on libVLC's thread; the relay hands them over here.
    QObject relay;
    QList<int> states;
    connect(
        &media, &QVlcMedia::stateChanged, &relay, [&states](int s) { states << s; },
        Qt::QueuedConnection);
    media.attachEvents();
    media.parse();
    QVERIFY(media.isParsed());
    QVERIFY2(qAbs(media.duration() - 2000) < 200, qPrintable(QString::number(media.duration())));
    // libvlc_MediaParsedChanged (3) is reported as 2.
    QTRY_VERIFY(states.contains(2));
}

void TestEngine::playToEnd_data()
{
    QTest::addColumn<int>("clip");
    QTest::addColumn<bool>("overHttp");
    QTest::newRow("ts over http") << int(TestMedia::Ts) << true;
    QTest::newRow("mp4 file") << int(TestMedia::Mp4) << false;
    QTest::newRow("hls over http") << int(TestMedia::Hls) << true;
}

void TestEngine::playToEnd()
{
    QFETCH(int, clip);
    QFETCH(bool, overHttp);
    const auto which = TestMedia::Clip(clip);

    QVlcInstance instance(kQuietArgs);
    QVlcMediaPlayer player(&instance);
    QVERIFY(player.isValid());
    QCOMPARE(player.state(), QVlcMediaPlayer::NothingSpecial);
    Recorder rec(&player);
    if (overHttp)
        QVERIFY(player.open(m_server->url(TestMedia::fileName(which))));
    else
        QVERIFY(player.open(TestMedia::path(which)));
    QVERIFY(player.hasMedia());
    player.play();

    QTRY_VERIFY_WITH_TIMEOUT(rec.has("finished"), 15000);
    const QStringList &ev = rec.events;
    const int opening = ev.indexOf("State:1");
    const int buffering = ev.indexOf("State:2");
    const int playing = ev.indexOf("State:3");
    QVERIFY2(opening >= 0 && opening < buffering && buffering < playing, qPrintable(ev.join(' ')));
    QCOMPARE(ev.at(opening + 1), QString("int:1"));
    QCOMPARE(ev.at(playing + 1), QString("int:3"));
    // The end: both state signals with Stopped, then finished().
    const int finished = ev.lastIndexOf("finished");
    QVERIFY2(finished >= 2, qPrintable(ev.join(' ')));
    QCOMPARE(ev.mid(finished - 2, 3), QStringList({"State:5", "int:5", "finished"}));
    QCOMPARE(player.state(), QVlcMediaPlayer::Stopped);
    // Time, position and length come from the events themselves. (Over HLS
    // libVLC reports them only now and then.)
    if (which != TestMedia::Hls) {
        QVERIFY2(rec.maxTime > 1000, qPrintable(QString::number(rec.maxTime)));
        QVERIFY2(rec.lastPosition > 0.5, qPrintable(QString::number(rec.lastPosition)));
    }
    // A stream over HTTP reports no length for MPEG-TS; a file does.
    if (!overHttp)
        QVERIFY2(qAbs(rec.length - 2000) < 300, qPrintable(QString::number(rec.length)));
}

void TestEngine::tracks_data()
{
    QTest::addColumn<int>("clip");
    QTest::addColumn<int>("audioEntries");
    QTest::addColumn<QString>("audioName");
    // MPEG-TS declares its streams only after Playing.
    QTest::newRow("ts") << int(TestMedia::Ts) << 2 << QString();
    QTest::newRow("mp4") << int(TestMedia::Mp4) << 2 << QString();
    QTest::newRow("mkv, two audio tracks") << int(TestMedia::Mkv) << 3 << QString("Second");
}

void TestEngine::tracks()
{
    QFETCH(int, clip);
    QFETCH(int, audioEntries);
    QFETCH(QString, audioName);

    QVlcInstance instance(kQuietArgs);
    QVlcMediaPlayer player(&instance);
    Recorder rec(&player);
    QVERIFY(player.open(m_server->url(TestMedia::fileName(TestMedia::Clip(clip)))));
    player.play();
    QTRY_VERIFY_WITH_TIMEOUT(rec.has("State:3"), 10000);

    // This thread stands in for the worker's polling loop.
    QTRY_VERIFY_WITH_TIMEOUT((player.pollTracks(), player.audioTracks().size() == audioEntries &&
                                                       player.videoTracks().size() == 2),
                             5000);
    player.pause(); // keep the streams in place while the lists are compared
    const QStringList audio = describe(player.audioTracks(), QVlcTrack::Audio);
    const QStringList video = describe(player.videoTracks(), QVlcTrack::Video);
    QCOMPARE(audio, describe(libvlc_audio_get_track_description(player.core())));
    QCOMPARE(video, describe(libvlc_video_get_track_description(player.core())));
    QCOMPARE(player.audioTracks().first().id(), -1); // libVLC's "Disable" entry
    if (!audioName.isEmpty())
        QVERIFY2(audio.last().contains(audioName), qPrintable(audio.join(", ")));

    // Selection by list position reaches libVLC as the entry's id.
    QSignalSpy audioSpy(&player, &QVlcMediaPlayer::audioTrackChanged);
    const QList<QVlcTrack> audioTracks = player.audioTracks();
    int other = 0;
    while (audioTracks.at(other).id() == player.audioTrack())
        ++other;
    player.setAudioTrack(other);
    QCOMPARE(player.audioTrack(), audioTracks.at(other).id());
    QCOMPARE(audioSpy.count(), 1);
    QCOMPARE(audioSpy.at(0).at(0).toInt(), other);
    player.setAudioTrack(other);
    player.setAudioTrack(99);
    player.setAudioTrack(-1);
    QCOMPARE(audioSpy.count(), 1);

    // A new media empties the lists until its own streams are reported.
    QVERIFY(player.open(TestMedia::path(TestMedia::Mp4)));
    QVERIFY(player.audioTracks().isEmpty());
    QVERIFY(player.videoTracks().isEmpty());
    QVERIFY(player.subtitles().isEmpty());
    player.pollTracks();
    QVERIFY(player.audioTracks().isEmpty());
}

void TestEngine::openWhilePlaying()
{
    QVlcInstance instance(kQuietArgs);
    QVlcMediaPlayer player(&instance);
    Recorder rec(&player);
    QVERIFY(player.open(m_server->url("clip.mkv")));
    player.play();
    QTRY_VERIFY_WITH_TIMEOUT((player.pollTracks(), !player.audioTracks().isEmpty()), 10000);

    QPointer<QVlcMedia> oldMedia = player.media();
    libvlc_media_t *oldCore = oldMedia->core();
    // Keep libVLC's media alive past the wrapper to look at it afterwards.
    libvlc_media_retain(oldCore);
    rec.events.clear();

    QVERIFY(player.open(m_server->url("clip.ts")));
    QVERIFY(oldMedia.isNull());
    QVERIFY(player.media()->parent() == &player);
    QCOMPARE(player.media()->url(), m_server->url("clip.ts"));
    QVERIFY(player.audioTracks().isEmpty());
    QVERIFY(player.videoTracks().isEmpty());
    // The old media was taken off the player (which stopped it) before it went.
    libvlc_media_t *current = libvlc_media_player_get_media(player.core());
    QVERIFY(current == player.media()->core());
    libvlc_media_release(current);
    const int oldState = libvlc_media_get_state(oldCore);
    QVERIFY2(oldState != libvlc_Opening && oldState != libvlc_Buffering &&
                 oldState != libvlc_Playing,
             qPrintable(QString::number(oldState)));
    libvlc_media_release(oldCore);
    // The change of media was reported.
    QTRY_VERIFY(rec.has("media"));

    player.play();
    QTRY_VERIFY_WITH_TIMEOUT(rec.has("State:3"), 10000);
    player.stop();
    QTRY_VERIFY(rec.has("State:5"));
}

// A media's own options reach the stream's HTTP requests, for that media
// alone; a value with spaces and colons stays one option.
void TestEngine::mediaOptions()
{
    QVlcInstance instance(kQuietArgs);
    QVlcMediaPlayer player(&instance);
    const QStringList lstOptions{"http-user-agent=Mirel-Test/1.0 (X11; \"q\")",
                                 "http-referrer=http://r/?a=b :sout=#file{dst=/tmp/x} --no-audio"};
    const QByteArrayList lstHeaders{"user-agent: mirel-test/1.0 (x11; \"q\")",
                                    "referer: http://r/?a=b :sout=#file{dst=/tmp/x} --no-audio"};
    // The request heads for a query, with whether each holds the headers.
    const auto headersSent = [this, &lstHeaders](const QByteArray &query) {
        QList<bool> lst;
        for (const QByteArray &head : m_server->requestHeads()) {
            if (head.startsWith("GET /clip.ts?" + query + " "))
                lst << std::all_of(lstHeaders.cbegin(), lstHeaders.cend(), [&](const auto &h) {
                    return (head.toLower() + "\r\n").contains("\n" + h + "\r\n");
                });
        }
        return lst;
    };
    const QString strUrl = m_server->url(TestMedia::fileName(TestMedia::Ts)).toString();
    QVERIFY(player.open(QUrl(strUrl + "?with"), lstOptions));
    QCOMPARE(player.media()->options(), lstOptions);
    player.play();
    QTRY_VERIFY_WITH_TIMEOUT(!headersSent("with").isEmpty(), 10000);
    QVERIFY(!headersSent("with").contains(false));
    QVERIFY(player.open(QUrl(strUrl + "?without")));
    player.play();
    QTRY_VERIFY_WITH_TIMEOUT(!headersSent("without").isEmpty(), 10000);
    QVERIFY(!headersSent("without").contains(true));
    player.stop();
}

void TestEngine::openInvalidInstance()
{
    auto *instance = new QVlcInstance(kQuietArgs);
    QVlcMediaPlayer player(instance);
    QVERIFY(player.open(TestMedia::path(TestMedia::Ts)));
    QVERIFY(player.hasMedia());
    QPointer<QVlcMedia> oldMedia = player.media();

    // With its instance gone the player can make no media; the one it had is
    // released all the same. (libVLC keeps its own reference to the instance.)
    delete instance;
    QVERIFY(player.instance() == nullptr);
    QVERIFY(!player.open(QUrl("http://127.0.0.1:1/x.ts")));
    QVERIFY(!player.hasMedia());
    QVERIFY(oldMedia.isNull());
    QVERIFY(player.findChildren<QVlcMedia *>().isEmpty());
    player.play(); // nothing to play: harmless
    player.stop();
}

void TestEngine::invalidPlayer()
{
    QVlcInstance broken({"--no-such-option-anywhere"});
    QVlcMediaPlayer player(&broken);
    QVERIFY(!player.isValid());
    QVERIFY(!player.open(TestMedia::path(TestMedia::Ts)));
    QVERIFY(!player.hasMedia());
    QSignalSpy anySignal(&player, &QVlcMediaPlayer::volumeChanged);
    player.play();
    player.setHwnd(12345);
    player.setVolume(10);
    player.setMuted(true);
    player.setRate(2.0);
    player.setSubtitle(TestMedia::path(TestMedia::Subtitles));
    player.pollTracks();
    player.stop();
    QCOMPARE(anySignal.count(), 0);
    QCOMPARE(player.volume(), 0);
    QCOMPARE(player.time(), qint64(0));
    QVERIFY(!player.isPlaying());
    QVERIFY(player.audioTracks().isEmpty());
}

void TestEngine::unchangedSettings_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("volume") << "volume";
    QTest::newRow("mute") << "mute";
    QTest::newRow("mute without signal") << "muteQuiet";
    QTest::newRow("rate") << "rate";
}

void TestEngine::unchangedSettings()
{
    QFETCH(QString, what);
    QVlcInstance instance(kVolumeArgs);
    QVlcMediaPlayer player(&instance);
    QVERIFY(player.open(TestMedia::path(TestMedia::Mkv)));
    Recorder rec(&player);
    player.play();
    QTRY_VERIFY_WITH_TIMEOUT(rec.has("State:3"), 10000);

    QSignalSpy volumeSpy(&player, &QVlcMediaPlayer::volumeChanged);
    QSignalSpy muteSpy(&player, &QVlcMediaPlayer::mutedChanged);
    QSignalSpy rateSpy(&player, &QVlcMediaPlayer::rateChanged);

    if (what == "volume") {
        const int before = player.volume();
        QVERIFY(before >= 0);
        player.setVolume(before);
        QCOMPARE(volumeSpy.count(), 0);
        const int wanted = before == 40 ? 60 : 40;
        player.setVolume(wanted);
        QCOMPARE(volumeSpy.count(), 1);
        QCOMPARE(volumeSpy.at(0).at(0).toInt(), wanted);
        QTRY_COMPARE(player.volume(), wanted);
        player.setVolume(wanted);
        QCOMPARE(volumeSpy.count(), 1);
    } else if (what == "mute") {
        const bool before = player.isMuted();
        player.setMuted(before);
        QCOMPARE(muteSpy.count(), 0);
        player.setMuted(!before);
        QCOMPARE(muteSpy.count(), 1);
        QTRY_COMPARE(player.isMuted(), !before);
        player.setMuted(!before, true);
        QCOMPARE(muteSpy.count(), 1);
    } else if (what == "muteQuiet") {
        player.setMuted(false);
        QTRY_VERIFY(!player.isMuted());
        muteSpy.clear();
        player.setMuted(true, false);
        QTRY_VERIFY(player.isMuted());
        QCOMPARE(muteSpy.count(), 0);
    } else if (what == "rate") {
        QCOMPARE(player.rate(), 1.0);
        player.setRate(1.0);
        player.setRate(0.0);
        player.setRate(-2.0);
        QCOMPARE(rateSpy.count(), 0);
        QCOMPARE(player.rate(), 1.0);
        player.setRate(2.0);
        QCOMPARE(rateSpy.count(), 1);
        QCOMPARE(rateSpy.at(0).at(0).toDouble(), 2.0);
        QCOMPARE(player.rate(), 2.0);
        player.setRate(2.0);
        QCOMPARE(rateSpy.count(), 1);
    }
    player.stop();
}

void TestEngine::errorKeepsState_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("fault"); // what libVLC's log says of an error
    QTest::newRow("404") << "404" << int(QVlcLogWatch::NotFound);
    QTest::newRow("refused") << "refused" << int(QVlcLogWatch::CannotConnect);
    QTest::newRow("missing file") << "missing" << int(QVlcLogWatch::NoFault);
    QTest::newRow("not media") << "notmedia" << int(QVlcLogWatch::NoFault);
    QTest::newRow("unknown scheme") << "scheme" << int(QVlcLogWatch::NoFault);
}

void TestEngine::errorKeepsState()
{
    QFETCH(QString, kind);
    QUrl url;
    if (kind == "404")
        url = m_server->url("no-such-clip.ts");
    else if (kind == "refused")
        url = QUrl(QString("http://127.0.0.1:%1/clip.ts").arg(HttpFileServer::refusedPort()));
    else if (kind == "missing")
        url = QUrl::fromLocalFile(TestMedia::dir() + "/missing.ts");
    else if (kind == "notmedia")
        url = m_server->url(TestMedia::fileName(TestMedia::NotMedia));
    else
        url = QUrl("nosuchscheme://whatever/x");

    QVlcInstance instance(kQuietArgs);
    QVlcLogWatch logWatch(&instance);
    QVlcMediaPlayer player(&instance);
    EventLog log(&player);
    QSignalSpy errors(&player, &QVlcMediaPlayer::encounteredError);
    QVERIFY(player.open(url));
    player.play();
    // Either libVLC reports an error, or (a text file) it gives up at the end.
    QTRY_VERIFY_WITH_TIMEOUT(log.entries().filter("EncounteredError").size() +
                                     log.entries().filter("EndReached").size() >
                                 0,
                             10000);
    const QStringList entries = log.entries();
    const int error = entries.indexOf(QRegularExpression("^event:MediaPlayerEncounteredError.*"));
    if (error > 0) {
        // Nothing of the player's between the previous event and the error,
        // and the state the error found is the one the previous event left.
        QVERIFY2(entries.at(error - 1).startsWith("event:"), qPrintable(entries.join(" | ")));
        QCOMPARE(entries.at(error).section("state:", 1),
                 entries.at(error - 1).section("state:", 1));
        // The error is passed on, with what libVLC's log gave as its cause.
        QTRY_COMPARE(errors.count(), 1);
        QFETCH(int, fault);
        QCOMPARE(int(logWatch.fault()), fault);
    }
    player.stop();
    QTRY_COMPARE(player.state(), QVlcMediaPlayer::Stopped);
    // The player is still good for the next stream.
    QVERIFY(player.open(TestMedia::path(TestMedia::Ts)));
    Recorder rec(&player);
    player.play();
    QTRY_VERIFY_WITH_TIMEOUT(rec.has("State:3"), 10000);
    player.stop();
}

void TestEngine::subtitleFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isFile");
    QTest::newRow("subtitle file") << TestMedia::path(TestMedia::Subtitles) << true;
    QTest::newRow("channel name") << "CCTV-1 综合" << false;
    QTest::newRow("device") << "/dev/zero" << false;
    QTest::newRow("fifo") << "FIFO" << false;
    QTest::newRow("folder") << QDir::tempPath() << false;
    QTest::newRow("missing file") << TestMedia::dir() + "/gone.srt" << false;
}

void TestEngine::subtitleFile()
{
    QFETCH(QString, name);
    QFETCH(bool, isFile);
    if (name == "FIFO") {
        name = TestMedia::dir() + "/subtitle.fifo";
        QFile::remove(name);
        QCOMPARE(mkfifo(QFile::encodeName(name).constData(), 0600), 0);
    }

    QVlcInstance instance(kQuietArgs);
    QVlcMediaPlayer player(&instance);
    Recorder rec(&player);
    QVERIFY(player.open(TestMedia::path(TestMedia::Mkv)));
    player.play();
    QTRY_VERIFY_WITH_TIMEOUT(rec.has("State:3"), 10000);
    QTRY_VERIFY((player.pollTracks(), !player.videoTracks().isEmpty()));
    QVERIFY(player.subtitles().isEmpty());

    player.setSubtitle(name);
    if (isFile) {
        QTRY_VERIFY_WITH_TIMEOUT((player.pollTracks(), player.subtitles().size() == 2), 5000);
        QCOMPARE(player.subtitles().at(0).id(), -1);
        QCOMPARE(player.subtitles().at(1).type(), int(QVlcTrack::Subtitle));
        QCOMPARE(player.subtitles().at(1).index(), 1);
        QTRY_VERIFY(player.subtitle() == player.subtitles().at(1).id());
    } else {
        player.pollTracks();
        QCOMPARE(player.subtitleCount(), 0);
        QVERIFY(player.subtitles().isEmpty());
    }
    player.stop();
    if (name.endsWith(".fifo"))
        QFile::remove(name);
}

// libVLC runs the event callback on the input thread, and a stop or a media
// change waits for that thread while it holds the player's input lock. Each
// round holds one PositionChanged callback (a TimeChanged follows it at once)
// while the player is stopped or given a new media on another thread.
void TestEngine::openStopLoopNeverHangs()
{
    QVlcInstance instance(kQuietArgs);
    QAtomicInt armed(0), rounds(0);
    QSemaphore inCallback;
    const QList<QUrl> urls{m_server->url("clip.ts"),
                           QUrl::fromLocalFile(TestMedia::path(TestMedia::Mkv))};
    QElapsedTimer timer;
    timer.start();
    // The player lives and is driven on a thread of its own, as in the
    // worker, so that a hang shows as a failure here.
    QThread *runner = QThread::create([&] {
        QVlcMediaPlayer player(&instance);
        QObject context;
        connect(
            &player, &QVlcMediaPlayer::positionChanged, &context,
            [&] {
                if (armed.testAndSetOrdered(1, 0)) {
                    inCallback.release();
                    QThread::msleep(30);
                }
            },
            Qt::DirectConnection);
        for (int i = 0; i < 8; ++i) {
            player.open(urls.at(i % urls.size()));
            player.play();
            armed.storeRelease(1);
            if (inCallback.tryAcquire(1, 5000))
                rounds.fetchAndAddOrdered(1);
            // Odd rounds stop, even rounds go straight on to the next open().
            if (i % 2)
                player.stop();
        }
        player.stop();
    });
    runner->start();
    if (!runner->wait(30000))
        qFatal("open()/stop() loop hung after %lld ms", timer.elapsed());
    delete runner;
    QCOMPARE(rounds.loadAcquire(), 8);
}

QTEST_MAIN(TestEngine)
#include "tst_engine.moc"
