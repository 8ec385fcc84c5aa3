#pragma once

#include <QCache>
#include <QHash>
#include <QIcon>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// Channel logos named by playlists (tvg-logo), fetched in the background and
// kept on disk. A logo URL is remote text: only http and https are fetched, at
// most kMaxParallel at a time and kMaxBytes each; what arrives is decoded by
// Qt's image readers (off the GUI thread), scaled to the list's icon size and
// cached under the user's cache directory, whose total is kept within a
// bound. Whatever is missing, broken or refused simply has no icon here, and
// the list keeps its built-in picture.
//
// icon() is cheap and made to be called from a model's data(): it answers
// from memory or from the disk cache, and otherwise asks for the logo and
// returns a null icon; logoReady() tells when it is there.
class LogoFetcher : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxParallel = 4;
    static constexpr qint64 kMaxBytes = 512 * 1024;
    static constexpr qint64 kDefaultCacheBytes = 16 * 1024 * 1024;
    // Requests not yet started; older ones (long scrolled away) are dropped.
    static constexpr int kMaxQueued = 256;

    enum State
    {
        Unknown,  // never asked for
        Fetching, // queued or on its way
        Ready,    // icon() has it
        Refused,  // not http(s), failed, too big or not a picture: never asked again
    };

    // strCacheDir empty: "logos" under QStandardPaths::CacheLocation.
    explicit LogoFetcher(const QString &strCacheDir = QString(), QObject *parent = nullptr);
    ~LogoFetcher() override;

    // The one fetcher of the program, made on first use (GUI thread only).
    static LogoFetcher *instance();

    void setIconSize(const QSize &size) { m_sizeIcon = size; }
    QSize iconSize() const { return m_sizeIcon; }
    // The bound of the disk cache's total, in bytes.
    void setCacheLimit(qint64 nBytes);
    QString cacheDir() const { return m_strCacheDir; }

    // The logo of strUrl when it is there; otherwise a null icon, and the
    // logo is asked for (unless it was refused before).
    QIcon icon(const QString &strUrl);
    State state(const QString &strUrl) const;

    // Whether a URL may be fetched at all: http or https with a host.
    static bool isFetchable(const QString &strUrl);

signals:
    void logoReady(const QString &strUrl);
    void logoRefused(const QString &strUrl);

private:
    void pump();
    void start(const QString &strUrl);
    void onReplyFinished(QNetworkReply *pReply, const QString &strUrl);
    void finish(const QString &strUrl, const QImage &image);
    void refuse(const QString &strUrl, const char *szWhy);
    QString cachePath(const QString &strUrl) const;

    QString m_strCacheDir;
    QSize m_sizeIcon{32, 32};
    QNetworkAccessManager *m_pNetwork = nullptr;
    QCache<QString, QIcon> m_cacheIcons;
    QSet<QString> m_setRefused;
    QSet<QString> m_setFetching; // queued or in flight
    QStringList m_lstQueue;      // newest last
    int m_nInFlight = 0;
    // Shared with the decoding jobs, which may outlive this object.
    struct DiskState;
    std::shared_ptr<DiskState> m_pDisk;
};
