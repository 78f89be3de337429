// The video output path end to end, each run checked by decoding its output: other codecs and
// sizes, crop and pad, frame-rate changes, the frame-hook plug-in, the custom hook, the preview.
#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "AVUtilHlpr.h"
#include "MediaFactory.h"
#include "PreviewWindow.h"
#include "RecordingPreviewWindow.h"
#include "TranscodeFixture.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace velto::test {
namespace {

// One decoded 4:2:0 picture: its size and the mean of a plane over a box (in luma pixels).
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> planes[3];
    double Mean(int p, int x, int y, int w, int h) const {
        const int s = p ? 1 : 0, stride = (width + s) >> s;
        double sum = 0;
        for (int j = y >> s; j < (y + h) >> s; ++j)
            for (int i = x >> s; i < (x + w) >> s; ++i)
                sum += planes[p][static_cast<size_t>(j * stride + i)];
        return sum / std::max(1, (w >> s) * (h >> s));
    }
};

std::vector<Picture> DecodePictures(const std::string& path) {
    std::vector<Picture> pictures;
    AVFormatContext* input = nullptr;
    if (AVFormatHlpr::avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0)
        return pictures;
    AVFormatHlpr::avformat_find_stream_info(input, nullptr);
    const AVCodecParameters* parameters = input->streams[0]->codecpar;
    const AVCodec* codec = AVCodecHlpr::avcodec_find_decoder(parameters->codec_id);
    AVCodecContext* decoder = AVCodecHlpr::avcodec_alloc_context3(codec);
    AVCodecHlpr::avcodec_parameters_to_context(decoder, parameters);
    AVCodecHlpr::avcodec_open2(decoder, codec, nullptr);
    AVPacket* packet = AVCodecHlpr::av_packet_alloc();
    AVFrame* frame = AVUtilHlpr::av_frame_alloc();
    for (bool more = true; more;) {
        more = AVFormatHlpr::av_read_frame(input, packet) >= 0;
        if (!more || packet->stream_index == 0)
            AVCodecHlpr::avcodec_send_packet(decoder, more ? packet : nullptr);
        AVCodecHlpr::av_packet_unref(packet);
        while (AVCodecHlpr::avcodec_receive_frame(decoder, frame) >= 0) {
            EXPECT_EQ(frame->format, AV_PIX_FMT_YUV420P);
            Picture& picture = pictures.emplace_back();
            picture.width = frame->width;
            picture.height = frame->height;
            for (int p = 0; p < 3; ++p)
                for (int y = 0; y < (frame->height + !!p) >> !!p; ++y) {
                    const std::uint8_t* row = frame->data[p] + y * frame->linesize[p];
                    picture.planes[p].insert(picture.planes[p].end(), row,
                                             row + ((frame->width + !!p) >> !!p));
                }
            AVUtilHlpr::av_frame_unref(frame);
        }
    }
    AVCodecHlpr::av_packet_free(&packet);
    AVUtilHlpr::av_frame_free(&frame);
    AVCodecHlpr::avcodec_free_context(&decoder);
    AVFormatHlpr::avformat_close_input(&input);
    return pictures;
}

// Output pictures with a box in the top-left corner whose chroma plane p is high (the factory's
// gradient keeps both chroma planes within 128..160): V for red, U for blue.
std::vector<int> Boxed(const std::string& path, int p) {
    std::vector<int> found;
    const std::vector<Picture> pictures = DecodePictures(path);
    for (size_t i = 0; i < pictures.size(); ++i)
        if (pictures[i].Mean(p, 4, 4, 24, 24) > 200)
            found.push_back(static_cast<int>(i));
    return found;
}

// The " dup=N drop=M" of the last status line the run logged (its final report), or empty.
std::string FinalDupDrop(const std::vector<std::string>& lines) {
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const std::size_t at = line->find(" dup=");
        if (at != std::string::npos)
            return line->substr(at);
    }
    return {};
}

std::string VideoSource(const std::string& folder, int fps, double seconds = 1.0) {
    MediaRecipe recipe;
    recipe.seconds = seconds;
    recipe.video.push_back(VideoTrack{});
    recipe.video[0].frameRateNum = fps;
    return MakeMedia(folder + "/source" + std::to_string(fps) + ".avi", recipe);
}

TEST_F(TranscodeTest, ReencodesIntoOtherCodecsAndSizes) {
    const std::string source = MakeAviMpeg4Mp2(folder, 1.0);
    const struct {
        const char *name, *options, *codec;
        int width, height, pictures;
    } rows[] = {
        {"mpeg4.mp4", "vcodec=mpeg4\ns=320x240\nacodec=aac", "mpeg4", 320, 240, 25},
        // x264 with nothing but generic options: it must start from its own rate control.
        {"h264.mp4", "vcodec=libx264\ns=160x120\nacodec=aac", "h264", 160, 120, 25},
        {"h263.3gp", "vcodec=h263\ns=176x144\nr=15\nan=1", "h263", 176, 144, 16},
        {"mpeg1.mpg", "vcodec=mpeg1video\ns=352x288\nacodec=mp2", "mpeg1video", 352, 288, 25},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        task.InitOptions();
        Input(source);
        Output(row.name, row.options);
        ASSERT_EQ(Transcode(), "");
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(Path(row.name))) << probe.LastError;
        TVideoStreamInfo info{};
        probe.GetVideoStreamInfo(0, info);
        EXPECT_STREQ(info.CodecName, row.codec);
        const std::vector<Picture> pictures = DecodePictures(Path(row.name));
        ASSERT_EQ(static_cast<int>(pictures.size()), row.pictures);
        EXPECT_EQ(pictures[0].width, row.width);
        EXPECT_EQ(pictures[0].height, row.height);
    }
}

TEST_F(TranscodeTest, CropAndPadWithColour) {
    Input(VideoSource(folder, 25));
    // 176x144 less 16 on each side, scaled to 96x80, in 16-pixel bands of red.
    Output("padded.mp4", "vcodec=mpeg4\ncroptop=16\ncropbottom=16\ncropleft=16\ncropright=16\n"
                         "s=96x80\npadtop=16\npadbottom=16\npadleft=16\npadright=16\n"
                         "padcolor=255\nqscale=2");
    ASSERT_EQ(Transcode(), "");
    const std::vector<Picture> pictures = DecodePictures(Path("padded.mp4"));
    ASSERT_EQ(pictures.size(), 25u);
    const Picture& last = pictures.back();
    EXPECT_EQ(last.width, 128);
    EXPECT_EQ(last.height, 112);
    EXPECT_GT(last.Mean(2, 0, 0, 128, 16), 200);   // top band
    EXPECT_GT(last.Mean(2, 112, 16, 16, 80), 200); // right band
    EXPECT_LT(last.Mean(2, 24, 24, 80, 64), 170);  // the picture itself
}

TEST_F(TranscodeTest, FrameRateChangeDropsAndRepeatsPictures) {
    const struct {
        int from, to, expected, dropped, duplicated;
        const char* extra;
    } rows[] = {
        {25, 15, 16, 9, 0, ""}, // 1.0 behind still encodes, 1.2 behind drops
        {15, 25, 23, 0, 8, ""},
        {15, 25, 11, 0, 4, "vframes=11\n"}, // the last picture is wanted twice, written once
        {25, 25, 25, 0, 0, ""},
        {25, 1200, 25, 0, 0, ""}, // a time base below 1 ms follows the input time
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.from) + " -> " + std::to_string(row.to) + " " + row.extra);
        task.InitOptions();
        lines.clear();
        Input(VideoSource(folder, row.from));
        Output("rate.mp4",
               "vcodec=mpeg4\nv=3\nr=" + std::to_string(row.to) + "\n" + std::string(row.extra));
        ASSERT_EQ(Transcode(), "");
        EXPECT_EQ(FinalDupDrop(lines), " dup=" + std::to_string(row.duplicated) +
                                           " drop=" + std::to_string(row.dropped));
        EXPECT_EQ(Logged("*** drop!"), row.dropped > 0);
        EXPECT_EQ(Logged("*** 1 dup!"), row.duplicated > 0);
        EXPECT_EQ(DecodePictures(Path("rate.mp4")).size(), static_cast<size_t>(row.expected));
    }
}

#ifdef VELTO_BOXHOOK_PATH
TEST_F(TranscodeTest, FrameHookRunsWhereRangesOrBeforeHookAllow) {
    enum { kRanges, kDecides, kThrows };
    const struct {
        int kind;
        std::vector<int> hooked;
        int calls;
    } rows[] = {
        // Ranges [0, 0.2 s] and [0.5 s, 0.6 s]; after the last one the hook stops.
        {kRanges, {0, 1, 2, 3, 4, 5, 13, 14, 15}, 0},
        // Ignore before 0.2 s, hook until 0.4 s, then stop: no calls after the stop.
        {kDecides, {5, 6, 7, 8, 9}, 11},
        {kThrows, {}, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.kind);
        task.InitOptions();
        lines.clear();
        Input(VideoSource(folder, 25));
        Output("hooked.mp4",
               "vcodec=mpeg4\nqscale=2\nvhook=" VELTO_BOXHOOK_PATH "|w=32|h=32|color=ff0000");
        int calls = 0;
        if (row.kind == kRanges)
            task.HookRanges = {{0, 200000}, {500000, 600000}};
        else
            task.BeforeHookSink = [&](TCustomFFmpeg*, std::int64_t pts, THookAction& action) {
                ++calls;
                if (row.kind == kThrows)
                    throw std::runtime_error("boom");
                action = pts < 200000 ? haIgnore : pts < 400000 ? haContinue : haStop;
            };
        ASSERT_EQ(Transcode(), "");
        EXPECT_EQ(task.HookAction, haStop);
        EXPECT_EQ(calls, row.calls);
        EXPECT_EQ(Logged("Error occurs OnBeforeHook: boom"), row.kind == kThrows);
        EXPECT_EQ(Boxed(Path("hooked.mp4"), 2), row.hooked);
    }
}
#endif

TEST_F(TranscodeTest, CustomHookChangesTheBitmap) {
    const struct {
        int stopAt, throwAt, keepAt; // frame numbers (from 1); 0 for none
        std::vector<int> painted;    // output picture indices
        int calls;
    } rows[] = {
        {3, 0, 0, {0, 1, 2}, 3},
        {0, 2, 4, {0, 2, 4, 5}, 6}, // a throw or a declined update leaves the picture alone
    };
    for (const auto& row : rows) {
        task.InitOptions();
        lines.clear();
        Input(VideoSource(folder, 25, 0.24));
        Output("custom.mp4", "vcodec=mpeg4\nqscale=2");
        int calls = 0;
        task.CustomHookSink = [&](TCustomFFmpeg*, TBitmap& bitmap, int frameNumber, std::int64_t,
                                  bool& update, bool& stop) {
            EXPECT_EQ(frameNumber, ++calls);
            bool lockedElsewhere = false;
            std::thread([&] {
                lockedElsewhere = !bitmap.TryLock();
                if (!lockedElsewhere)
                    bitmap.Unlock();
            }).join();
            EXPECT_TRUE(lockedElsewhere); // the canvas is held during the call
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    std::uint8_t* pixel = bitmap.ScanLine(y) + 3 * x;
                    pixel[0] = 255; // blue, green, red
                    pixel[1] = pixel[2] = 0;
                }
            if (frameNumber == row.throwAt)
                throw std::runtime_error("hook failed");
            update = frameNumber != row.keepAt;
            stop = frameNumber == row.stopAt;
        };
        ASSERT_EQ(Transcode(), "");
        EXPECT_EQ(calls, row.calls);
        EXPECT_EQ(Logged("Error occurs OnCustomHook: hook failed"), row.throwAt != 0);
        EXPECT_EQ(Boxed(Path("custom.mp4"), 1), row.painted);
    }
}

TEST_F(TranscodeTest, DeinterlacedOutputDecodes) {
    Input(VideoSource(folder, 25), "deinterlace=1");
    Output("deinterlaced.mp4", "vcodec=mpeg4");
    ASSERT_EQ(Transcode(), "");
    EXPECT_FALSE(Logged("Deinterlacing failed."));
    EXPECT_EQ(DecodePictures(Path("deinterlaced.mp4")).size(), 25u);
}

TEST_F(TranscodeTest, PreviewTapShowsEncodedPictures) {
    auto record = std::make_shared<PreviewWindowRecord>();
    SetPreviewWindowFactory(RecordingWindowFactory(record));
    Input(VideoSource(folder, 25, 0.4));
    Output("preview.mp4", "vcodec=mpeg4\ns=96x80");
    task.SetPreview(true);
    task.VideoHooks.PreviewInterval = -1; // every encoded picture
    ASSERT_EQ(Transcode(), "");
    std::lock_guard<std::mutex> lock(record->mutex);
    EXPECT_EQ(record->created, 1);
    EXPECT_EQ(record->width, 96);
    EXPECT_EQ(record->height, 80);
    EXPECT_EQ(record->draws, 10);
    ASSERT_FALSE(record->captions.empty());
    EXPECT_EQ(record->captions.back(), "00:00:00.360");
}

} // namespace
} // namespace velto::test
