#include "DlgVideoList.h"
#include "ui_DlgVideoList.h"

#include "BackgroundWork.h"
#include "ChannelFilterProxy.h"
#include "ChannelGuideDelegate.h"
#include "ChannelSearchField.h"
#include "DlgAddCategory.h"
#include "DlgAddVideoItem.h"
#include "LogoFetcher.h"
#include "PlaylistTransfer.h"
#include "Settings.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDebug>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

// The pictures live in the resources of the core library; a static library's
// resource object is only linked in when something asks for it.
static void initResources()
{
    Q_INIT_RESOURCE(res);
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
    // Import's button imports a file; its arrow offers an address too.
    if (auto *pImport = qobject_cast<QToolButton *>(
            m_pToolBar->widgetForAction(ui->actionImport_Channel_List))) {
        auto *pMenu = new QMenu(pImport);
        pMenu->addAction(ui->actionImport_Channel_List);
        pMenu->addAction(ui->actionImport_From_Address);
        pImport->setMenu(pMenu);
        pImport->setPopupMode(QToolButton::MenuButtonPopup);
    }

    m_pTabWidget = new QTabWidget(this);
    m_pTabWidget->setMovable(true);
    connect(m_pTabWidget, &QTabWidget::currentChanged, this, &CDlgVideoList::onTabCurrentChanged);
    connect(m_pTabWidget->tabBar(), &QTabBar::tabMoved, this, &CDlgVideoList::onTabMoved);

    // The search field sits right of the tabs, in the tab bar's row.
    m_pSearch = new ChannelSearchField(m_pTabWidget);
    m_pSearch->setMinimumWidth(160);
    m_pTabWidget->setCornerWidget(m_pSearch, Qt::TopRightCorner);
    connect(m_pSearch, &QLineEdit::textChanged, this, &CDlgVideoList::applySearch);
    connect(m_pSearch, &ChannelSearchField::activated, this, &CDlgVideoList::playFirstMatch);
    auto *pFind = new QAction(this);
    pFind->setShortcut(QKeySequence::Find);
    pFind->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(pFind, &QAction::triggered, this, &CDlgVideoList::startSearch);
    addAction(pFind);

    auto *pLayout = new QHBoxLayout;
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    pLayout->addWidget(m_pToolBar);
    pLayout->addWidget(m_pTabWidget);
    setLayout(pLayout);

    connect(&m_watchStoredTabs, &QFutureWatcher<StoredTabs>::finished, this,
            [this] { showStoredTabs(m_watchStoredTabs.result()); });
    loadChannelLists();

    m_pTransfer = new PlaylistTransfer(this, [this] { return importTargets(); });
    connect(m_pTransfer, &PlaylistTransfer::imported, this, &CDlgVideoList::applyImport);
    setAcceptDrops(true);
    // A logo that arrives shows at the next paint of the rows on screen.
    connect(LogoFetcher::instance(), &LogoFetcher::logoReady, this, [this] {
        if (QListView *list = currentList())
            list->viewport()->update();
    });
}

CDlgVideoList::~CDlgVideoList()
{
    // From here on the tab and row handlers do nothing, so tearing the tabs
    // down neither touches the (deleted) form nor tells the main window.
    m_bClosing = true;
    m_watchStoredTabs.waitForFinished();
    delete m_pTransfer; // an import that runs is dropped
    m_pTransfer = nullptr;
    delete ui;
    ui = nullptr;
    delete m_pMenuContext;
    m_pMenuContext = nullptr;
    m_pMenuCopyTo = nullptr;
    removeAllTabs();
}

QListView *CDlgVideoList::listAt(int nTab) const
{
    return qobject_cast<QListView *>(m_pTabWidget->widget(nTab));
}

QListView *CDlgVideoList::currentList() const
{
    return qobject_cast<QListView *>(m_pTabWidget->currentWidget());
}

ChannelListModel *CDlgVideoList::channelModel(int nTab) const
{
    return modelOf(listAt(nTab));
}

QListView *CDlgVideoList::channelView(int nTab) const
{
    return listAt(nTab);
}

ChannelFilterProxy *CDlgVideoList::proxyOf(const QListView *view)
{
    return view ? static_cast<ChannelFilterProxy *>(view->model()) : nullptr;
}

ChannelListModel *CDlgVideoList::modelOf(const QListView *view)
{
    ChannelFilterProxy *proxy = proxyOf(view);
    return proxy ? proxy->channels() : nullptr;
}

int CDlgVideoList::sourceRow(const QListView *view, int nRow)
{
    ChannelFilterProxy *proxy = proxyOf(view);
    if (!proxy || nRow < 0 || nRow >= proxy->rowCount())
        return -1;
    return proxy->mapToSource(proxy->index(nRow, 0)).row();
}

int CDlgVideoList::rowCountOf(const QListView *view)
{
    // Without a search the rows are the channels; asking the proxy would
    // make it map all of them (half a million, when a list has just come in).
    const ChannelFilterProxy *proxy = proxyOf(view);
    if (!proxy)
        return 0;
    return proxy->isFiltering() ? proxy->rowCount() : proxy->channels()->count();
}

int CDlgVideoList::currentRowOf(const QListView *view)
{
    return view ? view->currentIndex().row() : -1;
}

int CDlgVideoList::selectedCountOf(const QListView *view)
{
    return view ? view->selectionModel()->selectedIndexes().size() : 0;
}

void CDlgVideoList::makeCurrent(QListView *view, const QModelIndex &index)
{
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    // Scrolling lays out the whole list first; a hidden one (the panel is
    // hidden most of the time) is scrolled when it is shown.
    if (view->isVisible())
        view->scrollTo(index, QAbstractItemView::EnsureVisible);
}

void CDlgVideoList::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (QListView *list = currentList())
        list->scrollTo(list->currentIndex(), QAbstractItemView::EnsureVisible);
}

QVector<int> CDlgVideoList::selectedSourceRows(const QListView *view) const
{
    QVector<int> vecRows;
    if (!view)
        return vecRows;
    const ChannelFilterProxy *proxy = proxyOf(view);
    for (const QModelIndex &index : view->selectionModel()->selectedIndexes())
        vecRows << proxy->mapToSource(index).row();
    return vecRows;
}

int CDlgVideoList::newTab(QString strCategoryName, bool bSetCurrent)
{
    auto *list = new QListView(this);
    list->setIconSize(QSize(32, 32));
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setViewMode(QListView::ListMode);
    list->setFlow(QListView::LeftToRight);
    list->setMovement(QListView::Static);
    list->setWrapping(true);
    list->setResizeMode(QListView::Adjust);
    // Every row is 180 by 40: the view never measures them one by one.
    list->setUniformItemSizes(true);
    auto *channels = new ChannelListModel(list);
    list->setModel(new ChannelFilterProxy(channels, list));
    m_pSearch->watch(list);
    if (m_pGuideDelegate)
        m_pGuideDelegate->attach(list);

    const int nIndex =
        m_pTabWidget->addTab(list, QIcon(QStringLiteral(":/res/category.png")), strCategoryName);
    connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CDlgVideoList::onListCurrentChanged);
    connect(list, &QListView::doubleClicked, this, &CDlgVideoList::doubleClickedChannel);
    if (bSetCurrent)
        m_pTabWidget->setCurrentIndex(nIndex);
    return nIndex;
}

void CDlgVideoList::setGuide(const GuideService *pGuide)
{
    if (m_pGuideDelegate)
        return;
    m_pGuideDelegate = new ChannelGuideDelegate(pGuide, this);
    for (int nTab = 0; nTab < m_pTabWidget->count(); ++nTab) {
        if (QListView *list = listAt(nTab))
            m_pGuideDelegate->attach(list);
    }
}

std::function<GuideWanted()> CDlgVideoList::guideChannels() const
{
    QVector<QVector<ChannelListModel::Row>> vecTabs;
    for (int nTab = 0; nTab < m_pTabWidget->count(); ++nTab) {
        if (ChannelListModel *channels = modelOf(listAt(nTab)))
            vecTabs << channels->rows();
    }
    return [vecTabs] {
        GuideWanted wanted;
        for (const QVector<ChannelListModel::Row> &vecRows : vecTabs) {
            for (const ChannelListModel::Row &row : vecRows) {
                wanted.insert(GuideKeys::forName(row.rec.strName));
                if (!row.rec.strTvgId.isEmpty())
                    wanted.insert(GuideKeys::forTvgId(row.rec.strTvgId));
            }
        }
        return wanted;
    };
}

void CDlgVideoList::insertChannelItem(int nTab, const VideoItem &rec)
{
    ChannelListModel *channels = modelOf(nTab < 0 ? currentList() : listAt(nTab));
    if (!channels) {
        qDebug() << "no tab" << nTab << "for channel" << rec.strName;
        return;
    }
    channels->append(rec);
}

void CDlgVideoList::addChannel(int nTab, QString name, QString url, QString region, int score)
{
    VideoItem rec;
    rec.strName = name;
    rec.strUrl = url;
    rec.strRegion = region;
    rec.nScore = score;
    insertChannelItem(nTab, rec);
}

void CDlgVideoList::loadCategory(QString name, ChannelListModel::Rows rows)
{
    const int nIndex = newTab(name, true);
    modelOf(listAt(nIndex))->setRows(std::move(rows));
    m_pListNewly = listAt(0);
    selectPlayingChannel();
}

CDlgVideoList::StoredTabs CDlgVideoList::readStoredTabs(const QString &strNewly,
                                                        const QStringList &lstDefault,
                                                        const QStringList &lstCategories,
                                                        const QVariantMap &map,
                                                        const QVariantMap &mapDetails)
{
    StoredTabs tabs;
    tabs.lstNames << strNewly;
    tabs.vecRows << ChannelListModel::rowsFromTriples(lstDefault);
    for (const QString &strName : lstCategories) {
        const QVariant varChannels = map.value(strName);
        if (varChannels.isValid() && varChannels.userType() != QMetaType::QStringList)
            qDebug() << "category" << strName
                     << "is not stored as a string list:" << varChannels.typeName();
        tabs.lstNames << strName;
        tabs.vecRows << ChannelListModel::rowsFromTriples(varChannels.toStringList(),
                                                          mapDetails.value(strName).toStringList());
    }
    return tabs;
}

void CDlgVideoList::showStoredTabs(StoredTabs tabs)
{
    if (m_bClosing)
        return;
    removeAllTabs();
    for (int i = 0; i < tabs.lstNames.size(); ++i)
        loadCategory(tabs.lstNames.at(i), std::move(tabs.vecRows[i]));
    if (m_pTabWidget->currentIndex() != 0)
        m_pTabWidget->setCurrentIndex(0);
    if (!m_bClosing)
        updateActions();
    if (!m_bLoaded) {
        m_bLoaded = true;
        setEnabled(true);
        emit loaded();
    }
}

void CDlgVideoList::loadChannelLists()
{
    if (!g_pSettings) {
        qDebug() << "no settings store: the channel list starts empty";
        showStoredTabs(readStoredTabs(tr("Newly"), {}, {}, {}, {}));
        return;
    }
    if (!g_pSettings->channelListsLoaded()) {
        // A big store is still being read: an empty "Newly" tab until then,
        // and nothing to edit (or to store over what is being read).
        loadCategory(tr("Newly"), {});
        setEnabled(false);
        connect(g_pSettings, &CSettings::channelListsReady, this, &CDlgVideoList::onStoreLoaded,
                Qt::UniqueConnection);
        return;
    }
    const QStringList lstDefault = g_pSettings->m_lstDefaultChannels;
    const QStringList lstCategories = g_pSettings->m_lstCategoryList;
    const QVariantMap mapCategory = g_pSettings->m_mapCategory;
    const QVariantMap mapDetails = g_pSettings->m_mapChannelDetails;
    showStoredTabs(readStoredTabs(tr("Newly"), lstDefault, lstCategories, mapCategory, mapDetails));
}

void CDlgVideoList::onStoreLoaded()
{
    // The rows of a big store are made off the GUI thread as well.
    m_watchStoredTabs.setFuture(
        BackgroundWork::run(&CDlgVideoList::readStoredTabs, tr("Newly"),
                            g_pSettings->m_lstDefaultChannels, g_pSettings->m_lstCategoryList,
                            g_pSettings->m_mapCategory, g_pSettings->m_mapChannelDetails));
}

void CDlgVideoList::selectPlayingChannel()
{
    if (!g_pSettings)
        return;
    const QString strName = g_pSettings->m_strPlayingVideoName;
    for (int nTab = 0; nTab < m_pTabWidget->count(); ++nTab) {
        QListView *list = listAt(nTab);
        ChannelListModel *channels = modelOf(list);
        const int nRow = channels ? channels->findName(strName) : -1;
        if (nRow < 0)
            continue;
        ChannelFilterProxy *proxy = proxyOf(list);
        QModelIndex index = proxy->mapFromSource(channels->index(nRow));
        if (!index.isValid()) {
            // Hidden by a search: the search gives way.
            m_pSearch->clear();
            proxy->setFilterText(QString());
            index = proxy->mapFromSource(channels->index(nRow));
        }
        makeCurrent(list, index);
        m_pTabWidget->setCurrentIndex(nTab);
        return;
    }
}

void CDlgVideoList::saveChannelLists()
{
    if (!g_pSettings) {
        qDebug() << "no settings store: the channel list is not saved";
        return;
    }
    if (!m_bLoaded) {
        // Storing now would write the empty tabs over the stored lists.
        qDebug() << "the stored channel lists are still being read: not saved";
        return;
    }
    ChannelListModel *newly = modelOf(m_pListNewly);
    g_pSettings->setDefaultChannels(newly ? newly->triples() : QStringList());
    g_pSettings->clearCategories();
    for (int nTab = 0; nTab < m_pTabWidget->count(); ++nTab) {
        QListView *list = listAt(nTab);
        if (!list || list == m_pListNewly)
            continue;
        g_pSettings->addCategory(m_pTabWidget->tabText(nTab), modelOf(list)->triples(),
                                 modelOf(list)->details());
    }
    g_pSettings->save();
    emit channelsSaved();
}

void CDlgVideoList::setNewlyChannels(const QVector<VideoItem> &vecChannels)
{
    setNewlyRows(ChannelListModel::rowsFromRecords(vecChannels));
}

void CDlgVideoList::setNewlyRows(ChannelListModel::Rows rows)
{
    ChannelListModel *newly = modelOf(m_pListNewly);
    if (!newly) {
        qDebug() << "no Newly list to fill";
        return;
    }
    newly->setRows(std::move(rows));
    saveChannelLists();
    selectPlayingChannel();
}

void CDlgVideoList::removeAllTabs()
{
    for (int nTab = m_pTabWidget->count() - 1; nTab >= 0; --nTab) {
        QListView *list = listAt(nTab);
        m_pTabWidget->removeTab(nTab);
        delete list; // with its models
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
    QListView *list = currentList();
    const int nRow = sourceRow(list, std::max(currentRowOf(list), 0));
    if (nRow < 0)
        return;
    const VideoItem &rec = modelOf(list)->record(nRow);
    name = rec.strName;
    url = rec.strUrl;
}

bool CDlgVideoList::getCurrentChannel(VideoItem &rec)
{
    QListView *list = currentList();
    const int nRow = sourceRow(list, std::max(currentRowOf(list), 0));
    if (nRow < 0)
        return false;
    rec = modelOf(list)->record(nRow);
    if (list == m_pListNewly)
        rec.origin = ChannelOrigin::Service;
    return true;
}

bool CDlgVideoList::hasNextChannel()
{
    const QListView *list = currentList();
    if (!list)
        return false;
    const int nCount = rowCountOf(list);
    return nCount >= 2 && currentRowOf(list) != nCount - 1;
}

bool CDlgVideoList::hasPreviousChannel()
{
    const QListView *list = currentList();
    if (!list)
        return false;
    return rowCountOf(list) >= 2 && currentRowOf(list) != 0;
}

void CDlgVideoList::selectNextChannel()
{
    QListView *list = currentList();
    if (!list)
        return;
    const int nCurrent = currentRowOf(list);
    const int nRow = nCurrent < 0 ? 0 : nCurrent + 1;
    if (nRow >= rowCountOf(list))
        return; // no wrap-around
    makeCurrent(list, list->model()->index(nRow, 0));
}

void CDlgVideoList::selectPreviousChannel()
{
    QListView *list = currentList();
    if (!list || rowCountOf(list) == 0)
        return;
    const int nCurrent = currentRowOf(list);
    const int nRow = nCurrent <= 0 ? 0 : nCurrent - 1;
    makeCurrent(list, list->model()->index(nRow, 0));
}

bool CDlgVideoList::selectChannelNumber(int nNumber)
{
    QListView *list = currentList();
    ChannelListModel *channels = modelOf(list);
    if (!channels || nNumber < 1 || nNumber > channels->count())
        return false;
    // Numbers count the whole tab, as printed on a list of channels.
    m_pSearch->clear();
    makeCurrent(list, proxyOf(list)->mapFromSource(channels->index(nNumber - 1)));
    return true;
}

void CDlgVideoList::startSearch()
{
    m_pSearch->setFocus(Qt::ShortcutFocusReason);
    m_pSearch->selectAll();
}

void CDlgVideoList::applySearch()
{
    // The search narrows the current tab only.
    const QString strText = m_pSearch->text();
    for (int nTab = 0; nTab < m_pTabWidget->count(); ++nTab) {
        if (ChannelFilterProxy *proxy = proxyOf(listAt(nTab)))
            proxy->setFilterText(nTab == m_pTabWidget->currentIndex() ? strText : QString());
    }
    if (!m_bClosing)
        updateActions();
    emit currentChanged();
}

void CDlgVideoList::playFirstMatch()
{
    QListView *list = currentList();
    if (!list || rowCountOf(list) == 0)
        return;
    makeCurrent(list, list->model()->index(0, 0));
    emit doubleClickedChannel();
}

void CDlgVideoList::onTabCurrentChanged(int nVal)
{
    Q_UNUSED(nVal)
    if (m_bClosing)
        return;
    // A search belongs to the tab it was typed in.
    if (!m_pSearch->text().isEmpty())
        m_pSearch->clear();
    if (QListView *list = currentList(); list && isVisible())
        list->scrollTo(list->currentIndex(), QAbstractItemView::EnsureVisible);
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
    const QListView *list = currentList();
    const bool bReadOnly = !list || list == m_pListNewly;
    const int nCount = list ? rowCountOf(list) : 0;
    const int nSelected = selectedCountOf(list);
    const int nRow = currentRowOf(list);
    // Moving changes places with the neighbour in the whole list, which a
    // search may hide: no moves while searching.
    const bool bSearching = list && proxyOf(list)->isFiltering();

    ui->actionEdit_Category->setEnabled(!bReadOnly);
    ui->actionRemove_Category->setEnabled(!bReadOnly);
    ui->actionAdd_Channel->setEnabled(!bReadOnly);
    ui->actionEdit_Channel->setEnabled(!bReadOnly && nSelected > 0);
    ui->actionRemove_Channel->setEnabled(!bReadOnly && nSelected > 0);
    ui->actionUp->setEnabled(!bReadOnly && !bSearching && nCount >= 2 && nSelected > 0 &&
                             nRow != 0);
    // Without a selection Down moves row 0 (or the current row) down.
    ui->actionDown->setEnabled(!bReadOnly && !bSearching && nCount >= 2 &&
                               (nSelected == 0 || nRow != nCount - 1));
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
    m_pMenuContext->addSeparator();
    m_pMenuContext->addAction(ui->actionImport_Channel_List);
    m_pMenuContext->addAction(ui->actionImport_From_Address);
    m_pMenuContext->addAction(ui->actionExport_Channel_List);
}

void CDlgVideoList::contextMenuEvent(QContextMenuEvent *event)
{
    // The toolbar sits left of the tabs, so this rectangle covers the toolbar
    // and the tabs but leaves out a toolbar-wide strip at the right edge.
    const QRect rcMenuArea(0, 0, m_pTabWidget->width(), m_pTabWidget->height());
    if (!rcMenuArea.contains(event->pos()))
        return;

    createContextMenu();

    const bool bHasSelection = selectedCountOf(currentList()) > 0;

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

    const QListView *list = currentList();
    const ChannelListModel *channels = modelOf(list);
    for (int nRow : selectedSourceRows(list)) {
        // A copy is a new channel: id 0, its logo chosen for its new place.
        // Where its URL came from goes with it: a copy of the service's or a
        // playlist's channel is not the user's own.
        VideoItem rec = channels->record(nRow);
        rec.nId = 0;
        if (list == m_pListNewly)
            rec.origin = ChannelOrigin::Service;
        insertChannelItem(nTarget, rec);
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
    const int nTab = m_pTabWidget->currentIndex();
    const QString strBefore = m_pTabWidget->tabText(nTab);
    dlg.init(m_pTabWidget, nTab);
    dlg.setWindowTitle(tr("Edit category"));
    if (dlg.exec() == QDialog::Accepted) {
        saveChannelLists();
        if (m_pTabWidget->tabText(nTab) != strBefore)
            moveGuideAddresses(strBefore, m_pTabWidget->tabText(nTab));
    }
}

void CDlgVideoList::moveGuideAddresses(const QString &strFrom, const QString &strTo)
{
    if (!g_pSettings || !g_pSettings->m_mapPlaylistGuideAddresses.contains(strFrom))
        return;
    const QStringList lstAddresses =
        g_pSettings->m_mapPlaylistGuideAddresses.value(strFrom).toStringList();
    g_pSettings->setPlaylistGuideAddresses(strFrom, QStringList());
    if (!strTo.isEmpty())
        g_pSettings->setPlaylistGuideAddresses(strTo, lstAddresses);
    emit guideAddressesChanged();
}

void CDlgVideoList::on_actionRemove_Category_triggered()
{
    // Remember which list the user asked about: while the question is open a
    // "Newly" refresh may make another tab current.
    QPointer<QListView> list = currentList();
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
        const QString strName = m_pTabWidget->tabText(nTab);
        m_pTabWidget->removeTab(nTab);
        delete list; // with its channels
        saveChannelLists();
        moveGuideAddresses(strName, QString()); // no longer read
    }
    accept();
}

void CDlgVideoList::on_actionAdd_Channel_triggered()
{
    QListView *list = currentList();
    if (!list || list == m_pListNewly)
        return;
    CDlgAddVideoItem dlg(this);
    dlg.init(modelOf(list), -1);
    dlg.setWindowTitle(tr("Add channel"));
    if (dlg.exec() == QDialog::Accepted)
        saveChannelLists();
}

void CDlgVideoList::on_actionEdit_Channel_triggered()
{
    QListView *list = currentList();
    if (!list || list == m_pListNewly)
        return;
    const int nRow = sourceRow(list, currentRowOf(list));
    if (nRow < 0)
        return; // row -1 would turn the edit into an add
    CDlgAddVideoItem dlg(this);
    dlg.init(modelOf(list), nRow);
    dlg.setWindowTitle(tr("Edit channel"));
    if (dlg.exec() == QDialog::Accepted)
        saveChannelLists();
}

void CDlgVideoList::on_actionRemove_Channel_triggered()
{
    QPointer<QListView> list = currentList();
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
    const QVector<int> vecRows = selectedSourceRows(list);
    qDebug() << vecRows.size();
    if (ChannelListModel *channels = modelOf(list))
        channels->removeRowsAt(vecRows);
    saveChannelLists();
    accept();
}

void CDlgVideoList::on_actionImport_Channel_List_triggered()
{
    m_pTransfer->importFromFile();
}

void CDlgVideoList::on_actionImport_From_Address_triggered()
{
    m_pTransfer->importFromAddress();
}

void CDlgVideoList::on_actionExport_Channel_List_triggered()
{
    QListView *current = currentList();
    if (!current)
        return;
    const PlaylistExport::List currentList{m_pTabWidget->tabText(m_pTabWidget->currentIndex()),
                                           modelOf(current)->rows()};
    QVector<PlaylistExport::List> vecAll;
    for (int nTab = 0; nTab < m_pTabWidget->count(); ++nTab) {
        if (listAt(nTab) != m_pListNewly)
            vecAll.append({m_pTabWidget->tabText(nTab), modelOf(listAt(nTab))->rows()});
    }
    m_pTransfer->exportLists(currentList, vecAll);
}

QVector<PlaylistImport::Target> CDlgVideoList::importTargets()
{
    // "Newly" belongs to the service: never a target.
    QVector<PlaylistImport::Target> vecTargets;
    m_vecImportTargets.clear();
    for (int nTab = 0; nTab < m_pTabWidget->count(); ++nTab) {
        QListView *list = listAt(nTab);
        if (!list || list == m_pListNewly)
            continue;
        vecTargets.append({m_pTabWidget->tabText(nTab), modelOf(list)->rows()});
        m_vecImportTargets.append(list);
    }
    return vecTargets;
}

void CDlgVideoList::applyImport(const PlaylistImport::Result &result)
{
    if (m_bClosing || !m_bLoaded)
        return;
    int nFirstTab = -1;
    QStringList lstFilled; // the categories that got channels, as their tabs name them
    for (const PlaylistImport::Category &category : result.vecCategories) {
        QListView *list = category.nTarget >= 0 && category.nTarget < m_vecImportTargets.size()
                              ? m_vecImportTargets.at(category.nTarget).data()
                              : nullptr;
        const int nTab = list ? m_pTabWidget->indexOf(list) : newTab(category.strName, false);
        if (nTab < 0)
            continue;
        modelOf(listAt(nTab))->appendRows(category.rows);
        lstFilled << m_pTabWidget->tabText(nTab);
        if (nFirstTab < 0)
            nFirstTab = nTab;
    }
    m_vecImportTargets.clear();
    if (nFirstTab < 0)
        return; // nothing new
    saveChannelLists();
    // The playlist's guides belong to the categories it filled.
    if (!result.lstGuideAddresses.isEmpty() && g_pSettings) {
        bool bChanged = false;
        for (const QString &strCategory : lstFilled) {
            QStringList lstAddresses =
                g_pSettings->m_mapPlaylistGuideAddresses.value(strCategory).toStringList();
            const int nBefore = lstAddresses.size();
            for (const QString &strAddress : result.lstGuideAddresses) {
                if (!lstAddresses.contains(strAddress))
                    lstAddresses << strAddress;
            }
            if (lstAddresses.size() == nBefore)
                continue;
            g_pSettings->setPlaylistGuideAddresses(strCategory, lstAddresses);
            bChanged = true;
        }
        if (bChanged)
            emit guideAddressesChanged();
    }
    m_pTabWidget->setCurrentIndex(nFirstTab);
    emit currentChanged(); // the rows of the current tab may be new
}

void CDlgVideoList::dragEnterEvent(QDragEnterEvent *event)
{
    if (PlaylistTransfer::droppedSource(event->mimeData()).isValid())
        event->acceptProposedAction();
}

void CDlgVideoList::dragMoveEvent(QDragMoveEvent *event)
{
    if (PlaylistTransfer::droppedSource(event->mimeData()).isValid())
        event->acceptProposedAction();
}

void CDlgVideoList::dropEvent(QDropEvent *event)
{
    const QUrl source = PlaylistTransfer::droppedSource(event->mimeData());
    if (!source.isValid())
        return;
    event->acceptProposedAction();
    // Not inside the drop: the import shows dialogs of its own.
    QMetaObject::invokeMethod(
        this, [this, source] { m_pTransfer->importFrom(source); }, Qt::QueuedConnection);
}

void CDlgVideoList::moveChannel(bool bUp)
{
    QListView *list = currentList();
    ChannelListModel *channels = modelOf(list);
    if (!list || list == m_pListNewly || channels->count() < 2 || proxyOf(list)->isFiltering())
        return;

    int nRow = currentRowOf(list);
    int nUpper = 0;
    int nTarget = 0;
    if (bUp) {
        // With row 0 or no current row the pair is rows 0 and 1.
        nUpper = nRow <= 0 ? 0 : nRow - 1;
        nTarget = nUpper;
    } else {
        if (nRow < 0)
            nRow = 0;
        if (nRow >= channels->count() - 1)
            return; // the last row has nothing below it
        nUpper = nRow;
        nTarget = nRow + 1;
    }

    // Only name and URL change places; id, region, score, icon and tooltip
    // stay with their rows.
    channels->swapNameAndUrl(nUpper, nUpper + 1);
    makeCurrent(list, list->model()->index(nTarget, 0));

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
