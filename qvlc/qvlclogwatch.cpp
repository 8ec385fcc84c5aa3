#include "qvlclogwatch.h"
#include "qvlcinstance.h"
#include "qvlclog.h"

#include <QByteArray>

#include <cstdio>
#include <cstring>

#include <vlc/vlc.h>

namespace {

// The status of "HTTP 404 error" (the http access) or of "error: HTTP/1.1 404
// Not Found" (the older http module); 0 when the text names none.
int httpStatus(const char *text)
{
    int nStatus = 0;
    if (std::sscanf(text, "HTTP %d error", &nStatus) == 1)
        return nStatus;
    const char *pszLine = std::strstr(text, "HTTP/1.");
    if (pszLine && std::sscanf(pszLine, "HTTP/1.%*d %d", &nStatus) == 1)
        return nStatus;
    return 0;
}

bool startsWith(const char *text, const char *prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

} // namespace

QVlcLogWatch::QVlcLogWatch(QVlcInstance *instance)
{
    if (!instance || !instance->core())
        return;
    m_pInstance = instance->core();
    libvlc_log_set(m_pInstance, callback, this);
}

QVlcLogWatch::~QVlcLogWatch()
{
    // Waits for a callback in progress.
    if (m_pInstance)
        libvlc_log_unset(m_pInstance);
}

void QVlcLogWatch::reset()
{
    m_nFault.storeRelease(NoFault);
    m_nReloaded.storeRelease(0);
    m_nReloadFailing.storeRelease(0);
}

QVlcLogWatch::Fault QVlcLogWatch::fault() const
{
    return static_cast<Fault>(m_nFault.loadAcquire());
}

bool QVlcLogWatch::playlistReloaded() const
{
    return m_nReloaded.loadAcquire() != 0;
}

bool QVlcLogWatch::reloadFailing() const
{
    return m_nReloadFailing.loadAcquire() != 0;
}

void QVlcLogWatch::callback(void *data, int level, const vlc_log_t *ctx, const char *fmt,
                            va_list args)
{
    const char *pszModule = nullptr;
    const char *pszFile = nullptr;
    unsigned nLine = 0;
    libvlc_log_get_context(ctx, &pszModule, &pszFile, &nLine);
    if (!pszModule)
        pszModule = "";
    const char *pszObject = nullptr;
    const char *pszHeader = nullptr;
    uintptr_t nId = 0;
    libvlc_log_get_object(ctx, &pszObject, &pszHeader, &nId);
    if (!pszObject)
        pszObject = "";
    // libVLC logs a great deal at debug level; of that only the adaptive
    // streaming module's lines are read, and the rest is not even formatted
    // unless someone asked for it.
    const bool bRead = level >= LIBVLC_WARNING || std::strcmp(pszModule, "adaptive") == 0;
    const bool bForward =
        level == LIBVLC_ERROR ? lcQVlcLibVlc().isInfoEnabled() : lcQVlcLibVlc().isDebugEnabled();
    if (!bRead && !bForward)
        return;

    char szText[512];
    std::vsnprintf(szText, sizeof szText, fmt, args);
    static_cast<QVlcLogWatch *>(data)->take(level, pszModule, pszObject, szText);
    if (level == LIBVLC_ERROR)
        qCInfo(lcQVlcLibVlc, "%s: %s", pszModule, szText);
    else if (bForward)
        qCDebug(lcQVlcLibVlc, "%s: %s", pszModule, szText);
}

void QVlcLogWatch::take(int level, const char *module, const char *object, const char *text)
{
    // A live playlist is fetched again every target duration; a finished one
    // never. libVLC says so at debug level when it worked, as a warning when
    // it did not (and then that it gives up).
    if (std::strcmp(module, "adaptive") == 0) {
        const bool bUpdated = startsWith(text, "Updated playlist");
        if (bUpdated || startsWith(text, "Failed to update") ||
            startsWith(text, "Could not update")) {
            m_nReloaded.storeRelease(1);
            m_nReloadFailing.storeRelease(bUpdated ? 0 : 1);
            return;
        }
    }
    // Faults are read from the stream objects (the access modules, which
    // connect and speak HTTP) only: other parts use words such as "cannot
    // connect" for things that have nothing to do with the stream.
    if (level < LIBVLC_WARNING || std::strcmp(object, "stream") != 0)
        return;

    Fault fault = NoFault;
    const int nStatus = httpStatus(text);
    if (nStatus == 404 || nStatus == 410)
        fault = NotFound;
    else if (nStatus >= 400)
        fault = HttpError;
    else if (startsWith(text, "cannot connect") || startsWith(text, "connection failed") ||
             startsWith(text, "cannot resolve") || startsWith(text, "HTTP connection failure"))
        fault = CannotConnect;
    // The first fault is the cause; what follows is libVLC giving up.
    if (fault != NoFault)
        m_nFault.testAndSetOrdered(NoFault, fault);
}
