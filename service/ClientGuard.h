#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

// A connection's socket as the HTTP server reads and writes it, with a
// deadline for a whole request on top of the timeout of each read: a client
// that sends a byte now and then is cut off when its request is not complete
// in time, instead of holding a worker for as long as it likes.
class DeadlineStream : public httplib::Stream
{
public:
    using Clock = std::chrono::steady_clock;

    DeadlineStream(int nSocket, std::chrono::milliseconds readTimeout,
                   std::chrono::milliseconds writeTimeout);

    // Waits up to timeout for the first byte of the next request; false when
    // none came or the client closed the connection.
    bool waitForRequest(std::chrono::milliseconds timeout);
    // The request under way must be read by then; disarm() once it is.
    void armDeadline(Clock::time_point deadline);
    void disarm();
    // True when the deadline cut the connection off.
    bool deadlinePassed() const { return m_bDeadlinePassed; }
    const std::string &remoteAddress() const { return m_strRemote; }

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char *ptr, size_t size) override;
    ssize_t write(const char *ptr, size_t size) override;
    void get_remote_ip_and_port(std::string &ip, int &port) const override;
    void get_local_ip_and_port(std::string &ip, int &port) const override;
    int socket() const override { return m_nSocket; }

private:
    // Milliseconds to wait for reading: the read timeout, or less when the
    // deadline comes first (0: it has passed).
    int readWaitMs() const;
    bool poll(short nEvents, int nTimeoutMs) const;

    int m_nSocket;
    std::chrono::milliseconds m_readTimeout;
    std::chrono::milliseconds m_writeTimeout;
    bool m_bArmed = false;
    bool m_bDeadlinePassed = false;
    Clock::time_point m_deadline;
    std::string m_strRemote;
    int m_nRemotePort = 0;
    char m_buffer[4096];
    size_t m_nBuffered = 0;
    size_t m_nRead = 0;
};

// How many connections each client address has open, so that no address
// holds more than its share of the workers.
//
// Connections are counted in the order the workers took them up (nTurn: 0, 1,
// 2, ... as they left the queue, which is the order they were accepted in):
// a worker that took a connection up later waits for the earlier ones to be
// counted. Otherwise a worker that lost the processor between taking its
// connection and counting it could see that connection refused in favour of
// a later one from the same address.
class ConnectionsPerAddress
{
public:
    explicit ConnectionsPerAddress(int nMax) : m_nMax(nMax) {}
    // False when the address has its maximum already (nothing is counted then).
    bool acquire(const std::string &strAddress, uint64_t nTurn);
    void release(const std::string &strAddress);
    int maximum() const { return m_nMax; }

private:
    const int m_nMax;
    std::mutex m_mutex;
    std::condition_variable m_turnCame;
    uint64_t m_nNextTurn = 0;
    std::unordered_map<std::string, int> m_mapOpen;
};
