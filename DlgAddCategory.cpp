#include "DlgAddCategory.h"
#include "ui_DlgAddCategory.h"

#include <QDebug>
#include <QMessageBox>
#include <QTabWidget>

CDlgAddCategory::CDlgAddCategory(QWidget *parent) : QDialog(parent), ui(new Ui::CDlgAddCategory)
{
    ui->setupUi(this);
}

CDlgAddCategory::~CDlgAddCategory()
{
    delete ui;
}

void CDlgAddCategory::init(QTabWidget *tabs, int index)
{
    m_pTabs = tabs;
    m_nIndex = index;
    if (index < 0) {
        setWindowTitle(tr("Add category"));
    } else {
        if (tabs && index < tabs->count())
            ui->editName->setText(tabs->tabText(index));
        setWindowTitle(tr("Edit category"));
    }
}

void CDlgAddCategory::on_buttonBox_accepted()
{
    const QString strName = ui->editName->text().trimmed();
    if (strName.isEmpty()) {
        refuse(tr("Category name is empty."));
        return;
    }
    if (isNameInUse(strName)) {
        refuse(tr("Category name is in use."));
        return;
    }
    if (m_nIndex < 0) {
        emit newTab(strName, true);
        accept();
        return;
    }
    // The tab may have gone while the dialog was open; rename nothing then.
    if (!m_pTabs || m_nIndex >= m_pTabs->count()) {
        qDebug() << "category to rename no longer exists:" << m_nIndex;
        reject();
        return;
    }
    m_pTabs->setTabText(m_nIndex, strName);
    accept();
}

void CDlgAddCategory::on_buttonBox_rejected()
{
    reject();
}

bool CDlgAddCategory::isNameInUse(const QString &strName) const
{
    if (!m_pTabs)
        return false;
    // Every tab counts, the "Newly" one included; in edit mode the tab being
    // renamed may keep its own name.
    for (int i = 0; i < m_pTabs->count(); ++i) {
        if (i != m_nIndex && m_pTabs->tabText(i) == strName)
            return true;
    }
    return false;
}

void CDlgAddCategory::refuse(const QString &strText)
{
    QMessageBox::warning(this, tr("Error"), strText, QMessageBox::Ok, QMessageBox::NoButton);
}
