#pragma once

#include <QString>

// One channel, held by value by the list it belongs to.
struct VideoItem
{
    int nId = 0; // the web service's id; 0 for channels not received from it
    QString strName;
    QString strUrl;
    QString strRegion; // the service's region; empty for the user's own channels
    int nScore = 0;
};
