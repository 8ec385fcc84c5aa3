// The second reference of the whole-program benchmarks: what any Qt Widgets
// program pays to show a stream through libVLC, before any of the player's
// own work. One black top-level widget with a native child the size of the
// player's video area, a QNetworkAccessManager (the player has one), and
// libVLC made with the player's arguments, playing into the child once Qt has
// made its window (as a program must that builds its window with Qt first).
// Like the player, it runs on xcb without Qt's OpenGL support. It plays until
// it is closed or killed.
//
//   bench_qtrefplayer URL [WIDTH HEIGHT]
#include "refplay.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QWidget>

#include <vlc/vlc.h>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s URL [WIDTH HEIGHT]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    const int nWidth = argc == 4 ? QByteArray(argv[2]).toInt() : 800;
    const int nHeight = argc == 4 ? QByteArray(argv[3]).toInt() : 450;

    QWidget window;
    window.setWindowTitle(QStringLiteral("qtrefplayer"));
    window.resize(nWidth, nHeight);
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, Qt::black);
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    QWidget surface(&window);
    surface.setAttribute(Qt::WA_NativeWindow);
    surface.resize(nWidth, nHeight);
    QNetworkAccessManager network;
    window.show();

    const char *const args[] = {"--no-ignore-config", "--media-library"};
    libvlc_instance_t *instance = libvlc_new(2, args);
    if (!instance) {
        std::fprintf(stderr, "qtrefplayer: libvlc_new failed\n");
        return 1;
    }
    libvlc_media_player_t *player = playInto(instance, argv[1], uint32_t(surface.winId()));

    const int nResult = app.exec();
    libvlc_media_player_stop(player);
    libvlc_media_player_release(player);
    libvlc_release(instance);
    return nResult;
}
