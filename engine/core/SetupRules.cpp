// Rules of the input and output set-up that need no library state.
#include "SetupRules.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FFMpegException.h"

namespace velto {

float InputAspectRatio(AVRational streamAspect, AVRational codecAspect, int width, int height) {
    const AVRational sample = streamAspect.num != 0 ? streamAspect : codecAspect;
    float ratio = sample.num != 0 && sample.den != 0 ? static_cast<float>(av_q2d(sample)) : 0.0f;
    if (width * height != 0) {
        const float picture = static_cast<float>(width) / static_cast<float>(height);
        ratio = ratio != 0.0f ? ratio * picture : picture;
    } else if (ratio == 0.0f) {
        ratio = 4.0f / 3.0f;
    }
    return ratio;
}

int InputPixelFormat(int codecFormat, const std::string& fileName) {
    if (codecFormat != AV_PIX_FMT_NONE)
        return codecFormat;
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return codecFormat;
    std::string extension = fileName.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::string kRealMedia = ".rmvb";
    if (extension.size() <= kRealMedia.size() &&
        kRealMedia.compare(0, extension.size(), extension) == 0)
        return AV_PIX_FMT_YUV420P;
    return codecFormat;
}

AVRational NearestFrameRate(const AVRational* rates, AVRational rate) {
    if (!rates || (rates->num == 0 && rates->den == 0))
        return rate;
    AVRational best = *rates;
    AVRational bestDistance = {-1, 1};
    for (const AVRational* entry = rates; entry->num != 0 || entry->den != 0; ++entry) {
        // Exact distance |entry - rate| as a reduced rational (the inline helpers of the header).
        AVRational distance = {
            static_cast<int>(std::llabs(static_cast<long long>(entry->num) * rate.den -
                                        static_cast<long long>(rate.num) * entry->den)),
            entry->den * rate.den};
        if (bestDistance.num < 0 || av_cmp_q(distance, bestDistance) < 0) {
            best = *entry;
            bestDistance = distance;
        }
    }
    return best;
}

int SupportedPixelFormat(const AVPixelFormat* formats, int wanted) {
    if (!formats || *formats == AV_PIX_FMT_NONE)
        return wanted;
    for (const AVPixelFormat* format = formats; *format != AV_PIX_FMT_NONE; ++format)
        if (*format == wanted)
            return wanted;
    return formats[0];
}

int SupportedSampleFormat(const AVSampleFormat* formats, int wanted) {
    if (!formats || *formats == AV_SAMPLE_FMT_NONE)
        return wanted;
    for (const AVSampleFormat* format = formats; *format != AV_SAMPLE_FMT_NONE; ++format)
        if (*format == wanted)
            return wanted;
    return formats[0];
}

namespace {

// Reads an integer after leading spaces, as far as the digits go (0 when there are none).
int ReadNumber(const char*& cursor) {
    char* end = nullptr;
    const long value = std::strtol(cursor, &end, 10);
    cursor = end;
    return static_cast<int>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

} // namespace

std::vector<RcOverride> ParseRcOverride(const std::string& text) {
    std::vector<RcOverride> overrides;
    const char* cursor = text.c_str();
    while (true) {
        int numbers[3];
        for (int i = 0; i < 3; ++i) {
            numbers[i] = ReadNumber(cursor);
            if (i < 2) {
                if (*cursor == '\0')
                    throw FFMpegException("error parsing rc_override");
                ++cursor; // the separator, whatever it is
            }
        }
        RcOverride entry{};
        entry.start_frame = numbers[0];
        entry.end_frame = numbers[1];
        if (numbers[2] > 0) {
            entry.qscale = numbers[2];
            entry.quality_factor = 1.0f;
        } else {
            entry.qscale = 0;
            entry.quality_factor = -static_cast<float>(numbers[2]) / 100.0f;
        }
        overrides.push_back(entry);
        cursor = std::strchr(cursor, '/');
        if (!cursor)
            break;
        ++cursor;
    }
    return overrides;
}

} // namespace velto
