#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

// A tiny HTTP/1.1 server on 127.0.0.1 (free port) for the web client's tests
// and benchmark: it records every request exactly as it arrived and answers
// with bytes that the test scripts, or holds the request unanswered.
class ScriptedHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QByteArray target;                            // as on the request line: path and query
        QList<QPair<QByteArray, QByteArray>> headers; // in order, names as sent
        QByteArray body;
        QByteArray raw; // head and body, byte for byte

        QByteArray path() const;
        // Every value of the header (case-insensitive name).
        QList<QByteArray> headerValues(const QByteArray &name) const;
        QByteArray header(const QByteArray &name) const { return headerValues(name).value(0); }
    };

    struct Answer
    {
        enum Mode
        {
            Reply,         // write the bytes, keep the connection
            ReplyAndClose, // write the bytes, then close the connection
            Hold,          // answer later through answer(), or never
        };
        Mode mode = Reply;
        QByteArray bytes;
    };
    using Script = std::function<Answer(const Request &)>;

    explicit ScriptedHttpServer(QObject *parent = nullptr);
    ~ScriptedHttpServer() override;

    // On 127.0.0.1, at nPort or (0) a free port.
    bool listen(quint16 nPort = 0);
    quint16 port() const { return m_server.serverPort(); }
    QUrl url() const;

    void setScript(Script script) { m_script = std::move(script); }
    // Answers the request with this index (in requests()) that was held.
    void answer(int nRequest, const QByteArray &bytes, bool bClose = false);

    const QList<Request> &requests() const { return m_lstRequests; }
    QList<Request> requestsTo(const QByteArray &path) const;
    void clearRequests()
    {
        m_lstRequests.clear();
        m_lstSockets.clear();
    }
    // Stops recording requests (keeps answering); saves memory in long runs.
    void setRecording(bool bRecording) { m_bRecording = bRecording; }
    int requestCount() const { return m_nCount; }

    // A complete response with status 200 (or nStatus), Content-Length and
    // this body.
    static QByteArray http(const QByteArray &body, int nStatus = 200,
                           const QByteArray &contentType = "application/json");

signals:
    void requestReceived();

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *pSocket);

    QTcpServer m_server;
    Script m_script;
    QHash<QTcpSocket *, QByteArray> m_mapBuffers;
    QList<Request> m_lstRequests;
    QList<QPointer<QTcpSocket>> m_lstSockets; // the socket of each recorded request
    bool m_bRecording = true;
    int m_nCount = 0;
};
