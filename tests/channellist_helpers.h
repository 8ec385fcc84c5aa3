#pragma once

// What the tests of the channel list and of the windows around it share: a
// fresh settings store, and a look into the channel list's tabs.

#include "testsupport.h"

#include <QImage>
#include <QListWidget>
#include <QTabWidget>

#include <initializer_list>
#include <memory>

class CDlgVideoList;
class CSettings;
class QWidget;

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

QTabWidget *tabsOf(CDlgVideoList *dlg);
QListWidget *listOf(CDlgVideoList *dlg, int nTab);
QStringList tabTexts(CDlgVideoList *dlg);
QStringList namesOf(QListWidget *list);
// "tab: name|url|score, ..." per tab, from the records behind the items.
QStringList snapshot(CDlgVideoList *dlg);

QImage iconImage(const QIcon &icon);
// The picture behind a resource path; never null, so comparing with it means
// something.
QImage resourceImage(const QString &strPath);

QStringList triples(std::initializer_list<const char *> lst);

} // namespace channellist
