// Makes small media files at test time through the engine's own binding: synthetic pictures (a
// moving gradient) and tones encoded into whatever container a test needs. No media is committed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace velto::test {

struct VideoTrack {
    std::string encoder = "mpeg4";
    int width = 176;
    int height = 144;
    int frameRateNum = 25;
    int frameRateDen = 1;
    int gopSize = 12;
    int bitRate = 400000;
    int sampleAspectNum = 0; // 0: none declared
    int maxBFrames = 0;      // reordered pictures, so that decoders hand pictures back late
    int sampleAspectDen = 1;
    // A textured picture that pans and carries fresh grain in every frame: it costs bits the way
    // filmed content does, so that bit rates measured on it mean something.
    bool motion = false;
    // Dark picture with a white block in its top-left ninth and a grey one in its top-right
    // ninth, so that a turn or a mirror shows in the decoded output.
    bool marker = false;
    // Clockwise turn a player gives the picture, written as the stream's display matrix.
    int rotation = 0;
    // "yuv420p10le" and such; empty: the encoder's 4:2:0 format. Deeper formats get a
    // two-level picture: the left half bright, the right half mid-grey and reddish.
    std::string pixelFormat;
    int colorPrimaries = AVCOL_PRI_UNSPECIFIED; // AVColorPrimaries
    int colorTransfer = AVCOL_TRC_UNSPECIFIED;  // AVColorTransferCharacteristic
    int colorMatrix = AVCOL_SPC_UNSPECIFIED;    // AVColorSpace
};

struct AudioTrack {
    std::string encoder = "mp2";
    int sampleRate = 44100;
    int channels = 2;
    int bitRate = 128000;
    double toneHz = 440.0;
    std::string language;   // three-letter code, empty for none
    bool isDefault = false; // the track carries the default flag
};

// Text subtitles made by the library's own subtitle encoder: "srt" (SubRip), "ass", "mov_text"
// or "webvtt". Cue n reads "Cue number n" from n seconds (plus startMs) for 800 ms.
struct SubtitleTrack {
    std::string encoder = "srt";
    int cues = 2;
    int startMs = 0;
    std::string language;
    bool isDefault = false;
};

// Bitmap subtitles made by the library's DVD subtitle encoder: one subtitle, a solid white block
// at x, y (width x height, in the frame's pixels) shown from startMs to endMs. `undecodable`
// writes a DVB subtitle stream whose one packet no decoder accepts instead.
struct BitmapSubtitleTrack {
    int x = 48;
    int y = 40;
    int width = 80;
    int height = 60;
    int startMs = 400;
    int endMs = 1200;
    // Shown this many times, each repeatEveryMs after the one before.
    int repeats = 1;
    int repeatEveryMs = 1000;
    int frameWidth = 176; // the frame the block is placed in, as the stream declares it
    int frameHeight = 144;
    std::string language;
    bool isDefault = false;
    bool undecodable = false;
};

struct MediaRecipe {
    std::string muxer;        // empty: guessed from the file name
    std::string muxerOptions; // "name=value:name=value", e.g. "movflags=faststart"
    double seconds = 1.0;
    std::vector<VideoTrack> video;
    std::vector<AudioTrack> audio;
    int subtitleCues = 0; // subrip cues, one a second; needs a muxer that takes text subtitles
    std::vector<SubtitleTrack> subtitles;             // after subtitleCues' stream
    std::vector<BitmapSubtitleTrack> bitmapSubtitles; // after the text ones
    // Stream order: video first, then audio, then subtitles, unless audioFirst is set.
    bool audioFirst = false;
    // Container tags ("title", "creation_time", "location", ...).
    std::vector<std::pair<std::string, std::string>> tags;
};

// Writes the recipe to path and returns path; throws std::runtime_error with the library's reason.
std::string MakeMedia(const std::string& path, const MediaRecipe& recipe);

// Ready-made files in folder; each returns the full path.
std::string MakeAviMpeg4Mp2(const std::string& folder, double seconds = 1.0);
std::string MakeMp4H264Aac(const std::string& folder, double seconds = 1.0);
std::string MakeMpegPsMpeg2Mp2(const std::string& folder, double seconds = 1.0);
std::string MakeWav(const std::string& folder, double seconds = 1.0);
std::string MakeMp3(const std::string& folder, double seconds = 1.0);
std::string MakeVideoOnly(const std::string& folder, double seconds = 1.0);
// MPEG-4 video of the given size with the motion picture, MP2 audio unless videoOnly.
std::string MakeMotionClip(const std::string& folder, double seconds, int width, int height,
                           int frameRate = 25, bool videoOnly = false);
std::string MakeTwoAudio(const std::string& folder, double seconds = 1.0);
std::string MakeWithSubtitle(const std::string& folder, double seconds = 2.0);
// A SubRip file of `cues` cues timed as SubtitleTrack's, written as plain text.
std::string MakeSrtFile(const std::string& path, int cues, int startMs = 0);

// Damaged and empty inputs.
std::string MakeEmptyFile(const std::string& folder, const std::string& name = "empty.avi");
// Copies source to name keeping only the first fraction of its bytes.
std::string MakeTruncatedCopy(const std::string& source, const std::string& name, double fraction);
std::string MakeRandomFile(const std::string& folder, const std::string& name, size_t bytes,
                           std::uint32_t seed);
// Copies source to name with `flips` random bits inverted past the first `skipBytes` bytes.
std::string MakeBitFlippedCopy(const std::string& source, const std::string& name, int flips,
                               std::uint32_t seed, size_t skipBytes = 0);

} // namespace velto::test
