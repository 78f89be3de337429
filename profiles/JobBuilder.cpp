#include "JobBuilder.h"

#include "AVProbe.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>

namespace velto {

TSourceSummary SummarizeSource(const TCustomAVProbe& probe) {
    TSourceSummary summary;
    summary.FileName = probe.GetFileName();
    summary.FormatName = probe.InputFormatName;
    TFormatInfo info{};
    probe.GetFormatInfo(info);
    if (info.Duration > 0)
        summary.DurationUs = info.Duration;
    summary.Size = probe.GetFileSize();
    summary.VideoStreams = std::max(0, probe.VideoStreamCount);
    summary.AudioStreams = std::max(0, probe.AudioStreamCount);
    summary.Picture = SourcePictureOf(probe);
    if (const AVFormatContext* context = probe.FormatContext();
        context && probe.FirstVideoStreamIndex >= 0 &&
        probe.FirstVideoStreamIndex < static_cast<int>(context->nb_streams))
        summary.Rotation = DisplayRotationOf(context->streams[probe.FirstVideoStreamIndex]);
    return summary;
}

bool ParseRotationChoice(const std::string& text, TRotationChoice& choice) {
    static const std::pair<const char*, TRotationChoice> kChoices[] = {
        {"auto", TRotationChoice::Auto}, {"none", TRotationChoice::None},
        {"0", TRotationChoice::None},    {"90", TRotationChoice::Cw90},
        {"180", TRotationChoice::Cw180}, {"270", TRotationChoice::Cw270}};
    for (const auto& [name, value] : kChoices)
        if (text == name) {
            choice = value;
            return true;
        }
    return false;
}

int RotationFor(TRotationChoice choice, const TSourceSummary& source) {
    return choice == TRotationChoice::Auto ? source.Rotation : static_cast<int>(choice);
}

namespace {

// The picture as it will enter the scaler: a quarter turn swaps its sides and its shape.
TSourcePicture TurnedPicture(TSourcePicture picture, int rotation) {
    if (rotation != 90 && rotation != 270)
        return picture;
    std::swap(picture.Width, picture.Height);
    if (picture.DisplayAspect > 0.0)
        picture.DisplayAspect = 1.0 / picture.DisplayAspect;
    return picture;
}

} // namespace

TJobBuilder::TJobBuilder(TOutputProfile profile, TProfileSelection selection,
                         TOutputPlacement placement)
    : FProfile(std::move(profile)), FSelection(selection), FPlacement(std::move(placement)) {}

TJobRecords TJobBuilder::Build(const TSourceSummary& source) {
    TJobRecords job;
    job.Input.FileName = source.FileName;
    job.Input.FileFormat = source.FormatName;
    const int rotation = source.Picture.Width > 0 ? RotationFor(FRotation, source) : 0;
    const TSourcePicture picture = TurnedPicture(source.Picture, rotation);
    job.Output = BuildOutputOptions(FProfile, FSelection, source.FileName, FPlacement, picture);
    if (rotation != 0 && !job.Output.DisableVideo) {
        // The engine turns the picture and leaves its size to the job: the source's own size
        // ("Auto") is the turned one.
        job.Output.ExtOptions += "rotate=" + std::to_string(rotation) + "\n";
        if (job.Output.FrameSize.empty() && job.Output.Target == 0)
            job.Output.FrameSize =
                std::to_string(picture.Width) + "x" + std::to_string(picture.Height);
    }
    job.Output.ExtOptions += "source_tags=1\n";
    FNotes.clear();
    if (FProfile.FileType == ".3gp" && job.Output.FrameSize == "176x144" &&
        job.Output.AudioCodec != "libamr_nb" && !job.Output.DisableAudio)
        FNotes.push_back("This build of libavcodec has no AMR-NB encoder (libopencore_amrnb, in "
                         "libavcodec-extra): the 3GP sound is AAC instead");
    if (FKeepFileDates)
        job.Output.ExtOptions += "keep_dates=1\n";
    if (FCodecThreads >= 0)
        job.Output.ExtOptions += (job.Output.ExtOptions.empty() ? "" : "\n") +
                                 std::string("threads=") + std::to_string(FCodecThreads);
    job.Output.KeepUnfinished = FKeepUnfinished;
    FPlacement.TakenPaths.push_back(job.Input.FileName);
    if (!job.Output.FileName.empty())
        FPlacement.TakenPaths.push_back(job.Output.FileName);
    return job;
}

} // namespace velto
