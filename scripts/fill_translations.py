#!/usr/bin/env python3
"""Fills the Chinese and English translations of translations/*.ts from the tables below.

Run after `cmake --build build --target update_translations` has added new source texts.
Chinese source texts are their own Chinese translation; English ones are given here.
"""
import pathlib
import re
import sys
from xml.sax.saxutils import escape, unescape

ROOT = pathlib.Path(__file__).resolve().parent.parent / "translations"

# English source text -> Chinese.
ZH = {
    "MP4 MPEG-4 Video (*.mp4)": "MP4 MPEG-4 视频 (*.mp4)",
    "iPod MPEG-4 Video (320x240, 4:3) - High Quality": "iPod MPEG-4 视频 (320x240, 4:3) - 高质量",
    "iPod MPEG-4 Video (320x180, 16:9) - High Quality": "iPod MPEG-4 视频 (320x180, 16:9) - 高质量",
    "iPod MPEG-4 Video (320x240, 4:3)": "iPod MPEG-4 视频 (320x240, 4:3)",
    "iPod MPEG-4 Video (320x180, 16:9)": "iPod MPEG-4 视频 (320x180, 16:9)",
    "iPod MPEG-4 Video (320x240, 4:3) - Low Quality, Less File Size": "iPod MPEG-4 视频 (320x240, 4:3) - 低质量, 文件较小",
    "iPod MPEG-4 Video (320x180, 16:9) - Low Quality, Less File Size": "iPod MPEG-4 视频 (320x180, 16:9) - 低质量, 文件较小",
    "PSP MPEG-4 Video (368x208)": "PSP MPEG-4 视频 (368x208)",
    "PSP MPEG-4 Video (368x208) - High Quality": "PSP MPEG-4 视频 (368x208) - 高质量",
    "PSP AVC Video (368x208)": "PSP AVC 视频 (368x208)",
    "MP4 MPEG-4 AVC Video (*.mp4)": "MP4 MPEG-4 AVC 视频 (*.mp4)",
    "DivX Video Format (*.avi)": "DivX 视频格式 (*.avi)",
    "XviD Video Format (*.avi)": "XviD 视频格式 (*.avi)",
    "Archos Video (*.avi)": "Archos 视频 (*.avi)",
    "Creative Zen Vision (*.avi)": "创新 Zen Vision (*.avi)",
    "iRiver PMP-100 (*.avi)": "艾利和 iRiver PMP-100 (*.avi)",
    "MPEG-1/VCD Video (*.mpg)": "MPEG-1/VCD 视频 (*.mpg)",
    "MPEG-2/SVCD/DVD Video (*.mpg)": "MPEG-2/SVCD/DVD 视频 (*.mpg)",
    "3GP Video for Mobile Phones (176x144) (*.3gp)": "手机 3GP 视频 (176x144) (*.3gp)",
    "3GP MPEG-4 Video (320x240) (*.3gp)": "3GP MPEG-4 视频 (320x240) (*.3gp)",
    "Flash Video (*.flv)": "Flash 视频 (*.flv)",
    "Windows Media Video (*.wmv)": "Windows Media 视频 (*.wmv)",
    "RealMedia Video (*.rm)": "RealMedia 视频 (*.rm)",
    "Phone / Tablet H.264 Video (480p) (*.mp4)": "手机/平板 H.264 视频 (480p) (*.mp4)",
    "Phone / Tablet H.264 Video (720p) (*.mp4)": "手机/平板 H.264 视频 (720p) (*.mp4)",
    "Phone / Tablet H.264 Video (1080p) (*.mp4)": "手机/平板 H.264 视频 (1080p) (*.mp4)",
    "Apple HEVC/H.265 Video (1080p) (*.mp4)": "Apple HEVC/H.265 视频 (1080p) (*.mp4)",
    "WebM VP9 Video for Browsers (720p) (*.webm)": "浏览器用 WebM VP9 视频 (720p) (*.webm)",
    "MP3 Audio (*.mp3)": "MP3 音频 (*.mp3)",
    "AAC Audio (*.m4a)": "AAC 音频 (*.m4a)",
    "FLAC Lossless Audio (*.flac)": "FLAC 无损音频 (*.flac)",
    "Ogg Vorbis Audio (*.oga)": "Ogg Vorbis 音频 (*.oga)",
    "Messenger H.264 Video, up to 16 MB (720p) (*.mp4)": "聊天软件 H.264 视频，最大 16 MB (720p) (*.mp4)",
    "Messenger H.264 Video, up to 64 MB (1080p) (*.mp4)": "聊天软件 H.264 视频，最大 64 MB (1080p) (*.mp4)",
    "E-mail H.264 Video, up to 10 MB (480p) (*.mp4)": "电子邮件 H.264 视频，最大 10 MB (480p) (*.mp4)",
    "E-mail H.264 Video, up to 25 MB (720p) (*.mp4)": "电子邮件 H.264 视频，最大 25 MB (720p) (*.mp4)",
    "Auto": "自动",
    " · %1 fps": " · %1 fps",
    "Add": "添加",
    "Remove": "移除",
    "Clear": "清除",
    "Start": "开始",
    "Stop": "停止",
    "Pause": "暂停",
    "Resume": "继续",
    "Options": "选项",
    "Help": "帮助",
    "About": "关于",
    "License...": "许可协议...",
    "FAQ...": "常见问题...",
    "Visit Homepage": "访问首页",
    "About %1": "关于 %1",
    "Input folder is located in CD-ROM, please select output folder.":
        "源文件位于光驱中，请选择输出目录。",
    "Media files (*.avi *.mpeg *.mpg *.wmv *.qt *.mpm *.mpv *.mpa *.mov *.vob *.mp4 *.m4v *.3gp *.3g2 *.mod *.asf *.dv *.flv *.dvr-ms *.swf *.mkv *.webm *.ts *.m2ts *.mts *.ogv *.rm *.rmvb *.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)":
        "媒体文件 (*.avi *.mpeg *.mpg *.wmv *.qt *.mpm *.mpv *.mpa *.mov *.vob *.mp4 *.m4v *.3gp *.3g2 *.mod *.asf *.dv *.flv *.dvr-ms *.swf *.mkv *.webm *.ts *.m2ts *.mts *.ogv *.rm *.rmvb *.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)",
    "Matroska and WebM files (*.mkv *.webm)": "Matroska 和 WebM 文件 (*.mkv *.webm)",
    "MPEG transport streams (*.ts *.m2ts *.mts)": "MPEG 传输流 (*.ts *.m2ts *.mts)",
    "Velto 3GP Converter": "Velto 3GP 转换器",
    "AVI files (*.avi)": "AVI 文件 (*.avi)",
    "MPEG files (*.mpeg *.mpg *.mpm *.mpv *.mpa *.mod *.vob)":
        "MPEG 文件 (*.mpeg *.mpg *.mpm *.mpv *.mpa *.mod *.vob)",
    "Media Player files (*.wmv *.asf *.wma)": "Media Player 文件 (*.wmv *.asf *.wma)",
    "Real Media files (*.rm *.rmvb)": "Real Media 文件 (*.rm *.rmvb)",
    "Quick Time files (*.qt *.mov)": "QuickTime 文件 (*.qt *.mov)",
    "MPEG-4 files (*.mp4 *.3gp *.3g2 *.m4v)": "MPEG-4 文件 (*.mp4 *.3gp *.3g2 *.m4v)",
    "DVD-MPEG2 PS files (*.vob)": "DVD-MPEG2 PS 文件 (*.vob)",
    "Microsoft Recorded TV Show (*.dvr-ms)": "Microsoft 录制的电视节目 (*.dvr-ms)",
    "FLV Flash files (*.flv)": "FLV Flash 文件 (*.flv)",
    "SWF Flash files (*.swf)": "SWF Flash 文件 (*.swf)",
    "Audio files (*.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)":
        "音频文件 (*.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)",
    "All files (*)": "所有文件 (*)",
}

# Chinese source text -> English; English sources stay as they are.
EN = {
    "%1 已经开始转换, 格式没有改变。": "%1 has started converting; its format was not changed.",
    "手机和平板": "Phones and tablets",
    "Apple 设备": "Apple",
    "PlayStation 和便携播放器": "PlayStation and portable players",
    "老式手机 (3GP)": "Old phones (3GP)",
    "AVI 播放器": "AVI players",
    "光盘 (VCD, SVCD, DVD)": "Discs (VCD, SVCD, DVD)",
    "网页和电脑": "Web and computers",
    "聊天软件和电子邮件": "Messengers and e-mail",
    "仅音频": "Audio only",
    "其他": "Other",
    "筛选格式": "Filter formats",
    "请输入输出目录。": "Please enter the output folder.",
    "输出目录不存在或不能写入: %1": "The output folder does not exist or cannot be written: %1",
    " · %1 fps": " · %1 fps",
    " · 剩余 %1": " · %1 left",
    "没有读取这个文件的权限": "Permission denied: the file cannot be read",
    "不是普通文件": "Not a regular file",
    "文件是空的": "The file is empty",
    "不是可以转换的媒体文件": "Not a media file the program can convert",
    "文件已损坏或不完整": "The file is damaged or incomplete",
    "添加文件夹...": "Add Folder...",
    "添加一个文件夹及其子文件夹中的全部媒体文件":
        "Add every media file in a folder and its sub-folders",
    "请选择需要转换的文件夹": "Choose the folder to convert",
    "转换完成后，源文件将被移到回收站。确定吗?":
        "After a finished conversion the source file will be moved to the Trash. Go ahead?",
    "源文件": "Source file",
    "总时间": "Length",
    "文件大小": "Size",
    "输出文件": "Output file",
    "转换进度": "Progress",
    "当前时间": "Converted",
    "输出大小": "Output size",
    "状态": "Status",
    "请选择需要转换的文件": "Choose the files to convert",
    "单声道": "Mono",
    "立体声": "Stereo",
    "无法载入媒体库:\n%1": "The media libraries could not be loaded:\n%1",
    "文件不存在": "the file does not exist",
    "文件夹中没有可转换的媒体文件": "the folder holds no media files to convert",
    "无法添加文件 %1": "Could not add the file %1",
    "以下 %1 个文件无法添加:\n%2": "These %1 files could not be added:\n%2",
    "输出目录不存在或不能写入: %1": "the output folder does not exist or cannot be written: %1",
    "等待转换": "Queued",
    "正在转换": "Converting",
    "已暂停": "Paused",
    "已完成": "Done",
    "不完整": "Incomplete",
    "失败": "Failed",
    "已停止": "Stopped",
    "源文件: %1\n输出文件: %2": "Source: %1\nOutput: %2",
    "点击“添加”或把文件、文件夹拖到这里，开始添加需要转换的文件。":
        "Click \u201cAdd\u201d or drop files and folders here to add the files to convert.",
    "关于%1...": "About %1...",
    "3GP 视频转换器。版权所有 © Velto Software。": "3GP video converter. Copyright \u00a9 Velto Software.",
    "访问我们的网站": "Visit our web site",
    "通过邮件联系我们": "Contact us by mail",
    "确定": "OK",
    "取消": "Cancel",
    "请选择您要输出的格式": "Choose the output format",
    "输出格式(&O)": "&Output format",
    "视频相关(&V)": "&Video",
    "恢复默认参数(&R)": "&Restore defaults",
    "帧尺寸:": "Frame size:",
    "比特率(&B):": "&Bit rate:",
    "帧率(&F):": "&Frame rate:",
    "音频相关(&A)": "&Audio",
    "恢复默认参数(&D)": "Restore &defaults",
    "比特率(&r):": "Bit &rate:",
    "采样率:": "Sample rate:",
    "声道:": "Channels:",
    "输出相关(&F)": "Output &folder",
    "转换到与源文件相同的文件夹(&C)": "&Convert into the source file's folder",
    "输出目录:": "Output folder:",
    "覆盖已经存在的文件": "Overwrite existing files",
    "帮助(&H)": "&Help",
    "请选择输出目录": "Choose the output folder",
    "输出目录不能定位在光驱设备。": "The output folder cannot be on an optical drive.",
    "为 %n 个文件选择输出格式:": ["Output format for %n file:", "Output format for %n files:"],
    " 等": " and more",
    "增加需要转换的文件": "Add files to convert",
    "移除当前选择的文件": "Remove the selected files",
    "从列表中清除所有文件": "Clear all files from the list",
    "开始转换": "Start converting",
    "停止转换": "Stop converting",
    "暂停": "Pause",
    "继续": "Resume",
    "重新转换": "Run again",
    "把失败或停止的文件放回转换队列": "Put failed and stopped files back in the queue",
    "打开输出文件夹": "Open output folder",
    "播放": "Play",
    "预览窗口": "Preview window",
    "转换时在小窗口中显示画面": "Show the picture in a small window while converting",
    "选项": "Options",
    "退出": "Exit",
    "联系我们...": "Contact us...",
    "文件(&F)": "&File",
    "添加文件": "Add files",
    "移除文件": "Remove files",
    "清除转换列表": "Clear the list",
    "转换(&C)": "&Convert",
    "停止": "Stop",
    "选项(&O)": "&Options",
    "查看(&V)": "&View",
    "帮助(&H)": "&Help",
    "工具栏": "Tool bar",
    "日志": "Log",
    "日志(&L)": "&Log",
    "访问【%1】首页": "Visit the %1 home page",
    "关于 %1": "About %1",
    "%n 个文件": ["%n file", "%n files"],
    "总进度 %1%   已用时间 %2   剩余时间 %3   速度 %4":
        "Overall %1%   Elapsed %2   Left %3   Speed %4",
    "正在转换文件。要停止转换并退出吗？": "Files are being converted. Stop converting and quit?",
    "转换参数": "Conversion",
    "当中断转换时，请删除输出文件": "Delete the output file when a conversion is interrupted",
    "当转换完成后，请删除源文件": "Delete the source file when its conversion is complete",
    "当转换完成后，请打开目标文件所在的文件夹": "Open the output file's folder when its conversion is complete",
    "当所有转换任务完成后，请自动关闭计算机": "Shut the computer down when all conversions are complete",
    "跟随系统": "System language",
    "界面语言(&L):": "&Language:",
    "(重新启动后生效)": "(takes effect at the next start)",
    "高级": "Advanced",
    "自动": "Automatic",
    "保持画面比例(&K)": "&Keep the picture's proportions",
    "同时转换的任务数(&J):": "&Simultaneous conversions:",
    "画面旋转:": "Rotation:",
    "自动(按源文件)": "Automatic (as the source says)",
    "不旋转": "None",
    "顺时针 90°": "90° clockwise",
    "180°": "180°",
    "顺时针 270°": "270° clockwise",
    "限制大小:": "Fit into:",
    "不限制": "Off",
    "输出文件不超过这个大小(MB), 例如电子邮件 10 或 25, 聊天软件 16 或 64": "The output is at most this size in MB: 10 or 25 for e-mail, 16 or 64 for messengers",
    "%1: 约需 %2, 仅剩 %3": "%1: needs about %2, %3 free",
    "当前任务完成后停止": "Stop after the current jobs",
    "不再开始新的任务, 正在转换的完成后停止": "Start no new job; stop once the ones converting have finished",
    "输出文件夹比预计的更快被写满:\n%1\n\n转换已暂停: 请腾出空间后点击“继续”。":
        "An output folder is filling faster than forecast:\n%1\n\nThe conversion is paused: make room, then press \"Resume\".",
    "输出文件夹的剩余空间可能不够:\n%1\n\n仍然开始转换吗?": "The output folders may not have room enough:\n%1\n\nStart converting anyway?",
    "输出文件保留源文件的修改日期": "Give outputs their source's modification date",
    "应用(&A)": "&Apply",
    "正在转换视频文件": "Converting video files",
    "%1 个文件转换完成, %2 个失败": "%1 files converted, %2 failed",
    "%1 个文件转换完成": "%1 files converted",
    ", %1 个已停止": ", %1 stopped",
    "转换已全部完成，%1 秒后将关闭计算机。": "All conversions are done. The computer will power off in %1 seconds.",
    "取消关机": "Cancel power-off",
    "未完成的输出保存为: %1": "Unfinished output kept as: %1",
    "程序在转换时退出, 未完成的输出已删除": "The program ended while converting; the unfinished output was removed",
    "无法读取保存的设置": "The saved settings of this job cannot be read",
    "上移": "Move up",
    "下移": "Move down",
    "让选中的等待文件提前转换": "Convert the selected waiting file earlier",
    "让选中的等待文件推后转换": "Convert the selected waiting file later",
    "修改格式...": "Change format...",
    "重新选择等待中文件的输出格式": "Choose the output format of the waiting file again",
    "音轨(&T):": "Sound &track:",
    "字幕(&S):": "&Subtitles:",
    "不要字幕": "None",
    "烧录到画面": "Burned into the picture",
    "自动: MP4、M4V、MOV 和 WebM 输出保留文字字幕, 其他格式不带字幕":
        "Automatic: MP4, M4V, MOV and WebM outputs keep text subtitles, other formats get none",
    "未标明语言": "language not given",
    "%1: %2, %3, %n 声道": ["%1: %2, %3, %n channel", "%1: %2, %3, %n channels"],
    " (默认)": " (default)",
    "无": "none",
    "首选音轨语言(&P):": "&Preferred sound track language:",
    "(ISO 639 代码, 如 eng、jpn、chi)": "(ISO 639 code, such as eng, jpn, chi)",
}


def fill(path, table, chinese):
    text = path.read_text(encoding="utf-8")
    missing = []

    def message(match):
        block = match.group(0)
        source = unescape(re.search(r"<source>(.*?)</source>", block, re.S).group(1))
        numerus = 'numerus="yes"' in block
        is_chinese = any(ord(c) > 127 for c in source)
        if chinese:
            value = source if is_chinese else table.get(source)
        else:
            value = table.get(source, None if is_chinese else source)
        if value is None:
            missing.append(source)
            return block
        if numerus:
            forms = value if isinstance(value, list) else [value]
            if chinese:
                forms = forms[:1]
            inner = "".join(f"<numerusform>{escape(f)}</numerusform>" for f in forms)
        else:
            inner = escape(value)
        return re.sub(r"<translation[^>]*>.*?</translation>|<translation[^>]*/>",
                      f"<translation>{inner}</translation>", block, flags=re.S)

    text = re.sub(r"<message[^>]*>.*?</message>", message, text, flags=re.S)
    path.write_text(text, encoding="utf-8")
    return missing


missing = fill(ROOT / "velto_zh_CN.ts", ZH, True) + fill(ROOT / "velto_en.ts", EN, False)
for source in missing:
    print("no translation for:", repr(source), file=sys.stderr)
sys.exit(1 if missing else 0)
