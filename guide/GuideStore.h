#pragma once

#include "GuideTypes.h"

#include <QStringList>

// The guides in memory, one per address, and the lookup of what is on. A
// channel's tvg-id is looked for first, in every guide in address order,
// then its name.
class GuideStore
{
public:
    GuideStore() = default;
    ~GuideStore();
    GuideStore(const GuideStore &) = delete;
    GuideStore &operator=(const GuideStore &) = delete;

    // The addresses in the order their guides are asked; guides of others
    // are dropped.
    void setAddresses(const QStringList &lstAddresses);
    QStringList addresses() const { return m_lstAddresses; }
    // Puts a guide in place of the one the address had (an address not in
    // the list is ignored).
    void setGuide(const QString &strAddress, qint64 nFetched, GuideChannels channels);
    bool hasGuide(const QString &strAddress) const { return m_hashGuides.contains(strAddress); }
    // When the address's guide was read (0: never).
    qint64 fetchedAt(const QString &strAddress) const;
    bool isEmpty() const { return m_hashGuides.isEmpty(); }

    GuideNowNext nowNext(const QString &strName, const QString &strTvgId, qint64 nAt) const;

private:
    struct Guide
    {
        qint64 nFetched = 0;
        GuideChannels channels;
    };
    static void release(GuideChannels channels);
    const GuideSchedule *find(const QString &strKey) const;

    QStringList m_lstAddresses;
    QHash<QString, Guide> m_hashGuides;
};
