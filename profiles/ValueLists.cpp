#include "ValueLists.h"

#include "OutputProfile.h"

#include <array>

namespace velto {
namespace {

// Profiles store entry texts, not indexes, so entries may be added anywhere; "Auto" stays last.
constexpr std::array<const char*, 17> kFrameSizes = {
    "80 x 60",   "128 x 96",  "160 x 120",  "176 x 144",   "240 x 176", "320 x 180",
    "320 x 240", "352 x 288", "368 x 208",  "640 x 360",   "640 x 480", "720 x 480",
    "720 x 576", "854 x 480", "1280 x 720", "1920 x 1080", "Auto"};
constexpr std::array<const char*, 16> kVideoBitrates = {
    "190",  "216",  "384",  "400",  "512",  "768",  "1000", "1150",
    "1200", "1500", "2000", "2376", "3000", "4000", "6000", "8000"};
// "29.976" is the list's own text, kept as stored profiles name it; the mapping reads it, like
// "23.976" and "59.94", as the NTSC rate it stands for.
constexpr std::array<const char*, 11> kFramerates = {"12", "15", "20",    "23.976", "25",  "29.976",
                                                     "30", "50", "59.94", "60",     "Auto"};
constexpr std::array<const char*, 14> kAudioBitrates = {
    "8", "16", "32", "48", "56", "64", "96", "112", "128", "160", "192", "224", "256", "320"};
constexpr std::array<const char*, 6> kSampleRates = {"8000",  "16000", "24000",
                                                     "32000", "44100", "48000"};
constexpr std::array<const char*, 2> kChannels = {"单声道", "立体声"};

bool SameText(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return i == a.size() && !b[i];
}

int ChannelIndex(std::int32_t channels) {
    return channels >= 0 && channels < static_cast<std::int32_t>(kChannels.size()) ? channels : -1;
}

} // namespace

std::span<const char* const> ValueListEntries(TValueList list) {
    switch (list) {
    case vlFrameSize:
        return kFrameSizes;
    case vlVideoBitrate:
        return kVideoBitrates;
    case vlFramerate:
        return kFramerates;
    case vlAudioBitrate:
        return kAudioBitrates;
    case vlSampleBitrate:
        return kSampleRates;
    case vlChannels:
        return kChannels;
    }
    return {};
}

int FindListEntry(TValueList list, const std::string& value) {
    if (list == vlChannels)
        return -1;
    const auto entries = ValueListEntries(list);
    for (size_t i = 0; i < entries.size(); ++i)
        if (SameText(value, entries[i]))
            return static_cast<int>(i);
    return -1;
}

std::string ListEntryText(TValueList list, int index) {
    const auto entries = ValueListEntries(list);
    if (index < 0 || static_cast<size_t>(index) >= entries.size())
        return {};
    return entries[index];
}

void SelectVideoValues(const TOutputProfile& profile, TProfileSelection& selection) {
    selection.FrameSize = FindListEntry(vlFrameSize, profile.FrameSize);
    selection.VideoBitrate = FindListEntry(vlVideoBitrate, profile.VideoBitrate);
    selection.Framerate = FindListEntry(vlFramerate, profile.Framerate);
    selection.KeepAspect = profile.KeepAspect != 0;
}

void SelectAudioValues(const TOutputProfile& profile, TProfileSelection& selection) {
    selection.AudioBitrate = FindListEntry(vlAudioBitrate, profile.AudioBitrate);
    selection.SampleBitrate = FindListEntry(vlSampleBitrate, profile.SampleBitrate);
    selection.Channels = ChannelIndex(profile.Channels);
}

TProfileSelection SelectionFor(const TOutputProfile& profile) {
    TProfileSelection selection;
    selection.Editable = profile.Edit != 0;
    SelectVideoValues(profile, selection);
    SelectAudioValues(profile, selection);
    return selection;
}

} // namespace velto
