#include "DlgControl.h"
#include "ui_DlgControl.h"

#include <QMenu>

CDlgControl::CDlgControl(QWidget *parent) : QWidget(parent), ui(new Ui::CDlgControl)
{
    ui->setupUi(this);
    // A child of the main window, placed in its coordinates.
    setWindowFlags(Qt::WindowStaysOnTopHint);

    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setBrush(QPalette::Window, QBrush(QColor(100, 100, 100, 255)));
    setPalette(pal);

    auto *pMenu = new QMenu(ui->btnMenu);
    pMenu->addAction(ui->actionOptions);
    pMenu->addAction(ui->actionAbout);
    ui->btnMenu->setMenu(pMenu);

    m_bMuted = false;
    m_bPlaying = false;
    ui->sliderProgress->hide();

    connect(ui->actionOptions, &QAction::triggered, this, &CDlgControl::clickActionOptions);
    connect(ui->actionAbout, &QAction::triggered, this, &CDlgControl::clickActionAbout);
    connect(ui->btnFullScreen, &QPushButton::clicked, this, &CDlgControl::clickFullScreen);
    connect(ui->btnNext, &QPushButton::clicked, this, &CDlgControl::clickNext);
    connect(ui->btnPrev, &QPushButton::clicked, this, &CDlgControl::clickPrevious);
    connect(ui->btnPlay, &QPushButton::clicked, this, &CDlgControl::clickPlay);
    connect(ui->btnChannelList, &QPushButton::clicked, this, &CDlgControl::clickShowChannelList);
    connect(ui->btnMute, &QPushButton::clicked, this, &CDlgControl::clickMute);
    connect(ui->sliderVolume, &QSlider::valueChanged, this, &CDlgControl::moveVolume);
    connect(ui->sliderProgress, &QSlider::valueChanged, this, &CDlgControl::moveProgress);
}

CDlgControl::~CDlgControl()
{
    delete ui;
}

void CDlgControl::setVolume(int value)
{
    ui->sliderVolume->setValue(value);
}

int CDlgControl::volume() const
{
    return ui->sliderVolume->value();
}

void CDlgControl::setMuted(bool bMuted)
{
    if (bMuted == m_bMuted)
        return;
    m_bMuted = bMuted;
    ui->btnMute->setIcon(QIcon(bMuted ? QStringLiteral(":/res/volume_mute.png")
                                      : QStringLiteral(":/res/volume.png")));
}

void CDlgControl::setPlaying(bool bPlaying)
{
    if (bPlaying == m_bPlaying)
        return;
    m_bPlaying = bPlaying;
    ui->btnPlay->setIcon(
        QIcon(bPlaying ? QStringLiteral(":/res/stop.png") : QStringLiteral(":/res/play.png")));
}

void CDlgControl::setPrevNextEnabled(bool bNext, bool bPrev)
{
    ui->btnNext->setEnabled(bNext);
    ui->btnPrev->setEnabled(bPrev);
}
