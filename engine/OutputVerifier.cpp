#include "OutputVerifier.h"

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "LibraryObjects.h"
#include "MyUtils.h"

#include <algorithm>

namespace velto {

namespace {

// A stream can be declared and hold no packet (an encoder that was never given a picture): the
// file then plays as nothing, whatever its header says of its length.
bool HoldsPackets(const TAVProbe& probe, int stream) {
    AVFormatContext* context = probe.FormatContext();
    OwnedPacket packet(AVCodecHlpr::av_packet_alloc());
    if (!context || !packet)
        return true;
    // Streams are interleaved within a second or so: this many packets without one means none.
    for (int read = 0; read < 4096; ++read) {
        if (AVFormatHlpr::av_read_frame(context, packet.get()) < 0)
            return false;
        const bool found = packet->stream_index == stream;
        AVCodecHlpr::av_packet_unref(packet.get());
        if (found)
            return true;
    }
    return true;
}

} // namespace

std::int64_t DurationTolerance(std::int64_t expected) {
    return std::max<std::int64_t>(1000000, expected / 20);
}

TOutputCheck VerifyOutput(const std::string& fileName, const TOutputExpectation& expected) {
    TOutputCheck check;
    TAVProbe probe;
    if (!probe.LoadFile(fileName)) {
        check.Problem = "it cannot be opened again (" + probe.LastError + ")";
        return check;
    }
    if (expected.Video && probe.VideoStreamCount <= 0) {
        check.Problem = "it holds no video stream";
        return check;
    }
    if (expected.Audio && probe.AudioStreamCount <= 0) {
        check.Problem = "it holds no audio stream";
        return check;
    }
    const int kept = expected.Video ? probe.FirstVideoStreamIndex : probe.FirstAudioStreamIndex;
    if (expected.Packets && (expected.Video || expected.Audio) && kept >= 0 &&
        !HoldsPackets(probe, kept)) {
        check.Problem = expected.Video ? "its video stream holds no pictures"
                                       : "its audio stream holds no sound";
        return check;
    }
    TFormatInfo info{};
    probe.GetFormatInfo(info);
    // Stream durations stand in when the container gives none.
    std::int64_t duration = info.Duration > 0 ? info.Duration : -1;
    if (duration < 0) {
        if (probe.FirstVideoStreamIndex >= 0) {
            TVideoStreamInfo video{};
            probe.GetVideoStreamInfo(probe.FirstVideoStreamIndex, video);
            duration = std::max(duration, video.DurationUs);
        }
        if (probe.FirstAudioStreamIndex >= 0) {
            TAudioStreamInfo audio{};
            probe.GetAudioStreamInfo(probe.FirstAudioStreamIndex, audio);
            duration = std::max(duration, audio.DurationUs);
        }
    }
    check.Duration = duration > 0 ? duration : -1;
    check.Verdict = ovValid;
    if (expected.Duration > 0 && check.Duration >= 0 &&
        check.Duration < expected.Duration - DurationTolerance(expected.Duration))
        check.Verdict = ovShort;
    return check;
}

std::string FormatClockTime(std::int64_t microseconds) {
    const std::int64_t seconds = std::max<std::int64_t>(0, microseconds / 1000000);
    return StringPrintf("%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                        static_cast<long long>(seconds / 60 % 60),
                        static_cast<long long>(seconds % 60));
}

} // namespace velto
