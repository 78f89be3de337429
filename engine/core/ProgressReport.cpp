// Progress report and statistics of a run: PrintReport measures the task for the progress sink or
// the status line and logs the size summary at the end; WriteVideoStats writes the video
// statistics file, one line per encoded picture.
#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "MyUtilHlpr.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace velto {

void NoteCodedFrame(TOutputStreamState& ost, const AVPacket* packet) {
    size_t size = 0;
    const std::uint8_t* stats =
        AVCodecHlpr::av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &size);
    // Layout: quality (32-bit little endian), picture type, error count, two reserved bytes,
    // then one 64-bit error per plane.
    if (!stats || size < 6)
        return;
    ost.Coded.Quality = static_cast<int>(AV_RL32(stats));
    ost.Coded.PictureType = stats[4];
    const int errors = std::min<int>(stats[5], 4);
    for (int i = 0; i < errors && 8 + 8 * (i + 1) <= static_cast<int>(size); ++i)
        ost.Coded.Error[i] = static_cast<std::int64_t>(AV_RL64(stats + 8 + 8 * i));
}

namespace {

double Psnr(double d) {
    return -10.0 * std::log10(d);
}

// The status line: pieces appended with bounded formatting, cut when the buffer is full.
class StatusLine {
public:
    template <typename... Args> void Append(const char* format, Args... args) {
        if (used_ + 1 >= sizeof(text_))
            return;
        const int n =
            MyUtilHlpr::my_snprintf(text_ + used_, sizeof(text_) - used_, format, args...);
        if (n > 0)
            used_ = std::min(used_ + static_cast<size_t>(n), sizeof(text_) - 1);
    }
    const char* Text() const { return text_; }

private:
    char text_[1024] = {};
    size_t used_ = 0;
};

float CodedQuality(const TOutputStreamState& ost) {
    return ost.EncodingNeeded ? static_cast<float>(ost.Coded.Quality) / FF_QP2LAMBDA : -1.0f;
}

// Per plane and overall: of the last picture, or at the end of all pictures so far.
void AppendPsnr(StatusLine& line, const TOutputStreamState& ost, bool final, int frameNumber) {
    const AVCodecContext* enc = ost.Encoder;
    double errorSum = 0;
    double scaleSum = 0;
    line.Append("PSNR=");
    for (int j = 0; j < 3; ++j) {
        double error;
        double scale = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
        if (final) {
            error = static_cast<double>(enc->error[j]);
            scale *= frameNumber;
        } else {
            error = static_cast<double>(ost.Coded.Error[j]);
        }
        if (j)
            scale /= 4;
        errorSum += error;
        scaleSum += scale;
        line.Append("%c:%2.2f ", "YUV"[j], Psnr(error / scale));
    }
    line.Append("*:%2.2f ", Psnr(errorSum / scaleSum));
}

// Counts the picture's quantiser and shows the histogram, one digit per quantiser.
void AppendQpHistogram(StatusLine& line, int counts[52], float quality) {
    const long qp = std::lround(quality);
    if (qp >= 0 && qp < 52)
        ++counts[qp];
    for (int j = 0; j < 32; ++j)
        line.Append("%X", static_cast<int>(std::lround(std::log2(counts[j] + 1))));
}

} // namespace

std::int64_t TCustomFFmpeg::ReportedOutputSize() const {
    // Once the file is closed, the size it had at its close.
    std::int64_t totalSize = std::max<std::int64_t>(0, OutputFiles[0].ClosedSize);
    if (AVIOContext* pb = OutputFiles[0].Context->pb) {
        totalSize = AVFormatHlpr::avio_size(pb);
        if (totalSize < 0)
            totalSize = std::max<std::int64_t>(0, AVFormatHlpr::avio_seek(pb, 0, SEEK_CUR));
    }
    return totalSize;
}

void TCustomFFmpeg::PrintReport(const TTranscodeRun& run, bool final) {
    if (OutputFiles.empty() || !OutputFiles[0].Context)
        return;
    const std::int64_t totalSize = ReportedOutputSize();
    StatusLine line;
    int frameNumber = -1;
    int framesPerSecond = -1;
    float quality = -1.0f;
    double ti1 = 1e10;
    bool videoSeen = false;
    for (const TOutputStreamState& ost : run.OutputStreams) {
        const AVCodecContext* enc = ost.Encoder;
        const float q = CodedQuality(ost);
        if (enc->codec_type == AVMEDIA_TYPE_VIDEO && videoSeen) {
            line.Append("q=%2.1f ", q);
        } else if (enc->codec_type == AVMEDIA_TYPE_VIDEO) {
            const float t =
                static_cast<float>(AVUtilHlpr::av_gettime() - run.Counters.StartTime) / 1000000.0f;
            frameNumber = ost.FrameNumber;
            // Nothing to say before the first picture is out, not even at the end.
            if (frameNumber < 1)
                return;
            framesPerSecond = t > 1 ? static_cast<int>(frameNumber / t + 0.5f) : 0;
            quality = q;
            line.Append("frame=%5d fps=%3d q=%3.1f ", frameNumber, framesPerSecond, q);
            if (final)
                line.Append("L");
            if (Settings.QpHistogram)
                AppendQpHistogram(line, qpHistogramCounts_, q);
            if (enc->flags & AV_CODEC_FLAG_PSNR)
                AppendPsnr(line, ost, final, frameNumber);
            videoSeen = true;
        }
        if (ost.LastPts != AV_NOPTS_VALUE) {
            const double p = static_cast<double>(ost.LastPts) * av_q2d(ost.Stream->time_base);
            if (p > 0 && p < ti1)
                ti1 = p;
        }
    }
    // Before any output time is known the time is the floor of 10 ms, not the search's start
    // value, which would overflow the duration.
    if (ti1 < 0.01 || ti1 >= 1e10)
        ti1 = 0.01;

    if (ProgressSink || Settings.Verbosity > 0 || final) {
        const double bitRate = static_cast<double>(totalSize) * 8 / ti1 / 1000;
        line.Append("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", totalSize / 1024.0, ti1,
                    bitRate);
        if (Settings.Verbosity > 1)
            line.Append(" dup=%d drop=%d", run.Counters.DuplicateFrames,
                        run.Counters.DroppedFrames);
        if (ProgressSink)
            ProgressSink(this, frameNumber, framesPerSecond, static_cast<int>(ti1 * 1000), quality,
                         static_cast<float>(bitRate), totalSize, Settings.ExpectedDuration);
        else if (Settings.Verbosity >= 0 && HasLogSink())
            Log(1, line.Text());
    }

    if (final && Settings.Verbosity >= 0 && HasLogSink())
        LogSizeSummary(run.Counters, totalSize);
}

void TCustomFFmpeg::LogSizeSummary(const TRunCounters& counters, std::int64_t totalSize) {
    const std::int64_t raw = counters.VideoSize + counters.AudioSize + counters.ExtraSize;
    // Nothing counted, nothing to compare the file against.
    const double overhead = raw ? 100.0 * static_cast<double>(totalSize - raw) / raw : 0.0;
    char summary[1024];
    MyUtilHlpr::my_snprintf(
        summary, sizeof(summary),
        "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
        counters.VideoSize / 1024.0, counters.AudioSize / 1024.0, counters.ExtraSize / 1024.0,
        overhead);
    Log(1, summary);
}

void TCustomFFmpeg::WriteVideoStats(int outputStream, int encodedSize) {
    if (!Settings.VideoStatsFile) {
        Settings.VideoStatsFile.reset(
            MyUtilHlpr::my_fopen(Settings.VideoStatsFileName.c_str(), "w"));
        if (!Settings.VideoStatsFile)
            throw FFMpegException("fopen fail: " + Settings.VideoStatsFileName);
    }
    const TOutputStreamState& ost = run_->OutputStreams[outputStream];
    const AVCodecContext* enc = ost.Encoder;
    if (enc->codec_type != AVMEDIA_TYPE_VIDEO)
        return;
    std::FILE* file = Settings.VideoStatsFile.get();
    MyUtilHlpr::my_fprintf(file, "frame= %5d q= %2.1f ", ost.FrameNumber,
                           static_cast<double>(ost.Coded.Quality) / FF_QP2LAMBDA);
    if (enc->flags & AV_CODEC_FLAG_PSNR)
        MyUtilHlpr::my_fprintf(
            file, "PSNR= %6.2f ",
            Psnr(static_cast<double>(ost.Coded.Error[0]) /
                 (static_cast<double>(enc->width) * enc->height * 255.0 * 255.0)));
    MyUtilHlpr::my_fprintf(file, "f_size= %6d ", encodedSize);
    const double timeBase = av_q2d(enc->time_base);
    const double ti1 = std::max(0.01, static_cast<double>(ost.SyncOpts) * timeBase);
    const double bitRate = timeBase > 0 ? encodedSize * 8 / timeBase / 1000 : 0.0;
    const double average = static_cast<double>(run_->Counters.VideoSize) * 8 / ti1 / 1000;
    MyUtilHlpr::my_fprintf(file,
                           "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                           run_->Counters.VideoSize / 1024.0, ti1, bitRate, average);
    MyUtilHlpr::my_fprintf(
        file, "type= %c\n",
        AVUtilHlpr::av_get_picture_type_char(static_cast<AVPictureType>(ost.Coded.PictureType)));
}

} // namespace velto
