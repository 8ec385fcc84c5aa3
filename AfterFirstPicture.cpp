#include "AfterFirstPicture.h"

void CAfterFirstPicture::run(std::function<void()> work)
{
    if (m_bHolding)
        m_lstHeld.append(std::move(work));
    else
        work();
}

void CAfterFirstPicture::release()
{
    m_bHolding = false;
    // Taken first: work may run() more.
    const QList<std::function<void()>> lstHeld = std::move(m_lstHeld);
    m_lstHeld.clear();
    for (const std::function<void()> &work : lstHeld)
        work();
}

void CAfterFirstPicture::drop()
{
    m_bHolding = false;
    m_lstHeld.clear();
}
