#include "ChannelStore.h"

#include "M3uParser.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Scores are counted from the database at most this often, on demand: then
// they take in the reports of every process sharing it, and each process
// shows the same scores again.
constexpr int64_t kScoreRecountMs = 1000;
// How often the database is asked whether another process published a list.
constexpr int64_t kListCheckMs = 1000;

int64_t firstScoreDay(int64_t nNowMs)
{
    return (nNowMs - ChannelStore::kScoreWindowMs) / ChannelDatabase::kDayMs;
}

std::string entryKey(const std::string &strUrl, const std::string &strName)
{
    std::string strKey;
    strKey.reserve(strUrl.size() + strName.size() + 1);
    strKey += strUrl;
    strKey += '\0';
    strKey += strName;
    return strKey;
}

void appendJsonString(std::string &strOut, const QString &str)
{
    static const char kHex[] = "0123456789abcdef";
    const QByteArray utf8 = str.toUtf8();
    strOut += '"';
    for (const char c : utf8) {
        switch (c) {
        case '"':
            strOut += "\\\"";
            break;
        case '\\':
            strOut += "\\\\";
            break;
        case '\n':
            strOut += "\\n";
            break;
        case '\r':
            strOut += "\\r";
            break;
        case '\t':
            strOut += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                strOut += "\\u00";
                strOut += kHex[(c >> 4) & 0xF];
                strOut += kHex[c & 0xF];
            } else {
                strOut += c;
            }
        }
    }
    strOut += '"';
}

// The reply to get_video_list is made of these heads, one per channel, with
// the current score appended; built once per channel list, as a list of
// 100,000 channels would take QJsonDocument most of a second.
std::string jsonHead(int nId, const QString &strName, const QString &strUrl,
                     const QString &strRegion)
{
    std::string str = "{\"id\":" + std::to_string(nId) + ",\"name\":";
    appendJsonString(str, strName);
    str += ",\"url\":";
    appendJsonString(str, strUrl);
    str += ",\"region\":";
    appendJsonString(str, strRegion);
    str += ",\"score\":";
    return str;
}

} // namespace

ChannelStore::ChannelStore() = default;

ChannelStore::~ChannelStore()
{
    close();
}

bool ChannelStore::open(const QString &strDb, QString *pstrError)
{
    m_pDb = ChannelDatabase::forTarget(strDb);
    if (!m_pDb->open(pstrError)) {
        m_pDb.reset();
        return false;
    }
    m_bStopping = false;
    m_writer = std::thread(&ChannelStore::writerLoop, this);
    return true;
}

QString ChannelStore::description() const
{
    return m_pDb ? m_pDb->description() : QString();
}

void ChannelStore::close()
{
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_bStopping = true;
    }
    m_queueCond.notify_all();
    if (m_writer.joinable())
        m_writer.join();
    std::lock_guard<std::mutex> lock(m_dbMutex);
    m_pDb.reset();
}

bool ChannelStore::readFile(const QString &strPath, QByteArray &data, QString *pstrError)
{
    QFile file(strPath);
    if (file.size() > kMaxChannelFileBytes) {
        *pstrError = QStringLiteral("channel file %1 is over %2 MiB; not read")
                         .arg(strPath)
                         .arg(kMaxChannelFileBytes >> 20);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *pstrError =
            QStringLiteral("cannot read channel file %1: %2").arg(strPath, file.errorString());
        return false;
    }
    data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *pstrError =
            QStringLiteral("cannot read channel file %1: %2").arg(strPath, file.errorString());
        return false;
    }
    return true;
}

bool ChannelStore::loadChannels(const QString &strPath, QString *pstrError)
{
    std::lock_guard<std::mutex> reload(m_reloadMutex);
    m_strChannelPath = strPath;
    m_stamp = FileStamp();
    QByteArray data;
    struct stat st;
    if (::stat(QFile::encodeName(strPath).constData(), &st) != 0) {
        *pstrError = QStringLiteral("cannot read channel file %1: %2")
                         .arg(strPath, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *pstrError = QStringLiteral("cannot read channel file %1: it is a directory").arg(strPath);
        return false;
    }
    if (!readFile(strPath, data, pstrError))
        return false;
    m_stamp = {int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
               int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec, uint64_t(st.st_ino)};
    if (!applyChannels(data, 0) && !m_pChannels) {
        *pstrError = QStringLiteral("cannot store the channel ids of %1").arg(strPath);
        return false;
    }
    m_nListCheckedAtMs = nowMs();
    return true;
}

bool ChannelStore::reloadIfChanged(bool bForce)
{
    std::lock_guard<std::mutex> reload(m_reloadMutex);
    if (m_strChannelPath.isEmpty())
        return false;
    struct stat st;
    if (::stat(QFile::encodeName(m_strChannelPath).constData(), &st) != 0 || S_ISDIR(st.st_mode)) {
        if (m_stamp.nSize != -2)
            qWarning().noquote() << "channel file" << m_strChannelPath
                                 << "is gone; keeping the current list";
        m_stamp.nSize = -2; // warn once
        return adoptPublishedList();
    }
    const FileStamp stamp{
        int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
        int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec, uint64_t(st.st_ino)};
    if (!bForce && stamp == m_stamp)
        return adoptPublishedList();
    QByteArray data;
    QString strError;
    if (!readFile(m_strChannelPath, data, &strError)) {
        qWarning().noquote() << strError << "- keeping the current list";
        return false;
    }
    m_stamp = stamp;
    return applyChannels(data, 0);
}

// A list another process published (it saw the file change first, or reads
// a file of its own) is served here too, under the same version.
bool ChannelStore::adoptPublishedList()
{
    const int64_t nNow = nowMs();
    if (m_nListCheckedAtMs >= 0 && nNow - m_nListCheckedAtMs < kListCheckMs)
        return false;
    m_nListCheckedAtMs = nNow;
    ListState state;
    QByteArray content;
    {
        std::lock_guard<std::mutex> lock(m_dbMutex);
        if (!m_pDb || !m_pDb->currentList(state) || state.nVer == 0)
            return false;
        {
            std::lock_guard<std::mutex> list(m_listMutex);
            if (state.nVer == m_nListVer)
                return false;
        }
        if (!m_pDb->listContent(state.nVer, content))
            return false; // replaced meanwhile: the next check takes the newer one
    }
    qInfo().noquote() << "channel list" << state.nVer << "was published by another process";
    return applyChannels(content, state.nVer);
}

bool ChannelStore::applyChannels(const QByteArray &data, int64_t nPublishedVer)
{
    const bool bPublish = nPublishedVer == 0;
    QElapsedTimer timer;
    timer.start();
    const M3uResult parsed = parseM3u(data);
    if (bPublish && (parsed.nDroppedEntries || parsed.nLongLines || parsed.nLatin1Lines)) {
        qDebug().noquote() << "channel file" << m_strChannelPath << ":" << parsed.nDroppedEntries
                           << "entries without URL dropped," << parsed.nLongLines
                           << "over-long lines skipped," << parsed.nLatin1Lines
                           << "lines read as Latin-1";
    }

    auto pList = std::make_shared<ChannelList>();
    std::vector<ChannelEntry> &lstEntries = pList->lstEntries;
    lstEntries.reserve(size_t(parsed.lstChannels.size()));
    QCryptographicHash hash(QCryptographicHash::Sha1);
    std::unordered_map<std::string, size_t> mapFirstOfUrl;
    std::unordered_map<std::string, size_t> mapFirstOfEntry;
    for (const M3uChannel &channel : parsed.lstChannels) {
        ChannelEntry entry;
        entry.strName = channel.strName;
        entry.strUrl = channel.strUrl;
        entry.strRegion = channel.strRegion;
        entry.strUrlUtf8 = channel.strUrl.toStdString();
        entry.strNameUtf8 = channel.strName.toStdString();
        hash.addData(entry.strNameUtf8.c_str(), int(entry.strNameUtf8.size()) + 1); // with the NUL
        hash.addData(entry.strUrlUtf8.c_str(), int(entry.strUrlUtf8.size()) + 1);
        const QByteArray region = channel.strRegion.toUtf8();
        hash.addData(region.constData(), region.size() + 1);
        const size_t nIndex = lstEntries.size();
        entry.nSameAs =
            mapFirstOfEntry.emplace(entryKey(entry.strUrlUtf8, entry.strNameUtf8), nIndex)
                .first->second;
        const auto first = mapFirstOfUrl.emplace(entry.strUrlUtf8, nIndex);
        if (!first.second && entry.nSameAs == nIndex) {
            // Another name on a URL listed before.
            ChannelEntry &firstEntry = lstEntries[first.first->second];
            firstEntry.bUniqueUrl = false;
            firstEntry.lstOtherNames.push_back(entry.strNameUtf8);
            entry.bUniqueUrl = false;
        }
        lstEntries.push_back(std::move(entry));
    }
    const std::string strHash = hash.result().toHex().toStdString();

    std::lock_guard<std::mutex> lock(m_dbMutex);
    if (!m_pDb)
        return false;
    // Ids are kept per URL for good, so a channel keeps its id across edits of
    // the file and restarts of the service; known ones are not asked again.
    std::vector<std::string> lstNewUrls;
    for (const auto &first : mapFirstOfUrl) {
        if (m_mapIds.find(first.first) == m_mapIds.end())
            lstNewUrls.push_back(first.first);
    }
    std::sort(lstNewUrls.begin(), lstNewUrls.end(),
              [&](const std::string &a, const std::string &b) {
                  return mapFirstOfUrl[a] < mapFirstOfUrl[b];
              });
    std::vector<int> lstNewIds;
    ListState state;
    bool bOk;
    if (bPublish) {
        bOk = m_pDb->publishList(strHash, data, lstNewUrls, state, lstNewIds);
    } else {
        state.nVer = nPublishedVer;
        bOk = m_pDb->channelIds(lstNewUrls, lstNewIds);
    }
    if (!bOk || lstNewIds.size() != lstNewUrls.size()) {
        qWarning().noquote() << "channel list of" << m_strChannelPath
                             << "not taken: the database refused it";
        return false;
    }
    for (size_t i = 0; i < lstNewUrls.size(); ++i)
        m_mapIds.emplace(lstNewUrls[i], lstNewIds[i]);
    for (ChannelEntry &entry : lstEntries) {
        entry.nId = m_mapIds[entry.strUrlUtf8];
        entry.strJsonHead = jsonHead(entry.nId, entry.strName, entry.strUrl, entry.strRegion);
    }
    const QString strVer = QString::number(state.nVer);
    pList->strVer = strVer;
    const size_t nCount = lstEntries.size();
    bool bNewList;
    {
        std::lock_guard<std::mutex> list(m_listMutex);
        bNewList = !m_pChannels || m_pChannels->strVer != strVer;
        m_pChannels = std::move(pList);
        m_nListVer = state.nVer;
    }
    qInfo().noquote() << "channel list" << strVer << "from"
                      << (bPublish ? m_strChannelPath : QStringLiteral("the database")) << ":"
                      << nCount << "channels in" << timer.elapsed() << "ms";
    return bNewList;
}

std::shared_ptr<const ChannelList> ChannelStore::channels() const
{
    std::lock_guard<std::mutex> lock(m_listMutex);
    return m_pChannels;
}

QString ChannelStore::listVer() const
{
    std::lock_guard<std::mutex> lock(m_listMutex);
    return m_pChannels ? m_pChannels->strVer : QString();
}

bool ChannelStore::reachable()
{
    std::lock_guard<std::mutex> lock(m_dbMutex);
    return m_pDb && m_pDb->reachable();
}

bool ChannelStore::addPlay(PlayReport report)
{
    auto pPending = std::make_unique<Pending>();
    pPending->report = std::move(report);
    std::future<bool> done = pPending->done.get_future();
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        if (m_bStopping || !m_writer.joinable())
            return false;
        m_queue.push_back(std::move(pPending));
    }
    m_queueCond.notify_one();
    return done.get();
}

void ChannelStore::writerLoop()
{
    for (;;) {
        std::vector<std::unique_ptr<Pending>> batch;
        {
            std::unique_lock<std::mutex> lock(m_queueMutex);
            m_queueCond.wait(lock, [this] { return m_bStopping || !m_queue.empty(); });
            if (m_queue.empty())
                return; // stopping, and everything taken is committed
            // Everything that queued up while the last commit ran goes into one
            // transaction: one sync to disk for many reports.
            while (!m_queue.empty() && batch.size() < 4096) {
                batch.push_back(std::move(m_queue.front()));
                m_queue.pop_front();
            }
        }
        const bool bOk = commitBatch(batch);
        for (auto &pPending : batch)
            pPending->done.set_value(bOk);
    }
}

bool ChannelStore::commitBatch(std::vector<std::unique_ptr<Pending>> &batch)
{
    std::vector<const PlayReport *> lstReports;
    lstReports.reserve(batch.size());
    for (const auto &pPending : batch)
        lstReports.push_back(&pPending->report);
    std::lock_guard<std::mutex> lock(m_dbMutex);
    if (!m_pDb || !m_pDb->addPlays(lstReports))
        return false;
    // This process's reports count at once (a player that reports a play and
    // asks for the list sees it); those of other processes sharing the
    // database at the next recount. Still under the database lock, so a
    // recount cannot fall between the commit and these increments and count
    // the batch twice.
    std::lock_guard<std::mutex> scores(m_scoreMutex);
    if (m_nScoresAtMs >= 0) {
        const int64_t nFromDay = firstScoreDay(nowMs());
        for (const PlayReport *pReport : lstReports) {
            if (pReport->nTimeMs / ChannelDatabase::kDayMs >= nFromDay) {
                ++m_mapPlaysByUrl[pReport->strVideoUrl];
                ++m_mapPlaysByEntry[entryKey(pReport->strVideoUrl, pReport->strVideoName)];
            }
        }
        ++m_nScoreGeneration;
    }
    return true;
}

void ChannelStore::refreshScoresLocked(int64_t nNowMs)
{
    m_nScoresAtMs = nNowMs;
    std::vector<PlayCount> lstCounts;
    if (!m_pDb || !m_pDb->countPlays(firstScoreDay(nNowMs), lstCounts))
        return; // the last counts stay until the database answers again
    std::unordered_map<std::string, int64_t> mapByUrl;
    std::unordered_map<std::string, int64_t> mapByEntry;
    mapByEntry.reserve(lstCounts.size());
    for (const PlayCount &count : lstCounts) {
        mapByUrl[count.strUrl] += count.nPlays;
        mapByEntry[entryKey(count.strUrl, count.strName)] += count.nPlays;
    }
    if (mapByUrl != m_mapPlaysByUrl || mapByEntry != m_mapPlaysByEntry) {
        m_mapPlaysByUrl.swap(mapByUrl);
        m_mapPlaysByEntry.swap(mapByEntry);
        ++m_nScoreGeneration;
    }
}

std::unique_lock<std::mutex> ChannelStore::lockFreshScores()
{
    const auto stale = [this](int64_t nNow) {
        return m_nScoresAtMs < 0 || nNow - m_nScoresAtMs >= kScoreRecountMs;
    };
    std::unique_lock<std::mutex> db(m_dbMutex, std::defer_lock);
    std::unique_lock<std::mutex> scores(m_scoreMutex);
    if (stale(nowMs())) {
        // Rare: the common case needs no database, so no waiting for a commit.
        scores.unlock();
        db.lock();
        scores.lock();
        const int64_t nNow = nowMs();
        if (stale(nNow))
            refreshScoresLocked(nNow);
    }
    return scores;
}

uint64_t ChannelStore::scoreGeneration()
{
    const std::unique_lock<std::mutex> scores = lockFreshScores();
    return m_nScoreGeneration;
}

uint64_t ChannelStore::entryScores(const ChannelList &list, std::vector<int> &lstScores)
{
    const std::unique_lock<std::mutex> scores = lockFreshScores();
    const auto count = [](const std::unordered_map<std::string, int64_t> &map,
                          const std::string &strKey) {
        const auto it = map.find(strKey);
        return it == map.end() ? int64_t(0) : it->second;
    };
    const std::vector<ChannelEntry> &lstEntries = list.lstEntries;
    lstScores.resize(lstEntries.size());
    for (size_t i = 0; i < lstEntries.size(); ++i) {
        const ChannelEntry &entry = lstEntries[i];
        int64_t nScore;
        if (entry.nSameAs != i) {
            nScore = lstScores[entry.nSameAs];
        } else if (entry.bUniqueUrl) {
            nScore = count(m_mapPlaysByUrl, entry.strUrlUtf8);
        } else {
            nScore = count(m_mapPlaysByEntry, entryKey(entry.strUrlUtf8, entry.strNameUtf8));
            if (!entry.lstOtherNames.empty()) {
                // The first entry of a shared URL: also the plays under other names.
                int64_t nOthers = count(m_mapPlaysByUrl, entry.strUrlUtf8) - nScore;
                for (const std::string &strName : entry.lstOtherNames)
                    nOthers -= count(m_mapPlaysByEntry, entryKey(entry.strUrlUtf8, strName));
                nScore += std::max<int64_t>(0, nOthers);
            }
        }
        lstScores[i] = int(std::min<int64_t>(nScore, INT32_MAX));
    }
    return m_nScoreGeneration;
}
