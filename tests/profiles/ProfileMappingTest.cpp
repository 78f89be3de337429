// Profile values as the dialog's lists show them, mapped onto the output record.
#include "ProfileMapping.h"

#include <gtest/gtest.h>

namespace velto {
namespace {

// The fields the mapping sets, in one line, so that a row states its whole expectation.
std::string Summary(const TOutputOptions& o) {
    return "v=" + o.VideoCodec + " a=" + o.AudioCodec + " s=" + o.FrameSize + " r=" + o.FrameRate +
           " vb=" + std::to_string(o.VideoBitRate) + " ab=" + std::to_string(o.AudioBitRate) +
           " ar=" + std::to_string(o.AudioSampleRate) + " ac=" + std::to_string(o.AudioChannels) +
           " " + o.FileType + (o.VideoTag.empty() ? "" : " tag=" + o.VideoTag) +
           (o.FileFormat.empty() ? "" : " f=" + o.FileFormat) + (o.DisableVideo ? " vn" : "") +
           (o.Target ? " target=" + std::to_string(o.Target) + std::to_string(o.TargetNorm) +
                           std::to_string(o.TargetFallbackNorm)
                     : "");
}

TEST(ProfileMappingTest, ProfilesMapOntoRecords) {
    // Fields: video, audio, frame size, video kbit/s, frame rate, audio kbit/s, Hz, channel
    // index, IsPSP, Edit, file type.
    const struct {
        TOutputProfile p;
        const char* expected;
    } rows[] = {
        {{"mp4", "aac", "320 x 240", "384", "15", "64", "24000", 1, "", 1, ".mp4"},
         "v=mpeg4 a=libfaac s=320x240 r=15 vb=384000 ab=64000 ar=24000 ac=2 .mp4"},
        // Only the sample rates Flash players take survive.
        {{"flv", "mp3", "320 x 240", "400", "25", "64", "48000", 0, "", 1, ".flv"},
         "v=flv a=libmp3lame s=320x240 r=25 vb=400000 ab=64000 ar=22050 ac=1 .flv"},
        {{"flv", "mp3", "320 x 240", "400", "25", "64", "44100", 0, "", 1, ".swf"},
         "v=flv a=libmp3lame s=320x240 r=25 vb=400000 ab=64000 ar=44100 ac=1 .swf"},
        {{"h263", "amr", "176 x 144", "190", "15", "32", "8000", 0, "", 1, ".3gp"},
         "v=h263 a=libamr_nb s=176x144 r=15 vb=190000 ab=12200 ar=8000 ac=1 .3gp"},
        // Feature phones play AMR-NB, whatever the stored profile names, where the build
        // has its encoder.
        {{"h263", "AAC", "176 x 144", "190", "15", "48", "8000", 0, "", 1, ".3gp"},
         HasAmrEncoder() ? "v=h263 a=libamr_nb s=176x144 r=15 vb=190000 ab=12200 ar=8000 ac=1 .3gp"
                         : "v=h263 a=libfaac s=176x144 r=15 vb=190000 ab=48000 ar=8000 ac=1 .3gp"},
        {{"mp4", "aac", "320 x 240", "384", "15", "64", "24000", 1, "", 1, ".3gp"},
         "v=mpeg4 a=libfaac s=320x240 r=15 vb=384000 ab=64000 ar=24000 ac=2 .3gp"},
        // PSP forces its rates and muxer but keeps the chosen frame size; iPod forces the size.
        {{"xvid", "mp3", "640 x 480", "512", "25", "128", "44100", 1, "", 1, ".psp"},
         "v=mpeg4 a=libfaac s=640x480 r=15000/1001 vb=512000 ab=128000 ar=24000 ac=2 _psp.mp4 "
         "f=psp"},
        {{"h264", "mp3", "640 x 480", "768", "Auto", "128", "44100", 1, "", 1, ".ipod"},
         "v=mpeg4 a=libfaac s=320x240 r= vb=768000 ab=128000 ar=44100 ac=2 _ipod.mp4"},
        {{"mpg2", "ac3", "Auto", "2376", "25", "224", "44100", 1, "", 1, ".svcd"},
         "v=mpeg2video a=ac3 s= r=25 vb=2376000 ab=224000 ar=44100 ac=2 _svcd_auto.mpg "
         "target=201"},
        // Codes ignore case, file types do not.
        {{"DivX", "Mp3", "640 x 480", "1200", "29.976", "128", "44100", 1, "", 1, ".MP4"},
         "v=mpeg4 a=libmp3lame s=640x480 r=30000/1001 vb=1200000 ab=128000 ar=44100 ac=2 .MP4 "
         "tag=DIVX"},
        {{"wmv2", "wma1", "320 x 240", "768", "25", "128", "44100", 1, "", 1, ".wma"},
         "v=wmv2 a=wmav2 s=320x240 r=25 vb=768000 ab=128000 ar=44100 ac=2 .wma vn"},
        // Unknown codes and values outside the lists: empty names and the fall-backs.
        {{"rv40", "speex", "320x240", "", "24", "65", "", 7, "", 1, ".avi"},
         "v= a= s= r= vb=200000 ab=64000 ar=22050 ac=0 .avi"},
        // Today's codecs: HEVC under the tag Apple's players need; Opus at its own rates.
        {{"H265", "aac", "1920 x 1080", "4000", "Auto", "192", "48000", 1, "", 1, ".mp4"},
         "v=libx265 a=libfaac s=1920x1080 r= vb=4000000 ab=192000 ar=48000 ac=2 .mp4 tag=hvc1"},
        {{"vp9", "opus", "1280 x 720", "2000", "Auto", "128", "44100", 1, "", 1, ".webm"},
         "v=libvpx-vp9 a=libopus s=1280x720 r= vb=2000000 ab=128000 ar=48000 ac=2 .webm"},
        {{"vp9", "vorbis", "1280 x 720", "2000", "Auto", "128", "44100", 1, "", 1, ".webm"},
         "v=libvpx-vp9 a=libvorbis s=1280x720 r= vb=2000000 ab=128000 ar=44100 ac=2 .webm"},
        // Sound-only files drop the picture and take the one codec they hold.
        {{"", "mp3", "", "", "", "192", "44100", 1, "", 1, ".mp3"},
         "v= a=libmp3lame s= r= vb=200000 ab=192000 ar=44100 ac=2 .mp3 vn"},
        {{"h264", "mp3", "Auto", "768", "25", "160", "44100", 1, "", 1, ".m4a"},
         "v=libx264 a=libfaac s= r=25 vb=768000 ab=160000 ar=44100 ac=2 .m4a vn"},
        {{"", "flac", "", "", "", "", "48000", 0, "", 1, ".flac"},
         "v= a=flac s= r= vb=200000 ab=64000 ar=48000 ac=1 .flac vn"},
        {{"", "aac", "", "", "", "160", "44100", 1, "", 1, ".oga"},
         "v= a=libvorbis s= r= vb=200000 ab=160000 ar=44100 ac=2 .oga vn"},
    };
    for (const auto& row : rows) {
        const TOutputOptions o = MapProfile(row.p, SelectionFor(row.p));
        EXPECT_EQ(Summary(o), row.expected);
        EXPECT_EQ(o.Timestamp, 0.0);
    }
}

// Rate control: one second of tolerance for every encoder, and libvpx in its constant-rate mode.
TEST(ProfileMappingTest, RateLimitsFollowTheVideoBitRate) {
    const TOutputProfile h263{"h263", "aac", "176 x 144", "190", "15",  "32",
                              "8000", 0,     "",          1,     ".3gp"};
    const TOutputOptions o = MapProfile(h263, SelectionFor(h263));
    EXPECT_EQ(o.VideoBitRateTolerance, 190000);
    EXPECT_EQ(o.MaxRate, -1);
    const TOutputProfile vp9{"vp9",   "opus", "1280 x 720", "2000", "Auto", "128",
                             "48000", 1,      "",           1,      ".webm"};
    const TOutputOptions w = MapProfile(vp9, SelectionFor(vp9));
    EXPECT_EQ(w.MinRate, 2000000);
    EXPECT_EQ(w.MaxRate, 2000000);
    EXPECT_EQ(w.BufSize, 2000000);
}

TEST(ProfileMappingTest, PictureFitsTheFrameAtItsShownProportions) {
    const struct {
        int frameWidth, frameHeight;
        TSourcePicture source;
        bool follow;
        TPictureFit expected;
    } rows[] = {
        // 16:9 into 4:3: bars above and below; 4:3 into 16:9: at the sides.
        {320, 240, {640, 360}, false, {320, 180, 30, 30, 0, 0}},
        {640, 360, {640, 480}, false, {480, 360, 0, 0, 80, 80}},
        // The same shape fills the frame; the sample aspect counts (720x576 shown at 16:9).
        {320, 240, {320, 240}, false, {320, 240, 0, 0, 0, 0}},
        {320, 240, {720, 576, 16.0 / 9.0}, false, {320, 180, 30, 30, 0, 0}},
        // Odd leftovers stay even: 2.35:1 into 176x144 leaves 70 rows, split 34 and 36.
        {176, 144, {470, 200}, false, {176, 74, 34, 36, 0, 0}},
        // The frame follows the source within the bound, never above the source's size.
        {1280, 720, {1920, 800}, true, {1280, 532, 0, 0, 0, 0}},
        {1280, 720, {640, 480}, true, {640, 480, 0, 0, 0, 0}},
        {1280, 720, {1440, 1080}, true, {960, 720, 0, 0, 0, 0}},
        {1920, 1080, {720, 576, 16.0 / 9.0}, true, {1024, 576, 0, 0, 0, 0}},
        // An upright phone picture turns the bound instead of shrinking to a strip.
        {1920, 1080, {1080, 1920}, true, {1080, 1920, 0, 0, 0, 0}},
        {1280, 720, {1080, 1920}, true, {720, 1280, 0, 0, 0, 0}},
        // A source without a picture size leaves the frame whole.
        {320, 240, {0, 0}, true, {320, 240, 0, 0, 0, 0}},
    };
    for (const auto& row : rows) {
        const TPictureFit fit = FitPicture(row.frameWidth, row.frameHeight, row.source, row.follow);
        SCOPED_TRACE(std::to_string(row.source.Width) + "x" + std::to_string(row.source.Height) +
                     " in " + std::to_string(row.frameWidth) + "x" +
                     std::to_string(row.frameHeight));
        EXPECT_EQ(fit.Width, row.expected.Width);
        EXPECT_EQ(fit.Height, row.expected.Height);
        EXPECT_EQ(fit.PadTop, row.expected.PadTop);
        EXPECT_EQ(fit.PadBottom, row.expected.PadBottom);
        EXPECT_EQ(fit.PadLeft, row.expected.PadLeft);
        EXPECT_EQ(fit.PadRight, row.expected.PadRight);
    }
}

TEST(ProfileMappingTest, KeptProportionsSetSizePadsAndSquarePixels) {
    const TOutputProfile ipod{"mp4",   "aac", "320 x 240", "768", "25",   "128",
                              "44100", 1,     "",          0,     ".ipod"};
    TProfileSelection selection = SelectionFor(ipod);
    const TSourcePicture wide{1280, 720, 0.0, 25.0};
    // Off (the old profiles' way): the picture is stretched to the frame, nothing padded.
    TOutputOptions o = BuildOutputOptions(ipod, selection, "/v/clip.avi", {}, wide);
    EXPECT_EQ(o.FrameSize, "320x240");
    EXPECT_EQ(o.PadTop, -1);
    EXPECT_EQ(o.AspectRatio, "");
    selection.KeepAspect = true;
    o = BuildOutputOptions(ipod, selection, "/v/clip.avi", {}, wide);
    EXPECT_EQ(o.FrameSize, "320x180");
    EXPECT_EQ(o.PadTop, 30);
    EXPECT_EQ(o.PadBottom, 30);
    EXPECT_EQ(o.PadLeft, 0);
    EXPECT_EQ(o.AspectRatio, "320:240");
    EXPECT_EQ(o.PadColor, 0x101010u); // video black
    // Nothing to follow: no picture, "Auto" size, or a disc whose preset fixes the frame.
    EXPECT_EQ(BuildOutputOptions(ipod, selection, "/v/a.mp3", {}, {}).FrameSize, "320x240");
    TOutputProfile dvd{"mpg2", "ac3", "720 x 576", "4000", "25", "192", "48000", 1, "", 0, ".dvd"};
    TProfileSelection dvdSelection = SelectionFor(dvd);
    dvdSelection.KeepAspect = true;
    EXPECT_EQ(BuildOutputOptions(dvd, dvdSelection, "/v/clip.avi", {}, wide).PadTop, -1);

    // A phone profile: the frame takes the source's shape, H.264 at the level it needs.
    TOutputProfile phone{"h264", "aac", "1920 x 1080", "6000", "Auto", "192", "48000", 1,
                         "",     1,     ".mp4"};
    phone.KeepAspect = 1;
    phone.FrameFollowsSource = 1;
    o = BuildOutputOptions(phone, SelectionFor(phone), "/v/clip.avi", {}, {1920, 800, 0.0, 60.0});
    EXPECT_EQ(o.FrameSize, "1920x800");
    EXPECT_EQ(o.PadTop, 0);
    EXPECT_EQ(o.AspectRatio, "1920:800");
    EXPECT_EQ(o.ExtOptions, "vprofile=100\nvlevel=42\nmovflags=+faststart\n");
}

TEST(ProfileMappingTest, H264LevelsCoverFrameAndPictureRate) {
    const struct {
        int width, height;
        double rate;
        int level;
    } rows[] = {{640, 360, 25, 30},  {854, 480, 30, 31},   {1280, 720, 30, 31},
                {1280, 720, 60, 32}, {1920, 1080, 30, 40}, {1920, 1080, 60, 42},
                {1080, 1920, 0, 40}, {3840, 2160, 30, 51}, {7680, 4320, 30, 52}};
    for (const auto& row : rows)
        EXPECT_EQ(H264LevelFor(row.width, row.height, row.rate), row.level)
            << row.width << "x" << row.height << "@" << row.rate;
}

} // namespace
} // namespace velto
