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
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>Velto 3GP Converter</source>
        <translation>Velto 3GP Converter</translation>
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
</context>
<context>
    <name>velto::TJobListView</name>
    <message>
        <source>点击“增加”或把文件、文件夹拖到这里，开始添加需要转换的文件。</source>
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
        <source> 等</source>
        <translation> and more</translation>
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
        <source>输出文件保留源文件的修改日期</source>
        <translation>Give outputs their source's modification date</translation>
    </message>
</context>
</TS>
