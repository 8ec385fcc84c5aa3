#include "DlgAddVideoItem.h"
#include "ui_DlgAddVideoItem.h"

#include "ChannelListModel.h"

#include <QDebug>
#include <QMessageBox>

CDlgAddVideoItem::CDlgAddVideoItem(QWidget *parent) : QDialog(parent), ui(new Ui::CDlgAddVideoItem)
{
    ui->setupUi(this);
}

CDlgAddVideoItem::~CDlgAddVideoItem()
{
    delete ui;
}

void CDlgAddVideoItem::init(ChannelListModel *channels, int row)
{
    m_pChannels = channels;
    m_nRow = row;
    if (row < 0) {
        setWindowTitle(tr("Add Channel"));
        return;
    }
    if (channels && row < channels->count()) {
        ui->editChannelName->setText(channels->record(row).strName);
        ui->editChannelUrl->setText(channels->record(row).strUrl);
    }
    setWindowTitle(tr("Edit Channel"));
}

void CDlgAddVideoItem::on_buttonBox_accepted()
{
    const QString strName = ui->editChannelName->text().trimmed();
    const QString strUrl = ui->editChannelUrl->text().trimmed();
    if (strName.isEmpty()) {
        refuse(tr("Channel name is empty."));
        return;
    }
    if (strUrl.isEmpty()) {
        refuse(tr("Channel url is empty."));
        return;
    }

    if (!m_pChannels) {
        qDebug() << "channel list to edit no longer exists";
        reject();
        return;
    }

    if (m_nRow < 0) {
        // Added to the list this dialog was opened for, even if another tab
        // has become current meanwhile (a "Newly" refresh can switch tabs).
        VideoItem rec;
        rec.strName = strName;
        rec.strUrl = strUrl;
        m_pChannels->append(rec);
        accept();
        return;
    }

    if (m_nRow >= m_pChannels->count()) {
        qDebug() << "channel to edit no longer exists:" << m_nRow;
        reject();
        return;
    }
    // Logo and tooltip stay as they were made.
    m_pChannels->setNameAndUrl(m_nRow, strName, strUrl);
    accept();
}

void CDlgAddVideoItem::on_buttonBox_rejected()
{
    reject();
}

void CDlgAddVideoItem::refuse(const QString &strText)
{
    QMessageBox::warning(this, tr("Error"), strText, QMessageBox::Ok, QMessageBox::NoButton);
}
