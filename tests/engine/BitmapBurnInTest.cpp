// Bitmap subtitles (a DVD subtitle track) drawn into the picture: the block shows during its span
// where its frame places it, also in a resized output, and nothing else changes; without burning
// the picture is untouched; a track no decoder accepts fails the job with the library's reason.
#include "DecodedMedia.h"
#include "FFmpeg.h"
#include "MediaFactory.h"
#include "TaskOptions.h"
#include "TestLibraries.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

// Mean luma of a region given in pixels of the picture.
double MeanLuma(const Picture& picture, int left, int top, int right, int bottom) {
    double sum = 0;
    int count = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x, ++count)
            sum += picture.luma[static_cast<std::size_t>(y) * picture.width + x];
    return count ? sum / count : -1.0;
}

class BitmapBurnIn : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
    }

    // Two seconds of 176x144 MPEG-4 with the block's subtitle track as stream 1.
    std::string Clip(const BitmapSubtitleTrack& block, const std::string& name = "dvdsub.mkv",
                     double seconds = 2.0) {
        MediaRecipe recipe;
        recipe.seconds = seconds;
        recipe.video.push_back(VideoTrack{});
        recipe.bitmapSubtitles = {block};
        return MakeMedia(folder + "/" + name, recipe);
    }

    // Converts to MPEG-4 in AVI, burning stream 1 in when asked; empty when it finished.
    std::string Convert(const std::string& source, const std::string& name, bool burn,
                        const std::string& frameSize = "", int startMs = -1) {
        TFFmpeg task;
        task.InitOptions();
        task.Settings.Verbosity = -1;
        TInputOptions input;
        input.FileName = source;
        input.StartTime = startMs;
        TOutputOptions output;
        output.FileName = folder + "/" + name;
        output.VideoCodec = "mpeg4";
        output.VideoBitRate = 2000000;
        output.FrameSize = frameSize;
        output.DisableAudio = true;
        output.DisableSubtitle = !burn;
        output.BurnSubtitle = burn;
        output.SubtitleStream = burn ? 1 : -1;
        std::string failure;
        try {
            ApplyInputRecord(task, "", input);
            task.OpenInputFile(source);
            ApplyOutputRecord(task, "", output, nullptr, nullptr);
            task.OpenOutputFile(output.FileName);
            task.Transcode();
            if (!task.Finished)
                failure = "not finished: " + task.IncompleteReason;
        } catch (const std::exception& error) {
            failure = error.what();
        }
        task.CloseOpenCodecs();
        task.ReleaseFiles();
        return failure;
    }

    std::string folder;
};

TEST_F(BitmapBurnIn, BlockShowsInItsSpanOnlyAndPlainRunsLeaveThePicture) {
    const std::string source = Clip(BitmapSubtitleTrack{});
    ASSERT_EQ(Convert(source, "plain.avi", false), "");
    ASSERT_EQ(Convert(source, "burned.avi", true), "");
    const std::string plain = folder + "/plain.avi", burned = folder + "/burned.avi";

    // The block covers x 48..128, y 40..100 from 0.4 s to 1.2 s.
    const Picture clean = PictureAt(plain, 0.8), drawn = PictureAt(burned, 0.8);
    ASSERT_EQ(drawn.width, 176);
    EXPECT_GT(MeanLuma(drawn, 56, 48, 120, 92), 230.0);
    EXPECT_GT(MeanLuma(drawn, 56, 48, 120, 92) - MeanLuma(clean, 56, 48, 120, 92), 20.0);
    // Around the block the film is the same.
    EXPECT_LT(MeanDifference(clean, drawn, 0.0, 0.2), 1.5);
    EXPECT_LT(MeanDifference(clean, drawn, 0.8, 1.0), 1.5);
    for (const double outside : {0.1, 0.3, 1.3, 1.8})
        EXPECT_LT(MeanDifference(PictureAt(plain, outside), PictureAt(burned, outside), 0.0, 1.0),
                  1.5)
            << "at " << outside << " s";

    // Without burning, the subtitle track changes nothing in the picture.
    MediaRecipe bare;
    bare.seconds = 2.0;
    bare.video.push_back(VideoTrack{});
    const std::string film = MakeMedia(folder + "/bare.mkv", bare);
    ASSERT_EQ(Convert(film, "bare.avi", false), "");
    EXPECT_LT(MeanDifference(PictureAt(folder + "/bare.avi", 0.8), clean, 0.0, 1.0), 1.5);
}

TEST_F(BitmapBurnIn, BlockFollowsThePictureIntoAResizedOutput) {
    const std::string source = Clip(BitmapSubtitleTrack{});
    ASSERT_EQ(Convert(source, "plain.avi", false, "352x288"), "");
    ASSERT_EQ(Convert(source, "burned.avi", true, "352x288"), "");
    const Picture clean = PictureAt(folder + "/plain.avi", 0.8);
    const Picture drawn = PictureAt(folder + "/burned.avi", 0.8);
    ASSERT_EQ(drawn.width, 352);
    // Twice the size, twice the offsets: x 96..256, y 80..200.
    EXPECT_GT(MeanLuma(drawn, 112, 96, 240, 184), 230.0);
    EXPECT_LT(std::abs(MeanLuma(drawn, 272, 0, 352, 288) - MeanLuma(clean, 272, 0, 352, 288)), 1.5);
    EXPECT_LT(std::abs(MeanLuma(drawn, 0, 0, 80, 288) - MeanLuma(clean, 0, 0, 80, 288)), 1.5);
}

TEST_F(BitmapBurnIn, ARunStartingLateShowsTheSubtitleAlreadyOnScreenThen) {
    // A 16 s film with the block shown from 0.6 s to 1.4 s of every second; the run starts at
    // 12 s, far enough in for the subtitle reader to seek rather than read up to there.
    BitmapSubtitleTrack block;
    block.startMs = 600;
    block.endMs = 1400;
    block.repeats = 15;
    const std::string source = Clip(block, "late.mkv", 16.0);
    ASSERT_EQ(Convert(source, "late.avi", true, "", 12000), "");
    ASSERT_EQ(Convert(source, "late_plain.avi", false, "", 12000), "");
    const std::string burned = folder + "/late.avi", plain = folder + "/late_plain.avi";
    // 11.6 to 12.4 s is on screen as the run starts, and 12.6 to 13.4 s comes next.
    for (const double at : {0.2, 1.0})
        EXPECT_GT(MeanLuma(PictureAt(burned, at), 56, 48, 120, 92), 230.0) << 12 + at << " s";
    EXPECT_LT(MeanDifference(PictureAt(plain, 0.5), PictureAt(burned, 0.5), 0.0, 1.0), 1.5)
        << "12.5 s, between two";
}

TEST_F(BitmapBurnIn, UndecodableTrackFailsTheJobWithTheReason) {
    BitmapSubtitleTrack broken;
    broken.undecodable = true;
    const std::string source = Clip(broken, "dvbsub.mkv");
    const std::string failure = Convert(source, "burned.avi", true);
    EXPECT_NE(failure.find("subtitles to burn in"), std::string::npos) << failure;
    // The library's reason follows the text.
    EXPECT_NE(failure.find(": "), std::string::npos) << failure;
}

} // namespace
} // namespace velto::test
