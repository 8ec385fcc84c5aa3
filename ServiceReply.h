#pragma once

#include "ChannelListModel.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a reply of the channel service says, read from its body. A pure value:
// reading a big channel list takes seconds, so it is done on a worker thread
// and the finished reply handed to the GUI thread.
struct ServiceReply
{
    // Lists longer than this are not taken (the user is told).
    static constexpr int kMaxChannels = 1000000;

    enum class Kind
    {
        Ignored,         // not JSON, not an object, an unknown action, broken
        VideoList,       // "get_video_list": rows
        TooManyChannels, // "get_video_list" with more than kMaxChannels
        Settings,        // "get_settings": lstListVersions
        PlayInfo,        // "post_play_info"
    };

    Kind kind = Kind::Ignored;
    QString strWhy;              // why a reply is ignored, for the log
    int nChannels = 0;           // channels in a channel list reply
    ChannelListModel::Rows rows; // its channels, in reply order
    // The "list_ver" values of a settings reply, trimmed, in reply order.
    QStringList lstListVersions;

    // The body decoded as UTF-8 up to its first NUL byte, then read as JSON.
    static ServiceReply read(QByteArray body);
};
