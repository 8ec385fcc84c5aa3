#include "GuideByteStream.h"

#include <zlib.h>

namespace {
constexpr int kPieceBytes = 256 * 1024;
} // namespace

struct GuideByteStream::Zlib
{
    z_stream stream{};
    QByteArray out{kPieceBytes, Qt::Uninitialized};
    bool bOpen = false;
    ~Zlib()
    {
        if (bOpen)
            inflateEnd(&stream);
    }
};

GuideByteStream::GuideByteStream(qint64 nMaxXmlBytes, Sink sink)
    : m_nMaxXmlBytes(nMaxXmlBytes), m_sink(std::move(sink))
{
}

GuideByteStream::~GuideByteStream() = default;

bool GuideByteStream::fail(const QString &strError)
{
    if (m_strError.isEmpty())
        m_strError = strError;
    return false;
}

bool GuideByteStream::write(const char *pData, qint64 nSize)
{
    if (!m_strError.isEmpty())
        return false;
    if (m_eKind == Kind::Unknown) {
        m_head.append(pData, int(nSize));
        if (m_head.size() < 2)
            return true;
        if (!start())
            return false;
        const QByteArray head = m_head;
        m_head.clear();
        return write(head.constData(), head.size());
    }
    if (m_eKind == Kind::Plain)
        return pass(pData, nSize);
    return inflate(pData, nSize);
}

bool GuideByteStream::start()
{
    const bool bGzip = quint8(m_head.at(0)) == 0x1f && quint8(m_head.at(1)) == 0x8b;
    m_eKind = bGzip ? Kind::Gzip : Kind::Plain;
    if (!bGzip)
        return true;
    m_pZlib.reset(new Zlib);
    // 15 + 16: a gzip wrapper, the largest window.
    if (inflateInit2(&m_pZlib->stream, 15 + 16) != Z_OK)
        return fail(QStringLiteral("zlib could not start"));
    m_pZlib->bOpen = true;
    return true;
}

bool GuideByteStream::pass(const char *pData, qint64 nSize)
{
    if (nSize <= 0)
        return true;
    m_nXmlBytes += nSize;
    if (m_nXmlBytes > m_nMaxXmlBytes)
        return fail(QStringLiteral("the guide is larger than %1 MiB").arg(m_nMaxXmlBytes >> 20));
    for (qint64 nDone = 0; nDone < nSize; nDone += kPieceBytes) {
        const int nPiece = int(qMin<qint64>(kPieceBytes, nSize - nDone));
        if (!m_sink(QByteArray(pData + nDone, nPiece)))
            return fail(QStringLiteral("stopped"));
    }
    return true;
}

bool GuideByteStream::inflate(const char *pData, qint64 nSize)
{
    z_stream &stream = m_pZlib->stream;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(pData));
    stream.avail_in = uInt(nSize);
    for (;;) {
        if (m_bMemberEnded) {
            if (stream.avail_in == 0)
                break;
            // Another member follows (as "cat a.gz b.gz" makes).
            inflateReset(&stream);
            m_bMemberEnded = false;
        }
        stream.next_out = reinterpret_cast<Bytef *>(m_pZlib->out.data());
        stream.avail_out = uInt(m_pZlib->out.size());
        const int nResult = ::inflate(&stream, Z_NO_FLUSH);
        if (nResult != Z_OK && nResult != Z_STREAM_END && nResult != Z_BUF_ERROR)
            return fail(QStringLiteral("the compressed guide is damaged (zlib: %1)")
                            .arg(QString::fromLatin1(stream.msg ? stream.msg : "error")));
        const qint64 nProduced = m_pZlib->out.size() - qint64(stream.avail_out);
        if (!pass(m_pZlib->out.constData(), nProduced))
            return false;
        if (nResult == Z_STREAM_END) {
            m_bMemberEnded = true;
            continue;
        }
        // A full output buffer may leave more behind; otherwise zlib wants input.
        if (stream.avail_out != 0 || (nResult == Z_BUF_ERROR && nProduced == 0))
            break;
    }
    return true;
}

bool GuideByteStream::close()
{
    if (!m_strError.isEmpty())
        return false;
    if (m_eKind == Kind::Unknown) {
        // Fewer than two bytes: plain text, if anything.
        const QByteArray head = m_head;
        m_head.clear();
        m_eKind = Kind::Plain;
        return pass(head.constData(), head.size());
    }
    if (m_eKind == Kind::Gzip) {
        // Whatever zlib still holds comes out with the input that ends it;
        // a member that never reached its end is a truncated file.
        if (!m_bMemberEnded)
            return fail(QStringLiteral("the compressed guide ends early"));
    }
    return true;
}
