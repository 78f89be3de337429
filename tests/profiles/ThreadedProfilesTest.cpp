// The codec thread count never changes what a conversion writes out in time: for every shipped
// profile, a run with several codec threads gives the same packets per stream at the same
// timestamps as a run on one thread, from sources whose decoders hand pictures back late.
#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "MediaFactory.h"
#include "ProfileCatalogue.h"
#include "ProfileMapping.h"
#include "TestLibraries.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace velto {
namespace {

// Per stream, in file order: the kind and every packet's presentation time in the stream's
// time base, sorted (pictures come out of a reordering encoder in decoding order).
struct StreamTimes {
    int kind = -1;
    std::vector<std::int64_t> pts;
    bool operator==(const StreamTimes&) const = default;
};

std::vector<StreamTimes> PacketTimes(const std::string& path) {
    AVFormatContext* input = nullptr;
    if (AVFormatHlpr::avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0)
        return {};
    std::vector<StreamTimes> streams;
    AVPacket* packet = AVCodecHlpr::av_packet_alloc();
    while (AVFormatHlpr::av_read_frame(input, packet) >= 0) {
        // Program streams announce their streams as their packets come.
        while (streams.size() < input->nb_streams)
            streams.push_back({input->streams[streams.size()]->codecpar->codec_type, {}});
        streams[packet->stream_index].pts.push_back(packet->pts != AV_NOPTS_VALUE ? packet->pts
                                                                                  : packet->dts);
        AVCodecHlpr::av_packet_unref(packet);
    }
    AVCodecHlpr::av_packet_free(&packet);
    AVFormatHlpr::avformat_close_input(&input);
    for (StreamTimes& stream : streams)
        std::sort(stream.pts.begin(), stream.pts.end());
    return streams;
}

std::vector<TOutputProfile> ShippedProfiles() {
    TProfileCatalogue catalogue(SettingsFilePath(VELTO_DATA_DIR),
                                FactoryProfilesPath(VELTO_DATA_DIR));
    catalogue.Load();
    std::vector<TOutputProfile> profiles;
    for (int i = 0; i < int(catalogue.Titles().size()); ++i) {
        catalogue.Select(i);
        profiles.push_back(catalogue.Profile());
    }
    return profiles;
}

// Converts the probed source with the profile and the given thread count into folder; returns
// the output's path, or "" when this build lacks one of the profile's encoders.
std::string Convert(const TOutputProfile& profile, const TAVProbe& probe, const std::string& folder,
                    int threads) {
    std::filesystem::create_directories(folder);
    TOutputPlacement placement{folder + "/", false, {}};
    TOutputOptions record =
        BuildOutputOptions(profile, SelectionFor(profile), probe.GetFileName(), placement);
    const std::string output = record.FileName;
    // The source's own small size: timing does not depend on it, and the large profiles would
    // make this test minutes long. Disc targets keep the sizes their standard needs.
    if (record.Target == 0)
        record.FrameSize.clear();
    record.ExtOptions += "\nthreads=" + std::to_string(threads);
    TFFmpeg task;
    task.InitOptions();
    task.Settings.Verbosity = -1;
    TInputOptions in = BuildInputOptions(probe);
    ApplyInputRecord(task, "", in);
    EXPECT_NO_THROW(task.OpenInputFile(in.FileName));
    ApplyOutputRecord(task, "", record, nullptr, nullptr);
    EXPECT_EQ(task.Settings.ThreadCount, threads);
    try {
        task.OpenOutputFile(output);
    } catch (const std::exception&) {
        return "";
    }
    try {
        task.Transcode();
    } catch (const std::exception& error) {
        ADD_FAILURE() << error.what();
    }
    EXPECT_TRUE(task.Finished);
    task.CloseOpenCodecs();
    task.ReleaseFiles();
    return output;
}

TEST(ThreadedProfilesTest, ThreadCountChangesNoPacketOrTimestamp) {
    test::LoadTestLibraries();
    const std::string dir = test::ScratchFolder();
    test::MediaRecipe h264;
    h264.seconds = 1.0;
    test::VideoTrack x264;
    x264.encoder = "libx264";
    x264.maxBFrames = 2;
    h264.video.push_back(x264);
    test::AudioTrack aac;
    aac.encoder = "aac";
    h264.audio.push_back(aac);
    test::MediaRecipe mpeg4;
    mpeg4.seconds = 1.0;
    test::VideoTrack reordered;
    reordered.maxBFrames = 2;
    mpeg4.video.push_back(reordered);
    mpeg4.audio.push_back({});
    const std::string sources[] = {test::MakeMedia(dir + "/h264_b.mp4", h264),
                                   test::MakeMedia(dir + "/mpeg4_b.avi", mpeg4)};

    // One profile for each set of codecs, container and target: the others differ in sizes and
    // rates only.
    std::vector<TOutputProfile> profiles;
    std::set<std::string> kinds;
    for (const TOutputProfile& profile : ShippedProfiles()) {
        const TOutputOptions o = MapProfile(profile, SelectionFor(profile));
        if (kinds
                .insert(o.VideoCodec + "|" + o.AudioCodec + "|" + o.FileType + "|" + o.FileFormat +
                        "|" + std::to_string(o.Target))
                .second)
            profiles.push_back(profile);
    }
    ASSERT_FALSE(profiles.empty());
    int compared = 0;
    for (const std::string& source : sources) {
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(source)) << probe.LastError;
        for (size_t i = 0; i < profiles.size(); ++i) {
            SCOPED_TRACE(source + " profile " + std::to_string(i) + " " + profiles[i].VideoFormat +
                         "/" + profiles[i].AudioFormat);
            const std::string folder = dir + "/" + std::to_string(compared) + "_";
            const std::string one = Convert(profiles[i], probe, folder + "1", 1);
            if (one.empty())
                continue;
            const std::string four = Convert(profiles[i], probe, folder + "4", 4);
            ASSERT_FALSE(four.empty());
            const std::vector<StreamTimes> single = PacketTimes(one);
            // Sound-only profiles have no picture to count.
            const int kind = MapProfile(profiles[i], SelectionFor(profiles[i])).DisableVideo
                                 ? AVMEDIA_TYPE_AUDIO
                                 : AVMEDIA_TYPE_VIDEO;
            const auto stream = std::find_if(single.begin(), single.end(),
                                             [kind](const auto& s) { return s.kind == kind; });
            ASSERT_NE(stream, single.end());
            EXPECT_GE(stream->pts.size(), 10u); // a second at the profile's rate
            EXPECT_EQ(PacketTimes(four), single);
            ++compared;
        }
    }
    // Every kind of profile but one whose encoder Debian leaves out, from both sources.
    EXPECT_GE(compared, 2 * (static_cast<int>(profiles.size()) - 1));
}

} // namespace
} // namespace velto
