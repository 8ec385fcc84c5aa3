#pragma once

#include <QMainWindow>

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Start-up placement: centred on the desktop rectangle, integer division
    // truncated toward zero, never clamped.
    static QRect centredGeometry(const QRect &rcDesktop, int nWidth, int nHeight);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Ui::MainWindow *ui;
};
