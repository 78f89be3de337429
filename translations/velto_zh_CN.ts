<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>TJobController</name>
    <message>
        <source>文件不存在</source>
        <translation>文件不存在</translation>
    </message>
    <message>
        <source>没有读取这个文件的权限</source>
        <translation>没有读取这个文件的权限</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>不是普通文件</translation>
    </message>
    <message>
        <source>文件是空的</source>
        <translation>文件是空的</translation>
    </message>
    <message>
        <source>不是可以转换的媒体文件</source>
        <translation>不是可以转换的媒体文件</translation>
    </message>
    <message>
        <source>文件已损坏或不完整</source>
        <translation>文件已损坏或不完整</translation>
    </message>
</context>
<context>
    <name>TJobListModel</name>
    <message>
        <source>源文件</source>
        <translation>源文件</translation>
    </message>
    <message>
        <source>总时间</source>
        <translation>总时间</translation>
    </message>
    <message>
        <source>文件大小</source>
        <translation>文件大小</translation>
    </message>
    <message>
        <source>输出文件</source>
        <translation>输出文件</translation>
    </message>
    <message>
        <source>转换进度</source>
        <translation>转换进度</translation>
    </message>
    <message>
        <source>当前时间</source>
        <translation>当前时间</translation>
    </message>
    <message>
        <source>输出大小</source>
        <translation>输出大小</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>状态</translation>
    </message>
</context>
<context>
    <name>TPowerOffCountdownBox</name>
    <message>
        <source>转换已全部完成，%1 秒后将关闭计算机。</source>
        <translation>转换已全部完成，%1 秒后将关闭计算机。</translation>
    </message>
    <message>
        <source>取消关机</source>
        <translation>取消关机</translation>
    </message>
</context>
<context>
    <name>TProfileNames</name>
    <message>
        <source>MP4 MPEG-4 Video (*.mp4)</source>
        <translation>MP4 MPEG-4 视频 (*.mp4)</translation>
    </message>
    <message>
        <source>iPod MPEG-4 Video (320x240, 4:3) - High Quality</source>
        <translation>iPod MPEG-4 视频 (320x240, 4:3) - 高质量</translation>
    </message>
    <message>
        <source>iPod MPEG-4 Video (320x180, 16:9) - High Quality</source>
        <translation>iPod MPEG-4 视频 (320x180, 16:9) - 高质量</translation>
    </message>
    <message>
        <source>iPod MPEG-4 Video (320x240, 4:3)</source>
        <translation>iPod MPEG-4 视频 (320x240, 4:3)</translation>
    </message>
    <message>
        <source>iPod MPEG-4 Video (320x180, 16:9)</source>
        <translation>iPod MPEG-4 视频 (320x180, 16:9)</translation>
    </message>
    <message>
        <source>iPod MPEG-4 Video (320x240, 4:3) - Low Quality, Less File Size</source>
        <translation>iPod MPEG-4 视频 (320x240, 4:3) - 低质量, 文件较小</translation>
    </message>
    <message>
        <source>iPod MPEG-4 Video (320x180, 16:9) - Low Quality, Less File Size</source>
        <translation>iPod MPEG-4 视频 (320x180, 16:9) - 低质量, 文件较小</translation>
    </message>
    <message>
        <source>PSP MPEG-4 Video (368x208)</source>
        <translation>PSP MPEG-4 视频 (368x208)</translation>
    </message>
    <message>
        <source>PSP MPEG-4 Video (368x208) - High Quality</source>
        <translation>PSP MPEG-4 视频 (368x208) - 高质量</translation>
    </message>
    <message>
        <source>PSP AVC Video (368x208)</source>
        <translation>PSP AVC 视频 (368x208)</translation>
    </message>
    <message>
        <source>MP4 MPEG-4 AVC Video (*.mp4)</source>
        <translation>MP4 MPEG-4 AVC 视频 (*.mp4)</translation>
    </message>
    <message>
        <source>DivX Video Format (*.avi)</source>
        <translation>DivX 视频格式 (*.avi)</translation>
    </message>
    <message>
        <source>XviD Video Format (*.avi)</source>
        <translation>XviD 视频格式 (*.avi)</translation>
    </message>
    <message>
        <source>Archos Video (*.avi)</source>
        <translation>Archos 视频 (*.avi)</translation>
    </message>
    <message>
        <source>Creative Zen Vision (*.avi)</source>
        <translation>创新 Zen Vision (*.avi)</translation>
    </message>
    <message>
        <source>iRiver PMP-100 (*.avi)</source>
        <translation>艾利和 iRiver PMP-100 (*.avi)</translation>
    </message>
    <message>
        <source>MPEG-1/VCD Video (*.mpg)</source>
        <translation>MPEG-1/VCD 视频 (*.mpg)</translation>
    </message>
    <message>
        <source>MPEG-2/SVCD/DVD Video (*.mpg)</source>
        <translation>MPEG-2/SVCD/DVD 视频 (*.mpg)</translation>
    </message>
    <message>
        <source>3GP Video for Mobile Phones (176x144) (*.3gp)</source>
        <translation>手机 3GP 视频 (176x144) (*.3gp)</translation>
    </message>
    <message>
        <source>3GP MPEG-4 Video (320x240) (*.3gp)</source>
        <translation>3GP MPEG-4 视频 (320x240) (*.3gp)</translation>
    </message>
    <message>
        <source>Flash Video (*.flv)</source>
        <translation>Flash 视频 (*.flv)</translation>
    </message>
    <message>
        <source>Windows Media Video (*.wmv)</source>
        <translation>Windows Media 视频 (*.wmv)</translation>
    </message>
    <message>
        <source>RealMedia Video (*.rm)</source>
        <translation>RealMedia 视频 (*.rm)</translation>
    </message>
    <message>
        <source>Phone / Tablet H.264 Video (480p) (*.mp4)</source>
        <translation>手机/平板 H.264 视频 (480p) (*.mp4)</translation>
    </message>
    <message>
        <source>Phone / Tablet H.264 Video (720p) (*.mp4)</source>
        <translation>手机/平板 H.264 视频 (720p) (*.mp4)</translation>
    </message>
    <message>
        <source>Phone / Tablet H.264 Video (1080p) (*.mp4)</source>
        <translation>手机/平板 H.264 视频 (1080p) (*.mp4)</translation>
    </message>
    <message>
        <source>Apple HEVC/H.265 Video (1080p) (*.mp4)</source>
        <translation>Apple HEVC/H.265 视频 (1080p) (*.mp4)</translation>
    </message>
    <message>
        <source>WebM VP9 Video for Browsers (720p) (*.webm)</source>
        <translation>浏览器用 WebM VP9 视频 (720p) (*.webm)</translation>
    </message>
    <message>
        <source>MP3 Audio (*.mp3)</source>
        <translation>MP3 音频 (*.mp3)</translation>
    </message>
    <message>
        <source>AAC Audio (*.m4a)</source>
        <translation>AAC 音频 (*.m4a)</translation>
    </message>
    <message>
        <source>FLAC Lossless Audio (*.flac)</source>
        <translation>FLAC 无损音频 (*.flac)</translation>
    </message>
    <message>
        <source>Ogg Vorbis Audio (*.oga)</source>
        <translation>Ogg Vorbis 音频 (*.oga)</translation>
    </message>
    <message>
        <source>手机和平板</source>
        <translation>手机和平板</translation>
    </message>
    <message>
        <source>Apple 设备</source>
        <translation>Apple 设备</translation>
    </message>
    <message>
        <source>PlayStation 和便携播放器</source>
        <translation>PlayStation 和便携播放器</translation>
    </message>
    <message>
        <source>老式手机 (3GP)</source>
        <translation>老式手机 (3GP)</translation>
    </message>
    <message>
        <source>AVI 播放器</source>
        <translation>AVI 播放器</translation>
    </message>
    <message>
        <source>光盘 (VCD, SVCD, DVD)</source>
        <translation>光盘 (VCD, SVCD, DVD)</translation>
    </message>
    <message>
        <source>网页和电脑</source>
        <translation>网页和电脑</translation>
    </message>
    <message>
        <source>仅音频</source>
        <translation>仅音频</translation>
    </message>
    <message>
        <source>其他</source>
        <translation>其他</translation>
    </message>
    <message>
        <source>Messenger H.264 Video, up to 16 MB (720p) (*.mp4)</source>
        <translation>聊天软件 H.264 视频，最大 16 MB (720p) (*.mp4)</translation>
    </message>
    <message>
        <source>Messenger H.264 Video, up to 64 MB (1080p) (*.mp4)</source>
        <translation>聊天软件 H.264 视频，最大 64 MB (1080p) (*.mp4)</translation>
    </message>
    <message>
        <source>E-mail H.264 Video, up to 10 MB (480p) (*.mp4)</source>
        <translation>电子邮件 H.264 视频，最大 10 MB (480p) (*.mp4)</translation>
    </message>
    <message>
        <source>E-mail H.264 Video, up to 25 MB (720p) (*.mp4)</source>
        <translation>电子邮件 H.264 视频，最大 25 MB (720p) (*.mp4)</translation>
    </message>
    <message>
        <source>聊天软件和电子邮件</source>
        <translation>聊天软件和电子邮件</translation>
    </message>
</context>
<context>
    <name>TQtFileChooser</name>
    <message>
        <source>AVI files (*.avi)</source>
        <translation>AVI 文件 (*.avi)</translation>
    </message>
    <message>
        <source>MPEG files (*.mpeg *.mpg *.mpm *.mpv *.mpa *.mod *.vob)</source>
        <translation>MPEG 文件 (*.mpeg *.mpg *.mpm *.mpv *.mpa *.mod *.vob)</translation>
    </message>
    <message>
        <source>Media Player files (*.wmv *.asf *.wma)</source>
        <translation>Media Player 文件 (*.wmv *.asf *.wma)</translation>
    </message>
    <message>
        <source>Real Media files (*.rm *.rmvb)</source>
        <translation>Real Media 文件 (*.rm *.rmvb)</translation>
    </message>
    <message>
        <source>Quick Time files (*.qt *.mov)</source>
        <translation>QuickTime 文件 (*.qt *.mov)</translation>
    </message>
    <message>
        <source>MPEG-4 files (*.mp4 *.3gp *.3g2 *.m4v)</source>
        <translation>MPEG-4 文件 (*.mp4 *.3gp *.3g2 *.m4v)</translation>
    </message>
    <message>
        <source>DVD-MPEG2 PS files (*.vob)</source>
        <translation>DVD-MPEG2 PS 文件 (*.vob)</translation>
    </message>
    <message>
        <source>Microsoft Recorded TV Show (*.dvr-ms)</source>
        <translation>Microsoft 录制的电视节目 (*.dvr-ms)</translation>
    </message>
    <message>
        <source>FLV Flash files (*.flv)</source>
        <translation>FLV Flash 文件 (*.flv)</translation>
    </message>
    <message>
        <source>SWF Flash files (*.swf)</source>
        <translation>SWF Flash 文件 (*.swf)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message>
        <source>请选择需要转换的文件</source>
        <translation>请选择需要转换的文件</translation>
    </message>
    <message>
        <source>Media files (*.avi *.mpeg *.mpg *.wmv *.qt *.mpm *.mpv *.mpa *.mov *.vob *.mp4 *.m4v *.3gp *.3g2 *.mod *.asf *.dv *.flv *.dvr-ms *.swf *.mkv *.webm *.ts *.m2ts *.mts *.ogv *.rm *.rmvb *.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)</source>
        <translation>媒体文件 (*.avi *.mpeg *.mpg *.wmv *.qt *.mpm *.mpv *.mpa *.mov *.vob *.mp4 *.m4v *.3gp *.3g2 *.mod *.asf *.dv *.flv *.dvr-ms *.swf *.mkv *.webm *.ts *.m2ts *.mts *.ogv *.rm *.rmvb *.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)</translation>
    </message>
    <message>
        <source>Matroska and WebM files (*.mkv *.webm)</source>
        <translation>Matroska 和 WebM 文件 (*.mkv *.webm)</translation>
    </message>
    <message>
        <source>MPEG transport streams (*.ts *.m2ts *.mts)</source>
        <translation>MPEG 传输流 (*.ts *.m2ts *.mts)</translation>
    </message>
    <message>
        <source>Audio files (*.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)</source>
        <translation>音频文件 (*.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)</translation>
    </message>
    <message>
        <source>请选择需要转换的文件夹</source>
        <translation>请选择需要转换的文件夹</translation>
    </message>
</context>
<context>
    <name>TfrmConvertOptions</name>
    <message>
        <source>单声道</source>
        <translation>单声道</translation>
    </message>
    <message>
        <source>立体声</source>
        <translation>立体声</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自动</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>Velto 3GP Converter</source>
        <translation>Velto 3GP 转换器</translation>
    </message>
</context>
<context>
    <name>velto::TBatchDesktop</name>
    <message>
        <source>正在转换视频文件</source>
        <translation>正在转换视频文件</translation>
    </message>
    <message>
        <source>%1 个文件转换完成, %2 个失败</source>
        <translation>%1 个文件转换完成, %2 个失败</translation>
    </message>
    <message>
        <source>%1 个文件转换完成</source>
        <translation>%1 个文件转换完成</translation>
    </message>
    <message>
        <source>, %1 个已停止</source>
        <translation>, %1 个已停止</translation>
    </message>
    <message>
        <source>打开输出文件夹</source>
        <translation>打开输出文件夹</translation>
    </message>
</context>
<context>
    <name>velto::TJobController</name>
    <message>
        <source>无法载入媒体库:
%1</source>
        <translation>无法载入媒体库:
%1</translation>
    </message>
    <message>
        <source>文件不存在</source>
        <translation>文件不存在</translation>
    </message>
    <message>
        <source>文件夹中没有可转换的媒体文件</source>
        <translation>文件夹中没有可转换的媒体文件</translation>
    </message>
    <message>
        <source>无法添加文件 %1</source>
        <translation>无法添加文件 %1</translation>
    </message>
    <message>
        <source>以下 %1 个文件无法添加:
%2</source>
        <translation>以下 %1 个文件无法添加:
%2</translation>
    </message>
    <message>
        <source>输出目录不存在或不能写入: %1</source>
        <translation>输出目录不存在或不能写入: %1</translation>
    </message>
    <message>
        <source>程序在转换时退出, 未完成的输出已删除</source>
        <translation>程序在转换时退出, 未完成的输出已删除</translation>
    </message>
    <message>
        <source>无法读取保存的设置</source>
        <translation>无法读取保存的设置</translation>
    </message>
    <message>
        <source>%1: 约需 %2, 仅剩 %3</source>
        <translation>%1: 约需 %2, 仅剩 %3</translation>
    </message>
    <message>
        <source>输出文件夹的剩余空间可能不够:
%1

仍然开始转换吗?</source>
        <translation>输出文件夹的剩余空间可能不够:
%1

仍然开始转换吗?</translation>
    </message>
    <message>
        <source>%1 已经开始转换, 格式没有改变。</source>
        <translation>%1 已经开始转换, 格式没有改变。</translation>
    </message>
    <message>
        <source>输出文件夹比预计的更快被写满:
%1

转换已暂停: 请腾出空间后点击“继续”。</source>
        <translation>输出文件夹比预计的更快被写满:
%1

转换已暂停: 请腾出空间后点击“继续”。</translation>
    </message>
</context>
<context>
    <name>velto::TJobListModel</name>
    <message>
        <source>等待转换</source>
        <translation>等待转换</translation>
    </message>
    <message>
        <source>正在转换</source>
        <translation>正在转换</translation>
    </message>
    <message>
        <source>已暂停</source>
        <translation>已暂停</translation>
    </message>
    <message>
        <source>已完成</source>
        <translation>已完成</translation>
    </message>
    <message>
        <source>不完整</source>
        <translation>不完整</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>已停止</translation>
    </message>
    <message>
        <source>源文件: %1
输出文件: %2</source>
        <translation>源文件: %1
输出文件: %2</translation>
    </message>
    <message>
        <source> · %1 fps</source>
        <translation> · %1 fps</translation>
    </message>
    <message>
        <source> · 剩余 %1</source>
        <translation> · 剩余 %1</translation>
    </message>
    <message>
        <source>未完成的输出保存为: %1</source>
        <translation>未完成的输出保存为: %1</translation>
    </message>
</context>
<context>
    <name>velto::TJobListView</name>
    <message>
        <source>点击“添加”或把文件、文件夹拖到这里，开始添加需要转换的文件。</source>
        <translation>点击“添加”或把文件、文件夹拖到这里，开始添加需要转换的文件。</translation>
    </message>
</context>
<context>
    <name>velto::TfrmAbout</name>
    <message>
        <source>关于%1...</source>
        <translation>关于%1...</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>关于 %1</translation>
    </message>
    <message>
        <source>3GP 视频转换器。版权所有 © Velto Software。</source>
        <translation>3GP 视频转换器。版权所有 © Velto Software。</translation>
    </message>
    <message>
        <source>访问我们的网站</source>
        <translation>访问我们的网站</translation>
    </message>
    <message>
        <source>通过邮件联系我们</source>
        <translation>通过邮件联系我们</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>velto::TfrmConvertOptions</name>
    <message>
        <source>请选择您要输出的格式</source>
        <translation>请选择您要输出的格式</translation>
    </message>
    <message>
        <source>输出格式(&amp;O)</source>
        <translation>输出格式(&amp;O)</translation>
    </message>
    <message>
        <source>视频相关(&amp;V)</source>
        <translation>视频相关(&amp;V)</translation>
    </message>
    <message>
        <source>恢复默认参数(&amp;R)</source>
        <translation>恢复默认参数(&amp;R)</translation>
    </message>
    <message>
        <source>帧尺寸:</source>
        <translation>帧尺寸:</translation>
    </message>
    <message>
        <source>比特率(&amp;B):</source>
        <translation>比特率(&amp;B):</translation>
    </message>
    <message>
        <source>保持画面比例(&amp;K)</source>
        <translation>保持画面比例(&amp;K)</translation>
    </message>
    <message>
        <source>帧率(&amp;F):</source>
        <translation>帧率(&amp;F):</translation>
    </message>
    <message>
        <source>音频相关(&amp;A)</source>
        <translation>音频相关(&amp;A)</translation>
    </message>
    <message>
        <source>恢复默认参数(&amp;D)</source>
        <translation>恢复默认参数(&amp;D)</translation>
    </message>
    <message>
        <source>比特率(&amp;r):</source>
        <translation>比特率(&amp;r):</translation>
    </message>
    <message>
        <source>采样率:</source>
        <translation>采样率:</translation>
    </message>
    <message>
        <source>声道:</source>
        <translation>声道:</translation>
    </message>
    <message>
        <source>输出相关(&amp;F)</source>
        <translation>输出相关(&amp;F)</translation>
    </message>
    <message>
        <source>转换到与源文件相同的文件夹(&amp;C)</source>
        <translation>转换到与源文件相同的文件夹(&amp;C)</translation>
    </message>
    <message>
        <source>输出目录:</source>
        <translation>输出目录:</translation>
    </message>
    <message>
        <source>覆盖已经存在的文件</source>
        <translation>覆盖已经存在的文件</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>请选择输出目录</source>
        <translation>请选择输出目录</translation>
    </message>
    <message>
        <source>输出目录不能定位在光驱设备。</source>
        <translation>输出目录不能定位在光驱设备。</translation>
    </message>
    <message>
        <source>Input folder is located in CD-ROM, please select output folder.</source>
        <translation>源文件位于光驱中，请选择输出目录。</translation>
    </message>
    <message numerus="yes">
        <source>为 %n 个文件选择输出格式:</source>
        <translation><numerusform>为 %n 个文件选择输出格式:</numerusform></translation>
    </message>
    <message>
        <source>筛选格式</source>
        <translation>筛选格式</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>请输入输出目录。</source>
        <translation>请输入输出目录。</translation>
    </message>
    <message>
        <source>输出目录不存在或不能写入: %1</source>
        <translation>输出目录不存在或不能写入: %1</translation>
    </message>
    <message>
        <source>音轨(&amp;T):</source>
        <translation>音轨(&amp;T):</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>不要字幕</source>
        <translation>不要字幕</translation>
    </message>
    <message>
        <source>烧录到画面</source>
        <translation>烧录到画面</translation>
    </message>
    <message>
        <source>自动: MP4、M4V、MOV 和 WebM 输出保留文字字幕, 其他格式不带字幕</source>
        <translation>自动: MP4、M4V、MOV 和 WebM 输出保留文字字幕, 其他格式不带字幕</translation>
    </message>
    <message>
        <source>字幕(&amp;S):</source>
        <translation>字幕(&amp;S):</translation>
    </message>
    <message>
        <source>未标明语言</source>
        <translation>未标明语言</translation>
    </message>
    <message numerus="yes">
        <source>%1: %2, %3, %n 声道</source>
        <translation><numerusform>%1: %2, %3, %n 声道</numerusform></translation>
    </message>
    <message>
        <source> (默认)</source>
        <translation> (默认)</translation>
    </message>
    <message>
        <source>自动(按源文件)</source>
        <translation>自动(按源文件)</translation>
    </message>
    <message>
        <source>不旋转</source>
        <translation>不旋转</translation>
    </message>
    <message>
        <source>顺时针 90°</source>
        <translation>顺时针 90°</translation>
    </message>
    <message>
        <source>180°</source>
        <translation>180°</translation>
    </message>
    <message>
        <source>顺时针 270°</source>
        <translation>顺时针 270°</translation>
    </message>
    <message>
        <source>画面旋转:</source>
        <translation>画面旋转:</translation>
    </message>
    <message>
        <source>不限制</source>
        <translation>不限制</translation>
    </message>
    <message>
        <source>输出文件不超过这个大小(MB), 例如电子邮件 10 或 25, 聊天软件 16 或 64</source>
        <translation>输出文件不超过这个大小(MB), 例如电子邮件 10 或 25, 聊天软件 16 或 64</translation>
    </message>
    <message>
        <source>限制大小:</source>
        <translation>限制大小:</translation>
    </message>
</context>
<context>
    <name>velto::TfrmMain</name>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <source>增加需要转换的文件</source>
        <translation>增加需要转换的文件</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>移除</translation>
    </message>
    <message>
        <source>移除当前选择的文件</source>
        <translation>移除当前选择的文件</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清除</translation>
    </message>
    <message>
        <source>从列表中清除所有文件</source>
        <translation>从列表中清除所有文件</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>开始转换</source>
        <translation>开始转换</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>停止转换</source>
        <translation>停止转换</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>继续</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>继续</translation>
    </message>
    <message>
        <source>重新转换</source>
        <translation>重新转换</translation>
    </message>
    <message>
        <source>把失败或停止的文件放回转换队列</source>
        <translation>把失败或停止的文件放回转换队列</translation>
    </message>
    <message>
        <source>打开输出文件夹</source>
        <translation>打开输出文件夹</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>预览窗口</source>
        <translation>预览窗口</translation>
    </message>
    <message>
        <source>转换时在小窗口中显示画面</source>
        <translation>转换时在小窗口中显示画面</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>选项</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>联系我们...</source>
        <translation>联系我们...</translation>
    </message>
    <message>
        <source>License...</source>
        <translation>许可协议...</translation>
    </message>
    <message>
        <source>FAQ...</source>
        <translation>常见问题...</translation>
    </message>
    <message>
        <source>Visit Homepage</source>
        <translation>访问首页</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>添加文件</source>
        <translation>添加文件</translation>
    </message>
    <message>
        <source>移除文件</source>
        <translation>移除文件</translation>
    </message>
    <message>
        <source>清除转换列表</source>
        <translation>清除转换列表</translation>
    </message>
    <message>
        <source>转换(&amp;C)</source>
        <translation>转换(&amp;C)</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>选项(&amp;O)</source>
        <translation>选项(&amp;O)</translation>
    </message>
    <message>
        <source>查看(&amp;V)</source>
        <translation>查看(&amp;V)</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>工具栏</source>
        <translation>工具栏</translation>
    </message>
    <message>
        <source>日志</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>日志(&amp;L)</source>
        <translation>日志(&amp;L)</translation>
    </message>
    <message>
        <source>访问【%1】首页</source>
        <translation>访问【%1】首页</translation>
    </message>
    <message>
        <source>关于 %1</source>
        <translation>关于 %1</translation>
    </message>
    <message numerus="yes">
        <source>%n 个文件</source>
        <translation><numerusform>%n 个文件</numerusform></translation>
    </message>
    <message>
        <source>总进度 %1%   已用时间 %2   剩余时间 %3   速度 %4</source>
        <translation>总进度 %1%   已用时间 %2   剩余时间 %3   速度 %4</translation>
    </message>
    <message>
        <source>正在转换文件。要停止转换并退出吗？</source>
        <translation>正在转换文件。要停止转换并退出吗？</translation>
    </message>
    <message>
        <source>添加文件夹...</source>
        <translation>添加文件夹...</translation>
    </message>
    <message>
        <source>添加一个文件夹及其子文件夹中的全部媒体文件</source>
        <translation>添加一个文件夹及其子文件夹中的全部媒体文件</translation>
    </message>
    <message>
        <source>上移</source>
        <translation>上移</translation>
    </message>
    <message>
        <source>让选中的等待文件提前转换</source>
        <translation>让选中的等待文件提前转换</translation>
    </message>
    <message>
        <source>下移</source>
        <translation>下移</translation>
    </message>
    <message>
        <source>让选中的等待文件推后转换</source>
        <translation>让选中的等待文件推后转换</translation>
    </message>
    <message>
        <source>修改格式...</source>
        <translation>修改格式...</translation>
    </message>
    <message>
        <source>重新选择等待中文件的输出格式</source>
        <translation>重新选择等待中文件的输出格式</translation>
    </message>
    <message>
        <source>当前任务完成后停止</source>
        <translation>当前任务完成后停止</translation>
    </message>
    <message>
        <source>不再开始新的任务, 正在转换的完成后停止</source>
        <translation>不再开始新的任务, 正在转换的完成后停止</translation>
    </message>
</context>
<context>
    <name>velto::TfrmOptions</name>
    <message>
        <source>选项</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>转换参数</source>
        <translation>转换参数</translation>
    </message>
    <message>
        <source>当中断转换时，请删除输出文件</source>
        <translation>当中断转换时，请删除输出文件</translation>
    </message>
    <message>
        <source>当转换完成后，请删除源文件</source>
        <translation>当转换完成后，请删除源文件</translation>
    </message>
    <message>
        <source>当转换完成后，请打开目标文件所在的文件夹</source>
        <translation>当转换完成后，请打开目标文件所在的文件夹</translation>
    </message>
    <message>
        <source>当所有转换任务完成后，请自动关闭计算机</source>
        <translation>当所有转换任务完成后，请自动关闭计算机</translation>
    </message>
    <message>
        <source>跟随系统</source>
        <translation>跟随系统</translation>
    </message>
    <message>
        <source>界面语言(&amp;L):</source>
        <translation>界面语言(&amp;L):</translation>
    </message>
    <message>
        <source>(重新启动后生效)</source>
        <translation>(重新启动后生效)</translation>
    </message>
    <message>
        <source>高级</source>
        <translation>高级</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>应用(&amp;A)</source>
        <translation>应用(&amp;A)</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>同时转换的任务数(&amp;J):</source>
        <translation>同时转换的任务数(&amp;J):</translation>
    </message>
    <message>
        <source>转换完成后，源文件将被移到回收站。确定吗?</source>
        <translation>转换完成后，源文件将被移到回收站。确定吗?</translation>
    </message>
    <message>
        <source>无</source>
        <translation>无</translation>
    </message>
    <message>
        <source>首选音轨语言(&amp;P):</source>
        <translation>首选音轨语言(&amp;P):</translation>
    </message>
    <message>
        <source>(ISO 639 代码, 如 eng、jpn、chi)</source>
        <translation>(ISO 639 代码, 如 eng、jpn、chi)</translation>
    </message>
    <message>
        <source>输出文件保留源文件的修改日期</source>
        <translation>输出文件保留源文件的修改日期</translation>
    </message>
</context>
</TS>
