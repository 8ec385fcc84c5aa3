#include "GuideSourcesEditor.h"

#include "guide/GuideSources.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

GuideSourcesEditor::GuideSourcesEditor(QWidget *parent) : QGroupBox(tr("Programme guide"), parent)
{
    setObjectName(QStringLiteral("groupGuide"));
    m_pList = new QListWidget(this);
    m_pList->setObjectName(QStringLiteral("listGuideAddresses"));
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setMaximumHeight(90);
    m_pEdit = new QLineEdit(this);
    m_pEdit->setObjectName(QStringLiteral("editGuideAddress"));
    m_pEdit->setPlaceholderText(tr("Guide address (http, https or a file)"));
    m_pAdd = new QPushButton(tr("Add"), this);
    m_pAdd->setObjectName(QStringLiteral("btnAddGuide"));
    m_pRemove = new QPushButton(tr("Remove"), this);
    m_pRemove->setObjectName(QStringLiteral("btnRemoveGuide"));

    auto *pLayout = new QGridLayout(this);
    pLayout->addWidget(m_pList, 0, 0, 1, 2);
    pLayout->addWidget(m_pRemove, 0, 2, Qt::AlignTop);
    pLayout->addWidget(m_pEdit, 1, 0, 1, 2);
    pLayout->addWidget(m_pAdd, 1, 2);

    connect(m_pEdit, &QLineEdit::textChanged, this, &GuideSourcesEditor::updateButtons);
    connect(m_pEdit, &QLineEdit::returnPressed, this, &GuideSourcesEditor::add);
    connect(m_pAdd, &QPushButton::clicked, this, &GuideSourcesEditor::add);
    connect(m_pRemove, &QPushButton::clicked, this, &GuideSourcesEditor::removeSelected);
    connect(m_pList, &QListWidget::itemSelectionChanged, this, &GuideSourcesEditor::updateButtons);
    updateButtons();
}

void GuideSourcesEditor::setAddresses(const QStringList &lstAddresses)
{
    m_pList->clear();
    m_pList->addItems(lstAddresses);
    updateButtons();
}

QStringList GuideSourcesEditor::addresses() const
{
    QStringList lst;
    for (int i = 0; i < m_pList->count(); ++i)
        lst << m_pList->item(i)->text();
    return lst;
}

void GuideSourcesEditor::add()
{
    const QString strAddress = GuideSources::normalised(m_pEdit->text());
    if (strAddress.isEmpty())
        return;
    if (!addresses().contains(strAddress))
        m_pList->addItem(strAddress);
    m_pEdit->clear();
}

void GuideSourcesEditor::removeSelected()
{
    qDeleteAll(m_pList->selectedItems());
    updateButtons();
}

void GuideSourcesEditor::updateButtons()
{
    m_pAdd->setEnabled(!GuideSources::normalised(m_pEdit->text()).isEmpty());
    m_pRemove->setEnabled(!m_pList->selectedItems().isEmpty());
}
