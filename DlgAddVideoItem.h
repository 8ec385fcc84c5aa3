#pragma once

#include <QDialog>
#include <QPointer>

class QListWidget;

namespace Ui {
class CDlgAddVideoItem;
}

// Asks for a channel's name and stream URL; in add mode it appends the channel
// to the channel list (its parent), in edit mode it rewrites the given row.
class CDlgAddVideoItem : public QDialog
{
    Q_OBJECT

public:
    // parent must be the channel list (CDlgVideoList), whose addChannel adds.
    explicit CDlgAddVideoItem(QWidget *parent);
    ~CDlgAddVideoItem() override;

    // row -1: add a channel; otherwise the row of list to edit.
    void init(QListWidget *list, int row);

public slots:
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

private:
    void refuse(const QString &strText);

    Ui::CDlgAddVideoItem *ui;
    QPointer<QListWidget> m_pList;
    int m_nRow = -1;
};
