#pragma once

#include <QString>
#include <QStringList>

// The two HTTP settings a channel may carry for its stream: many public
// streams refuse a player that does not send the user agent or the referrer
// they expect. They reach libVLC as options of that channel's media alone.
// They are remote text, so only values that can do no harm are kept: not
// longer than kMaxLength and without control characters (a line break would
// end the HTTP header and start another).
struct StreamOptions
{
    static constexpr int kMaxLength = 1024;

    QString strUserAgent;
    QString strReferrer;

    // Whether a value may be kept (an empty one may: it means none).
    static bool acceptable(const QString &strValue);
    // These options with every value that is not acceptable left out;
    // pnRefused counts the values left out.
    StreamOptions checked(int *pnRefused = nullptr) const;
    bool isEmpty() const { return strUserAgent.isEmpty() && strReferrer.isEmpty(); }
    // The options for libVLC ("http-user-agent=...", "http-referrer=...") of
    // the acceptable values; nothing else ever becomes an option.
    QStringList vlcOptions() const;

    bool operator==(const StreamOptions &other) const
    {
        return strUserAgent == other.strUserAgent && strReferrer == other.strReferrer;
    }
};
