#pragma once

// What the tests of the channel list and of the windows around it share: a
// fresh settings store, and a look into the channel list's tabs.

#include "VideoItem.h"
#include "testsupport.h"

#include <QIcon>
#include <QImage>
#include <QItemSelectionModel>
#include <QListView>
#include <QStringList>
#include <QTabWidget>

#include <initializer_list>
#include <memory>

class CDlgVideoList;
class CSettings;
class QWidget;
struct VideoItem;

namespace channellist {

// Clears the stored keys of the product's settings store, then makes a new
// store over them and publishes it as g_pSettings.
std::unique_ptr<CSettings> freshSettings();
// Empties the current store, both on disk and in the members.
void resetSettings();

// What the channel list's tests keep for a whole run: the settings store and
// a shown stand-in for the main window, the parent of the panels and dialogs.
struct Fixture
{
    std::unique_ptr<CSettings> pSettings;
    std::unique_ptr<QWidget> pMain;

    bool setUp();
    void tearDown();
    // For cleanup(): no modal box and no window but the stand-in left open.
    void verifyNothingLeft();
};

// A tab's list as the tests look at it: the rows its view shows, read through
// the view's model, and the channel records behind them.
class ListPeek
{
public:
    ListPeek(QListView *view = nullptr) : m_view(view) {}
    QListView *view() const { return m_view; }
    bool operator==(const ListPeek &other) const { return m_view == other.m_view; }
    int count() const;
    int currentRow() const;
    void setCurrentRow(int nRow, QItemSelectionModel::SelectionFlags flags =
                                     QItemSelectionModel::ClearAndSelect) const;
    QList<int> selectedRows() const;
    QModelIndex index(int nRow) const;
    QString text(int nRow) const;
    QString toolTip(int nRow) const;
    QIcon icon(int nRow) const;
    const VideoItem &record(int nRow) const;

private:
    QListView *m_view;
};

QTabWidget *tabsOf(CDlgVideoList *dlg);
ListPeek listOf(CDlgVideoList *dlg, int nTab);
QStringList tabTexts(CDlgVideoList *dlg);
QStringList namesOf(const ListPeek &list);
// "tab: name|url|score, ..." per tab, from the records behind the items.
QStringList snapshot(CDlgVideoList *dlg);

QImage iconImage(const QIcon &icon);
// The picture behind a resource path; never null, so comparing with it means
// something.
QImage resourceImage(const QString &strPath);

// Runs an import or export command as the user would, answering its dialogs:
// the file dialog (strFile), the address dialog (strAddress), the question
// which categories to export (bAll). When bError, an "Error" box is expected
// and answered. Returns the texts of the boxes answered, once the command is
// done.
struct Answers
{
    QString strFile;
    QString strAddress;
    bool bAll = false;
    bool bError = false;
};
QStringList runTransfer(CDlgVideoList *dlg, const char *szAction, const Answers &answers);

QStringList triples(std::initializer_list<const char *> lst);
// A channel record (UTF-8 texts); origin, logo and options left as for the user's own.
VideoItem record(int nId, const char *szName, const char *szUrl, const char *szRegion = "",
                 int nScore = 0);

} // namespace channellist
