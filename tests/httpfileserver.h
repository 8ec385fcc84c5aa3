#pragma once

#include <QAtomicInt>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>

class HttpFileServerCore;

// A small HTTP/1.1 file server on 127.0.0.1 (a free port) for tests. It runs in
// a thread of its own, so it keeps serving while the test's thread is blocked
// (in a libVLC call, say). GET and HEAD, single byte ranges, Content-Type from
// the file name, Connection: close.
class HttpFileServer : public QObject
{
    Q_OBJECT

public:
    enum Mode
    {
        Serve,       // answer from the root folder (404 for a missing file)
        NotFound,    // answer every request with 404
        NeverAnswer, // accept, read, and never answer (connections stay open)
    };

    explicit HttpFileServer(const QString &rootDir, QObject *parent = nullptr);
    ~HttpFileServer() override;

    // Listens on 127.0.0.1 at a free port; false when it could not.
    bool start();
    quint16 port() const { return m_nPort; }
    // http://127.0.0.1:<port>/<name>
    QUrl url(const QString &name) const;

    void setMode(Mode mode) { m_nMode.storeRelease(mode); }
    Mode mode() const { return static_cast<Mode>(m_nMode.loadAcquire()); }

    // Connections accepted and request lines ("GET /clip.ts HTTP/1.1") read so far.
    int connectionCount() const { return m_nConnections.loadAcquire(); }
    QStringList requests() const;
    // The whole head of each request (request line and header lines), in order.
    QList<QByteArray> requestHeads() const;

    // A port on 127.0.0.1 where nothing listens (connections are refused).
    static quint16 refusedPort();

private:
    friend class HttpFileServerCore;
    void recordRequest(const QString &line, const QByteArray &head);

    QString m_strRoot;
    QThread m_thread;
    HttpFileServerCore *m_core = nullptr;
    quint16 m_nPort = 0;
    QAtomicInt m_nMode{Serve};
    QAtomicInt m_nConnections{0};
    mutable QMutex m_mutex;
    QStringList m_lstRequests;
    QList<QByteArray> m_lstHeads;
};
