#include "DlgVideoList.h"
#include "ui_DlgVideoList.h"

#include "DlgAddCategory.h"
#include "DlgAddVideoItem.h"
#include "Settings.h"
#include "VideoLogo.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDebug>
#include <QHBoxLayout>
#include <QHash>
#include <QIcon>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>

// The pictures live in the resources of the core library; a static library's
// resource object is only linked in when something asks for it.
static void initResources()
{
    Q_INIT_RESOURCE(res);
}

namespace {

// Reading an icon file is costly and every list item of a logo shares the same
// picture, so each resource path is loaded once.
QIcon cachedIcon(const QString &strPath)
{
    static QHash<QString, QIcon> s_icons;
    auto it = s_icons.constFind(strPath);
    if (it == s_icons.constEnd())
        it = s_icons.insert(strPath, QIcon(strPath));
    return *it;
}

int scoreFromText(const QString &strText)
{
    bool bOk = false;
    const int nScore = strText.toInt(&bOk, 10);
    return bOk ? nScore : 0;
}

// The stored form of a list: name, URL and score of each channel in row order.
QStringList triplesOf(const QListWidget *list)
{
    QStringList lstTriples;
    if (!list)
        return lstTriples;
    lstTriples.reserve(list->count() * 3);
    for (int i = 0; i < list->count(); ++i) {
        const VideoItem *rec = videoItemOf(list->item(i));
        if (!rec)
            continue;
        lstTriples << rec->strName << rec->strUrl << QString::number(rec->nScore);
    }
    return lstTriples;
}

void appendRecord(QListWidget *list, VideoItem *rec)
{
    auto *item = new QListWidgetItem();
    item->setData(Qt::SizeHintRole, QSize(180, 40));
    item->setData(Qt::DisplayRole, rec->strName);
    item->setData(Qt::ToolTipRole, rec->strName);
    item->setData(Qt::UserRole, QVariant::fromValue(qlonglong(reinterpret_cast<quintptr>(rec))));
    item->setData(Qt::DecorationRole, cachedIcon(logoForChannel(rec->strName, list->count())));
    list->addItem(item);
}

} // namespace

VideoItem *videoItemOf(const QListWidgetItem *item)
{
    if (!item)
        return nullptr;
    return reinterpret_cast<VideoItem *>(quintptr(item->data(Qt::UserRole).toLongLong()));
}

CDlgVideoList::CDlgVideoList(QWidget *parent) : QDialog(parent), ui(new Ui::CDlgVideoList)
{
    initResources();
    ui->setupUi(this);

    // A panel inside the main window, not a window of its own.
    setWindowFlags(Qt::WindowStaysOnTopHint);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(QColor(100, 100, 100, 255)));
    setPalette(pal);

    m_pToolBar = new QToolBar(this);
    m_pToolBar->setOrientation(Qt::Vertical);
    m_pToolBar->addAction(ui->actionAdd_Channel);
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(ui->actionUp);
    m_pToolBar->addAction(ui->actionDown);
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(ui->actionExport_Channel_List);
    m_pToolBar->addAction(ui->actionImport_Channel_List);

    m_pTabWidget = new QTabWidget(this);
    m_pTabWidget->setMovable(true);
    connect(m_pTabWidget, &QTabWidget::currentChanged, this, &CDlgVideoList::onTabCurrentChanged);
    connect(m_pTabWidget->tabBar(), &QTabBar::tabMoved, this, &CDlgVideoList::onTabMoved);

    auto *pLayout = new QHBoxLayout;
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    pLayout->addWidget(m_pToolBar);
    pLayout->addWidget(m_pTabWidget);
    setLayout(pLayout);

    loadChannelLists();

    ui->actionImport_Channel_List->setVisible(false);
    ui->actionExport_Channel_List->setVisible(false);
}

CDlgVideoList::~CDlgVideoList()
{
    // From here on the tab and row handlers do nothing, so tearing the tabs
    // down neither touches the (deleted) form nor tells the main window.
    m_bClosing = true;
    delete ui;
    ui = nullptr;
    delete m_pMenuContext;
    m_pMenuContext = nullptr;
    m_pMenuCopyTo = nullptr;
    removeAllTabs();
}

QListWidget *CDlgVideoList::listAt(int nTab) const
{
    return qobject_cast<QListWidget *>(m_pTabWidget->widget(nTab));
}

QListWidget *CDlgVideoList::currentList() const
{
    return qobject_cast<QListWidget *>(m_pTabWidget->currentWidget());
}

int CDlgVideoList::newTab(QString strCategoryName, bool bSetCurrent)
{
    auto *list = new QListWidget(this);
    list->setIconSize(QSize(32, 32));
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setViewMode(QListView::ListMode);
    list->setFlow(QListView::LeftToRight);
    list->setMovement(QListView::Static);
    list->setWrapping(true);
    list->setResizeMode(QListView::Adjust);

    const int nIndex = m_pTabWidget->addTab(list, cachedIcon(QStringLiteral(":/res/category.png")),
                                            strCategoryName);
    connect(list, &QListWidget::currentRowChanged, this, &CDlgVideoList::onListCurrentChanged);
    connect(list, &QListWidget::doubleClicked, this, &CDlgVideoList::doubleClickedChannel);
    if (bSetCurrent)
        m_pTabWidget->setCurrentIndex(nIndex);
    return nIndex;
}

void CDlgVideoList::insertChannelItem(int nTab, VideoItem *rec)
{
    if (!rec)
        return;
    QListWidget *list = nTab < 0 ? currentList() : listAt(nTab);
    if (!list) {
        qDebug() << "no tab" << nTab << "for channel" << rec->strName;
        delete rec;
        return;
    }
    appendRecord(list, rec);
}

void CDlgVideoList::addChannel(int nTab, QString name, QString url, QString region, int score)
{
    auto *rec = new VideoItem;
    rec->strName = name;
    rec->strUrl = url;
    rec->strRegion = region;
    rec->nScore = score;
    insertChannelItem(nTab, rec);
}

void CDlgVideoList::loadCategory(QString name, QStringList triples)
{
    const int nIndex = newTab(name, true);
    QListWidget *list = listAt(nIndex);
    clearChannelList(list);

    // A list whose length is not a multiple of three still yields its last,
    // incomplete channel; missing fields stay empty (URL) or 0 (score).
    VideoItem *rec = nullptr;
    for (int k = 0; k < triples.size(); ++k) {
        switch (k % 3) {
        case 0:
            rec = new VideoItem;
            rec->strName = triples.at(k);
            appendRecord(list, rec); // the logo is chosen from the name alone
            break;
        case 1:
            rec->strUrl = triples.at(k);
            break;
        default:
            rec->nScore = scoreFromText(triples.at(k));
            break;
        }
    }

    m_pListNewly = listAt(0);
    selectPlayingChannel();
}

void CDlgVideoList::loadChannelLists()
{
    if (!g_pSettings) {
        qDebug() << "no settings store: the channel list starts empty";
        loadCategory(tr("Newly"), QStringList());
        return;
    }
    const QStringList lstDefault = g_pSettings->m_lstDefaultChannels;
    const QVariantMap mapCategory = g_pSettings->m_mapCategory;
    const QStringList lstCategoryList = g_pSettings->m_lstCategoryList;

    loadCategory(tr("Newly"), lstDefault);
    for (const QString &strName : lstCategoryList) {
        const QVariant varChannels = mapCategory.value(strName);
        if (varChannels.isValid() && varChannels.userType() != QMetaType::QStringList)
            qDebug() << "category" << strName
                     << "is not stored as a string list:" << varChannels.typeName();
        loadCategory(strName, varChannels.toStringList());
    }

    if (m_pTabWidget->currentIndex() != 0)
        m_pTabWidget->setCurrentIndex(0);
    if (!m_bClosing)
        updateActions();
}

void CDlgVideoList::selectPlayingChannel()
{
    if (!g_pSettings)
        return;
    const QString strName = g_pSettings->m_strPlayingVideoName;
    for (int nTab = 0; nTab < m_pTabWidget->count(); ++nTab) {
        QListWidget *list = listAt(nTab);
        if (!list)
            continue;
        for (int nRow = 0; nRow < list->count(); ++nRow) {
            if (list->item(nRow)->text() != strName)
                continue;
            const QModelIndex index = list->model()->index(nRow, 0);
            list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
            list->setCurrentIndex(index);
            list->scrollTo(index, QAbstractItemView::EnsureVisible);
            m_pTabWidget->setCurrentIndex(nTab);
            return;
        }
    }
}

void CDlgVideoList::saveChannelLists()
{
    if (!g_pSettings) {
        qDebug() << "no settings store: the channel list is not saved";
        return;
    }
    g_pSettings->setDefaultChannels(triplesOf(m_pListNewly));
    g_pSettings->clearCategories();
    for (int nTab = 0; nTab < m_pTabWidget->count(); ++nTab) {
        QListWidget *list = listAt(nTab);
        if (!list || list == m_pListNewly)
            continue;
        g_pSettings->addCategory(m_pTabWidget->tabText(nTab), triplesOf(list));
    }
    g_pSettings->save();
}

void CDlgVideoList::setNewlyChannels(QList<VideoItem *> list)
{
    if (!m_pListNewly) {
        qDebug() << "no Newly list to fill";
        qDeleteAll(QSet<VideoItem *>(list.cbegin(), list.cend()));
        return;
    }
    clearChannelList(m_pListNewly);
    QSet<VideoItem *> setSeen;
    for (VideoItem *rec : list) {
        if (!rec)
            continue;
        // Each record may hang off one item only, or it would be freed twice.
        if (setSeen.contains(rec)) {
            qDebug() << "channel record handed in twice:" << rec->strName;
            continue;
        }
        setSeen.insert(rec);
        appendRecord(m_pListNewly, rec);
    }
    saveChannelLists();
    selectPlayingChannel();
}

void CDlgVideoList::clearChannelList(QListWidget *list)
{
    if (!list)
        return;
    for (int nRow = list->count() - 1; nRow >= 0; --nRow) {
        QListWidgetItem *item = list->item(nRow);
        delete videoItemOf(item);
        item->setData(Qt::UserRole, 0);
    }
    list->clear();
}

void CDlgVideoList::removeAllTabs()
{
    for (int nTab = m_pTabWidget->count() - 1; nTab >= 0; --nTab) {
        QListWidget *list = listAt(nTab);
        clearChannelList(list);
        m_pTabWidget->removeTab(nTab);
        delete list;
    }
    m_pListNewly = nullptr;
}

void CDlgVideoList::hideContextMenu()
{
    if (m_pMenuContext)
        m_pMenuContext->hide();
}

void CDlgVideoList::getCurrentChannel(QString &name, QString &url)
{
    QListWidget *list = currentList();
    if (!list)
        return;
    int nRow = list->currentRow();
    if (nRow < 0)
        nRow = 0;
    const VideoItem *rec = videoItemOf(list->item(nRow));
    if (!rec)
        return;
    name = rec->strName;
    url = rec->strUrl;
}

bool CDlgVideoList::hasNextChannel()
{
    const QListWidget *list = currentList();
    if (!list)
        return false;
    const int nCount = list->count();
    return nCount >= 2 && list->currentRow() != nCount - 1;
}

bool CDlgVideoList::hasPreviousChannel()
{
    const QListWidget *list = currentList();
    if (!list)
        return false;
    return list->count() >= 2 && list->currentRow() != 0;
}

void CDlgVideoList::selectNextChannel()
{
    QListWidget *list = currentList();
    if (!list)
        return;
    const int nRow = list->currentRow() < 0 ? 0 : list->currentRow() + 1;
    if (nRow >= list->count())
        return; // no wrap-around
    list->setCurrentRow(nRow, QItemSelectionModel::ClearAndSelect);
}

void CDlgVideoList::selectPreviousChannel()
{
    QListWidget *list = currentList();
    if (!list || list->count() == 0)
        return;
    const int nRow = list->currentRow() <= 0 ? 0 : list->currentRow() - 1;
    list->setCurrentRow(nRow, QItemSelectionModel::ClearAndSelect);
}

void CDlgVideoList::onTabCurrentChanged(int nVal)
{
    Q_UNUSED(nVal)
    if (m_bClosing)
        return;
    updateActions();
    emit currentChanged();
}

void CDlgVideoList::onTabMoved()
{
    // The tab order is the stored category order.
    saveChannelLists();
}

void CDlgVideoList::onListCurrentChanged()
{
    if (m_bClosing)
        return;
    updateActions();
    emit currentChanged();
}

void CDlgVideoList::on_actionRefresh_triggered()
{
    emit refreshNewlyChannels();
}

// ---- Editing commands ------------------------------------------------------
// The "Newly" list belongs to the web service: it can be copied from but not
// edited. Every edit that succeeds is stored at once.

void CDlgVideoList::updateActions()
{
    const QListWidget *list = currentList();
    const bool bReadOnly = !list || list == m_pListNewly;
    const int nCount = list ? list->count() : 0;
    const int nSelected = list ? list->selectedItems().size() : 0;
    const int nRow = list ? list->currentRow() : -1;

    ui->actionEdit_Category->setEnabled(!bReadOnly);
    ui->actionRemove_Category->setEnabled(!bReadOnly);
    ui->actionAdd_Channel->setEnabled(!bReadOnly);
    ui->actionEdit_Channel->setEnabled(!bReadOnly && nSelected > 0);
    ui->actionRemove_Channel->setEnabled(!bReadOnly && nSelected > 0);
    ui->actionUp->setEnabled(!bReadOnly && nCount >= 2 && nSelected > 0 && nRow != 0);
    // Without a selection Down moves row 0 (or the current row) down.
    ui->actionDown->setEnabled(!bReadOnly && nCount >= 2 && (nSelected == 0 || nRow != nCount - 1));
}

void CDlgVideoList::createContextMenu()
{
    if (m_pMenuContext)
        return;
    m_pMenuContext = new QMenu(this);
    m_pMenuContext->addAction(ui->actionAdd_Category);
    m_pMenuContext->addAction(ui->actionEdit_Category);
    m_pMenuContext->addAction(ui->actionRemove_Category);
    m_pMenuContext->addSeparator();
    m_pMenuContext->addAction(ui->actionAdd_Channel);
    m_pMenuContext->addAction(ui->actionEdit_Channel);
    m_pMenuContext->addAction(ui->actionRemove_Channel);
    m_pMenuContext->addSeparator();
    m_pMenuCopyTo = m_pMenuContext->addMenu(tr("Copy to"));
    m_pMenuContext->addAction(ui->actionRefresh);
}

void CDlgVideoList::contextMenuEvent(QContextMenuEvent *event)
{
    // The toolbar sits left of the tabs, so this rectangle covers the toolbar
    // and the tabs but leaves out a toolbar-wide strip at the right edge.
    const QRect rcMenuArea(0, 0, m_pTabWidget->width(), m_pTabWidget->height());
    if (!rcMenuArea.contains(event->pos()))
        return;

    createContextMenu();

    const QListWidget *list = currentList();
    const bool bHasSelection = list && !list->selectedItems().isEmpty();

    m_pMenuCopyTo->clear();
    QStringList lstTargets = g_pSettings ? g_pSettings->m_lstCategoryList : QStringList();
    if (lstTargets.isEmpty())
        lstTargets << tr("My Favorite");
    for (const QString &strTarget : qAsConst(lstTargets)) {
        QAction *pAction = m_pMenuCopyTo->addAction(strTarget);
        pAction->setEnabled(bHasSelection);
        connect(pAction, &QAction::triggered, this, &CDlgVideoList::onCopyTo);
    }

    if (!m_bClosing)
        updateActions();

    m_pMenuContext->popup(event->globalPos());
}

void CDlgVideoList::onCopyTo()
{
    const auto *pAction = qobject_cast<const QAction *>(sender());
    if (!pAction)
        return;
    const QString strTarget = pAction->text();

    // "Newly" is never a target, even if a stored category carries its name.
    int nTarget = -1;
    for (int nTab = 0; nTab < m_pTabWidget->count(); ++nTab) {
        if (listAt(nTab) != m_pListNewly && m_pTabWidget->tabText(nTab) == strTarget) {
            nTarget = nTab;
            break;
        }
    }
    if (nTarget < 0)
        nTarget = newTab(strTarget, false);

    const QListWidget *list = currentList();
    const QList<QListWidgetItem *> lstSelected =
        list ? list->selectedItems() : QList<QListWidgetItem *>();
    for (const QListWidgetItem *item : lstSelected) {
        const VideoItem *rec = videoItemOf(item);
        if (rec)
            addChannel(nTarget, rec->strName, rec->strUrl, rec->strRegion, rec->nScore);
    }
    saveChannelLists();
}

void CDlgVideoList::on_actionAdd_Category_triggered()
{
    CDlgAddCategory dlg(this);
    connect(&dlg, &CDlgAddCategory::newTab, this, &CDlgVideoList::newTab);
    dlg.init(m_pTabWidget, -1);
    dlg.setWindowTitle(tr("Add category"));
    if (dlg.exec() == QDialog::Accepted)
        saveChannelLists();
}

void CDlgVideoList::on_actionEdit_Category_triggered()
{
    if (currentList() == m_pListNewly)
        return; // the "Newly" tab is not a category
    CDlgAddCategory dlg(this);
    dlg.init(m_pTabWidget, m_pTabWidget->currentIndex());
    dlg.setWindowTitle(tr("Edit category"));
    if (dlg.exec() == QDialog::Accepted)
        saveChannelLists();
}

void CDlgVideoList::on_actionRemove_Category_triggered()
{
    // Remember which list the user asked about: while the question is open a
    // "Newly" refresh may make another tab current.
    QPointer<QListWidget> list = currentList();
    if (!list || list == m_pListNewly)
        return; // the "Newly" tab is not a category

    const int nAnswer = QMessageBox::warning(
        this, tr("Remove current category"), tr("Do you sure to remove the current category?"),
        QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::NoButton);
    if (nAnswer != QMessageBox::Yes) {
        reject();
        return;
    }
    const int nTab = list ? m_pTabWidget->indexOf(list) : -1;
    if (nTab >= 0) {
        clearChannelList(list);
        m_pTabWidget->removeTab(nTab);
        delete list;
        saveChannelLists();
    }
    accept();
}

void CDlgVideoList::on_actionAdd_Channel_triggered()
{
    QListWidget *list = currentList();
    if (!list || list == m_pListNewly)
        return;
    CDlgAddVideoItem dlg(this);
    dlg.init(list, -1);
    dlg.setWindowTitle(tr("Add channel"));
    if (dlg.exec() == QDialog::Accepted)
        saveChannelLists();
}

void CDlgVideoList::on_actionEdit_Channel_triggered()
{
    QListWidget *list = currentList();
    if (!list || list == m_pListNewly)
        return;
    const int nRow = list->currentIndex().row();
    if (nRow < 0)
        return; // row -1 would turn the edit into an add
    CDlgAddVideoItem dlg(this);
    dlg.init(list, nRow);
    dlg.setWindowTitle(tr("Edit channel"));
    if (dlg.exec() == QDialog::Accepted)
        saveChannelLists();
}

void CDlgVideoList::on_actionRemove_Channel_triggered()
{
    QPointer<QListWidget> list = currentList();
    if (!list || list == m_pListNewly)
        return;

    const int nAnswer = QMessageBox::warning(
        this, tr("Remove selected channels"), tr("Do you sure to remove the selected channels?"),
        QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::NoButton);
    if (nAnswer != QMessageBox::Yes) {
        reject();
        return;
    }
    qDebug() << "on_actionRemove_Channel_triggered";
    const QList<QListWidgetItem *> lstSelected =
        list ? list->selectedItems() : QList<QListWidgetItem *>();
    qDebug() << lstSelected.size();
    for (QListWidgetItem *item : lstSelected) {
        delete videoItemOf(item);
        item->setData(Qt::UserRole, 0);
        delete item;
    }
    saveChannelLists();
    accept();
}

void CDlgVideoList::on_actionImport_Channel_List_triggered()
{
    // No import format exists; the action is hidden.
    saveChannelLists();
}

void CDlgVideoList::on_actionExport_Channel_List_triggered()
{
    // No export format exists; the action is hidden.
}

void CDlgVideoList::moveChannel(bool bUp)
{
    QListWidget *list = currentList();
    if (!list || list == m_pListNewly || list->count() < 2)
        return;

    int nRow = list->currentRow();
    int nUpper = 0;
    int nTarget = 0;
    if (bUp) {
        // With row 0 or no current row the pair is rows 0 and 1.
        nUpper = nRow <= 0 ? 0 : nRow - 1;
        nTarget = nUpper;
    } else {
        if (nRow < 0)
            nRow = 0;
        if (nRow >= list->count() - 1)
            return; // the last row has nothing below it
        nUpper = nRow;
        nTarget = nRow + 1;
    }

    QListWidgetItem *itemUpper = list->item(nUpper);
    QListWidgetItem *itemLower = list->item(nUpper + 1);
    VideoItem *recUpper = videoItemOf(itemUpper);
    VideoItem *recLower = videoItemOf(itemLower);
    if (!recUpper || !recLower)
        return;

    // Only name and URL change places; id, region, score, icon and tooltip
    // stay with their rows.
    std::swap(recUpper->strName, recLower->strName);
    std::swap(recUpper->strUrl, recLower->strUrl);
    itemUpper->setText(recUpper->strName);
    itemLower->setText(recLower->strName);

    list->setCurrentRow(nTarget, QItemSelectionModel::ClearAndSelect);

    saveChannelLists();
    if (!m_bClosing)
        updateActions();
    emit currentChanged();
}

void CDlgVideoList::on_actionUp_triggered()
{
    moveChannel(true);
}

void CDlgVideoList::on_actionDown_triggered()
{
    moveChannel(false);
}
