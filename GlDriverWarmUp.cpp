#include "GlDriverWarmUp.h"

#include <QCoreApplication>
#include <QDebug>
#include <QtGlobal>

#include <dlfcn.h>
#include <mutex>
#include <thread>

namespace {
// The calls needed, from libX11 and libGL, looked up at run time.
using OpenDisplayFn = void *(*)(const char *);
using CloseDisplayFn = int (*)(void *);
using DefaultScreenFn = int (*)(void *);
using QueryExtensionsStringFn = const char *(*)(void *, int);

std::mutex s_mutex;
bool s_bStarted = false;          // the loading runs once per process
std::thread *s_pThread = nullptr; // until finish() joins it
void *s_pDisplay = nullptr;
CloseDisplayFn s_closeDisplay = nullptr;

void loadDriver()
{
    // RTLD_NODELETE: the libraries stay mapped for libVLC, whatever happens
    // to this connection.
    void *pX11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    void *pGl = dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!pX11 || !pGl) {
        qDebug() << "OpenGL driver not loaded ahead: no libX11 or libGL";
        return;
    }
    const auto openDisplay = reinterpret_cast<OpenDisplayFn>(dlsym(pX11, "XOpenDisplay"));
    const auto closeDisplay = reinterpret_cast<CloseDisplayFn>(dlsym(pX11, "XCloseDisplay"));
    const auto defaultScreen = reinterpret_cast<DefaultScreenFn>(dlsym(pX11, "XDefaultScreen"));
    const auto queryExtensions =
        reinterpret_cast<QueryExtensionsStringFn>(dlsym(pGl, "glXQueryExtensionsString"));
    if (!openDisplay || !closeDisplay || !defaultScreen || !queryExtensions)
        return;
    void *pDisplay = openDisplay(nullptr);
    if (!pDisplay)
        return;
    // GLX sets up the display's screens on its first call, which loads and
    // starts the driver.
    queryExtensions(pDisplay, defaultScreen(pDisplay));
    const std::lock_guard<std::mutex> lock(s_mutex);
    s_pDisplay = pDisplay;
    s_closeDisplay = closeDisplay;
}
} // namespace

void CGlDriverWarmUp::start()
{
    if (qgetenv("QT_QPA_PLATFORM") != "xcb" || qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    const std::lock_guard<std::mutex> lock(s_mutex);
    if (s_bStarted)
        return;
    s_bStarted = true;
    s_pThread = new std::thread(loadDriver);
    // The thread must not be inside the driver while the program ends.
    qAddPostRoutine(&CGlDriverWarmUp::finish);
}

void CGlDriverWarmUp::finish()
{
    std::unique_lock<std::mutex> lock(s_mutex);
    std::thread *pThread = s_pThread;
    if (!pThread)
        return;
    // Taken by this caller: a second one finds nothing left to do.
    s_pThread = nullptr;
    lock.unlock();
    pThread->join();
    delete pThread;
    lock.lock();
    if (s_pDisplay && s_closeDisplay)
        s_closeDisplay(s_pDisplay);
    s_pDisplay = nullptr;
}
