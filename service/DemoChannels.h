#pragma once

#include <QString>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// The demo channels: a few seconds of HLS segments per channel (made by
// scripts/make-demo-channels), served as live playlists that loop those
// segments with an ever-advancing media sequence, so they play like live TV.
//
// Directory layout: DIR/<name>/index.m3u8 (a VOD playlist as ffmpeg's HLS
// muxer writes it) and the segment files it names.
class DemoChannels
{
public:
    DemoChannels();

    // Loads every channel of dir; returns how many were found.
    int load(const QString &strDir);
    QString dir() const;
    std::vector<std::string> names() const;

    // The live playlist of a channel at a given time (milliseconds since the
    // clock's start); empty when there is no such channel.
    std::string livePlaylist(const std::string &strName, int64_t nElapsedMs) const;
    std::string livePlaylist(const std::string &strName) const;
    // The bytes of segment number nSequence of a channel; false when unknown.
    bool segment(const std::string &strName, uint64_t nSequence, std::string &data) const;

    static constexpr int kWindow = 3; // segments per live playlist

private:
    struct Segment
    {
        double dDuration = 0;
        std::string data;
    };
    struct Channel
    {
        std::vector<Segment> lstSegments;
        int64_t nLoopMs = 0;
        int nTargetDuration = 1;
    };

    mutable std::mutex m_mutex;
    QString m_strDir;
    std::map<std::string, Channel> m_mapChannels;
    std::chrono::steady_clock::time_point m_start;
};
