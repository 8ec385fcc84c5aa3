#pragma once

#include "ChannelListModel.h"
#include "PlaylistImport.h"
#include "VideoItem.h"
#include "guide/GuideTypes.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class ChannelFilterProxy;
class PlaylistTransfer;
class ChannelGuideDelegate;
class GuideService;
class ChannelSearchField;
class QContextMenuEvent;
class QListView;
class QMenu;
class QModelIndex;
class QTabWidget;
class QToolBar;

namespace Ui {
class CDlgVideoList;
}

// The channel list panel: a "Newly" tab filled from the web service plus one
// tab per user category, each a list of channels with a logo, and a search
// field that narrows the current tab. Every change is written back to
// g_pSettings at once, so the store always mirrors the tabs. The main window
// owns it as a child widget and shows and hides it.
//
// Each tab is a QListView over a ChannelFilterProxy over a ChannelListModel;
// "rows" below are the rows the view shows (all of them without a search).
class CDlgVideoList : public QDialog
{
    Q_OBJECT

public:
    explicit CDlgVideoList(QWidget *parent);
    ~CDlgVideoList() override;

    // Name and URL of the current channel of the current tab (row 0 when no row
    // is current); both arguments are left alone when there is no such channel.
    void getCurrentChannel(QString &name, QString &url);
    // The whole record of that channel, with ChannelOrigin::Service for a
    // channel of "Newly"; false (rec unchanged) when there is none.
    bool getCurrentChannel(VideoItem &rec);
    bool hasNextChannel();
    bool hasPreviousChannel();
    void selectNextChannel();
    void selectPreviousChannel();
    // Makes channel nNumber (1 for the first) of the current tab current, with
    // the search cleared; false when the tab has no such channel.
    bool selectChannelNumber(int nNumber);

    // Replaces the "Newly" channels and stores the lists.
    void setNewlyChannels(const QVector<VideoItem> &vecChannels);
    // The same with rows made beforehand (off the GUI thread, for big lists).
    void setNewlyRows(ChannelListModel::Rows rows);
    // Appends a new channel to tab nTab (-1: the current tab). Stores nothing.
    void addChannel(int nTab, QString name, QString url, QString region, int score);
    void hideContextMenu();
    // Writes every list into the settings store.
    void saveChannelLists();
    // Selects the first channel, in tab and row order, whose name equals the
    // last played channel's name, and makes its tab current.
    void selectPlayingChannel();
    // Puts the keyboard focus into the search field.
    void startSearch();
    // Whether the stored lists are shown; until then (a start-up that reads
    // a big store in the background) the panel is disabled.
    bool isLoaded() const { return m_bLoaded; }

    // The channels of tab nTab and the view that shows them (nullptr when
    // there is no such tab).
    ChannelListModel *channelModel(int nTab) const;
    QListView *channelView(int nTab) const;

    // Shows what the guide says is on under each channel's name.
    void setGuide(const GuideService *pGuide);
    // The channels of every tab as they are now (shared, not copied), to be
    // made into guide keys on any thread.
    std::function<GuideWanted()> guideChannels() const;

signals:
    void doubleClickedChannel();
    void currentChanged();
    // The user asked for the "Newly" list to be fetched again from the service.
    void refreshNewlyChannels();
    // The stored lists are shown (emitted once, when isLoaded() turns true).
    void loaded();
    // The lists were changed and stored.
    void channelsSaved();
    // The programme guides kept for the categories changed: an imported
    // playlist named some, or a category that had some was renamed or removed.
    void guideAddressesChanged();

public slots:
    int newTab(QString strCategoryName, bool bSetCurrent = true);
    void onCopyTo();
    void on_actionAdd_Category_triggered();
    void on_actionEdit_Category_triggered();
    void on_actionRemove_Category_triggered();
    void on_actionAdd_Channel_triggered();
    void on_actionEdit_Channel_triggered();
    void on_actionRemove_Channel_triggered();
    void on_actionImport_Channel_List_triggered();
    void on_actionImport_From_Address_triggered();
    void on_actionExport_Channel_List_triggered();
    void on_actionUp_triggered();
    void on_actionDown_triggered();
    void onTabCurrentChanged(int nVal);
    void onTabMoved();
    void onListCurrentChanged();
    void on_actionRefresh_triggered();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void showEvent(QShowEvent *event) override;
    // A playlist file or address dropped onto the list is imported.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

    void insertChannelItem(int nTab, const VideoItem &rec);
    void loadCategory(QString name, ChannelListModel::Rows rows);
    void loadChannelLists();
    void removeAllTabs();
    void updateActions();

private:
    // The categories of the store as rows, built in one go (on any thread).
    struct StoredTabs
    {
        QStringList lstNames; // "Newly" first
        QVector<ChannelListModel::Rows> vecRows;
    };
    static StoredTabs readStoredTabs(const QString &strNewly, const QStringList &lstDefault,
                                     const QStringList &lstCategories, const QVariantMap &map,
                                     const QVariantMap &mapDetails);
    void showStoredTabs(StoredTabs tabs);
    void onStoreLoaded();
    // A category's guide addresses go with its new name (an empty name: they go).
    void moveGuideAddresses(const QString &strFrom, const QString &strTo);

    QListView *listAt(int nTab) const;
    QListView *currentList() const;
    static ChannelFilterProxy *proxyOf(const QListView *view);
    static ChannelListModel *modelOf(const QListView *view);
    // The channel model's row of a view's row, or -1.
    static int sourceRow(const QListView *view, int nRow);
    static int rowCountOf(const QListView *view);
    static int currentRowOf(const QListView *view);
    static int selectedCountOf(const QListView *view);
    static void makeCurrent(QListView *view, const QModelIndex &index);
    QVector<int> selectedSourceRows(const QListView *view) const;
    void applySearch();
    void playFirstMatch();
    void moveChannel(bool bUp);
    // The categories as an import starts to fill them; applyImport() finds
    // them again by their views.
    QVector<PlaylistImport::Target> importTargets();
    void applyImport(const PlaylistImport::Result &result);
    void createContextMenu();

    Ui::CDlgVideoList *ui;
    QMenu *m_pMenuContext = nullptr;
    QMenu *m_pMenuCopyTo = nullptr;
    QTabWidget *m_pTabWidget = nullptr;
    QListView *m_pListNewly = nullptr;
    bool m_bClosing = false;
    QToolBar *m_pToolBar = nullptr;
    ChannelSearchField *m_pSearch = nullptr;
    bool m_bLoaded = false;
    QFutureWatcher<StoredTabs> m_watchStoredTabs;
    PlaylistTransfer *m_pTransfer = nullptr;
    QVector<QPointer<QListView>> m_vecImportTargets;
    ChannelGuideDelegate *m_pGuideDelegate = nullptr;
};
