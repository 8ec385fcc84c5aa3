#include "MainWindow.h"
#include "Settings.h"
#include "StartupTrace.h"

#include <QApplication>
#include <QDesktopWidget>

int main(int argc, char *argv[])
{
    CStartupTrace::start();
#ifdef Q_OS_LINUX
    // libVLC can put its video only into an X11 window, so run on xcb (XWayland
    // on a Wayland desktop) unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
#endif
    QApplication app(argc, argv);
    CStartupTrace::mark(CStartupTrace::AppMade);
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath());

    // The channel lists of a big store are read while the window comes up.
    CSettings settings(QStringLiteral("Mirel Software"), QStringLiteral("Mirel Player"),
                       CSettings::ChannelLists::ReadInBackground);
    g_pSettings = &settings;
    CStartupTrace::mark(CStartupTrace::SettingsLoaded);

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
