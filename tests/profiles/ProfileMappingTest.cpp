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
        {{"h263", "AAC", "176 x 144", "190", "15", "48", "8000", 0, "", 1, ".3gp"},
         "v=h263 a=libfaac s=176x144 r=15 vb=190000 ab=48000 ar=8000 ac=1 .3gp"},
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
         "v=mpeg4 a=libmp3lame s=640x480 r=29.976 vb=1200000 ab=128000 ar=44100 ac=2 .MP4 "
         "tag=DIVX"},
        {{"wmv2", "wma1", "320 x 240", "768", "25", "128", "44100", 1, "", 1, ".wma"},
         "v=wmv2 a=wmav2 s=320x240 r=25 vb=768000 ab=128000 ar=44100 ac=2 .wma vn"},
        // Unknown codes and values outside the lists: empty names and the fall-backs.
        {{"vp9", "opus", "320x240", "", "24", "65", "", 7, "", 1, ".avi"},
         "v= a= s= r= vb=200000 ab=64000 ar=22050 ac=0 .avi"},
    };
    for (const auto& row : rows) {
        const TOutputOptions o = MapProfile(row.p, SelectionFor(row.p));
        EXPECT_EQ(Summary(o), row.expected);
        EXPECT_EQ(o.Timestamp, 0.0);
    }
}

} // namespace
} // namespace velto
