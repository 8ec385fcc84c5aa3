#include "httpfileserver.h"
#include "qvlc/qvlcmutexlocker.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

class HttpFileServerCore : public QTcpServer
{
public:
    explicit HttpFileServerCore(HttpFileServer *owner) : m_owner(owner) {}
    // The thread's last work (deferred delete as it ends). The owner takes the
    // same lock once wait() has returned, so what the thread did comes before
    // what the owner then frees, as ThreadSanitizer sees it: the end of a
    // QThread that finished before wait() was called is hidden in Qt.
    ~HttpFileServerCore() override { QVlcMutexLocker locker(&m_owner->m_mutex); }

protected:
    void incomingConnection(qintptr handle) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
            return;
        }
        m_owner->m_nConnections.fetchAndAddOrdered(1);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    void onReadyRead(QTcpSocket *socket)
    {
        QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
        for (;;) {
            const int end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                break;
            const QByteArray head = buffer.left(end);
            buffer.remove(0, end + 4);
            if (!answer(socket, head))
                break;
        }
        socket->setProperty("buffer", buffer);
    }

    static QByteArray contentType(const QString &name)
    {
        const QString suffix = QFileInfo(name).suffix().toLower();
        if (suffix == "ts")
            return "video/mp2t";
        if (suffix == "mp4")
            return "video/mp4";
        if (suffix == "mkv")
            return "video/x-matroska";
        if (suffix == "m3u8")
            return "application/vnd.apple.mpegurl";
        if (suffix == "srt" || suffix == "txt")
            return "text/plain";
        return "application/octet-stream";
    }

    // Returns false when the connection is done with.
    bool answer(QTcpSocket *socket, const QByteArray &head)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QString requestLine = QString::fromLatin1(lines.value(0)).trimmed();
        m_owner->recordRequest(requestLine, head);

        const HttpFileServer::Mode mode = m_owner->mode();
        if (mode == HttpFileServer::NeverAnswer)
            return false;

        const QStringList parts = requestLine.split(' ');
        const QString method = parts.value(0);
        const QString target =
            QUrl::fromPercentEncoding(parts.value(1).section('?', 0, 0).toLatin1());
        const QString fileName = QFileInfo(target).fileName();
        QFile file(m_owner->m_strRoot + '/' + fileName);
        if (mode == HttpFileServer::NotFound || fileName.isEmpty() ||
            !file.open(QIODevice::ReadOnly)) {
            const QByteArray body = "Not Found\n";
            socket->write("HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\n"
                          "Content-Length: " +
                          QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
                          (method == "HEAD" ? QByteArray() : body));
            socket->disconnectFromHost();
            return false;
        }

        const qint64 size = file.size();
        qint64 first = 0, last = size - 1;
        bool bRange = false;
        static const QRegularExpression rangeRe(QStringLiteral("^range:\\s*bytes=(\\d*)-(\\d*)"),
                                                QRegularExpression::CaseInsensitiveOption);
        for (const QByteArray &line : lines) {
            const QRegularExpressionMatch m = rangeRe.match(QString::fromLatin1(line).trimmed());
            if (m.hasMatch() && !m.captured(1).isEmpty()) {
                bRange = true;
                first = m.captured(1).toLongLong();
                if (!m.captured(2).isEmpty())
                    last = qMin(size - 1, m.captured(2).toLongLong());
            }
        }
        if (bRange && first >= size) {
            socket->write("HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" +
                          QByteArray::number(size) +
                          "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
            return false;
        }
        QByteArray header = bRange ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
        header += "Content-Type: " + contentType(fileName) + "\r\n";
        header += "Content-Length: " + QByteArray::number(last - first + 1) + "\r\n";
        header += "Accept-Ranges: bytes\r\n";
        if (bRange)
            header += "Content-Range: bytes " + QByteArray::number(first) + '-' +
                      QByteArray::number(last) + '/' + QByteArray::number(size) + "\r\n";
        header += "Connection: close\r\n\r\n";
        socket->write(header);
        if (method != "HEAD") {
            file.seek(first);
            socket->write(file.read(last - first + 1));
        }
        socket->disconnectFromHost();
        return false;
    }

    HttpFileServer *m_owner;
};

HttpFileServer::HttpFileServer(const QString &rootDir, QObject *parent)
    : QObject(parent), m_strRoot(rootDir)
{
    m_thread.setObjectName(QStringLiteral("HttpFileServer"));
}

HttpFileServer::~HttpFileServer()
{
    // The core goes with the thread's end (connected in start()).
    m_thread.quit();
    m_thread.wait();
    QVlcMutexLocker locker(&m_mutex);
}

bool HttpFileServer::start()
{
    if (m_core)
        return true;
    // Listen here, then hand the server to its thread: everything set up so
    // far is visible to the thread once it starts.
    m_core = new HttpFileServerCore(this);
    if (!m_core->listen(QHostAddress::LocalHost, 0)) {
        delete m_core;
        m_core = nullptr;
        return false;
    }
    m_nPort = m_core->serverPort();
    m_core->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_core, &QObject::deleteLater);
    m_thread.start();
    return true;
}

QUrl HttpFileServer::url(const QString &name) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(m_nPort).arg(name));
}

QStringList HttpFileServer::requests() const
{
    QVlcMutexLocker locker(&m_mutex);
    return m_lstRequests;
}

QList<QByteArray> HttpFileServer::requestHeads() const
{
    QVlcMutexLocker locker(&m_mutex);
    return m_lstHeads;
}

void HttpFileServer::recordRequest(const QString &line, const QByteArray &head)
{
    QVlcMutexLocker locker(&m_mutex);
    m_lstRequests.append(line);
    m_lstHeads.append(head);
}

quint16 HttpFileServer::refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
