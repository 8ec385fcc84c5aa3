#include "XmltvParser.h"

#include <QDebug>

#include <algorithm>

namespace {

constexpr qint64 kNoStop = -1;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
qint64 daysFromCivil(int nYear, int nMonth, int nDay)
{
    nYear -= nMonth <= 2 ? 1 : 0;
    const qint64 nEra = (nYear >= 0 ? nYear : nYear - 399) / 400;
    const int nYoe = int(nYear - nEra * 400);
    const int nDoy = (153 * (nMonth + (nMonth > 2 ? -3 : 9)) + 2) / 5 + nDay - 1;
    const int nDoe = nYoe * 365 + nYoe / 4 - nYoe / 100 + nDoy;
    return nEra * 146097 + nDoe - 719468;
}

int daysInMonth(int nYear, int nMonth)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bLeap = (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
    return nMonth == 2 && bLeap ? 29 : kDays[nMonth - 1];
}

bool readDigits(const QStringRef &text, int nPos, int nCount, int *pnValue)
{
    int nValue = 0;
    for (int i = nPos; i < nPos + nCount; ++i) {
        const ushort c = text.at(i).unicode();
        if (c < '0' || c > '9')
            return false;
        nValue = nValue * 10 + (c - '0');
    }
    *pnValue = nValue;
    return true;
}

} // namespace

XmltvParser::XmltvParser(const GuideWanted &wanted, qint64 nFrom, qint64 nTo)
    : m_wanted(wanted), m_nFrom(nFrom), m_nTo(nTo)
{
    // XMLTV uses no namespaces; not resolving them saves time on every element.
    m_reader.setNamespaceProcessing(false);
}

bool XmltvParser::parseTime(const QStringRef &text, qint64 *pnSecs)
{
    const int nSize = text.size();
    int nDigits = 0;
    while (nDigits < nSize && text.at(nDigits).isDigit())
        ++nDigits;
    if (nDigits != 12 && nDigits != 14)
        return false;
    int nYear, nMonth, nDay, nHour, nMinute, nSecond = 0;
    if (!readDigits(text, 0, 4, &nYear) || !readDigits(text, 4, 2, &nMonth) ||
        !readDigits(text, 6, 2, &nDay) || !readDigits(text, 8, 2, &nHour) ||
        !readDigits(text, 10, 2, &nMinute) || (nDigits == 14 && !readDigits(text, 12, 2, &nSecond)))
        return false;
    if (nYear < 1970 || nMonth < 1 || nMonth > 12 || nDay < 1 ||
        nDay > daysInMonth(nYear, nMonth) || nHour > 23 || nMinute > 59 || nSecond > 59)
        return false;

    // The offset: "+hhmm" or "-hhmm" after blanks; none, "Z", "UTC" or "GMT"
    // mean UTC.
    int nPos = nDigits;
    while (nPos < nSize && text.at(nPos) == QLatin1Char(' '))
        ++nPos;
    const QStringRef zone = text.mid(nPos).trimmed();
    int nOffset = 0;
    if (!zone.isEmpty() && zone != QLatin1String("Z") && zone != QLatin1String("UTC") &&
        zone != QLatin1String("GMT")) {
        const QChar sign = zone.at(0);
        int nOffHours, nOffMinutes;
        if (zone.size() != 5 || (sign != QLatin1Char('+') && sign != QLatin1Char('-')) ||
            !readDigits(zone, 1, 2, &nOffHours) || !readDigits(zone, 3, 2, &nOffMinutes) ||
            nOffHours > 14 || nOffMinutes > 59)
            return false;
        nOffset = (nOffHours * 60 + nOffMinutes) * 60 * (sign == QLatin1Char('-') ? -1 : 1);
    }
    *pnSecs = daysFromCivil(nYear, nMonth, nDay) * 86400 + nHour * 3600 + nMinute * 60 + nSecond -
              nOffset;
    return true;
}

bool XmltvParser::addData(const QByteArray &data)
{
    if (hasError())
        return false;
    m_reader.addData(data);
    m_nBytesSinceToken += data.size();
    readTokens();
    if (!hasError() && m_nBytesSinceToken > kMaxTokenBytes)
        m_strError = QStringLiteral("more than %1 MiB without the end of an element, at line %2")
                         .arg(kMaxTokenBytes >> 20)
                         .arg(m_reader.lineNumber());
    return !hasError();
}

void XmltvParser::readTokens()
{
    // atEnd() stays true after a premature end until readNext() is called
    // again with more data, so the loop asks readNext() first.
    while (!m_bEnded) {
        const QXmlStreamReader::TokenType token = m_reader.readNext();
        if (token != QXmlStreamReader::Invalid)
            m_nBytesSinceToken = 0;
        switch (token) {
        case QXmlStreamReader::EndDocument:
            m_bEnded = true;
            break;
        case QXmlStreamReader::StartElement:
            startElement();
            break;
        case QXmlStreamReader::EndElement:
            endElement();
            break;
        case QXmlStreamReader::Characters:
            if (m_bText && m_nSkipDepth == 0 && m_strText.size() < kMaxTitleLength)
                m_strText += m_reader.text().left(kMaxTitleLength - m_strText.size());
            break;
        case QXmlStreamReader::Invalid:
            if (m_reader.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                return; // waits for the next piece
            m_strError = QStringLiteral("malformed XML at line %1: %2")
                             .arg(m_reader.lineNumber())
                             .arg(m_reader.errorString());
            return;
        default:
            break;
        }
        if (hasError())
            return;
    }
}

void XmltvParser::startElement()
{
    if (m_nSkipDepth > 0) {
        ++m_nSkipDepth;
        return;
    }
    const QStringRef name = m_reader.name();
    if (!m_bSeenRoot) {
        m_bSeenRoot = true;
        if (name != QLatin1String("tv"))
            m_strError = QStringLiteral("not an XMLTV guide: the document is <%1>").arg(name);
        return;
    }
    if (m_bInProgramme) {
        if (name == QLatin1String("title") && !m_bHasTitle) {
            m_bText = true;
            m_strText.clear();
        } else {
            m_nSkipDepth = 1; // descriptions, credits, icons...
        }
        return;
    }
    if (m_bInChannel) {
        if (name == QLatin1String("display-name")) {
            m_bText = true;
            m_strText.clear();
        } else {
            m_nSkipDepth = 1;
        }
        return;
    }
    if (name == QLatin1String("programme")) {
        startProgramme();
    } else if (name == QLatin1String("channel")) {
        ++m_result.nGuideChannels;
        m_bInChannel = true;
        m_strChannelId = m_reader.attributes().value(QLatin1String("id")).toString();
        m_lstChannelKeys.clear();
        const QString strIdKey = GuideKeys::forTvgId(m_strChannelId);
        if (!m_strChannelId.isEmpty() && m_wanted.contains(strIdKey))
            m_lstChannelKeys << strIdKey;
    } else {
        m_nSkipDepth = 1;
    }
}

void XmltvParser::endElement()
{
    if (m_nSkipDepth > 0) {
        --m_nSkipDepth;
        return;
    }
    if (m_bText) {
        m_bText = false;
        if (m_bInProgramme) {
            m_programme.strTitle = m_strText.trimmed();
            m_bHasTitle = true;
        } else if (m_bInChannel) {
            const QString strKey = GuideKeys::forName(m_strText);
            if (m_wanted.contains(strKey) && !m_lstChannelKeys.contains(strKey))
                m_lstChannelKeys << strKey;
        }
        return;
    }
    if (m_bInChannel) {
        endChannel();
    } else if (m_bInProgramme) {
        endProgramme();
    }
}

void XmltvParser::endChannel()
{
    m_bInChannel = false;
    if (m_strChannelId.isEmpty() || m_hashSlots.contains(m_strChannelId))
        return; // nameless, or named twice: the first one counts
    // A key stays with the first guide channel that claims it: two channels
    // of one name would interleave their programmes otherwise.
    QStringList lstKeys;
    for (const QString &strKey : qAsConst(m_lstChannelKeys)) {
        if (!m_hashKeyOwner.contains(strKey)) {
            m_hashKeyOwner.insert(strKey, m_strChannelId);
            lstKeys << strKey;
        }
    }
    if (lstKeys.isEmpty()) {
        m_hashSlots.insert(m_strChannelId, -1);
        return;
    }
    ++m_result.nMatchedChannels;
    m_hashSlots.insert(m_strChannelId, m_vecSlotKeys.size());
    m_vecSlotKeys << lstKeys;
    m_strLastId.clear();
}

int XmltvParser::slotOf(const QStringRef &channelId)
{
    if (channelId == m_strLastId && !m_strLastId.isEmpty())
        return m_nLastSlot;
    m_strLastId = channelId.toString();
    auto it = m_hashSlots.constFind(m_strLastId);
    if (it == m_hashSlots.constEnd()) {
        // A channel the guide never described: its id may still be a tvg-id.
        const QString strKey = GuideKeys::forTvgId(m_strLastId);
        int nSlot = -1;
        if (!m_strLastId.isEmpty() && m_wanted.contains(strKey) &&
            !m_hashKeyOwner.contains(strKey)) {
            m_hashKeyOwner.insert(strKey, m_strLastId);
            nSlot = m_vecSlotKeys.size();
            m_vecSlotKeys << QStringList{strKey};
        }
        it = m_hashSlots.insert(m_strLastId, nSlot);
    }
    m_nLastSlot = *it;
    return m_nLastSlot;
}

void XmltvParser::startProgramme()
{
    ++m_result.nProgrammes;
    m_nSkipDepth = 1; // until it proves worth keeping
    const QXmlStreamAttributes &attributes = m_reader.attributes();
    const int nSlot = slotOf(attributes.value(QLatin1String("channel")));
    if (nSlot < 0) {
        ++m_result.nUnmatched;
        return;
    }
    qint64 nStart = 0;
    qint64 nStop = kNoStop;
    const QStringRef stop = attributes.value(QLatin1String("stop"));
    if (!parseTime(attributes.value(QLatin1String("start")), &nStart) ||
        (!stop.isEmpty() && (!parseTime(stop, &nStop) || nStop <= nStart))) {
        ++m_result.nBadTimes;
        return;
    }
    // Without a stop the programme ends when the next one starts (finish()).
    if (nStart >= m_nTo || (nStop != kNoStop && nStop <= m_nFrom))
        return;
    m_nSkipDepth = 0;
    m_bInProgramme = true;
    m_nProgrammeSlot = nSlot;
    m_programme = GuideProgramme{nStart, nStop, QString()};
    m_bHasTitle = false;
}

void XmltvParser::endProgramme()
{
    m_bInProgramme = false;
    for (const QString &strKey : m_vecSlotKeys.at(m_nProgrammeSlot)) {
        GuideSchedule &schedule = m_result.channels[strKey];
        if (schedule.size() < kMaxProgrammesPerChannel)
            schedule.append(m_programme);
    }
}

XmltvParser::Result XmltvParser::finish()
{
    if (!hasError() && !m_bSeenRoot)
        m_strError = QStringLiteral("no XML document");
    else if (!hasError() && !m_bEnded)
        m_strError = QStringLiteral("the guide ends early, at line %1").arg(m_reader.lineNumber());
    if (hasError()) {
        Result failed;
        failed.strError = m_strError;
        return failed;
    }
    for (auto it = m_result.channels.begin(); it != m_result.channels.end();) {
        GuideSchedule &schedule = it.value();
        std::stable_sort(
            schedule.begin(), schedule.end(),
            [](const GuideProgramme &a, const GuideProgramme &b) { return a.nStart < b.nStart; });
        // Programmes without a stop end where the next begins; one that
        // overlaps the programme before it is dropped.
        GuideSchedule kept;
        kept.reserve(schedule.size());
        for (int i = 0; i < schedule.size(); ++i) {
            GuideProgramme programme = schedule.at(i);
            if (programme.nStop == kNoStop) {
                if (i + 1 >= schedule.size() || schedule.at(i + 1).nStart <= programme.nStart)
                    continue;
                programme.nStop = schedule.at(i + 1).nStart;
            }
            if (programme.nStop <= m_nFrom)
                continue;
            if (!kept.isEmpty() && programme.nStart < kept.last().nStop)
                continue;
            kept.append(programme);
        }
        m_result.nKept += kept.size();
        if (kept.isEmpty()) {
            it = m_result.channels.erase(it);
        } else {
            kept.squeeze();
            it.value() = kept;
            ++it;
        }
    }
    return std::move(m_result);
}

XmltvParser::Result XmltvParser::parse(const QByteArray &document, const GuideWanted &wanted,
                                       qint64 nFrom, qint64 nTo)
{
    XmltvParser parser(wanted, nFrom, nTo);
    parser.addData(document);
    return parser.finish();
}
