#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

// Short clips made with ffmpeg once per test process, in a temporary folder
// that lives until the process ends. Every clip is 2 s of a test picture
// (320x240, 25 fps) with a 440 Hz tone.
namespace TestMedia {

enum Clip
{
    Ts,        // MPEG-TS, H.264 + AAC: streams appear only after Playing
    Mp4,       // MP4 (moov first), H.264 + AAC
    Mkv,       // Matroska, H.264 + two AAC tracks named "First" and "Second"
    Hls,       // HLS playlist (VOD, 1 s segments of MPEG-TS) beside its segments
    NotMedia,  // a text file named like a clip
    Subtitles, // an SRT subtitle file
};

// Folder holding every clip; makes them on the first call. Empty when ffmpeg
// failed (the reason is logged).
QString dir();
// Full path of one clip (made on first use).
QString path(Clip clip);
// File name of one clip inside dir().
QString fileName(Clip clip);

// Runs ffmpeg quietly with args and the output file last; false (logged) when
// it failed.
bool ffmpeg(const QString &strOutput, const QStringList &args);
// ffmpeg inputs for a picture of one colour (320x240, 25 fps) with a 440 Hz
// tone, nSeconds long: a picture on the screen can then be told by its colour.
QStringList colourInputs(const QColor &colour, int nSeconds);

} // namespace TestMedia
