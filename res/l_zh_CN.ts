<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CDlgAddCategory</name>
    <message>
        <source>Dialog</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Category Name:</source>
        <translation>分类:</translation>
    </message>
    <message>
        <source>Add category</source>
        <translation>添加分类</translation>
    </message>
    <message>
        <source>Edit category</source>
        <translation>编辑分类</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Category name is empty.</source>
        <translation>分类名为空。</translation>
    </message>
    <message>
        <source>Category name is in use.</source>
        <translation>分类名已使用。</translation>
    </message>
</context>
<context>
    <name>CDlgAddVideoItem</name>
    <message>
        <source>Channel Name:</source>
        <translation>频道名称:</translation>
    </message>
    <message>
        <source>Channel Url:</source>
        <translation>频道地址:</translation>
    </message>
    <message>
        <source>Add Channel</source>
        <translation>添加频道</translation>
    </message>
    <message>
        <source>Edit Channel</source>
        <translation>编辑频道</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Channel name is empty.</source>
        <translation>频道名称为空。</translation>
    </message>
    <message>
        <source>Channel url is empty.</source>
        <translation>频道地址为空。</translation>
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
        <translation>关于</translation>
    </message>
    <message>
        <source>Channel List</source>
        <translation>频道列表</translation>
    </message>
    <message>
        <source>Full Screen</source>
        <translation>全屏</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>菜单</translation>
    </message>
    <message>
        <source>Mute On/Off</source>
        <translation>静音</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>下一个</translation>
    </message>
    <message>
        <source>Options...</source>
        <translation>选项...</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>上一个</translation>
    </message>
    <message>
        <source>Video progress</source>
        <translation>视频进度</translation>
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
        <translation>选项</translation>
    </message>
    <message>
        <source>Region:</source>
        <translation>地区:</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Auto play the last channel when launch</source>
        <translation>打开时自动播放上次的频道</translation>
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
        <translation>添加分类</translation>
    </message>
    <message>
        <source>Edit Category</source>
        <translation>编辑分类</translation>
    </message>
    <message>
        <source>Remove Category</source>
        <translation>删除分类</translation>
    </message>
    <message>
        <source>Add Channel</source>
        <translation>添加频道</translation>
    </message>
    <message>
        <source>Edit Channel</source>
        <translation>编辑频道</translation>
    </message>
    <message>
        <source>Remove Channel</source>
        <translation>删除频道</translation>
    </message>
    <message>
        <source>Import Channel List</source>
        <translation>导入频道列表</translation>
    </message>
    <message>
        <source>Export Channel List</source>
        <translation>导出频道列表</translation>
    </message>
    <message>
        <source>Up</source>
        <translation>向上</translation>
    </message>
    <message>
        <source>Down</source>
        <translation>向下</translation>
    </message>
    <message>
        <source>Refresh newly channels</source>
        <translation>刷新最新频道</translation>
    </message>
    <message>
        <source>Newly</source>
        <translation>最新</translation>
    </message>
    <message>
        <source>Copy to</source>
        <translation>复制到</translation>
    </message>
    <message>
        <source>My Favorite</source>
        <translation>我的收藏</translation>
    </message>
    <message>
        <source>Add category</source>
        <translation>添加分类</translation>
    </message>
    <message>
        <source>Edit category</source>
        <translation>编辑分类</translation>
    </message>
    <message>
        <source>Add channel</source>
        <translation>添加频道</translation>
    </message>
    <message>
        <source>Edit channel</source>
        <translation>编辑频道</translation>
    </message>
    <message>
        <source>Remove current category</source>
        <translation>删除当前分类</translation>
    </message>
    <message>
        <source>Do you sure to remove the current category?</source>
        <translation>真的删除当前分类？</translation>
    </message>
    <message>
        <source>Remove selected channels</source>
        <translation>删除选中的频道</translation>
    </message>
    <message>
        <source>Do you sure to remove the selected channels?</source>
        <translation>真的删除选中的频道？</translation>
    </message>
    <message>
        <source>Import from Address...</source>
        <translation>从网址导入...</translation>
    </message>
</context>
<context>
    <name>CStreamWatch</name>
    <message>
        <source>cannot connect</source>
        <translation>无法连接</translation>
    </message>
    <message>
        <source>not found</source>
        <translation>找不到该节目</translation>
    </message>
    <message>
        <source>the stream ended</source>
        <translation>节目流已结束</translation>
    </message>
    <message>
        <source>no picture for %1 s</source>
        <translation>%1 秒无画面</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>服务器无响应</translation>
    </message>
    <message>
        <source>cannot play this stream</source>
        <translation>无法播放此节目流</translation>
    </message>
    <message>
        <source>Connecting... %1%</source>
        <translation>正在连接... %1%</translation>
    </message>
    <message>
        <source>Connecting...</source>
        <translation>正在连接...</translation>
    </message>
    <message>
        <source>No signal: %1. Reconnecting (%2)...</source>
        <translation>无信号：%1。正在重新连接（%2）...</translation>
    </message>
    <message>
        <source>No signal: %1</source>
        <translation>无信号：%1</translation>
    </message>
</context>
<context>
    <name>ChannelSearchField</name>
    <message>
        <source>Search channels (Ctrl+F)</source>
        <translation>搜索频道 (Ctrl+F)</translation>
    </message>
</context>
<context>
    <name>GuideSourcesEditor</name>
    <message>
        <source>Programme guide</source>
        <translation>节目指南</translation>
    </message>
    <message>
        <source>Guide address (http, https or a file)</source>
        <translation>节目指南地址（http、https 或文件）</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>删除</translation>
    </message>
</context>
<context>
    <name>GuideText</name>
    <message>
        <source>Now: %1 (%2)</source>
        <translation>正在播出：%1（%2）</translation>
    </message>
    <message>
        <source>Next: %1</source>
        <translation>接下来：%1</translation>
    </message>
    <message>
        <source>Next: %1 (%2)</source>
        <translation>接下来：%1（%2）</translation>
    </message>
</context>
<context>
    <name>KeyboardZapper</name>
    <message>
        <source>&lt;p&gt;&lt;b&gt;Keys&lt;/b&gt;&lt;br&gt;Up, Down, Page Up, Page Down: previous or next channel&lt;br&gt;Digits: the channel of that number in the list&lt;br&gt;Enter: play the current channel&lt;br&gt;Space: play or stop&lt;br&gt;M: mute&lt;br&gt;F: full screen, Esc: leave it&lt;br&gt;Left, Right: volume&lt;br&gt;Ctrl+F: search the channel list&lt;/p&gt;</source>
        <translation>&lt;p&gt;&lt;b&gt;按键&lt;/b&gt;&lt;br&gt;上、下、Page Up、Page Down：上一个或下一个频道&lt;br&gt;数字：列表中该编号的频道&lt;br&gt;Enter：播放当前频道&lt;br&gt;空格：播放或停止&lt;br&gt;M：静音&lt;br&gt;F：全屏，Esc：退出全屏&lt;br&gt;左、右：音量&lt;br&gt;Ctrl+F：搜索频道列表&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>&lt;h2&gt;Mirel Player %1&lt;/h2&gt;&lt;br&gt;&lt;br&gt;Channel Version: %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</source>
        <translation>&lt;h2&gt;Mirel %1&lt;/h2&gt;&lt;br&gt;&lt;br&gt;频道版本: %2&lt;br&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>About Mirel Player</source>
        <translation>关于Mirel</translation>
    </message>
    <message>
        <source>Mirel Player</source>
        <translation>Mirel</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Fullscreen</source>
        <translation>全屏</translation>
    </message>
    <message>
        <source>Muted</source>
        <translation>静音</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>Options...</source>
        <translation>选项...</translation>
    </message>
    <message>
        <source>Set fullscreen</source>
        <translation>全屏</translation>
    </message>
    <message>
        <source>Volume: %1</source>
        <translation>音量: %1</translation>
    </message>
    <message>
        <source>Double-click a channel to play it</source>
        <translation>双击频道即可播放</translation>
    </message>
    <message>
        <source>The channel list from the service is larger than %1 MiB and was not taken; the channels shown are kept.</source>
        <translation>服务发送的频道列表大于 %1 MiB，未被采用；保留当前显示的频道。</translation>
    </message>
    <message>
        <source>The channel list from the service holds %1 channels, more than the %2 that can be taken. It was not taken; the channels shown are kept.</source>
        <translation>服务发送的频道列表有 %1 个频道，超过可接受的 %2 个。该列表未被采用；保留当前显示的频道。</translation>
    </message>
    <message>
        <source>Channel list</source>
        <translation>频道列表</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>&quot;%1&quot; was not played: its address uses &quot;%2&quot;, which only channels you add yourself may use. Channels from a playlist or the channel service play over http, https, rtsp, rtmp, rtmps, rtp, udp, mms, mmsh or srt.</source>
        <translation>“%1”未播放：其地址使用“%2”，只有您自己添加的频道才能使用。来自播放列表或频道服务的频道只能通过 http、https、rtsp、rtmp、rtmps、rtp、udp、mms、mmsh 或 srt 播放。</translation>
    </message>
</context>
<context>
    <name>PlaylistExport</name>
    <message>
        <source>The file &quot;%1&quot; cannot be written: %2</source>
        <translation>无法写入文件“%1”：%2</translation>
    </message>
</context>
<context>
    <name>PlaylistImport</name>
    <message>
        <source>&quot;%1&quot; is not an M3U playlist.</source>
        <translation>“%1”不是 M3U 播放列表。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; holds no channels.</source>
        <translation>“%1”中没有频道。</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; cannot be read: %2</source>
        <translation>无法读取文件“%1”：%2</translation>
    </message>
    <message>
        <source>it is a folder</source>
        <translation>这是一个文件夹</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; is larger than %2 MiB.</source>
        <translation>文件“%1”大于 %2 MiB。</translation>
    </message>
    <message>
        <source>Only http and https addresses can be imported.</source>
        <translation>只能导入 http 和 https 地址。</translation>
    </message>
    <message>
        <source>The playlist at &quot;%1&quot; is larger than %2 MiB.</source>
        <translation>位于“%1”的播放列表大于 %2 MiB。</translation>
    </message>
    <message>
        <source>The playlist at &quot;%1&quot; cannot be downloaded: %2</source>
        <translation>无法下载位于“%1”的播放列表：%2</translation>
    </message>
</context>
<context>
    <name>PlaylistTransfer</name>
    <message>
        <source>Import Channel List</source>
        <translation>导入频道列表</translation>
    </message>
    <message>
        <source>M3U playlists (*.m3u *.m3u8);;All files (*)</source>
        <translation>M3U 播放列表 (*.m3u *.m3u8);;所有文件 (*)</translation>
    </message>
    <message>
        <source>Import from Address</source>
        <translation>从网址导入</translation>
    </message>
    <message>
        <source>Address of an M3U playlist (http or https):</source>
        <translation>M3U 播放列表的地址（http 或 https）：</translation>
    </message>
    <message>
        <source>Importing channels...</source>
        <translation>正在导入频道...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Export Channel List</source>
        <translation>导出频道列表</translation>
    </message>
    <message>
        <source>Export the current category or every category?</source>
        <translation>导出当前分类还是所有分类？</translation>
    </message>
    <message>
        <source>Current Category</source>
        <translation>当前分类</translation>
    </message>
    <message>
        <source>All Categories</source>
        <translation>所有分类</translation>
    </message>
    <message>
        <source>Channels</source>
        <translation>频道</translation>
    </message>
    <message>
        <source>M3U8 playlists (*.m3u8);;M3U playlists (*.m3u)</source>
        <translation>M3U8 播放列表 (*.m3u8);;M3U 播放列表 (*.m3u)</translation>
    </message>
</context>
<context>
    <name>QVlcMenu</name>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>音频</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Fullscreen</source>
        <translation>全屏</translation>
    </message>
    <message>
        <source>Open from file...</source>
        <translation>找开文件...</translation>
    </message>
    <message>
        <source>Open subtitles...</source>
        <translation>打开字幕...</translation>
    </message>
    <message>
        <source>Options...</source>
        <translation>选项...</translation>
    </message>
    <message>
        <source>Playback speed</source>
        <translation>回放速度</translation>
    </message>
    <message>
        <source>Subtitles</source>
        <translation>字幕</translation>
    </message>
    <message>
        <source>Tracks</source>
        <translation>轨道</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>视频</translation>
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
        <translation>英文</translation>
    </message>
    <message>
        <source>Chinese</source>
        <translation>中文</translation>
    </message>
    <message>
        <source>Japanese</source>
        <translation>日文</translation>
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
        <translation>美国</translation>
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
