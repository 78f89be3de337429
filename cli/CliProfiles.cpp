#include "CliProfiles.h"

#include "SettingsLocation.h"
#include "SettingsStore.h"

#include <charconv>
#include <filesystem>

namespace velto::cli {

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool Select(TValueList list, const std::string& value, const char* option, int& index,
            std::string& error) {
    if (value.empty())
        return true;
    const int found = FindListEntry(list, value);
    if (found < 0) {
        error = std::string(option) + " '" + value + "' is not one of: " + ListEntries(list);
        return false;
    }
    index = found;
    return true;
}

} // namespace

TCliPaths PathsForProgram(const std::string& programFolder) {
    TCliPaths paths;
    const std::string libraries = programFolder + "/LibAV";
    std::error_code error;
    if (std::filesystem::is_directory(libraries, error))
        paths.LibrariesFolder = libraries;
    const std::string data = FactoryDataFolder(programFolder);
    paths.FactoryProfiles = FactoryProfilesPath(data);
    const TUserSettings user = PrepareUserSettings(SettingsFilePath(data), UserConfigFolder());
    paths.SettingsFile = user.FileName.empty() ? SettingsFilePath(data) : user.FileName;
    paths.SettingsError = user.Error;
    return paths;
}

int FindProfile(const std::vector<std::string>& titles, const std::string& choice) {
    int index = -1;
    const char* end = choice.data() + choice.size();
    const auto [stop, error] = std::from_chars(choice.data(), end, index);
    if (!choice.empty() && error == std::errc() && stop == end)
        return index >= 0 && index < static_cast<int>(titles.size()) ? index : -1;
    for (size_t i = 0; i < titles.size(); ++i)
        if (titles[i] == choice)
            return static_cast<int>(i);
    for (size_t i = 0; i < titles.size(); ++i)
        if (SameIgnoringCase(titles[i], choice))
            return static_cast<int>(i);
    return -1;
}

std::string ListEntries(TValueList list) {
    std::string text;
    for (const char* entry : ValueListEntries(list)) {
        if (!text.empty())
            text += ", ";
        text += entry;
    }
    return text;
}

bool ApplyOverrides(const TCliArguments& args, TProfileSelection& selection, std::string& error) {
    if (!Select(vlFrameSize, args.FrameSize, "-s", selection.FrameSize, error) ||
        !Select(vlFramerate, args.FrameRate, "-r", selection.Framerate, error) ||
        !Select(vlVideoBitrate, args.VideoBitrate, "--vb", selection.VideoBitrate, error) ||
        !Select(vlAudioBitrate, args.AudioBitrate, "--ab", selection.AudioBitrate, error) ||
        !Select(vlSampleBitrate, args.SampleRate, "--ar", selection.SampleBitrate, error))
        return false;
    if (args.Channels > 0)
        selection.Channels = args.Channels - 1;
    return true;
}

TOutputPlacement PlacementFor(const TCliArguments& args, const std::string& settingsFile) {
    TOutputPlacement placement;
    // A job that is not skipped makes its output again under the same name: what is there is
    // damaged or short, or it would have been skipped.
    placement.Overwrite = args.Overwrite || args.SkipExisting;
    if (!args.OutputDir.empty()) {
        placement.FolderText = args.OutputDir;
        if (placement.FolderText.back() != '/')
            placement.FolderText += '/';
    } else {
        placement.FolderText =
            TSettingsStore(settingsFile).ReadOutputChoice().EffectiveOutputFolder();
    }
    return placement;
}

namespace {

std::string PreferredLanguage(const std::string& settingsFile) {
    return TSettingsStore(settingsFile).ReadOption(kPreferredLanguageKey);
}

} // namespace

TJobBuilder JobBuilderFor(const TCliArguments& args, const std::string& settingsFile,
                          const TOutputProfile& profile, const TProfileSelection& selection) {
    TJobBuilder builder(profile, selection, PlacementFor(args, settingsFile));
    builder.SetCodecThreads(args.Threads);
    // A script reads "there is an output" as "it worked".
    builder.SetKeepUnfinished(false);
    builder.SetPreferredLanguage(args.AudioLanguage ? *args.AudioLanguage
                                                    : PreferredLanguage(settingsFile));
    builder.SetSubtitleMode(args.Subtitles == "none"   ? TSubtitleMode::None
                            : args.Subtitles == "burn" ? TSubtitleMode::Burn
                                                       : TSubtitleMode::Auto);
    builder.SetRotation(static_cast<TRotationChoice>(args.Rotation));
    // A profile made for a limit keeps to it unless the command line asks for another.
    builder.SetSizeLimit(args.MaxSize > 0 ? args.MaxSize
                                          : static_cast<std::int64_t>(profile.FitInto) << 20);
    builder.SetKeepFileDates(
        args.KeepDates || TSettingsStore(settingsFile).ReadOption(kKeepFileDatesKey, "0") == "1");
    return builder;
}

} // namespace velto::cli
