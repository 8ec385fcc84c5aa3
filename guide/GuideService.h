#pragma once

#include "GuideCache.h"
#include "GuideReader.h"
#include "GuideStore.h"

#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

// The programme guide of the player: which addresses to read, when, and what
// they gave. Guides are read one at a time on a worker thread of the
// service's own at a lower priority, each through GuideReader into a
// GuideStore; what was read is kept in the cache (GuideCache), which is read
// back at start. A guide that fails leaves the one read before in place.
//
// A guide is read again 12 hours after it was last read (one that failed is
// tried again after an hour), and at start when it is older than that. It
// keeps the programmes from 2 hours back to 24 hours ahead of the time of
// reading, for the channels the user has (the channel source, asked on the
// GUI thread for a snapshot that is then turned into keys on the worker).
//
// The clock is injectable, so tests can fix "now".
class GuideService : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<qint64()>; // seconds since the epoch
    using WantedSnapshot = std::function<GuideWanted()>;
    using ChannelSource = std::function<WantedSnapshot()>;

    static constexpr qint64 kRefreshSecs = 12 * 3600;
    static constexpr qint64 kRetrySecs = 3600;
    static constexpr qint64 kKeepBackSecs = 2 * 3600;
    static constexpr qint64 kKeepAheadSecs = 24 * 3600;

    // An empty cache path keeps nothing on disk.
    explicit GuideService(const QString &strCachePath = GuideCache::defaultPath(),
                          QObject *parent = nullptr);
    // Stops a read under way and waits for the worker.
    ~GuideService() override;

    void setClock(Clock clock);
    qint64 now() const;
    void setChannelSource(ChannelSource source);
    void setLimits(const GuideReader::Limits &limits) { m_limits = limits; }

    // The addresses to read, in the order their guides are asked. Guides of
    // addresses no longer listed are dropped (from the cache too); new ones
    // are read when the service has started.
    void setAddresses(const QStringList &lstAddresses);
    QStringList addresses() const { return m_store.addresses(); }
    // Reads the cache, then every guide that is due; checks again every few
    // minutes from then on.
    void start();
    bool isStarted() const { return m_bStarted; }
    bool isBusy() const { return !m_strReading.isEmpty() || m_watchCache.isRunning(); }

    GuideNowNext nowNext(const QString &strName, const QString &strTvgId) const
    {
        return m_store.nowNext(strName, strTvgId, now());
    }
    const GuideStore &store() const { return m_store; }

public slots:
    // Reads every guide that is due (see above).
    void readDue();
    // Reads the address's guide now, whatever its age.
    void readNow(const QString &strAddress);
    // The user's channels have changed: 10 s after the last change,
    // checkChannels().
    void channelsChanged();
    // Reads every guide again when the user now has channels that the last
    // read did not look for (the "Newly" list of the service, a playlist).
    void checkChannels();

signals:
    // The programmes to show have changed.
    void changed();
    // One address was read: bOk false keeps its earlier guide.
    void guideRead(const QString &strAddress, bool bOk, const QString &strError);
    void cacheLoaded();

private:
    struct Outcome
    {
        QString strAddress;
        qint64 nFetched = 0;
        XmltvParser::Result result;
    };
    void readNext();
    void onRead();
    void onCacheLoaded();
    void onChannelsChecked();
    bool isDue(const QString &strAddress, qint64 nNow) const;

    QString m_strCachePath;
    Clock m_clock;
    ChannelSource m_channelSource;
    GuideReader::Limits m_limits;
    GuideStore m_store;
    bool m_bStarted = false;
    bool m_bCacheLoaded = false;
    QStringList m_lstQueue;
    QString m_strReading;
    QHash<QString, qint64> m_hashLastTry;
    QTimer m_timerCheck;
    QTimer m_timerChannels;
    // What the worker keeps between its jobs: the channel keys of the last
    // good read. Only the worker touches it (a set of half a million keys
    // is not freed on the GUI thread).
    struct WorkerState
    {
        GuideWanted wantedRead;
    };
    std::shared_ptr<WorkerState> m_pWorkerState = std::make_shared<WorkerState>();
    QFutureWatcher<bool> m_watchChannels;
    QThreadPool m_pool; // one thread: reads and the cache never overlap
    std::atomic<bool> m_bCancel{false};
    QFutureWatcher<Outcome> m_watchRead;
    QFutureWatcher<QVector<GuideCache::Entry>> m_watchCache;
};
