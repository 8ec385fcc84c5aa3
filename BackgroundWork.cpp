#include "BackgroundWork.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace BackgroundWork {

QThreadPool *pool()
{
    // Its own threads, so that the priority they lower is theirs alone.
    static QThreadPool s_pool;
    return &s_pool;
}

void lowerPriority()
{
    // On Linux a nice value belongs to a thread; this one's own id names it.
    const auto tid = id_t(syscall(SYS_gettid));
    if (getpriority(PRIO_PROCESS, tid) < 10)
        setpriority(PRIO_PROCESS, tid, 10);
}

} // namespace BackgroundWork
