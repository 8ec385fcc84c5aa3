#include "ServiceReplyReader.h"

#include "BackgroundWork.h"

ServiceReplyReader::ServiceReplyReader(QObject *parent) : QObject(parent)
{
    connect(&m_watchHead, &QFutureWatcher<ServiceReply>::finished, this,
            &ServiceReplyReader::handOn);
}

ServiceReplyReader::~ServiceReplyReader()
{
    // A reading still under way ends unheard; the worker only reads its body.
    for (Pending &pending : m_queue) {
        if (!pending.bRead)
            pending.future.waitForFinished();
    }
}

void ServiceReplyReader::read(QByteArray body, const QString &strPath)
{
    Pending pending;
    pending.strPath = strPath;
    if (body.size() <= kInlineBytes) {
        pending.reply = ServiceReply::read(std::move(body));
        pending.bRead = true;
    } else {
        pending.future = BackgroundWork::run(&ServiceReply::read, std::move(body));
    }
    m_queue.enqueue(std::move(pending));
    handOn();
}

void ServiceReplyReader::handOn()
{
    // One at a time from the head: a receiver may start new requests, whose
    // replies then queue behind the ones already here.
    while (!m_queue.isEmpty()) {
        Pending &head = m_queue.head();
        if (!head.bRead) {
            if (!head.future.isFinished()) {
                if (m_watchHead.future() != head.future)
                    m_watchHead.setFuture(head.future);
                return;
            }
            head.reply = head.future.result();
            head.bRead = true;
        }
        const Pending done = m_queue.dequeue();
        emit replyRead(done.reply, done.strPath);
    }
}
