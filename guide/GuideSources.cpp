#include "GuideSources.h"

#include <QDebug>
#include <QDir>
#include <QUrl>

namespace GuideSources {

QString normalised(const QString &strAddress)
{
    const QString strText = strAddress.trimmed();
    if (strText.isEmpty())
        return QString();
    const QUrl url(strText, QUrl::StrictMode);
    const QString strScheme = url.scheme().toLower();
    if ((strScheme == QLatin1String("http") || strScheme == QLatin1String("https")) &&
        url.isValid() && !url.host().isEmpty())
        return url.toString(QUrl::FullyEncoded);
    if (strScheme == QLatin1String("file") && url.isValid() && url.isLocalFile() &&
        QDir::isAbsolutePath(url.toLocalFile()))
        return QDir::cleanPath(url.toLocalFile());
    if (QDir::isAbsolutePath(strText) && !strText.contains(QLatin1String("://")))
        return QDir::cleanPath(strText);
    return QString();
}

QStringList fromHeaderValue(const QString &strValue)
{
    QStringList lst;
    for (const QString &strPart : strValue.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString strAddress = normalised(strPart);
        if (strAddress.isEmpty() || lst.contains(strAddress))
            continue;
        // A playlist from elsewhere does not get to read the user's files
        // (or a device or a pipe that never ends): only the user names those.
        if (!isRemote(strAddress)) {
            qDebug() << "guide address of a playlist left out: not http(s):"
                     << strAddress.left(300);
            continue;
        }
        if (lst.size() == kMaxHeaderAddresses) {
            qDebug() << "guide addresses of a playlist: more than" << kMaxHeaderAddresses
                     << "named, the rest left out";
            break;
        }
        lst << strAddress;
    }
    return lst;
}

QStringList merged(const QStringList &lstUser, const QStringList &lstCategories,
                   const QVariantMap &mapPlaylists)
{
    QStringList lst;
    auto add = [&lst](const QStringList &lstMore) {
        for (const QString &strAddress : lstMore) {
            const QString strKept = normalised(strAddress);
            if (!strKept.isEmpty() && !lst.contains(strKept))
                lst << strKept;
        }
    };
    add(lstUser);
    for (const QString &strCategory : lstCategories)
        add(mapPlaylists.value(strCategory).toStringList());
    return lst;
}

bool isRemote(const QString &strAddress)
{
    return strAddress.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           strAddress.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

} // namespace GuideSources
