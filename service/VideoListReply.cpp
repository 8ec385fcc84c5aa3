#include "VideoListReply.h"

#include "ChannelStore.h"

#include <QCryptographicHash>
#include <QDebug>

#include <zlib.h>

#include <vector>

namespace {

std::string trimmed(const std::string &str)
{
    const size_t nBegin = str.find_first_not_of(" \t");
    if (nBegin == std::string::npos)
        return std::string();
    return str.substr(nBegin, str.find_last_not_of(" \t") - nBegin + 1);
}

// The comma-separated items of a header value, trimmed.
std::vector<std::string> headerItems(const std::string &strValue)
{
    std::vector<std::string> lstItems;
    size_t nStart = 0;
    for (;;) {
        const size_t nComma = strValue.find(',', nStart);
        const std::string strItem = trimmed(strValue.substr(nStart, nComma - nStart));
        if (!strItem.empty())
            lstItems.push_back(strItem);
        if (nComma == std::string::npos)
            return lstItems;
        nStart = nComma + 1;
    }
}

std::string compressed(const std::string &strData)
{
    z_stream stream{};
    // 15 + 16: a gzip header and trailer around the deflate stream.
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return std::string();
    std::string strOut(deflateBound(&stream, uLong(strData.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(strData.data()));
    stream.avail_in = uInt(strData.size());
    stream.next_out = reinterpret_cast<Bytef *>(&strOut[0]);
    stream.avail_out = uInt(strOut.size());
    const int nResult = deflate(&stream, Z_FINISH);
    strOut.resize(stream.total_out);
    deflateEnd(&stream);
    if (nResult != Z_STREAM_END) {
        qWarning() << "gzip of the channel list failed:" << nResult;
        return std::string();
    }
    return strOut;
}

} // namespace

VideoListBody::VideoListBody(std::shared_ptr<const ChannelList> pList, uint64_t nScoreGeneration,
                             std::string strJson)
    : m_pList(std::move(pList)), m_nScoreGeneration(nScoreGeneration), m_strJson(std::move(strJson))
{
    const QByteArray hash = QCryptographicHash::hash(
        QByteArray::fromRawData(m_strJson.data(), int(m_strJson.size())), QCryptographicHash::Sha1);
    m_strEtag = '"' + hash.toHex().left(24).toStdString() + '"';
}

std::string VideoListBody::gzipEtag() const
{
    return m_strEtag.substr(0, m_strEtag.size() - 1) + "-gzip\"";
}

const std::string &VideoListBody::gzip() const
{
    std::call_once(m_gzipOnce, [this] { m_strGzip = compressed(m_strJson); });
    return m_strGzip;
}

bool VideoListBody::matches(const std::string &strIfNoneMatch) const
{
    const std::string strGzipEtag = gzipEtag();
    for (std::string strTag : headerItems(strIfNoneMatch)) {
        if (strTag == "*")
            return true;
        // Weak comparison, as If-None-Match asks for.
        if (strTag.compare(0, 2, "W/") == 0)
            strTag.erase(0, 2);
        if (strTag == m_strEtag || strTag == strGzipEtag)
            return true;
    }
    return false;
}

VideoListReply::VideoListReply(ChannelStore &store) : m_store(store) {}

std::shared_ptr<const VideoListBody> VideoListReply::current()
{
    std::shared_ptr<const ChannelList> pList = m_store.channels();
    const uint64_t nGeneration = m_store.scoreGeneration();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pLast && m_pLast->list() == pList.get() && m_pLast->scoreGeneration() == nGeneration)
            return m_pLast;
    }
    std::string strBody = "{\"action\":\"get_video_list\",\"data\":[";
    uint64_t nBuiltGeneration = nGeneration;
    if (pList) {
        std::vector<int> lstScores;
        nBuiltGeneration = m_store.entryScores(*pList, lstScores);
        size_t nSize = strBody.size() + 2;
        for (const ChannelEntry &entry : pList->lstEntries)
            nSize += entry.strJsonHead.size() + 12;
        strBody.reserve(nSize);
        for (size_t i = 0; i < pList->lstEntries.size(); ++i) {
            if (i > 0)
                strBody += ',';
            strBody += pList->lstEntries[i].strJsonHead;
            strBody += std::to_string(lstScores[i]);
            strBody += '}';
        }
    }
    strBody += "]}";
    auto pBody = std::make_shared<const VideoListBody>(std::move(pList), nBuiltGeneration,
                                                       std::move(strBody));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pLast = pBody;
    return pBody;
}

bool VideoListReply::acceptsGzip(const std::string &strAcceptEncoding)
{
    for (const std::string &strItem : headerItems(strAcceptEncoding)) {
        const size_t nSemicolon = strItem.find(';');
        const std::string strCoding = trimmed(strItem.substr(0, nSemicolon));
        if (strCoding != "gzip" && strCoding != "x-gzip")
            continue;
        if (nSemicolon == std::string::npos)
            return true;
        // "gzip;q=0" refuses it.
        const std::string strParam = trimmed(strItem.substr(nSemicolon + 1));
        if (strParam.compare(0, 2, "q=") != 0)
            return true;
        return std::atof(strParam.c_str() + 2) > 0;
    }
    return false;
}
