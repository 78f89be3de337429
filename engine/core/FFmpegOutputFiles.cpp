// Writing the outputs safely: nothing on disk is touched when a job is added; the run writes each
// output into a temporary file beside it, checks every write, the trailer and the close, opens
// the result again, and only then renames it over the output name. Whatever goes wrong removes
// the temporary file, so a failed run leaves the user's folder as it was. An unfinished output
// is never left under the output's name.
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "OutputVerifier.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace velto {

namespace {

std::string FolderOf(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : fileName.substr(0, slash);
}

std::string BaseNameOf(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

bool WritesAFile(const AVFormatContext* context) {
    return context && context->oformat && !(context->oformat->flags & AVFMT_NOFILE);
}

// A hidden name in the output's folder, created exclusively so that no other job or program
// shares it; it ends in the output's own name so that its extension still tells the format.
int CreateTempFile(const std::string& fileName, std::string& name) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderOf(fileName);
    const std::string base = BaseNameOf(fileName);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const unsigned stamp = static_cast<unsigned>(
            std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid());
        name = StringPrintf("%s/.%s.velto-%08x%04x", folder.c_str(), base.c_str(), stamp,
                            counter.fetch_add(1) & 0xffff);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

} // namespace

std::string LibraryErrorReason(int code) {
    char text[256] = "";
    if (AVUtilHlpr::av_strerror(code, text, sizeof text) < 0 || !text[0])
        return StringPrintf("error %d", code);
    return text;
}

FFMpegException LibraryFailure(const std::string& text, int code) {
    return FFMpegException(text + ": " + LibraryErrorReason(code));
}

std::string OutputFolderProblem(const std::string& fileName) {
    const std::string folder = FolderOf(fileName);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        return std::strerror(errno);
    if (!S_ISDIR(info.st_mode))
        return std::strerror(ENOTDIR);
    // Only a file really made there proves the folder takes new files (root passes access()
    // checks on read-only mounts and pseudo file systems).
    std::string probe;
    if (const int error = CreateTempFile(fileName, probe))
        return std::strerror(error);
    ::unlink(probe.c_str());
    // An existing name is replaced only by a rename at the end; it must be a file to replace.
    if (::stat(fileName.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return std::strerror(EISDIR);
        if (!S_ISREG(info.st_mode))
            return "not a regular file";
    } else if (errno != ENOENT) {
        return std::strerror(errno);
    }
    return {};
}

void TCustomFFmpeg::OpenOutputTempFiles() {
    for (TOutputFile& output : OutputFiles) {
        AVFormatContext* context = output.Context.get();
        if (!WritesAFile(context) || context->pb)
            continue;
        const std::string name = context->url;
        if (const int error = CreateTempFile(name, output.TempName)) {
            output.TempName.clear();
            throw FFMpegException(
                StringPrintf("Could not open '%s': %s", name.c_str(), std::strerror(error)));
        }
        // Muxers that read their output back (MP4's index moved to the front) go by the
        // context's name, which must therefore be the file being written.
        char* temp = AVUtilHlpr::av_strdup(output.TempName.c_str());
        if (!temp)
            throw FFMpegException("av_mallocz fail");
        AVUtilHlpr::av_free(context->url);
        context->url = temp;
        output.FinalName = name;
        const int opened =
            AVFormatHlpr::avio_open(&context->pb, output.TempName.c_str(), AVIO_FLAG_WRITE);
        if (opened < 0)
            throw FFMpegException(StringPrintf("Could not open '%s': %s", name.c_str(),
                                               LibraryErrorReason(opened).c_str()));
    }
}

const char* TCustomFFmpeg::OutputName(int file) const {
    const TOutputFile& output = OutputFiles[file];
    return output.FinalName.empty() ? output.Context->url : output.FinalName.c_str();
}

void TCustomFFmpeg::CheckOutputWrites(int file) {
    const AVFormatContext* context = OutputFiles[file].Context.get();
    if (context->pb && context->pb->error < 0)
        throw FFMpegException(StringPrintf("Could not write '%s': %s", OutputName(file),
                                           LibraryErrorReason(context->pb->error).c_str()));
}

TOutputExpectation TCustomFFmpeg::ExpectedOutput(int file) const {
    TOutputExpectation expected;
    // Stopped before its first picture, an output is still kept unfinished when asked.
    expected.Packets = !StopRequested.load();
    // With "shortest" the run ends with the first input to end.
    std::int64_t longest = -1;
    std::int64_t shortest = -1;
    for (const TOutputStreamState& ost : run_->OutputStreams) {
        if (ost.FileIndex != file)
            continue;
        const AVMediaType kind = ost.Stream->codecpar->codec_type;
        expected.Video |= kind == AVMEDIA_TYPE_VIDEO;
        expected.Audio |= kind == AVMEDIA_TYPE_AUDIO;
        // A last cue may lie past the end of the film; the picture and sound say how long it is.
        if (kind == AVMEDIA_TYPE_SUBTITLE)
            continue;
        const TInputStreamState& ist = run_->InputStreams[ost.SourceIndex];
        // The stream's own length, or the container's when the stream does not give one.
        std::int64_t length = -1;
        if (ist.Stream->duration > 0 && ist.Stream->time_base.num > 0)
            length = AVUtilHlpr::av_rescale_q(ist.Stream->duration, ist.Stream->time_base,
                                              AV_TIME_BASE_Q);
        else if (InputFiles[ist.FileIndex].Context->duration > 0)
            length = InputFiles[ist.FileIndex].Context->duration;
        // An input opened at a start time holds only what follows it.
        if (length > 0)
            length = std::max<std::int64_t>(1, length - InputFiles[ist.FileIndex].StartSkipped);
        longest = std::max(longest, length);
        if (length > 0 && (shortest < 0 || length < shortest))
            shortest = length;
    }
    if (Settings.Shortest)
        longest = shortest;
    if (longest > 0) {
        longest -= std::max<std::int64_t>(0, Settings.StartTime);
        longest = std::min(longest, Settings.RecordingTime);
        expected.Duration = longest > 0 ? longest : -1;
    }
    return expected;
}

std::int64_t TCustomFFmpeg::OutputLengthLimit() const {
    std::int64_t limit = -1;
    for (int i = 0; i < static_cast<int>(OutputFiles.size()); ++i)
        limit = std::max(limit, ExpectedOutput(i).Duration);
    if (limit <= 0)
        return -1;
    // Twice the expected length and a minute more: far past any frame-rate or padding effect,
    // yet a damaged time scale that duplicates pictures without end is stopped early.
    return limit * 2 + 60 * std::int64_t(1000000);
}

void TCustomFFmpeg::FinishOutputFiles() {
    for (int i = 0; i < static_cast<int>(OutputFiles.size()); ++i) {
        AVFormatContext* context = OutputFiles[i].Context.get();
        const int trailer = AVFormatHlpr::av_write_trailer(context);
        if (trailer < 0)
            throw FFMpegException(StringPrintf("Could not write '%s': %s", OutputName(i),
                                               LibraryErrorReason(trailer).c_str()));
        if (!context->pb || !WritesAFile(context))
            continue;
        CheckOutputWrites(i);
        OutputFiles[i].ClosedSize = AVFormatHlpr::avio_size(context->pb);
        const int closed = AVFormatHlpr::avio_closep(&context->pb);
        if (closed < 0)
            throw FFMpegException(StringPrintf("Could not write '%s': %s", OutputName(i),
                                               LibraryErrorReason(closed).c_str()));
    }
    if (FitPass() == 1)
        return; // a first pass only measures: its output goes with the temporary file
    const bool stopped = StopRequested.load();
    // A frame or size limit ends the output where the user asked: shorter than the source, but
    // not short of what was asked for.
    bool limited = Settings.FileSizeLimit != 0;
    for (const int frames : Settings.MaxFrames)
        limited |= frames != INT32_MAX;
    std::string incomplete;
    std::vector<bool> keep(OutputFiles.size(), true);
    for (int i = 0; i < static_cast<int>(OutputFiles.size()); ++i) {
        const TOutputFile& output = OutputFiles[i];
        if (output.TempName.empty())
            continue;
        const TOutputExpectation expected = ExpectedOutput(i);
        const TOutputCheck check = VerifyOutput(output.TempName, expected);
        if (check.Verdict == ovInvalid) {
            if (stopped) {
                keep[i] = false;
                continue;
            }
            throw FFMpegException(StringPrintf("The output '%s' is not valid: %s", OutputName(i),
                                               check.Problem.c_str()));
        }
        if (check.Verdict == ovShort && !stopped && !limited && incomplete.empty())
            incomplete = "source ended at " + FormatClockTime(check.Duration) + " of " +
                         FormatClockTime(expected.Duration);
    }
    // Only a complete output takes the output's name. A stopped or short one, when asked to keep
    // unfinished outputs, goes to a name that says so, replacing an older unfinished one there.
    const bool complete = !stopped && incomplete.empty();
    for (int i = 0; complete && i < static_cast<int>(OutputFiles.size()); ++i)
        if (!OutputFiles[i].TempName.empty() && OverFitSize(i))
            return; // encoded again at a lower rate
    for (int i = 0; i < static_cast<int>(OutputFiles.size()); ++i) {
        TOutputFile& output = OutputFiles[i];
        if (output.TempName.empty() || !keep[i] || (!complete && !KeepUnfinishedOutput))
            continue; // the release removes the temporary file
        if (complete) {
            if (std::rename(output.TempName.c_str(), output.FinalName.c_str()) != 0)
                throw FFMpegException(StringPrintf("Could not write '%s': %s",
                                                   output.FinalName.c_str(), std::strerror(errno)));
            output.TempName.clear();
            if (Settings.KeepFileDates && !InputFiles.empty() && InputFiles[0].Context)
                KeepSourceDate(InputFiles[0].Context->url, output.FinalName);
            continue;
        }
        // Keeping is a courtesy: when it cannot be done the job still ends as it did.
        const std::string kept = UnfinishedOutputName(output.FinalName);
        struct stat info {};
        if (::lstat(kept.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            Log(0, StringPrintf("Unfinished output not kept: '%s' is not a file", kept.c_str()));
            continue;
        }
        if (std::rename(output.TempName.c_str(), kept.c_str()) != 0) {
            Log(0, StringPrintf("Unfinished output not kept as '%s': %s", kept.c_str(),
                                std::strerror(errno)));
            continue;
        }
        output.TempName.clear();
        Log(1, StringPrintf("Unfinished output kept as '%s'", kept.c_str()));
    }
    IncompleteReason = incomplete;
}

void TCustomFFmpeg::KeepSourceDate(const char* source, const std::string& output) {
    std::error_code error;
    const auto date = source ? std::filesystem::last_write_time(source, error)
                             : std::filesystem::file_time_type();
    if (!error)
        std::filesystem::last_write_time(output, date, error);
    // The output itself is complete; only its date could not follow the source.
    if (error)
        Log(0, StringPrintf("Could not give '%s' the date of its source: %s", output.c_str(),
                            error.message().c_str()));
}

void TCustomFFmpeg::DiscardOutputTempFiles() {
    for (TOutputFile& output : OutputFiles) {
        if (output.TempName.empty())
            continue;
        if (output.Context && output.Context->pb)
            AVFormatHlpr::avio_closep(&output.Context->pb);
        ::unlink(output.TempName.c_str());
        output.TempName.clear();
    }
}

} // namespace velto
