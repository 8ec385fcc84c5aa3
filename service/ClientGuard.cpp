#include "ClientGuard.h"

#include <QDebug>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

void addressOf(const sockaddr_storage &addr, std::string &strIp, int &nPort)
{
    char szHost[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto &in = reinterpret_cast<const sockaddr_in &>(addr);
        inet_ntop(AF_INET, &in.sin_addr, szHost, sizeof szHost);
        nPort = ntohs(in.sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto &in6 = reinterpret_cast<const sockaddr_in6 &>(addr);
        inet_ntop(AF_INET6, &in6.sin6_addr, szHost, sizeof szHost);
        nPort = ntohs(in6.sin6_port);
    }
    strIp = szHost;
}

} // namespace

DeadlineStream::DeadlineStream(int nSocket, std::chrono::milliseconds readTimeout,
                               std::chrono::milliseconds writeTimeout)
    : m_nSocket(nSocket), m_readTimeout(readTimeout), m_writeTimeout(writeTimeout)
{
    sockaddr_storage addr{};
    socklen_t nLen = sizeof addr;
    if (::getpeername(nSocket, reinterpret_cast<sockaddr *>(&addr), &nLen) == 0)
        addressOf(addr, m_strRemote, m_nRemotePort);
}

bool DeadlineStream::poll(short nEvents, int nTimeoutMs) const
{
    pollfd pfd{m_nSocket, nEvents, 0};
    int nResult;
    do {
        nResult = ::poll(&pfd, 1, nTimeoutMs);
    } while (nResult < 0 && errno == EINTR);
    return nResult > 0;
}

bool DeadlineStream::waitForRequest(std::chrono::milliseconds timeout)
{
    return m_nRead < m_nBuffered || poll(POLLIN, int(timeout.count()));
}

void DeadlineStream::armDeadline(Clock::time_point deadline)
{
    m_deadline = deadline;
    m_bArmed = true;
}

void DeadlineStream::disarm()
{
    m_bArmed = false;
}

int DeadlineStream::readWaitMs() const
{
    if (!m_bArmed)
        return int(m_readTimeout.count());
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_deadline - Clock::now());
    return int(std::max<int64_t>(0, std::min<int64_t>(left.count(), m_readTimeout.count())));
}

bool DeadlineStream::is_readable() const
{
    return m_nRead < m_nBuffered || poll(POLLIN, readWaitMs());
}

bool DeadlineStream::is_writable() const
{
    return poll(POLLOUT, int(m_writeTimeout.count()));
}

ssize_t DeadlineStream::read(char *ptr, size_t size)
{
    if (m_nRead < m_nBuffered) {
        const size_t n = std::min(size, m_nBuffered - m_nRead);
        std::memcpy(ptr, m_buffer + m_nRead, n);
        m_nRead += n;
        return ssize_t(n);
    }
    const int nWaitMs = readWaitMs();
    if (!poll(POLLIN, nWaitMs)) {
        if (m_bArmed && nWaitMs < m_readTimeout.count() && !m_bDeadlinePassed) {
            m_bDeadlinePassed = true;
            qInfo().noquote() << "client" << QString::fromStdString(m_strRemote)
                              << "cut off: its request did not arrive in time";
        }
        return -1;
    }
    // Small reads (the header lines are read a byte at a time) go through
    // the buffer; big ones straight into the caller's memory.
    const bool bBuffer = size < sizeof m_buffer;
    ssize_t n;
    do {
        n = ::recv(m_nSocket, bBuffer ? m_buffer : ptr, bBuffer ? sizeof m_buffer : size, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0 || !bBuffer)
        return n;
    m_nBuffered = size_t(n);
    m_nRead = 0;
    return read(ptr, size);
}

ssize_t DeadlineStream::write(const char *ptr, size_t size)
{
    if (!is_writable())
        return -1;
    ssize_t n;
    do {
        n = ::send(m_nSocket, ptr, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
}

void DeadlineStream::get_remote_ip_and_port(std::string &ip, int &port) const
{
    ip = m_strRemote;
    port = m_nRemotePort;
}

void DeadlineStream::get_local_ip_and_port(std::string &ip, int &port) const
{
    sockaddr_storage addr{};
    socklen_t nLen = sizeof addr;
    ip.clear();
    port = 0;
    if (::getsockname(m_nSocket, reinterpret_cast<sockaddr *>(&addr), &nLen) == 0)
        addressOf(addr, ip, port);
}

bool ConnectionsPerAddress::acquire(const std::string &strAddress, uint64_t nTurn)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // Every turn is taken: each connection a worker takes up is counted next.
    m_turnCame.wait(lock, [&] { return m_nNextTurn >= nTurn; });
    ++m_nNextTurn;
    m_turnCame.notify_all();
    int &nOpen = m_mapOpen[strAddress];
    if (nOpen >= m_nMax)
        return false;
    ++nOpen;
    return true;
}

void ConnectionsPerAddress::release(const std::string &strAddress)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_mapOpen.find(strAddress);
    if (it != m_mapOpen.end() && --it->second <= 0)
        m_mapOpen.erase(it);
}
