// The category and channel dialogs and the commands that run them, driven
// through their real buttons with every message box answered by the test; the
// two remove confirmations; and the translation contexts of the visible texts.

#include "DlgAddCategory.h"
#include "DlgAddVideoItem.h"
#include "DlgVideoList.h"
#include "Settings.h"
#include "channellist_helpers.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSet>
#include <QTranslator>
#include <QtTest>

#include <memory>

using namespace channellist;

using Inputs = QList<QStringList>; // what is typed before each press of OK

namespace {

// Hands out every message it is asked for, marked, and remembers which
// (context, source) pairs were asked.
class RecordingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override
    {
        Q_UNUSED(disambiguation)
        Q_UNUSED(n)
        asked.insert(
            QStringLiteral("%1/%2").arg(QLatin1String(context), QString::fromUtf8(sourceText)));
        if (qstrcmp(context, "CDlgVideoList") == 0 && qstrcmp(sourceText, "Newly") == 0)
            return QStringLiteral("最新");
        return QString();
    }
    bool isEmpty() const override { return false; }

    mutable QSet<QString> asked;
};

QStringList errorTitles(int nCount)
{
    QStringList lst;
    for (int i = 0; i < nCount; ++i)
        lst << QStringLiteral("Error");
    return lst;
}

} // namespace

class TestChannelDialogs : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CDlgVideoList> makeList()
    {
        auto dlg = std::make_unique<CDlgVideoList>(m_fixture.pMain.get());
        dlg->setGeometry(0, 0, 504, 202);
        dlg->show();
        return dlg;
    }
    void storeLists()
    {
        g_pSettings->setDefaultChannels(triples({"n0", "un0", "1", "n1", "un1", "2"}));
        g_pSettings->addCategory(QStringLiteral("Fav"), triples({"CCTV1", "u0", "10", "Two", "u1",
                                                                 "11", "Three", "u2", "12"}));
        g_pSettings->addCategory(QStringLiteral("Other"), triples({"o", "uo", "0"}));
        g_pSettings->save();
    }

    Fixture m_fixture;

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void forms();
    void categoryDialog_data();
    void categoryDialog();
    void channelDialog_data();
    void channelDialog();
    void editWithoutCurrentRowDoesNothing();
    void removeCommands_data();
    void removeCommands();
    void newlyIsReadOnly();
    void translationContexts();
};

void TestChannelDialogs::initTestCase()
{
    QVERIFY(m_fixture.setUp());
}

void TestChannelDialogs::init()
{
    resetSettings();
}

void TestChannelDialogs::cleanup()
{
    m_fixture.verifyNothingLeft();
}

void TestChannelDialogs::cleanupTestCase()
{
    m_fixture.tearDown();
}

void TestChannelDialogs::forms()
{
    CDlgAddCategory dlgCategory(nullptr);
    QCOMPARE(dlgCategory.objectName(), QStringLiteral("CDlgAddCategory"));
    QCOMPARE(dlgCategory.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(dlgCategory.size(), QSize(400, 69));
    QCOMPARE(dlgCategory.findChild<QLabel *>("label")->text(), QStringLiteral("Category Name:"));
    QVERIFY(dlgCategory.findChild<QFormLayout *>("formLayout"));
    QVERIFY(dlgCategory.findChild<QLineEdit *>("editName"));
    auto *box = dlgCategory.findChild<QDialogButtonBox *>("buttonBox");
    QCOMPARE(box->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    dlgCategory.init(nullptr, -1);
    QCOMPARE(dlgCategory.windowTitle(), QStringLiteral("Add category"));

    CDlgAddVideoItem dlgChannel(nullptr);
    QCOMPARE(dlgChannel.objectName(), QStringLiteral("CDlgAddVideoItem"));
    QCOMPARE(dlgChannel.windowTitle(), QStringLiteral("Add Channel"));
    QCOMPARE(dlgChannel.size(), QSize(453, 95));
    QCOMPARE(dlgChannel.findChild<QLabel *>("label")->text(), QStringLiteral("Channel Name:"));
    QCOMPARE(dlgChannel.findChild<QLabel *>("label_2")->text(), QStringLiteral("Channel Url:"));
    QVERIFY(dlgChannel.findChild<QLineEdit *>("editChannelName"));
    QVERIFY(dlgChannel.findChild<QLineEdit *>("editChannelUrl"));
    box = dlgChannel.findChild<QDialogButtonBox *>("buttonBox");
    QCOMPARE(box->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
}

// ---- Category dialog -----------------------------------------------------------

void TestChannelDialogs::categoryDialog_data()
{
    QTest::addColumn<bool>("edit");         // Edit Category on "Fav", else Add Category
    QTest::addColumn<QStringList>("typed"); // one name per press of OK
    QTest::addColumn<bool>("cancelAtEnd");  // press Cancel after the last refusal
    QTest::addColumn<QStringList>("boxes"); // texts of the "Error" boxes, in order
    QTest::addColumn<QStringList>("tabs");  // tab texts afterwards
    QTest::addColumn<int>("current");

    const QStringList lstBefore = {"Newly", "Fav", "Other"};
    QTest::newRow("add: spaces only, then trimmed")
        << false << QStringList{"   ", "  Sports  "} << false
        << QStringList{"Category name is empty."} << QStringList{"Newly", "Fav", "Other", "Sports"}
        << 3;
    QTest::newRow("add: empty") << false << QStringList{"", "X"} << false
                                << QStringList{"Category name is empty."}
                                << QStringList{"Newly", "Fav", "Other", "X"} << 3;
    QTest::newRow("add: the Newly tab's name is in use")
        << false << QStringList{"Newly", " newly"} << false
        << QStringList{"Category name is in use."} << QStringList{"Newly", "Fav", "Other", "newly"}
        << 3;
    QTest::newRow("add: an existing category, then another case")
        << false << QStringList{" Other ", "OTHER"} << false
        << QStringList{"Category name is in use."} << QStringList{"Newly", "Fav", "Other", "OTHER"}
        << 3;
    QTest::newRow("add: refused, then cancelled")
        << false << QStringList{"Fav"} << true << QStringList{"Category name is in use."}
        << lstBefore << 1;
    QTest::newRow("edit: same name is accepted")
        << true << QStringList{"Fav"} << false << QStringList() << lstBefore << 1;
    QTest::newRow("edit: other names in use, then renamed")
        << true << QStringList{"Newly", "Other", "  ", " Renamed "} << false
        << QStringList{"Category name is in use.", "Category name is in use.",
                       "Category name is empty."}
        << QStringList{"Newly", "Renamed", "Other"} << 1;
}

void TestChannelDialogs::categoryDialog()
{
    QFETCH(bool, edit);
    QFETCH(QStringList, typed);
    QFETCH(bool, cancelAtEnd);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, tabs);
    QFETCH(int, current);

    storeLists();
    auto dlg = makeList();
    tabsOf(dlg.get())->setCurrentIndex(1);
    const QStringList lstFav = snapshot(dlg.get()).at(1).split(QStringLiteral(": ")).mid(1);
    // Forget the stored categories, so a save after the dialog shows.
    g_pSettings->clearCategories();
    g_pSettings->setPlaylistGuideAddresses("Fav", {"http://127.0.0.1:1/g.xml"});

    QString strPrefilled;
    ModalDriver driver;
    for (int i = 0; i < typed.size(); ++i) {
        if (i == 0)
            driver.on("CDlgAddCategory", [&strPrefilled, text = typed.at(i)](QWidget *w) {
                strPrefilled = w->findChild<QLineEdit *>("editName")->text();
                w->findChild<QLineEdit *>("editName")->setText(text);
                ModalDriver::pressButton(w, QDialogButtonBox::Ok);
            });
        else
            driver.fillAndPress("CDlgAddCategory", {{"editName", typed.at(i)}},
                                QDialogButtonBox::Ok);
        if (i < boxes.size())
            driver.answerBox(QMessageBox::Ok);
    }
    if (cancelAtEnd)
        driver.on("CDlgAddCategory",
                  [](QWidget *w) { ModalDriver::pressButton(w, QDialogButtonBox::Cancel); });
    driver.start();
    if (edit)
        dlg->on_actionEdit_Category_triggered();
    else
        dlg->on_actionAdd_Category_triggered();

    QVERIFY(driver.finished());
    QVERIFY(!driver.timedOut());
    QCOMPARE(driver.dialogTitles.first(),
             edit ? QStringLiteral("Edit category") : QStringLiteral("Add category"));
    QCOMPARE(strPrefilled, edit ? QStringLiteral("Fav") : QString());
    QCOMPARE(driver.boxTexts, boxes);
    QCOMPARE(driver.boxTitles, errorTitles(boxes.size()));
    QCOMPARE(tabTexts(dlg.get()), tabs);
    QCOMPARE(tabsOf(dlg.get())->currentIndex(), current);
    // A category's guides go with its name.
    QCOMPARE(g_pSettings->m_mapPlaylistGuideAddresses.keys(), QStringList{tabs.at(1)});

    if (cancelAtEnd) {
        QVERIFY(g_pSettings->m_lstCategoryList.isEmpty()); // nothing stored
    } else {
        QCOMPARE(g_pSettings->m_lstCategoryList, tabs.mid(1));
        // A renamed category keeps its channels.
        QCOMPARE(snapshot(dlg.get()).at(1).split(QStringLiteral(": ")).mid(1), lstFav);
    }
    QVERIFY(dlg->isVisible()); // the edit dialogs leave the panel alone
}

// ---- Channel dialog ------------------------------------------------------------

void TestChannelDialogs::channelDialog_data()
{
    QTest::addColumn<bool>("edit"); // Edit Channel on row 0 of "Fav", else Add Channel
    QTest::addColumn<Inputs>("typed");
    QTest::addColumn<bool>("cancelAtEnd");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("fav"); // snapshot of "Fav" afterwards

    const QString strBefore = QStringLiteral("Fav: CCTV1|u0|10, Two|u1|11, Three|u2|12");
    QTest::newRow("add: both empty names only the name")
        << false << Inputs{{"", ""}, {"Four", "u3"}} << false
        << QStringList{"Channel name is empty."} << strBefore + ", Four|u3|0";
    QTest::newRow("add: empty URL")
        << false << Inputs{{"Four", "   "}, {"   ", "u3"}, {"Four", "u3"}} << false
        << QStringList{"Channel url is empty.", "Channel name is empty."}
        << strBefore + ", Four|u3|0";
    QTest::newRow("add: trimmed") << false << Inputs{{"  CCTV-5  ", " http://x/y?z=1 "}} << false
                                  << QStringList() << strBefore + ", CCTV-5|http://x/y?z=1|0";
    QTest::newRow("add: refused, then cancelled")
        << false << Inputs{{"Four", ""}} << true << QStringList{"Channel url is empty."}
        << strBefore;
    QTest::newRow("edit: renamed, score kept")
        << true << Inputs{{" Foo ", "http://foo"}} << false << QStringList()
        << QStringLiteral("Fav: Foo|http://foo|10, Two|u1|11, Three|u2|12");
    QTest::newRow("edit: refused, then cancelled")
        << true << Inputs{{"", "http://foo"}} << true << QStringList{"Channel name is empty."}
        << strBefore;
}

void TestChannelDialogs::channelDialog()
{
    QFETCH(bool, edit);
    QFETCH(Inputs, typed);
    QFETCH(bool, cancelAtEnd);
    QFETCH(QStringList, boxes);
    QFETCH(QString, fav);

    storeLists();
    auto dlg = makeList();
    tabsOf(dlg.get())->setCurrentIndex(1);
    const ListPeek list = listOf(dlg.get(), 1);
    if (edit)
        list.setCurrentRow(0);
    const QImage imgRow0 = iconImage(list.icon(0));
    g_pSettings->setDefaultChannels(QStringList()); // a marker: saving writes it back

    QStringList lstPrefilled;
    ModalDriver driver;
    for (int i = 0; i < typed.size(); ++i) {
        driver.on("CDlgAddVideoItem", [&lstPrefilled, i, text = typed.at(i)](QWidget *w) {
            auto *editName = w->findChild<QLineEdit *>("editChannelName");
            auto *editUrl = w->findChild<QLineEdit *>("editChannelUrl");
            if (i == 0)
                lstPrefilled << editName->text() << editUrl->text();
            editName->setText(text.at(0));
            editUrl->setText(text.at(1));
            ModalDriver::pressButton(w, QDialogButtonBox::Ok);
        });
        if (i < boxes.size())
            driver.answerBox(QMessageBox::Ok);
    }
    if (cancelAtEnd)
        driver.on("CDlgAddVideoItem",
                  [](QWidget *w) { ModalDriver::pressButton(w, QDialogButtonBox::Cancel); });
    driver.start();
    if (edit)
        dlg->on_actionEdit_Channel_triggered();
    else
        dlg->on_actionAdd_Channel_triggered();

    QVERIFY(driver.finished());
    QVERIFY(!driver.timedOut());
    QCOMPARE(driver.dialogTitles.first(),
             edit ? QStringLiteral("Edit channel") : QStringLiteral("Add channel"));
    QCOMPARE(lstPrefilled, edit ? (QStringList{"CCTV1", "u0"}) : (QStringList{"", ""}));
    QCOMPARE(driver.boxTexts, boxes);
    QCOMPARE(driver.boxTitles, errorTitles(boxes.size()));
    QCOMPARE(snapshot(dlg.get()).at(1), fav);
    QCOMPARE(snapshot(dlg.get()).at(0), QStringLiteral("Newly: n0|un0|1, n1|un1|2"));

    if (cancelAtEnd) {
        QVERIFY(g_pSettings->m_lstDefaultChannels.isEmpty());
        return;
    }
    QCOMPARE(g_pSettings->m_lstDefaultChannels, triples({"n0", "un0", "1", "n1", "un1", "2"}));
    QStringList lstStored;
    for (const QString &strChannel : fav.mid(5).split(QStringLiteral(", ")))
        lstStored << strChannel.split(QLatin1Char('|'));
    QCOMPARE(g_pSettings->m_mapCategory.value("Fav").toStringList(), lstStored);

    // Icons and tooltips are chosen when an item is made: an edited channel
    // keeps them, a new one gets the logo for its name and position.
    QCOMPARE(iconImage(list.icon(0)), imgRow0);
    QCOMPARE(list.toolTip(0), QStringLiteral("CCTV1"));
    if (!edit) {
        QCOMPARE(list.toolTip(3), list.text(3));
        const QString strLogo = list.text(3).startsWith(QLatin1String("CCTV-5"))
                                    ? QStringLiteral(":/res/logo/cctv5.png")
                                    : QStringLiteral(":/res/video_4.png");
        QCOMPARE(iconImage(list.icon(3)), resourceImage(strLogo));
        QCOMPARE(list.record(3).strRegion, QString());
    }
}

void TestChannelDialogs::editWithoutCurrentRowDoesNothing()
{
    storeLists();
    auto dlg = makeList();
    tabsOf(dlg.get())->setCurrentIndex(1);
    const ListPeek list = listOf(dlg.get(), 1);
    // A selection without a current row must not turn Edit into Add.
    list.view()->selectionModel()->select(list.index(1), QItemSelectionModel::ClearAndSelect);
    QCOMPARE(list.currentRow(), -1);
    const QStringList lstBefore = snapshot(dlg.get());
    dlg->on_actionEdit_Channel_triggered(); // would hang here if a dialog opened
    QCOMPARE(snapshot(dlg.get()), lstBefore);
}

// ---- Remove confirmations --------------------------------------------------------

void TestChannelDialogs::removeCommands_data()
{
    QTest::addColumn<bool>("category");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QStringList>("after");

    const QStringList lstBefore = {"Newly: n0|un0|1, n1|un1|2",
                                   "Fav: CCTV1|u0|10, Two|u1|11, Three|u2|12", "Other: o|uo|0"};
    QTest::newRow("channel, Cancel") << false << false << lstBefore;
    QTest::newRow("channel, Yes") << false << true
                                  << QStringList{"Newly: n0|un0|1, n1|un1|2",
                                                 "Fav: CCTV1|u0|10, Three|u2|12", "Other: o|uo|0"};
    QTest::newRow("category, Cancel") << true << false << lstBefore;
    QTest::newRow("category, Yes")
        << true << true << QStringList{"Newly: n0|un0|1, n1|un1|2", "Other: o|uo|0"};
}

void TestChannelDialogs::removeCommands()
{
    QFETCH(bool, category);
    QFETCH(bool, yes);
    QFETCH(QStringList, after);

    storeLists();
    auto dlg = makeList();
    tabsOf(dlg.get())->setCurrentIndex(1);
    listOf(dlg.get(), 1).setCurrentRow(1);
    g_pSettings->setDefaultChannels(QStringList()); // a marker: saving writes it back
    for (const char *sz : {"Fav", "Other"})
        g_pSettings->setPlaylistGuideAddresses(sz, {"http://127.0.0.1:1/g.xml"});
    QSignalSpy spyGuides(dlg.get(), &CDlgVideoList::guideAddressesChanged);

    ModalDriver driver;
    driver.answerBox(yes ? QMessageBox::Yes : QMessageBox::Cancel);
    driver.start();
    if (category)
        dlg->on_actionRemove_Category_triggered();
    else
        dlg->on_actionRemove_Channel_triggered();

    QVERIFY(driver.finished());
    QCOMPARE(driver.boxTitles,
             QStringList{category ? "Remove current category" : "Remove selected channels"});
    QCOMPARE(driver.boxTexts,
             QStringList{category ? "Do you sure to remove the current category?"
                                  : "Do you sure to remove the selected channels?"});
    QCOMPARE(snapshot(dlg.get()), after);
    // Both answers hide the panel.
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->result(), int(yes ? QDialog::Accepted : QDialog::Rejected));
    if (yes) {
        QCOMPARE(g_pSettings->m_lstDefaultChannels, triples({"n0", "un0", "1", "n1", "un1", "2"}));
        QCOMPARE(g_pSettings->m_lstCategoryList.size(), after.size() - 1);
    } else {
        QVERIFY(g_pSettings->m_lstDefaultChannels.isEmpty());
    }
    // A removed category's guides are no longer read.
    QCOMPARE(spyGuides.count(), int(category && yes));
    QCOMPARE(g_pSettings->m_mapPlaylistGuideAddresses.keys(),
             (category && yes ? QStringList{"Other"} : QStringList{"Fav", "Other"}));
}

void TestChannelDialogs::newlyIsReadOnly()
{
    // Reached only by calling the slots (the actions are disabled there): no
    // box opens and the "Newly" tab and its channels stay.
    storeLists();
    auto dlg = makeList();
    listOf(dlg.get(), 0).setCurrentRow(0);
    const QStringList lstBefore = snapshot(dlg.get());
    dlg->on_actionRemove_Category_triggered();
    dlg->on_actionRemove_Channel_triggered();
    dlg->on_actionEdit_Category_triggered();
    dlg->on_actionAdd_Channel_triggered();
    dlg->on_actionEdit_Channel_triggered();
    dlg->on_actionUp_triggered();
    dlg->on_actionDown_triggered();
    QCOMPARE(snapshot(dlg.get()), lstBefore);
    QVERIFY(dlg->isVisible());
    dlg->saveChannelLists();
    QCOMPARE(g_pSettings->m_lstDefaultChannels, triples({"n0", "un0", "1", "n1", "un1", "2"}));
}

// ---- Translation contexts ---------------------------------------------------------

void TestChannelDialogs::translationContexts()
{
    RecordingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));

    storeLists();
    auto dlg = makeList();
    QCOMPARE(tabsOf(dlg.get())->tabText(0), QStringLiteral("最新"));

    // The context menu with an empty stored category list offers "My Favorite".
    g_pSettings->clearCategories();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(40, 40),
                            dlg->mapToGlobal(QPoint(40, 40)));
    QApplication::sendEvent(dlg.get(), &event);
    dlg->hideContextMenu();

    // Each dialog once, refused once, then cancelled; each remove box once.
    tabsOf(dlg.get())->setCurrentIndex(1);
    listOf(dlg.get(), 1).setCurrentRow(0);
    ModalDriver driver;
    const auto cancel = [](QWidget *w) { ModalDriver::pressButton(w, QDialogButtonBox::Cancel); };
    driver.fillAndPress("CDlgAddCategory", {{"editName", ""}}, QDialogButtonBox::Ok)
        .answerBox(QMessageBox::Ok)
        .fillAndPress("CDlgAddCategory", {{"editName", "最新"}}, QDialogButtonBox::Ok)
        .answerBox(QMessageBox::Ok)
        .on("CDlgAddCategory", cancel)
        .on("CDlgAddCategory", cancel)
        .fillAndPress("CDlgAddVideoItem", {{"editChannelName", ""}}, QDialogButtonBox::Ok)
        .answerBox(QMessageBox::Ok)
        .fillAndPress("CDlgAddVideoItem", {{"editChannelName", "x"}, {"editChannelUrl", ""}},
                      QDialogButtonBox::Ok)
        .answerBox(QMessageBox::Ok)
        .on("CDlgAddVideoItem", cancel)
        .on("CDlgAddVideoItem", cancel)
        .answerBox(QMessageBox::Cancel)
        .answerBox(QMessageBox::Cancel);
    driver.start();
    dlg->on_actionAdd_Category_triggered();
    dlg->on_actionEdit_Category_triggered();
    dlg->on_actionAdd_Channel_triggered();
    dlg->on_actionEdit_Channel_triggered();
    dlg->on_actionRemove_Category_triggered();
    dlg->on_actionRemove_Channel_triggered();
    QCoreApplication::removeTranslator(&translator);
    QVERIFY(driver.finished());
    QCOMPARE(driver.boxTexts.at(1), QStringLiteral("Category name is in use."));

    QStringList lstExpected;
    for (const char *sz : {"Add Category",
                           "Edit Category",
                           "Remove Category",
                           "Add Channel",
                           "Edit Channel",
                           "Remove Channel",
                           "Import Channel List",
                           "Export Channel List",
                           "Up",
                           "Down",
                           "Refresh newly channels",
                           "Newly",
                           "Copy to",
                           "My Favorite",
                           "Add category",
                           "Edit category",
                           "Add channel",
                           "Edit channel",
                           "Remove current category",
                           "Do you sure to remove the current category?",
                           "Remove selected channels",
                           "Do you sure to remove the selected channels?",
                           "Dialog"})
        lstExpected << QStringLiteral("CDlgVideoList/") + QString::fromUtf8(sz);
    for (const char *sz : {"Category Name:", "Add category", "Edit category", "Error",
                           "Category name is empty.", "Category name is in use.", "Dialog"})
        lstExpected << QStringLiteral("CDlgAddCategory/") + QString::fromUtf8(sz);
    for (const char *sz : {"Channel Name:", "Channel Url:", "Add Channel", "Edit Channel", "Error",
                           "Channel name is empty.", "Channel url is empty."})
        lstExpected << QStringLiteral("CDlgAddVideoItem/") + QString::fromUtf8(sz);
    QStringList lstMissing;
    for (const QString &strPair : qAsConst(lstExpected)) {
        if (!translator.asked.contains(strPair))
            lstMissing << strPair;
    }
    QCOMPARE(lstMissing, QStringList());
}

QTEST_MAIN(TestChannelDialogs)
#include "tst_channeldialogs.moc"
