#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// The bytes of a guide as they arrive, plain or gzip-compressed (told by the
// first two bytes), handed on as XML in pieces of at most 256 KiB: a guide is
// never held whole, compressed or not. Compression is undone by zlib, one
// member after another. More XML than the bound is an error, whatever the
// compressed size was (a few kilobytes can inflate to gigabytes).
class GuideByteStream
{
public:
    // Gets the XML in order; returning false stops the stream (error()
    // then is "stopped").
    using Sink = std::function<bool(const QByteArray &)>;

    GuideByteStream(qint64 nMaxXmlBytes, Sink sink);
    ~GuideByteStream();
    GuideByteStream(const GuideByteStream &) = delete;
    GuideByteStream &operator=(const GuideByteStream &) = delete;

    // False once anything went wrong; what comes after is ignored.
    bool write(const char *pData, qint64 nSize);
    bool write(const QByteArray &data) { return write(data.constData(), data.size()); }
    // The end of the input: false when it ends inside a compressed member.
    bool close();

    QString error() const { return m_strError; }
    qint64 xmlBytes() const { return m_nXmlBytes; }
    bool isCompressed() const { return m_eKind == Kind::Gzip; }

private:
    enum class Kind
    {
        Unknown,
        Plain,
        Gzip
    };
    struct Zlib;

    bool start();
    bool pass(const char *pData, qint64 nSize);
    bool inflate(const char *pData, qint64 nSize);
    bool fail(const QString &strError);

    const qint64 m_nMaxXmlBytes;
    Sink m_sink;
    Kind m_eKind = Kind::Unknown;
    QByteArray m_head; // the first bytes, until the kind is known
    std::unique_ptr<Zlib> m_pZlib;
    bool m_bMemberEnded = false; // the last compressed member is complete
    qint64 m_nXmlBytes = 0;
    QString m_strError;
};
