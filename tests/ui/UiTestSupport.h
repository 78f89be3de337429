// What the dialog tests share: one QApplication, a settings folder in a temporary directory and
// platform services that record instead of blocking.
#pragma once

#include "frm_DialogServices.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace velto::test {

// Never destroyed: tearing it down among the exit-time destructors crashes in Qt's own statics.
inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);
    (void)application;
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Anything under OpticalRoot counts as lying on a CD.
class TFakeServices : public TDialogServices {
public:
    std::string OpticalRoot = "/media/cdrom/";
    std::string ChosenFolder; // returned by the browser; empty: cancelled
    std::vector<std::string> BrowseStarts;
    std::vector<QString> Messages;
    std::vector<QString> HelpSections;

    std::string ChooseFolder(QWidget*, const QString&, const std::string& initialFolder) override {
        BrowseStarts.push_back(initialFolder);
        return ChosenFolder;
    }
    void ShowInformation(QWidget*, const QString& text) override { Messages.push_back(text); }
    bool ConfirmAnswer = true;
    std::vector<QString> Questions;
    bool Confirm(QWidget*, const QString& text) override {
        Questions.push_back(text);
        return ConfirmAnswer;
    }
    void ShowHelp(QWidget*, const QString& section) override { HelpSections.push_back(section); }
    bool IsOnOpticalDrive(const std::string& path) override {
        return path.starts_with(OpticalRoot);
    }
};

// Three profiles: editable with a case-different frame size, locked, and one whose frame size is
// not a list entry. The factory file restores profile 0 without a channel key.
inline constexpr const char* kSettingsText = R"([Options]
FormatNum=3
OutputFormat=0
ConvertToSamePath=1
OverwriteExistFile=0
RecentOutputFolder=Auto

[VideoFormat0]
Title=MP4 MPEG-4 Video (*.mp4)
VideoFormat=mp4
AudioFormat=aac
Edit=1
FileType=.mp4
FrameSize=320 X 240
VideoBitrate=384
Framerate=15
AudioBitrate=64
SampleBitrate=24000
Channels=1

[VideoFormat1]
Title=3GP (176x144)
VideoFormat=h263
AudioFormat=amr
Edit=0
FileType=.3gp
FrameSize=176 x 144
VideoBitrate=190
Framerate=12
AudioBitrate=8
SampleBitrate=8000
Channels=0

[VideoFormat2]
Title=Odd
VideoFormat=xvid
AudioFormat=mp3
FileType=.avi
FrameSize=320x240
VideoBitrate=768
Framerate=25
AudioBitrate=128
SampleBitrate=44100
Channels=1
KeepAspect=1
)";

inline constexpr const char* kFactoryText = R"([VideoFormat0]
FrameSize=640 x 480
VideoBitrate=1000
Framerate=25
AudioBitrate=128
SampleBitrate=44100
)";

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        ASSERT_TRUE(Folder.isValid());
        WriteText(SettingsFile, kSettingsText);
        WriteText(FactoryFile, kFactoryText);
    }

    QTemporaryDir Folder;
    std::string Root = Folder.path().toStdString() + "/";
    std::string SettingsFile = Root + "Velto3GPConverter.ini";
    std::string FactoryFile = Root + "VideoFormat.dat";
    TFakeServices Services;
};

} // namespace velto::test
