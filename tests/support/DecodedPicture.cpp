#include "DecodedPicture.h"

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"

#include <memory>

namespace velto::test {

namespace {

struct InputCloser {
    void operator()(AVFormatContext* context) const {
        AVFormatHlpr::avformat_close_input(&context);
    }
};
struct DecoderFree {
    void operator()(AVCodecContext* context) const { AVCodecHlpr::avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { AVUtilHlpr::av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { AVCodecHlpr::av_packet_free(&packet); }
};

void CopyLuma(const AVFrame* frame, DecodedPicture& picture) {
    const AVPixFmtDescriptor* descriptor =
        AVUtilHlpr::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    picture.width = frame->width;
    picture.height = frame->height;
    picture.depth = descriptor ? descriptor->comp[0].depth : 8;
    picture.luma.resize(static_cast<size_t>(frame->width) * frame->height);
    for (int y = 0; y < frame->height; ++y) {
        const std::uint8_t* row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < frame->width; ++x)
            picture.luma[static_cast<size_t>(y) * frame->width + x] =
                picture.depth > 8 ? reinterpret_cast<const std::uint16_t*>(row)[x] : row[x];
    }
    const int chromaWidth = (frame->width + 1) / 2, chromaHeight = (frame->height + 1) / 2;
    picture.red.resize(static_cast<size_t>(chromaWidth) * chromaHeight);
    for (int y = 0; y < chromaHeight; ++y) {
        const std::uint8_t* row = frame->data[2] + y * frame->linesize[2];
        for (int x = 0; x < chromaWidth; ++x)
            picture.red[static_cast<size_t>(y) * chromaWidth + x] =
                picture.depth > 8 ? reinterpret_cast<const std::uint16_t*>(row)[x] : row[x];
    }
}

} // namespace

namespace {

double MeanOf(const std::vector<std::uint16_t>& plane, int width, int height, double left,
              double top, double right, double bottom) {
    const int x0 = static_cast<int>(left * width), x1 = static_cast<int>(right * width);
    const int y0 = static_cast<int>(top * height), y1 = static_cast<int>(bottom * height);
    double sum = 0;
    int count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++count)
            sum += plane[static_cast<size_t>(y) * width + x];
    return count ? sum / count : 0.0;
}

} // namespace

double DecodedPicture::Mean(double left, double top, double right, double bottom) const {
    return MeanOf(luma, width, height, left, top, right, bottom);
}

double DecodedPicture::MeanRed(double left, double top, double right, double bottom) const {
    return MeanOf(red, (width + 1) / 2, (height + 1) / 2, left, top, right, bottom);
}

DecodedPicture DecodePicture(const std::string& path, int index) {
    DecodedPicture picture;
    AVFormatContext* raw = nullptr;
    if (AVFormatHlpr::avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return picture;
    std::unique_ptr<AVFormatContext, InputCloser> input(raw);
    if (AVFormatHlpr::avformat_find_stream_info(raw, nullptr) < 0)
        return picture;
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = AVUtilHlpr::av_dict_get(raw->metadata, "", tag, AV_DICT_IGNORE_SUFFIX)))
        picture.tags[tag->key] = tag->value;
    const int stream =
        AVFormatHlpr::av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0)
        return picture;
    const AVCodecParameters* parameters = raw->streams[stream]->codecpar;
    picture.primaries = parameters->color_primaries;
    picture.transfer = parameters->color_trc;
    picture.matrix = parameters->color_space;
    picture.range = parameters->color_range;
    picture.displayMatrix =
        AVFormatHlpr::av_stream_get_side_data(raw->streams[stream], AV_PKT_DATA_DISPLAYMATRIX,
                                              nullptr) != nullptr;
    const AVCodec* codec = AVCodecHlpr::avcodec_find_decoder(parameters->codec_id);
    if (!codec)
        return picture;
    std::unique_ptr<AVCodecContext, DecoderFree> decoder(
        AVCodecHlpr::avcodec_alloc_context3(codec));
    AVCodecHlpr::avcodec_parameters_to_context(decoder.get(), parameters);
    if (AVCodecHlpr::avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return picture;
    std::unique_ptr<AVFrame, FrameFree> frame(AVUtilHlpr::av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(AVCodecHlpr::av_packet_alloc());
    int seen = 0;
    bool draining = false;
    for (;;) {
        while (AVCodecHlpr::avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            if (seen++ == index) {
                CopyLuma(frame.get(), picture);
                return picture;
            }
            AVUtilHlpr::av_frame_unref(frame.get());
        }
        if (draining)
            return picture;
        if (AVFormatHlpr::av_read_frame(raw, packet.get()) < 0) {
            AVCodecHlpr::avcodec_send_packet(decoder.get(), nullptr);
            draining = true;
            continue;
        }
        if (packet->stream_index == stream)
            AVCodecHlpr::avcodec_send_packet(decoder.get(), packet.get());
        AVCodecHlpr::av_packet_unref(packet.get());
    }
}

} // namespace velto::test
