#pragma once

#include "GuideTypes.h"

#include <QByteArray>
#include <QStringList>
#include <QXmlStreamReader>

// Reads an XMLTV guide in one pass, piece by piece as its bytes arrive, and
// keeps the programmes of the user's channels within a window of time. It
// does nothing but turn bytes into programmes: no files, no network, no
// clock. What it passes over (malformed times, programmes of channels the
// user does not have) is counted; malformed or truncated XML makes the whole
// guide fail.
//
// A guide's <channel id> is matched to a channel's tvg-id, else one of its
// <display-name>s to the channel's name (GuideKeys). A programme is kept when
// it overlaps [from, to); its times are read with their own offset from UTC
// ("20261207190000 +0800"; without one they are UTC, as XMLTV says).
class XmltvParser
{
public:
    // Titles longer than this are cut; channels keep at most this many
    // programmes (a day at one a minute), so a hostile guide cannot grow
    // without bound within the window.
    static constexpr int kMaxTitleLength = 300;
    static constexpr int kMaxProgrammesPerChannel = 1500;
    // The reader holds a token whole until it ends: more bytes than this
    // without one (a text of hundreds of megabytes) make the guide fail
    // rather than the memory grow.
    static constexpr qint64 kMaxTokenBytes = 16 * 1024 * 1024;

    struct Result
    {
        GuideChannels channels;
        int nGuideChannels = 0;   // <channel> elements
        int nMatchedChannels = 0; // of them, channels the user has
        qint64 nProgrammes = 0;   // <programme> elements
        qint64 nKept = 0;         // in the window, of channels the user has
        qint64 nUnmatched = 0;    // programmes of channels the user does not have
        qint64 nBadTimes = 0;     // missing, impossible or reversed times
        QString strError;         // empty when the guide was read whole
        bool ok() const { return strError.isEmpty(); }
    };

    XmltvParser(const GuideWanted &wanted, qint64 nFrom, qint64 nTo);

    // The next piece of the document. False once the document is known to be
    // malformed; what comes after is ignored.
    bool addData(const QByteArray &data);
    bool hasError() const { return !m_strError.isEmpty(); }
    // After the last piece: what was read, or the error (the guide is then
    // to be dropped as a whole).
    Result finish();

    // A whole document in one go.
    static Result parse(const QByteArray &document, const GuideWanted &wanted, qint64 nFrom,
                        qint64 nTo);
    // An XMLTV time ("YYYYMMDDhhmmss +hhmm", seconds and offset optional) as
    // seconds since the epoch; false for a time that cannot be.
    static bool parseTime(const QStringRef &text, qint64 *pnSecs);

private:
    void readTokens();
    void startElement();
    void endElement();
    void startProgramme();
    void endChannel();
    void endProgramme();
    int slotOf(const QStringRef &channelId);

    QXmlStreamReader m_reader;
    const GuideWanted m_wanted;
    const qint64 m_nFrom;
    const qint64 m_nTo;
    QString m_strError;
    Result m_result;
    bool m_bSeenRoot = false;
    bool m_bEnded = false; // the root element has been closed
    qint64 m_nBytesSinceToken = 0;

    // The guide's channel ids so far, each to a slot: the keys of the user's
    // channels it stands for (-1: none).
    QHash<QString, int> m_hashSlots;
    QVector<QStringList> m_vecSlotKeys;
    QHash<QString, QString> m_hashKeyOwner; // key -> the guide channel that has it
    QString m_strLastId;                    // programmes come grouped by channel
    int m_nLastSlot = -1;

    // Inside <channel>.
    bool m_bInChannel = false;
    QString m_strChannelId;
    QStringList m_lstChannelKeys;
    // Inside <programme> (of a wanted channel, in the window).
    bool m_bInProgramme = false;
    int m_nProgrammeSlot = -1;
    GuideProgramme m_programme;
    bool m_bHasTitle = false;
    // Collecting the text of a <display-name> or <title>.
    bool m_bText = false;
    QString m_strText;
    // Inside an element whose content is passed over, its depth.
    int m_nSkipDepth = 0;
};
