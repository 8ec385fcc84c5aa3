#include "Settings.h"

#include "SettingsFileCheck.h"
#include "SettingsWriter.h"

#include <QDebug>
#include <QEvent>
#include <QLocale>
#include <QtConcurrent>

CSettings *g_pSettings = nullptr;

CSettings::CSettings(const QString &strOrganization, const QString &strApplication,
                     ChannelLists lists)
    : CSettings(SettingsFileCheck(strOrganization, strApplication), strOrganization, strApplication,
                lists)
{
}

// The file has been checked (and moved aside when unreadable) by the time the
// QSettings base opens it.
CSettings::CSettings(const SettingsFileCheck &check, const QString &strOrganization,
                     const QString &strApplication, ChannelLists lists)
    : QSettings(QSettings::NativeFormat, QSettings::UserScope, strOrganization, strApplication)
{
    m_pWriter = new SettingsWriter(
        this, [this] { applyValues(); }, this);
    connect(m_pWriter, &SettingsWriter::written, this, &CSettings::onWritten);
    connect(&m_watchChannelLists, &QFutureWatcher<ChannelListValues>::finished, this,
            &CSettings::onChannelListsRead);

    if (lists == ChannelLists::ReadNow) {
        load();
        return;
    }
    // Parsing the lists of a big file takes QSettings most of a second; the
    // other keys come from the check's copy, which holds only them.
    loadAllButChannelLists(
        [&check](const QString &strKey, const QVariant &def) { return check.value(strKey, def); });
    m_bChannelListsLoaded = false;
    m_pWriter->setHeld(true);
    m_watchChannelLists.setFuture(QtConcurrent::run(&CSettings::readChannelLists, fileName()));
}

CSettings::~CSettings()
{
    // The last write: with the lists read in full, everything pending, on this
    // thread. A failure is reported while there is still someone to report it.
    m_watchChannelLists.waitForFinished();
    if (!m_bChannelListsLoaded)
        onChannelListsRead();
    m_pWriter->flush();
    reportWriteFailure();
    delete m_pWriter;
    m_pWriter = nullptr;
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
}

void CSettings::load()
{
    m_watchChannelLists.waitForFinished();
    loadAllButChannelLists(
        [this](const QString &strKey, const QVariant &def) { return value(strKey, def); });
    m_lstCategoryList = value(QStringLiteral("m_lstCategoryList")).toStringList();
    m_mapCategory = value(QStringLiteral("m_mapCategory")).toMap();
    m_lstDefaultChannels = value(QStringLiteral("m_lstDefaultChannels")).toStringList();
}

CSettings::ChannelListValues CSettings::readChannelLists(const QString &strPath)
{
    // A QSettings object of this thread on the same file: it shares what the
    // store's own object has read of it, and parses it here.
    const QSettings settings(strPath, QSettings::IniFormat);
    ChannelListValues values;
    values.lstCategoryList = settings.value(QStringLiteral("m_lstCategoryList")).toStringList();
    values.mapCategory = settings.value(QStringLiteral("m_mapCategory")).toMap();
    values.lstDefaultChannels =
        settings.value(QStringLiteral("m_lstDefaultChannels")).toStringList();
    return values;
}

void CSettings::onChannelListsRead()
{
    if (m_bChannelListsLoaded)
        return;
    const ChannelListValues values = m_watchChannelLists.result();
    m_lstCategoryList = values.lstCategoryList;
    m_mapCategory = values.mapCategory;
    m_lstDefaultChannels = values.lstDefaultChannels;
    m_bChannelListsLoaded = true;
    m_pWriter->setHeld(false);
    emit channelListsReady();
}

void CSettings::applyValues()
{
    setValue(QStringLiteral("m_nMainWindowHeight"), m_nMainWindowHeight);
    setValue(QStringLiteral("m_nMainWindowWidth"), m_nMainWindowWidth);
    setValue(QStringLiteral("m_bMainWindowMaximized"), m_bMainWindowMaximized);
    setValue(QStringLiteral("m_bVolumeMuted"), m_bVolumeMuted);
    setValue(QStringLiteral("m_nVolume"), m_nVolume);
    setValue(QStringLiteral("m_bAutoPlayLast"), m_bAutoPlayLast);
    setValue(QStringLiteral("m_strRegion"), m_strRegion);
    setValue(QStringLiteral("m_nLanguage"), m_nLanguage);
    setValue(QStringLiteral("m_strChannelListVer"), m_strChannelListVer);
    setValue(QStringLiteral("m_strPlayingVideoName"), m_strPlayingVideoName);
    setValue(QStringLiteral("m_strPlayingVideoUrl"), m_strPlayingVideoUrl);
    setValue(QStringLiteral("m_strPlayingRegion"), m_strPlayingRegion);
    setValue(QStringLiteral("m_nCategoryVer"), m_nCategoryVer);
    setValue(QStringLiteral("m_lstCategoryList"), m_lstCategoryList);
    setValue(QStringLiteral("m_mapCategory"), m_mapCategory);
    setValue(QStringLiteral("m_lstDefaultChannels"), m_lstDefaultChannels);
}

void CSettings::save()
{
    m_pWriter->changed();
}

void CSettings::sync()
{
    m_watchChannelLists.waitForFinished();
    if (!m_bChannelListsLoaded)
        onChannelListsRead();
    m_pWriter->flush();
}

bool CSettings::event(QEvent *pEvent)
{
    // QSettings would write the whole file here, on the GUI thread; the
    // writer does it elsewhere and less often.
    if (pEvent->type() == QEvent::UpdateRequest)
        return true;
    return QSettings::event(pEvent);
}

void CSettings::onWritten(QSettings::Status status)
{
    // The worker's object saw the failure; let this one see it too (for a
    // file that cannot be written QSettings finds out without writing).
    if (status != QSettings::NoError)
        QSettings::sync();
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

void CSettings::clearCategories()
{
    m_lstCategoryList.clear();
    m_mapCategory.clear();
}

void CSettings::addCategory(const QString &strName, const QStringList &lstChannels)
{
    m_lstCategoryList.append(strName);
    m_mapCategory.insert(strName, lstChannels);
}

bool CSettings::firstDefaultChannel(QString &strName, QString &strUrl) const
{
    if (m_lstDefaultChannels.size() <= 2)
        return false;
    strName = m_lstDefaultChannels.at(0);
    strUrl = m_lstDefaultChannels.at(1);
    return true;
}
