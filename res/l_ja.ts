<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja">
<context>
    <name>CDlgAddCategory</name>
    <message>
        <source>Dialog</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Category Name:</source>
        <translation>分類:</translation>
    </message>
    <message>
        <source>Add category</source>
        <translation>分類追加</translation>
    </message>
    <message>
        <source>Edit category</source>
        <translation>分類編集</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>エラー</translation>
    </message>
    <message>
        <source>Category name is empty.</source>
        <translation>分類名が入力していません。</translation>
    </message>
    <message>
        <source>Category name is in use.</source>
        <translation>分類名が既存しています。</translation>
    </message>
</context>
<context>
    <name>CDlgAddVideoItem</name>
    <message>
        <source>Channel Name:</source>
        <translation>チャンネル名称:</translation>
    </message>
    <message>
        <source>Channel Url:</source>
        <translation>チャンネルのあて先:</translation>
    </message>
    <message>
        <source>Add Channel</source>
        <translation>チャンネル追加</translation>
    </message>
    <message>
        <source>Edit Channel</source>
        <translation>编チャンネル編集</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>エラー</translation>
    </message>
    <message>
        <source>Channel name is empty.</source>
        <translation>チャンネル名称が入力していません。</translation>
    </message>
    <message>
        <source>Channel url is empty.</source>
        <translation>チャンネルのあて先が入力していません。</translation>
    </message>
</context>
<context>
    <name>CDlgControl</name>
    <message>
        <source>Dialog</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About</source>
        <translation>Mirel Playerについて</translation>
    </message>
    <message>
        <source>Channel List</source>
        <translation>チャンネル表</translation>
    </message>
    <message>
        <source>Full Screen</source>
        <translation>全サイズ</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>メニュー</translation>
    </message>
    <message>
        <source>Mute On/Off</source>
        <translation>消音</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>次へ</translation>
    </message>
    <message>
        <source>Options...</source>
        <translation>オプション...</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>前へ</translation>
    </message>
    <message>
        <source>Video progress</source>
        <translation>進捗</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
</context>
<context>
    <name>CDlgOptions</name>
    <message>
        <source>Options</source>
        <translation>オプション</translation>
    </message>
    <message>
        <source>Region:</source>
        <translation>地域:</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>言語</translation>
    </message>
    <message>
        <source>Auto play the last channel when launch</source>
        <translation>開く時に、前回の内容を自動再生します。</translation>
    </message>
</context>
<context>
    <name>CDlgVideoList</name>
    <message>
        <source>Dialog</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add Category</source>
        <translation>分類追加</translation>
    </message>
    <message>
        <source>Edit Category</source>
        <translation>分類編集</translation>
    </message>
    <message>
        <source>Remove Category</source>
        <translation>分類削除</translation>
    </message>
    <message>
        <source>Add Channel</source>
        <translation>チャンネル追加</translation>
    </message>
    <message>
        <source>Edit Channel</source>
        <translation>チャンネル編集</translation>
    </message>
    <message>
        <source>Remove Channel</source>
        <translation>チャンネル削除</translation>
    </message>
    <message>
        <source>Import Channel List</source>
        <translation>チャンネル表を輸入</translation>
    </message>
    <message>
        <source>Export Channel List</source>
        <translation>チャンネル表を輸出</translation>
    </message>
    <message>
        <source>Up</source>
        <translation>上向き</translation>
    </message>
    <message>
        <source>Down</source>
        <translation>下向き</translation>
    </message>
    <message>
        <source>Refresh newly channels</source>
        <translation>最新放送の更新</translation>
    </message>
    <message>
        <source>Newly</source>
        <translation>最新</translation>
    </message>
    <message>
        <source>Copy to</source>
        <translation>コピー</translation>
    </message>
    <message>
        <source>My Favorite</source>
        <translation>お気に入り</translation>
    </message>
    <message>
        <source>Add category</source>
        <translation>分類追加</translation>
    </message>
    <message>
        <source>Edit category</source>
        <translation>分類編集</translation>
    </message>
    <message>
        <source>Add channel</source>
        <translation>チャンネル追加</translation>
    </message>
    <message>
        <source>Edit channel</source>
        <translation>チャンネル編集</translation>
    </message>
    <message>
        <source>Remove current category</source>
        <translation>現在の分類を削除します。</translation>
    </message>
    <message>
        <source>Do you sure to remove the current category?</source>
        <translation>現在の分類を確かに削除しますか？</translation>
    </message>
    <message>
        <source>Remove selected channels</source>
        <translation>選択チャンネルを削除します。</translation>
    </message>
    <message>
        <source>Do you sure to remove the selected channels?</source>
        <translation>選択チャンネルを確かに削除しますか？</translation>
    </message>
    <message>
        <source>Import from Address...</source>
        <translation>アドレスから輸入...</translation>
    </message>
</context>
<context>
    <name>CStreamWatch</name>
    <message>
        <source>cannot connect</source>
        <translation>接続できません</translation>
    </message>
    <message>
        <source>not found</source>
        <translation>番組が見つかりません</translation>
    </message>
    <message>
        <source>the stream ended</source>
        <translation>ストリームが終了しました</translation>
    </message>
    <message>
        <source>no picture for %1 s</source>
        <translation>%1 秒間映像がありません</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>サーバーが応答しません</translation>
    </message>
    <message>
        <source>cannot play this stream</source>
        <translation>このストリームは再生できません</translation>
    </message>
    <message>
        <source>Connecting... %1%</source>
        <translation>接続中... %1%</translation>
    </message>
    <message>
        <source>Connecting...</source>
        <translation>接続中...</translation>
    </message>
    <message>
        <source>No signal: %1. Reconnecting (%2)...</source>
        <translation>信号なし：%1。再接続中（%2）...</translation>
    </message>
    <message>
        <source>No signal: %1</source>
        <translation>信号なし：%1</translation>
    </message>
</context>
<context>
    <name>ChannelSearchField</name>
    <message>
        <source>Search channels (Ctrl+F)</source>
        <translation>チャンネル検索 (Ctrl+F)</translation>
    </message>
</context>
<context>
    <name>GuideSourcesEditor</name>
    <message>
        <source>Programme guide</source>
        <translation>番組表</translation>
    </message>
    <message>
        <source>Guide address (http, https or a file)</source>
        <translation>番組表のアドレス（http、https またはファイル）</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>追加</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>削除</translation>
    </message>
</context>
<context>
    <name>GuideText</name>
    <message>
        <source>Now: %1 (%2)</source>
        <translation>放送中：%1（%2）</translation>
    </message>
    <message>
        <source>Next: %1</source>
        <translation>次の番組：%1</translation>
    </message>
    <message>
        <source>Next: %1 (%2)</source>
        <translation>次の番組：%1（%2）</translation>
    </message>
</context>
<context>
    <name>KeyboardZapper</name>
    <message>
        <source>&lt;p&gt;&lt;b&gt;Keys&lt;/b&gt;&lt;br&gt;Up, Down, Page Up, Page Down: previous or next channel&lt;br&gt;Digits: the channel of that number in the list&lt;br&gt;Enter: play the current channel&lt;br&gt;Space: play or stop&lt;br&gt;M: mute&lt;br&gt;F: full screen, Esc: leave it&lt;br&gt;Left, Right: volume&lt;br&gt;Ctrl+F: search the channel list&lt;/p&gt;</source>
        <translation>&lt;p&gt;&lt;b&gt;キー操作&lt;/b&gt;&lt;br&gt;上、下、Page Up、Page Down：前または次のチャンネル&lt;br&gt;数字：表のその番号のチャンネル&lt;br&gt;Enter：現在のチャンネルを再生&lt;br&gt;スペース：再生または停止&lt;br&gt;M：消音&lt;br&gt;F：全画面、Esc：全画面を終了&lt;br&gt;左、右：音量&lt;br&gt;Ctrl+F：チャンネル表を検索&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>&lt;h2&gt;Mirel Player %1&lt;/h2&gt;&lt;br&gt;&lt;br&gt;Channel Version: %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</source>
        <translation>&lt;h2&gt;Mirel Player %1&lt;/h2&gt;&lt;br&gt;&lt;br&gt;バージョン: %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Mirel Playerについて</translation>
    </message>
    <message>
        <source>About Mirel Player</source>
        <translation>Mirel Playerについて</translation>
    </message>
    <message>
        <source>Mirel Player</source>
        <translation>Mirel Player</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Fullscreen</source>
        <translation>全サイズ</translation>
    </message>
    <message>
        <source>Muted</source>
        <translation>消音</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>オプション</translation>
    </message>
    <message>
        <source>Options...</source>
        <translation>オプション...</translation>
    </message>
    <message>
        <source>Set fullscreen</source>
        <translation>全サイズ</translation>
    </message>
    <message>
        <source>Volume: %1</source>
        <translation>音量: %1</translation>
    </message>
    <message>
        <source>Double-click a channel to play it</source>
        <translation>チャンネルをダブルクリックすると再生します</translation>
    </message>
    <message>
        <source>The channel list from the service is larger than %1 MiB and was not taken; the channels shown are kept.</source>
        <translation>サービスから届いたチャンネル表は %1 MiB を超えるため取り込みませんでした。表示中のチャンネルはそのままです。</translation>
    </message>
    <message>
        <source>The channel list from the service holds %1 channels, more than the %2 that can be taken. It was not taken; the channels shown are kept.</source>
        <translation>サービスから届いたチャンネル表は %1 チャンネルあり、受け付けられる %2 チャンネルを超えています。この表は取り込まず、表示中のチャンネルはそのままです。</translation>
    </message>
    <message>
        <source>Channel list</source>
        <translation>チャンネル表</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>エラー</translation>
    </message>
    <message>
        <source>&quot;%1&quot; was not played: its address uses &quot;%2&quot;, which only channels you add yourself may use. Channels from a playlist or the channel service play over http, https, rtsp, rtmp, rtmps, rtp, udp, mms, mmsh or srt.</source>
        <translation>「%1」は再生しませんでした。アドレスが「%2」を使っていますが、これはご自分で追加したチャンネルだけが使えます。プレイリストやチャンネルサービスのチャンネルは http、https、rtsp、rtmp、rtmps、rtp、udp、mms、mmsh、srt でのみ再生します。</translation>
    </message>
</context>
<context>
    <name>PlaylistExport</name>
    <message>
        <source>The file &quot;%1&quot; cannot be written: %2</source>
        <translation>ファイル「%1」に書き込めません：%2</translation>
    </message>
</context>
<context>
    <name>PlaylistImport</name>
    <message>
        <source>&quot;%1&quot; is not an M3U playlist.</source>
        <translation>「%1」は M3U プレイリストではありません。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; holds no channels.</source>
        <translation>「%1」にはチャンネルがありません。</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; cannot be read: %2</source>
        <translation>ファイル「%1」を読み込めません：%2</translation>
    </message>
    <message>
        <source>it is a folder</source>
        <translation>フォルダーです</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; is larger than %2 MiB.</source>
        <translation>ファイル「%1」は %2 MiB を超えています。</translation>
    </message>
    <message>
        <source>Only http and https addresses can be imported.</source>
        <translation>輸入できるのは http と https のアドレスだけです。</translation>
    </message>
    <message>
        <source>The playlist at &quot;%1&quot; is larger than %2 MiB.</source>
        <translation>「%1」のプレイリストは %2 MiB を超えています。</translation>
    </message>
    <message>
        <source>The playlist at &quot;%1&quot; cannot be downloaded: %2</source>
        <translation>「%1」のプレイリストをダウンロードできません：%2</translation>
    </message>
</context>
<context>
    <name>PlaylistTransfer</name>
    <message>
        <source>Import Channel List</source>
        <translation>チャンネル表を輸入</translation>
    </message>
    <message>
        <source>M3U playlists (*.m3u *.m3u8);;All files (*)</source>
        <translation>M3U プレイリスト (*.m3u *.m3u8);;すべてのファイル (*)</translation>
    </message>
    <message>
        <source>Import from Address</source>
        <translation>アドレスから輸入</translation>
    </message>
    <message>
        <source>Address of an M3U playlist (http or https):</source>
        <translation>M3U プレイリストのアドレス（http または https）：</translation>
    </message>
    <message>
        <source>Importing channels...</source>
        <translation>チャンネルを輸入しています...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>エラー</translation>
    </message>
    <message>
        <source>Export Channel List</source>
        <translation>チャンネル表を輸出</translation>
    </message>
    <message>
        <source>Export the current category or every category?</source>
        <translation>現在の分類を輸出しますか、すべての分類を輸出しますか？</translation>
    </message>
    <message>
        <source>Current Category</source>
        <translation>現在の分類</translation>
    </message>
    <message>
        <source>All Categories</source>
        <translation>すべての分類</translation>
    </message>
    <message>
        <source>Channels</source>
        <translation>チャンネル</translation>
    </message>
    <message>
        <source>M3U8 playlists (*.m3u8);;M3U playlists (*.m3u)</source>
        <translation>M3U8 プレイリスト (*.m3u8);;M3U プレイリスト (*.m3u)</translation>
    </message>
</context>
<context>
    <name>QVlcMenu</name>
    <message>
        <source>About</source>
        <translation>Mirel Playerについて</translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>画像</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Fullscreen</source>
        <translation>全サイズ</translation>
    </message>
    <message>
        <source>Open from file...</source>
        <translation>ファイルを開く...</translation>
    </message>
    <message>
        <source>Open subtitles...</source>
        <translation>字幕を開く...</translation>
    </message>
    <message>
        <source>Options...</source>
        <translation>オプション...</translation>
    </message>
    <message>
        <source>Playback speed</source>
        <translation>スピードを回送します。</translation>
    </message>
    <message>
        <source>Subtitles</source>
        <translation>字幕</translation>
    </message>
    <message>
        <source>Tracks</source>
        <translation>軌道</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>動画</translation>
    </message>
</context>
<context>
    <name>category</name>
    <message>
        <source>Newly</source>
        <translation>最新</translation>
    </message>
</context>
<context>
    <name>language</name>
    <message>
        <source>English</source>
        <translation>英語</translation>
    </message>
    <message>
        <source>Chinese</source>
        <translation>中国語</translation>
    </message>
    <message>
        <source>Japanese</source>
        <translation>日本語</translation>
    </message>
</context>
<context>
    <name>region</name>
    <message>
        <source>All</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>America</source>
        <translation>米国</translation>
    </message>
    <message>
        <source>China</source>
        <translation>中国</translation>
    </message>
    <message>
        <source>England</source>
        <translation>英国</translation>
    </message>
    <message>
        <source>Japan</source>
        <translation>日本</translation>
    </message>
</context>
</TS>
