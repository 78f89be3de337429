// The fixed value lists the output-format dialog offers, and the selection a profile makes in
// them. Plain data: the dialog fills its drop-down lists from here and mirrors TProfileSelection.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velto {

enum TValueList {
    vlFrameSize,
    vlVideoBitrate,
    vlFramerate,
    vlAudioBitrate,
    vlSampleBitrate,
    vlChannels
};

// Entries in the order shown; the channel list is mono, stereo.
std::span<const char* const> ValueListEntries(TValueList list);

// Index of the entry equal to value ignoring ASCII case, or -1. The channel list is chosen by
// index, never by text.
int FindListEntry(TValueList list, const std::string& value);
// The entry's text; empty for -1 or any index outside the list.
std::string ListEntryText(TValueList list, int index);

struct TOutputProfile;

// What the dialog's lists show: the selected index in each (-1: nothing selected) and whether
// the lockable lists (all but the video bit rate) are enabled.
struct TProfileSelection {
    int FrameSize = -1;
    int VideoBitrate = -1;
    int Framerate = -1;
    int AudioBitrate = -1;
    int SampleBitrate = -1;
    int Channels = -1;
    bool Editable = true;
    // The picture keeps its proportions instead of being stretched to the frame size.
    bool KeepAspect = false;
};

// Selects the profile's values in the lists; a value not in its list leaves that list without a
// selection, a channel index outside the list as well.
TProfileSelection SelectionFor(const TOutputProfile& profile);
// The video part (frame size, video bit rate, frame rate, proportions) or the audio part (audio bit
// rate, sample rate, channels) only, as the two restore buttons do.
void SelectVideoValues(const TOutputProfile& profile, TProfileSelection& selection);
void SelectAudioValues(const TOutputProfile& profile, TProfileSelection& selection);

} // namespace velto
