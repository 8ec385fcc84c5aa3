// The channel list: the logo rule, building the tabs from the store and saving
// them back, navigation, the enabling rules, the context menu with "Copy to",
// moving channels, and the panel's construction and teardown.

#include "ChannelDetails.h"
#include "DlgVideoList.h"
#include "LogoFetcher.h"
#include "M3uParser.h"
#include "PlaylistImport.h"
#include "ScriptedHttpServer.h"
#include "Settings.h"
#include "VideoLogo.h"
#include "channellist_helpers.h"

#include <QAction>
#include <QBuffer>
#include <QContextMenuEvent>
#include <QDirIterator>
#include <QFile>
#include <QLayout>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace channellist;

class TestChannelList : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CDlgVideoList> makeList()
    {
        auto dlg = std::make_unique<CDlgVideoList>(m_fixture.pMain.get());
        dlg->setGeometry(0, 0, 504, 202);
        return dlg;
    }
    void storeCategories(const QStringList &lstNames, const QVariantMap &map)
    {
        g_pSettings->setValue(QStringLiteral("m_lstCategoryList"), lstNames);
        g_pSettings->setValue(QStringLiteral("m_mapCategory"), map);
        g_pSettings->load();
    }
    QMenu *openContextMenu(CDlgVideoList *dlg, const QPoint &pos)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, dlg->mapToGlobal(pos));
        QApplication::sendEvent(dlg, &event);
        for (QMenu *menu : dlg->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (menu->isVisible())
                return menu;
        }
        return nullptr;
    }
    static QMenu *copyToMenu(QMenu *context)
    {
        for (QAction *action : context->actions()) {
            if (action->menu())
                return action->menu();
        }
        return nullptr;
    }
    static QStringList actionTexts(const QList<QAction *> &actions)
    {
        QStringList lst;
        for (QAction *action : actions)
            lst << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return lst;
    }

    Fixture m_fixture;

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void logoRule_data();
    void logoRule();
    void logoResourcesExist();
    void logoFollowsListPosition();
    void logoFetch_data();
    void logoFetch();
    void logoFetchBounds();

    void loadAndSave_data();
    void loadAndSave();
    void anyStoredLengthSavesWellFormed();
    void itemRoles();
    void nonAsciiRoundTrip();
    void newlyTabDraggedElsewhere();
    void setNewlyChannels();
    void selectPlayingChannel();

    void navigation_data();
    void navigation();

    void panelLook();
    void signalsReachTheOwner();
    void teardownIsQuiet();

    void formActions_data();
    void formActions();
    void updateActions_data();
    void updateActions();
    void contextMenuArea();
    void copyToMyFavorite();
    void copyToStoredCategory();
    void moveUpAndDown_data();
    void moveUpAndDown();

    void importPlaylist_data();
    void importPlaylist();
    void importKeepsDetails();
    void exportImportRoundTrip();
    void importFromAddressAndDrop();
};

void TestChannelList::initTestCase()
{
    QVERIFY(m_fixture.setUp());
}

void TestChannelList::init()
{
    resetSettings();
}

void TestChannelList::cleanup()
{
    // Every panel and menu of a case is gone with it; no box may be left open.
    m_fixture.verifyNothingLeft();
    QCOMPARE(m_fixture.pMain->findChildren<CDlgVideoList *>().size(), 0);
}

void TestChannelList::cleanupTestCase()
{
    m_fixture.tearDown();
}

// ---- Logo rule ---------------------------------------------------------------

void TestChannelList::logoRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("logo");

    QTest::newRow("CCTV-1 综合") << QStringLiteral("CCTV-1 综合") << 7 << ":/res/logo/cctv1.png";
    // A number in a rule stands whole: CCTV-10 to CCTV-17 are not CCTV-1.
    QTest::newRow("cctv10 is generic") << "cctv10" << 0 << ":/res/video_1.png";
    QTest::newRow("CCTV-13新闻 is generic")
        << QStringLiteral("CCTV-13新闻") << 1 << ":/res/video_2.png";
    QTest::newRow("CCTV-10 is generic") << "CCTV-10" << 0 << ":/res/video_1.png";
    QTest::newRow("CCTV12 is generic, not row 2") << "CCTV12" << 0 << ":/res/video_1.png";
    QTest::newRow("CCTV-17 is generic") << "CCTV-17" << 6 << ":/res/video.png";
    QTest::newRow("CCTV1 after CCTV10") << "CCTV10 / CCTV1" << 0 << ":/res/logo/cctv1.png";
    QTest::newRow("CCTV1 before a letter") << "CCTV1HD" << 0 << ":/res/logo/cctv1.png";
    QTest::newRow("CCTV2") << "CCTV2" << 0 << ":/res/logo/cctv2.png";
    QTest::newRow("CCTV-5+ 体育") << QStringLiteral("CCTV-5+ 体育") << 9 << ":/res/logo/cctv5.png";
    QTest::newRow("inside a longer name") << "HD cctv-8 movies" << 0 << ":/res/logo/cctv8.png";
    QTest::newRow("CCTV9 is generic") << "CCTV9" << 0 << ":/res/video_1.png";
    QTest::newRow("CCTV-9 is generic") << "CCTV-9" << 4 << ":/res/video_5.png";
    QTest::newRow("湖南卫视") << QStringLiteral("湖南卫视高清") << 0 << ":/res/logo/hnws.png";
    QTest::newRow("东方卫视") << QStringLiteral("东方卫视") << 0 << ":/res/logo/dfws.png";
    QTest::newRow("浙江卫视") << QStringLiteral("浙江卫视") << 0 << ":/res/logo/zjws.png";
    QTest::newRow("阳光卫视") << QStringLiteral("阳光卫视") << 0 << ":/res/logo/ygws.png";
    QTest::newRow("北京卫视") << QStringLiteral("北京卫视") << 0 << ":/res/logo/bjws.png";
    QTest::newRow("凤凰资讯台 before 凤凰")
        << QStringLiteral("凤凰资讯台") << 0 << ":/res/logo/fhzx.png";
    QTest::newRow("凤凰卫视中文台")
        << QStringLiteral("凤凰卫视中文台") << 0 << ":/res/logo/fhws.png";
    QTest::newRow("TVB8 lower-cased") << "TVB8" << 0 << ":/res/logo/tvb8.png";
    QTest::newRow("CCTV wins over 凤凰")
        << QStringLiteral("凤凰 CCTV3") << 0 << ":/res/logo/cctv3.png";
    QTest::newRow("empty name, first") << "" << 0 << ":/res/video_1.png";
    QTest::newRow("generic third") << "News" << 2 << ":/res/video_3.png";
    QTest::newRow("generic fifth") << "News" << 4 << ":/res/video_5.png";
    QTest::newRow("generic sixth") << "News" << 5 << ":/res/video.png";
    QTest::newRow("generic far down") << "News" << 100000 << ":/res/video.png";
    QTest::newRow("negative count") << "News" << -1 << ":/res/video.png";
}

void TestChannelList::logoRule()
{
    QFETCH(QString, name);
    QFETCH(int, count);
    QFETCH(QString, logo);
    QCOMPARE(logoForChannel(name, count), logo);
}

void TestChannelList::logoResourcesExist()
{
    QStringList lstPaths;
    for (const char *sz : {"cctv1", "cctv2", "cctv3", "cctv4", "cctv5", "cctv6", "cctv7", "cctv8",
                           "hnws", "dfws", "zjws", "ygws", "bjws", "fhzx", "fhws", "tvb8"})
        lstPaths << QStringLiteral(":/res/logo/%1.png").arg(QLatin1String(sz));
    for (int i = 1; i <= 5; ++i)
        lstPaths << QStringLiteral(":/res/video_%1.png").arg(i);
    lstPaths << QStringLiteral(":/res/video.png") << QStringLiteral(":/res/category.png");
    for (const QString &strPath : lstPaths)
        QVERIFY2(!QIcon(strPath).pixmap(32, 32).isNull(), qPrintable(strPath));
}

void TestChannelList::logoFollowsListPosition()
{
    // The generic number is the list position, not the count of logo-less
    // channels before it.
    g_pSettings->setDefaultChannels(triples({"CCTV1", "u1", "0", "CCTV2", "u2", "0", "News", "u3",
                                             "0", "A", "u", "0", "B", "u", "0", "C", "u", "0"}));
    auto dlg = makeList();
    const ListPeek list = listOf(dlg.get(), 0);
    QCOMPARE(list.count(), 6);
    const QStringList lstExpected = {":/res/logo/cctv1.png", ":/res/logo/cctv2.png",
                                     ":/res/video_3.png",    ":/res/video_4.png",
                                     ":/res/video_5.png",    ":/res/video.png"};
    for (int i = 0; i < list.count(); ++i)
        QCOMPARE(iconImage(list.icon(i)), resourceImage(lstExpected.at(i)));
}

// ---- Building from the store and saving back ---------------------------------

void TestChannelList::loadAndSave_data()
{
    QTest::addColumn<QStringList>("defaults");
    QTest::addColumn<QStringList>("categories");
    QTest::addColumn<QVariantMap>("map");
    QTest::addColumn<QStringList>("tabs");       // snapshot after loading
    QTest::addColumn<QStringList>("savedList");  // m_lstCategoryList after a save
    QTest::addColumn<QVariantMap>("savedMap");   // m_mapCategory after a save
    QTest::addColumn<QStringList>("savedNewly"); // m_lstDefaultChannels after a save

    const QStringList none;
    const QVariantMap noMap;

    QTest::newRow("empty store") << none << none << noMap << QStringList{"Newly: "} << none << noMap
                                 << none;

    QTest::newRow("seven strings give three channels")
        << triples({"A", "ua", "1", "B", "ub", "2", "C"}) << none << noMap
        << QStringList{"Newly: A|ua|1, B|ub|2, C||0"} << none << noMap
        << triples({"A", "ua", "1", "B", "ub", "2", "C", "", "0"});

    QTest::newRow("eight strings: the last has a URL")
        << triples({"A", "ua", "1", "C", "uc"}) << none << noMap
        << QStringList{"Newly: A|ua|1, C|uc|0"} << none << noMap
        << triples({"A", "ua", "1", "C", "uc", "0"});

    QTest::newRow("scores that are not numbers")
        << triples({"A", "u", "abc", "B", "u", "12x", "C", "u", "", "D", "u", "-7", "E", "u",
                    "99999999999", "F", "u", "3.5"})
        << none << noMap << QStringList{"Newly: A|u|0, B|u|0, C|u|0, D|u|-7, E|u|0, F|u|0"} << none
        << noMap
        << triples({"A", "u", "0", "B", "u", "0", "C", "u", "0", "D", "u", "-7", "E", "u", "0", "F",
                    "u", "0"});

    QTest::newRow("empty strings")
        << triples({"", "", ""}) << none << noMap << QStringList{"Newly: ||0"} << none << noMap
        << triples({"", "", "0"});

    QTest::newRow("category named but missing from the map")
        << none << QStringList{"Fav"} << noMap << QStringList{"Newly: ", "Fav: "}
        << QStringList{"Fav"} << QVariantMap{{"Fav", QStringList()}} << none;

    QTest::newRow("map entry not named is dropped")
        << none << QStringList{"Kept"}
        << QVariantMap{{"Kept", triples({"K", "uk", "5"})}, {"Gone", triples({"G", "ug", "1"})}}
        << QStringList{"Newly: ", "Kept: K|uk|5"} << QStringList{"Kept"}
        << QVariantMap{{"Kept", triples({"K", "uk", "5"})}} << none;

    QTest::newRow("categories in stored order, not map order")
        << none << QStringList{"Zeta", "Alpha"}
        << QVariantMap{{"Alpha", triples({"A", "ua", "1"})}, {"Zeta", triples({"Z", "uz", "2"})}}
        << QStringList{"Newly: ", "Zeta: Z|uz|2", "Alpha: A|ua|1"} << QStringList{"Zeta", "Alpha"}
        << QVariantMap{{"Alpha", triples({"A", "ua", "1"})}, {"Zeta", triples({"Z", "uz", "2"})}}
        << none;

    QTest::newRow("map entries that are not string lists")
        << none << QStringList{"Int", "Map", "Text"}
        << QVariantMap{{"Int", 42}, {"Map", QVariantMap{{"x", "y"}}}, {"Text", "Solo"}}
        << QStringList{"Newly: ", "Int: ", "Map: ", "Text: Solo||0"}
        << QStringList{"Int", "Map", "Text"}
        << QVariantMap{{"Int", QStringList()},
                       {"Map", QStringList()},
                       {"Text", triples({"Solo", "", "0"})}}
        << none;

    const QString strHuge(100000, QLatin1Char('x'));
    QTest::newRow("huge name") << QStringList{strHuge, "u", "1"} << none << noMap
                               << QStringList{QStringLiteral("Newly: %1|u|1").arg(strHuge)} << none
                               << noMap << QStringList{strHuge, "u", "1"};
}

void TestChannelList::loadAndSave()
{
    QFETCH(QStringList, defaults);
    QFETCH(QStringList, categories);
    QFETCH(QVariantMap, map);
    QFETCH(QStringList, tabs);
    QFETCH(QStringList, savedList);
    QFETCH(QVariantMap, savedMap);
    QFETCH(QStringList, savedNewly);

    g_pSettings->setValue(QStringLiteral("m_lstDefaultChannels"), defaults);
    storeCategories(categories, map);

    auto dlg = makeList();
    QCOMPARE(snapshot(dlg.get()), tabs);
    QCOMPARE(tabsOf(dlg.get())->currentIndex(), 0);

    dlg->saveChannelLists();
    QCOMPARE(g_pSettings->m_lstCategoryList, savedList);
    QCOMPARE(g_pSettings->m_lstDefaultChannels, savedNewly);
    QCOMPARE(g_pSettings->m_mapCategory.keys(), savedMap.keys());
    for (auto it = savedMap.cbegin(); it != savedMap.cend(); ++it) {
        const QVariant stored = g_pSettings->m_mapCategory.value(it.key());
        QCOMPARE(stored.userType(), int(QMetaType::QStringList));
        QCOMPARE(stored.toStringList(), it.value().toStringList());
    }

    // What was written reads back the same from the file.
    g_pSettings->sync();
    CSettings reread(QStringLiteral("Mirel Software"), QStringLiteral("Mirel Player"));
    QCOMPARE(reread.m_lstDefaultChannels, savedNewly);
    QCOMPARE(reread.m_lstCategoryList, savedList);
    QCOMPARE(reread.m_mapCategory.keys(), savedMap.keys());
}

void TestChannelList::anyStoredLengthSavesWellFormed()
{
    // Lists of every length up to a few triples, made of awkward strings: each
    // loads, and what is saved back is whole triples with numeric scores.
    const QStringList lstPool = {
        "", " ", "12", "-3", "x", "1e3", "２", QString(3000, QChar(0x4e2d)), "\n", "0x10"};
    for (int nLength = 0; nLength <= 10; ++nLength) {
        QStringList lst;
        for (int i = 0; i < nLength; ++i)
            lst << lstPool.at((i * 7 + nLength) % lstPool.size());
        resetSettings();
        g_pSettings->setDefaultChannels(lst);
        storeCategories({"C", "Missing"}, {{"C", lst}, {"Unnamed", lst}});
        auto dlg = makeList();
        const int nChannels = (nLength + 2) / 3;
        QCOMPARE(listOf(dlg.get(), 0).count(), nChannels);
        QCOMPARE(listOf(dlg.get(), 1).count(), nChannels);
        dlg->saveChannelLists();

        QCOMPARE(g_pSettings->m_lstCategoryList, (QStringList{"C", "Missing"}));
        QCOMPARE(g_pSettings->m_mapCategory.keys(), (QStringList{"C", "Missing"}));
        const QList<QStringList> lstSaved = {g_pSettings->m_lstDefaultChannels,
                                             g_pSettings->m_mapCategory.value("C").toStringList()};
        for (const QStringList &lstTriples : lstSaved) {
            QCOMPARE(lstTriples.size(), nChannels * 3);
            for (int i = 0; i < lstTriples.size(); i += 3) {
                QCOMPARE(lstTriples.at(i), lst.at(i)); // names survive unchanged
                bool bOk = false;
                lstTriples.at(i + 2).toInt(&bOk);
                QVERIFY(bOk);
            }
        }
    }
}

void TestChannelList::itemRoles()
{
    g_pSettings->setDefaultChannels(
        triples({"CCTV-1 综合", "http://a/1", "12", "News", "http://b", "3"}));
    auto dlg = makeList();
    const ListPeek list = listOf(dlg.get(), 0);
    QCOMPARE(list.count(), 2);
    // Every row the same size, so the view never measures them one by one.
    QVERIFY(list.view()->uniformItemSizes());
    QCOMPARE(list.index(1).data(Qt::SizeHintRole).toSize(), QSize(180, 40));
    QCOMPARE(list.text(1), QStringLiteral("News"));
    QCOMPARE(list.toolTip(1), QStringLiteral("News"));
    const VideoItem &rec = list.record(1);
    QCOMPARE(rec.strName, QStringLiteral("News"));
    QCOMPARE(rec.strUrl, QStringLiteral("http://b"));
    QCOMPARE(rec.nScore, 3);
    QCOMPARE(rec.nId, 0);
    QVERIFY(rec.strRegion.isEmpty());
    QCOMPARE(iconImage(list.icon(1)), resourceImage(QStringLiteral(":/res/video_2.png")));
    QCOMPARE(iconImage(list.icon(0)), resourceImage(QStringLiteral(":/res/logo/cctv1.png")));
}

void TestChannelList::nonAsciiRoundTrip()
{
    const QStringList lstNames = {QStringLiteral("湖南卫视"),
                                  QStringLiteral("Ünïcødé ñews"),
                                  QStringLiteral("日本語チャンネル"),
                                  QStringLiteral("😀 emoji"),
                                  QStringLiteral("quote \" and , comma"),
                                  QStringLiteral("back\\slash;semi=eq")};
    g_pSettings->setPlayingVideoName(QStringLiteral("nothing like it"));
    QStringList lstBefore;
    {
        auto dlg = makeList();
        const int nTab = dlg->newTab(QStringLiteral("我的收藏 ★"), true);
        for (int i = 0; i < lstNames.size(); ++i)
            dlg->addChannel(nTab, lstNames.at(i), QStringLiteral("rtmp://ü/%1?a=b&c=д").arg(i),
                            QString(), i * 10);
        dlg->addChannel(0, lstNames.at(0), QStringLiteral("http://newly"), QStringLiteral("china"),
                        7);
        dlg->saveChannelLists();
        lstBefore = snapshot(dlg.get());
    }
    QCOMPARE(lstBefore.size(), 2);

    // Through the file: a second store reading the same keys.
    g_pSettings->sync();
    g_pSettings->load();
    auto dlg = makeList();
    QCOMPARE(snapshot(dlg.get()), lstBefore);
    QCOMPARE(namesOf(listOf(dlg.get(), 1)), lstNames);
}

void TestChannelList::newlyTabDraggedElsewhere()
{
    storeCategories({"A", "B"},
                    {{"A", triples({"a", "ua", "1"})}, {"B", triples({"b", "ub", "2"})}});
    g_pSettings->setDefaultChannels(triples({"n", "un", "3"}));
    {
        auto dlg = makeList();
        const ListPeek newly = listOf(dlg.get(), 0);
        tabsOf(dlg.get())->tabBar()->moveTab(0, 2); // stores at once
        QCOMPARE(tabTexts(dlg.get()), (QStringList{"A", "B", "Newly"}));
        QCOMPARE(g_pSettings->m_lstCategoryList, (QStringList{"A", "B"}));
        QCOMPARE(g_pSettings->m_lstDefaultChannels, triples({"n", "un", "3"}));

        // Refilling still reaches the moved tab.
        VideoItem rec;
        rec.strName = QStringLiteral("fresh");
        rec.strUrl = QStringLiteral("uf");
        dlg->setNewlyChannels({rec});
        QCOMPARE(namesOf(newly), QStringList{"fresh"});
        QCOMPARE(listOf(dlg.get(), 2), newly);
        QCOMPARE(g_pSettings->m_lstDefaultChannels, triples({"fresh", "uf", "0"}));
        QCOMPARE(g_pSettings->m_lstCategoryList, (QStringList{"A", "B"}));

        tabsOf(dlg.get())->tabBar()->moveTab(0, 1);
        QCOMPARE(g_pSettings->m_lstCategoryList, (QStringList{"B", "A"}));
    }
    auto dlg = makeList();
    QCOMPARE(snapshot(dlg.get()), (QStringList{"Newly: fresh|uf|0", "B: b|ub|2", "A: a|ua|1"}));
}

void TestChannelList::setNewlyChannels()
{
    g_pSettings->setDefaultChannels(triples({"old1", "u", "1", "old2", "u", "2"}));
    auto dlg = makeList();
    const ListPeek newly = listOf(dlg.get(), 0);

    const VideoItem a = record(11, "CCTV5", "ua", "china", 9);
    const VideoItem b = record(12, "Other", "ub", "", 4);
    // Records are values: one given twice is two channels.
    dlg->setNewlyChannels({a, b, a});
    QCOMPARE(namesOf(newly), (QStringList{"CCTV5", "Other", "CCTV5"}));
    QCOMPARE(newly.record(0).nId, 11);
    QCOMPARE(newly.record(2).strRegion, QStringLiteral("china"));
    QCOMPARE(iconImage(newly.icon(0)), resourceImage(QStringLiteral(":/res/logo/cctv5.png")));
    QCOMPARE(iconImage(newly.icon(1)), resourceImage(QStringLiteral(":/res/video_2.png")));
    QCOMPARE(g_pSettings->m_lstDefaultChannels,
             triples({"CCTV5", "ua", "9", "Other", "ub", "4", "CCTV5", "ua", "9"}));

    dlg->setNewlyChannels({});
    QCOMPARE(newly.count(), 0);
    QVERIFY(g_pSettings->m_lstDefaultChannels.isEmpty());
}

void TestChannelList::selectPlayingChannel()
{
    g_pSettings->setPlayingVideoName(QStringLiteral("Two"));
    g_pSettings->setDefaultChannels(triples({"One", "u1", "0", "Two", "u2", "0"}));
    storeCategories({"Cat"},
                    {{"Cat", triples({"x", "ux", "0", "Two", "u2b", "0", "Solo", "us", "0"})}});

    auto dlg = makeList();
    // The first match in tab order is selected; "Newly" is current anyway.
    QCOMPARE(tabsOf(dlg.get())->currentIndex(), 0);
    const ListPeek newly = listOf(dlg.get(), 0);
    const ListPeek cat = listOf(dlg.get(), 1);
    QCOMPARE(newly.currentRow(), 1);
    QCOMPARE(newly.selectedRows(), QList<int>{1});
    QCOMPARE(cat.currentRow(), -1);
    QString strName, strUrl;
    dlg->getCurrentChannel(strName, strUrl);
    QCOMPARE(strUrl, QStringLiteral("u2"));

    // The playing channel is now only in "Cat": a refill switches to it.
    QSignalSpy spyCurrent(dlg.get(), &CDlgVideoList::currentChanged);
    g_pSettings->setPlayingVideoName(QStringLiteral("Solo"));
    dlg->setNewlyChannels({record(0, "One", "u1")});
    QCOMPARE(tabsOf(dlg.get())->currentIndex(), 1);
    QCOMPARE(cat.currentRow(), 2);
    QCOMPARE(cat.selectedRows(), QList<int>{2});
    QVERIFY(spyCurrent.count() >= 1);

    // An empty playing name matches only a channel with an empty name.
    g_pSettings->setPlayingVideoName(QString());
    tabsOf(dlg.get())->setCurrentIndex(0);
    dlg->selectPlayingChannel();
    QCOMPARE(tabsOf(dlg.get())->currentIndex(), 0);
    dlg->addChannel(1, QString(), QStringLiteral("unnamed"), QString(), 0);
    dlg->selectPlayingChannel();
    QCOMPARE(tabsOf(dlg.get())->currentIndex(), 1);
    QCOMPARE(cat.currentRow(), 3);
}

// ---- Navigation ----------------------------------------------------------------

void TestChannelList::navigation_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("row"); // current row before, -1 for none
    QTest::addColumn<bool>("hasNext");
    QTest::addColumn<bool>("hasPrevious");
    QTest::addColumn<int>("rowAfterNext");     // after selectNextChannel()
    QTest::addColumn<int>("rowAfterPrevious"); // after selectPreviousChannel()
    QTest::addColumn<int>("currentChannel");   // index getCurrentChannel gives, -1: untouched

    QTest::newRow("0 items") << 0 << -1 << false << false << -1 << -1 << -1;
    QTest::newRow("1 item, no row") << 1 << -1 << false << false << 0 << 0 << 0;
    QTest::newRow("1 item, row 0") << 1 << 0 << false << false << 0 << 0 << 0;
    QTest::newRow("2 items, no row") << 2 << -1 << true << true << 0 << 0 << 0;
    QTest::newRow("2 items, row 0") << 2 << 0 << true << false << 1 << 0 << 0;
    QTest::newRow("2 items, row 1 (last)") << 2 << 1 << false << true << 1 << 0 << 1;
    QTest::newRow("3 items, row 1") << 3 << 1 << true << true << 2 << 0 << 1;
    QTest::newRow("3 items, row 2 (last)") << 3 << 2 << false << true << 2 << 1 << 2;
}

void TestChannelList::navigation()
{
    QFETCH(int, count);
    QFETCH(int, row);
    QFETCH(bool, hasNext);
    QFETCH(bool, hasPrevious);
    QFETCH(int, rowAfterNext);
    QFETCH(int, rowAfterPrevious);
    QFETCH(int, currentChannel);

    // A category tab that is current, with "Newly" holding other channels.
    QStringList lstTriples;
    for (int i = 0; i < count; ++i)
        lstTriples << QStringLiteral("ch%1").arg(i) << QStringLiteral("url%1").arg(i)
                   << QStringLiteral("0");
    g_pSettings->setDefaultChannels(
        triples({"n0", "nu0", "0", "n1", "nu1", "0", "n2", "nu2", "0"}));
    storeCategories({"Cat"}, {{"Cat", lstTriples}});
    auto dlg = makeList();
    tabsOf(dlg.get())->setCurrentIndex(1);
    const ListPeek list = listOf(dlg.get(), 1);
    list.setCurrentRow(row);
    QCOMPARE(list.currentRow(), row);

    QCOMPARE(dlg->hasNextChannel(), hasNext);
    QCOMPARE(dlg->hasPreviousChannel(), hasPrevious);

    QString strName = QStringLiteral("keep"), strUrl = QStringLiteral("keep");
    dlg->getCurrentChannel(strName, strUrl);
    QCOMPARE(strName, currentChannel < 0 ? QStringLiteral("keep")
                                         : QStringLiteral("ch%1").arg(currentChannel));
    QCOMPARE(strUrl, currentChannel < 0 ? QStringLiteral("keep")
                                        : QStringLiteral("url%1").arg(currentChannel));

    // Both moves stay on the tab, never wrap, and leave exactly the new row
    // selected.
    dlg->selectNextChannel();
    QCOMPARE(list.currentRow(), rowAfterNext);
    QCOMPARE(tabsOf(dlg.get())->currentIndex(), 1);
    if (rowAfterNext >= 0)
        QCOMPARE(list.selectedRows(), QList<int>{rowAfterNext});

    list.setCurrentRow(row);
    dlg->selectPreviousChannel();
    QCOMPARE(list.currentRow(), rowAfterPrevious);
    QCOMPARE(tabsOf(dlg.get())->currentIndex(), 1);
    if (rowAfterPrevious >= 0)
        QCOMPARE(list.selectedRows(), QList<int>{rowAfterPrevious});
}

// ---- Logos from playlists ---------------------------------------------------

namespace {

QByteArray pictureBytes(const QColor &colour, const QSize &size, const char *szFormat)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, szFormat);
    return buffer.data();
}

qint64 folderBytes(const QString &strDir)
{
    qint64 nTotal = 0;
    QDirIterator it(strDir, QDir::Files);
    while (it.hasNext()) {
        it.next();
        nTotal += it.fileInfo().size();
    }
    return nTotal;
}

} // namespace

void TestChannelList::logoFetch_data()
{
    QTest::addColumn<QString>("path"); // on the test server, or a whole URL
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("shown");

    const QByteArray png = pictureBytes(Qt::red, QSize(64, 48), "PNG");
    QTest::newRow("PNG") << "/a.png" << ScriptedHttpServer::http(png, 200, "image/png") << true;
    QTest::newRow("10 MB") << "/big.png"
                           << ScriptedHttpServer::http(png + QByteArray(10 * 1024 * 1024, '\0'),
                                                       200, "image/png")
                           << false;
    QTest::newRow("10 MB, no length given")
        << "/big2.png"
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\n\r\n") +
               png + QByteArray(10 * 1024 * 1024, '\0')
        << false;
    QTest::newRow("not a picture")
        << "/c.png" << ScriptedHttpServer::http("<html>no</html>", 200, "image/png") << false;
    QTest::newRow("too many pixels")
        << "/d.png" << ScriptedHttpServer::http(pictureBytes(Qt::red, QSize(5000, 5000), "PNG"))
        << false;
    QTest::newRow("file URL") << "file:///etc/passwd" << QByteArray() << false;
    QTest::newRow("data URL") << QString::fromLatin1("data:image/png;base64," + png.toBase64())
                              << QByteArray() << false;
}

void TestChannelList::logoFetch()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, answer);
    QFETCH(bool, shown);
    ScriptedHttpServer server;
    server.setScript([&](const auto &) {
        return ScriptedHttpServer::Answer{ScriptedHttpServer::Answer::ReplyAndClose, answer};
    });
    QVERIFY(server.listen());
    QTemporaryDir dir;
    LogoFetcher fetcher(dir.path());
    QSignalSpy spyReady(&fetcher, &LogoFetcher::logoReady);
    QSignalSpy spyRefused(&fetcher, &LogoFetcher::logoRefused);
    const QString strUrl =
        path.startsWith(QLatin1Char('/')) ? server.url().toString() + path : path;

    QVERIFY(fetcher.icon(strUrl).isNull());
    QTRY_VERIFY_WITH_TIMEOUT(spyReady.count() + spyRefused.count() == 1, 20000);
    QCOMPARE(fetcher.state(strUrl), shown ? LogoFetcher::Ready : LogoFetcher::Refused);
    if (!path.startsWith(QLatin1Char('/')))
        QCOMPARE(server.requestCount(), 0);
    if (!shown) {
        QVERIFY(fetcher.icon(strUrl).isNull()); // and not asked again
        QTest::qWait(50);
        QCOMPARE(spyRefused.count(), 1);
        QCOMPARE(folderBytes(dir.path()), 0);
        return;
    }
    // Scaled into the icon size, kept on disk for the next run.
    const QImage image = iconImage(fetcher.icon(strUrl));
    QVERIFY(image.width() == 32 || image.height() == 32);
    QCOMPARE(QColor(image.pixel(16, 16)).red() > 200, true);
    LogoFetcher nextRun(dir.path());
    QVERIFY(!nextRun.icon(strUrl).isNull());
    QCOMPARE(nextRun.state(strUrl), LogoFetcher::Ready);
    QCOMPARE(server.requestCount(), 1);
}

void TestChannelList::logoFetchBounds()
{
    // Held answers show how many requests are on their way at once.
    ScriptedHttpServer server;
    server.setScript([](const auto &) {
        return ScriptedHttpServer::Answer{ScriptedHttpServer::Answer::Hold, {}};
    });
    QVERIFY(server.listen());
    QTemporaryDir dir;
    LogoFetcher fetcher(dir.path());
    fetcher.setCacheLimit(400); // a few small pictures
    QSignalSpy spyReady(&fetcher, &LogoFetcher::logoReady);
    const int nLogos = 12;
    for (int i = 0; i < nLogos; ++i)
        fetcher.icon(server.url().toString() + QStringLiteral("/l%1.png").arg(i));
    QTRY_COMPARE(server.requestCount(), LogoFetcher::kMaxParallel);
    QTest::qWait(200);
    QCOMPARE(server.requestCount(), LogoFetcher::kMaxParallel);
    // Each answer lets one more go.
    for (int i = 0; i < nLogos; ++i) {
        QTRY_VERIFY(server.requests().size() > i);
        QVERIFY(server.requests().size() - i <= LogoFetcher::kMaxParallel);
        const QByteArray png =
            pictureBytes(QColor::fromHsv(i * 30, 255, 255), QSize(32, 32), "PNG");
        server.answer(i, ScriptedHttpServer::http(png, 200, "image/png"), true);
    }
    QTRY_COMPARE_WITH_TIMEOUT(spyReady.count(), nLogos, 20000);
    // The disk cache keeps within its bound.
    QVERIFY2(folderBytes(dir.path()) <= 400 && folderBytes(dir.path()) > 0,
             qPrintable(QString::number(folderBytes(dir.path()))));
}

// ---- Panel -----------------------------------------------------------------------

void TestChannelList::panelLook()
{
    auto dlg = makeList();
    // Qt adds the usual title-bar hints itself; what matters is the plain
    // widget type (a child, not a window) with the stay-on-top hint.
    QCOMPARE(dlg->windowType(), Qt::Widget);
    QVERIFY(dlg->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!dlg->isWindow());
    QCOMPARE(dlg->parentWidget(), m_fixture.pMain.get());
    QVERIFY(dlg->autoFillBackground());
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(dlg->palette().color(group, QPalette::Window), QColor(100, 100, 100, 255));
    QCOMPARE(dlg->objectName(), QStringLiteral("CDlgVideoList"));
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Dialog"));

    auto *layout = qobject_cast<QHBoxLayout *>(dlg->layout());
    QVERIFY(layout);
    QCOMPARE(layout->spacing(), 0);
    QCOMPARE(layout->contentsMargins(), QMargins());
    QCOMPARE(layout->count(), 2);
    QVERIFY(qobject_cast<QToolBar *>(layout->itemAt(0)->widget()));
    QCOMPARE(layout->itemAt(1)->widget(), tabsOf(dlg.get()));

    QTabWidget *tabs = tabsOf(dlg.get());
    QVERIFY(tabs->isMovable());
    QCOMPARE(tabTexts(dlg.get()), QStringList{"Newly"});
    QCOMPARE(iconImage(tabs->tabIcon(0)), resourceImage(QStringLiteral(":/res/category.png")));
    QListView *list = listOf(dlg.get(), 0).view();
    QCOMPARE(list->iconSize(), QSize(32, 32));
    QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(list->viewMode(), QListView::ListMode);
    QCOMPARE(list->flow(), QListView::LeftToRight);
    QCOMPARE(list->movement(), QListView::Static);
    QVERIFY(list->isWrapping());
    QCOMPARE(list->resizeMode(), QListView::Adjust);
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);

    // newTab: a new last tab, current unless asked otherwise.
    QCOMPARE(dlg->newTab(QStringLiteral("X")), 1);
    QCOMPARE(tabs->currentIndex(), 1);
    QCOMPARE(dlg->newTab(QStringLiteral("Y"), false), 2);
    QCOMPARE(tabs->currentIndex(), 1);

    // A channel for a tab that does not exist is dropped.
    dlg->addChannel(7, QStringLiteral("lost"), QStringLiteral("u"), QString(), 0);
    QCOMPARE(snapshot(dlg.get()), (QStringList{"Newly: ", "X: ", "Y: "}));
}

void TestChannelList::signalsReachTheOwner()
{
    g_pSettings->setDefaultChannels(triples({"a", "ua", "0", "b", "ub", "0"}));
    storeCategories({"Cat"}, {});
    auto dlg = makeList();
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QSignalSpy spyCurrent(dlg.get(), &CDlgVideoList::currentChanged);
    QSignalSpy spyDouble(dlg.get(), &CDlgVideoList::doubleClickedChannel);
    QSignalSpy spyRefresh(dlg.get(), &CDlgVideoList::refreshNewlyChannels);

    const ListPeek list = listOf(dlg.get(), 0);
    list.setCurrentRow(1);
    QCOMPARE(spyCurrent.count(), 1);
    tabsOf(dlg.get())->setCurrentIndex(1);
    QCOMPARE(spyCurrent.count(), 2);
    tabsOf(dlg.get())->setCurrentIndex(0);
    spyCurrent.clear();

    const QPoint ptItem = list.view()->visualRect(list.index(0)).center();
    QTest::mouseClick(list.view()->viewport(), Qt::LeftButton, Qt::NoModifier, ptItem);
    QTest::mouseDClick(list.view()->viewport(), Qt::LeftButton, Qt::NoModifier, ptItem);
    QCOMPARE(spyDouble.count(), 1);
    QCOMPARE(list.currentRow(), 0);
    QVERIFY(spyCurrent.count() >= 1);

    dlg->findChild<QAction *>(QStringLiteral("actionRefresh"))->trigger();
    QCOMPARE(spyRefresh.count(), 1);
}

void TestChannelList::teardownIsQuiet()
{
    g_pSettings->setDefaultChannels(triples({"a", "ua", "0", "b", "ub", "0"}));
    storeCategories({"C1", "C2"}, {{"C1", triples({"c", "uc", "0", "d", "ud", "0"})},
                                   {"C2", triples({"e", "ue", "0"})}});
    auto dlg = makeList();
    tabsOf(dlg.get())->setCurrentIndex(1);
    listOf(dlg.get(), 1).setCurrentRow(1);
    QMenu *menu = openContextMenu(dlg.get(), QPoint(20, 20));
    QVERIFY(menu);
    QSignalSpy spyCurrent(dlg.get(), &CDlgVideoList::currentChanged);
    dlg.reset();
    QCOMPARE(spyCurrent.count(), 0);
    // Tearing the panel down stores nothing.
    QCOMPARE(g_pSettings->m_lstCategoryList, (QStringList{"C1", "C2"}));
}

// ---- Editing commands: form, enabling rules, context menu, moves ----------------

void TestChannelList::formActions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("visible");

    QTest::newRow("Add Category") << "actionAdd_Category"
                                  << ":/res/category_add.png"
                                  << "Add Category" << true;
    QTest::newRow("Edit Category") << "actionEdit_Category"
                                   << ":/res/category_edit.png"
                                   << "Edit Category" << true;
    QTest::newRow("Remove Category") << "actionRemove_Category"
                                     << ":/res/category_remove.png"
                                     << "Remove Category" << true;
    QTest::newRow("Add Channel") << "actionAdd_Channel"
                                 << ":/res/video_add.png"
                                 << "Add Channel" << true;
    QTest::newRow("Edit Channel") << "actionEdit_Channel"
                                  << ":/res/video_edit.png"
                                  << "Edit Channel" << true;
    QTest::newRow("Remove Channel") << "actionRemove_Channel"
                                    << ":/res/video_remove.png"
                                    << "Remove Channel" << true;
    QTest::newRow("Import") << "actionImport_Channel_List"
                            << ":/res/import.png"
                            << "Import Channel List" << true;
    QTest::newRow("Import from address") << "actionImport_From_Address"
                                         << ":/res/import.png"
                                         << "Import from Address..." << true;
    QTest::newRow("Export") << "actionExport_Channel_List"
                            << ":/res/export.png"
                            << "Export Channel List" << true;
    QTest::newRow("Up") << "actionUp"
                        << ":/res/up.png"
                        << "Up" << true;
    QTest::newRow("Down") << "actionDown"
                          << ":/res/down.png"
                          << "Down" << true;
    QTest::newRow("Refresh") << "actionRefresh"
                             << ""
                             << "Refresh newly channels" << true;
}

void TestChannelList::formActions()
{
    QFETCH(QString, name);
    QFETCH(QString, icon);
    QFETCH(QString, text);
    QFETCH(bool, visible);

    auto dlg = makeList();
    auto *action = dlg->findChild<QAction *>(name, Qt::FindDirectChildrenOnly);
    QVERIFY(action);
    QCOMPARE(action->text(), text);
    QCOMPARE(action->toolTip(), text);
    QCOMPARE(action->isVisible(), visible);
    if (icon.isEmpty())
        QVERIFY(action->icon().isNull());
    else
        QCOMPARE(iconImage(action->icon()), resourceImage(icon));

    auto *toolBar = dlg->findChild<QToolBar *>();
    QCOMPARE(toolBar->orientation(), Qt::Vertical);
    QCOMPARE(actionTexts(toolBar->actions()),
             (QStringList{"Add Channel", "-", "Up", "Down", "-", "Export Channel List",
                          "Import Channel List"}));
    // Import's button imports a file; its arrow offers an address as well.
    auto *pImport = qobject_cast<QToolButton *>(toolBar->widgetForAction(
        dlg->findChild<QAction *>(QStringLiteral("actionImport_Channel_List"))));
    QVERIFY(pImport && pImport->menu());
    QCOMPARE(actionTexts(pImport->menu()->actions()),
             (QStringList{"Import Channel List", "Import from Address..."}));
}

void TestChannelList::updateActions_data()
{
    QTest::addColumn<int>("tab");       // 0: "Newly" (3 channels), 1: Cat
    QTest::addColumn<int>("count");     // channels in Cat
    QTest::addColumn<int>("row");       // current row, -1: none
    QTest::addColumn<bool>("selected"); // the current row is also selected
    // Edit Category, Remove Category, Add Channel, Edit Channel, Remove Channel, Up, Down
    QTest::addColumn<QString>("enabled");

    QTest::newRow("Newly, nothing selected") << 0 << 3 << -1 << false << "-------";
    QTest::newRow("Newly, row 1 selected") << 0 << 3 << 1 << true << "-------";
    QTest::newRow("empty category") << 1 << 0 << -1 << false << "EEE----";
    QTest::newRow("category, nothing selected") << 1 << 3 << -1 << false << "EEE---E";
    QTest::newRow("category, row 0") << 1 << 3 << 0 << true << "EEEEE-E";
    QTest::newRow("category, middle row") << 1 << 3 << 1 << true << "EEEEEEE";
    QTest::newRow("category, last row") << 1 << 3 << 2 << true << "EEEEEE-";
    QTest::newRow("category of one, row 0") << 1 << 1 << 0 << true << "EEEEE--";
    QTest::newRow("category, last row current but not selected")
        << 1 << 3 << 2 << false << "EEE---E";
    QTest::newRow("category of one, nothing selected") << 1 << 1 << -1 << false << "EEE----";
}

void TestChannelList::updateActions()
{
    QFETCH(int, tab);
    QFETCH(int, count);
    QFETCH(int, row);
    QFETCH(bool, selected);
    QFETCH(QString, enabled);

    QStringList lstCat;
    for (int i = 0; i < count; ++i)
        lstCat << QStringLiteral("c%1").arg(i) << QStringLiteral("u") << QStringLiteral("0");
    g_pSettings->setDefaultChannels(triples({"a", "u", "0", "b", "u", "0", "c", "u", "0"}));
    storeCategories({"Cat"}, {{"Cat", lstCat}});
    auto dlg = makeList();
    tabsOf(dlg.get())->setCurrentIndex(tab);
    listOf(dlg.get(), tab)
        .setCurrentRow(row,
                       selected ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::Clear);

    QString strActual;
    for (const char *sz : {"actionEdit_Category", "actionRemove_Category", "actionAdd_Channel",
                           "actionEdit_Channel", "actionRemove_Channel", "actionUp", "actionDown"})
        strActual += dlg->findChild<QAction *>(QLatin1String(sz))->isEnabled() ? 'E' : '-';
    QCOMPARE(strActual, enabled);
    for (const char *sz : {"actionAdd_Category", "actionRefresh"})
        QVERIFY(dlg->findChild<QAction *>(QLatin1String(sz))->isEnabled());
}

void TestChannelList::contextMenuArea()
{
    auto dlg = makeList();
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    auto *toolBar = dlg->findChild<QToolBar *>();
    QVERIFY(toolBar->width() > 0);

    // Within a toolbar's width of the right edge: no menu.
    QVERIFY(!openContextMenu(dlg.get(), QPoint(dlg->width() - toolBar->width() / 2, 30)));
    QVERIFY(!dlg->findChild<QMenu *>(QString(), Qt::FindDirectChildrenOnly));

    // Over the toolbar: the menu, with its entries in order.
    QMenu *menu = openContextMenu(dlg.get(), toolBar->geometry().center());
    QVERIFY(menu);
    QCOMPARE(
        actionTexts(menu->actions()),
        (QStringList{"Add Category", "Edit Category", "Remove Category", "-", "Add Channel",
                     "Edit Channel", "Remove Channel", "-", "Copy to", "Refresh newly channels",
                     "-", "Import Channel List", "Import from Address...", "Export Channel List"}));
    QCOMPARE(copyToMenu(menu)->parent(), menu);
    dlg->hideContextMenu();
    QVERIFY(!menu->isVisible());

    // Over the tabs, the same menu object is reused.
    QCOMPARE(openContextMenu(dlg.get(), tabsOf(dlg.get())->geometry().center()), menu);
    dlg->hideContextMenu();

    // A right click on a list reaches the panel through its parents.
    QWidget *viewport = listOf(dlg.get(), 0).view()->viewport();
    const QPoint ptList(10, 10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, ptList, viewport->mapToGlobal(ptList));
    QApplication::sendEvent(viewport, &event);
    QVERIFY(menu->isVisible());
    dlg->hideContextMenu();
}

void TestChannelList::copyToMyFavorite()
{
    auto dlg = makeList();
    dlg->show();
    const VideoItem a = record(5, "CCTV1", "ua", "china", 8);
    const VideoItem b = record(6, "B", "ub", "japan", 2);
    dlg->setNewlyChannels({a, b});

    // Without a selection the entry is offered but disabled.
    QMenu *menu = openContextMenu(dlg.get(), QPoint(40, 40));
    QVERIFY(menu);
    QMenu *copyTo = copyToMenu(menu);
    QCOMPARE(actionTexts(copyTo->actions()), QStringList{"My Favorite"});
    QVERIFY(!copyTo->actions().first()->isEnabled());
    dlg->hideContextMenu();

    listOf(dlg.get(), 0).setCurrentRow(0);
    menu = openContextMenu(dlg.get(), QPoint(40, 40));
    QAction *favorite = copyTo->actions().first();
    QVERIFY(favorite->isEnabled());
    favorite->trigger();
    dlg->hideContextMenu();

    QCOMPARE(tabTexts(dlg.get()), (QStringList{"Newly", "My Favorite"}));
    QCOMPARE(tabsOf(dlg.get())->currentIndex(), 0);
    const ListPeek fav = listOf(dlg.get(), 1);
    QCOMPARE(fav.count(), 1);
    const VideoItem &copy = fav.record(0);
    QCOMPARE(copy.nId, 0);
    QCOMPARE(copy.strRegion, QStringLiteral("china"));
    QCOMPARE(copy.nScore, 8);
    QCOMPARE(iconImage(fav.icon(0)), resourceImage(QStringLiteral(":/res/logo/cctv1.png")));
    QCOMPARE(g_pSettings->m_lstCategoryList, QStringList{"My Favorite"});
    QCOMPARE(g_pSettings->m_mapCategory.value("My Favorite").toStringList(),
             triples({"CCTV1", "ua", "8"}));

    // The next menu names the stored category; copying again appends to it.
    listOf(dlg.get(), 0).setCurrentRow(1);
    menu = openContextMenu(dlg.get(), QPoint(40, 40));
    QCOMPARE(actionTexts(copyTo->actions()), QStringList{"My Favorite"});
    copyTo->actions().first()->trigger();
    dlg->hideContextMenu();
    QCOMPARE(tabsOf(dlg.get())->count(), 2);
    QCOMPARE(namesOf(fav), (QStringList{"CCTV1", "B"}));
    QCOMPARE(iconImage(fav.icon(1)), resourceImage(QStringLiteral(":/res/video_2.png")));
    QCOMPARE(g_pSettings->m_mapCategory.value("My Favorite").toStringList(),
             triples({"CCTV1", "ua", "8", "B", "ub", "2"}));
}

void TestChannelList::copyToStoredCategory()
{
    g_pSettings->setDefaultChannels(triples({"n", "un", "1"}));
    storeCategories({"Newly", "A", "B"}, {{"B", triples({"b", "ub", "0"})}});
    auto dlg = makeList();
    dlg->show();
    // A stored category that happens to be called "Newly" is a category, and
    // copying to it never touches the "Newly" list itself.
    QCOMPARE(tabTexts(dlg.get()), (QStringList{"Newly", "Newly", "A", "B"}));
    listOf(dlg.get(), 0).setCurrentRow(0);
    QMenu *menu = openContextMenu(dlg.get(), QPoint(40, 40));
    QMenu *copyTo = copyToMenu(menu);
    QCOMPARE(actionTexts(copyTo->actions()), (QStringList{"Newly", "A", "B"}));
    copyTo->actions().at(2)->trigger();
    copyTo->actions().at(0)->trigger();
    dlg->hideContextMenu();
    QCOMPARE(snapshot(dlg.get()),
             (QStringList{"Newly: n|un|1", "Newly: n|un|1", "A: ", "B: b|ub|0, n|un|1"}));
    QCOMPARE(g_pSettings->m_lstDefaultChannels, triples({"n", "un", "1"}));
}

void TestChannelList::moveUpAndDown_data()
{
    QTest::addColumn<bool>("up");
    QTest::addColumn<int>("row"); // current row before, -1: none
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("names"); // names after the move
    QTest::addColumn<int>("rowAfter");

    const QStringList lstSame = {"CCTV1", "Two", "CCTV5", "Four"};
    QTest::newRow("up from row 2")
        << true << 2 << true << QStringList{"CCTV1", "CCTV5", "Two", "Four"} << 1;
    QTest::newRow("up on row 0 swaps 0 and 1")
        << true << 0 << false << QStringList{"Two", "CCTV1", "CCTV5", "Four"} << 0;
    QTest::newRow("up without a row swaps 0 and 1")
        << true << -1 << false << QStringList{"Two", "CCTV1", "CCTV5", "Four"} << 0;
    QTest::newRow("down from row 1")
        << false << 1 << true << QStringList{"CCTV1", "CCTV5", "Two", "Four"} << 2;
    QTest::newRow("down without a row moves row 0")
        << false << -1 << true << QStringList{"Two", "CCTV1", "CCTV5", "Four"} << 1;
    QTest::newRow("down on the last row does nothing") << false << 3 << false << lstSame << 3;
}

void TestChannelList::moveUpAndDown()
{
    QFETCH(bool, up);
    QFETCH(int, row);
    QFETCH(bool, enabled);
    QFETCH(QStringList, names);
    QFETCH(int, rowAfter);

    const QStringList lstCat =
        triples({"CCTV1", "u0", "10", "Two", "u1", "11", "CCTV5", "u2", "12", "Four", "u3", "13"});
    storeCategories({"Cat"}, {{"Cat", lstCat}});
    auto dlg = makeList();
    tabsOf(dlg.get())->setCurrentIndex(1);
    const ListPeek list = listOf(dlg.get(), 1);
    list.setCurrentRow(row);

    QList<QImage> lstIcons;
    QStringList lstTips;
    for (int i = 0; i < list.count(); ++i) {
        lstIcons << iconImage(list.icon(i));
        lstTips << list.toolTip(i);
    }

    QAction *action = dlg->findChild<QAction *>(up ? "actionUp" : "actionDown");
    QCOMPARE(action->isEnabled(), enabled);
    QSignalSpy spyCurrent(dlg.get(), &CDlgVideoList::currentChanged);
    if (up)
        dlg->on_actionUp_triggered();
    else
        dlg->on_actionDown_triggered();

    QCOMPARE(namesOf(list), names);
    QCOMPARE(list.currentRow(), rowAfter);
    QStringList lstStored;
    const QStringList lstUrls = {"u0", "u1", "u2", "u3"};
    for (int i = 0; i < list.count(); ++i) {
        const VideoItem &rec = list.record(i);
        // Name and URL travel together; score, icon and tooltip stay.
        QCOMPARE(rec.strName, names.at(i));
        QCOMPARE(rec.strUrl,
                 lstUrls.at(QStringList{"CCTV1", "Two", "CCTV5", "Four"}.indexOf(names.at(i))));
        QCOMPARE(rec.nScore, 10 + i);
        QCOMPARE(iconImage(list.icon(i)), lstIcons.at(i));
        QCOMPARE(list.toolTip(i), lstTips.at(i));
        lstStored << rec.strName << rec.strUrl << QString::number(rec.nScore);
    }
    if (names != QStringList{"CCTV1", "Two", "CCTV5", "Four"}) {
        QCOMPARE(list.selectedRows(), QList<int>{rowAfter});
        QCOMPARE(g_pSettings->m_mapCategory.value("Cat").toStringList(), lstStored);
        QVERIFY(spyCurrent.count() >= 1);
    } else {
        QCOMPARE(g_pSettings->m_mapCategory.value("Cat").toStringList(), lstCat);
    }
}

// ---- Playlists: import and export ------------------------------------------

namespace {

void writeBytes(const QString &strPath, const QByteArray &data)
{
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(data), qint64(data.size()));
}

// "name|origin|logo|user agent|referrer|tvg-id" of each channel of a tab.
QStringList detailsOf(const ListPeek &list)
{
    QStringList lst;
    for (int i = 0; i < list.count(); ++i) {
        const VideoItem &rec = list.record(i);
        lst << QStringList{rec.strName,
                           QString::number(int(rec.origin)),
                           rec.strLogo,
                           rec.options.strUserAgent,
                           rec.options.strReferrer,
                           rec.strTvgId}
                   .join(QLatin1Char('|'));
    }
    return lst;
}

} // namespace

// The playlist goes in as "Mixed.m3u" beside a stored category "Sport".
void TestChannelList::importPlaylist_data()
{
    QTest::addColumn<QByteArray>("playlist");
    QTest::addColumn<QStringList>("expected"); // none: refused with one message, nothing changed

    QTest::newRow("groups, scripts, a category held already")
        << QByteArray("#EXTM3U\n"
                      "#EXTINF:-1 tvg-id=\"c13\" group-title=\"新闻\",CCTV-13 新闻, 直播\n"
                      "http://c/13\n"
                      "#EXTINF:-1 group-title=\"ニュース\" tvg-name=\"NHK\",NHK総合・東京\n"
                      "http://j/1\n"
                      "#EXTINF:-1 group-title=\"Новости\",Первый канал\nhttp://r/1\n"
                      "#EXTINF:-1 group-title=\"Fun 🎉\",Party 🎉📺\nhttp://f/1\n"
                      "#EXTINF:-1,No Group\nhttp://n/1\n"
                      "#EXTINF:-1 group-title=\"Sport\",New Sport\nhttp://s/2\n")
        << QStringList{"Newly: ",
                       "Sport: Old|http://s/1|5, New Sport|http://s/2|0",
                       "新闻: CCTV-13 新闻, 直播|http://c/13|0",
                       "ニュース: NHK総合・東京|http://j/1|0",
                       "Новости: Первый канал|http://r/1|0",
                       "Fun 🎉: Party 🎉📺|http://f/1|0",
                       "Mixed: No Group|http://n/1|0"};
    // The header's guides (http(s) only) go to each category that got channels.
    QTest::newRow("duplicates: held already, twice in the file; guides")
        << QByteArray("#EXTM3U url-tvg=\"http://127.0.0.1:1/g.xml,file:///etc/passwd\" "
                      "x-tvg-url=\"http://127.0.0.1:1/h.xml.gz,http://127.0.0.1:1/g.xml\"\n"
                      "#EXTINF:-1 group-title=\"Sport\",Again\nhttp://s/1\n"
                      "#EXTINF:-1 group-title=\"Sport\",Two\nhttp://s/2\n"
                      "#EXTINF:-1 group-title=\"Sport\",Two again\nhttp://s/2\n"
                      "#EXTINF:-1 group-title=\"News\",Same URL, other group\nhttp://s/2\n")
        << QStringList{"Newly: ", "Sport: Old|http://s/1|5, Two|http://s/2|0",
                       "News: Same URL, other group|http://s/2|0",
                       "Guide News: http://127.0.0.1:1/h.xml.gz, http://127.0.0.1:1/g.xml",
                       "Guide Sport: http://127.0.0.1:1/h.xml.gz, http://127.0.0.1:1/g.xml"};
    QTest::newRow("CRLF with a BOM, blank lines, #EXTGRP")
        << QByteArray("\xEF\xBB\xBF#EXTM3U\r\n\r\n#EXTINF:-1 group-title=\"G\",A\r\nhttp://a\r\n"
                      "\r\n#EXTINF:-1,B\r\n#EXTGRP:Kids\r\nhttp://k\r\n")
        << QStringList{"Newly: ", "Sport: Old|http://s/1|5", "G: A|http://a|0",
                       "Kids: B|http://k|0"};
    QTest::newRow("entries without #EXTINF, no header")
        << QByteArray("http://a/1\nrtsp://b/2\n")
        << QStringList{"Newly: ", "Sport: Old|http://s/1|5",
                       "Mixed: http://a/1|http://a/1|0, rtsp://b/2|rtsp://b/2|0"};
    // A line of exactly 16 KiB: a name of three-byte characters fills it.
    const QByteArray head = "#EXTINF:-1 group-title=\"Long\",";
    const int nBytes = kMaxM3uLineLength - head.size();
    const QString strLong = QString(nBytes / 3, QChar(0x9577)) + QString(nBytes % 3, 'x');
    QTest::newRow("a 16 KiB line")
        << head + strLong.toUtf8() + "\nhttp://l\n"
        << QStringList{"Newly: ", "Sport: Old|http://s/1|5", "Long: " + strLong + "|http://l|0"};
    QTest::newRow("truncated last line")
        << QByteArray("#EXTINF:-1,A\nhttp://a\n#EXTINF:-1,B\nhttp://b/li")
        << QStringList{"Newly: ", "Sport: Old|http://s/1|5",
                       "Mixed: A|http://a|0, B|http://b/li|0"};
    QTest::newRow("cut inside the last #EXTINF")
        << QByteArray("#EXTINF:-1,A\nhttp://a\n#EXTINF:-1 group-title=\"G")
        << QStringList{"Newly: ", "Sport: Old|http://s/1|5", "Mixed: A|http://a|0"};
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("only a header") << QByteArray("#EXTM3U\r\n") << QStringList();
    QTest::newRow("not a playlist")
        << QByteArray("Dear user,\nthis is a letter.\n") << QStringList();
    QTest::newRow("a picture") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR http://x\n", 28)
                               << QStringList();
}

void TestChannelList::importPlaylist()
{
    QFETCH(QByteArray, playlist);
    QFETCH(QStringList, expected);
    // The tabs, then the guide addresses kept for each category.
    auto snapshot = [](CDlgVideoList *dlg) {
        QStringList lst = channellist::snapshot(dlg);
        const QVariantMap &map = g_pSettings->m_mapPlaylistGuideAddresses;
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            lst << "Guide " + it.key() + ": " + it.value().toStringList().join(", ");
        return lst;
    };
    storeCategories({"Sport"}, {{"Sport", triples({"Old", "http://s/1", "5"})}});
    auto dlg = makeList();
    const QStringList lstBefore = snapshot(dlg.get());
    const QVariantMap mapBefore = g_pSettings->m_mapCategory;
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("Mixed.m3u"));
    writeBytes(strPath, playlist);

    Answers answers;
    answers.strFile = strPath;
    answers.bError = expected.isEmpty();
    const QStringList lstBoxes = runTransfer(dlg.get(), "actionImport_Channel_List", answers);
    if (expected.isEmpty()) {
        // One message naming the file; nothing changed, nothing stored.
        QCOMPARE(lstBoxes.size(), 1);
        QVERIFY2(lstBoxes.first().contains(QDir::toNativeSeparators(strPath)),
                 qPrintable(lstBoxes.first()));
        QCOMPARE(snapshot(dlg.get()), lstBefore);
        QCOMPARE(g_pSettings->m_mapCategory, mapBefore);
        return;
    }
    QCOMPARE(lstBoxes, QStringList());
    QCOMPARE(snapshot(dlg.get()), expected);
    for (int nTab = 2; nTab < tabsOf(dlg.get())->count(); ++nTab) {
        for (const QString &str : detailsOf(listOf(dlg.get(), nTab)))
            QVERIFY2(str.contains(QLatin1String("|1|")), qPrintable(str)); // from a playlist
    }
    // Stored at once: a new panel shows the same. The same file again adds nothing.
    QCOMPARE(snapshot(makeList().get()), expected);
    QCOMPARE(runTransfer(dlg.get(), "actionImport_Channel_List", answers), QStringList());
    QCOMPARE(snapshot(dlg.get()), expected);
}

void TestChannelList::importKeepsDetails()
{
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("d.m3u8"));
    writeBytes(strPath, "#EXTINF:-1 group-title=\"G\" tvg-logo=\"http://127.0.0.1:9/a.png\" "
                        "user-agent=\"UA/1\" tvg-id=\"a.uk\",A\n"
                        "#EXTVLCOPT:http-referrer=http://ref/\nhttp://a\n"
                        "#EXTINF:-1 group-title=\"G\" tvg-logo=\"file:///etc/passwd\" "
                        "tvg-id=\" tvg-id=b \\ tvg-id=\",B\n"
                        "#EXTVLCOPT:http-user-agent=bad\x01agent\nfile:///etc/passwd\n"
                        "#EXTINF:-1 group-title=\"G\" tvg-id=\"" +
                            QByteArray(PlaylistImport::kMaxTvgIdLength + 1, 'i') +
                            "\" user-agent=\"" + QByteArray(StreamOptions::kMaxLength + 1, 'a') +
                            "\",C\nhttp://c\n");
    auto dlg = makeList();
    Answers answers;
    answers.strFile = strPath;
    runTransfer(dlg.get(), "actionImport_Channel_List", answers);
    // Only fetchable logos, acceptable options and tvg-ids of a sane length
    // are kept; whatever text an id holds, it reads back the same.
    const QStringList lstDetails{"A|1|http://127.0.0.1:9/a.png|UA/1|http://ref/|a.uk",
                                 "B|1||||tvg-id=b \\ tvg-id=", "C|1||||"};
    QCOMPARE(detailsOf(listOf(dlg.get(), 1)), lstDetails);
    // The triples stay as they were; the details are stored beside them.
    QCOMPARE(g_pSettings->m_mapCategory.value("G").toStringList(),
             triples({"A", "http://a", "0", "B", "file:///etc/passwd", "0", "C", "http://c", "0"}));
    g_pSettings->sync();
    g_pSettings->load();
    QCOMPARE(detailsOf(listOf(makeList().get(), 1)), lstDetails);

    // Moving takes what came with a URL along; "Newly" is the service's.
    tabsOf(dlg.get())->setCurrentIndex(1);
    listOf(dlg.get(), 1).setCurrentRow(1);
    dlg->findChild<QAction *>(QStringLiteral("actionUp"))->trigger();
    QCOMPARE(detailsOf(listOf(dlg.get(), 1)).mid(0, 2),
             (QStringList{lstDetails.at(1), lstDetails.at(0)}));
    dlg->setNewlyChannels({record(1, "S", "screen://")});
    tabsOf(dlg.get())->setCurrentIndex(0);
    VideoItem rec;
    QVERIFY(dlg->getCurrentChannel(rec) && rec.origin == ChannelOrigin::Service);
    // Without details nothing is stored beside the sixteen keys.
    resetSettings();
    auto own = makeList();
    own->newTab(QStringLiteral("Mine"));
    own->addChannel(-1, QStringLiteral("Own"), QStringLiteral("file:///tmp/x.ts"), QString(), 0);
    own->saveChannelLists();
    g_pSettings->sync();
    QVERIFY(!g_pSettings->value(QStringLiteral("m_mapChannelDetails")).isValid());
}

void TestChannelList::exportImportRoundTrip()
{
    storeCategories({"中文 频道", "Misc, \"quoted\"", "Empty"},
                    {{"中文 频道", triples({"CCTV-1 综合", "http://c/1", "9", "Hello, \"World\" 📺",
                                            "rtsp://c/2?a=1,b=2", "0"})},
                     {"Misc, \"quoted\"", triples({"Первый", "udp://@239.1.1.1:5000", "0", "日本",
                                                   "file:///home/u/a.ts", "3"})}});
    g_pSettings->setValue(
        QStringLiteral("m_mapChannelDetails"),
        QVariantMap{{"Misc, \"quoted\"",
                     QStringList{"udp://@239.1.1.1:5000", "playlist tvg-id=Perviy.ru",
                                 "https://l/p.png", "Agent (X; Y)", "http://r/?a=b",
                                 "file:///home/u/a.ts", " tvg-id=日本.jp", "", "", ""}}});
    g_pSettings->load();
    auto dlg = makeList();
    QTemporaryDir dir;
    Answers answers;
    answers.strFile = dir.filePath(QStringLiteral("all.m3u8"));
    answers.bAll = true;
    QCOMPARE(runTransfer(dlg.get(), "actionExport_Channel_List", answers), QStringList());
    QTRY_VERIFY(QFile::exists(answers.strFile));
    const QByteArray written = TestSupport::readFile(answers.strFile);
    QVERIFY(written.startsWith("#EXTM3U\n#EXTINF:-1 group-title=\"中文 频道\",CCTV-1 综合\n"));

    // Into an empty profile: the same categories, names, URLs, order and details.
    resetSettings();
    auto fresh = makeList();
    answers.bAll = false;
    QCOMPARE(runTransfer(fresh.get(), "actionImport_Channel_List", answers), QStringList());
    QCOMPARE(tabTexts(fresh.get()), (QStringList{"Newly", "中文 频道", "Misc, \"quoted\""}));
    for (int nTab = 1; nTab <= 2; ++nTab) {
        QCOMPARE(namesOf(listOf(fresh.get(), nTab)), namesOf(listOf(dlg.get(), nTab)));
        for (int i = 0; i < listOf(dlg.get(), nTab).count(); ++i)
            QCOMPARE(listOf(fresh.get(), nTab).record(i).strUrl,
                     listOf(dlg.get(), nTab).record(i).strUrl);
    }
    // The user's own channel keeps its tvg-id; once imported it is a playlist's.
    QCOMPARE(detailsOf(listOf(dlg.get(), 2)).last(), QStringLiteral("日本|0||||日本.jp"));
    QCOMPARE(detailsOf(listOf(fresh.get(), 2)),
             (QStringList{"Первый|1|https://l/p.png|Agent (X; Y)|http://r/?a=b|Perviy.ru",
                          "日本|1||||日本.jp"}));
}

void TestChannelList::importFromAddressAndDrop()
{
    const QByteArray playlist = "#EXTM3U\n#EXTINF:-1,Far\nhttp://far/1\n";
    ScriptedHttpServer server;
    bool bHold = false;
    server.setScript([&](const ScriptedHttpServer::Request &request) {
        const bool bFound = request.path() == "/list.m3u";
        return ScriptedHttpServer::Answer{
            bHold ? ScriptedHttpServer::Answer::Hold : ScriptedHttpServer::Answer::ReplyAndClose,
            ScriptedHttpServer::http(bFound ? playlist : "no", bFound ? 200 : 404)};
    });
    QVERIFY(server.listen());
    auto dlg = makeList();
    const QStringList lstEmpty = snapshot(dlg.get());
    Answers answers;
    answers.bError = true;
    // A failing address, one that is not http(s): one message each, no change.
    for (const QString &strAddress :
         {server.url().toString() + "/gone.m3u", QStringLiteral("file:///etc/passwd")}) {
        answers.strAddress = strAddress;
        QCOMPARE(runTransfer(dlg.get(), "actionImport_From_Address", answers).size(), 1);
        QCOMPARE(snapshot(dlg.get()), lstEmpty);
    }
    // Cancel while it downloads: the lists stay as they were.
    bHold = true;
    answers.bError = false;
    answers.strAddress = server.url().toString() + "/list.m3u";
    ModalDriver cancel;
    cancel.on("QProgressDialog", [](QWidget *w) {
        QTest::mouseClick(w->findChild<QPushButton *>(), Qt::LeftButton); // its one button
    });
    cancel.start();
    runTransfer(dlg.get(), "actionImport_From_Address", answers);
    QVERIFY(cancel.finished());
    QCOMPARE(snapshot(dlg.get()), lstEmpty);
    // Served: a category named after the host.
    bHold = false;
    runTransfer(dlg.get(), "actionImport_From_Address", answers);
    QCOMPARE(snapshot(dlg.get()).last(), QStringLiteral("127.0.0.1: Far|http://far/1|0"));

    // A file dropped onto the list.
    QTemporaryDir dir;
    writeBytes(dir.filePath(QStringLiteral("Dropped.m3u")), playlist);
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(dir.filePath(QStringLiteral("Dropped.m3u")))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &file, Qt::LeftButton, {});
    QApplication::sendEvent(dlg.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &file, Qt::LeftButton, {});
    QApplication::sendEvent(dlg.get(), &drop);
    QTRY_COMPARE(snapshot(dlg.get()).last(), QStringLiteral("Dropped: Far|http://far/1|0"));
}

QTEST_MAIN(TestChannelList)
#include "tst_channellist.moc"
