#include "SettingsFileCheck.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {

// The lines that hold the channel lists, as QSettings writes them.
const char *const kListKeys[] = {"m_lstDefaultChannels=", "m_mapCategory=", "m_mapChannelDetails="};

bool isListLine(const char *pLine, size_t nLength)
{
    for (const char *szKey : kListKeys) {
        const size_t nKey = std::strlen(szKey);
        if (nLength >= nKey && std::memcmp(pLine, szKey, nKey) == 0)
            return true;
    }
    return false;
}

} // namespace

SettingsFileCheck::SettingsFileCheck(const QString &strPath)
{
    if (!QFileInfo::exists(strPath) || !m_dir.isValid())
        return;

    const QString strCopy = m_dir.filePath(QStringLiteral("probe.conf"));
    bool bReadable = false;
    if (copyWithoutLists(strPath, strCopy)) {
        m_pCopy = std::make_unique<QSettings>(strCopy, QSettings::IniFormat);
        m_pCopy->setValue(QStringLiteral("probe"), 1);
        m_pCopy->sync();
        bReadable = m_pCopy->status() == QSettings::NoError;
    }
    if (bReadable)
        return;
    m_pCopy.reset();

    const QString strAside = strPath + QStringLiteral(".corrupt");
    QFile::remove(strAside);
    if (QFile::rename(strPath, strAside))
        qDebug() << "settings file unreadable, moved aside to" << strAside;
    else
        qDebug() << "settings file unreadable and could not be moved aside:" << strPath;
}

QString SettingsFileCheck::storePath(const QString &strOrganization, const QString &strApplication)
{
    // The organization's own file sits beside the folder of its
    // applications' files (QSettings' documented layout); opening it reads
    // only that small file, if there is one.
    QString strPath =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, strOrganization).fileName();
    strPath.chop(QStringLiteral(".conf").size());
    return strPath + QLatin1Char('/') + strApplication + QStringLiteral(".conf");
}

SettingsFileCheck::~SettingsFileCheck() = default;

bool SettingsFileCheck::copyWithoutLists(const QString &strPath, const QString &strCopy) const
{
    QFile file(strPath);
    QFile copy(strCopy);
    if (!file.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly))
        return false;
    if (file.size() == 0)
        return true;
    // Mapped, not read: the lines to leave out are skipped without a copy.
    const uchar *pData = file.map(0, file.size());
    if (!pData)
        return false;
    const char *p = reinterpret_cast<const char *>(pData);
    const char *const pEnd = p + file.size();
    while (p < pEnd) {
        const void *pNewline = std::memchr(p, '\n', size_t(pEnd - p));
        const char *pNext = pNewline ? static_cast<const char *>(pNewline) + 1 : pEnd;
        if (!isListLine(p, size_t(pNext - p)) && copy.write(p, pNext - p) != pNext - p)
            return false;
        p = pNext;
    }
    return copy.flush();
}

QVariant SettingsFileCheck::value(const QString &strKey, const QVariant &defaultValue) const
{
    return m_pCopy ? m_pCopy->value(strKey, defaultValue) : defaultValue;
}
