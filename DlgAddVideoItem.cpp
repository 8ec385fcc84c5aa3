#include "DlgAddVideoItem.h"
#include "ui_DlgAddVideoItem.h"

#include "DlgVideoList.h"

#include <QDebug>
#include <QListWidget>
#include <QMessageBox>
#include <QTabWidget>

CDlgAddVideoItem::CDlgAddVideoItem(QWidget *parent) : QDialog(parent), ui(new Ui::CDlgAddVideoItem)
{
    ui->setupUi(this);
}

CDlgAddVideoItem::~CDlgAddVideoItem()
{
    delete ui;
}

void CDlgAddVideoItem::init(QListWidget *list, int row)
{
    m_pList = list;
    m_nRow = row;
    if (row < 0) {
        setWindowTitle(tr("Add Channel"));
        return;
    }
    if (const VideoItem *rec = list ? videoItemOf(list->item(row)) : nullptr) {
        ui->editChannelName->setText(rec->strName);
        ui->editChannelUrl->setText(rec->strUrl);
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

    if (!m_pList) {
        qDebug() << "channel list to edit no longer exists";
        reject();
        return;
    }

    if (m_nRow < 0) {
        auto *pVideoList = qobject_cast<CDlgVideoList *>(parentWidget());
        if (!pVideoList) {
            qDebug() << "no channel list to add the channel to";
            reject();
            return;
        }
        // Add to the tab this dialog was opened for, even if another tab has
        // become current meanwhile (a "Newly" refresh can switch tabs).
        int nTab = -1;
        for (QWidget *pWidget = m_pList->parentWidget(); pWidget;
             pWidget = pWidget->parentWidget()) {
            if (auto *pTabs = qobject_cast<QTabWidget *>(pWidget)) {
                nTab = pTabs->indexOf(m_pList);
                break;
            }
        }
        pVideoList->addChannel(nTab, strName, strUrl, QString(), 0);
        accept();
        return;
    }

    QListWidgetItem *item = m_pList->item(m_nRow);
    VideoItem *rec = videoItemOf(item);
    if (!rec) {
        qDebug() << "channel to edit no longer exists:" << m_nRow;
        reject();
        return;
    }
    rec->strName = strName;
    rec->strUrl = strUrl;
    item->setText(strName); // logo and tooltip stay as they were made
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
