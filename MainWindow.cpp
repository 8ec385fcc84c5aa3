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
    g_pSettings->setMainWindowHeight(height());
    g_pSettings->setMainWindowWidth(width());
    event->accept();
}
