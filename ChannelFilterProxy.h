#pragma once

#include <QSortFilterProxyModel>

class ChannelListModel;

// The rows of a channel list whose name holds the text the user typed, in
// list order; all rows while the text is empty. Names are compared by their
// search keys (ChannelSearchKey), folded once when the channel was made.
class ChannelFilterProxy : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit ChannelFilterProxy(ChannelListModel *pChannels, QObject *parent = nullptr);

    void setFilterText(const QString &strText);
    QString filterText() const { return m_strText; }
    bool isFiltering() const { return !m_strFolded.isEmpty(); }
    ChannelListModel *channels() const { return m_pChannels; }

protected:
    bool filterAcceptsRow(int nSourceRow, const QModelIndex &sourceParent) const override;

private:
    ChannelListModel *m_pChannels;
    QString m_strText;
    QString m_strFolded;
};
