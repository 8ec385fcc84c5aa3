#pragma once

#include <QStringList>
#include <QVariantMap>

// Where guides come from: addresses the user gave, and those that imported
// playlists name in their header (x-tvg-url or url-tvg), kept per category.
// An address is an http or https URL or a local file (a path or a file URL).
namespace GuideSources {

// The address in the form it is kept in, or an empty string for one that is
// neither an http(s) URL nor an absolute local path.
QString normalised(const QString &strAddress);
// A playlist header names no more guides than this.
constexpr int kMaxHeaderAddresses = 8;
// The addresses of a playlist header's x-tvg-url or url-tvg value: several
// may stand there, separated by commas. Only http(s) URLs are taken, at
// most kMaxHeaderAddresses; unusable ones are left out.
QStringList fromHeaderValue(const QString &strValue);
// Every address to read: the user's first, then the playlists' of the given
// categories in that order, each once.
QStringList merged(const QStringList &lstUser, const QStringList &lstCategories,
                   const QVariantMap &mapPlaylists);
bool isRemote(const QString &strAddress);

} // namespace GuideSources
