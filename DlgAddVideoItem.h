#pragma once

#include <QDialog>
#include <QPointer>

class ChannelListModel;

namespace Ui {
class CDlgAddVideoItem;
}

// Asks for a channel's name and stream URL; in add mode it appends the channel
// to the given list, in edit mode it rewrites the given row of it.
class CDlgAddVideoItem : public QDialog
{
    Q_OBJECT

public:
    explicit CDlgAddVideoItem(QWidget *parent);
    ~CDlgAddVideoItem() override;

    // row -1: add a channel; otherwise the row of channels to edit.
    void init(ChannelListModel *channels, int row);

public slots:
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

private:
    void refuse(const QString &strText);

    Ui::CDlgAddVideoItem *ui;
    QPointer<ChannelListModel> m_pChannels;
    int m_nRow = -1;
};
