#include "channellist_helpers.h"

#include "DlgVideoList.h"
#include "Settings.h"

#include <QApplication>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>

namespace channellist {

std::unique_ptr<CSettings> freshSettings()
{
    const QString strOrg = QStringLiteral("Mirel Software");
    const QString strApp = QStringLiteral("Mirel Player");
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, strOrg, strApp);
        store.clear();
        store.sync();
    }
    auto pSettings = std::make_unique<CSettings>(strOrg, strApp);
    g_pSettings = pSettings.get();
    return pSettings;
}

void resetSettings()
{
    g_pSettings->clear();
    g_pSettings->sync();
    g_pSettings->load();
}

bool Fixture::setUp()
{
    pSettings = freshSettings();
    pMain = std::make_unique<QWidget>();
    pMain->resize(800, 600);
    pMain->show();
    return QTest::qWaitForWindowExposed(pMain.get());
}

void Fixture::tearDown()
{
    pMain.reset();
    g_pSettings = nullptr;
    pSettings.reset();
}

void Fixture::verifyNothingLeft()
{
    QVERIFY(!QApplication::activeModalWidget());
    TestSupport::verifyNoWindowLeft({pMain.get()});
}

QTabWidget *tabsOf(CDlgVideoList *dlg)
{
    return dlg->findChild<QTabWidget *>();
}

QListWidget *listOf(CDlgVideoList *dlg, int nTab)
{
    return qobject_cast<QListWidget *>(tabsOf(dlg)->widget(nTab));
}

QStringList tabTexts(CDlgVideoList *dlg)
{
    QStringList lst;
    for (int i = 0; i < tabsOf(dlg)->count(); ++i)
        lst << tabsOf(dlg)->tabText(i);
    return lst;
}

QStringList namesOf(QListWidget *list)
{
    QStringList lst;
    for (int i = 0; i < list->count(); ++i)
        lst << list->item(i)->text();
    return lst;
}

QStringList snapshot(CDlgVideoList *dlg)
{
    QStringList lst;
    for (int t = 0; t < tabsOf(dlg)->count(); ++t) {
        QStringList lstChannels;
        QListWidget *list = listOf(dlg, t);
        for (int i = 0; i < list->count(); ++i) {
            const VideoItem *rec = videoItemOf(list->item(i));
            lstChannels
                << (rec ? QStringLiteral("%1|%2|%3").arg(rec->strName, rec->strUrl).arg(rec->nScore)
                        : QStringLiteral("<no record>"));
        }
        lst << tabsOf(dlg)->tabText(t) + QStringLiteral(": ") +
                   lstChannels.join(QStringLiteral(", "));
    }
    return lst;
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(32, 32).toImage();
}

QImage resourceImage(const QString &strPath)
{
    const QImage image = iconImage(QIcon(strPath));
    if (image.isNull())
        qFatal("resource picture %s cannot be loaded", qPrintable(strPath));
    return image;
}

QStringList triples(std::initializer_list<const char *> lst)
{
    QStringList out;
    for (const char *sz : lst)
        out << QString::fromUtf8(sz);
    return out;
}

} // namespace channellist
