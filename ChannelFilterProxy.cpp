#include "ChannelFilterProxy.h"

#include "ChannelListModel.h"
#include "ChannelSearchKey.h"

ChannelFilterProxy::ChannelFilterProxy(ChannelListModel *pChannels, QObject *parent)
    : QSortFilterProxyModel(parent), m_pChannels(pChannels)
{
    setSourceModel(pChannels);
}

void ChannelFilterProxy::setFilterText(const QString &strText)
{
    if (strText == m_strText)
        return;
    m_strText = strText;
    const QString strFolded = ChannelSearchKey::fold(strText);
    if (strFolded == m_strFolded)
        return;
    m_strFolded = strFolded;
    // A full rebuild of the mapping: on a large list it costs a few
    // milliseconds, where removing and inserting the changed ranges one by
    // one (invalidateFilter) takes seconds once a row is current.
    invalidate();
}

bool ChannelFilterProxy::filterAcceptsRow(int nSourceRow, const QModelIndex &sourceParent) const
{
    Q_UNUSED(sourceParent)
    return ChannelSearchKey::matches(m_pChannels->searchKey(nSourceRow), m_strFolded);
}
