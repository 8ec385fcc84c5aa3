#include "StartupTrace.h"
#include "Log.h"

#include <QFile>

#include <atomic>
#include <chrono>

#ifdef Q_OS_LINUX
#include <ctime>
#include <unistd.h>
#endif

namespace {

// Nanoseconds on the monotonic clock at each phase; 0 while not reached.
std::atomic<qint64> s_phaseNs[CStartupTrace::PhaseCount];

qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// How long ago the process started, from the kernel's record of it (in clock
// ticks since boot, so 10 ms steps); -1 when it cannot be read.
qint64 nsSinceProcessStart()
{
#ifdef Q_OS_LINUX
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The command name in parentheses may hold spaces; the fields after it
    // count from the last ')'. starttime is field 22, the 20th after it.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return -1;
    bool bOk = false;
    const qint64 nTicks = fields.at(19).toLongLong(&bOk);
    const long nHz = sysconf(_SC_CLK_TCK);
    timespec ts;
    if (!bOk || nHz <= 0 || clock_gettime(CLOCK_BOOTTIME, &ts) != 0)
        return -1;
    const qint64 nNowNs = qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    return nNowNs - nTicks * (1000000000 / nHz);
#else
    return -1;
#endif
}

double msBetween(qint64 nFromNs, qint64 nToNs)
{
    return double(nToNs - nFromNs) / 1e6;
}

} // namespace

const char *CStartupTrace::name(Phase phase)
{
    static const char *const kNames[PhaseCount] = {
        "process start",     "main entered",   "settings loaded",    "worker started",
        "QApplication made", "play requested", "window constructed", "window shown",
        "instance made",     "media opened",   "first Playing"};
    return phase >= 0 && phase < PhaseCount ? kNames[phase] : "?";
}

void CStartupTrace::start()
{
    if (!lcStartup().isDebugEnabled())
        return;
    const qint64 nNow = monotonicNs();
    const qint64 nSinceStart = nsSinceProcessStart();
    s_phaseNs[ProcessStart].store(nSinceStart >= 0 ? nNow - nSinceStart : nNow);
    mark(MainEntered);
}

void CStartupTrace::mark(Phase phase)
{
    if (phase <= ProcessStart || phase >= PhaseCount || !lcStartup().isDebugEnabled())
        return;
    const qint64 nNow = monotonicNs();
    qint64 nUnset = 0;
    if (!s_phaseNs[phase].compare_exchange_strong(nUnset, nNow))
        return;
    const qint64 nStart = s_phaseNs[ProcessStart].load();
    if (!nStart)
        return;
    // The phase reached last before this one, whichever thread marked it.
    qint64 nPrevious = nStart;
    for (int i = ProcessStart + 1; i < PhaseCount; ++i) {
        const qint64 n = s_phaseNs[i].load();
        if (i != phase && n && n <= nNow && n > nPrevious)
            nPrevious = n;
    }
    qCDebug(lcStartup, "startup: %-18s %7.1f ms  (+%.1f)", name(phase), msBetween(nStart, nNow),
            msBetween(nPrevious, nNow));
    // The summary comes once every phase is reached: libVLC may play before
    // the window is finished.
    for (int i = ProcessStart + 1; i < PhaseCount; ++i) {
        if (!s_phaseNs[i].load())
            return;
    }
    static std::atomic<bool> s_bSummaryWritten{false};
    if (s_bSummaryWritten.exchange(true))
        return;
    QByteArray summary = "startup phases, ms since the process started:";
    for (int i = ProcessStart; i < PhaseCount; ++i) {
        const qint64 n = s_phaseNs[i].load();
        summary += ' ';
        summary += name(Phase(i));
        summary += '=';
        summary += n ? QByteArray::number(msBetween(nStart, n), 'f', 1) : QByteArray("-");
        if (i + 1 < PhaseCount)
            summary += ';';
    }
    qCDebug(lcStartup, "%s", summary.constData());
}
