#pragma once

#include <QDialog>
#include <QPointer>

class QTabWidget;

namespace Ui {
class CDlgAddCategory;
}

// Asks for a category name; in add mode it asks the channel list for a new tab,
// in edit mode it renames an existing tab. Refused names keep the dialog open.
class CDlgAddCategory : public QDialog
{
    Q_OBJECT

public:
    explicit CDlgAddCategory(QWidget *parent);
    ~CDlgAddCategory() override;

    // index -1: add a category; otherwise the tab to rename.
    void init(QTabWidget *tabs, int index);

signals:
    void newTab(QString strCategoryName, bool bSetCurrent);

public slots:
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

private:
    bool isNameInUse(const QString &strName) const;
    void refuse(const QString &strText);

    Ui::CDlgAddCategory *ui;
    QPointer<QTabWidget> m_pTabs;
    int m_nIndex = -1;
};
