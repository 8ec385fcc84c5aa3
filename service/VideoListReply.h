#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class ChannelStore;
struct ChannelList;

// The body of a get_video_list reply, built once for a channel list and its
// scores, with its ETag (a hash of the body, so every process sharing a
// database gives the same tag for the same reply) and, when a client asks for
// it, its gzip form.
class VideoListBody
{
public:
    VideoListBody(std::shared_ptr<const ChannelList> pList, uint64_t nScoreGeneration,
                  std::string strJson);

    const std::string &json() const { return m_strJson; }
    // The tag of the identity form; the gzip form's ends in -gzip.
    const std::string &etag() const { return m_strEtag; }
    std::string gzipEtag() const;
    // Compressed on first use; empty when compression failed.
    const std::string &gzip() const;
    // True when an If-None-Match value names this reply, in either form.
    bool matches(const std::string &strIfNoneMatch) const;

    const ChannelList *list() const { return m_pList.get(); }
    uint64_t scoreGeneration() const { return m_nScoreGeneration; }

private:
    std::shared_ptr<const ChannelList> m_pList;
    uint64_t m_nScoreGeneration;
    std::string m_strJson;
    std::string m_strEtag;
    mutable std::once_flag m_gzipOnce;
    mutable std::string m_strGzip;
};

// The current get_video_list reply: built again only when the list or the
// scores changed, so a second of requests shares one body (and one gzip run).
class VideoListReply
{
public:
    explicit VideoListReply(ChannelStore &store);
    std::shared_ptr<const VideoListBody> current();

    // True when an Accept-Encoding value accepts gzip.
    static bool acceptsGzip(const std::string &strAcceptEncoding);

private:
    ChannelStore &m_store;
    std::mutex m_mutex;
    std::shared_ptr<const VideoListBody> m_pLast;
};
