#include "GuideStore.h"

#include "BackgroundWork.h"

GuideStore::~GuideStore()
{
    for (Guide &guide : m_hashGuides)
        release(std::move(guide.channels));
}

// A guide of ten thousand channels is a few hundred thousand strings: it is
// freed on a worker thread, not on the GUI thread that replaces it.
void GuideStore::release(GuideChannels channels)
{
    if (channels.size() > 100)
        BackgroundWork::release(std::move(channels));
}

void GuideStore::setAddresses(const QStringList &lstAddresses)
{
    m_lstAddresses = lstAddresses;
    for (auto it = m_hashGuides.begin(); it != m_hashGuides.end();) {
        if (lstAddresses.contains(it.key())) {
            ++it;
        } else {
            release(std::move(it->channels));
            it = m_hashGuides.erase(it);
        }
    }
}

void GuideStore::setGuide(const QString &strAddress, qint64 nFetched, GuideChannels channels)
{
    if (!m_lstAddresses.contains(strAddress))
        return;
    Guide &guide = m_hashGuides[strAddress];
    release(std::move(guide.channels));
    guide.nFetched = nFetched;
    guide.channels = std::move(channels);
}

qint64 GuideStore::fetchedAt(const QString &strAddress) const
{
    return m_hashGuides.value(strAddress).nFetched;
}

const GuideSchedule *GuideStore::find(const QString &strKey) const
{
    for (const QString &strAddress : m_lstAddresses) {
        const auto itGuide = m_hashGuides.constFind(strAddress);
        if (itGuide == m_hashGuides.constEnd())
            continue;
        const auto it = itGuide->channels.constFind(strKey);
        if (it != itGuide->channels.constEnd())
            return &it.value();
    }
    return nullptr;
}

GuideNowNext GuideStore::nowNext(const QString &strName, const QString &strTvgId, qint64 nAt) const
{
    if (m_hashGuides.isEmpty())
        return GuideNowNext();
    const GuideSchedule *pSchedule = nullptr;
    if (!strTvgId.isEmpty())
        pSchedule = find(GuideKeys::forTvgId(strTvgId));
    if (!pSchedule && !strName.isEmpty())
        pSchedule = find(GuideKeys::forName(strName));
    return pSchedule ? guideNowNext(*pSchedule, nAt) : GuideNowNext();
}
