#include "testmedia.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {

// A 2 s test picture with a tone, encoded by args into the file named last.
bool runFfmpeg(const QString &workDir, QStringList args)
{
    const QStringList inputs{"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25",
                             "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000",
                             "-t", "2"};
    const QString strOutput = workDir + QLatin1Char('/') + args.takeLast();
    return TestMedia::ffmpeg(strOutput, inputs + args);
}

const QStringList kVideo{"-c:v",     "libx264", "-preset", "ultrafast",
                         "-pix_fmt", "yuv420p", "-g",      "25"};
const QStringList kAudio{"-c:a", "aac", "-b:a", "64k"};

bool makeAll(const QString &dir)
{
    if (!runFfmpeg(dir, kVideo + kAudio + QStringList{"-f", "mpegts", "clip.ts"}))
        return false;
    if (!runFfmpeg(dir, kVideo + kAudio + QStringList{"-movflags", "+faststart", "clip.mp4"}))
        return false;
    if (!runFfmpeg(dir, QStringList{"-map", "0:v", "-map", "1:a", "-map", "1:a"} + kVideo + kAudio +
                            QStringList{"-metadata:s:a:0", "title=First", "-metadata:s:a:1",
                                        "title=Second", "clip.mkv"}))
        return false;
    if (!runFfmpeg(dir, kVideo + kAudio +
                            QStringList{"-f", "hls", "-hls_time", "1", "-hls_list_size", "0",
                                        "-hls_playlist_type", "vod", "-hls_segment_filename",
                                        "seg%d.ts", "playlist.m3u8"}))
        return false;

    QFile notMedia(dir + "/notmedia.mp4");
    if (!notMedia.open(QIODevice::WriteOnly))
        return false;
    for (int i = 0; i < 2000; ++i)
        notMedia.write("This file holds plain text and no media at all.\n");
    notMedia.close();

    QFile srt(dir + "/subtitles.srt");
    if (!srt.open(QIODevice::WriteOnly))
        return false;
    srt.write("1\n00:00:00,000 --> 00:00:02,000\nHello from the subtitle file\n\n");
    return true;
}

} // namespace

namespace TestMedia {

QString dir()
{
    static QTemporaryDir *tempDir = nullptr;
    static bool bMade = false;
    if (!tempDir) {
        tempDir = new QTemporaryDir(QDir::tempPath() + "/mirel-media.XXXXXX");
        bMade = tempDir->isValid() && makeAll(tempDir->path());
        // Removed at process exit.
        static QScopedPointer<QTemporaryDir> owner(tempDir);
    }
    return bMade ? tempDir->path() : QString();
}

QString fileName(Clip clip)
{
    switch (clip) {
    case Ts:
        return QStringLiteral("clip.ts");
    case Mp4:
        return QStringLiteral("clip.mp4");
    case Mkv:
        return QStringLiteral("clip.mkv");
    case Hls:
        return QStringLiteral("playlist.m3u8");
    case NotMedia:
        return QStringLiteral("notmedia.mp4");
    case Subtitles:
        return QStringLiteral("subtitles.srt");
    }
    return QString();
}

QString path(Clip clip)
{
    const QString folder = dir();
    return folder.isEmpty() ? QString() : folder + '/' + fileName(clip);
}

bool ffmpeg(const QString &strOutput, const QStringList &args)
{
    QProcess process;
    // Beside the output: names in args (HLS segments) are made there too.
    process.setWorkingDirectory(QFileInfo(strOutput).absolutePath());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ffmpeg"),
                  QStringList{"-hide_banner", "-loglevel", "error", "-y"} + args +
                      QStringList{strOutput});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning() << "ffmpeg failed:" << args << process.readAll();
        return false;
    }
    return true;
}

QStringList colourInputs(const QColor &colour, int nSeconds)
{
    return {"-f",
            "lavfi",
            "-i",
            QStringLiteral("color=c=0x%1:size=320x240:rate=25:duration=%2")
                .arg(colour.rgb() & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                .arg(nSeconds),
            "-f",
            "lavfi",
            "-i",
            QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(nSeconds)};
}

} // namespace TestMedia
