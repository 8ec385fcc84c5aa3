#pragma once

#include <QAtomicInt>

#include <cstdarg>

class QVlcInstance;
struct libvlc_instance_t;
struct vlc_log_t;

// Reads libVLC's log for what its API does not say: why a stream could not be
// opened (libVLC 3 only reports that an error happened, never an HTTP status
// or a refused connection) and whether libVLC keeps reloading the stream's
// playlist, which only a live HLS or DASH stream needs.
//
// Installing it takes libVLC's log away from its own console output: errors go
// on as info lines of the category "mirel.qvlc.libvlc", everything else as
// its debug lines (off by default).
//
// libVLC calls the log callback on any of its threads; the callback only
// formats and records. What it recorded may be read from any thread.
class QVlcLogWatch
{
public:
    enum Fault
    {
        NoFault = 0,
        CannotConnect = 1, // refused, unreachable, no such host
        NotFound = 2,      // HTTP 404 or 410
        HttpError = 3,     // any other HTTP status of 400 and above
    };

    // Installs the callback on the instance (nothing when it is invalid).
    // The watch must go before the instance.
    explicit QVlcLogWatch(QVlcInstance *instance);
    ~QVlcLogWatch();
    QVlcLogWatch(const QVlcLogWatch &) = delete;
    QVlcLogWatch &operator=(const QVlcLogWatch &) = delete;

    // Forgets what was read; the owner calls it as a new media starts.
    void reset();
    // The first fault logged since reset().
    Fault fault() const;
    // libVLC has reloaded the stream's playlist, or tried to, since reset().
    bool playlistReloaded() const;
    // The last reload of the live playlist failed (its source is gone or
    // failing); what libVLC has buffered still plays.
    bool reloadFailing() const;

private:
    static void callback(void *data, int level, const vlc_log_t *ctx, const char *fmt,
                         va_list args);
    void take(int level, const char *module, const char *object, const char *text);

    libvlc_instance_t *m_pInstance = nullptr; // not owned
    QAtomicInt m_nFault{NoFault};
    QAtomicInt m_nReloaded{0};
    QAtomicInt m_nReloadFailing{0};
};
