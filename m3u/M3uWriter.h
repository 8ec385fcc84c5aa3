#pragma once

#include "M3uParser.h"

#include <QByteArray>
#include <QVector>

// Writes channels as an M3U8 playlist: UTF-8 without a BOM, "#EXTM3U", then per
// channel one "#EXTINF:-1" line with group-title and, where known, tvg-logo
// and tvg-id, followed by #EXTVLCOPT lines for the user agent and the
// referrer and the URL line. parseM3u() reads the result back into the same
// groups, names, URLs, logos, tvg-ids and options, in the same order.
//
// A channel that no playlist can carry (an empty URL, a URL that starts with
// '#' or holds a line break) is left out and counted in *pnSkipped.
QByteArray writeM3u(const QVector<M3uChannel> &channels, int *pnSkipped = nullptr);
