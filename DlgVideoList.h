#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QContextMenuEvent;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QTabWidget;
class QToolBar;

namespace Ui {
class CDlgVideoList;
}

// One channel. A list item refers to its record through Qt::UserRole (the
// record's address as a qlonglong); the record lives exactly as long as the item.
struct VideoItem
{
    int nId = 0; // the web service's id; 0 for channels not received from it
    QString strName;
    QString strUrl;
    QString strRegion; // the service's region; empty for the user's own channels
    int nScore = 0;
};

// The channel list panel: a "Newly" tab filled from the web service plus one
// tab per user category, each a list of channels with a logo. Every change is
// written back to g_pSettings at once, so the store always mirrors the tabs.
// The main window owns it as a child widget and shows and hides it.
class CDlgVideoList : public QDialog
{
    Q_OBJECT

public:
    explicit CDlgVideoList(QWidget *parent);
    ~CDlgVideoList() override;

    // Name and URL of the current channel of the current tab (row 0 when no row
    // is current); both arguments are left alone when there is no such channel.
    void getCurrentChannel(QString &name, QString &url);
    bool hasNextChannel();
    bool hasPreviousChannel();
    void selectNextChannel();
    void selectPreviousChannel();

    // Replaces the "Newly" channels and stores the lists; takes ownership of
    // the records (null entries are skipped).
    void setNewlyChannels(QList<VideoItem *> list);
    // Appends a new channel to tab nTab (-1: the current tab). Stores nothing.
    void addChannel(int nTab, QString name, QString url, QString region, int score);
    void hideContextMenu();
    // Writes every list into the settings store.
    void saveChannelLists();
    // Selects the first channel, in tab and row order, whose name equals the
    // last played channel's name, and makes its tab current.
    void selectPlayingChannel();

signals:
    void doubleClickedChannel();
    void currentChanged();
    // The user asked for the "Newly" list to be fetched again from the service.
    void refreshNewlyChannels();

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
    void on_actionExport_Channel_List_triggered();
    void on_actionUp_triggered();
    void on_actionDown_triggered();
    void onTabCurrentChanged(int nVal);
    void onTabMoved();
    void onListCurrentChanged();
    void on_actionRefresh_triggered();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

    void insertChannelItem(int nTab, VideoItem *rec);
    void loadCategory(QString name, QStringList triples);
    void loadChannelLists();
    void clearChannelList(QListWidget *list);
    void removeAllTabs();
    void updateActions();

private:
    QListWidget *listAt(int nTab) const;
    QListWidget *currentList() const;
    void moveChannel(bool bUp);
    void createContextMenu();

    Ui::CDlgVideoList *ui;
    QMenu *m_pMenuContext = nullptr;
    QMenu *m_pMenuCopyTo = nullptr;
    QTabWidget *m_pTabWidget = nullptr;
    QListWidget *m_pListNewly = nullptr;
    bool m_bClosing = false;
    QToolBar *m_pToolBar = nullptr;
};

// The record hanging off a list item, or nullptr when it has none (any more).
VideoItem *videoItemOf(const QListWidgetItem *item);
