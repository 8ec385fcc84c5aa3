#include "Settings.h"

#include <QDebug>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

CSettings *g_pSettings = nullptr;

namespace {

// QSettings refuses to write a file it could not parse, so a damaged file would
// silently swallow every later change. Before the real store opens the file,
// try a copy of it once; if the copy cannot be parsed and written back, move the
// file aside (nothing the user had is destroyed) and start from the defaults.
bool storeIsWritable(const QString &strPath)
{
    QTemporaryDir dir;
    const QString strCopy = dir.filePath(QStringLiteral("probe.conf"));
    if (!dir.isValid() || !QFile::copy(strPath, strCopy))
        return false;
    QFile::setPermissions(strCopy, QFile::ReadOwner | QFile::WriteOwner);
    QSettings probe(strCopy, QSettings::IniFormat);
    probe.setValue(QStringLiteral("probe"), 1);
    probe.sync();
    return probe.status() == QSettings::NoError;
}

QString setAsideUnreadableStore(const QString &strOrganization, const QString &strApplication)
{
    const QString strPath =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, strOrganization, strApplication)
            .fileName();
    if (!QFileInfo::exists(strPath) || storeIsWritable(strPath))
        return strOrganization;

    const QString strAside = strPath + QStringLiteral(".corrupt");
    QFile::remove(strAside);
    if (QFile::rename(strPath, strAside))
        qDebug() << "settings file unreadable, moved aside to" << strAside;
    else
        qDebug() << "settings file unreadable and could not be moved aside:" << strPath;
    return strOrganization;
}

} // namespace

CSettings::CSettings(const QString &strOrganization, const QString &strApplication)
    : QSettings(QSettings::NativeFormat, QSettings::UserScope,
                setAsideUnreadableStore(strOrganization, strApplication), strApplication)
{
    load();
}

CSettings::~CSettings()
{
    save();
    // The base class writes on destruction as well; writing here first lets a
    // failure be reported while there is still someone to report it.
    sync();
    reportWriteFailure();
}

void CSettings::load()
{
    m_nMainWindowHeight = value(QStringLiteral("m_nMainWindowHeight"), 250).toInt();
    m_nMainWindowWidth = value(QStringLiteral("m_nMainWindowWidth"), 400).toInt();
    m_bMainWindowMaximized = value(QStringLiteral("m_bMainWindowMaximized"), true).toBool();
    m_bVolumeMuted = value(QStringLiteral("m_bVolumeMuted"), false).toBool();
    m_nVolume = value(QStringLiteral("m_nVolume"), 100).toInt();
    m_bAutoPlayLast = value(QStringLiteral("m_bAutoPlayLast"), true).toBool();
    m_strRegion = value(QStringLiteral("m_strRegion"), QStringLiteral("all")).toString();
    m_nLanguage = value(QStringLiteral("m_nLanguage"), int(QLocale::system().language())).toInt();
    m_strChannelListVer = value(QStringLiteral("m_strChannelListVer")).toString();
    m_strPlayingVideoName = value(QStringLiteral("m_strPlayingVideoName")).toString();
    m_strPlayingVideoUrl = value(QStringLiteral("m_strPlayingVideoUrl")).toString();
    m_strPlayingRegion = value(QStringLiteral("m_strPlayingRegion")).toString();
    m_nCategoryVer = value(QStringLiteral("m_nCategoryVer")).toInt();
    m_lstCategoryList = value(QStringLiteral("m_lstCategoryList")).toStringList();
    m_mapCategory = value(QStringLiteral("m_mapCategory")).toMap();
    m_lstDefaultChannels = value(QStringLiteral("m_lstDefaultChannels")).toStringList();
}

void CSettings::save()
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

bool CSettings::event(QEvent *pEvent)
{
    const bool bDeferredWrite = pEvent->type() == QEvent::UpdateRequest;
    const bool bResult = QSettings::event(pEvent);
    if (bDeferredWrite)
        reportWriteFailure();
    return bResult;
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
