#pragma once

#include "ServiceReply.h"

#include <QFutureWatcher>
#include <QObject>
#include <QQueue>

// Reads the replies of the channel service and hands them on in the order
// they arrived. A small body is read at once; a big one (a channel list) on a
// worker thread, so the GUI thread never waits on it, and the replies that
// arrive meanwhile wait their turn behind it.
class ServiceReplyReader : public QObject
{
    Q_OBJECT

public:
    // Bodies up to this size are read on the calling thread: a few
    // milliseconds at most.
    static constexpr int kInlineBytes = 256 * 1024;

    explicit ServiceReplyReader(QObject *parent = nullptr);
    ~ServiceReplyReader() override;

    void read(QByteArray body, const QString &strPath);
    // Whether every reply given has been handed on.
    bool isIdle() const { return m_queue.isEmpty(); }

signals:
    void replyRead(const ServiceReply &reply, const QString &strPath);

private:
    struct Pending
    {
        QString strPath;
        QFuture<ServiceReply> future; // reading on a worker thread
        ServiceReply reply;           // when read at once
        bool bRead = false;
    };
    void handOn();

    QQueue<Pending> m_queue;
    QFutureWatcher<ServiceReply> m_watchHead;
};
