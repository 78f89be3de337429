// Stream copy end to end: the output holds the input's packets, starts on key frames, is cleanly
// decodable, and honours the recording time, shortest, discontinuities and late streams.
#include "AVProbe.h"
#include "MediaFactory.h"
#include "MyUtils.h"
#include "TranscodeFixture.h"

#include <filesystem>
#include <fstream>

namespace velto::test {
namespace {

const StreamCount* First(const std::vector<StreamCount>& counts, AVMediaType type) {
    for (const StreamCount& count : counts) {
        if (count.type == type)
            return &count;
    }
    return nullptr;
}

TEST_F(TranscodeTest, CopyKeepsEveryPacketAndDecodesCleanly) {
    const struct {
        const char* name;
        std::string (*make)(const std::string&, double);
        const char* output;
    } cases[] = {
        {"mp4 to mkv", MakeMp4H264Aac, "copy.mkv"},
        {"avi to avi", MakeAviMpeg4Mp2, "copy.avi"},
        {"mpeg-ps to mpeg-ps", MakeMpegPsMpeg2Mp2, "copy.mpg"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        task.ReleaseFiles();
        task.InitOptions();
        lines.clear();
        const std::string source = row.make(folder, 2.0);
        Input(source);
        Output(row.output, "vcodec=copy\nacodec=copy");
        ASSERT_EQ(Transcode(), "");
        EXPECT_TRUE(task.Finished);
        EXPECT_TRUE(Logged("Stream mapping:"));
        EXPECT_TRUE(Logged("  Stream #0.0 -> #0.0"));
        EXPECT_TRUE(Logged("  Stream #0.1 -> #0.1"));

        const auto in = CountStreams(source, true);
        const auto out = CountStreams(Path(row.output), true);
        ASSERT_EQ(out.size(), 2u);
        for (AVMediaType type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
            const StreamCount* a = First(in, type);
            const StreamCount* b = First(out, type);
            ASSERT_TRUE(a && b) << type;
            EXPECT_EQ(b->packets, a->packets) << type;
            // AAC priming is signalled differently by MP4 and Matroska: one frame either way.
            EXPECT_NEAR(b->frames, a->frames, 1) << type;
            EXPECT_EQ(b->decodeErrors, 0) << type;
            EXPECT_TRUE(b->firstIsKey) << type;
            EXPECT_NEAR(b->endTime - b->firstTime, a->endTime - a->firstTime, 0.05) << type;
        }
    }
}

TEST_F(TranscodeTest, CopyCarriesSubtitles) {
    const std::string source = MakeWithSubtitle(folder, 3.0);
    Input(source);
    Output("subtitled.mkv", "vcodec=copy\nacodec=copy\nscodec=copy");
    ASSERT_EQ(Transcode(), "");
    const auto original = CountStreams(source, false);
    const StreamCount* in = First(original, AVMEDIA_TYPE_SUBTITLE);
    const auto out = CountStreams(Path("subtitled.mkv"), false);
    const StreamCount* copied = First(out, AVMEDIA_TYPE_SUBTITLE);
    ASSERT_TRUE(in && copied);
    EXPECT_EQ(copied->packets, in->packets);
    EXPECT_NEAR(copied->endTime, in->endTime, 0.01);
}

TEST_F(TranscodeTest, CopyStartsAtTheFirstKeyFrame) {
    // gop 12 at 25 fps: dropping the first 5 pictures leaves 7 pictures before the next key frame.
    const std::string source = MakeVideoOnly(folder, 2.0);
    const std::string cut = Path("cut.mkv");
    int pictures = 0;
    Remux(source, cut, [&](AVPacket&, AVMediaType, int) { return ++pictures > 5; });
    const auto in = CountStreams(cut, false);
    ASSERT_EQ(in.size(), 1u);
    ASSERT_FALSE(in[0].firstIsKey);

    Input(cut);
    Output("key.mkv", "vcodec=copy");
    ASSERT_EQ(Transcode(), "");
    const auto out = CountStreams(Path("key.mkv"), true);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].firstIsKey);
    EXPECT_EQ(out[0].packets, in[0].packets - 7);
    EXPECT_EQ(out[0].decodeErrors, 0);
}

TEST_F(TranscodeTest, RecordingTimeEndsEveryStreamAtFiveSeconds) {
    // The Matroska source has a millisecond time base, so a copied stream's clock is its
    // timestamps, not its packet count.
    const struct {
        const char* name;
        std::string (*make)(const std::string&, double);
        const char* output;
    } cases[] = {{"mp4", MakeMp4H264Aac, "five.mkv"}, {"mkv", MakeTwoAudio, "five.avi"}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        task.ReleaseFiles();
        task.InitOptions();
        Input(row.make(folder, 8.0));
        Output(row.output, "vcodec=copy\nacodec=copy\nt=5");
        ASSERT_EQ(Transcode(), "");
        EXPECT_TRUE(task.Finished);
        for (const StreamCount& count : CountStreams(Path(row.output), false)) {
            EXPECT_GE(count.endTime - count.firstTime, 4.9) << count.type;
            EXPECT_LE(count.endTime - count.firstTime, 5.25) << count.type;
        }
    }
}

TEST_F(TranscodeTest, FrameAndSizeLimitsEndTheLoop) {
    const std::string source = MakeAviMpeg4Mp2(folder, 4.0);
    const std::int64_t whole = FileSizeOf(source);
    {
        SCOPED_TRACE("vframes");
        Input(source);
        Output("frames.avi", "vcodec=copy\nacodec=copy\nvframes=10");
        ASSERT_EQ(Transcode(), "");
        EXPECT_EQ(First(CountStreams(Path("frames.avi"), false), AVMEDIA_TYPE_VIDEO)->packets, 10);
    }
    {
        SCOPED_TRACE("fs");
        task.InitOptions();
        Input(source);
        Output("size.avi", "vcodec=copy\nacodec=copy\nfs=" + std::to_string(whole / 4));
        ASSERT_EQ(Transcode(), "");
        // The limit is checked against what the muxer has written, before each packet.
        EXPECT_GT(FileSizeOf(Path("size.avi")), whole / 4);
        EXPECT_LT(FileSizeOf(Path("size.avi")), whole / 2);
    }
}

TEST_F(TranscodeTest, ShortestEndsAtTheFirstInputToEnd) {
    for (bool shortest : {false, true}) {
        SCOPED_TRACE(shortest ? "shortest" : "longest");
        task.ReleaseFiles();
        task.InitOptions();
        Input(MakeVideoOnly(folder, 1.0));
        Input(MakeWav(folder, 3.0));
        Output("short.mkv",
               std::string("vcodec=copy\nacodec=copy") + (shortest ? "\nshortest" : ""));
        ASSERT_EQ(Transcode(), "");
        const auto out = CountStreams(Path("short.mkv"), false);
        const StreamCount* audio = First(out, AVMEDIA_TYPE_AUDIO);
        ASSERT_NE(audio, nullptr);
        if (shortest)
            EXPECT_LT(audio->endTime, 1.6);
        else
            EXPECT_NEAR(audio->endTime, 3.0, 0.1);
    }
}

TEST_F(TranscodeTest, TimestampJumpIsRemovedUnlessTimestampsAreCopied) {
    // Every packet from the second second on jumps 15 s ahead (threshold 10 s).
    const std::string source = MakeAviMpeg4Mp2(folder, 3.0);
    const std::string jumped = Path("jump.mkv");
    Remux(source, jumped, [](AVPacket& packet, AVMediaType, int number) {
        if (number >= 60) {
            const std::int64_t jump = 15 * 1000; // the Matroska time base is 1/1000
            if (packet.dts != AV_NOPTS_VALUE)
                packet.dts += jump;
            if (packet.pts != AV_NOPTS_VALUE)
                packet.pts += jump;
        }
        return true;
    });
    const auto original = CountStreams(source, false);
    for (bool copyTimestamps : {false, true}) {
        SCOPED_TRACE(copyTimestamps ? "copyts" : "corrected");
        task.ReleaseFiles();
        task.InitOptions();
        lines.clear();
        Input(jumped, copyTimestamps ? "copyts" : "");
        Output("continuous.mkv", "vcodec=copy\nacodec=copy\nv=3");
        ASSERT_EQ(Transcode(), "");
        EXPECT_EQ(LoggedFragment("timestamp discontinuity"), !copyTimestamps);
        // Shorter than the jumped source says: kept as a short output when corrected.
        const std::string written =
            task.Finished ? Path("continuous.mkv") : UnfinishedOutputName(Path("continuous.mkv"));
        const auto out = CountStreams(written, false);
        const StreamCount* video = First(out, AVMEDIA_TYPE_VIDEO);
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->packets, First(original, AVMEDIA_TYPE_VIDEO)->packets);
        EXPECT_NEAR(video->endTime, copyTimestamps ? 18.0 : 3.0, 0.3);
    }
}

TEST(TranscodeRulesTest, DiscontinuityDelta) {
    const struct {
        const char* name;
        std::int64_t packet, next, current;
        bool copyTimestamps;
        std::int64_t delta;
    } cases[] = {
        {"continuous", 1040000, 1040000, 1000000, false, 0},
        {"small gap", 1500000, 1040000, 1000000, false, 0},
        {"jump of 15 s", 16040000, 1040000, 1000000, false, 15000000},
        {"jump back of 15 s", 1040000, 16040000, 16000000, false, -15000000},
        {"2 us before the current timestamp", 999998, 1040000, 1000000, false, -40002},
        {"1 us before the current timestamp", 999999, 1040000, 1000000, false, 0},
        {"jump with copied timestamps", 16040000, 1040000, 1000000, true, 0},
        {"2 us back with copied timestamps", 999998, 1040000, 1000000, true, 0},
    };
    for (const auto& row : cases)
        EXPECT_EQ(DiscontinuityDelta(row.packet, row.next, row.current, 10.0f, row.copyTimestamps),
                  row.delta)
            << row.name;
}

TEST(TranscodeRulesTest, CopyTimeBase) {
    const struct {
        AVRational stream, decoder, expected;
    } cases[] = {
        {{1, 90000}, {1, 25}, {1, 25}},  // container finer than the decoder and than 1 ms
        {{1, 1000}, {1, 25}, {1, 1000}}, // 1 ms is not finer than 1 ms
        {{1, 12800}, {1, 25}, {1, 25}},
        {{1, 25}, {1, 50}, {1, 25}},      // decoder finer: the container's
        {{1, 90000}, {0, 1}, {1, 90000}}, // no decoder time base
    };
    for (const auto& row : cases) {
        const AVRational got = CopyTimeBase(row.stream, row.decoder);
        EXPECT_EQ(av_cmp_q(got, row.expected), 0)
            << row.stream.num << "/" << row.stream.den << " " << got.num << "/" << got.den;
    }
}

TEST_F(TranscodeTest, CopiedStreamTakesTheDecoderTimeBase) {
    // MPEG-PS streams run at 1/90000; AVI keeps the time base it is given.
    Input(MakeMpegPsMpeg2Mp2(folder, 1.0));
    Output("tb.avi", "vcodec=copy\nan");
    ASSERT_EQ(Transcode(), "");
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(Path("tb.avi"))) << probe.LastError;
    ASSERT_EQ(probe.StreamCount, 1);
    EXPECT_EQ(av_cmp_q(probe.FormatContext()->streams[0]->time_base, AVRational{1, 25}), 0);
}

TEST_F(TranscodeTest, StreamAppearingAfterSetUpIsDropped) {
    // An MPEG-PS file with audio only from 5 s to 6 s of 20 s: neither the probe at the start
    // nor the duration scan at the end sees it, so the stream shows up while the loop reads.
    const std::string source = MakeAviMpeg4Mp2(folder, 20.0);
    const std::string late = Path("late.mpg");
    Remux(source, late, [](AVPacket& packet, AVMediaType type, int) {
        return type != AVMEDIA_TYPE_AUDIO || (packet.pts > 5 * 90000 && packet.pts < 6 * 90000);
    });
    ASSERT_EQ(CountStreams(late, false).size(), 2u) << "the audio must be in the file";
    Input(late, "analyzeduration=200000\nprobesize=32");
    ASSERT_EQ(task.InputFiles[0].Context->nb_streams, 1u) << "the audio was found by the probe";
    Output("video.mkv", "vcodec=copy");
    ASSERT_EQ(Transcode(), "");
    EXPECT_TRUE(task.Finished);
    const auto out = CountStreams(Path("video.mkv"), true);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].packets, 500);
    EXPECT_EQ(out[0].decodeErrors, 0);
}

TEST_F(TranscodeTest, StopBeforeTheFirstPacketStillWritesTrailers) {
    Input(MakeAviMpeg4Mp2(folder, 1.0));
    // The user's own file under the output name, and an older unfinished output.
    const std::string mine = "the user's own file\n";
    std::ofstream(Path("stopped.avi")) << mine;
    std::ofstream(Path("stopped.part.avi")) << "an older unfinished output\n";
    Output("stopped.avi", "vcodec=copy\nacodec=copy");
    task.StopRequested = true;
    ASSERT_EQ(Transcode(), "");
    EXPECT_FALSE(task.Finished);
    // Kept, but under the name of an unfinished output, replacing the older one.
    EXPECT_EQ(FileContents(Path("stopped.avi")), mine);
    TAVProbe probe;
    EXPECT_TRUE(probe.LoadFile(Path("stopped.part.avi"))) << probe.LastError;
    EXPECT_EQ(probe.StreamCount, 2);
    EXPECT_TRUE(LoggedFragment("Unfinished output kept as '" + Path("stopped.part.avi")));
}

TEST_F(TranscodeTest, UnfinishedOutputsAreNotKeptWhereAFolderHasTheirNameOrWhenNotAsked) {
    const std::string source = MakeAviMpeg4Mp2(folder, 1.0);
    std::filesystem::create_directory(Path("held.part.avi"));
    Input(source);
    Output("held.avi", "vcodec=copy\nacodec=copy");
    task.StopRequested = true;
    ASSERT_EQ(Transcode(), "") << "a name that cannot be used does not fail a stopped job";
    EXPECT_TRUE(std::filesystem::is_directory(Path("held.part.avi")));
    EXPECT_TRUE(LoggedFragment("is not a file"));
    task.ReleaseFiles();
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".velto-"), std::string::npos)
            << entry.path();
}

TEST(UnfinishedOutputName, PartGoesBeforeTheExtension) {
    EXPECT_EQ(UnfinishedOutputName("/v/clip_(new).mp4"), "/v/clip_(new).part.mp4");
    EXPECT_EQ(UnfinishedOutputName("/v.d/clip"), "/v.d/clip.part");
    EXPECT_EQ(UnfinishedOutputName("/v/.hidden"), "/v/.hidden.part");
    EXPECT_EQ(UnfinishedOutputName("a.b.3gp"), "a.b.part.3gp");
}

} // namespace
} // namespace velto::test
