#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <string>

class ChannelStore;
class DemoChannels;
class HttpServer;
class VideoListReply;

// The HTTP side of the channel service: the three /remote/ paths the player
// uses, /healthz, the home page and the demo channels under /demo/.
class ChannelService
{
public:
    // nMaxPerAddress: connections one client address may have open at once.
    ChannelService(ChannelStore &store, DemoChannels &demo,
                   int nMaxPerAddress = kDefaultMaxPerAddress);
    ~ChannelService();
    ChannelService(const ChannelService &) = delete;
    ChannelService &operator=(const ChannelService &) = delete;

    // Binds the listening socket (port 0: any free port). False, with a
    // reason, when the address cannot be used (port in use, bad address).
    bool bind(const std::string &strHost, int nPort, QString *pstrError);
    int port() const { return m_nPort; }
    // Serves until stop(); requests under way are finished first.
    bool run();
    // Thread-safe; may be called from any thread, also before run(); later
    // calls do nothing.
    void stop();

    static constexpr size_t kMaxBody = 64 * 1024;
    static constexpr int kWorkers = 32;
    static constexpr int kMaxQueued = 256;
    static constexpr int kDefaultMaxPerAddress = 16;
    // A request's headers and body must have come in by then.
    static constexpr int kRequestDeadlineMs = 10000;

private:
    void setupRoutes();

    ChannelStore &m_store;
    DemoChannels &m_demo;
    std::unique_ptr<VideoListReply> m_pVideoList;
    std::unique_ptr<HttpServer> m_pServer;
    int m_nPort = 0;
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<bool> m_bRunDone{false};
};
