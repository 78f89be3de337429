// Opens one media file (or adopts an opened container) and describes the container and its
// audio and video streams. Used by one thread at a time.
#pragma once

#include "LibraryObjects.h"

#include <cstdint>
#include <string>

struct AVFormatContext;
struct AVStream;

namespace velto {

struct TFormatInfo {
    std::int64_t StartTime;
    std::int64_t Duration;
    std::int32_t BitRate;
    std::int64_t Timestamp;
    char Title[512];
    char Author[512];
    char Rights[512];
    char Comment[512];
    char Album[512];
    std::int32_t Year;
    std::int32_t Track;
    char Genre[32];
};

struct TAudioStreamInfo {
    char Language[4];
    char CodecName[32];
    std::int64_t StartTime;
    std::int64_t StartTimeUs;
    std::int64_t Duration;
    std::int64_t DurationUs;
    std::int32_t BitRate;
    std::int32_t Channels;
    std::int32_t SampleRate;
    std::int32_t SampleFormat;
};

struct TVideoStreamInfo {
    char Language[4];
    char CodecName[32];
    std::int64_t StartTime;
    std::int64_t StartTimeUs;
    std::int64_t Duration;
    std::int64_t DurationUs;
    std::int32_t BitRate;
    std::int32_t Height;
    std::int32_t Width;
    float AspectRatio;
    std::int32_t PixelFormat;
    std::int32_t FrameRateNum;
    std::int32_t FrameRateDen;
};

// The clockwise turn (0, 90, 180 or 270 degrees) a player gives the stream's pictures, from its
// display matrix; 0 without one or for an angle that is no quarter turn.
int DisplayRotationOf(const AVStream* stream);

// The open-error message for a file, chosen by the library's error code.
std::string OpenErrorText(const std::string& fileName, int code);
// The refusal for a name that exists but is no regular file (a pipe, device or folder), or
// empty. Opening a pipe waits for a writer and a device never ends, so neither is opened.
std::string NotARegularFileText(const std::string& fileName);

class TCustomAVProbe {
public:
    TCustomAVProbe();
    virtual ~TCustomAVProbe();
    TCustomAVProbe(const TCustomAVProbe&) = delete;
    TCustomAVProbe& operator=(const TCustomAVProbe&) = delete;

    // Raises std::runtime_error when a library the probe needs is not bound.
    static void CheckLibraries();

    bool LoadFile(const std::string& fileName, const std::string& formatName = {});
    // Adopts an opened context without owning it; Close leaves it open.
    virtual void Attach(AVFormatContext* context);
    virtual void Close();

    void GetFormatInfo(TFormatInfo& info) const;
    void GetAudioStreamInfo(int index, TAudioStreamInfo& info) const;
    void GetVideoStreamInfo(int index, TVideoStreamInfo& info) const;
    std::string GetFileName() const;
    std::int64_t GetFileSize() const;

    // The loaded or attached container, none when nothing is loaded.
    AVFormatContext* FormatContext() const { return owned_ ? owned_.get() : attached_; }
    // True when LoadFile opened the container, which Close then closes.
    bool OwnsContext() const { return owned_ != nullptr; }

    std::string LastError;
    std::string InputFormatName;
    int StreamCount = -1;
    int ProgramCount = -1;
    int AudioStreamCount = -1;
    int VideoStreamCount = -1;
    int SubtitleStreamCount = -1;
    int FirstAudioStreamIndex = -1;
    int FirstVideoStreamIndex = -1;
    int FirstSubtitleStreamIndex = -1;

private:
    void Analyse();

    OwnedInput owned_;                    // opened by LoadFile
    AVFormatContext* attached_ = nullptr; // adopted by Attach, never closed here
};

class TAVProbe : public TCustomAVProbe {};

} // namespace velto
