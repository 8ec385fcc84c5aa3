#pragma once

#include <QDeadlineTimer>
#include <QMutex>
#include <QWaitCondition>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

// QMutexLocker that also tells ThreadSanitizer about the lock. Qt 5's QMutex
// waits inside the (uninstrumented) Qt library when it is contended, where the
// sanitizer cannot see the ordering it gives; in sanitizer builds the locker
// states that ordering itself. Elsewhere it is a plain QMutexLocker.
class QVlcMutexLocker
{
public:
    explicit QVlcMutexLocker(QMutex *mutex) : m_mutex(mutex) { relock(); }
    ~QVlcMutexLocker()
    {
        if (m_bLocked)
            unlock();
    }
    QVlcMutexLocker(const QVlcMutexLocker &) = delete;
    QVlcMutexLocker &operator=(const QVlcMutexLocker &) = delete;

    void unlock()
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_release(m_mutex);
#endif
        m_mutex->unlock();
        m_bLocked = false;
    }
    void relock()
    {
        m_mutex->lock();
#if defined(__SANITIZE_THREAD__)
        __tsan_acquire(m_mutex);
#endif
        m_bLocked = true;
    }
    // Waits on the condition with the mutex held (QWaitCondition::wait()),
    // which lets go of the mutex meanwhile; false when the deadline passed.
    bool wait(QWaitCondition &condition, QDeadlineTimer deadline = QDeadlineTimer::Forever)
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_release(m_mutex);
#endif
        const bool bWoken = condition.wait(m_mutex, deadline);
#if defined(__SANITIZE_THREAD__)
        __tsan_acquire(m_mutex);
#endif
        return bWoken;
    }

private:
    QMutex *m_mutex;
    bool m_bLocked = false;
};
