#include "LogoFetcher.h"

#include "BackgroundWork.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QImage>
#include <QImageReader>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPixmap>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace {

// A picture of more pixels than this is not a logo; decoding it could take
// hundreds of megabytes from a file of a few hundred kilobytes.
constexpr qint64 kMaxPixels = 16 * 1024 * 1024;
constexpr int kTransferTimeoutMs = 20000;
constexpr int kMaxIconsInMemory = 4096;

QImage decodeLogo(const QByteArray &bytes, const QSize &sizeIcon)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return QImage();
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > kMaxPixels)
        return QImage();
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return QImage();
    return image.scaled(sizeIcon, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

// The disk cache as the decoding jobs see it: its folder, its bound and what
// it holds as far as is known, guarded for the jobs of several threads.
struct LogoFetcher::DiskState
{
    QMutex mutex;
    QString strDir;
    qint64 nLimit = kDefaultCacheBytes;
    qint64 nKnownBytes = -1; // not counted yet

    // Stores a logo and keeps the folder within its bound, oldest files first.
    void store(const QString &strPath, const QImage &image)
    {
        QMutexLocker locker(&mutex);
        if (!QDir().mkpath(strDir))
            return;
        QSaveFile file(strPath);
        if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
            qDebug() << "logo not cached:" << strPath << file.errorString();
            return;
        }
        if (nKnownBytes < 0)
            nKnownBytes = folderBytes();
        else
            nKnownBytes += QFileInfo(strPath).size();
        if (nKnownBytes > nLimit)
            trim();
    }

    qint64 folderBytes() const
    {
        qint64 nTotal = 0;
        for (const QFileInfo &info : QDir(strDir).entryInfoList(QDir::Files))
            nTotal += info.size();
        return nTotal;
    }

    void trim()
    {
        // Down to three quarters, so that the next logos do not trim again.
        const qint64 nTarget = nLimit / 4 * 3;
        const QFileInfoList lstFiles =
            QDir(strDir).entryInfoList(QDir::Files, QDir::Time | QDir::Reversed);
        qint64 nTotal = 0;
        for (const QFileInfo &info : lstFiles)
            nTotal += info.size();
        for (const QFileInfo &info : lstFiles) {
            if (nTotal <= nTarget)
                break;
            if (QFile::remove(info.filePath()))
                nTotal -= info.size();
        }
        nKnownBytes = nTotal;
    }
};

LogoFetcher::LogoFetcher(const QString &strCacheDir, QObject *parent)
    : QObject(parent), m_pDisk(std::make_shared<DiskState>())
{
    m_strCacheDir = strCacheDir;
    if (m_strCacheDir.isEmpty())
        m_strCacheDir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                        QStringLiteral("/logos");
    m_pDisk->strDir = m_strCacheDir;
    m_cacheIcons.setMaxCost(kMaxIconsInMemory);
}

LogoFetcher::~LogoFetcher() = default;

LogoFetcher *LogoFetcher::instance()
{
    static QPointer<LogoFetcher> s_pFetcher;
    if (!s_pFetcher)
        s_pFetcher = new LogoFetcher(QString(), QCoreApplication::instance());
    return s_pFetcher;
}

void LogoFetcher::setCacheLimit(qint64 nBytes)
{
    QMutexLocker locker(&m_pDisk->mutex);
    m_pDisk->nLimit = nBytes;
}

bool LogoFetcher::isFetchable(const QString &strUrl)
{
    const QUrl url(strUrl, QUrl::StrictMode);
    const QString strScheme = url.scheme().toLower();
    return url.isValid() &&
           (strScheme == QLatin1String("http") || strScheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

QString LogoFetcher::cachePath(const QString &strUrl) const
{
    const QByteArray hash = QCryptographicHash::hash(strUrl.toUtf8(), QCryptographicHash::Sha1);
    return m_strCacheDir + QLatin1Char('/') + QString::fromLatin1(hash.toHex()) +
           QStringLiteral("-%1.png").arg(m_sizeIcon.width());
}

LogoFetcher::State LogoFetcher::state(const QString &strUrl) const
{
    if (m_cacheIcons.contains(strUrl))
        return Ready;
    if (m_setRefused.contains(strUrl))
        return Refused;
    if (m_setFetching.contains(strUrl))
        return Fetching;
    return Unknown;
}

QIcon LogoFetcher::icon(const QString &strUrl)
{
    if (strUrl.isEmpty())
        return QIcon();
    if (const QIcon *pIcon = m_cacheIcons.object(strUrl))
        return *pIcon;
    if (m_setRefused.contains(strUrl) || m_setFetching.contains(strUrl))
        return QIcon();
    if (!isFetchable(strUrl)) {
        refuse(strUrl, "not an http or https address");
        return QIcon();
    }

    // A logo cached by an earlier run: a small file of our own making.
    const QString strPath = cachePath(strUrl);
    if (QFileInfo::exists(strPath)) {
        const QImage image(strPath);
        if (!image.isNull()) {
            auto *pIcon = new QIcon(QPixmap::fromImage(image));
            m_cacheIcons.insert(strUrl, pIcon);
            return *pIcon;
        }
        QFile::remove(strPath);
    }

    m_setFetching.insert(strUrl);
    m_lstQueue.append(strUrl);
    if (m_lstQueue.size() > kMaxQueued)
        m_setFetching.remove(m_lstQueue.takeFirst());
    // Not from inside the caller (a model's data()): the network starts later.
    QTimer::singleShot(0, this, &LogoFetcher::pump);
    return QIcon();
}

void LogoFetcher::pump()
{
    // The newest requests first: they are the rows on screen now.
    while (m_nInFlight < kMaxParallel && !m_lstQueue.isEmpty())
        start(m_lstQueue.takeLast());
}

void LogoFetcher::start(const QString &strUrl)
{
    if (!m_pNetwork)
        m_pNetwork = new QNetworkAccessManager(this);
    QNetworkRequest request{QUrl(strUrl, QUrl::StrictMode)};
    // Redirects only ever to http or https, and never from https to http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(3);
    request.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply *pReply = m_pNetwork->get(request);
    ++m_nInFlight;

    const auto tooBig = [pReply] {
        pReply->setProperty("mirelTooBig", true);
        pReply->abort();
    };
    connect(pReply, &QNetworkReply::metaDataChanged, this, [pReply, tooBig] {
        if (pReply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxBytes)
            tooBig();
    });
    connect(pReply, &QNetworkReply::downloadProgress, this,
            [tooBig](qint64 nReceived, qint64 nTotal) {
                if (nReceived > kMaxBytes || nTotal > kMaxBytes)
                    tooBig();
            });
    connect(pReply, &QNetworkReply::finished, this,
            [this, pReply, strUrl] { onReplyFinished(pReply, strUrl); });
}

void LogoFetcher::onReplyFinished(QNetworkReply *pReply, const QString &strUrl)
{
    pReply->deleteLater();
    --m_nInFlight;
    QTimer::singleShot(0, this, &LogoFetcher::pump);

    if (pReply->property("mirelTooBig").toBool()) {
        refuse(strUrl, "larger than 512 KiB");
        return;
    }
    if (pReply->error() != QNetworkReply::NoError) {
        qDebug() << "logo" << strUrl << "not fetched:" << pReply->errorString();
        refuse(strUrl, "not fetched");
        return;
    }
    const QByteArray bytes = pReply->readAll();
    if (bytes.size() > kMaxBytes) {
        refuse(strUrl, "larger than 512 KiB");
        return;
    }

    // Decoding a picture can take a while: not on the GUI thread.
    const QSize sizeIcon = m_sizeIcon;
    const QString strPath = cachePath(strUrl);
    const std::shared_ptr<DiskState> pDisk = m_pDisk;
    auto *pWatcher = new QFutureWatcher<QImage>(this);
    connect(pWatcher, &QFutureWatcher<QImage>::finished, this, [this, pWatcher, strUrl] {
        pWatcher->deleteLater();
        finish(strUrl, pWatcher->result());
    });
    pWatcher->setFuture(BackgroundWork::run([bytes, sizeIcon, strPath, pDisk] {
        const QImage image = decodeLogo(bytes, sizeIcon);
        if (!image.isNull())
            pDisk->store(strPath, image);
        return image;
    }));
}

void LogoFetcher::finish(const QString &strUrl, const QImage &image)
{
    if (image.isNull()) {
        refuse(strUrl, "not a picture Qt can read");
        return;
    }
    m_setFetching.remove(strUrl);
    m_cacheIcons.insert(strUrl, new QIcon(QPixmap::fromImage(image)));
    emit logoReady(strUrl);
}

void LogoFetcher::refuse(const QString &strUrl, const char *szWhy)
{
    qDebug() << "logo refused:" << strUrl.left(200) << szWhy;
    m_setFetching.remove(strUrl);
    m_setRefused.insert(strUrl);
    emit logoRefused(strUrl);
}
