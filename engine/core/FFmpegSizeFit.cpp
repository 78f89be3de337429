// A job that must fit into a number of bytes: a first pass that only measures the picture, a
// second that spends the rate where the picture needs it, and, when the verified result is still
// over the limit, another second pass at a rate lowered by the excess. Nothing over the limit
// ever takes the output name.
#include "FFmpeg.h"
#include "MyUtils.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace velto {

namespace {

// The passes' logs live in a folder of the job's own, made here unless the caller gave a log
// name, and removed with everything in it when the run ends.
class TPassLogFolder {
public:
    explicit TPassLogFolder(const std::string& givenPrefix) {
        if (!givenPrefix.empty()) {
            prefix_ = givenPrefix;
            return;
        }
        std::error_code error;
        std::filesystem::path base = std::filesystem::temp_directory_path(error);
        if (error)
            base = "/tmp";
        std::string pattern = (base / "velto-passes-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw FFMpegException("Could not make a folder for the two-pass log in " +
                                  base.string());
        folder_ = pattern;
        prefix_ = folder_ + "/pass";
    }
    ~TPassLogFolder() {
        std::error_code error;
        if (!folder_.empty())
            std::filesystem::remove_all(folder_, error);
    }
    TPassLogFolder(const TPassLogFolder&) = delete;
    TPassLogFolder& operator=(const TPassLogFolder&) = delete;
    const std::string& Prefix() const { return prefix_; }

private:
    std::string folder_;
    std::string prefix_;
};

// Second passes after the first: enough for a container whose overhead was guessed badly and an
// encoder whose size follows its rate less than fully, few enough that a job that cannot fit
// fails in bounded time.
constexpr int kRepeats = 3;

} // namespace

void TCustomFFmpeg::ReopenForNextPass() {
    // The output of the pass before is a temporary file; the release removes it.
    const int verbosity = Settings.Verbosity;
    ReleaseFilesAndOptions();
    Settings.Verbosity = verbosity;
    OpenFilesForRun();
}

void TCustomFFmpeg::RunFittedPasses() {
    const TPassLogFolder logs(Settings.PassLogFilePrefix);
    sizeFit_ = TSizeFit();
    sizeFit_.LogPrefix = logs.Prefix();
    try {
        // Without a way to open the files again a task gets one pass, still checked.
        if (!OpenFilesForRun) {
            Transcode();
            sizeFit_ = TSizeFit();
            return;
        }
        sizeFit_.Pass = 1;
        ReopenForNextPass(); // the codecs were set up before the pass was known
        Log(1, "First pass: measuring the picture");
        Transcode();
        Finished = false;
        sizeFit_.Pass = 2;
        sizeFit_.RepeatsLeft = kRepeats;
        while (!StopRequested.load()) {
            ReopenForNextPass();
            Log(1, "Second pass");
            sizeFit_.EarlierSize = sizeFit_.OverSize;
            sizeFit_.OverSize = 0;
            Transcode();
            if (sizeFit_.OverSize == 0)
                break;
            // Take the excess off the video, and a per cent of the limit more for the
            // encoder's own drift; more at each repeat, since MPEG-4 Part 2 near its coarsest
            // quantiser gives back less than the rate taken off.
            const double video =
                static_cast<double>(std::max<std::int64_t>(sizeFit_.VideoBytes, 1));
            const int repeat = kRepeats - sizeFit_.RepeatsLeft;
            const double excess = static_cast<double>(sizeFit_.OverSize - Settings.FitSize) +
                                  0.01 * (1 + 2 * repeat) * static_cast<double>(Settings.FitSize);
            sizeFit_.RateScale *= std::clamp((video - excess) / video, 0.25, 0.98);
            --sizeFit_.RepeatsLeft;
            Finished = false;
            Log(1,
                StringPrintf("The output came to %lld bytes, over the limit of %lld: encoding "
                             "again at %.0f %% of the rate",
                             static_cast<long long>(sizeFit_.OverSize),
                             static_cast<long long>(Settings.FitSize), sizeFit_.RateScale * 100.0));
        }
    } catch (...) {
        sizeFit_ = TSizeFit();
        throw;
    }
    sizeFit_ = TSizeFit();
}

bool TCustomFFmpeg::OverFitSize(int file) {
    const TOutputFile& output = OutputFiles[file];
    if (Settings.FitSize <= 0 || output.ClosedSize <= Settings.FitSize)
        return false;
    if (sizeFit_.Pass == 2 && sizeFit_.RepeatsLeft > 0) {
        sizeFit_.OverSize = output.ClosedSize;
        sizeFit_.VideoBytes = run_->Counters.VideoSize;
        return true;
    }
    // A rate cut that hardly shrank the file: the encoder's coarsest quantiser is reached.
    const bool floor =
        sizeFit_.EarlierSize > 0 &&
        static_cast<double>(output.ClosedSize) > 0.95 * static_cast<double>(sizeFit_.EarlierSize);
    throw FFMpegException(StringPrintf(
        "The output '%s' came to %lld bytes, over its limit of %lld%s", OutputName(file),
        static_cast<long long>(output.ClosedSize), static_cast<long long>(Settings.FitSize),
        floor ? ": this encoder makes it no smaller at this frame size; a smaller frame size or a "
                "larger limit would fit"
              : ""));
}

} // namespace velto
