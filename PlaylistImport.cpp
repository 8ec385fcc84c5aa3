#include "PlaylistImport.h"

#include "guide/GuideSources.h"

#include "BackgroundWork.h"
#include "LogoFetcher.h"
#include "M3uParser.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>

namespace {

constexpr int kTransferTimeoutMs = 30000;

// "scheme://...": how a URL line of a playlist without #EXTINF looks.
bool hasScheme(const QString &strUrl)
{
    const int nColon = strUrl.indexOf(QLatin1String("://"));
    if (nColon <= 0 || !strUrl.at(0).isLetter())
        return false;
    for (int i = 1; i < nColon; ++i) {
        const QChar ch = strUrl.at(i);
        if (!(ch.isLetterOrNumber() || ch == QLatin1Char('+') || ch == QLatin1Char('-') ||
              ch == QLatin1Char('.')))
            return false;
    }
    return true;
}

// A playlist is text: NUL bytes near the start mean a picture, an archive...
bool looksLikeText(const QByteArray &data)
{
    return !data.left(64 * 1024).contains('\0');
}

// Whether what was parsed is a playlist at all: it says so (#EXTM3U or
// #EXTINF), or every line that is not a comment is a URL.
bool isPlaylist(const M3uResult &parsed)
{
    if (parsed.bHeader)
        return true;
    for (const M3uChannel &channel : parsed.lstChannels) {
        if (channel.bExtInf)
            return true;
    }
    for (const M3uChannel &channel : parsed.lstChannels) {
        if (!hasScheme(channel.strUrl))
            return false;
    }
    return !parsed.lstChannels.isEmpty();
}

// A category being filled: the URLs it holds (what it had, then what it got).
struct Filling
{
    QString strName;
    int nTarget = -1;
    QSet<QString> setUrls;
    QVector<VideoItem> vecRecords;
};

} // namespace

PlaylistImport::PlaylistImport(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<PlaylistImport::Result>();
    connect(&m_watch, &QFutureWatcher<Result>::finished, this, [this] {
        if (m_pCancel && m_pCancel->load())
            return;
        finish(m_watch.result());
    });
}

PlaylistImport::~PlaylistImport()
{
    cancel();
    m_watch.waitForFinished();
}

QString PlaylistImport::categoryForFile(const QString &strPath)
{
    const QFileInfo info(strPath);
    const QString strName = info.completeBaseName().trimmed();
    return strName.isEmpty() ? info.fileName() : strName;
}

QString PlaylistImport::categoryForUrl(const QUrl &url)
{
    return url.host().isEmpty() ? url.toString() : url.host();
}

PlaylistImport::Result PlaylistImport::sort(const QByteArray &data, const QString &strSource,
                                            const QString &strSourceCategory,
                                            const QVector<Target> &targets,
                                            const std::atomic<bool> *pCancel,
                                            const std::function<void(int)> &progress)
{
    Result result;
    const auto cancelled = [&] {
        result.bCancelled = pCancel && pCancel->load();
        return result.bCancelled;
    };
    const auto tell = [&](int nPercent) {
        if (progress)
            progress(nPercent);
    };
    if (!looksLikeText(data)) {
        result.strError = tr("\"%1\" is not an M3U playlist.").arg(strSource);
        return result;
    }
    const M3uResult parsed = parseM3u(data, pCancel);
    if (cancelled())
        return result;
    for (const QString &strValue : parsed.lstGuideUrls) {
        for (const QString &strAddress : GuideSources::fromHeaderValue(strValue)) {
            if (!result.lstGuideAddresses.contains(strAddress) &&
                result.lstGuideAddresses.size() < GuideSources::kMaxHeaderAddresses)
                result.lstGuideAddresses << strAddress;
        }
    }
    tell(40);
    if (parsed.lstChannels.isEmpty()) {
        if (parsed.bHeader || data.trimmed().isEmpty())
            result.strError = tr("\"%1\" holds no channels.").arg(strSource);
        else
            result.strError = tr("\"%1\" is not an M3U playlist.").arg(strSource);
        return result;
    }
    if (!isPlaylist(parsed)) {
        result.strError = tr("\"%1\" is not an M3U playlist.").arg(strSource);
        return result;
    }
    if (parsed.nDroppedEntries || parsed.nLongLines)
        qDebug() << strSource.left(300) << ":" << parsed.nDroppedEntries
                 << "entries without URL dropped," << parsed.nLongLines
                 << "over-long lines skipped";

    // The first category of each name is the one a group of that name fills.
    QHash<QString, int> mapTargets;
    for (int i = targets.size() - 1; i >= 0; --i)
        mapTargets.insert(targets.at(i).strName, i);

    QVector<Filling> vecFilling;
    QHash<QString, int> mapFilling; // a group's name to its category being filled
    int nNewCategories = 0;
    const auto addFilling = [&](const QString &strName) {
        Filling filling;
        filling.strName = strName;
        filling.nTarget = mapTargets.value(strName, -1);
        if (filling.nTarget >= 0) {
            for (const ChannelListModel::Row &row : targets.at(filling.nTarget).vecRows)
                filling.setUrls.insert(row.rec.strUrl);
        } else {
            ++nNewCategories;
        }
        mapFilling.insert(strName, vecFilling.size());
        vecFilling.append(filling);
        return vecFilling.size() - 1;
    };
    const auto fillingFor = [&](const QString &strGroup) {
        const auto it = mapFilling.constFind(strGroup);
        if (it != mapFilling.constEnd())
            return *it;
        if (!mapTargets.contains(strGroup) && nNewCategories >= kMaxNewCategories &&
            strGroup != strSourceCategory) {
            // Too many groups: the rest go with the entries without one.
            const int nSource = mapFilling.contains(strSourceCategory)
                                    ? mapFilling.value(strSourceCategory)
                                    : addFilling(strSourceCategory);
            mapFilling.insert(strGroup, nSource);
            return nSource;
        }
        return addFilling(strGroup);
    };

    result.nEntries = parsed.lstChannels.size();
    for (int i = 0; i < parsed.lstChannels.size(); ++i) {
        if (i % 8192 == 0) {
            if (cancelled())
                return result;
            tell(40 + int(qint64(40) * i / parsed.lstChannels.size()));
        }
        const M3uChannel &channel = parsed.lstChannels.at(i);
        Filling &filling = vecFilling[fillingFor(channel.strGroup.isEmpty() ? strSourceCategory
                                                                            : channel.strGroup)];
        if (filling.setUrls.contains(channel.strUrl)) {
            ++result.nDuplicates;
            continue;
        }
        filling.setUrls.insert(channel.strUrl);

        VideoItem rec;
        rec.strName = channel.strName;
        rec.strUrl = channel.strUrl;
        if (!channel.strCountry.isEmpty())
            rec.strRegion = channel.strRegion;
        rec.origin = ChannelOrigin::Playlist;
        // Only a logo that could ever be fetched is worth keeping.
        if (channel.strLogo.size() <= kMaxLogoLength && LogoFetcher::isFetchable(channel.strLogo))
            rec.strLogo = channel.strLogo;
        if (channel.strTvgId.size() <= kMaxTvgIdLength)
            rec.strTvgId = channel.strTvgId;
        int nRefused = 0;
        rec.options = StreamOptions{channel.strUserAgent, channel.strReferrer}.checked(&nRefused);
        result.nRefusedOptions += nRefused;
        filling.vecRecords.append(rec);
    }
    if (result.nRefusedOptions)
        qDebug() << strSource.left(300) << ":" << result.nRefusedOptions
                 << "user agents or referrers left out (too long or with control characters)";

    // The rows, with their search keys and stored forms, made here too.
    for (Filling &filling : vecFilling) {
        if (cancelled())
            return result;
        if (filling.vecRecords.isEmpty())
            continue;
        Category category;
        category.strName = filling.strName;
        category.nTarget = filling.nTarget;
        const int nMadeAt = filling.nTarget >= 0 ? targets.at(filling.nTarget).vecRows.size() : 0;
        category.rows = ChannelListModel::rowsFromRecords(filling.vecRecords, nMadeAt);
        result.nAdded += filling.vecRecords.size();
        filling = Filling();
        result.vecCategories.append(std::move(category));
        tell(80 + 20 * result.nAdded / qMax(1, result.nEntries - result.nDuplicates));
    }
    return result;
}

void PlaylistImport::importFile(const QString &strPath, QVector<Target> targets)
{
    cancel();
    m_pCancel = std::make_shared<std::atomic<bool>>(false);
    m_bRunning = true;
    m_nLastPercent = -1;
    const std::shared_ptr<std::atomic<bool>> pCancel = m_pCancel;
    startSorting([strPath, targets = std::move(targets), pCancel](const auto &progress) {
        const QString strShown = QDir::toNativeSeparators(strPath);
        Result result;
        QFile file(strPath);
        if (!file.open(QIODevice::ReadOnly) || QFileInfo(strPath).isDir()) {
            result.strError = tr("The file \"%1\" cannot be read: %2")
                                  .arg(strShown, QFileInfo(strPath).isDir() ? tr("it is a folder")
                                                                            : file.errorString());
            return result;
        }
        if (file.size() > kMaxBytes) {
            result.strError =
                tr("The file \"%1\" is larger than %2 MiB.").arg(strShown).arg(kMaxBytes >> 20);
            return result;
        }
        const QByteArray data = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            result.strError =
                tr("The file \"%1\" cannot be read: %2").arg(strShown, file.errorString());
            return result;
        }
        return sort(data, strShown, categoryForFile(strPath), targets, pCancel.get(), progress);
    });
}

void PlaylistImport::importUrl(const QUrl &url, QVector<Target> targets)
{
    cancel();
    m_pCancel = std::make_shared<std::atomic<bool>>(false);
    m_bRunning = true;
    m_nLastPercent = -1;
    m_url = url;
    m_targets = std::move(targets);
    const QString strScheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (strScheme != QLatin1String("http") && strScheme != QLatin1String("https"))) {
        Result result;
        result.strError = tr("Only http and https addresses can be imported.");
        // Told after the caller has set up what shows it.
        QMetaObject::invokeMethod(
            this,
            [this, result, pCancel = m_pCancel] {
                if (!pCancel->load())
                    finish(result);
            },
            Qt::QueuedConnection);
        return;
    }
    if (!m_pNetwork)
        m_pNetwork = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setTransferTimeout(kTransferTimeoutMs);
    m_pReply = m_pNetwork->get(request);
    QNetworkReply *pReply = m_pReply;
    connect(pReply, &QNetworkReply::downloadProgress, this,
            [this, pReply](qint64 nReceived, qint64 nTotal) {
                if (nReceived > kMaxBytes || nTotal > kMaxBytes) {
                    pReply->setProperty("mirelTooBig", true);
                    pReply->abort();
                    return;
                }
                // Downloading is the first 30 percent, as far as the size is told.
                if (nTotal > 0)
                    reportProgress(int(30 * nReceived / nTotal));
            });
    connect(pReply, &QNetworkReply::finished, this, &PlaylistImport::onDownloadFinished);
}

void PlaylistImport::onDownloadFinished()
{
    auto *pReply = qobject_cast<QNetworkReply *>(sender());
    if (!pReply)
        return;
    pReply->deleteLater();
    if (pReply != m_pReply || !m_pCancel || m_pCancel->load())
        return;
    m_pReply = nullptr;
    const QString strShown = m_url.toDisplayString();
    Result result;
    if (pReply->property("mirelTooBig").toBool()) {
        result.strError =
            tr("The playlist at \"%1\" is larger than %2 MiB.").arg(strShown).arg(kMaxBytes >> 20);
    } else if (pReply->error() != QNetworkReply::NoError) {
        result.strError = tr("The playlist at \"%1\" cannot be downloaded: %2")
                              .arg(strShown, pReply->errorString());
    }
    if (!result.strError.isEmpty()) {
        finish(result);
        return;
    }
    const QByteArray data = pReply->readAll();
    const QString strCategory = categoryForUrl(pReply->url());
    const std::shared_ptr<std::atomic<bool>> pCancel = m_pCancel;
    startSorting([data, strShown, strCategory, targets = std::move(m_targets),
                  pCancel](const auto &progress) {
        return sort(data, strShown, strCategory, targets, pCancel.get(),
                    [&progress](int nPercent) { progress(30 + nPercent * 70 / 100); });
    });
}

void PlaylistImport::startSorting(std::function<Result(const std::function<void(int)> &)> work)
{
    const std::shared_ptr<std::atomic<bool>> pCancel = m_pCancel;
    // Progress reaches this object queued, and only while the import is the
    // one that runs.
    const std::function<void(int)> progress = [this, pCancel](int nPercent) {
        QMetaObject::invokeMethod(
            this,
            [this, pCancel, nPercent] {
                if (!pCancel->load())
                    reportProgress(nPercent);
            },
            Qt::QueuedConnection);
    };
    m_watch.setFuture(
        BackgroundWork::run([work = std::move(work), progress] { return work(progress); }));
}

void PlaylistImport::reportProgress(int nPercent)
{
    if (nPercent == m_nLastPercent)
        return;
    m_nLastPercent = nPercent;
    emit progress(nPercent);
}

void PlaylistImport::cancel()
{
    if (m_pCancel)
        m_pCancel->store(true);
    if (m_pReply) {
        QNetworkReply *pReply = m_pReply;
        m_pReply = nullptr;
        pReply->abort();
    }
    m_targets.clear();
    m_bRunning = false;
}

void PlaylistImport::finish(const Result &result)
{
    m_bRunning = false;
    if (!result.strError.isEmpty())
        qDebug() << "import failed:" << result.strError;
    else
        qDebug() << "imported" << result.nAdded << "of" << result.nEntries << "channels,"
                 << result.nDuplicates << "held already";
    emit finished(result);
}
