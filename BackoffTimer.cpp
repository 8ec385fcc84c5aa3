#include "BackoffTimer.h"

CBackoffTimer::CBackoffTimer(int nFirstMs, int nLongestMs, QObject *parent)
    : QObject(parent), m_nFirstMs(nFirstMs), m_nLongestMs(nLongestMs), m_nNextMs(nFirstMs)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CBackoffTimer::due);
}

void CBackoffTimer::setIntervals(int nFirstMs, int nLongestMs)
{
    m_nFirstMs = nFirstMs;
    m_nLongestMs = nLongestMs;
    m_nNextMs = nFirstMs;
}

void CBackoffTimer::failed()
{
    if (m_timer.isActive())
        return;
    ++m_nFailures;
    m_timer.start(m_nNextMs);
    m_nNextMs = qMin(2 * m_nNextMs, m_nLongestMs);
}

void CBackoffTimer::succeeded()
{
    m_timer.stop();
    m_nFailures = 0;
    m_nNextMs = m_nFirstMs;
}

void CBackoffTimer::cancel()
{
    m_timer.stop();
}
