#include "ChannelListModel.h"

#include "BackgroundWork.h"
#include "ChannelDetails.h"
#include "ChannelSearchKey.h"
#include "LogoFetcher.h"
#include "VideoLogo.h"

#include <QHash>
#include <QIcon>
#include <QSize>

#include <algorithm>

namespace {

// Every row of a logo shares its picture, and reading a picture is costly:
// each resource path is loaded once (on the GUI thread, where data() runs).
QIcon cachedIcon(const QString &strPath)
{
    static QHash<QString, QIcon> s_icons;
    auto it = s_icons.constFind(strPath);
    if (it == s_icons.constEnd())
        it = s_icons.insert(strPath, QIcon(strPath));
    return *it;
}

int scoreFromText(const QString &strText)
{
    bool bOk = false;
    const int nScore = strText.toInt(&bOk, 10);
    return bOk ? nScore : 0;
}

// Whether a stored score is already written the way QString::number writes
// it, so the stored form can keep the text instead of making it anew.
bool isCanonicalScore(const QString &strText)
{
    const int nDigits = strText.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (strText.size() <= nDigits || strText.size() > nDigits + 9)
        return false; // ten digits may not fit an int
    for (int i = nDigits; i < strText.size(); ++i) {
        if (strText.at(i) < QLatin1Char('0') || strText.at(i) > QLatin1Char('9'))
            return false;
    }
    const bool bLeadingZero = strText.at(nDigits) == QLatin1Char('0');
    return !bLeadingZero || strText.size() == 1;
}

} // namespace

ChannelListModel::ChannelListModel(QObject *parent) : QAbstractListModel(parent) {}

ChannelListModel::~ChannelListModel()
{
    Rows old;
    old.vecRows = std::move(m_vecRows);
    old.lstTriples = std::move(m_lstTriples);
    old.lstDetails = std::move(m_lstDetails);
    releaseLater(std::move(old));
}

// Freeing half a million rows takes tens of milliseconds: big lists go on a
// worker thread (their strings are shared, and counted atomically).
void ChannelListModel::releaseLater(Rows rows)
{
    if (rows.vecRows.size() + rows.lstTriples.size() > 10000)
        BackgroundWork::release(std::move(rows));
}

ChannelListModel::Row ChannelListModel::makeRow(const VideoItem &rec, int nMadeAt)
{
    Row row;
    row.rec = rec;
    row.strMadeAs = rec.strName;
    row.nMadeAt = nMadeAt;
    row.strKey = ChannelSearchKey::fold(rec.strName);
    return row;
}

ChannelListModel::Rows ChannelListModel::rowsFromTriples(const QStringList &lstTriples,
                                                         const QStringList &lstDetails)
{
    const ChannelDetails details(lstDetails);
    Rows rows;
    rows.bDetailsKnown = true;
    const int nChannels = (lstTriples.size() + 2) / 3;
    rows.vecRows.reserve(nChannels);
    rows.lstTriples.reserve(nChannels * 3);
    for (int k = 0; k < lstTriples.size(); k += 3) {
        VideoItem rec;
        rec.strName = lstTriples.at(k);
        if (k + 1 < lstTriples.size())
            rec.strUrl = lstTriples.at(k + 1);
        if (k + 2 < lstTriples.size())
            rec.nScore = scoreFromText(lstTriples.at(k + 2));
        if (!details.isEmpty()) {
            details.applyTo(rec);
            ChannelDetails::append(rows.lstDetails, rec);
        }
        rows.vecRows.append(makeRow(rec, rows.vecRows.size()));
        // The stored form written back: whole triples with numeric scores.
        const bool bKeepScore = k + 2 < lstTriples.size() && isCanonicalScore(lstTriples.at(k + 2));
        rows.lstTriples << rec.strName << rec.strUrl
                        << (bKeepScore ? lstTriples.at(k + 2) : QString::number(rec.nScore));
    }
    return rows;
}

ChannelListModel::Rows ChannelListModel::rowsFromRecords(const QVector<VideoItem> &vecRecords,
                                                         int nMadeAt)
{
    Rows rows;
    rows.bDetailsKnown = true;
    rows.vecRows.reserve(vecRecords.size());
    rows.lstTriples.reserve(vecRecords.size() * 3);
    for (const VideoItem &rec : vecRecords) {
        rows.vecRows.append(makeRow(rec, nMadeAt + rows.vecRows.size()));
        rows.lstTriples << rec.strName << rec.strUrl << QString::number(rec.nScore);
        ChannelDetails::append(rows.lstDetails, rec);
    }
    return rows;
}

int ChannelListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_vecRows.size();
}

QVariant ChannelListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_vecRows.size())
        return QVariant();
    const Row &row = m_vecRows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.rec.strName;
    case Qt::ToolTipRole:
        return row.strMadeAs;
    case Qt::DecorationRole:
        if (!row.rec.strLogo.isEmpty()) {
            // Asked for now if it is not there; the view is repainted when
            // it comes (CDlgVideoList), and until then the rule's picture shows.
            const QIcon icon = LogoFetcher::instance()->icon(row.rec.strLogo);
            if (!icon.isNull())
                return icon;
        }
        return cachedIcon(logoForChannel(row.strMadeAs, row.nMadeAt));
    case Qt::SizeHintRole:
        return QSize(180, 40);
    case TvgIdRole:
        return row.rec.strTvgId;
    default:
        return QVariant();
    }
}

int ChannelListModel::findName(const QString &strName) const
{
    for (int i = 0; i < m_vecRows.size(); ++i) {
        if (m_vecRows.at(i).rec.strName == strName)
            return i;
    }
    return -1;
}

QStringList ChannelListModel::triples() const
{
    if (!m_bTriplesValid) {
        m_lstTriples.clear();
        m_lstTriples.reserve(m_vecRows.size() * 3);
        for (const Row &row : m_vecRows)
            m_lstTriples << row.rec.strName << row.rec.strUrl << QString::number(row.rec.nScore);
        m_bTriplesValid = true;
    }
    return m_lstTriples;
}

QStringList ChannelListModel::details() const
{
    if (!m_bDetailsValid) {
        m_lstDetails.clear();
        for (const Row &row : m_vecRows)
            ChannelDetails::append(m_lstDetails, row.rec);
        m_bDetailsValid = true;
    }
    return m_lstDetails;
}

void ChannelListModel::changed()
{
    m_bTriplesValid = false;
    m_lstTriples.clear();
    m_bDetailsValid = false;
    m_lstDetails.clear();
}

void ChannelListModel::setRows(Rows rows)
{
    beginResetModel();
    m_vecRows.swap(rows.vecRows);
    if (rows.lstTriples.size() == m_vecRows.size() * 3) {
        m_lstTriples.swap(rows.lstTriples);
        m_bTriplesValid = true;
    } else {
        m_bTriplesValid = false;
        m_lstTriples.clear();
    }
    m_bDetailsValid = rows.bDetailsKnown;
    m_lstDetails.swap(rows.lstDetails);
    if (!m_bDetailsValid)
        m_lstDetails.clear();
    endResetModel();
    // The old rows go after the views have let go of them.
    releaseLater(std::move(rows));
}

void ChannelListModel::append(const VideoItem &rec)
{
    const int nRow = m_vecRows.size();
    beginInsertRows(QModelIndex(), nRow, nRow);
    m_vecRows.append(makeRow(rec, nRow));
    changed();
    endInsertRows();
}

void ChannelListModel::appendRows(Rows rows)
{
    if (rows.vecRows.isEmpty())
        return;
    const int nFirst = m_vecRows.size();
    beginInsertRows(QModelIndex(), nFirst, nFirst + rows.vecRows.size() - 1);
    // The stored forms grow by the new rows' own, when both are there.
    if (m_bTriplesValid && rows.lstTriples.size() == rows.vecRows.size() * 3) {
        m_lstTriples += rows.lstTriples;
    } else {
        m_bTriplesValid = false;
        m_lstTriples.clear();
    }
    if (m_bDetailsValid && rows.bDetailsKnown) {
        m_lstDetails += rows.lstDetails;
    } else {
        m_bDetailsValid = false;
        m_lstDetails.clear();
    }
    if (m_vecRows.isEmpty())
        m_vecRows.swap(rows.vecRows);
    else
        m_vecRows += rows.vecRows;
    endInsertRows();
    releaseLater(std::move(rows));
}

void ChannelListModel::removeRowsAt(QVector<int> vecRows)
{
    std::sort(vecRows.begin(), vecRows.end());
    vecRows.erase(std::unique(vecRows.begin(), vecRows.end()), vecRows.end());
    // From the last to the first, one signal per run of neighbouring rows.
    for (int i = vecRows.size() - 1; i >= 0;) {
        const int nLast = vecRows.at(i);
        int nFirst = nLast;
        while (i > 0 && vecRows.at(i - 1) == nFirst - 1)
            nFirst = vecRows.at(--i);
        --i;
        if (nFirst < 0 || nLast >= m_vecRows.size())
            continue;
        beginRemoveRows(QModelIndex(), nFirst, nLast);
        m_vecRows.remove(nFirst, nLast - nFirst + 1);
        changed();
        endRemoveRows();
    }
}

void ChannelListModel::setNameAndUrl(int nRow, const QString &strName, const QString &strUrl)
{
    if (nRow < 0 || nRow >= m_vecRows.size())
        return;
    Row &row = m_vecRows[nRow];
    // The user typed this URL: it is the user's own now, whatever it was.
    if (row.rec.strUrl != strUrl)
        row.rec.origin = ChannelOrigin::Own;
    row.rec.strName = strName;
    row.rec.strUrl = strUrl;
    row.strKey = ChannelSearchKey::fold(strName);
    changed();
    emit dataChanged(index(nRow), index(nRow), {Qt::DisplayRole});
}

void ChannelListModel::swapNameAndUrl(int nRowA, int nRowB)
{
    if (nRowA < 0 || nRowB < 0 || nRowA >= m_vecRows.size() || nRowB >= m_vecRows.size())
        return;
    Row &a = m_vecRows[nRowA];
    Row &b = m_vecRows[nRowB];
    std::swap(a.rec.strName, b.rec.strName);
    std::swap(a.rec.strUrl, b.rec.strUrl);
    // What came with a URL stays with it: a URL from a playlist must not
    // become the user's own by changing places with one.
    std::swap(a.rec.origin, b.rec.origin);
    std::swap(a.rec.strLogo, b.rec.strLogo);
    std::swap(a.rec.options, b.rec.options);
    std::swap(a.rec.strTvgId, b.rec.strTvgId); // the guide's key goes with the name
    std::swap(a.strKey, b.strKey);
    changed();
    emit dataChanged(index(qMin(nRowA, nRowB)), index(qMax(nRowA, nRowB)),
                     {Qt::DisplayRole, Qt::DecorationRole});
}
