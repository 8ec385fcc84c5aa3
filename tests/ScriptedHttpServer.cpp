#include "ScriptedHttpServer.h"

#include <QHostAddress>

QByteArray ScriptedHttpServer::Request::path() const
{
    const int nQuery = target.indexOf('?');
    return nQuery < 0 ? target : target.left(nQuery);
}

QList<QByteArray> ScriptedHttpServer::Request::headerValues(const QByteArray &name) const
{
    QList<QByteArray> lstValues;
    for (const auto &header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            lstValues.append(header.second);
    }
    return lstValues;
}

ScriptedHttpServer::ScriptedHttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedHttpServer::onNewConnection);
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    // The connections go first, without telling this half-destroyed server.
    for (QTcpSocket *pSocket : m_server.findChildren<QTcpSocket *>()) {
        pSocket->disconnect(this);
        delete pSocket;
    }
}

bool ScriptedHttpServer::listen(quint16 nPort)
{
    return m_server.listen(QHostAddress::LocalHost, nPort);
}

QUrl ScriptedHttpServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()));
}

QList<ScriptedHttpServer::Request> ScriptedHttpServer::requestsTo(const QByteArray &path) const
{
    QList<Request> lst;
    for (const Request &request : m_lstRequests) {
        if (request.path() == path)
            lst.append(request);
    }
    return lst;
}

void ScriptedHttpServer::answer(int nRequest, const QByteArray &bytes, bool bClose)
{
    QTcpSocket *pSocket = m_lstSockets.value(nRequest);
    if (!pSocket)
        return;
    pSocket->write(bytes);
    if (bClose)
        pSocket->disconnectFromHost();
}

QByteArray ScriptedHttpServer::http(const QByteArray &body, int nStatus,
                                    const QByteArray &contentType)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(nStatus) +
                      (nStatus == 200 ? " OK" : " Error") + "\r\nContent-Type: " + contentType +
                      "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
    return head + body;
}

void ScriptedHttpServer::onNewConnection()
{
    while (QTcpSocket *pSocket = m_server.nextPendingConnection()) {
        connect(pSocket, &QTcpSocket::readyRead, this, [this, pSocket] { onReadyRead(pSocket); });
        connect(pSocket, &QTcpSocket::disconnected, this, [this, pSocket] {
            m_mapBuffers.remove(pSocket);
            pSocket->deleteLater();
        });
    }
}

void ScriptedHttpServer::onReadyRead(QTcpSocket *pSocket)
{
    QByteArray &buffer = m_mapBuffers[pSocket];
    buffer += pSocket->readAll();
    for (;;) {
        const int nHeadEnd = buffer.indexOf("\r\n\r\n");
        if (nHeadEnd < 0)
            return;
        Request request;
        const QList<QByteArray> lstLines = buffer.left(nHeadEnd).split('\n');
        const QList<QByteArray> lstFirst = lstLines.value(0).trimmed().split(' ');
        request.method = lstFirst.value(0);
        request.target = lstFirst.value(1);
        for (int i = 1; i < lstLines.size(); ++i) {
            const QByteArray line = lstLines.at(i).trimmed();
            const int nColon = line.indexOf(':');
            if (nColon > 0)
                request.headers.append({line.left(nColon), line.mid(nColon + 1).trimmed()});
        }
        const int nLength = request.header("Content-Length").toInt();
        const int nTotal = nHeadEnd + 4 + nLength;
        if (buffer.size() < nTotal)
            return;
        request.raw = buffer.left(nTotal);
        request.body = buffer.mid(nHeadEnd + 4, nLength);
        buffer.remove(0, nTotal);

        ++m_nCount;
        if (m_bRecording) {
            m_lstRequests.append(request);
            m_lstSockets.append(pSocket);
        }
        const Answer answer = m_script ? m_script(request) : Answer{Answer::Reply, http("{}")};
        if (answer.mode != Answer::Hold) {
            pSocket->write(answer.bytes);
            if (answer.mode == Answer::ReplyAndClose)
                pSocket->disconnectFromHost();
        }
        emit requestReceived();
        if (answer.mode == Answer::ReplyAndClose)
            return;
    }
}
