// Finding and picking channels without the mouse: the folded search key, the
// search field over the channel list, and the main window's zapping keys.

#include "ChannelSearchKey.h"
#include "DlgVideoList.h"
#include "KeyboardZapper.h"
#include "Settings.h"
#include "channellist_helpers.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace channellist;

class TestChannelSearch : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CDlgVideoList> makeList()
    {
        auto dlg = std::make_unique<CDlgVideoList>(m_fixture.pMain.get());
        dlg->setGeometry(0, 0, 800, 200);
        dlg->show();
        return dlg;
    }
    // Types like a keyboard (an input method for Chinese): one key event a
    // character, carrying its text.
    static void typeText(QWidget *widget, const QString &strText)
    {
        for (const QChar c : strText) {
            QKeyEvent event(QEvent::KeyPress,
                            c.toUpper().unicode() < 0x80 ? c.toUpper().unicode() : 0,
                            Qt::NoModifier, QString(c));
            QApplication::sendEvent(widget, &event);
        }
    }
    static QLineEdit *searchOf(CDlgVideoList *dlg)
    {
        return dlg->findChild<QLineEdit *>(QStringLiteral("editChannelFilter"));
    }

    Fixture m_fixture;

private slots:
    void initTestCase() { QVERIFY(m_fixture.setUp()); }
    void init() { resetSettings(); }
    void cleanup() { m_fixture.verifyNothingLeft(); }
    void cleanupTestCase() { m_fixture.tearDown(); }

    void foldedKey_data();
    void foldedKey();
    void searchNarrowsCurrentTab_data();
    void searchNarrowsCurrentTab();
    void searchKeys();
    void zapperKeys_data();
    void zapperKeys();
};

void TestChannelSearch::foldedKey_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("found");

    QTest::newRow("letter case") << "CCTV-5 体育"
                                 << "cctv-5" << true;
    QTest::newRow("accents") << "Télé Matin"
                             << "TELE" << true;
    QTest::newRow("accents typed") << "Tele Matin"
                                   << "télé" << true;
    QTest::newRow("full-width letters") << "ＮＨＫ総合"
                                        << "nhk" << true;
    QTest::newRow("half-width kana") << "ｶﾞｲﾄﾞ"
                                     << "ガイド" << true;
    QTest::newRow("voiced kana is another sound") << "カイト"
                                                  << "ガイ" << false;
    QTest::newRow("Chinese substring") << "湖南卫视高清"
                                       << "卫视" << true;
    QTest::newRow("Japanese substring") << "日本語チャンネル"
                                        << "チャンネル" << true;
    QTest::newRow("Chinese, not there") << "湖南卫视"
                                        << "东方" << false;
    QTest::newRow("empty text finds all") << "News"
                                          << "" << true;
}

void TestChannelSearch::foldedKey()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(bool, found);
    QCOMPARE(ChannelSearchKey::matches(ChannelSearchKey::fold(name), ChannelSearchKey::fold(typed)),
             found);
}

void TestChannelSearch::searchNarrowsCurrentTab_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("nothing typed") << "" << QStringList{"CCTV-1 综合", "Télé 5", "NHK", "湖南卫视"};
    QTest::newRow("one letter") << "t" << QStringList{"CCTV-1 综合", "Télé 5"};
    QTest::newRow("accent-free") << "tele" << QStringList{"Télé 5"};
    QTest::newRow("Chinese") << "卫视" << QStringList{"湖南卫视"};
    QTest::newRow("no match") << "xyz" << QStringList();
}

void TestChannelSearch::searchNarrowsCurrentTab()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, shown);

    g_pSettings->setDefaultChannels(triples(
        {"CCTV-1 综合", "u1", "0", "Télé 5", "u2", "0", "NHK", "u3", "0", "湖南卫视", "u4", "0"}));
    g_pSettings->addCategory(QStringLiteral("Cat"), triples({"Télé Cat", "uc", "0"}));
    auto dlg = makeList();
    QSignalSpy spyCurrent(dlg.get(), &CDlgVideoList::currentChanged);

    // Typed into the list, the text goes to the search field.
    const ListPeek newly = listOf(dlg.get(), 0);
    newly.view()->setFocus();
    typeText(newly.view(), typed);
    QCOMPARE(searchOf(dlg.get())->text(), typed);
    QCOMPARE(namesOf(newly), shown);
    QCOMPARE(namesOf(listOf(dlg.get(), 1)), QStringList{"Télé Cat"});
    QVERIFY(typed.isEmpty() || spyCurrent.count() >= 1);
    // Next and previous go through what is shown; moves wait for the search.
    QCOMPARE(dlg->hasNextChannel(), shown.size() >= 2);
    dlg->setNewlyChannels({}); // a refresh empties the list under the search
    QCOMPARE(namesOf(newly), QStringList());
    QVERIFY(g_pSettings->m_lstDefaultChannels.isEmpty());
}

void TestChannelSearch::searchKeys()
{
    g_pSettings->setDefaultChannels(
        triples({"Alpha", "ua", "0", "Beta", "ub", "0", "Gamma", "ug", "0", "Bravo", "ux", "0"}));
    g_pSettings->addCategory(QStringLiteral("Cat"), triples({"c1", "u", "0", "c2", "u", "0"}));
    auto dlg = makeList();
    QLineEdit *search = searchOf(dlg.get());
    const ListPeek newly = listOf(dlg.get(), 0);
    QSignalSpy spyPlay(dlg.get(), &CDlgVideoList::doubleClickedChannel);

    // Ctrl+F inside the panel; Enter plays the first match.
    newly.view()->setFocus();
    QTest::keyClick(newly.view(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(search->hasFocus());
    QTest::keyClicks(search, QStringLiteral("b"));
    QTest::keyClick(search, Qt::Key_Return);
    QCOMPARE(spyPlay.count(), 1);
    QString strName, strUrl;
    dlg->getCurrentChannel(strName, strUrl);
    QCOMPARE(strName, QStringLiteral("Beta"));

    // Escape empties the field and leaves the panel; a second one hides it.
    QTest::keyClick(search, Qt::Key_Escape);
    QVERIFY(search->text().isEmpty());
    QCOMPARE(newly.count(), 4);
    QVERIFY(dlg->isVisible());
    QTest::keyClick(search, Qt::Key_Escape);
    QVERIFY(!dlg->isVisible());
    dlg->show();

    // A search belongs to its tab; a channel number counts the whole tab.
    search->setText(QStringLiteral("a"));
    QCOMPARE(newly.count(), 4);
    search->setText(QStringLiteral("g"));
    QCOMPARE(namesOf(newly), QStringList{"Gamma"});
    QVERIFY(dlg->selectChannelNumber(2));
    QVERIFY(search->text().isEmpty());
    QCOMPARE(newly.currentRow(), 1);
    QVERIFY(!dlg->selectChannelNumber(5));
    search->setText(QStringLiteral("c"));
    tabsOf(dlg.get())->setCurrentIndex(1);
    QVERIFY(search->text().isEmpty());
    QCOMPARE(listOf(dlg.get(), 1).count(), 2);
    listOf(dlg.get(), 1).setCurrentRow(0);
    search->setText(QStringLiteral("c"));
    QVERIFY(!dlg->findChild<QAction *>(QStringLiteral("actionDown"))->isEnabled());
}

void TestChannelSearch::zapperKeys_data()
{
    QTest::addColumn<QList<int>>("keys"); // Qt::Key values, Ctrl+F as -1
    QTest::addColumn<QString>("emitted");

    using L = QList<int>;
    QTest::newRow("arrows and pages")
        << L{Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown} << "prev next prev next";
    QTest::newRow("remote keys") << L{Qt::Key_Space, Qt::Key_M, Qt::Key_F, Qt::Key_Return}
                                 << "playOrStop mute fullScreen playCurrent";
    QTest::newRow("volume") << L{Qt::Key_Left, Qt::Key_Right} << "volume-120 volume120";
    QTest::newRow("search") << L{-1} << "search";
    QTest::newRow("digits, Enter ends the number")
        << L{Qt::Key_1, Qt::Key_2, Qt::Key_Return} << "typed1 typed12 number12";
    QTest::newRow("digits, then time") << L{Qt::Key_0, Qt::Key_7} << "typed0 typed07 number7";
    QTest::newRow("eight digits: seven taken")
        << L{Qt::Key_9, Qt::Key_9, Qt::Key_9, Qt::Key_9, Qt::Key_9, Qt::Key_9, Qt::Key_9, Qt::Key_1}
        << "typed9 typed99 typed999 typed9999 typed99999 typed999999 typed9999999 typed9999999 "
           "number9999999";
    QTest::newRow("zero is no channel") << L{Qt::Key_0, Qt::Key_Return} << "typed0";
    QTest::newRow("other keys are the window's") << L{Qt::Key_Escape, Qt::Key_A} << "";
}

void TestChannelSearch::zapperKeys()
{
    QFETCH(QList<int>, keys);
    QFETCH(QString, emitted);

    KeyboardZapper zapper;
    QStringList lst;
    connect(&zapper, &KeyboardZapper::previousChannel, [&] { lst << "prev"; });
    connect(&zapper, &KeyboardZapper::nextChannel, [&] { lst << "next"; });
    connect(&zapper, &KeyboardZapper::playOrStop, [&] { lst << "playOrStop"; });
    connect(&zapper, &KeyboardZapper::playCurrent, [&] { lst << "playCurrent"; });
    connect(&zapper, &KeyboardZapper::mute, [&] { lst << "mute"; });
    connect(&zapper, &KeyboardZapper::fullScreen, [&] { lst << "fullScreen"; });
    connect(&zapper, &KeyboardZapper::search, [&] { lst << "search"; });
    connect(&zapper, &KeyboardZapper::volumeStep,
            [&](int n) { lst << QStringLiteral("volume%1").arg(n); });
    connect(&zapper, &KeyboardZapper::numberTyped, [&](const QString &s) { lst << "typed" + s; });
    connect(&zapper, &KeyboardZapper::channelNumber,
            [&](int n) { lst << QStringLiteral("number%1").arg(n); });

    int nTaken = 0;
    for (int nKey : keys) {
        QKeyEvent event(QEvent::KeyPress, nKey < 0 ? Qt::Key_F : nKey,
                        nKey < 0 ? Qt::ControlModifier : Qt::NoModifier);
        nTaken += zapper.keyPress(&event) ? 1 : 0;
    }
    QCOMPARE(nTaken, emitted.isEmpty() ? 0 : keys.size());
    // A number being typed ends by itself after 1.5 s without a digit.
    QTRY_VERIFY_WITH_TIMEOUT(zapper.pendingNumber().isEmpty(), 5000);
    QCOMPARE(lst.join(QLatin1Char(' ')), emitted);
}

QTEST_MAIN(TestChannelSearch)
#include "tst_channelsearch.moc"
