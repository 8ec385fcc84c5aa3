#include "Settings.h"

#include "SettingsFileCheck.h"
#include "SettingsWriter.h"

#include "BackgroundWork.h"
#include <QDebug>
#include <QEvent>
#include <QLocale>
#include <QThread>

CSettings *g_pSettings = nullptr;

CSettings::CSettings(const QString &strOrganization, const QString &strApplication,
                     ChannelLists lists)
    : m_strFileName(SettingsFileCheck::storePath(strOrganization, strApplication))
{
    // The file is checked (and moved aside when unreadable) before it is
    // opened.
    const SettingsFileCheck check(m_strFileName);
    m_pWriter = new SettingsWriter(
        m_strFileName, [this] { applyValues(); }, [this] { store()->sync(); }, this);
    connect(m_pWriter, &SettingsWriter::written, this, &CSettings::onWritten);
    connect(&m_watchChannelLists, &QFutureWatcher<ChannelListValues>::finished, this,
            &CSettings::onChannelListsRead);

    if (lists == ChannelLists::ReadNow) {
        open(new QSettings(QSettings::NativeFormat, QSettings::UserScope, strOrganization,
                           strApplication));
        load();
        return;
    }
    // Opening and parsing the lists of a big file takes QSettings most of a
    // second; the other keys come from the check's copy, which holds only them.
    loadAllButChannelLists(
        [&check](const QString &strKey, const QVariant &def) { return check.value(strKey, def); });
    m_bChannelListsLoaded = false;
    m_pWriter->setHeld(true);
    m_watchChannelLists.setFuture(BackgroundWork::run(&CSettings::readChannelLists, strOrganization,
                                                      strApplication, thread()));
}

CSettings::~CSettings()
{
    // The last write: with the lists read in full, everything pending, on this
    // thread. A failure is reported while there is still someone to report it.
    m_watchChannelLists.waitForFinished();
    onChannelListsRead();
    m_pWriter->flush();
    reportWriteFailure();
    delete m_pWriter;
    m_pWriter = nullptr;
}

void CSettings::open(QSettings *pStore)
{
    m_pStore.reset(pStore);
    // QSettings would write the whole file on its own, on this thread, as
    // soon as the event loop runs; the writer does it elsewhere and less
    // often.
    m_pStore->installEventFilter(this);
}

QSettings *CSettings::store() const
{
    // Only before a background read has ended can there be no store yet.
    auto *pThis = const_cast<CSettings *>(this);
    pThis->m_watchChannelLists.waitForFinished();
    pThis->onChannelListsRead();
    return m_pStore.get();
}

bool CSettings::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (pWatched == m_pStore.get() && pEvent->type() == QEvent::UpdateRequest)
        return true;
    return QObject::eventFilter(pWatched, pEvent);
}

void CSettings::loadAllButChannelLists(
    const std::function<QVariant(const QString &, const QVariant &)> &read)
{
    m_nMainWindowHeight = read(QStringLiteral("m_nMainWindowHeight"), 250).toInt();
    m_nMainWindowWidth = read(QStringLiteral("m_nMainWindowWidth"), 400).toInt();
    m_bMainWindowMaximized = read(QStringLiteral("m_bMainWindowMaximized"), true).toBool();
    m_bVolumeMuted = read(QStringLiteral("m_bVolumeMuted"), false).toBool();
    m_nVolume = read(QStringLiteral("m_nVolume"), 100).toInt();
    m_bAutoPlayLast = read(QStringLiteral("m_bAutoPlayLast"), true).toBool();
    m_strRegion = read(QStringLiteral("m_strRegion"), QStringLiteral("all")).toString();
    m_nLanguage = read(QStringLiteral("m_nLanguage"), int(QLocale::system().language())).toInt();
    m_strChannelListVer = read(QStringLiteral("m_strChannelListVer"), QVariant()).toString();
    m_strPlayingVideoName = read(QStringLiteral("m_strPlayingVideoName"), QVariant()).toString();
    m_strPlayingVideoUrl = read(QStringLiteral("m_strPlayingVideoUrl"), QVariant()).toString();
    m_strPlayingRegion = read(QStringLiteral("m_strPlayingRegion"), QVariant()).toString();
    m_nCategoryVer = read(QStringLiteral("m_nCategoryVer"), QVariant()).toInt();
    m_lstPlayingVideoDetails =
        read(QStringLiteral("m_lstPlayingVideoDetails"), QVariant()).toStringList();
    m_lstGuideAddresses = read(QStringLiteral("m_lstGuideAddresses"), QVariant()).toStringList();
    m_mapPlaylistGuideAddresses =
        read(QStringLiteral("m_mapPlaylistGuideAddresses"), QVariant()).toMap();
}

void CSettings::load()
{
    QSettings *pStore = store();
    loadAllButChannelLists([pStore](const QString &strKey, const QVariant &def) {
        return pStore->value(strKey, def);
    });
    m_lstCategoryList = pStore->value(QStringLiteral("m_lstCategoryList")).toStringList();
    m_mapCategory = pStore->value(QStringLiteral("m_mapCategory")).toMap();
    m_lstDefaultChannels = pStore->value(QStringLiteral("m_lstDefaultChannels")).toStringList();
    m_mapChannelDetails = pStore->value(QStringLiteral("m_mapChannelDetails")).toMap();
}

CSettings::ChannelListValues CSettings::readChannelLists(const QString &strOrganization,
                                                         const QString &strApplication,
                                                         QThread *pTo)
{
    auto *pStore = new QSettings(QSettings::NativeFormat, QSettings::UserScope, strOrganization,
                                 strApplication);
    ChannelListValues values;
    values.lstCategoryList = pStore->value(QStringLiteral("m_lstCategoryList")).toStringList();
    values.mapCategory = pStore->value(QStringLiteral("m_mapCategory")).toMap();
    values.lstDefaultChannels =
        pStore->value(QStringLiteral("m_lstDefaultChannels")).toStringList();
    values.mapChannelDetails = pStore->value(QStringLiteral("m_mapChannelDetails")).toMap();
    // Handed to the GUI thread, which keeps it from now on.
    pStore->moveToThread(pTo);
    values.pStore = pStore;
    return values;
}

void CSettings::onChannelListsRead()
{
    if (m_bChannelListsLoaded)
        return;
    const ChannelListValues values = m_watchChannelLists.result();
    open(values.pStore);
    m_lstCategoryList = values.lstCategoryList;
    m_mapCategory = values.mapCategory;
    m_lstDefaultChannels = values.lstDefaultChannels;
    m_mapChannelDetails = values.mapChannelDetails;
    m_bChannelListsLoaded = true;
    m_pWriter->setHeld(false);
    emit channelListsReady();
}

void CSettings::applyValues()
{
    QSettings *pStore = m_pStore.get();
    pStore->setValue(QStringLiteral("m_nMainWindowHeight"), m_nMainWindowHeight);
    pStore->setValue(QStringLiteral("m_nMainWindowWidth"), m_nMainWindowWidth);
    pStore->setValue(QStringLiteral("m_bMainWindowMaximized"), m_bMainWindowMaximized);
    pStore->setValue(QStringLiteral("m_bVolumeMuted"), m_bVolumeMuted);
    pStore->setValue(QStringLiteral("m_nVolume"), m_nVolume);
    pStore->setValue(QStringLiteral("m_bAutoPlayLast"), m_bAutoPlayLast);
    pStore->setValue(QStringLiteral("m_strRegion"), m_strRegion);
    pStore->setValue(QStringLiteral("m_nLanguage"), m_nLanguage);
    pStore->setValue(QStringLiteral("m_strChannelListVer"), m_strChannelListVer);
    pStore->setValue(QStringLiteral("m_strPlayingVideoName"), m_strPlayingVideoName);
    pStore->setValue(QStringLiteral("m_strPlayingVideoUrl"), m_strPlayingVideoUrl);
    pStore->setValue(QStringLiteral("m_strPlayingRegion"), m_strPlayingRegion);
    pStore->setValue(QStringLiteral("m_nCategoryVer"), m_nCategoryVer);
    pStore->setValue(QStringLiteral("m_lstCategoryList"), m_lstCategoryList);
    pStore->setValue(QStringLiteral("m_mapCategory"), m_mapCategory);
    pStore->setValue(QStringLiteral("m_lstDefaultChannels"), m_lstDefaultChannels);
    // Keys an earlier version does not know: written only when they hold
    // something, so a profile without them keeps exactly the sixteen keys.
    const auto setOrRemove = [pStore](const QString &strKey, const QVariant &value, bool bEmpty) {
        if (bEmpty)
            pStore->remove(strKey);
        else
            pStore->setValue(strKey, value);
    };
    setOrRemove(QStringLiteral("m_mapChannelDetails"), m_mapChannelDetails,
                m_mapChannelDetails.isEmpty());
    setOrRemove(QStringLiteral("m_lstPlayingVideoDetails"), m_lstPlayingVideoDetails,
                m_lstPlayingVideoDetails.isEmpty());
    setOrRemove(QStringLiteral("m_lstGuideAddresses"), m_lstGuideAddresses,
                m_lstGuideAddresses.isEmpty());
    setOrRemove(QStringLiteral("m_mapPlaylistGuideAddresses"), m_mapPlaylistGuideAddresses,
                m_mapPlaylistGuideAddresses.isEmpty());
}

void CSettings::save()
{
    m_pWriter->changed();
}

void CSettings::sync()
{
    store();
    m_pWriter->flush();
}

QVariant CSettings::value(const QString &strKey, const QVariant &defaultValue) const
{
    return store()->value(strKey, defaultValue);
}

void CSettings::setValue(const QString &strKey, const QVariant &value)
{
    store()->setValue(strKey, value);
}

void CSettings::clear()
{
    store()->clear();
}

QSettings::Status CSettings::status() const
{
    return m_pStore ? m_pStore->status() : QSettings::NoError;
}

void CSettings::onWritten(QSettings::Status status)
{
    // The worker's object saw the failure; let the store's own see it too
    // (for a file that cannot be written QSettings finds out without
    // writing).
    if (status != QSettings::NoError)
        m_pStore->sync();
    reportWriteFailure();
}

void CSettings::reportWriteFailure()
{
    if (status() == QSettings::NoError) {
        m_bWriteFailureReported = false;
        return;
    }
    if (m_bWriteFailureReported)
        return;
    m_bWriteFailureReported = true;
    qDebug() << "settings could not be written to" << fileName() << "status" << status();
}

void CSettings::setMainWindowHeight(int nHeight)
{
    m_nMainWindowHeight = nHeight;
    save();
}

void CSettings::setMainWindowWidth(int nWidth)
{
    m_nMainWindowWidth = nWidth;
    save();
}

void CSettings::setMainWindowMaximized(bool bMaximized)
{
    m_bMainWindowMaximized = bMaximized;
    save();
}

void CSettings::setVolumeMuted(bool bMuted)
{
    m_bVolumeMuted = bMuted;
    save();
}

void CSettings::setVolume(int nVolume)
{
    m_nVolume = nVolume;
    save();
}

void CSettings::setAutoPlayLast(bool bAutoPlay)
{
    m_bAutoPlayLast = bAutoPlay;
    save();
}

void CSettings::setRegion(const QString &strRegion)
{
    m_strRegion = strRegion;
    save();
}

void CSettings::setLanguage(int nLanguage)
{
    m_nLanguage = nLanguage;
    save();
}

void CSettings::setChannelListVer(const QString &strVer)
{
    m_strChannelListVer = strVer;
    save();
}

void CSettings::setPlayingVideoName(const QString &strName)
{
    m_strPlayingVideoName = strName;
    save();
}

void CSettings::setPlayingVideoUrl(const QString &strUrl)
{
    m_strPlayingVideoUrl = strUrl;
    save();
}

void CSettings::setDefaultChannels(const QStringList &lstChannels)
{
    m_lstDefaultChannels = lstChannels;
    save();
}

void CSettings::setPlayingVideoDetails(const QStringList &lstDetails)
{
    m_lstPlayingVideoDetails = lstDetails;
    save();
}

void CSettings::setGuideAddresses(const QStringList &lstAddresses)
{
    m_lstGuideAddresses = lstAddresses;
    save();
}

void CSettings::setPlaylistGuideAddresses(const QString &strCategory,
                                          const QStringList &lstAddresses)
{
    if (lstAddresses.isEmpty())
        m_mapPlaylistGuideAddresses.remove(strCategory);
    else
        m_mapPlaylistGuideAddresses.insert(strCategory, lstAddresses);
    save();
}

void CSettings::clearCategories()
{
    m_lstCategoryList.clear();
    m_mapCategory.clear();
    m_mapChannelDetails.clear();
}

void CSettings::addCategory(const QString &strName, const QStringList &lstChannels,
                            const QStringList &lstDetails)
{
    m_lstCategoryList.append(strName);
    m_mapCategory.insert(strName, lstChannels);
    if (lstDetails.isEmpty())
        m_mapChannelDetails.remove(strName);
    else
        m_mapChannelDetails.insert(strName, lstDetails);
}

bool CSettings::firstDefaultChannel(QString &strName, QString &strUrl) const
{
    if (m_lstDefaultChannels.size() <= 2)
        return false;
    strName = m_lstDefaultChannels.at(0);
    strUrl = m_lstDefaultChannels.at(1);
    return true;
}
