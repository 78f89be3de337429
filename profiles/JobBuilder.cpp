#include "JobBuilder.h"

#include "AVProbe.h"

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
    return summary;
}

TJobBuilder::TJobBuilder(TOutputProfile profile, TProfileSelection selection,
                         TOutputPlacement placement)
    : FProfile(std::move(profile)), FSelection(selection), FPlacement(std::move(placement)) {}

TJobRecords TJobBuilder::Build(const TSourceSummary& source) {
    TJobRecords job;
    job.Input.FileName = source.FileName;
    job.Input.FileFormat = source.FormatName;
    job.Output =
        BuildOutputOptions(FProfile, FSelection, source.FileName, FPlacement, source.Picture);
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
