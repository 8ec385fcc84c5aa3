#include "GuideService.h"

#include "BackgroundWork.h"

#include <QDateTime>
#include <QDebug>
#include <QElapsedTimer>
#include <QtConcurrent>

namespace {
constexpr int kCheckIntervalMs = 5 * 60 * 1000;
constexpr int kChannelsSettleMs = 10 * 1000;
} // namespace

GuideService::GuideService(const QString &strCachePath, QObject *parent)
    : QObject(parent), m_strCachePath(strCachePath)
{
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(60000);
    m_clock = [] { return QDateTime::currentSecsSinceEpoch(); };
    m_timerCheck.setInterval(kCheckIntervalMs);
    connect(&m_timerCheck, &QTimer::timeout, this, &GuideService::readDue);
    connect(&m_watchRead, &QFutureWatcher<Outcome>::finished, this, &GuideService::onRead);
    connect(&m_watchCache, &QFutureWatcher<QVector<GuideCache::Entry>>::finished, this,
            &GuideService::onCacheLoaded);
    m_timerChannels.setSingleShot(true);
    m_timerChannels.setInterval(kChannelsSettleMs);
    connect(&m_timerChannels, &QTimer::timeout, this, &GuideService::checkChannels);
    connect(&m_watchChannels, &QFutureWatcher<bool>::finished, this,
            &GuideService::onChannelsChecked);
}

GuideService::~GuideService()
{
    m_bCancel = true;
    m_pool.waitForDone();
}

void GuideService::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

qint64 GuideService::now() const
{
    return m_clock();
}

void GuideService::setChannelSource(ChannelSource source)
{
    m_channelSource = std::move(source);
}

void GuideService::setAddresses(const QStringList &lstAddresses)
{
    if (lstAddresses == m_store.addresses())
        return;
    const QStringList lstBefore = m_store.addresses();
    const bool bHadGuides = !m_store.isEmpty();
    m_store.setAddresses(lstAddresses);
    for (auto it = m_lstQueue.begin(); it != m_lstQueue.end();) {
        it = lstAddresses.contains(*it) ? it + 1 : m_lstQueue.erase(it);
    }
    if (!m_strCachePath.isEmpty() && m_bCacheLoaded)
        QtConcurrent::run(&m_pool, [strPath = m_strCachePath, lstAddresses] {
            BackgroundWork::lowerPriority();
            GuideCache::keepOnly(strPath, lstAddresses);
        });
    if (bHadGuides)
        emit changed();
    if (m_bStarted)
        readDue();
}

void GuideService::start()
{
    if (m_bStarted)
        return;
    m_bStarted = true;
    m_timerCheck.start();
    // The cached guides were read for the channels there are now (a change
    // made since would have had them read again).
    QtConcurrent::run(
        &m_pool, [pState = m_pWorkerState,
                  snapshot = m_channelSource ? m_channelSource() : WantedSnapshot()]() mutable {
            BackgroundWork::lowerPriority();
            pState->wantedRead = snapshot ? snapshot() : GuideWanted();
        });
    if (m_strCachePath.isEmpty()) {
        onCacheLoaded();
        return;
    }
    m_watchCache.setFuture(
        QtConcurrent::run(&m_pool, [strPath = m_strCachePath, nFrom = now() - kKeepBackSecs] {
            BackgroundWork::lowerPriority();
            return GuideCache::load(strPath, nFrom);
        }));
}

void GuideService::onCacheLoaded()
{
    if (m_bCacheLoaded)
        return; // the empty future set below reports as finished too
    if (!m_strCachePath.isEmpty()) {
        int nShown = 0;
        QVector<GuideCache::Entry> vecEntries = m_watchCache.result();
        m_watchCache.setFuture(QFuture<QVector<GuideCache::Entry>>()); // as in onRead()
        for (GuideCache::Entry &entry : vecEntries) {
            if (!m_store.addresses().contains(entry.strAddress))
                continue;
            m_store.setGuide(entry.strAddress, entry.nFetched, std::move(entry.channels));
            ++nShown;
        }
        // Guides of addresses no longer listed go with the rest, off this thread.
        BackgroundWork::release(std::move(vecEntries));
        qDebug() << "guide cache:" << nShown << "guides from" << m_strCachePath;
        QtConcurrent::run(&m_pool, [strPath = m_strCachePath, lst = m_store.addresses()] {
            BackgroundWork::lowerPriority();
            GuideCache::keepOnly(strPath, lst);
        });
        if (nShown > 0)
            emit changed();
    }
    m_bCacheLoaded = true;
    emit cacheLoaded();
    readDue();
}

bool GuideService::isDue(const QString &strAddress, qint64 nNow) const
{
    if (strAddress == m_strReading || m_lstQueue.contains(strAddress))
        return false;
    const auto itTry = m_hashLastTry.constFind(strAddress);
    if (itTry != m_hashLastTry.constEnd() && nNow - *itTry < kRetrySecs)
        return false;
    return !m_store.hasGuide(strAddress) || nNow - m_store.fetchedAt(strAddress) >= kRefreshSecs;
}

void GuideService::readDue()
{
    if (!m_bStarted || !m_bCacheLoaded)
        return;
    const qint64 nNow = now();
    for (const QString &strAddress : m_store.addresses()) {
        if (isDue(strAddress, nNow))
            m_lstQueue << strAddress;
    }
    readNext();
}

void GuideService::readNow(const QString &strAddress)
{
    if (!m_store.addresses().contains(strAddress) || m_lstQueue.contains(strAddress))
        return;
    m_lstQueue << strAddress;
    if (m_bCacheLoaded)
        readNext();
}

void GuideService::readNext()
{
    if (!m_strReading.isEmpty() || m_lstQueue.isEmpty())
        return;
    m_strReading = m_lstQueue.takeFirst();
    const qint64 nNow = now();
    m_hashLastTry.insert(m_strReading, nNow);
    // The user's channels, taken now on this thread and made into keys on
    // the worker.
    WantedSnapshot snapshot = m_channelSource ? m_channelSource() : WantedSnapshot();
    m_watchRead.setFuture(
        QtConcurrent::run(&m_pool, [strAddress = m_strReading, nNow, snapshot, limits = m_limits,
                                    strCachePath = m_strCachePath, pCancel = &m_bCancel,
                                    pState = m_pWorkerState]() mutable {
            BackgroundWork::lowerPriority();
            QElapsedTimer timer;
            timer.start();
            Outcome outcome;
            outcome.strAddress = strAddress;
            outcome.nFetched = nNow;
            GuideWanted wanted = snapshot ? snapshot() : GuideWanted();
            // The channel rows it held are let go before the long read.
            snapshot = nullptr;
            outcome.result = GuideReader::read(strAddress, wanted, nNow - kKeepBackSecs,
                                               nNow + kKeepAheadSecs, pCancel, limits);
            const XmltvParser::Result &result = outcome.result;
            if (result.ok())
                qDebug().noquote() << QStringLiteral("guide %1 read in %2 ms: %3 of %4 guide "
                                                     "channels matched, %5 of %6 programmes kept "
                                                     "(%7 of other channels, %8 with bad times)")
                                          .arg(strAddress)
                                          .arg(timer.elapsed())
                                          .arg(result.nMatchedChannels)
                                          .arg(result.nGuideChannels)
                                          .arg(result.nKept)
                                          .arg(result.nProgrammes)
                                          .arg(result.nUnmatched)
                                          .arg(result.nBadTimes);
            if (result.ok())
                pState->wantedRead = std::move(wanted);
            if (result.ok() && !strCachePath.isEmpty())
                GuideCache::store(strCachePath, {strAddress, nNow, result.channels});
            return outcome;
        }));
}

void GuideService::onRead()
{
    if (m_strReading.isEmpty() || !m_watchRead.isFinished() || m_watchRead.isCanceled())
        return; // the empty future set below reports as finished too
    Outcome outcome = m_watchRead.result();
    // The finished future keeps a copy of the result: let go of it now, or
    // the guide would be freed on this thread when it is replaced.
    m_watchRead.setFuture(QFuture<Outcome>());
    m_strReading.clear();
    const bool bOk = outcome.result.ok();
    if (bOk && m_store.addresses().contains(outcome.strAddress)) {
        m_store.setGuide(outcome.strAddress, outcome.nFetched, std::move(outcome.result.channels));
        m_hashLastTry.remove(outcome.strAddress);
        emit changed();
    } else if (!bOk) {
        qDebug() << "guide" << outcome.strAddress
                 << "not read, the earlier one is kept:" << outcome.result.strError;
    }
    emit guideRead(outcome.strAddress, bOk, outcome.result.strError);
    readNext();
}

void GuideService::channelsChanged()
{
    if (m_bStarted)
        m_timerChannels.start();
}

void GuideService::checkChannels()
{
    if (!m_bStarted || m_store.addresses().isEmpty())
        return;
    if (m_watchChannels.isRunning()) {
        m_timerChannels.start();
        return;
    }
    m_watchChannels.setFuture(QtConcurrent::run(
        &m_pool, [pState = m_pWorkerState,
                  snapshot = m_channelSource ? m_channelSource() : WantedSnapshot()]() mutable {
            BackgroundWork::lowerPriority();
            const GuideWanted wanted = snapshot ? snapshot() : GuideWanted();
            snapshot = nullptr;
            for (const QString &strKey : wanted) {
                if (!pState->wantedRead.contains(strKey))
                    return true;
            }
            return false;
        }));
}

void GuideService::onChannelsChecked()
{
    if (!m_watchChannels.isFinished() || m_watchChannels.isCanceled() || !m_watchChannels.result())
        return;
    qDebug() << "guide: channels the guides were not read for; reading them again";
    // The check ran after every read asked before it (one worker), so what
    // it compared with is what was read last.
    for (const QString &strAddress : m_store.addresses())
        readNow(strAddress);
}
