#include "DemoChannels.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cmath>

namespace {
// Segments are small; a bigger file is not one of ours.
constexpr qint64 kMaxSegmentBytes = 32 * 1024 * 1024;
} // namespace

DemoChannels::DemoChannels() : m_start(std::chrono::steady_clock::now()) {}

int DemoChannels::load(const QString &strDir)
{
    std::map<std::string, Channel> mapChannels;
    const QRegularExpression nameRule(QStringLiteral("^[A-Za-z0-9_-]+$"));
    const QDir dir(strDir);
    for (const QString &strName : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!nameRule.match(strName).hasMatch())
            continue;
        QFile index(dir.filePath(strName + QStringLiteral("/index.m3u8")));
        if (!index.open(QIODevice::ReadOnly))
            continue;
        Channel channel;
        double dDuration = -1;
        bool bOk = true;
        while (bOk && !index.atEnd()) {
            const QString strLine = QString::fromUtf8(index.readLine(4096)).trimmed();
            if (strLine.startsWith(QLatin1String("#EXTINF:"))) {
                dDuration = strLine.mid(8).section(QLatin1Char(','), 0, 0).toDouble();
            } else if (!strLine.isEmpty() && !strLine.startsWith(QLatin1Char('#'))) {
                if (dDuration <= 0 || strLine.contains(QLatin1Char('/')) ||
                    strLine.startsWith(QLatin1Char('.'))) {
                    bOk = false;
                    break;
                }
                QFile file(dir.filePath(strName + QLatin1Char('/') + strLine));
                if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSegmentBytes) {
                    bOk = false;
                    break;
                }
                channel.lstSegments.push_back({dDuration, file.readAll().toStdString()});
                dDuration = -1;
            }
        }
        if (!bOk || channel.lstSegments.empty()) {
            qWarning().noquote() << "demo channel" << strName << "in" << strDir
                                 << "is incomplete; left out";
            continue;
        }
        double dLoop = 0;
        for (const Segment &segment : channel.lstSegments) {
            dLoop += segment.dDuration;
            channel.nTargetDuration =
                std::max(channel.nTargetDuration, int(std::lround(std::ceil(segment.dDuration))));
        }
        channel.nLoopMs = std::max<int64_t>(1, std::llround(dLoop * 1000));
        mapChannels[strName.toStdString()] = std::move(channel);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strDir = strDir;
    m_mapChannels = std::move(mapChannels);
    return int(m_mapChannels.size());
}

QString DemoChannels::dir() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strDir;
}

std::vector<std::string> DemoChannels::names() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> lstNames;
    for (const auto &entry : m_mapChannels)
        lstNames.push_back(entry.first);
    return lstNames;
}

std::string DemoChannels::livePlaylist(const std::string &strName) const
{
    const auto elapsed = std::chrono::steady_clock::now() - m_start;
    return livePlaylist(strName,
                        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

std::string DemoChannels::livePlaylist(const std::string &strName, int64_t nElapsedMs) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_mapChannels.find(strName);
    if (it == m_mapChannels.end())
        return std::string();
    const Channel &channel = it->second;
    const auto nCount = uint64_t(channel.lstSegments.size());

    // The segment that is "on air" now: whole loops so far, then the segment
    // the rest of the time falls into.
    const uint64_t nLoops = uint64_t(std::max<int64_t>(0, nElapsedMs)) / uint64_t(channel.nLoopMs);
    int64_t nRest = std::max<int64_t>(0, nElapsedMs) % channel.nLoopMs;
    uint64_t nIndex = 0;
    while (nIndex + 1 < nCount) {
        const auto nMs = std::llround(channel.lstSegments[nIndex].dDuration * 1000);
        if (nRest < nMs)
            break;
        nRest -= nMs;
        ++nIndex;
    }
    const uint64_t nFirst = nLoops * nCount + nIndex;

    // Each wrap back to the first segment restarts the timestamps: the
    // segment gets a discontinuity tag, and the tags that have left the
    // window are counted in the discontinuity sequence.
    const uint64_t nDiscontinuities = nFirst == 0 ? 0 : (nFirst - 1) / nCount;
    std::string str = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:" +
                      std::to_string(channel.nTargetDuration) +
                      "\n#EXT-X-MEDIA-SEQUENCE:" + std::to_string(nFirst) +
                      "\n#EXT-X-DISCONTINUITY-SEQUENCE:" + std::to_string(nDiscontinuities) + "\n";
    char szDuration[32];
    for (uint64_t nSeq = nFirst; nSeq < nFirst + kWindow; ++nSeq) {
        if (nSeq > 0 && nSeq % nCount == 0)
            str += "#EXT-X-DISCONTINUITY\n";
        snprintf(szDuration, sizeof szDuration, "%.3f",
                 channel.lstSegments[nSeq % nCount].dDuration);
        str += "#EXTINF:" + std::string(szDuration) + ",\ns" + std::to_string(nSeq) + ".ts\n";
    }
    return str;
}

bool DemoChannels::segment(const std::string &strName, uint64_t nSequence, std::string &data) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_mapChannels.find(strName);
    if (it == m_mapChannels.end())
        return false;
    data = it->second.lstSegments[nSequence % it->second.lstSegments.size()].data;
    return true;
}
