#include "ChannelService.h"

#include "ChannelStore.h"
#include "ClientGuard.h"
#include "DemoChannels.h"
#include "M3uParser.h"
#include "VideoListReply.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <numeric>

namespace {

using Clock = std::chrono::steady_clock;

// Set on the threads that only turn connections away (see ConnectionPool).
thread_local bool t_bOverflow = false;
// On a worker: the place of the connection it serves in the order the
// workers took connections up (see ConnectionsPerAddress).
thread_local uint64_t t_nTurn = 0;
// The connection this worker serves, and whether its address has more
// connections open than it may (see HttpServer).
thread_local DeadlineStream *t_pStream = nullptr;
thread_local bool t_bOverLimit = false;
// When the request being handled on this thread began, for the log line.
thread_local Clock::time_point t_start;
thread_local bool t_bStarted = false;

const char kJson[] = "application/json; charset=utf-8";
const char kPostPath[] = "/remote/post_play_info";

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void setJson(httplib::Response &res, const QJsonObject &obj)
{
    res.set_content(QJsonDocument(obj).toJson(QJsonDocument::Compact).toStdString(), kJson);
}

// A refused request: the status and a JSON body that says why.
void refuse(httplib::Response &res, int nStatus, const QString &strWhy, const char *pszAction)
{
    QJsonObject obj{{QStringLiteral("status"), nStatus}, {QStringLiteral("error"), strWhy}};
    if (pszAction)
        obj.insert(QStringLiteral("action"), QLatin1String(pszAction));
    res.status = nStatus;
    setJson(res, obj);
}

// Request text as it may appear in the log: one line, printable, bounded
// (the path is percent-decoded, so it can hold anything).
QString loggable(const std::string &str)
{
    if (str.empty())
        return QStringLiteral("-");
    QString strOut = decodeText(str.data(), int(std::min<size_t>(str.size(), 300)));
    for (QChar &ch : strOut) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            ch = QLatin1Char('?');
    }
    if (str.size() > 300)
        strOut += QStringLiteral("...");
    return strOut;
}

QString statusText(int nStatus)
{
    switch (nStatus) {
    case 400:
        return QStringLiteral("bad request");
    case 404:
        return QStringLiteral("not found");
    case 405:
        return QStringLiteral("method not allowed");
    case 414:
        return QStringLiteral("request line too long");
    case 416:
        return QStringLiteral("range not satisfiable");
    case 503:
        return QStringLiteral("service unavailable");
    default:
        return QStringLiteral("error %1").arg(nStatus);
    }
}

QString htmlEscaped(const QString &str)
{
    QString strOut;
    strOut.reserve(str.size() + str.size() / 8);
    for (const QChar ch : str) {
        switch (ch.unicode()) {
        case '&':
            strOut += QLatin1String("&amp;");
            break;
        case '<':
            strOut += QLatin1String("&lt;");
            break;
        case '>':
            strOut += QLatin1String("&gt;");
            break;
        case '"':
            strOut += QLatin1String("&quot;");
            break;
        case '\'':
            strOut += QLatin1String("&#39;");
            break;
        default:
            strOut += ch;
        }
    }
    return strOut;
}

// A field of the play report form as stored text: UTF-8 as sent, or Latin-1
// when the bytes are not valid UTF-8 (the database holds only valid text).
// NUL, which PostgreSQL's text cannot hold, becomes U+FFFD in either store.
std::string formText(const std::string &strBytes)
{
    std::string strText =
        isValidUtf8(strBytes.data(), int(strBytes.size()))
            ? strBytes
            : QString::fromLatin1(strBytes.data(), int(strBytes.size())).toStdString();
    for (size_t n = strText.find('\0'); n != std::string::npos; n = strText.find('\0', n))
        strText.replace(n, 1, "\xEF\xBF\xBD");
    return strText;
}

// The request has been read whole: the deadline for reading it is over.
void requestRead()
{
    if (t_pStream)
        t_pStream->disarm();
}

// A route handler that first ends the request's deadline.
httplib::Server::Handler handled(httplib::Server::Handler handler)
{
    return [handler](const httplib::Request &req, httplib::Response &res) {
        requestRead();
        handler(req, res);
    };
}

} // namespace

// httplib's server with a listen queue long enough for many clients at once
// (the library asks for only 5), and its connections read through a
// DeadlineStream: the library's own socket stream knows only a timeout per
// read, which a client sending a byte now and then never meets.
class HttpServer : public httplib::Server
{
public:
    explicit HttpServer(int nMaxPerAddress) : m_perAddress(nMaxPerAddress) {}
    void raiseBacklog() { ::listen(svr_sock_, SOMAXCONN); }

private:
    bool process_and_close_socket(socket_t sock) override
    {
        using namespace std::chrono;
        DeadlineStream stream(sock,
                              duration_cast<milliseconds>(seconds(read_timeout_sec_) +
                                                          microseconds(read_timeout_usec_)),
                              duration_cast<milliseconds>(seconds(write_timeout_sec_) +
                                                          microseconds(write_timeout_usec_)));
        // One address over its share gets one quick answer (503), or is cut
        // off at once when its request does not come at once. The overflow
        // threads turn every connection away, so those are not counted.
        const bool bCounted = !t_bOverflow && m_perAddress.acquire(stream.remoteAddress(), t_nTurn);
        t_bOverLimit = !t_bOverflow && !bCounted;
        t_pStream = &stream;
        bool bOk = false;
        for (size_t nLeft = keep_alive_max_count_; nLeft > 0 && svr_sock_ != INVALID_SOCKET;
             --nLeft) {
            if (!stream.waitForRequest(seconds(keep_alive_timeout_sec_)))
                break;
            stream.armDeadline(DeadlineStream::Clock::now() +
                               milliseconds(bCounted ? ChannelService::kRequestDeadlineMs : 1000));
            bool bClosed = false;
            bOk = process_request(stream, nLeft == 1, bClosed, nullptr);
            stream.disarm();
            if (!bOk || bClosed || t_bOverflow || t_bOverLimit)
                break;
        }
        t_pStream = nullptr;
        t_bOverLimit = false;
        if (bCounted)
            m_perAddress.release(stream.remoteAddress());
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return bOk;
    }

    ConnectionsPerAddress m_perAddress;
};

namespace {

// Connections are served by a fixed set of workers. When so many are waiting
// that a new one would wait for long, it goes to an overflow thread instead,
// which answers 503 at once (and closes the connection), so a flood of
// clients gets a clear answer rather than a hang, and memory stays bounded.
class ConnectionPool : public httplib::TaskQueue
{
public:
    ConnectionPool(int nWorkers, int nOverflow, size_t nMaxQueued) : m_nMaxQueued(nMaxQueued)
    {
        for (int i = 0; i < nWorkers; ++i)
            m_lstThreads.emplace_back([this] { work(m_jobs, false); });
        for (int i = 0; i < nOverflow; ++i)
            m_lstThreads.emplace_back([this] { work(m_overflow, true); });
    }

    void enqueue(std::function<void()> fn) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_jobs.size() < m_nMaxQueued)
                m_jobs.push_back(std::move(fn));
            else
                m_overflow.push_back(std::move(fn));
        }
        m_cond.notify_all();
    }

    void shutdown() override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bShutdown = true;
        }
        m_cond.notify_all();
        for (std::thread &thread : m_lstThreads)
            thread.join();
    }

private:
    void work(std::deque<std::function<void()>> &jobs, bool bOverflow)
    {
        t_bOverflow = bOverflow;
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_cond.wait(lock, [&] { return m_bShutdown || !jobs.empty(); });
                if (jobs.empty())
                    return; // shut down, and every connection taken is served
                fn = std::move(jobs.front());
                jobs.pop_front();
                if (!bOverflow)
                    t_nTurn = m_nTaken++;
            }
            fn();
        }
    }

    const size_t m_nMaxQueued;
    uint64_t m_nTaken = 0; // connections the workers have taken up
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<std::function<void()>> m_jobs;
    std::deque<std::function<void()>> m_overflow;
    std::vector<std::thread> m_lstThreads;
    bool m_bShutdown = false;
};

} // namespace

ChannelService::ChannelService(ChannelStore &store, DemoChannels &demo, int nMaxPerAddress)
    : m_store(store), m_demo(demo), m_pVideoList(std::make_unique<VideoListReply>(store)),
      m_pServer(std::make_unique<HttpServer>(nMaxPerAddress))
{
    m_pServer->new_task_queue = [] { return new ConnectionPool(kWorkers, 2, size_t(kMaxQueued)); };
    // A client that sends nothing (or stops half-way) holds a worker at most
    // this long per read.
    m_pServer->set_read_timeout(5, 0);
    m_pServer->set_write_timeout(10, 0);
    m_pServer->set_keep_alive_timeout(2);
    m_pServer->set_keep_alive_max_count(1000);
    m_pServer->set_payload_max_length(kMaxBody);
    // Replies go out as headers and body in separate writes; without this,
    // Nagle's algorithm and the client's delayed ACK add 40 ms to each.
    m_pServer->set_tcp_nodelay(true);
    // Only SO_REUSEADDR: the library's default also sets SO_REUSEPORT, which
    // would let a second service share the port instead of refusing to start.
    m_pServer->set_socket_options([](int sock) {
        int nOn = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    });
    setupRoutes();
}

ChannelService::~ChannelService() = default;

bool ChannelService::bind(const std::string &strHost, int nPort, QString *pstrError)
{
    errno = 0;
    bool bOk;
    if (nPort == 0) {
        m_nPort = m_pServer->bind_to_any_port(strHost);
        bOk = m_nPort > 0;
    } else {
        bOk = m_pServer->bind_to_port(strHost, nPort);
        m_nPort = nPort;
    }
    if (!bOk) {
        const int nError = errno;
        *pstrError = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(QString::fromStdString(strHost))
                         .arg(nPort)
                         .arg(nError ? QString::fromLocal8Bit(strerror(nError))
                                     : QStringLiteral("address not usable"));
        return false;
    }
    m_pServer->raiseBacklog();
    return true;
}

bool ChannelService::run()
{
    if (m_bStopRequested) {
        m_bRunDone = true;
        return true;
    }
    const bool bOk = m_pServer->listen_after_bind();
    m_bRunDone = true;
    return bOk;
}

void ChannelService::stop()
{
    if (m_bStopRequested.exchange(true))
        return;
    // The library ignores a stop that comes before its accept loop runs: wait
    // for the loop (unless run() is not going to start it at all).
    for (int i = 0; i < 1000 && !m_pServer->is_running() && !m_bRunDone; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    m_pServer->stop();
}

void ChannelService::setupRoutes()
{
    HttpServer &server = *m_pServer;

    server.set_pre_routing_handler([](const httplib::Request &, httplib::Response &res) {
        t_start = Clock::now();
        t_bStarted = true;
        if (!t_bOverflow && !t_bOverLimit)
            return httplib::Server::HandlerResponse::Unhandled;
        requestRead();
        refuse(res, 503,
               t_bOverLimit ? QStringLiteral("too many connections from your address, try again "
                                             "later")
                            : QStringLiteral("too many connections, try again later"),
               nullptr);
        res.set_header("Retry-After", "1");
        res.set_header("Connection", "close");
        return httplib::Server::HandlerResponse::Handled;
    });

    server.set_logger([](const httplib::Request &req, const httplib::Response &res) {
        // A request that could not be parsed never reached the pre-routing
        // handler: it has no start time (and maybe no method or path).
        const QString strTime =
            t_bStarted
                ? QString::asprintf(
                      "%.2f ms",
                      std::chrono::duration<double, std::milli>(Clock::now() - t_start).count())
                : QStringLiteral("- ms");
        t_bStarted = false;
        qInfo().noquote() << QStringLiteral("%1 %2 %3 %4 %5")
                                 .arg(loggable(req.method), loggable(req.path))
                                 .arg(res.status)
                                 .arg(strTime, loggable(req.remote_addr));
    });

    // Replies the library makes itself (404, a body over the limit, a broken
    // multipart body) get a JSON body that says why as well.
    server.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request &req,
                                                                     httplib::Response &res) {
        requestRead();
        if (!res.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        const char *pszAction = req.path == kPostPath ? "post_play_info" : nullptr;
        if (res.status == 413) {
            refuse(res, 400,
                   QStringLiteral("request body exceeds %1 bytes").arg(ChannelService::kMaxBody),
                   pszAction);
        } else if (res.status == 400 && req.path == kPostPath) {
            // The library reports a chunked body over the limit as a plain 400.
            refuse(res, 400,
                   req.get_header_value("Transfer-Encoding") == "chunked"
                       ? QStringLiteral("malformed request body, or one over %1 bytes")
                             .arg(ChannelService::kMaxBody)
                       : QStringLiteral("malformed request body"),
                   pszAction);
        } else {
            refuse(res, res.status, statusText(res.status), pszAction);
        }
        // Part of a refused body may still be unread: the connection cannot
        // carry another request.
        res.set_header("Connection", "close");
        qDebug().noquote() << "refused" << loggable(req.method) << loggable(req.path) << res.status;
        return httplib::Server::HandlerResponse::Handled;
    }));

    server.set_exception_handler(
        [](const httplib::Request &req, httplib::Response &res, std::exception_ptr ep) {
            QString strWhat = QStringLiteral("unknown error");
            try {
                std::rethrow_exception(ep);
            } catch (const std::exception &e) {
                strWhat = QString::fromLocal8Bit(e.what());
            } catch (...) {
            }
            qWarning().noquote() << "internal error on" << req.path.c_str() << ":" << strWhat;
            refuse(res, 500, QStringLiteral("internal error"), nullptr);
        });

    server.Get(
        "/remote/get_settings", handled([this](const httplib::Request &, httplib::Response &res) {
            m_store.reloadIfChanged();
            const QJsonObject setting{{QStringLiteral("name"), QStringLiteral("list_ver")},
                                      {QStringLiteral("value"), m_store.listVer()}};
            setJson(res, QJsonObject{{QStringLiteral("action"), QStringLiteral("get_settings")},
                                     {QStringLiteral("data"), QJsonArray{setting}}});
        }));

    // The list changes at most once a second (with the scores), and many
    // players ask for the same one: it is built once, and a client that has
    // it already gets 304; one that accepts gzip gets it compressed.
    server.Get("/remote/get_video_list",
               handled([this](const httplib::Request &req, httplib::Response &res) {
                   const std::shared_ptr<const VideoListBody> pBody = m_pVideoList->current();
                   const bool bGzip =
                       VideoListReply::acceptsGzip(req.get_header_value("Accept-Encoding")) &&
                       !pBody->gzip().empty();
                   res.set_header("ETag", bGzip ? pBody->gzipEtag() : pBody->etag());
                   res.set_header("Vary", "Accept-Encoding");
                   res.set_header("Cache-Control", "no-cache");
                   if (req.has_header("If-None-Match") &&
                       pBody->matches(req.get_header_value("If-None-Match"))) {
                       res.status = 304;
                       return;
                   }
                   if (bGzip) {
                       res.set_header("Content-Encoding", "gzip");
                       res.set_content(pBody->gzip(), kJson);
                   } else {
                       res.set_content(pBody->json(), kJson);
                   }
               }));

    // For a load balancer or a supervisor: 200 while the database answers.
    server.Get("/healthz", handled([this](const httplib::Request &, httplib::Response &res) {
                   res.set_header("Cache-Control", "no-store");
                   if (!m_store.reachable()) {
                       refuse(res, 503, QStringLiteral("the database is unreachable"), nullptr);
                       res.set_header("Retry-After", "1");
                       return;
                   }
                   setJson(res, QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")},
                                            {QStringLiteral("list_ver"), m_store.listVer()}});
               }));

    server.Post(
        kPostPath, handled([this](const httplib::Request &req, httplib::Response &res) {
            if (!req.is_multipart_form_data()) {
                qDebug() << "play report refused: not a multipart form";
                refuse(res, 400, QStringLiteral("the body must be a multipart/form-data form"),
                       "post_play_info");
                return;
            }
            std::string strFields[4];
            const char *const pszNames[4] = {"region", "video_name", "video_url", "app_ver"};
            for (int i = 0; i < 4; ++i) {
                if (!req.has_file(pszNames[i])) {
                    qDebug() << "play report refused: no field" << pszNames[i];
                    refuse(res, 400,
                           QStringLiteral("missing field \"%1\"").arg(QLatin1String(pszNames[i])),
                           "post_play_info");
                    return;
                }
                strFields[i] = formText(req.get_file_value(pszNames[i]).content);
            }
            PlayReport report;
            report.nTimeMs = nowMs();
            report.strRegion = std::move(strFields[0]);
            report.strVideoName = std::move(strFields[1]);
            report.strVideoUrl = std::move(strFields[2]);
            report.strAppVer = std::move(strFields[3]);
            report.strClient = req.remote_addr;
            // Answered only once the row is committed: an acknowledged report is never lost.
            if (!m_store.addPlay(std::move(report))) {
                refuse(res, 503, QStringLiteral("the report could not be stored"),
                       "post_play_info");
                return;
            }
            setJson(res, QJsonObject{{QStringLiteral("action"), QStringLiteral("post_play_info")}});
        }));

    server.Get(
        "/", handled([this](const httplib::Request &, httplib::Response &res) {
            const std::shared_ptr<const ChannelList> pList = m_store.channels();
            std::vector<int> lstScores;
            if (pList)
                m_store.entryScores(*pList, lstScores);
            std::vector<size_t> lstOrder(lstScores.size());
            std::iota(lstOrder.begin(), lstOrder.end(), size_t(0));
            std::stable_sort(lstOrder.begin(), lstOrder.end(),
                             [&](size_t a, size_t b) { return lstScores[a] > lstScores[b]; });

            QString strHtml = QStringLiteral(
                "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                "<title>Mirel channel service</title>"
                "<style>body{font-family:sans-serif;margin:2em}"
                "table{border-collapse:collapse}td,th{padding:.2em .8em;text-align:left}"
                "tr:nth-child(even){background:#f0f0f0}td.n{text-align:right}</style>"
                "</head><body>\n<h1>Mirel channel service</h1>\n");
            strHtml +=
                QStringLiteral("<p>Channel list version %1, %2 channels. Plays of the last 7 "
                               "days, most played first.</p>\n")
                    .arg(htmlEscaped(pList ? pList->strVer : QString()))
                    .arg(lstOrder.size());
            strHtml += QStringLiteral("<table>\n<tr><th>Channel</th><th>Region</th><th>Plays</th>"
                                      "<th>URL</th></tr>\n");
            for (const size_t nIndex : lstOrder) {
                const ChannelEntry &entry = pList->lstEntries[nIndex];
                strHtml += QStringLiteral("<tr><td>%1</td><td>%2</td><td class=\"n\">%3</td>"
                                          "<td>%4</td></tr>\n")
                               .arg(htmlEscaped(entry.strName), htmlEscaped(entry.strRegion))
                               .arg(lstScores[nIndex])
                               .arg(htmlEscaped(entry.strUrl));
            }
            strHtml += QStringLiteral("</table>\n</body></html>\n");
            res.set_content(strHtml.toStdString(), "text/html; charset=utf-8");
        }));

    server.Get(R"(/demo/([A-Za-z0-9_-]+)/live\.m3u8)",
               handled([this](const httplib::Request &req, httplib::Response &res) {
                   std::string strPlaylist = m_demo.livePlaylist(req.matches[1].str());
                   if (strPlaylist.empty()) {
                       res.status = 404;
                       return;
                   }
                   res.set_header("Cache-Control", "no-cache");
                   res.set_content(std::move(strPlaylist), "application/vnd.apple.mpegurl");
               }));

    server.Get(
        R"(/demo/([A-Za-z0-9_-]+)/s([0-9]{1,18})\.ts)",
        handled([this](const httplib::Request &req, httplib::Response &res) {
            std::string data;
            if (!m_demo.segment(req.matches[1].str(), std::stoull(req.matches[2].str()), data)) {
                res.status = 404;
                return;
            }
            res.set_content(std::move(data), "video/mp2t");
        }));
}
