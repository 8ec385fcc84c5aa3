#include "DlgOptions.h"
#include "DlgVideoList.h"
#include "Settings.h"
#include "channellist_helpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <functional>

namespace {

const QString kOrg = QStringLiteral("Mirel Software");
const QString kApp = QStringLiteral("Mirel Player");

// Every translated message of the two catalogues: context, source, Chinese,
// Japanese. Nothing else may carry a translation.
struct Message
{
    const char *pszContext;
    const char *pszSource;
    const char *pszChinese;
    const char *pszJapanese;
};

const Message kMessages[] = {
    {"CDlgAddCategory", "Category Name:", "分类:", "分類:"},
    {"CDlgAddCategory", "Add category", "添加分类", "分類追加"},
    {"CDlgAddCategory", "Edit category", "编辑分类", "分類編集"},
    {"CDlgAddCategory", "Error", "错误", "エラー"},
    {"CDlgAddCategory", "Category name is empty.", "分类名为空。", "分類名が入力していません。"},
    {"CDlgAddCategory", "Category name is in use.", "分类名已使用。", "分類名が既存しています。"},
    {"CDlgAddVideoItem", "Channel Name:", "频道名称:", "チャンネル名称:"},
    {"CDlgAddVideoItem", "Channel Url:", "频道地址:", "チャンネルのあて先:"},
    {"CDlgAddVideoItem", "Add Channel", "添加频道", "チャンネル追加"},
    {"CDlgAddVideoItem", "Edit Channel", "编辑频道", "编チャンネル編集"},
    {"CDlgAddVideoItem", "Error", "错误", "エラー"},
    {"CDlgAddVideoItem", "Channel name is empty.", "频道名称为空。",
     "チャンネル名称が入力していません。"},
    {"CDlgAddVideoItem", "Channel url is empty.", "频道地址为空。",
     "チャンネルのあて先が入力していません。"},
    {"CDlgVideoList", "Add Category", "添加分类", "分類追加"},
    {"CDlgVideoList", "Edit Category", "编辑分类", "分類編集"},
    {"CDlgVideoList", "Remove Category", "删除分类", "分類削除"},
    {"CDlgVideoList", "Add Channel", "添加频道", "チャンネル追加"},
    {"CDlgVideoList", "Edit Channel", "编辑频道", "チャンネル編集"},
    {"CDlgVideoList", "Remove Channel", "删除频道", "チャンネル削除"},
    {"CDlgVideoList", "Import Channel List", "导入频道列表", "チャンネル表を輸入"},
    {"CDlgVideoList", "Export Channel List", "导出频道列表", "チャンネル表を輸出"},
    {"CDlgVideoList", "Up", "向上", "上向き"},
    {"CDlgVideoList", "Down", "向下", "下向き"},
    {"CDlgVideoList", "Refresh newly channels", "刷新最新频道", "最新放送の更新"},
    {"CDlgVideoList", "Newly", "最新", "最新"},
    {"CDlgVideoList", "Copy to", "复制到", "コピー"},
    {"CDlgVideoList", "My Favorite", "我的收藏", "お気に入り"},
    {"CDlgVideoList", "Add category", "添加分类", "分類追加"},
    {"CDlgVideoList", "Edit category", "编辑分类", "分類編集"},
    {"CDlgVideoList", "Add channel", "添加频道", "チャンネル追加"},
    {"CDlgVideoList", "Edit channel", "编辑频道", "チャンネル編集"},
    {"CDlgVideoList", "Remove current category", "删除当前分类", "現在の分類を削除します。"},
    {"CDlgVideoList", "Do you sure to remove the current category?", "真的删除当前分类？",
     "現在の分類を確かに削除しますか？"},
    {"CDlgVideoList", "Remove selected channels", "删除选中的频道", "選択チャンネルを削除します。"},
    {"CDlgVideoList", "Do you sure to remove the selected channels?", "真的删除选中的频道？",
     "選択チャンネルを確かに削除しますか？"},
    {"CDlgOptions", "Options", "选项", "オプション"},
    {"CDlgOptions", "Region:", "地区:", "地域:"},
    {"CDlgOptions", "Language", "语言", "言語"},
    {"CDlgOptions", "Auto play the last channel when launch", "打开时自动播放上次的频道",
     "開く時に、前回の内容を自動再生します。"},
    {"region", "All", "全部", "全部"},
    {"region", "America", "美国", "米国"},
    {"region", "China", "中国", "中国"},
    {"region", "England", "英国", "英国"},
    {"region", "Japan", "日本", "日本"},
    {"language", "English", "英文", "英語"},
    {"language", "Chinese", "中文", "中国語"},
    {"language", "Japanese", "日文", "日本語"},
    {"CDlgControl", "About", "关于", "Mirel Playerについて"},
    {"CDlgControl", "Channel List", "频道列表", "チャンネル表"},
    {"CDlgControl", "Full Screen", "全屏", "全サイズ"},
    {"CDlgControl", "Menu", "菜单", "メニュー"},
    {"CDlgControl", "Mute On/Off", "静音", "消音"},
    {"CDlgControl", "Next", "下一个", "次へ"},
    {"CDlgControl", "Options...", "选项...", "オプション..."},
    {"CDlgControl", "Play", "播放", "開始"},
    {"CDlgControl", "Previous", "上一个", "前へ"},
    {"CDlgControl", "Video progress", "视频进度", "進捗"},
    {"CDlgControl", "Volume", "音量", "音量"},
    {"MainWindow", "<h2>Mirel Player %1</h2><br><br>Channel Version: %2<br><a href=\"%3\">%3</a>",
     "<h2>Mirel %1</h2><br><br>频道版本: %2<br><a href=\"%3\">%3</a>",
     "<h2>Mirel Player %1</h2><br><br>バージョン: %2<br><a href=\"%3\">%3</a>"},
    {"MainWindow", "About", "关于", "Mirel Playerについて"},
    {"MainWindow", "About Mirel Player", "关于Mirel", "Mirel Playerについて"},
    {"MainWindow", "Mirel Player", "Mirel", "Mirel Player"},
    {"MainWindow", "Exit", "退出", "退出"},
    {"MainWindow", "Fullscreen", "全屏", "全サイズ"},
    {"MainWindow", "Muted", "静音", "消音"},
    {"MainWindow", "Options", "选项", "オプション"},
    {"MainWindow", "Options...", "选项...", "オプション..."},
    {"MainWindow", "Set fullscreen", "全屏", "全サイズ"},
    {"MainWindow", "Volume: %1", "音量: %1", "音量: %1"},
    {"MainWindow", "Double-click a channel to play it", "双击频道即可播放",
     "チャンネルをダブルクリックすると再生します"},
    {"CStreamWatch", "cannot connect", "无法连接", "接続できません"},
    {"CStreamWatch", "not found", "找不到该节目", "番組が見つかりません"},
    {"CStreamWatch", "the stream ended", "节目流已结束", "ストリームが終了しました"},
    {"CStreamWatch", "no picture for %1 s", "%1 秒无画面", "%1 秒間映像がありません"},
    {"CStreamWatch", "no answer", "服务器无响应", "サーバーが応答しません"},
    {"CStreamWatch", "cannot play this stream", "无法播放此节目流",
     "このストリームは再生できません"},
    {"CStreamWatch", "Connecting... %1%", "正在连接... %1%", "接続中... %1%"},
    {"CStreamWatch", "Connecting...", "正在连接...", "接続中..."},
    {"CStreamWatch", "No signal: %1. Reconnecting (%2)...", "无信号：%1。正在重新连接（%2）...",
     "信号なし：%1。再接続中（%2）..."},
    {"CStreamWatch", "No signal: %1", "无信号：%1", "信号なし：%1"},
    {"QVlcMenu", "About", "关于", "Mirel Playerについて"},
    {"QVlcMenu", "Audio", "音频", "画像"},
    {"QVlcMenu", "Exit", "退出", "退出"},
    {"QVlcMenu", "Fullscreen", "全屏", "全サイズ"},
    {"QVlcMenu", "Open from file...", "找开文件...", "ファイルを開く..."},
    {"QVlcMenu", "Open subtitles...", "打开字幕...", "字幕を開く..."},
    {"QVlcMenu", "Options...", "选项...", "オプション..."},
    {"QVlcMenu", "Playback speed", "回放速度", "スピードを回送します。"},
    {"QVlcMenu", "Subtitles", "字幕", "字幕"},
    {"QVlcMenu", "Tracks", "轨道", "軌道"},
    {"QVlcMenu", "Video", "视频", "動画"},
    {"category", "Newly", "最新", "最新"},
    {"ChannelSearchField", "Search channels (Ctrl+F)", "搜索频道 (Ctrl+F)",
     "チャンネル検索 (Ctrl+F)"},
    {"KeyboardZapper",
     "<p><b>Keys</b><br>Up, Down, Page Up, Page Down: previous or next channel<br>Digits: the "
     "channel of that number in the list<br>Enter: play the current channel<br>Space: play or "
     "stop<br>M: mute<br>F: full screen, Esc: leave it<br>Left, Right: volume<br>Ctrl+F: search "
     "the channel list</p>",
     "<p><b>按键</b><br>上、下、Page Up、Page Down：上一个或下一个频道<br>数字：列表中该编号的"
     "频道<br>Enter：播放当前频道<br>空格：播放或停止<br>M：静音<br>F：全屏，Esc：退出全屏<br>"
     "左、右：音量<br>Ctrl+F：搜索频道列表</p>",
     "<p><b>キー操作</b><br>上、下、Page Up、Page Down：前または次のチャンネル<br>数字：表のその"
     "番号のチャンネル<br>Enter：現在のチャンネルを再生<br>スペース：再生または停止<br>M：消音<br>"
     "F：全画面、Esc：全画面を終了<br>左、右：音量<br>Ctrl+F：チャンネル表を検索</p>"},
    {"MainWindow", "Channel list", "频道列表", "チャンネル表"},
    {"MainWindow",
     "The channel list from the service holds %1 channels, more than the %2 that can be taken. "
     "It was not taken; the channels shown are kept.",
     "服务发送的频道列表有 %1 个频道，超过可接受的 %2 个。该列表未被采用；保留当前显示的频道。",
     "サービスから届いたチャンネル表は %1 チャンネルあり、受け付けられる %2 チャンネルを超えてい"
     "ます。この表は取り込まず、表示中のチャンネルはそのままです。"},
    {"MainWindow",
     "The channel list from the service is larger than %1 MiB and was not taken; the channels "
     "shown are kept.",
     "服务发送的频道列表大于 %1 MiB，未被采用；保留当前显示的频道。",
     "サービスから届いたチャンネル表は %1 MiB を超えるため取り込みませんでした。表示中のチャンネ"
     "ルはそのままです。"},
    // Playlists: import, export, and what is refused.
    {"CDlgVideoList", "Import from Address...", "从网址导入...", "アドレスから輸入..."},
    {"MainWindow", "Error", "错误", "エラー"},
    {"MainWindow",
     "\"%1\" was not played: its address uses \"%2\", which only channels you add yourself may "
     "use. Channels from a playlist or the channel service play over http, https, rtsp, rtmp, "
     "rtmps, rtp, udp, mms, mmsh or srt.",
     "“%1”未播放：其地址使用“%2”，只有您自己添加的频道才能使用。"
     "来自播放列表或频道服务的频道只能通过 "
     "http、https、rtsp、rtmp、rtmps、rtp、udp、mms、mmsh 或 srt 播放。",
     "「%1」は再生しませんでした。アドレスが「%2」を使っていますが、"
     "これはご自分で追加したチャンネルだけが使えます。"
     "プレイリストやチャンネルサービスのチャンネルは "
     "http、https、rtsp、rtmp、rtmps、rtp、udp、mms、mmsh、srt でのみ再生します。"},
    {"PlaylistExport", "The file \"%1\" cannot be written: %2", "无法写入文件“%1”：%2",
     "ファイル「%1」に書き込めません：%2"},
    {"PlaylistImport", "\"%1\" is not an M3U playlist.", "“%1”不是 M3U 播放列表。",
     "「%1」は M3U プレイリストではありません。"},
    {"PlaylistImport", "\"%1\" holds no channels.", "“%1”中没有频道。",
     "「%1」にはチャンネルがありません。"},
    {"PlaylistImport", "The file \"%1\" cannot be read: %2", "无法读取文件“%1”：%2",
     "ファイル「%1」を読み込めません：%2"},
    {"PlaylistImport", "it is a folder", "这是一个文件夹", "フォルダーです"},
    {"PlaylistImport", "The file \"%1\" is larger than %2 MiB.", "文件“%1”大于 %2 MiB。",
     "ファイル「%1」は %2 MiB を超えています。"},
    {"PlaylistImport", "Only http and https addresses can be imported.",
     "只能导入 http 和 https 地址。", "輸入できるのは http と https のアドレスだけです。"},
    {"PlaylistImport", "The playlist at \"%1\" is larger than %2 MiB.",
     "位于“%1”的播放列表大于 %2 MiB。", "「%1」のプレイリストは %2 MiB を超えています。"},
    {"PlaylistImport", "The playlist at \"%1\" cannot be downloaded: %2",
     "无法下载位于“%1”的播放列表：%2", "「%1」のプレイリストをダウンロードできません：%2"},
    {"PlaylistTransfer", "Import Channel List", "导入频道列表", "チャンネル表を輸入"},
    {"PlaylistTransfer", "M3U playlists (*.m3u *.m3u8);;All files (*)",
     "M3U 播放列表 (*.m3u *.m3u8);;所有文件 (*)",
     "M3U プレイリスト (*.m3u *.m3u8);;すべてのファイル (*)"},
    {"PlaylistTransfer", "Import from Address", "从网址导入", "アドレスから輸入"},
    {"PlaylistTransfer", "Address of an M3U playlist (http or https):",
     "M3U 播放列表的地址（http 或 https）：", "M3U プレイリストのアドレス（http または https）："},
    {"PlaylistTransfer", "Importing channels...", "正在导入频道...",
     "チャンネルを輸入しています..."},
    {"PlaylistTransfer", "Cancel", "取消", "キャンセル"},
    {"PlaylistTransfer", "Error", "错误", "エラー"},
    {"PlaylistTransfer", "Export Channel List", "导出频道列表", "チャンネル表を輸出"},
    {"PlaylistTransfer", "Export the current category or every category?",
     "导出当前分类还是所有分类？", "現在の分類を輸出しますか、すべての分類を輸出しますか？"},
    {"PlaylistTransfer", "Current Category", "当前分类", "現在の分類"},
    {"PlaylistTransfer", "All Categories", "所有分类", "すべての分類"},
    {"PlaylistTransfer", "Channels", "频道", "チャンネル"},
    {"PlaylistTransfer", "M3U8 playlists (*.m3u8);;M3U playlists (*.m3u)",
     "M3U8 播放列表 (*.m3u8);;M3U 播放列表 (*.m3u)",
     "M3U8 プレイリスト (*.m3u8);;M3U プレイリスト (*.m3u)"},
    {"GuideSourcesEditor", "Programme guide", "节目指南", "番組表"},
    {"GuideSourcesEditor", "Guide address (http, https or a file)",
     "节目指南地址（http、https 或文件）", "番組表のアドレス（http、https またはファイル）"},
    {"GuideSourcesEditor", "Add", "添加", "追加"},
    {"GuideSourcesEditor", "Remove", "删除", "削除"},
    {"GuideText", "Now: %1 (%2)", "正在播出：%1（%2）", "放送中：%1（%2）"},
    {"GuideText", "Next: %1", "接下来：%1", "次の番組：%1"},
    {"GuideText", "Next: %1 (%2)", "接下来：%1（%2）", "次の番組：%1（%2）"},
};

// Messages per context, the untranslated "Dialog" window titles included.
const QMap<QString, int> kCountPerContext = {
    {"CDlgAddCategory", 7},   {"CDlgAddVideoItem", 7},   {"CDlgControl", 12},
    {"CDlgOptions", 4},       {"CDlgVideoList", 24},     {"MainWindow", 17},
    {"QVlcMenu", 11},         {"language", 3},           {"region", 5},
    {"category", 1},          {"CStreamWatch", 10},      {"ChannelSearchField", 1},
    {"KeyboardZapper", 1},    {"PlaylistExport", 1},     {"PlaylistImport", 8},
    {"PlaylistTransfer", 13}, {"GuideSourcesEditor", 4}, {"GuideText", 3}};
const QStringList kUntranslatedDialog = {"CDlgAddCategory", "CDlgControl", "CDlgVideoList"};

QString expectedTranslation(const Message &m, const QString &strCode)
{
    return QString::fromUtf8(strCode == QLatin1String("ja") ? m.pszJapanese : m.pszChinese);
}

struct TsMessage
{
    QString strContext;
    QString strSource;
    QString strTranslation;
    QString strType; // "", "unfinished", "obsolete", "vanished"
};

QList<TsMessage> readTs(QIODevice *pDevice)
{
    QList<TsMessage> lst;
    QXmlStreamReader xml(pDevice);
    QString strContext;
    TsMessage msg;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("context")) {
            strContext.clear();
        } else if (xml.name() == QLatin1String("name")) {
            strContext = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            msg = TsMessage();
            msg.strContext = strContext;
        } else if (xml.name() == QLatin1String("source")) {
            msg.strSource = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            msg.strType = xml.attributes().value(QLatin1String("type")).toString();
            msg.strTranslation = xml.readElementText();
            lst.append(msg);
        }
    }
    if (xml.hasError())
        qWarning() << "unreadable catalogue:" << xml.errorString();
    return lst;
}

// Checks one catalogue, given as .ts text, against the table: counts per
// context, every table message translated as given, nothing else translated.
void verifyCatalogue(const QList<TsMessage> &lst, const QString &strCode, bool bCountUntranslated)
{
    QMap<QString, int> mapCount;
    QSet<QString> setSeen;
    for (const TsMessage &ts : lst) {
        const QString strKey = ts.strContext + QLatin1Char('|') + ts.strSource;
        QVERIFY2(!setSeen.contains(strKey), qPrintable("twice: " + strKey));
        setSeen.insert(strKey);
        ++mapCount[ts.strContext];
        if (ts.strSource == QLatin1String("Dialog") &&
            kUntranslatedDialog.contains(ts.strContext)) {
            QVERIFY2(ts.strTranslation.isEmpty(), qPrintable(strKey));
            continue;
        }
        QVERIFY2(ts.strType.isEmpty(), qPrintable(ts.strType + ": " + strKey));
        const Message *pFound = nullptr;
        for (const Message &m : kMessages) {
            if (ts.strContext == QLatin1String(m.pszContext) &&
                ts.strSource == QString::fromUtf8(m.pszSource))
                pFound = &m;
        }
        QVERIFY2(pFound, qPrintable("not in the table: " + strKey));
        QCOMPARE(ts.strTranslation, expectedTranslation(*pFound, strCode));
    }
    if (bCountUntranslated) {
        QCOMPARE(mapCount, kCountPerContext);
    } else {
        // A compiled catalogue drops the untranslated titles.
        QMap<QString, int> mapExpected = kCountPerContext;
        for (const QString &strContext : kUntranslatedDialog)
            --mapExpected[strContext];
        QCOMPARE(mapCount, mapExpected);
    }
}

// Runs fn on the first modal widget as soon as one is up, from the event loop
// that exec() runs, so a modal dialog can never hang the test.
void whenModal(std::function<void(QWidget *)> fn)
{
    auto *pDriver = new ModalDriver;
    pDriver->on("QWidget", [pDriver, fn](QWidget *pModal) {
        pDriver->deleteLater();
        fn(pModal);
    });
    pDriver->start();
}

QComboBox *regionBox(QWidget *pDlg)
{
    return pDlg->findChild<QComboBox *>(QStringLiteral("comboBoxRegion"));
}
QComboBox *languageBox(QWidget *pDlg)
{
    return pDlg->findChild<QComboBox *>(QStringLiteral("comboBoxLanguage"));
}
QCheckBox *autoPlayBox(QWidget *pDlg)
{
    return pDlg->findChild<QCheckBox *>(QStringLiteral("checkAutoPlayLast"));
}
QPushButton *dialogButton(QWidget *pDlg, QDialogButtonBox::StandardButton button)
{
    return pDlg->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(button);
}

int rowOfLanguage(int nValue)
{
    for (int nRow = 0; nRow < languageCount(); ++nRow) {
        if (languageId(nRow) == nValue)
            return nRow;
    }
    return -1;
}

// What the main window does with the options: run the dialog, and reload the
// translations when it was accepted. The choices are made and the button
// pressed by the user stand-in.
int runOptions(int nRegionRow, int nLanguageValue, bool bAutoPlay,
               QDialogButtonBox::StandardButton button)
{
    CDlgOptions dlg;
    whenModal([=](QWidget *pModal) {
        regionBox(pModal)->setCurrentIndex(nRegionRow);
        languageBox(pModal)->setCurrentIndex(rowOfLanguage(nLanguageValue));
        autoPlayBox(pModal)->setChecked(bAutoPlay);
        dialogButton(pModal, button)->click();
    });
    const int nResult = dlg.exec();
    if (nResult == QDialog::Accepted)
        loadTranslations();
    return nResult;
}

bool noTranslatorInstalled()
{
    return !g_pAppTranslator && !g_pQtTranslator &&
           QCoreApplication::translate("CDlgOptions", "Options") == QLatin1String("Options") &&
           QCoreApplication::translate("QPlatformTheme", "Cancel") == QLatin1String("Cancel");
}

} // namespace

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void cleanupTestCase();

    void regionTable_data();
    void regionTable();
    void regionIndexOf_data();
    void regionIndexOf();
    void languageTable_data();
    void languageTable();

    void compiledCatalogue_data();
    void compiledCatalogue();
    void catalogueSources_data();
    void catalogueSources();
    void qtCatalogue_data();
    void qtCatalogue();

    void firstRun();
    void firstRunSystemLanguage_data();
    void firstRunSystemLanguage();
    void showsStoredChoices_data();
    void showsStoredChoices();
    void acceptStores_data();
    void acceptStores();
    void unknownRegionStoresAll();
    void dismissStoresNothing_data();
    void dismissStoresNothing();
    void acceptSequenceEndsInSourceTexts();
    void laterTextsTranslated();
    void languageOutsideTable_data();
    void languageOutsideTable();
    void damagedCatalogue_data();
    void damagedCatalogue();
    void noSettingsStore();
    void guideAddresses_data();
    void guideAddresses();

private:
    void resetStore();

    std::unique_ptr<CSettings> m_pSettings;
};

void TestOptions::resetStore()
{
    g_pSettings = nullptr;
    m_pSettings.reset();
    m_pSettings = channellist::freshSettings();
}

void TestOptions::init()
{
    resetStore();
    loadTranslationFiles(QString(), QString()); // nothing loads: no translator
    QVERIFY(noTranslatorInstalled());
}

void TestOptions::cleanup()
{
    TestSupport::verifyNoWindowLeft();
}

void TestOptions::cleanupTestCase()
{
    g_pSettings = nullptr;
    m_pSettings.reset();
}

void TestOptions::regionTable_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("0") << 0 << 0 << "all"
                       << "All";
    QTest::newRow("1") << 1 << 1 << "america"
                       << "America";
    QTest::newRow("2") << 2 << 2 << "china"
                       << "China";
    QTest::newRow("3") << 3 << 3 << "england"
                       << "England";
    QTest::newRow("4") << 4 << 4 << "japan"
                       << "Japan";
    QTest::newRow("-1") << -1 << 0 << ""
                        << "";
    QTest::newRow("5") << 5 << 0 << ""
                       << "";
    QTest::newRow("min") << std::numeric_limits<int>::min() << 0 << ""
                         << "";
}

void TestOptions::regionTable()
{
    QFETCH(int, row);
    QCOMPARE(regionCount(), 5);
    QTEST(regionId(row), "id");
    QTEST(regionCode(row), "code");
    QTEST(regionName(row), "name");
}

void TestOptions::regionIndexOf_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("row");
    QTest::newRow("all") << "all" << 0;
    QTest::newRow("america") << "america" << 1;
    QTest::newRow("china") << "china" << 2;
    QTest::newRow("england") << "england" << 3;
    QTest::newRow("japan") << "japan" << 4;
    QTest::newRow("other case") << "Japan" << 0;
    QTest::newRow("padded") << "japan " << 0;
    QTest::newRow("display name") << "America" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("unknown") << "france" << 0;
}

void TestOptions::regionIndexOf()
{
    QFETCH(QString, code);
    QTEST(::regionIndexOf(code), "row");
}

void TestOptions::languageTable_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("English") << 31 << "english"
                             << "English";
    QTest::newRow("Chinese") << 25 << "zh_CN"
                             << "Chinese";
    QTest::newRow("Japanese") << 59 << "ja"
                              << "Japanese";
    QTest::newRow("0") << 0 << "english"
                       << "";
    QTest::newRow("C") << 1 << "english"
                       << "";
    QTest::newRow("German") << int(QLocale::German) << "english"
                            << "";
    QTest::newRow("negative") << -25 << "english"
                              << "";
    QTest::newRow("large") << 100000 << "english"
                           << "";
}

void TestOptions::languageTable()
{
    QFETCH(int, value);
    QCOMPARE(languageCount(), 3);
    QCOMPARE(languageId(0), 31);
    QCOMPARE(languageId(1), 25);
    QCOMPARE(languageId(2), 59);
    QCOMPARE(languageId(-1), 31);
    QCOMPARE(languageId(3), 31);
    QTEST(languageCode(value), "code");
    QTEST(languageName(value), "name");
}

void TestOptions::compiledCatalogue_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");
    for (const QString &strCode : {QStringLiteral("zh_CN"), QStringLiteral("ja")}) {
        for (const Message &m : kMessages) {
            QTest::addRow("%s %s %s", qPrintable(strCode), m.pszContext, m.pszSource)
                << strCode << m.pszContext << QString::fromUtf8(m.pszSource)
                << expectedTranslation(m, strCode);
        }
        for (const QString &strContext : kUntranslatedDialog) {
            QTest::addRow("%s %s Dialog", qPrintable(strCode), qPrintable(strContext))
                << strCode << strContext << "Dialog"
                << "";
        }
    }
}

void TestOptions::compiledCatalogue()
{
    QFETCH(QString, code);
    QFETCH(QString, context);
    QFETCH(QString, source);
    loadTranslations(); // makes sure the resources are registered
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/l_%1.qm").arg(code)));
    QTEST(translator.translate(context.toUtf8().constData(), source.toUtf8().constData()),
          "expected");
}

void TestOptions::catalogueSources_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("compiled");
    QTest::newRow("zh_CN source") << "zh_CN" << false;
    QTest::newRow("ja source") << "ja" << false;
    QTest::newRow("zh_CN compiled") << "zh_CN" << true;
    QTest::newRow("ja compiled") << "ja" << true;
}

// The .ts files and what was built into the program hold the table's
// messages and nothing beyond them.
void TestOptions::catalogueSources()
{
    QFETCH(QString, code);
    QFETCH(bool, compiled);
    if (!compiled) {
        QFile ts(qEnvironmentVariable("MIREL_SOURCE_DIR") +
                 QStringLiteral("/res/l_%1.ts").arg(code));
        QVERIFY2(ts.open(QIODevice::ReadOnly), qPrintable(ts.fileName()));
        verifyCatalogue(readTs(&ts), code, true);
        return;
    }
    loadTranslations();
    QTemporaryDir dir;
    const QString strQm = dir.filePath(QStringLiteral("l.qm"));
    QVERIFY(QFile::copy(QStringLiteral(":/l_%1.qm").arg(code), strQm));
    QProcess lconvert;
    lconvert.start(QLibraryInfo::location(QLibraryInfo::BinariesPath) + QStringLiteral("/lconvert"),
                   {QStringLiteral("-i"), strQm, QStringLiteral("-of"), QStringLiteral("ts"),
                    QStringLiteral("-o"), QStringLiteral("-")});
    QVERIFY(lconvert.waitForFinished());
    QCOMPARE(lconvert.exitCode(), 0);
    QBuffer buffer;
    buffer.setData(lconvert.readAllStandardOutput());
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    verifyCatalogue(readTs(&buffer), code, false);
}

void TestOptions::qtCatalogue_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("cancel");
    QTest::addColumn<QString>("yes");
    QTest::newRow("zh_CN") << 25 << QStringLiteral("取消") << QStringLiteral("是(&Y)");
    QTest::newRow("ja") << 59 << QStringLiteral("キャンセル") << QStringLiteral("はい(&Y)");
}

void TestOptions::qtCatalogue()
{
    QFETCH(int, language);
    g_pSettings->setLanguage(language);
    loadTranslations();
    QVERIFY(g_pAppTranslator);
    QVERIFY(g_pQtTranslator);
    QTEST(QCoreApplication::translate("QPlatformTheme", "Cancel"), "cancel");
    QTEST(QCoreApplication::translate("QPlatformTheme", "&Yes"), "yes");
}

void TestOptions::firstRun()
{
    // The tests run in the C locale: not a language of the table.
    QCOMPARE(QLocale::system().language(), QLocale::C);
    CDlgOptions dlg;
    QCOMPARE(regionBox(&dlg)->count(), 5);
    QCOMPARE(regionBox(&dlg)->currentText(), QStringLiteral("All"));
    QCOMPARE(dlg.regionValue(), 0);
    QCOMPARE(languageBox(&dlg)->count(), 3);
    QCOMPARE(languageBox(&dlg)->currentIndex(), -1);
    QCOMPARE(dlg.languageValue(), 0);
    QVERIFY(autoPlayBox(&dlg)->isChecked());
    for (int nRow = 0; nRow < 5; ++nRow) {
        QCOMPARE(regionBox(&dlg)->itemText(nRow), regionName(nRow));
        QCOMPARE(regionBox(&dlg)->itemData(nRow).toInt(), nRow);
    }
    for (int nRow = 0; nRow < 3; ++nRow) {
        QCOMPARE(languageBox(&dlg)->itemText(nRow), languageName(languageId(nRow)));
        QCOMPARE(languageBox(&dlg)->itemData(nRow).toInt(), languageId(nRow));
    }
}

void TestOptions::firstRunSystemLanguage_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("row");
    QTest::newRow("English") << "en_US.UTF-8" << 0;
    QTest::newRow("Chinese") << "zh_CN.UTF-8" << 1;
    QTest::newRow("Japanese") << "ja_JP.UTF-8" << 2;
    QTest::newRow("German") << "de_DE.UTF-8" << -1;
}

// The system language is read once per process, so each case runs this
// program again with a fresh store and the locale set.
void TestOptions::firstRunSystemLanguage()
{
    QFETCH(QString, locale);
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("LC_ALL"), locale);
    env.insert(QStringLiteral("LANG"), locale);
    env.insert(QStringLiteral("MIREL_OPTIONS_PROBE"), QStringLiteral("first-run"));
    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(probe.waitForFinished());
    QCOMPARE(probe.exitCode(), 0);
    const QByteArray output = probe.readAllStandardOutput().trimmed();
    QVERIFY2(output.startsWith("language-row "), output.constData());
    QTEST(output.mid(13).toInt(), "row");
}

void TestOptions::showsStoredChoices_data()
{
    QTest::addColumn<QString>("region");
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("autoPlay");
    QTest::addColumn<int>("regionRow");
    QTest::addColumn<int>("languageRow");
    QTest::newRow("japan, Chinese, off") << "japan" << 25 << false << 4 << 1;
    QTest::newRow("china, Japanese, on") << "china" << 59 << true << 2 << 2;
    QTest::newRow("england, English, off") << "england" << 31 << false << 3 << 0;
    QTest::newRow("unknown region, C") << "France" << 1 << true << 0 << -1;
    QTest::newRow("empty region, negative") << "" << -59 << false << 0 << -1;
}

void TestOptions::showsStoredChoices()
{
    QFETCH(QString, region);
    QFETCH(int, language);
    QFETCH(bool, autoPlay);
    g_pSettings->setRegion(region);
    g_pSettings->setLanguage(language);
    g_pSettings->setAutoPlayLast(autoPlay);
    CDlgOptions dlg;
    QTEST(regionBox(&dlg)->currentIndex(), "regionRow");
    QTEST(languageBox(&dlg)->currentIndex(), "languageRow");
    QCOMPARE(autoPlayBox(&dlg)->isChecked(), autoPlay);
}

void TestOptions::acceptStores_data()
{
    QTest::addColumn<int>("regionRow");
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("autoPlay");
    QTest::addColumn<QString>("region");
    QTest::addColumn<QString>("title");
    QTest::newRow("america, Chinese, off") << 1 << 25 << false << "america"
                                           << "选项";
    QTest::newRow("japan, Japanese, on") << 4 << 59 << true << "japan"
                                         << "オプション";
    QTest::newRow("all, English, on") << 0 << 31 << true << "all"
                                      << "Options";
    QTest::newRow("england, no language") << 3 << 0 << false << "england"
                                          << "Options";
}

void TestOptions::acceptStores()
{
    QFETCH(int, regionRow);
    QFETCH(int, language);
    QFETCH(bool, autoPlay);

    // The choices are stored after accept() has closed the dialog.
    CDlgOptions dlg;
    bool bStoredBeforeClose = true;
    connect(&dlg, &QDialog::finished, this,
            [&] { bStoredBeforeClose = g_pSettings->m_nLanguage == language; });
    whenModal([=](QWidget *pModal) {
        regionBox(pModal)->setCurrentIndex(regionRow);
        languageBox(pModal)->setCurrentIndex(rowOfLanguage(language));
        autoPlayBox(pModal)->setChecked(autoPlay);
        dialogButton(pModal, QDialogButtonBox::Ok)->click();
    });
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QVERIFY(!bStoredBeforeClose);
    loadTranslations();

    QTEST(g_pSettings->m_strRegion, "region");
    QCOMPARE(g_pSettings->m_nLanguage, language);
    QCOMPARE(g_pSettings->m_bAutoPlayLast, autoPlay);
    // ... and written, not only kept in memory.
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, kOrg, kApp);
    QTEST(store.value(QStringLiteral("m_strRegion")).toString(), "region");
    QCOMPARE(store.value(QStringLiteral("m_nLanguage")).toInt(), language);
    QCOMPARE(store.value(QStringLiteral("m_bAutoPlayLast")).toBool(), autoPlay);

    CDlgOptions later;
    QTEST(later.windowTitle(), "title");
}

void TestOptions::unknownRegionStoresAll()
{
    g_pSettings->setRegion(QStringLiteral("atlantis"));
    CDlgOptions dlg;
    QCOMPARE(regionBox(&dlg)->currentText(), QStringLiteral("All"));
    whenModal([](QWidget *pModal) { dialogButton(pModal, QDialogButtonBox::Ok)->click(); });
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QCOMPARE(g_pSettings->m_strRegion, QStringLiteral("all"));
}

void TestOptions::dismissStoresNothing_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("close") << 2;
}

void TestOptions::dismissStoresNothing()
{
    QFETCH(int, how);
    g_pSettings->setRegion(QStringLiteral("china"));
    g_pSettings->setLanguage(25);
    g_pSettings->setAutoPlayLast(true);
    loadTranslations();
    QTranslator *pAppTranslator = g_pAppTranslator;
    QTranslator *pQtTranslator = g_pQtTranslator;
    m_pSettings->sync();
    const QByteArray before = TestSupport::readFile(m_pSettings->fileName());
    QVERIFY(!before.isEmpty());

    CDlgOptions dlg;
    whenModal([how](QWidget *pModal) {
        regionBox(pModal)->setCurrentIndex(4);
        languageBox(pModal)->setCurrentIndex(2);
        autoPlayBox(pModal)->setChecked(false);
        if (how == 0)
            dialogButton(pModal, QDialogButtonBox::Cancel)->click();
        else if (how == 1)
            QTest::keyClick(pModal, Qt::Key_Escape);
        else
            pModal->close();
    });
    if (dlg.exec() == QDialog::Accepted)
        loadTranslations();

    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(g_pSettings->m_strRegion, QStringLiteral("china"));
    QCOMPARE(g_pSettings->m_nLanguage, 25);
    QCOMPARE(g_pSettings->m_bAutoPlayLast, true);
    m_pSettings->sync();
    QCOMPARE(TestSupport::readFile(m_pSettings->fileName()), before);
    QCOMPARE(g_pAppTranslator, pAppTranslator);
    QCOMPARE(g_pQtTranslator, pQtTranslator);
}

void TestOptions::acceptSequenceEndsInSourceTexts()
{
    QCOMPARE(runOptions(2, 25, true, QDialogButtonBox::Ok), int(QDialog::Accepted));
    QVERIFY(g_pAppTranslator);
    QCOMPARE(QCoreApplication::translate("region", "China"), QStringLiteral("中国"));
    QCOMPARE(runOptions(2, 59, true, QDialogButtonBox::Ok), int(QDialog::Accepted));
    QVERIFY(g_pAppTranslator);
    QCOMPARE(QCoreApplication::translate("language", "English"), QStringLiteral("英語"));
    QCOMPARE(runOptions(2, 31, true, QDialogButtonBox::Ok), int(QDialog::Accepted));
    QVERIFY(noTranslatorInstalled());
    CDlgOptions later;
    QCOMPARE(later.windowTitle(), QStringLiteral("Options"));
    QCOMPARE(languageBox(&later)->currentText(), QStringLiteral("English"));
}

void TestOptions::laterTextsTranslated()
{
    CDlgOptions earlier;
    earlier.show();
    QVERIFY(QTest::qWaitForWindowExposed(&earlier));

    QCOMPARE(runOptions(1, 25, true, QDialogButtonBox::Ok), int(QDialog::Accepted));
    QVERIFY(g_pAppTranslator);
    QVERIFY(g_pQtTranslator);

    // What was built before keeps its texts...
    QCOMPARE(earlier.windowTitle(), QStringLiteral("Options"));
    QCOMPARE(earlier.findChild<QLabel *>(QStringLiteral("label"))->text(),
             QStringLiteral("Region:"));
    QCOMPARE(regionBox(&earlier)->itemText(1), QStringLiteral("America"));
    QCOMPARE(dialogButton(&earlier, QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
    earlier.close();

    // ... what is built afterwards speaks Chinese, Qt's own buttons included.
    CDlgOptions later;
    QCOMPARE(later.windowTitle(), QStringLiteral("选项"));
    QCOMPARE(later.findChild<QLabel *>(QStringLiteral("label"))->text(), QStringLiteral("地区:"));
    QCOMPARE(later.findChild<QLabel *>(QStringLiteral("label_2"))->text(), QStringLiteral("语言"));
    QCOMPARE(autoPlayBox(&later)->text(), QStringLiteral("打开时自动播放上次的频道"));
    QCOMPARE(regionBox(&later)->currentText(), QStringLiteral("美国"));
    QCOMPARE(languageBox(&later)->currentText(), QStringLiteral("中文"));
    QCOMPARE(languageBox(&later)->itemText(2), QStringLiteral("日文"));
    QCOMPARE(dialogButton(&later, QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));

    QString strTitle;
    QString strButton;
    whenModal([&](QWidget *pModal) {
        if (auto *pBox = qobject_cast<QMessageBox *>(pModal)) {
            strTitle = pBox->windowTitle();
            strButton = pBox->button(QMessageBox::Ok)->text();
        }
        pModal->close();
    });
    QMessageBox::warning(&later, QCoreApplication::translate("CDlgAddCategory", "Error"),
                         QCoreApplication::translate("CDlgAddCategory", "Category name is empty."),
                         QMessageBox::Ok, QMessageBox::NoButton);
    QCOMPARE(strTitle, QStringLiteral("错误"));
    QCOMPARE(strButton, QStringLiteral("确定"));
}

void TestOptions::languageOutsideTable_data()
{
    QTest::addColumn<int>("language");
    QTest::newRow("0") << 0;
    QTest::newRow("C") << 1;
    QTest::newRow("German") << int(QLocale::German);
    QTest::newRow("negative") << -25;
    QTest::newRow("large") << 100000;
}

void TestOptions::languageOutsideTable()
{
    QFETCH(int, language);
    g_pSettings->setLanguage(25);
    loadTranslations();
    QVERIFY(g_pAppTranslator);

    g_pSettings->setLanguage(language);
    loadTranslations();
    QVERIFY(noTranslatorInstalled());

    // The dialog shows no language and accepting stores "none", still in English.
    QCOMPARE(runOptions(0, language, true, QDialogButtonBox::Ok), int(QDialog::Accepted));
    QCOMPARE(g_pSettings->m_nLanguage, 0);
    QVERIFY(noTranslatorInstalled());
}

void TestOptions::damagedCatalogue_data()
{
    QTest::addColumn<QByteArray>("appFile");
    QTest::addColumn<QByteArray>("qtFile");
    QTest::addColumn<bool>("loaded");
    QFile real(QStringLiteral(":/l_zh_CN.qm"));
    loadTranslations();
    QVERIFY(real.open(QIODevice::ReadOnly));
    const QByteArray good = real.readAll();
    QFile realQt(QStringLiteral(":/res/qt_zh_CN.qm"));
    QVERIFY(realQt.open(QIODevice::ReadOnly));
    const QByteArray goodQt = realQt.readAll();
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919) ^ (i >> 3));
    QByteArray badLength = good;
    badLength[17] = char(0x7f); // first block claims to run far past the end

    QTest::newRow("missing") << QByteArray() << goodQt << false;
    QTest::newRow("empty") << QByteArray("") << goodQt << false;
    QTest::newRow("garbage") << garbage << goodQt << false;
    QTest::newRow("no messages") << good.left(16) << goodQt << false;
    QTest::newRow("cut short") << good.left(good.size() / 2) << goodQt << false;
    QTest::newRow("bad length") << badLength << goodQt << false;
    QTest::newRow("Qt's missing") << good << QByteArray() << true;
    QTest::newRow("Qt's garbage") << good << garbage << true;
}

void TestOptions::damagedCatalogue()
{
    QFETCH(QByteArray, appFile);
    QFETCH(QByteArray, qtFile);
    QFETCH(bool, loaded);
    QTemporaryDir dir;
    const QString strAppFile = dir.filePath(QStringLiteral("l_zh_CN.qm"));
    const QString strQtFile = dir.filePath(QStringLiteral("qt_zh_CN.qm"));
    for (const auto &file : {qMakePair(strAppFile, appFile), qMakePair(strQtFile, qtFile)}) {
        if (file.second.isNull())
            continue;
        QFile f(file.first);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file.second);
    }

    g_pSettings->setLanguage(59);
    loadTranslations();
    QVERIFY(g_pAppTranslator && g_pQtTranslator);

    QCOMPARE(loadTranslationFiles(strAppFile, strQtFile), loaded);
    if (!loaded) {
        QVERIFY(noTranslatorInstalled());
        return;
    }
    QVERIFY(g_pAppTranslator);
    QCOMPARE(QCoreApplication::translate("CDlgOptions", "Options"), QStringLiteral("选项"));
    // The Japanese Qt catalogue of before is gone either way.
    QCOMPARE(g_pQtTranslator, nullptr);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

// Without a store the dialog still opens and closes and nothing is loaded.
void TestOptions::noSettingsStore()
{
    g_pSettings->setLanguage(25);
    loadTranslations();
    g_pSettings = nullptr;
    QCOMPARE(runOptions(4, 59, false, QDialogButtonBox::Ok), int(QDialog::Accepted));
    g_pSettings = m_pSettings.get();
    QVERIFY(noTranslatorInstalled());
    QCOMPARE(m_pSettings->m_nLanguage, 25);
    QCOMPARE(m_pSettings->m_strRegion, QStringLiteral("all"));
}

void TestOptions::guideAddresses_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QStringList>("stored");
    QTest::newRow("http, https and files")
        << QStringList{"http://127.0.0.1:9/g.xml", " https://127.0.0.1/e.xml.gz ", "/tmp/g.xml",
                       "file:///tmp/a/../f.xml"}
        << QStringList{"http://127.0.0.1:9/g.xml", "https://127.0.0.1/e.xml.gz", "/tmp/g.xml",
                       "/tmp/f.xml"};
    QTest::newRow("refused, and twice") << QStringList{"ftp://127.0.0.1/g.xml",
                                                       "relative/g.xml",
                                                       "http://",
                                                       "",
                                                       "/tmp/g.xml",
                                                       "/tmp/g.xml"}
                                        << QStringList{"/tmp/g.xml"};
}

// The guide section: the stored address removed, others typed and added
// (Add stays off for what is not an http(s) URL or a local file), OK stores.
void TestOptions::guideAddresses()
{
    QFETCH(QStringList, typed);
    g_pSettings->setGuideAddresses({"/stored.xml"});
    CDlgOptions dlg;
    whenModal([typed](QWidget *pModal) {
        auto *edit = pModal->findChild<QLineEdit *>(QStringLiteral("editGuideAddress"));
        auto *add = pModal->findChild<QPushButton *>(QStringLiteral("btnAddGuide"));
        auto *list = pModal->findChild<QListWidget *>(QStringLiteral("listGuideAddresses"));
        QCOMPARE(list->item(0)->text(), QStringLiteral("/stored.xml"));
        for (const QString &strTyped : typed) {
            edit->setText(strTyped);
            add->click();
        }
        list->item(0)->setSelected(true);
        pModal->findChild<QPushButton *>(QStringLiteral("btnRemoveGuide"))->click();
        dialogButton(pModal, QDialogButtonBox::Ok)->click();
    });
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QTEST(g_pSettings->m_lstGuideAddresses, "stored");
}

namespace {

// Child mode of firstRunSystemLanguage: a first run in the locale the parent
// chose; prints the current row of the language list.
int probeFirstRun()
{
    CSettings settings(kOrg, kApp);
    g_pSettings = &settings;
    CDlgOptions dlg;
    printf("language-row %d\n", languageBox(&dlg)->currentIndex());
    g_pSettings = nullptr;
    return 0;
}

// Screenshots of the translated options dialog and channel list (with its
// context menu open) for a look by eye; see scripts/screenshot-options.
int takeScreenshots(const QString &strDir)
{
    CSettings settings(kOrg, kApp);
    g_pSettings = &settings;
    settings.setDefaultChannels({"CCTV1", "http://127.0.0.1:1/1", "5", "CCTV5",
                                 "http://127.0.0.1:1/5", "3", "NHK", "http://127.0.0.1:1/n", "1"});
    settings.clearCategories();
    settings.addCategory(QStringLiteral("Sports"), {"ESPN", "http://127.0.0.1:1/e", "0"});
    settings.save();
    int nFailures = 0;
    const auto save = [&](const QPixmap &shot, const QString &strName) {
        const QString strFile = QStringLiteral("%1/%2.png").arg(strDir, strName);
        if (!shot.save(strFile))
            ++nFailures;
        printf("%s\n", qPrintable(strFile));
    };
    for (int nLanguage : {25, 59}) {
        settings.setLanguage(nLanguage);
        loadTranslations();
        const QString strCode = languageCode(nLanguage);

        CDlgOptions dlg;
        dlg.show();
        if (!QTest::qWaitForWindowExposed(&dlg))
            ++nFailures;
        QTest::qWait(200);
        save(dlg.screen()->grabWindow(dlg.winId()), QStringLiteral("options-") + strCode);
        dlg.close();

        CDlgVideoList list(nullptr);
        list.setGeometry(20, 20, 504, 260);
        list.show();
        if (!QTest::qWaitForWindowExposed(&list))
            ++nFailures;
        list.selectNextChannel();
        const QPoint pos(200, 120);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list.mapToGlobal(pos));
        QApplication::sendEvent(&list, &event);
        QTest::qWait(300);
        save(list.screen()->grabWindow(0, 0, 0, 760, 480), QStringLiteral("channels-") + strCode);
        list.hideContextMenu();
        list.close();
    }
    g_pSettings = nullptr;
    return nFailures;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString strProbe = qEnvironmentVariable("MIREL_OPTIONS_PROBE");
    if (strProbe == QLatin1String("first-run"))
        return probeFirstRun();
    if (qEnvironmentVariableIsSet("MIREL_OPTIONS_SCREENSHOTS"))
        return takeScreenshots(qEnvironmentVariable("MIREL_OPTIONS_SCREENSHOTS"));
    TestOptions test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_options.moc"
