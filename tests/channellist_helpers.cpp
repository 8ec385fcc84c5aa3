#include "channellist_helpers.h"

#include "ChannelFilterProxy.h"
#include "ChannelListModel.h"
#include "DlgVideoList.h"
#include "PlaylistTransfer.h"
#include "Settings.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
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

int ListPeek::count() const
{
    return m_view->model()->rowCount();
}

int ListPeek::currentRow() const
{
    return m_view->currentIndex().row();
}

void ListPeek::setCurrentRow(int nRow, QItemSelectionModel::SelectionFlags flags) const
{
    m_view->selectionModel()->setCurrentIndex(index(nRow), flags);
}

QList<int> ListPeek::selectedRows() const
{
    QList<int> lst;
    for (const QModelIndex &selected : m_view->selectionModel()->selectedIndexes())
        lst << selected.row();
    return lst;
}

QModelIndex ListPeek::index(int nRow) const
{
    return m_view->model()->index(nRow, 0);
}

QString ListPeek::text(int nRow) const
{
    return index(nRow).data(Qt::DisplayRole).toString();
}

QString ListPeek::toolTip(int nRow) const
{
    return index(nRow).data(Qt::ToolTipRole).toString();
}

QIcon ListPeek::icon(int nRow) const
{
    return index(nRow).data(Qt::DecorationRole).value<QIcon>();
}

const VideoItem &ListPeek::record(int nRow) const
{
    const auto *proxy = static_cast<const ChannelFilterProxy *>(m_view->model());
    return proxy->channels()->record(proxy->mapToSource(index(nRow)).row());
}

ListPeek listOf(CDlgVideoList *dlg, int nTab)
{
    return ListPeek(dlg->channelView(nTab));
}

QStringList tabTexts(CDlgVideoList *dlg)
{
    QStringList lst;
    for (int i = 0; i < tabsOf(dlg)->count(); ++i)
        lst << tabsOf(dlg)->tabText(i);
    return lst;
}

QStringList namesOf(const ListPeek &list)
{
    QStringList lst;
    for (int i = 0; i < list.count(); ++i)
        lst << list.text(i);
    return lst;
}

QStringList snapshot(CDlgVideoList *dlg)
{
    QStringList lst;
    for (int t = 0; t < tabsOf(dlg)->count(); ++t) {
        QStringList lstChannels;
        const ListPeek list = listOf(dlg, t);
        for (int i = 0; i < list.count(); ++i) {
            const VideoItem &rec = list.record(i);
            lstChannels << QStringLiteral("%1|%2|%3").arg(rec.strName, rec.strUrl).arg(rec.nScore);
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

VideoItem record(int nId, const char *szName, const char *szUrl, const char *szRegion, int nScore)
{
    VideoItem rec;
    rec.nId = nId;
    rec.strName = QString::fromUtf8(szName);
    rec.strUrl = QString::fromUtf8(szUrl);
    rec.strRegion = QString::fromUtf8(szRegion);
    rec.nScore = nScore;
    return rec;
}

QStringList runTransfer(CDlgVideoList *dlg, const char *szAction, const Answers &answers)
{
    ModalDriver driver;
    if (answers.bAll)
        driver.on("QMessageBox", [](QWidget *w) {
            auto *box = static_cast<QMessageBox *>(w);
            for (QAbstractButton *button : box->buttons()) {
                if (button->text() == QLatin1String("All Categories"))
                    button->click();
            }
        });
    if (!answers.strFile.isEmpty())
        driver.on("QFileDialog", [answers](QWidget *w) {
            // Typed, as a user would: the whole path into the name field.
            auto *edit = w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            edit->setText(answers.strFile);
            QMetaObject::invokeMethod(w, "accept");
        });
    if (!answers.strAddress.isEmpty())
        driver.on("QInputDialog", [answers](QWidget *w) {
            auto *dialog = static_cast<QInputDialog *>(w);
            dialog->setTextValue(answers.strAddress);
            dialog->accept();
        });
    if (answers.bError)
        driver.answerBox(QMessageBox::Ok);
    driver.start();
    dlg->findChild<QAction *>(QString::fromLatin1(szAction))->trigger();
    auto *transfer = dlg->findChild<PlaylistTransfer *>();
    const bool bDone =
        QTest::qWaitFor([&] { return driver.finished() && !transfer->isImporting(); }, 20000);
    if (!bDone || driver.timedOut())
        qWarning() << "a dialog of" << szAction << "was not answered:" << driver.dialogTitles;
    return driver.boxTexts;
}

QStringList triples(std::initializer_list<const char *> lst)
{
    QStringList out;
    for (const char *sz : lst)
        out << QString::fromUtf8(sz);
    return out;
}

} // namespace channellist
