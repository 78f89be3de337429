// A job that must fit into a number of bytes: a first pass that only measures the picture, a
// second that spends the rate where the picture needs it, and, when the verified result is still
// over the limit, another second pass at a rate lowered by the excess, or, once the encoder
// gives no more at that rate, a smaller picture. Nothing over the limit ever takes the output
// name.
#include "FFmpeg.h"
#include "MyUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <tuple>
#include <utility>

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
// Smaller pictures after the rate alone failed: each takes the sides down by the excess, or
// halves the frame rate once when a smaller picture hardly helped.
constexpr int kShrinks = 3;
constexpr int kSmallestSide = 64;

// Both sides made smaller, on the 16-pixel grid the block encoders like. Of the widths a few
// steps under the scaled one, the one whose height keeps the sides' ratio best is taken: not
// every container stores the sample shape that would make up for it.
std::pair<int, int> ScaledSides(int width, int height, double scale) {
    const double ratio = static_cast<double>(width) / height;
    const int first = std::max(kSmallestSide, static_cast<int>(width * scale) / 16 * 16);
    std::pair<int, int> best{first,
                             std::max(kSmallestSide, static_cast<int>(height * scale) / 16 * 16)};
    double bestError = 1e9;
    for (int w = first; w >= std::max(kSmallestSide, first - 48); w -= 16) {
        const int h = std::max(kSmallestSide, static_cast<int>(std::lround(w / ratio / 16.0)) * 16);
        const double error = std::abs(static_cast<double>(w) / h - ratio) / ratio;
        if (error < bestError - 0.005) {
            bestError = error;
            best = {w, h};
        }
    }
    return best;
}
int ScaledPad(int pad, double scale) {
    return static_cast<int>(pad * scale) / 2 * 2;
}

} // namespace

void TCustomFFmpeg::ReopenForNextPass() {
    // The output of the pass before is a temporary file; the release removes it.
    const int verbosity = Settings.Verbosity;
    ReleaseFilesAndOptions();
    Settings.Verbosity = verbosity;
    OpenFilesForRun();
}

void TCustomFFmpeg::ScalePictureForFit() {
    if (sizeFit_.FewerPictures && Settings.FrameRate.num > 0 && Settings.FrameRate.den > 0)
        Settings.FrameRate.den *= 2;
    const double scale = sizeFit_.FrameScale;
    if (scale >= 1.0 || Settings.FrameWidth <= 0 || Settings.FrameHeight <= 0)
        return;
    // The shown shape stays the job's: a picture of square samples keeps its sides' ratio.
    if (Settings.FrameAspectRatio <= 0.0f) {
        Settings.FrameAspectRatio =
            static_cast<float>(Settings.FrameWidth + Settings.PadLeft + Settings.PadRight) /
            static_cast<float>(Settings.FrameHeight + Settings.PadTop + Settings.PadBottom);
        Settings.AspectFromInput = false;
    }
    std::tie(Settings.FrameWidth, Settings.FrameHeight) =
        ScaledSides(Settings.FrameWidth, Settings.FrameHeight, scale);
    for (int* pad : {&Settings.PadTop, &Settings.PadBottom, &Settings.PadLeft, &Settings.PadRight})
        *pad = ScaledPad(*pad, scale);
}

void TCustomFFmpeg::ShrinkPicture() {
    const double over = static_cast<double>(sizeFit_.OverSize);
    // At the coarsest quantiser the size follows the picture's area, so the sides go down by
    // the root of the excess, with a margin; the rate goes back to the whole budget.
    const double factor =
        std::clamp(std::sqrt(static_cast<double>(Settings.FitSize) / over) * 0.92, 0.5, 0.9);
    // Where the pictures' count costs more than their area (frequent key pictures, a source's
    // pictures repeated up to the output's rate), half as many do what smaller ones did not.
    const bool areaHelped = sizeFit_.ShrunkFrom == 0 || over < 0.95 * sizeFit_.ShrunkFrom;
    const bool fewer = !areaHelped && !sizeFit_.FewerPictures;
    if (fewer)
        sizeFit_.FewerPictures = true;
    else
        sizeFit_.FrameScale *= factor;
    sizeFit_.ShrunkFrom = over;
    sizeFit_.ShrinkDue = false;
    --sizeFit_.ShrinksLeft;
    sizeFit_.RateScale = 1.0;
    sizeFit_.RepeatsLeft = kRepeats;
    sizeFit_.OverSize = 0;
    sizeFit_.EarlierSize = 0;
    sizeFit_.Pass = 1;
    ReopenForNextPass();
    const std::string change = fewer ? StringPrintf("the frame rate is halved, to %.4g per second",
                                                    av_q2d(Settings.FrameRate))
                                     : StringPrintf("the picture is made smaller, to %dx%d",
                                                    Settings.FrameWidth, Settings.FrameHeight);
    Log(0, StringPrintf("At this picture size the output comes to about %.0f bytes, over the "
                        "limit of %lld, and this encoder makes it no smaller: %s",
                        over, static_cast<long long>(Settings.FitSize), change.c_str()));
    Log(1, "First pass: measuring the smaller picture");
    Transcode();
    Finished = false;
    sizeFit_.Pass = 2;
}

bool TCustomFFmpeg::PictureMayShrink() const {
    if (!run_ || sizeFit_.Pass != 2 || sizeFit_.ShrinksLeft <= 0 || !Settings.VideoFilters.empty())
        return false;
    bool video = false;
    for (const TOutputStreamState& ost : run_->OutputStreams) {
        if (!ost.Encoder || ost.Encoder->codec_type != AVMEDIA_TYPE_VIDEO)
            continue;
        // These take only the sizes of their standards (H.263's five, the discs').
        switch (ost.Encoder->codec_id) {
        case AV_CODEC_ID_H261:
        case AV_CODEC_ID_H263:
        case AV_CODEC_ID_MPEG1VIDEO:
        case AV_CODEC_ID_MPEG2VIDEO:
        case AV_CODEC_ID_DVVIDEO:
            return false;
        default:
            video = true;
        }
    }
    return video && Settings.FrameWidth > kSmallestSide && Settings.FrameHeight > kSmallestSide;
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
        sizeFit_.ShrinksLeft = kShrinks;
        while (!StopRequested.load()) {
            ReopenForNextPass();
            Log(1, "Second pass");
            sizeFit_.EarlierSize = sizeFit_.OverSize;
            sizeFit_.OverSize = 0;
            try {
                Transcode();
            } catch (const TRateOutOfReach& tooFew) {
                if (!tooFew.Shrinkable)
                    throw;
                // Refused before a picture was coded: the excess is the rate's shortfall.
                sizeFit_.OverSize = static_cast<std::int64_t>(
                    static_cast<double>(Settings.FitSize) / std::max(tooFew.Share, 0.01));
                sizeFit_.ShrinkDue = true;
            }
            if (sizeFit_.OverSize == 0)
                break;
            Finished = false;
            if (sizeFit_.ShrinkDue) {
                ShrinkPicture();
                continue;
            }
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
    // A rate cut that hardly shrank the file: the encoder's coarsest quantiser is reached.
    const bool floor =
        sizeFit_.EarlierSize > 0 &&
        static_cast<double>(output.ClosedSize) > 0.95 * static_cast<double>(sizeFit_.EarlierSize);
    const bool lowerRate = sizeFit_.RepeatsLeft > 0 && !floor;
    const bool smaller = !lowerRate && PictureMayShrink();
    if (sizeFit_.Pass == 2 && (lowerRate || smaller)) {
        sizeFit_.OverSize = output.ClosedSize;
        sizeFit_.VideoBytes = run_->Counters.VideoSize;
        sizeFit_.ShrinkDue = smaller;
        return true;
    }
    throw FFMpegException(StringPrintf(
        "The output '%s' came to %lld bytes, over its limit of %lld%s", OutputName(file),
        static_cast<long long>(output.ClosedSize), static_cast<long long>(Settings.FitSize),
        floor ? ": this encoder makes it no smaller at this frame size; a smaller frame size or a "
                "larger limit would fit"
              : ""));
}

} // namespace velto
