#include "OutputProfile.h"

#include "IniFile.h"
#include "ValueLists.h"

namespace velto {

std::string ProfileSection(int index) {
    return "VideoFormat" + std::to_string(index);
}

TOutputProfile ReadProfile(const TIniFile& ini, int index) {
    const std::string section = ProfileSection(index);
    TOutputProfile profile;
    profile.VideoFormat = ini.ReadString(section, "VideoFormat", "");
    profile.AudioFormat = ini.ReadString(section, "AudioFormat", "");
    profile.IsPSP = ini.ReadString(section, "IsPSP", "");
    profile.Edit = ini.ReadInteger(section, "Edit", 1);
    profile.FileType = ini.ReadString(section, "FileType", "");
    profile.FrameSize = ini.ReadString(section, "FrameSize", "");
    profile.VideoBitrate = ini.ReadString(section, "VideoBitrate", "");
    profile.Framerate = ini.ReadString(section, "Framerate", "");
    profile.AudioBitrate = ini.ReadString(section, "AudioBitrate", "");
    profile.SampleBitrate = ini.ReadString(section, "SampleBitrate", "");
    profile.Channels = ini.ReadInteger(section, "Channels", 1);
    profile.KeepAspect = ini.ReadInteger(section, "KeepAspect", 0);
    profile.FrameFollowsSource = ini.ReadInteger(section, "FrameFollowsSource", 0);
    profile.FitInto = std::max(0, ini.ReadInteger(section, "FitInto", 0));
    return profile;
}

void ReadVideoDefaults(const TIniFile& factory, int index, TOutputProfile& profile) {
    const std::string section = ProfileSection(index);
    profile.FrameSize = factory.ReadString(section, "FrameSize", "");
    profile.VideoBitrate = factory.ReadString(section, "VideoBitrate", "");
    profile.Framerate = factory.ReadString(section, "Framerate", "");
    profile.KeepAspect = factory.ReadInteger(section, "KeepAspect", 0);
}

void ReadAudioDefaults(const TIniFile& factory, int index, TOutputProfile& profile) {
    const std::string section = ProfileSection(index);
    profile.AudioBitrate = factory.ReadString(section, "AudioBitrate", "");
    profile.SampleBitrate = factory.ReadString(section, "SampleBitrate", "");
    profile.Channels = factory.ReadInteger(section, "Channels", 1);
}

void ReadTunedValues(const TIniFile& ini, int index, TOutputProfile& profile) {
    const std::string section = ProfileSection(index);
    for (auto [key, value] : {std::pair{"FrameSize", &profile.FrameSize},
                              std::pair{"VideoBitrate", &profile.VideoBitrate},
                              std::pair{"Framerate", &profile.Framerate},
                              std::pair{"AudioBitrate", &profile.AudioBitrate},
                              std::pair{"SampleBitrate", &profile.SampleBitrate}})
        if (ini.ValueExists(section, key))
            *value = ini.ReadString(section, key, "");
    if (ini.ValueExists(section, "Channels"))
        profile.Channels = ini.ReadInteger(section, "Channels", 1);
    if (ini.ValueExists(section, "KeepAspect"))
        profile.KeepAspect = ini.ReadInteger(section, "KeepAspect", 0);
}

bool WriteProfileValues(TIniFile& ini, int index, const TProfileSelection& selection) {
    const std::string section = ProfileSection(index);
    bool ok =
        ini.WriteString(section, "FrameSize", ListEntryText(vlFrameSize, selection.FrameSize));
    ok &= ini.WriteString(section, "VideoBitrate",
                          ListEntryText(vlVideoBitrate, selection.VideoBitrate));
    ok &= ini.WriteString(section, "Framerate", ListEntryText(vlFramerate, selection.Framerate));
    ok &= ini.WriteString(section, "AudioBitrate",
                          ListEntryText(vlAudioBitrate, selection.AudioBitrate));
    ok &= ini.WriteString(section, "SampleBitrate",
                          ListEntryText(vlSampleBitrate, selection.SampleBitrate));
    ok &= ini.WriteInteger(section, "Channels", selection.Channels);
    ok &= ini.WriteInteger(section, "KeepAspect", selection.KeepAspect ? 1 : 0);
    return ok;
}

} // namespace velto
