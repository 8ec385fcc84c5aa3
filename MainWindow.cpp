#include "MainWindow.h"
#include "Settings.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
}

MainWindow::~MainWindow()
{
    delete ui;
}

QRect MainWindow::centredGeometry(const QRect &rcDesktop, int nWidth, int nHeight)
{
    return QRect((rcDesktop.width() - nWidth) / 2, (rcDesktop.height() - nHeight) / 2, nWidth,
                 nHeight);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    g_pSettings->setMainWindowMaximized(isMaximized());
    if (!isMaximized() && !isFullScreen()) {
        g_pSettings->setMainWindowWidth(width());
        g_pSettings->setMainWindowHeight(height());
    }
    event->accept();
}
