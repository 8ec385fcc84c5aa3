#pragma once

#include <QString>

// Resource path of the icon shown beside a channel called strName that is about
// to be appended to a list holding nCount items. Well-known broadcasters are
// recognised by name (a number in a name must stand whole: CCTV-13 is not
// CCTV-1); everything else gets a numbered generic picture for the
// first five positions of a list and a plain one after that.
QString logoForChannel(const QString &strName, int nCount);
