#pragma once

#include <QObject>
#include <QTimer>

// Waits longer after each failure before the next try: the first interval,
// then twice as long each time up to the longest, which then repeats. A
// success starts the series again from the first interval.
class CBackoffTimer : public QObject
{
    Q_OBJECT

public:
    CBackoffTimer(int nFirstMs, int nLongestMs, QObject *parent = nullptr);

    void setIntervals(int nFirstMs, int nLongestMs);
    // A try failed: the next one is due after the current interval, which
    // then doubles. Nothing when a try is already due.
    void failed();
    // A try worked: nothing is due, and the next failure waits the first
    // interval again.
    void succeeded();
    // Nothing is due; the series goes on where it was.
    void cancel();

    bool isPending() const { return m_timer.isActive(); }
    // How many tries have failed since the last success.
    int failures() const { return m_nFailures; }
    // The wait the next failure will get.
    int nextIntervalMs() const { return m_nNextMs; }

signals:
    // The wait is over: time for the next try.
    void due();

private:
    QTimer m_timer;
    int m_nFirstMs;
    int m_nLongestMs;
    int m_nNextMs;
    int m_nFailures = 0;
};
