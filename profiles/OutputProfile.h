// One output profile as stored in a "VideoFormat%d" section of the settings file (and of the
// factory file "VideoFormat.dat"), with reading, restoring and writing back its values.
#pragma once

#include <cstdint>
#include <string>

namespace velto {

class TIniFile;
struct TProfileSelection;

struct TOutputProfile {
    std::string VideoFormat;   // video codec code, compared in lower case by the mapping
    std::string AudioFormat;   // audio codec code, compared in lower case by the mapping
    std::string FrameSize;     // an entry of the frame size list, e.g. "320 x 240", or "Auto"
    std::string VideoBitrate;  // kbit/s
    std::string Framerate;     // an entry of the frame rate list, or "Auto"
    std::string AudioBitrate;  // kbit/s
    std::string SampleBitrate; // Hz, despite the key's name
    std::int32_t Channels = 1; // index in the channel list: 0 mono, 1 stereo
    std::string IsPSP;         // "1": the output needs video and audio, H.264 kept PSP-playable
    std::int32_t Edit = 1;     // 0 locks the lists other than the video bit rate
    std::string FileType;      // extension with its dot or a tag like ".psp"; case-sensitive
    // 1: the picture keeps its proportions ("KeepAspect", tunable, written back).
    std::int32_t KeepAspect = 0;
    // 1: the frame size is a bound the output frame takes the source's shape within; 0: the
    // exact frame a device needs, padded when proportions are kept ("FrameFollowsSource").
    std::int32_t FrameFollowsSource = 0;
    // MB the output must fit into, offered as the dialog's "fit into" and taken by the command
    // line without --max-size ("FitInto"); 0: no limit. Never written.
    std::int32_t FitInto = 0;
};

// "VideoFormat%d"; index -1 names a section no catalogue has, so every key reads its default.
std::string ProfileSection(int index);

// Every key of the section, missing keys at their defaults.
TOutputProfile ReadProfile(const TIniFile& ini, int index);
// From the factory file: frame size, video bit rate, frame rate (missing: empty), proportions
// (missing: 0).
void ReadVideoDefaults(const TIniFile& factory, int index, TOutputProfile& profile);
// From the factory file: audio bit rate, sample rate (missing: empty), channels (missing: 1).
void ReadAudioDefaults(const TIniFile& factory, int index, TOutputProfile& profile);

// The values the user can tune (as WriteProfileValues writes them) that the section holds; keys
// it lacks leave the profile's values as they are.
void ReadTunedValues(const TIniFile& ini, int index, TOutputProfile& profile);

// Writes the values the user can tune, as the lists show them: entry texts (empty without a
// selection), the channel index and the proportions box. Title, codecs, file type, Edit, IsPSP
// and FrameFollowsSource are never written.
bool WriteProfileValues(TIniFile& ini, int index, const TProfileSelection& selection);

} // namespace velto
