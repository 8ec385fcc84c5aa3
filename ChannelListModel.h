#pragma once

#include "VideoItem.h"

#include <QAbstractListModel>
#include <QStringList>
#include <QVector>

// The channels of one tab of the channel list, held by value. A view asks for
// what it shows, so text, tooltip and logo are made only for rows on screen.
// The logo and the tooltip of a row are chosen from the name it was made with
// and from its position then; editing or moving a channel changes only its
// name and URL, as the user sees in the list until the next start. A channel
// with a logo of its own (from a playlist) shows that once LogoFetcher has it.
class ChannelListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    struct Row
    {
        VideoItem rec;
        QString strMadeAs; // the name the row was made with: tooltip and logo
        int nMadeAt = 0;   // the rows the list held when it was made: logo
        QString strKey;    // ChannelSearchKey::fold(rec.strName)
    };
    // Rows with their stored form; pure values, so they may be made on any
    // thread and handed to the model of the GUI thread afterwards.
    struct Rows
    {
        QVector<Row> vecRows;
        QStringList lstTriples;
        QStringList lstDetails;     // the rows' ChannelDetails
        bool bDetailsKnown = false; // lstDetails was made with the rows
    };

    enum Roles
    {
        // The channel's tvg-id (a playlist's), by which a programme guide
        // finds it before its name.
        TvgIdRole = Qt::UserRole + 1
    };

    explicit ChannelListModel(QObject *parent = nullptr);
    ~ChannelListModel() override;

    // A list read back from its stored form, channel triples (name, URL, score
    // in base 10): the last, incomplete channel of a list whose length is not
    // a multiple of three is kept with what it has; a score that is not a
    // number is 0. lstDetails (ChannelDetails) gives the channels theirs.
    static Rows rowsFromTriples(const QStringList &lstTriples,
                                const QStringList &lstDetails = QStringList());
    // Rows made from records in this order, as if appended one by one to a
    // list of nMadeAt rows.
    static Rows rowsFromRecords(const QVector<VideoItem> &vecRecords, int nMadeAt = 0);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    int count() const { return m_vecRows.size(); }
    const VideoItem &record(int nRow) const { return m_vecRows.at(nRow).rec; }
    const QString &searchKey(int nRow) const { return m_vecRows.at(nRow).strKey; }
    // The first row whose name is exactly strName, or -1.
    int findName(const QString &strName) const;
    // The stored form of the list, made again only after a change.
    QStringList triples() const;
    // What is stored beside the triples (ChannelDetails), likewise.
    QStringList details() const;
    // All rows, shared: a copy costs nothing until one side changes.
    QVector<Row> rows() const { return m_vecRows; }

    void setRows(Rows rows);
    void clear() { setRows(Rows()); }
    void append(const VideoItem &rec);
    // Appends rows made by rowsFromRecords(..., count()), in one insertion.
    void appendRows(Rows rows);
    // Removes the given rows (in any order, duplicates allowed).
    void removeRowsAt(QVector<int> vecRows);
    // A new URL typed by the user makes the channel the user's own.
    void setNameAndUrl(int nRow, const QString &strName, const QString &strUrl);
    // Name and URL change places, and with the URL what belongs to it
    // (origin, logo, stream options); the rest of each row stays where it is.
    void swapNameAndUrl(int nRowA, int nRowB);

private:
    static Row makeRow(const VideoItem &rec, int nMadeAt);
    static void releaseLater(Rows rows);
    void changed();

    QVector<Row> m_vecRows;
    mutable QStringList m_lstTriples;
    mutable bool m_bTriplesValid = true;
    mutable QStringList m_lstDetails;
    mutable bool m_bDetailsValid = true;
};
