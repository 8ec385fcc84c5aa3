#include "GuideReader.h"

#include "GuideByteStream.h"
#include "GuideSources.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace GuideReader {

namespace {

constexpr qint64 kReadBytes = 256 * 1024;

bool cancelled(const std::atomic<bool> *pCancel)
{
    return pCancel && pCancel->load();
}

XmltvParser::Result failed(const QString &strError)
{
    XmltvParser::Result result;
    result.strError = strError;
    return result;
}

// Reads the file into the stream; an error text, empty when it went well.
QString readFile(const QString &strPath, GuideByteStream &stream, const Limits &limits,
                 const std::atomic<bool> *pCancel)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot open %1: %2").arg(strPath, file.errorString());
    if (file.size() > limits.nMaxFileBytes)
        return QStringLiteral("the file is larger than %1 MiB").arg(limits.nMaxFileBytes >> 20);
    QByteArray buffer(int(kReadBytes), Qt::Uninitialized);
    for (;;) {
        if (cancelled(pCancel))
            return QStringLiteral("cancelled");
        const qint64 nRead = file.read(buffer.data(), buffer.size());
        if (nRead < 0)
            return QStringLiteral("cannot read %1: %2").arg(strPath, file.errorString());
        if (nRead == 0)
            return QString();
        if (!stream.write(buffer.constData(), nRead))
            return stream.error();
    }
}

QString download(const QUrl &url, GuideByteStream &stream, const Limits &limits,
                 const std::atomic<bool> *pCancel)
{
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", "Mirel Player/" MIREL_VERSION);
    request.setRawHeader("Accept-Encoding", "identity");
    request.setTransferTimeout(limits.nTransferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(limits.nMaxRedirects);
    QNetworkReply *pReply = network.get(request);
    // The network stack reads ahead no further than this while the parser
    // works: the download never piles up in memory.
    pReply->setReadBufferSize(1024 * 1024);

    QString strError;
    qint64 nReceived = 0;
    bool bChecked = false;
    auto stop = [&](const QString &strWhy) {
        if (strError.isEmpty())
            strError = strWhy;
        pReply->abort();
    };
    auto take = [&] {
        if (!strError.isEmpty())
            return;
        if (!bChecked) {
            const QVariant status = pReply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (!status.isValid())
                return; // a redirect still being followed
            bChecked = true;
            if (status.toInt() < 200 || status.toInt() > 299)
                return stop(QStringLiteral("HTTP status %1").arg(status.toInt()));
            const QVariant length = pReply->header(QNetworkRequest::ContentLengthHeader);
            if (length.isValid() && length.toLongLong() > limits.nMaxFileBytes)
                return stop(QStringLiteral("the download is larger than %1 MiB")
                                .arg(limits.nMaxFileBytes >> 20));
        }
        while (pReply->bytesAvailable() > 0) {
            const QByteArray piece = pReply->read(kReadBytes);
            nReceived += piece.size();
            if (nReceived > limits.nMaxFileBytes)
                return stop(QStringLiteral("the download is larger than %1 MiB")
                                .arg(limits.nMaxFileBytes >> 20));
            if (!stream.write(piece))
                return stop(stream.error());
            if (cancelled(pCancel))
                return stop(QStringLiteral("cancelled"));
        }
    };

    QEventLoop loop;
    QObject::connect(pReply, &QNetworkReply::readyRead, &loop, take);
    QObject::connect(pReply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer cancelCheck;
    QObject::connect(&cancelCheck, &QTimer::timeout, &loop, [&] {
        if (cancelled(pCancel))
            stop(QStringLiteral("cancelled"));
    });
    cancelCheck.start(100);
    if (!pReply->isFinished())
        loop.exec();
    take();
    if (strError.isEmpty() && pReply->error() != QNetworkReply::NoError)
        strError = QStringLiteral("download failed: %1").arg(pReply->errorString());
    if (strError.isEmpty() && !bChecked)
        strError = QStringLiteral("no HTTP reply");
    delete pReply;
    return strError;
}

} // namespace

XmltvParser::Result read(const QString &strAddress, const GuideWanted &wanted, qint64 nFrom,
                         qint64 nTo, const std::atomic<bool> *pCancel, const Limits &limits)
{
    const QString strKept = GuideSources::normalised(strAddress);
    if (strKept.isEmpty())
        return failed(QStringLiteral("not a guide address: %1").arg(strAddress));
    XmltvParser parser(wanted, nFrom, nTo);
    GuideByteStream stream(limits.nMaxXmlBytes,
                           [&parser](const QByteArray &xml) { return parser.addData(xml); });
    const QString strError = GuideSources::isRemote(strKept)
                                 ? download(QUrl(strKept), stream, limits, pCancel)
                                 : readFile(strKept, stream, limits, pCancel);
    if (parser.hasError()) // it stopped the stream: the parser says why
        return parser.finish();
    if (!strError.isEmpty())
        return failed(strError);
    if (!stream.close())
        return failed(stream.error());
    return parser.finish();
}

} // namespace GuideReader
