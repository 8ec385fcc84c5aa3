#include "EarlyPlay.h"
#include "MainWindow.h"
#include "Settings.h"
#include "StartupTrace.h"

#include <QApplication>
#include <QDesktopWidget>

#include <clocale>
#include <limits>

int main(int argc, char *argv[])
{
    CStartupTrace::start();
#ifdef Q_OS_LINUX
    // libVLC can put its video only into an X11 window, so run on xcb (XWayland
    // on a Wayland desktop) unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // The widgets are drawn in software; only libVLC draws with OpenGL, and it
    // loads its own. Qt's GLX support would load the GL driver on the GUI
    // thread while the window is made (with a software driver all of LLVM,
    // some 40 ms before the video surface has its window, and more memory).
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
#endif
    // Qt's network stack polls the network interfaces every 10 s for as long
    // as the program runs; the player never asks what they are.
    if (qEnvironmentVariableIsEmpty("QT_BEARER_POLL_TIMEOUT"))
        qputenv("QT_BEARER_POLL_TIMEOUT", QByteArray::number(std::numeric_limits<int>::max()));
    // The settings come first: when auto-play will start a channel, libVLC's
    // engine is made on the playback worker at once, while Qt starts up (the
    // order of start-up is in ThreadVlc.h). Whatever changes the process's
    // environment or locale is done before that thread starts: QApplication
    // sets the locale from the environment, and its call then changes nothing
    // under the worker. The channel lists of a big store are read in the
    // background while the window comes up.
    std::setlocale(LC_ALL, "");
    CSettings settings(QStringLiteral("Mirel Software"), QStringLiteral("Mirel Player"),
                       CSettings::ChannelLists::ReadInBackground);
    g_pSettings = &settings;
    CStartupTrace::mark(CStartupTrace::SettingsLoaded);
    CEarlyPlay::startWorker(settings);

    QApplication app(argc, argv);
    CStartupTrace::mark(CStartupTrace::AppMade);
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath());

    MainWindow window;
    CStartupTrace::mark(CStartupTrace::WindowConstructed);
    const int nHeight = g_pSettings->m_nMainWindowHeight;
    const int nWidth = g_pSettings->m_nMainWindowWidth;
    window.setGeometry(
        MainWindow::centredGeometry(QApplication::desktop()->geometry(), nWidth, nHeight));
    if (g_pSettings->m_bMainWindowMaximized)
        window.showMaximized();
    else
        window.show();
    CStartupTrace::mark(CStartupTrace::WindowShown);

    return app.exec();
}
