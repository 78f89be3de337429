<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>TJobController</name>
    <message>
        <source>文件不存在</source>
        <translation>the file does not exist</translation>
    </message>
    <message>
        <source>没有读取这个文件的权限</source>
        <translation>Permission denied: the file cannot be read</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>Not a regular file</translation>
    </message>
    <message>
        <source>文件是空的</source>
        <translation>The file is empty</translation>
    </message>
    <message>
        <source>不是可以转换的媒体文件</source>
        <translation>Not a media file the program can convert</translation>
    </message>
    <message>
        <source>文件已损坏或不完整</source>
        <translation>The file is damaged or incomplete</translation>
    </message>
</context>
<context>
    <name>TJobListModel</name>
    <message>
        <source>源文件</source>
        <translation>Source file</translation>
    </message>
    <message>
        <source>总时间</source>
        <translation>Length</translation>
    </message>
    <message>
        <source>文件大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>输出文件</source>
        <translation>Output file</translation>
    </message>
    <message>
        <source>转换进度</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>当前时间</source>
        <translation>Converted</translation>
    </message>
    <message>
        <source>输出大小</source>
        <translation>Output size</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
</context>
<context>
    <name>TPowerOffCountdownBox</name>
    <message>
        <source>转换已全部完成，%1 秒后将关闭计算机。</source>
        <translation>All conversions are done. The computer will power off in %1 seconds.</translation>
    </message>
    <message>
        <source>取消关机</source>
        <translation>Cancel power-off</translation>
    </message>
</context>
<context>
    <name>TProfileNames</name>
    <message>
        <source>MP4 MPEG-4 Video (*.mp4)</source>
        <translation>MP4 MPEG-4 Video (*.mp4)</translation>
    </message>
    <message>
        <source>iPod MPEG-4 Video (320x240, 4:3) - High Quality</source>
        <translation>iPod MPEG-4 Video (320x240, 4:3) - High Quality</translation>
    </message>
    <message>
        <source>iPod MPEG-4 Video (320x180, 16:9) - High Quality</source>
        <translation>iPod MPEG-4 Video (320x180, 16:9) - High Quality</translation>
    </message>
    <message>
        <source>iPod MPEG-4 Video (320x240, 4:3)</source>
        <translation>iPod MPEG-4 Video (320x240, 4:3)</translation>
    </message>
    <message>
        <source>iPod MPEG-4 Video (320x180, 16:9)</source>
        <translation>iPod MPEG-4 Video (320x180, 16:9)</translation>
    </message>
    <message>
        <source>iPod MPEG-4 Video (320x240, 4:3) - Low Quality, Less File Size</source>
        <translation>iPod MPEG-4 Video (320x240, 4:3) - Low Quality, Less File Size</translation>
    </message>
    <message>
        <source>iPod MPEG-4 Video (320x180, 16:9) - Low Quality, Less File Size</source>
        <translation>iPod MPEG-4 Video (320x180, 16:9) - Low Quality, Less File Size</translation>
    </message>
    <message>
        <source>PSP MPEG-4 Video (368x208)</source>
        <translation>PSP MPEG-4 Video (368x208)</translation>
    </message>
    <message>
        <source>PSP MPEG-4 Video (368x208) - High Quality</source>
        <translation>PSP MPEG-4 Video (368x208) - High Quality</translation>
    </message>
    <message>
        <source>PSP AVC Video (368x208)</source>
        <translation>PSP AVC Video (368x208)</translation>
    </message>
    <message>
        <source>MP4 MPEG-4 AVC Video (*.mp4)</source>
        <translation>MP4 MPEG-4 AVC Video (*.mp4)</translation>
    </message>
    <message>
        <source>DivX Video Format (*.avi)</source>
        <translation>DivX Video Format (*.avi)</translation>
    </message>
    <message>
        <source>XviD Video Format (*.avi)</source>
        <translation>XviD Video Format (*.avi)</translation>
    </message>
    <message>
        <source>Archos Video (*.avi)</source>
        <translation>Archos Video (*.avi)</translation>
    </message>
    <message>
        <source>Creative Zen Vision (*.avi)</source>
        <translation>Creative Zen Vision (*.avi)</translation>
    </message>
    <message>
        <source>iRiver PMP-100 (*.avi)</source>
        <translation>iRiver PMP-100 (*.avi)</translation>
    </message>
    <message>
        <source>MPEG-1/VCD Video (*.mpg)</source>
        <translation>MPEG-1/VCD Video (*.mpg)</translation>
    </message>
    <message>
        <source>MPEG-2/SVCD/DVD Video (*.mpg)</source>
        <translation>MPEG-2/SVCD/DVD Video (*.mpg)</translation>
    </message>
    <message>
        <source>3GP Video for Mobile Phones (176x144) (*.3gp)</source>
        <translation>3GP Video for Mobile Phones (176x144) (*.3gp)</translation>
    </message>
    <message>
        <source>3GP MPEG-4 Video (320x240) (*.3gp)</source>
        <translation>3GP MPEG-4 Video (320x240) (*.3gp)</translation>
    </message>
    <message>
        <source>Flash Video (*.flv)</source>
        <translation>Flash Video (*.flv)</translation>
    </message>
    <message>
        <source>Windows Media Video (*.wmv)</source>
        <translation>Windows Media Video (*.wmv)</translation>
    </message>
    <message>
        <source>RealMedia Video (*.rm)</source>
        <translation>RealMedia Video (*.rm)</translation>
    </message>
    <message>
        <source>Phone / Tablet H.264 Video (480p) (*.mp4)</source>
        <translation>Phone / Tablet H.264 Video (480p) (*.mp4)</translation>
    </message>
    <message>
        <source>Phone / Tablet H.264 Video (720p) (*.mp4)</source>
        <translation>Phone / Tablet H.264 Video (720p) (*.mp4)</translation>
    </message>
    <message>
        <source>Phone / Tablet H.264 Video (1080p) (*.mp4)</source>
        <translation>Phone / Tablet H.264 Video (1080p) (*.mp4)</translation>
    </message>
    <message>
        <source>Apple HEVC/H.265 Video (1080p) (*.mp4)</source>
        <translation>Apple HEVC/H.265 Video (1080p) (*.mp4)</translation>
    </message>
    <message>
        <source>WebM VP9 Video for Browsers (720p) (*.webm)</source>
        <translation>WebM VP9 Video for Browsers (720p) (*.webm)</translation>
    </message>
    <message>
        <source>MP3 Audio (*.mp3)</source>
        <translation>MP3 Audio (*.mp3)</translation>
    </message>
    <message>
        <source>AAC Audio (*.m4a)</source>
        <translation>AAC Audio (*.m4a)</translation>
    </message>
    <message>
        <source>FLAC Lossless Audio (*.flac)</source>
        <translation>FLAC Lossless Audio (*.flac)</translation>
    </message>
    <message>
        <source>Ogg Vorbis Audio (*.oga)</source>
        <translation>Ogg Vorbis Audio (*.oga)</translation>
    </message>
    <message>
        <source>手机和平板</source>
        <translation>Phones and tablets</translation>
    </message>
    <message>
        <source>Apple 设备</source>
        <translation>Apple</translation>
    </message>
    <message>
        <source>PlayStation 和便携播放器</source>
        <translation>PlayStation and portable players</translation>
    </message>
    <message>
        <source>老式手机 (3GP)</source>
        <translation>Old phones (3GP)</translation>
    </message>
    <message>
        <source>AVI 播放器</source>
        <translation>AVI players</translation>
    </message>
    <message>
        <source>光盘 (VCD, SVCD, DVD)</source>
        <translation>Discs (VCD, SVCD, DVD)</translation>
    </message>
    <message>
        <source>网页和电脑</source>
        <translation>Web and computers</translation>
    </message>
    <message>
        <source>仅音频</source>
        <translation>Audio only</translation>
    </message>
    <message>
        <source>其他</source>
        <translation>Other</translation>
    </message>
    <message>
        <source>Messenger H.264 Video, up to 16 MB (720p) (*.mp4)</source>
        <translation>Messenger H.264 Video, up to 16 MB (720p) (*.mp4)</translation>
    </message>
    <message>
        <source>Messenger H.264 Video, up to 64 MB (1080p) (*.mp4)</source>
        <translation>Messenger H.264 Video, up to 64 MB (1080p) (*.mp4)</translation>
    </message>
    <message>
        <source>E-mail H.264 Video, up to 10 MB (480p) (*.mp4)</source>
        <translation>E-mail H.264 Video, up to 10 MB (480p) (*.mp4)</translation>
    </message>
    <message>
        <source>E-mail H.264 Video, up to 25 MB (720p) (*.mp4)</source>
        <translation>E-mail H.264 Video, up to 25 MB (720p) (*.mp4)</translation>
    </message>
    <message>
        <source>聊天软件和电子邮件</source>
        <translation>Messengers and e-mail</translation>
    </message>
</context>
<context>
    <name>TQtFileChooser</name>
    <message>
        <source>AVI files (*.avi)</source>
        <translation>AVI files (*.avi)</translation>
    </message>
    <message>
        <source>MPEG files (*.mpeg *.mpg *.mpm *.mpv *.mpa *.mod *.vob)</source>
        <translation>MPEG files (*.mpeg *.mpg *.mpm *.mpv *.mpa *.mod *.vob)</translation>
    </message>
    <message>
        <source>Media Player files (*.wmv *.asf *.wma)</source>
        <translation>Media Player files (*.wmv *.asf *.wma)</translation>
    </message>
    <message>
        <source>Real Media files (*.rm *.rmvb)</source>
        <translation>Real Media files (*.rm *.rmvb)</translation>
    </message>
    <message>
        <source>Quick Time files (*.qt *.mov)</source>
        <translation>Quick Time files (*.qt *.mov)</translation>
    </message>
    <message>
        <source>MPEG-4 files (*.mp4 *.3gp *.3g2 *.m4v)</source>
        <translation>MPEG-4 files (*.mp4 *.3gp *.3g2 *.m4v)</translation>
    </message>
    <message>
        <source>DVD-MPEG2 PS files (*.vob)</source>
        <translation>DVD-MPEG2 PS files (*.vob)</translation>
    </message>
    <message>
        <source>Microsoft Recorded TV Show (*.dvr-ms)</source>
        <translation>Microsoft Recorded TV Show (*.dvr-ms)</translation>
    </message>
    <message>
        <source>FLV Flash files (*.flv)</source>
        <translation>FLV Flash files (*.flv)</translation>
    </message>
    <message>
        <source>SWF Flash files (*.swf)</source>
        <translation>SWF Flash files (*.swf)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>请选择需要转换的文件</source>
        <translation>Choose the files to convert</translation>
    </message>
    <message>
        <source>Media files (*.avi *.mpeg *.mpg *.wmv *.qt *.mpm *.mpv *.mpa *.mov *.vob *.mp4 *.m4v *.3gp *.3g2 *.mod *.asf *.dv *.flv *.dvr-ms *.swf *.mkv *.webm *.ts *.m2ts *.mts *.ogv *.rm *.rmvb *.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)</source>
        <translation>Media files (*.avi *.mpeg *.mpg *.wmv *.qt *.mpm *.mpv *.mpa *.mov *.vob *.mp4 *.m4v *.3gp *.3g2 *.mod *.asf *.dv *.flv *.dvr-ms *.swf *.mkv *.webm *.ts *.m2ts *.mts *.ogv *.rm *.rmvb *.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)</translation>
    </message>
    <message>
        <source>Matroska and WebM files (*.mkv *.webm)</source>
        <translation>Matroska and WebM files (*.mkv *.webm)</translation>
    </message>
    <message>
        <source>MPEG transport streams (*.ts *.m2ts *.mts)</source>
        <translation>MPEG transport streams (*.ts *.m2ts *.mts)</translation>
    </message>
    <message>
        <source>Audio files (*.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)</source>
        <translation>Audio files (*.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)</translation>
    </message>
    <message>
        <source>请选择需要转换的文件夹</source>
        <translation>Choose the folder to convert</translation>
    </message>
</context>
<context>
    <name>TfrmConvertOptions</name>
    <message>
        <source>单声道</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>立体声</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>Velto 3GP Converter</source>
        <translation>Velto 3GP Converter</translation>
    </message>
</context>
<context>
    <name>velto::TBatchDesktop</name>
    <message>
        <source>正在转换视频文件</source>
        <translation>Converting video files</translation>
    </message>
    <message>
        <source>%1 个文件转换完成, %2 个失败</source>
        <translation>%1 files converted, %2 failed</translation>
    </message>
    <message>
        <source>%1 个文件转换完成</source>
        <translation>%1 files converted</translation>
    </message>
    <message>
        <source>, %1 个已停止</source>
        <translation>, %1 stopped</translation>
    </message>
    <message>
        <source>打开输出文件夹</source>
        <translation>Open output folder</translation>
    </message>
</context>
<context>
    <name>velto::TJobController</name>
    <message>
        <source>无法载入媒体库:
%1</source>
        <translation>The media libraries could not be loaded:
%1</translation>
    </message>
    <message>
        <source>文件不存在</source>
        <translation>the file does not exist</translation>
    </message>
    <message>
        <source>文件夹中没有可转换的媒体文件</source>
        <translation>the folder holds no media files to convert</translation>
    </message>
    <message>
        <source>无法添加文件 %1</source>
        <translation>Could not add the file %1</translation>
    </message>
    <message>
        <source>以下 %1 个文件无法添加:
%2</source>
        <translation>These %1 files could not be added:
%2</translation>
    </message>
    <message>
        <source>输出目录不存在或不能写入: %1</source>
        <translation>the output folder does not exist or cannot be written: %1</translation>
    </message>
    <message>
        <source>程序在转换时退出, 未完成的输出已删除</source>
        <translation>The program ended while converting; the unfinished output was removed</translation>
    </message>
    <message>
        <source>无法读取保存的设置</source>
        <translation>The saved settings of this job cannot be read</translation>
    </message>
    <message>
        <source>%1: 约需 %2, 仅剩 %3</source>
        <translation>%1: needs about %2, %3 free</translation>
    </message>
    <message>
        <source>输出文件夹的剩余空间可能不够:
%1

仍然开始转换吗?</source>
        <translation>The output folders may not have room enough:
%1

Start converting anyway?</translation>
    </message>
    <message>
        <source>%1 已经开始转换, 格式没有改变。</source>
        <translation>%1 has started converting; its format was not changed.</translation>
    </message>
    <message>
        <source>输出文件夹比预计的更快被写满:
%1

转换已暂停: 请腾出空间后点击“继续”。</source>
        <translation>An output folder is filling faster than forecast:
%1

The conversion is paused: make room, then press "Resume".</translation>
    </message>
</context>
<context>
    <name>velto::TJobListModel</name>
    <message>
        <source>等待转换</source>
        <translation>Queued</translation>
    </message>
    <message>
        <source>正在转换</source>
        <translation>Converting</translation>
    </message>
    <message>
        <source>已暂停</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>已完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>不完整</source>
        <translation>Incomplete</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>源文件: %1
输出文件: %2</source>
        <translation>Source: %1
Output: %2</translation>
    </message>
    <message>
        <source> · %1 fps</source>
        <translation> · %1 fps</translation>
    </message>
    <message>
        <source> · 剩余 %1</source>
        <translation> · %1 left</translation>
    </message>
    <message>
        <source>未完成的输出保存为: %1</source>
        <translation>Unfinished output kept as: %1</translation>
    </message>
</context>
<context>
    <name>velto::TJobListView</name>
    <message>
        <source>点击“添加”或把文件、文件夹拖到这里，开始添加需要转换的文件。</source>
        <translation>Click “Add” or drop files and folders here to add the files to convert.</translation>
    </message>
</context>
<context>
    <name>velto::TfrmAbout</name>
    <message>
        <source>关于%1...</source>
        <translation>About %1...</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>About %1</translation>
    </message>
    <message>
        <source>3GP 视频转换器。版权所有 © Velto Software。</source>
        <translation>3GP video converter. Copyright © Velto Software.</translation>
    </message>
    <message>
        <source>访问我们的网站</source>
        <translation>Visit our web site</translation>
    </message>
    <message>
        <source>通过邮件联系我们</source>
        <translation>Contact us by mail</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>velto::TfrmConvertOptions</name>
    <message>
        <source>请选择您要输出的格式</source>
        <translation>Choose the output format</translation>
    </message>
    <message>
        <source>输出格式(&amp;O)</source>
        <translation>&amp;Output format</translation>
    </message>
    <message>
        <source>视频相关(&amp;V)</source>
        <translation>&amp;Video</translation>
    </message>
    <message>
        <source>恢复默认参数(&amp;R)</source>
        <translation>&amp;Restore defaults</translation>
    </message>
    <message>
        <source>帧尺寸:</source>
        <translation>Frame size:</translation>
    </message>
    <message>
        <source>比特率(&amp;B):</source>
        <translation>&amp;Bit rate:</translation>
    </message>
    <message>
        <source>保持画面比例(&amp;K)</source>
        <translation>&amp;Keep the picture's proportions</translation>
    </message>
    <message>
        <source>帧率(&amp;F):</source>
        <translation>&amp;Frame rate:</translation>
    </message>
    <message>
        <source>音频相关(&amp;A)</source>
        <translation>&amp;Audio</translation>
    </message>
    <message>
        <source>恢复默认参数(&amp;D)</source>
        <translation>Restore &amp;defaults</translation>
    </message>
    <message>
        <source>比特率(&amp;r):</source>
        <translation>Bit &amp;rate:</translation>
    </message>
    <message>
        <source>采样率:</source>
        <translation>Sample rate:</translation>
    </message>
    <message>
        <source>声道:</source>
        <translation>Channels:</translation>
    </message>
    <message>
        <source>输出相关(&amp;F)</source>
        <translation>Output &amp;folder</translation>
    </message>
    <message>
        <source>转换到与源文件相同的文件夹(&amp;C)</source>
        <translation>&amp;Convert into the source file's folder</translation>
    </message>
    <message>
        <source>输出目录:</source>
        <translation>Output folder:</translation>
    </message>
    <message>
        <source>覆盖已经存在的文件</source>
        <translation>Overwrite existing files</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>请选择输出目录</source>
        <translation>Choose the output folder</translation>
    </message>
    <message>
        <source>输出目录不能定位在光驱设备。</source>
        <translation>The output folder cannot be on an optical drive.</translation>
    </message>
    <message>
        <source>Input folder is located in CD-ROM, please select output folder.</source>
        <translation>Input folder is located in CD-ROM, please select output folder.</translation>
    </message>
    <message numerus="yes">
        <source>为 %n 个文件选择输出格式:</source>
        <translation><numerusform>Output format for %n file:</numerusform><numerusform>Output format for %n files:</numerusform></translation>
    </message>
    <message>
        <source>筛选格式</source>
        <translation>Filter formats</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>请输入输出目录。</source>
        <translation>Please enter the output folder.</translation>
    </message>
    <message>
        <source>输出目录不存在或不能写入: %1</source>
        <translation>the output folder does not exist or cannot be written: %1</translation>
    </message>
    <message>
        <source>音轨(&amp;T):</source>
        <translation>Sound &amp;track:</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>不要字幕</source>
        <translation>None</translation>
    </message>
    <message>
        <source>烧录到画面</source>
        <translation>Burned into the picture</translation>
    </message>
    <message>
        <source>自动: MP4、M4V、MOV 和 WebM 输出保留文字字幕, 其他格式不带字幕</source>
        <translation>Automatic: MP4, M4V, MOV and WebM outputs keep text subtitles, other formats get none</translation>
    </message>
    <message>
        <source>字幕(&amp;S):</source>
        <translation>&amp;Subtitles:</translation>
    </message>
    <message>
        <source>未标明语言</source>
        <translation>language not given</translation>
    </message>
    <message numerus="yes">
        <source>%1: %2, %3, %n 声道</source>
        <translation><numerusform>%1: %2, %3, %n channel</numerusform><numerusform>%1: %2, %3, %n channels</numerusform></translation>
    </message>
    <message>
        <source> (默认)</source>
        <translation> (default)</translation>
    </message>
    <message>
        <source>自动(按源文件)</source>
        <translation>Automatic (as the source says)</translation>
    </message>
    <message>
        <source>不旋转</source>
        <translation>None</translation>
    </message>
    <message>
        <source>顺时针 90°</source>
        <translation>90° clockwise</translation>
    </message>
    <message>
        <source>180°</source>
        <translation>180°</translation>
    </message>
    <message>
        <source>顺时针 270°</source>
        <translation>270° clockwise</translation>
    </message>
    <message>
        <source>画面旋转:</source>
        <translation>Rotation:</translation>
    </message>
    <message>
        <source>不限制</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>输出文件不超过这个大小(MB), 例如电子邮件 10 或 25, 聊天软件 16 或 64</source>
        <translation>The output is at most this size in MB: 10 or 25 for e-mail, 16 or 64 for messengers</translation>
    </message>
    <message>
        <source>限制大小:</source>
        <translation>Fit into:</translation>
    </message>
</context>
<context>
    <name>velto::TfrmMain</name>
    <message>
        <source>Add</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>增加需要转换的文件</source>
        <translation>Add files to convert</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>移除当前选择的文件</source>
        <translation>Remove the selected files</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>从列表中清除所有文件</source>
        <translation>Clear all files from the list</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>开始转换</source>
        <translation>Start converting</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>停止转换</source>
        <translation>Stop converting</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>重新转换</source>
        <translation>Run again</translation>
    </message>
    <message>
        <source>把失败或停止的文件放回转换队列</source>
        <translation>Put failed and stopped files back in the queue</translation>
    </message>
    <message>
        <source>打开输出文件夹</source>
        <translation>Open output folder</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>预览窗口</source>
        <translation>Preview window</translation>
    </message>
    <message>
        <source>转换时在小窗口中显示画面</source>
        <translation>Show the picture in a small window while converting</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>选项</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
    <message>
        <source>联系我们...</source>
        <translation>Contact us...</translation>
    </message>
    <message>
        <source>License...</source>
        <translation>License...</translation>
    </message>
    <message>
        <source>FAQ...</source>
        <translation>FAQ...</translation>
    </message>
    <message>
        <source>Visit Homepage</source>
        <translation>Visit Homepage</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>添加文件</source>
        <translation>Add files</translation>
    </message>
    <message>
        <source>移除文件</source>
        <translation>Remove files</translation>
    </message>
    <message>
        <source>清除转换列表</source>
        <translation>Clear the list</translation>
    </message>
    <message>
        <source>转换(&amp;C)</source>
        <translation>&amp;Convert</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>选项(&amp;O)</source>
        <translation>&amp;Options</translation>
    </message>
    <message>
        <source>查看(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>工具栏</source>
        <translation>Tool bar</translation>
    </message>
    <message>
        <source>日志</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>日志(&amp;L)</source>
        <translation>&amp;Log</translation>
    </message>
    <message>
        <source>访问【%1】首页</source>
        <translation>Visit the %1 home page</translation>
    </message>
    <message>
        <source>关于 %1</source>
        <translation>About %1</translation>
    </message>
    <message numerus="yes">
        <source>%n 个文件</source>
        <translation><numerusform>%n file</numerusform><numerusform>%n files</numerusform></translation>
    </message>
    <message>
        <source>总进度 %1%   已用时间 %2   剩余时间 %3   速度 %4</source>
        <translation>Overall %1%   Elapsed %2   Left %3   Speed %4</translation>
    </message>
    <message>
        <source>正在转换文件。要停止转换并退出吗？</source>
        <translation>Files are being converted. Stop converting and quit?</translation>
    </message>
    <message>
        <source>添加文件夹...</source>
        <translation>Add Folder...</translation>
    </message>
    <message>
        <source>添加一个文件夹及其子文件夹中的全部媒体文件</source>
        <translation>Add every media file in a folder and its sub-folders</translation>
    </message>
    <message>
        <source>上移</source>
        <translation>Move up</translation>
    </message>
    <message>
        <source>让选中的等待文件提前转换</source>
        <translation>Convert the selected waiting file earlier</translation>
    </message>
    <message>
        <source>下移</source>
        <translation>Move down</translation>
    </message>
    <message>
        <source>让选中的等待文件推后转换</source>
        <translation>Convert the selected waiting file later</translation>
    </message>
    <message>
        <source>修改格式...</source>
        <translation>Change format...</translation>
    </message>
    <message>
        <source>重新选择等待中文件的输出格式</source>
        <translation>Choose the output format of the waiting file again</translation>
    </message>
    <message>
        <source>当前任务完成后停止</source>
        <translation>Stop after the current jobs</translation>
    </message>
    <message>
        <source>不再开始新的任务, 正在转换的完成后停止</source>
        <translation>Start no new job; stop once the ones converting have finished</translation>
    </message>
</context>
<context>
    <name>velto::TfrmOptions</name>
    <message>
        <source>选项</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>转换参数</source>
        <translation>Conversion</translation>
    </message>
    <message>
        <source>当中断转换时，请删除输出文件</source>
        <translation>Delete the output file when a conversion is interrupted</translation>
    </message>
    <message>
        <source>当转换完成后，请删除源文件</source>
        <translation>Delete the source file when its conversion is complete</translation>
    </message>
    <message>
        <source>当转换完成后，请打开目标文件所在的文件夹</source>
        <translation>Open the output file's folder when its conversion is complete</translation>
    </message>
    <message>
        <source>当所有转换任务完成后，请自动关闭计算机</source>
        <translation>Shut the computer down when all conversions are complete</translation>
    </message>
    <message>
        <source>跟随系统</source>
        <translation>System language</translation>
    </message>
    <message>
        <source>界面语言(&amp;L):</source>
        <translation>&amp;Language:</translation>
    </message>
    <message>
        <source>(重新启动后生效)</source>
        <translation>(takes effect at the next start)</translation>
    </message>
    <message>
        <source>高级</source>
        <translation>Advanced</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>应用(&amp;A)</source>
        <translation>&amp;Apply</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>同时转换的任务数(&amp;J):</source>
        <translation>&amp;Simultaneous conversions:</translation>
    </message>
    <message>
        <source>转换完成后，源文件将被移到回收站。确定吗?</source>
        <translation>After a finished conversion the source file will be moved to the Trash. Go ahead?</translation>
    </message>
    <message>
        <source>无</source>
        <translation>none</translation>
    </message>
    <message>
        <source>首选音轨语言(&amp;P):</source>
        <translation>&amp;Preferred sound track language:</translation>
    </message>
    <message>
        <source>(ISO 639 代码, 如 eng、jpn、chi)</source>
        <translation>(ISO 639 code, such as eng, jpn, chi)</translation>
    </message>
    <message>
        <source>输出文件保留源文件的修改日期</source>
        <translation>Give outputs their source's modification date</translation>
    </message>
</context>
</TS>
