// The transcoding task TCustomFFmpeg: its settings, option vocabulary and target presets, and
// (declared by the later units in their own sections) the input/output set-up, the run and its
// thread. Options are applied on the caller's thread while the task is idle; the run happens on
// the task's worker thread, in a TTranscodeRun (TranscodeRun.h) that owns the stages: demuxer,
// decoder, filter chain, encoder and muxer (Demuxer.h, Decoder.h, FilterChain.h, Encoder.h,
// Muxer.h). One class, several .cpp files by concern:
//   FFmpegTask.cpp         construction, option state, log sink
//   FFmpegConvert.cpp      integer/float/time conversions
//   FFmpegOptionTable.cpp  the option table and ApplyOptionText
//   FFmpegOptions.cpp      handlers of the table
//   FFmpegGenericOptions.cpp  SetGenericOption, ApplyGenericOptions, FindCodecId
//   FFmpegTargets.cpp      target presets; FFmpegValidators.cpp crop and pad
//   FFmpegInput.cpp, FFmpegOutput.cpp, FFmpegOutputStreams.cpp  input and output set-up
//   TranscodeSetup.cpp, StreamMapping.cpp, OutputCodecSetup.cpp  set-up of a run
//   TranscodeLoop.cpp      the packet loop and the end of a run
//   OutputFeed.cpp         hand-over from the decoder to the output streams
//   AudioPath.cpp, VideoPath.cpp, VideoHooks.cpp  the audio and video paths
//   ProgressReport.cpp     progress report and statistics; FFmpegOutputFiles.cpp safe writing
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "FFMpegException.h"
#include "FFmpegFiles.h"
#include "FFmpegThread.h"
#include "FFmpegVideoState.h"
#include "FrameHook.h"
#include "JobResult.h"
#include "OutputVerifier.h"
#include "TaskSettings.h"
#include "TranscodeRun.h"

namespace velto {

class TCustomFFmpeg;

// The task's log sink: (task, engine log level, text). Unassigned means "not attached".
using TLogSink = std::function<void(TCustomFFmpeg* task, int level, const std::string& text)>;

// What a before-hook handler decides for one picture.
enum THookAction { haContinue, haIgnore, haStop };

// A time range of input timestamps, in microseconds, inclusive, in which frame hooks run.
struct THookRange {
    std::int64_t Start = 0;
    std::int64_t End = 0;
};

// The engine component's hook handlers as the task calls them, on its worker thread.
using TBeforeHookSink =
    std::function<void(TCustomFFmpeg* task, std::int64_t pts, THookAction& action)>;
using TCustomHookSink = std::function<void(TCustomFFmpeg* task, TBitmap& bitmap, int frameNumber,
                                           std::int64_t pts, bool& update, bool& stopHook)>;

// The task's progress sink: (task, frame number, frames per second, current duration in ms,
// quality, bit rate in kbit/s, current size in bytes, expected total duration in ms).
using TProgressSink = std::function<void(TCustomFFmpeg* task, int frameNumber, int framesPerSecond,
                                         int currentDuration, float quality, float bitRate,
                                         std::int64_t currentSize, int totalDuration)>;

// The task's terminate sink; the task's Result() and ResultMessage() tell how it ended.
using TTerminateSink = std::function<void(TCustomFFmpeg* task)>;

// Video norms of the target presets.
enum TTargetNorm { tnPAL = 0, tnNTSC = 1, tnFilm = 2 };

// The four sides of a picture, for crop and pad values.
enum TFrameSide { fsTop, fsBottom, fsLeft, fsRight };

// Norm that a frame rate (frames per second) identifies, or -1: 25 is PAL, 29.97 and 23.976
// are NTSC.
int NormFromFrameRate(AVRational rate);
// The automatic norm choice of the presets from the task's frame rate and the frame rates of the
// opened inputs' video streams (in input and stream order), falling back to fallbackNorm ("film",
// "ntsc", anything else PAL). Raises "frame_rate is invalid." when frameRate.den is 0.
TTargetNorm GuessTargetNorm(AVRational frameRate, const std::vector<AVRational>& streamRates,
                            const std::string& fallbackNorm);

// Conversions with the system's rules and messages (EConvertError).
int StrToInt(const std::string& text);
std::int64_t StrToInt64(const std::string& text);
float StrToFloat(const std::string& text);
// Leading spaces and control characters removed from both ends.
std::string Trim(const std::string& text);

// The library's text for an error code ("No space left on device", "Permission denied", ...).
std::string LibraryErrorReason(int code);
// Why an output of this name could not be written into its folder, or empty: the folder must
// exist and be writable, and an existing name must be a file (it is replaced by a rename).
std::string OutputFolderProblem(const std::string& fileName);

// Full-range Y, Cb, Cr of an RGB colour value (red in bits 0-7).
void RgbToYCbCr(std::uint32_t rgb, int ycbcr[3]);

class TCustomFFmpeg {
public:
    TCustomFFmpeg();
    virtual ~TCustomFFmpeg();
    TCustomFFmpeg(const TCustomFFmpeg&) = delete;
    TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

    // ---- Settings and option state (FFmpegTask.cpp) ----
    TaskSettings Settings;
    TLogSink LogSink;
    TFrameHook* FrameHooks = nullptr; // hooks added by "vhook", released with the option state

    // Frees the option holders, bitstream filter chains and every setting, and restores the
    // defaults. Touches the libraries only to free what they allocated.
    void ResetOptionState();
    // Allocates the five codec holders, the format holder and the scaler holder (libraries bound).
    void AllocateOptionHolders();
    // ResetOptionState followed by AllocateOptionHolders.
    void InitOptions();

    bool HasLogSink() const { return static_cast<bool>(LogSink); }
    // Calls the log sink when one is attached.
    void Log(int level, const std::string& text);

    // ---- Option vocabulary (FFmpegOptionTable.cpp, FFmpegOptions.cpp) ----
    // Applies name=value lines; the first failing line raises and ends the block.
    void ApplyOptionText(const std::string& text);
    // Applies one option through the table; unknown names go to SetGenericOption.
    void SetOption(const std::string& name, const std::string& value);

    // ---- Generic options (FFmpegGenericOptions.cpp) ----
    bool SetGenericOption(const std::string& name, const std::string& value);
    // Copies every recorded generic option whose flags include all of `flags` from holder to
    // target (both AVClass-enabled structs: codec or format contexts).
    void ApplyGenericOptions(void* target, void* holder, int flags);
    // Codec id of an encoder or decoder name (AV_CODEC_ID_NONE for an empty name); raises
    // "Unknown encoder '...'" or "Invalid decoder type '...'" for a name that does not fit.
    AVCodecID FindCodecId(const std::string& name, AVMediaType kind, bool encoder);
    // The encoder of that name (old names mapped to this build's), or null. Several encoders
    // share a codec id; the one the user named is the one to use.
    const AVCodec* FindEncoderByName(const std::string& name) const;
    std::int64_t ParseTimeOption(const std::string& option, const std::string& text,
                                 bool isDuration);

    // ---- Setters with guards, used when the option records are applied ----
    void SetInputFormat(const std::string& name);
    void SetOutputFormat(const std::string& name);
    void SetStartTime(std::int64_t microseconds); // above 0
    void SetProgramId(int id);                    // 0 or above
    void SetRecordingTime(int milliseconds);      // above 0
    void SetAudioVolume(int volume);              // 0 or above
    void SetMuxMaxDelay(float seconds);           // above 0.0
    void SetMuxPreload(float seconds);            // above 0.0
    void SetYear(int year);                       // above 0
    void SetTrack(int track);                     // above 0
    void SetAudioSyncMethod(int method) { Settings.AudioSyncMethod = method; }
    void SetVideoSyncMethod(int method) { Settings.VideoSyncMethod = method; }
    void SetPadColor(std::uint32_t rgb);

    // ---- Target presets and validators (FFmpegTargets.cpp, FFmpegValidators.cpp) ----
    void ParseTargetOption(const std::string& value);
    void SetTarget(const std::string& name, const std::string& norm, const std::string& fallback);
    void SetCrop(TFrameSide side, int value);
    void SetPad(TFrameSide side, int value);
    // Frame rates of the video streams of the opened inputs, input by input (norm guess).
    std::vector<AVRational> InputVideoFrameRates() const;

    // ---- Per-run tables (input and output set-up extend this section) ----
    std::vector<TInputFile> InputFiles;   // at most kMaxFiles, in opening order
    std::vector<TOutputFile> OutputFiles; // at most kMaxFiles, in creation order

    // ---- The run (TranscodeRun.h and its stages; TranscodeSetup.cpp, TranscodeLoop.cpp) ----
    // Converts the opened inputs into the opened outputs; raises FFMpegException on failure.
    // Runs on the task's worker thread; StopRequested may be set from any thread.
    void Transcode();
    // Closes every codec a run left open (the run's clean-up after a failure).
    void CloseOpenCodecs();
    // True while a run holds its state (between the start of Transcode and its end).
    bool HoldsRunState() const { return run_ != nullptr; }
    std::atomic<bool> StopRequested{false};
    bool Finished = false; // the run ended with a complete, verified output (jrFinished)
    // Set by a run whose output is valid but shorter than the source said: "source ended at ...".
    std::string IncompleteReason;
    std::int64_t ProgressInterval = 500000; // microseconds between two progress reports
    // Tasks the engine runs at the same time as this one's batch, itself included; an automatic
    // thread count takes its share of the cores from it. Set before Start.
    int TasksAtOnce = 1;

    // Thread count and kinds of a codec about to open (FFmpegCodecThreads.cpp).
    void SetCodecThreads(AVCodecContext* codec) const;
    // The progress report of a run's stream table (ProgressReport.cpp).
    void PrintReport(const TTranscodeRun& run, bool final);
    TProgressSink ProgressSink;
    bool CustomHookAssigned = false; // the component has a custom hook handler
    // Bit 0: the encoded-picture preview tap is on. Written from any thread without waiting
    // (SetPreview); the worker frees the previewer once it sees the bit cleared.
    std::atomic<std::uint32_t> PostHookFlags{0};
    void SetPreview(bool on);

    // ---- Hooks of the video path (VideoHooks.cpp, VideoPath.cpp) ----
    // Handlers of the engine component; unassigned means no handler. The custom hook is detached
    // when it asks to stop or cannot be served.
    TBeforeHookSink BeforeHookSink;
    TCustomHookSink CustomHookSink;
    std::vector<THookRange> HookRanges; // sorted by End; empty: no limit
    THookAction HookAction = haContinue;
    TVideoHookState VideoHooks;

    // Output stream creation (output set-up, FFmpegOutput.cpp); reached by the options
    // "newvideo", "newaudio" and "newsubtitle" for the newest output.
    void NewVideoStream(AVFormatContext* output);
    void NewAudioStream(AVFormatContext* output);
    void NewSubtitleStream(AVFormatContext* output);

    // ---- Input and output set-up (FFmpegInput.cpp, FFmpegOutput.cpp) ----
    // Opens one input and reads its stream properties back into Settings; raises on failure.
    void OpenInputFile(const std::string& fileName);
    // Opens a subtitle file kept beside the source as a further input whose cues keep the
    // source's clock; its first stream becomes the output's subtitle source.
    void OpenSubtitleFile(const std::string& fileName);
    // True when libavfilter has the filter that draws text subtitles (libass).
    static bool CanBurnSubtitles();
    // Draws the subtitles of the source's stream `stream` (index in the file; -1: the first),
    // or of `file` when one is given, into the output's picture: text through libass, the
    // pictures of a bitmap stream through an overlay.
    void BurnSubtitlesFrom(const std::string& file, int stream);
    // After BurnSubtitlesFrom: the stream burned in is a bitmap one, which needs no libass.
    bool BurnsBitmapSubtitles() const;
    // Creates one output with its streams and checks where its file goes; raises on failure.
    // A failure before the streams exist leaves no output behind.
    void OpenOutputFile(const std::string& fileName);
    // Which media kinds (video, audio, subtitle) the opened inputs have.
    void CheckInputStreamKinds(bool& hasVideo, bool& hasAudio, bool& hasSubtitle) const;
    // True when the filter chain has no filter that changes the frame size.
    static bool HasNoResizingFilter(const std::string& chain);
    // Closes and frees every input and output with their stream records (idempotent); removes
    // the temporary files of outputs that were not completed.
    void ReleaseFiles();
    // Opens the inputs and outputs of a task that holds none while it waits (its set-up is
    // replayed on the run's thread before it transcodes). Empty when the files are open already.
    std::function<void()> OpenFilesForRun;

    // ---- Safe output writing (FFmpegOutputFiles.cpp) ----
    // A stopped or short run's output is kept under UnfinishedOutputName (else it is removed);
    // only a finished one takes the output name. An output that failed is always removed.
    bool KeepUnfinishedOutput = true;
    // Opens a new temporary file beside every output that writes a file.
    void OpenOutputTempFiles();
    // The name the user gave the output (its context names the temporary file during a run).
    const char* OutputName(int file) const;
    // Raises the write failure the output's byte stream has recorded, with its reason.
    void CheckOutputWrites(int file);
    // Trailers, checked closes, verification and the rename into place; sets IncompleteReason.
    void FinishOutputFiles();
    void DiscardOutputTempFiles();
    // Gives output the modification time of the file source (a log line when it cannot).
    void KeepSourceDate(const char* source, const std::string& output);
    // What the output file should hold, from its streams' sources, start offset and recording
    // time.
    TOutputExpectation ExpectedOutput(int file) const;
    // Output time (microseconds) past which a run is stopped as runaway; -1 for no limit.
    std::int64_t OutputLengthLimit() const;

    // ---- Thread and run control (FFmpegRunControl.cpp, FFmpegThread.cpp) ----
    // Starts the run: on the caller's thread (returns null once it has ended) or on a new worker
    // thread created suspended, which the caller resumes; the task owns the worker and joins it.
    // Null, changing nothing, when the task is running or has reported its termination; null
    // after reporting a failure when the task has no output or no input file. onStarted becomes
    // the worker's OnStarted before any other thread can resume it. A stop asked for before the
    // run begins still holds for it.
    std::shared_ptr<TFFmpegThread> Start(bool threaded, TConvertPriority priority,
                                         std::function<void(std::uint32_t)> onStarted = {});
    // Held by a thread that sets up the task's files while other threads may start it (the
    // engine's AddOutput): Start takes the same lock for its check, so that it never sees a
    // half-made file table, except on the thread setting up (a log handler there may start it).
    // What the engine sets for the next run, asked for under its own lock while another thread
    // may still be setting up the task's files; Start applies it once no set-up is under way.
    struct TRunPreparation {
        std::int64_t ProgressInterval = 500000;
        int TasksAtOnce = 1;
        std::string LogLevel; // the "v" option's value; empty keeps the task's own
    };
    void PrepareNextRun(TRunPreparation preparation);
    class TSetUp {
    public:
        explicit TSetUp(TCustomFFmpeg& task);
        ~TSetUp();
        TSetUp(const TSetUp&) = delete;
        TSetUp& operator=(const TSetUp&) = delete;

    private:
        TCustomFFmpeg& task_;
    };
    // Asks the loop to end at its next test and wakes a paused worker. Any thread.
    void Stop();
    // Stop for a running task; a task that never ran reports its termination from a thread of
    // its own. Any thread. True when that report was set off here.
    bool StopOrFinish();
    // Cooperative pause of a worker: it parks at the top of the next loop iteration or between
    // duplicated pictures, holding no lock. A run on the caller's thread is not paused.
    void Pause();
    void Resume();
    // Back to the created state with fresh option defaults (libraries bound; not while running).
    void ResetState();
    // Closes every file, frees the option state and deletes outputs left empty (libraries bound).
    void ReleaseFilesAndOptions();
    // The worker's test: parks while paused; false once a stop is requested.
    bool KeepRunning();
    bool Running() const;
    bool Terminated() const;
    bool Failed() const;
    std::string ErrorMessage() const;
    // How the last run ended: failed, finished, incomplete or (also for a task that never ran)
    // stopped.
    TJobResult Result() const;
    // The failure message, the incomplete reason, or empty.
    std::string ResultMessage() const;
    // True while the worker sits parked by Pause.
    bool Parked() const { return parked_.load(); }
    // Stops the run, waits until no thread uses the task (no TTaskUse is left) and joins its
    // threads; the task must not go while a thread uses it, so the wait has no bound. On the main
    // thread the wait serves the dispatcher so that a worker waiting for the main thread can
    // finish. Not from a thread that holds a TTaskUse of this task.
    void StopAndWait();
    TTerminateSink TerminateSink;

    // The thread bodies (FFmpegThread.cpp).
    void RunWrapper();
    void ReportTermination();
    // Joins the threads of its runs and reports that have ended, so that their stacks go now
    // rather than with the task; true when none is left. The calling thread's own is left
    // alone. Any thread.
    bool JoinEndedThreads();
    // Some thread still uses the task (holds a TTaskUse): freeing it now would have to wait.
    bool ThreadsActive() const;
    // A run or a termination report is under way, up to the terminate sink's return: the task
    // has yet to finish reporting.
    bool ReportDue() const;
    // The task whose run or termination report the calling thread is executing, or null. Library
    // log lines are credited to it: thread ids are recycled, a run's thread is not.
    static TCustomFFmpeg* TaskOfThisThread();

    // The pass a run of a size-fitted job is in: 0 for an ordinary run, else 1 or 2. The
    // encoders read it to name the private log of the passes.
    int FitPass() const { return sizeFit_.Pass; }
    const std::string& FitLogPrefix() const { return sizeFit_.LogPrefix; }
    // In a fitted run: its video encoders take any even picture size, no filter of the user's
    // sets it, and a smaller picture is still allowed.
    bool PictureMayShrink() const;

private:
    // ---- Fitting the output into a size (FFmpegSizeFit.cpp) ----
    struct TSizeFit {
        int Pass = 0;
        int RepeatsLeft = 0;          // second passes still allowed at a lower rate
        double RateScale = 1.0;       // the video rate against the one the job asked for
        std::int64_t OverSize = 0;    // bytes of the last output that came out over; 0: none
        std::int64_t VideoBytes = 0;  // the video's share of it
        std::int64_t EarlierSize = 0; // the over-size output of the repeat before, 0: none
        // The picture's sides against the job's; below 1 once the rate alone could not fit.
        double FrameScale = 1.0;
        bool FewerPictures = false;  // the job's frame rate halved
        std::int64_t ShrunkFrom = 0; // the size that made the last smaller picture
        int ShrinksLeft = 0;
        bool ShrinkDue = false; // the last output is to be made again at a smaller picture
        std::string LogPrefix;
    };
    TSizeFit sizeFit_;
    // Two passes and, while the result is over the limit, another second pass at a rate lowered
    // by the excess measured; the files are opened again for each.
    void RunFittedPasses();
    void ReopenForNextPass();
    // The job's picture size and pads, made smaller once the rate alone could not fit; the
    // video encoder's set-up calls it.
    void ScalePictureForFit();
    // The first pass again, at a picture made smaller by the excess of the last output.
    void ShrinkPicture();
    // In FinishOutputFiles: true when the verified output is over its limit and the run is to
    // be repeated (nothing takes the output name); raises when it may not be.
    bool OverFitSize(int file);

    // ---- The run's state and the steps of Transcode (private: the run owns its state) ----
    std::unique_ptr<TTranscodeRun> run_; // null outside a run
    // Quantisers of the reported pictures; kept across runs.
    int qpHistogramCounts_[52] = {};

    // Set-up of the run (TranscodeSetup.cpp, StreamMapping.cpp, OutputCodecSetup.cpp).
    void BuildInputTables();
    void MapStreams();
    void CheckStreamMaps(int outputStreams) const;
    // Output stream k of output file `file`, entry n of the output stream table.
    void MapOutputStream(int file, int index, int n);
    AVMediaType InputStreamType(int inputStream) const;
    // Input streams for an output stream of the type, or -1: the first unused one of the chosen
    // program, the first unused one, the last one of the type.
    int ProgramSource(AVMediaType type) const;
    // The unused input stream of the type that Settings chose for it, or -1.
    int ChosenSource(AVMediaType type) const;
    int UnusedSource(AVMediaType type) const;
    int LastSource(AVMediaType type) const;
    void SetUpOutputCodec(int outputStream);
    void SetUpStreamCopy(TOutputStreamState& ost, TInputStreamState& ist);
    void SetUpVideoEncoding(TOutputStreamState& ost, TInputStreamState& ist);
    // The scaler from the input picture to the encoder's, with the crop and the padding.
    void OpenImageResampler(TOutputStreamState& ost, const AVCodecParameters* input);
    void SetUpSubtitleEncoding(TOutputStreamState& ost, TInputStreamState& ist);
    void LogStreamMapping();
    void OpenCodecs();
    void ApplyMetaDataMaps();
    // With "source_tags": the first input's date, title, artist, comment and place.
    void CopySourceTags();
    // Drops the run and what it owns, also when it was only partly built.
    void ReleaseRunTables();

    // The packet loop and the end of the run (TranscodeLoop.cpp).
    void RunLoop();
    bool HandlePacket(int file, AVPacket* packet);
    void EndRun();

    // The hand-over from the decoder to the outputs (OutputFeed.cpp), reached through the
    // run: through the input stream's filter chain, if any, to every output stream it feeds.
    friend class TTranscodeRun;
    void ServeOutputs(int inputStream, AVPacket* packet, AVFrame* frame, AVSubtitle* subtitle);
    void FeedFilteredPictures(int inputStream, AVPacket* packet);
    void FeedOutputs(int inputStream, AVPacket* packet, AVFrame* frame, AVSubtitle* subtitle);
    // End of an input stream: the pictures its filter chain and the samples or pictures its
    // encoders still hold go out.
    void EndOfStream(int inputStream);

    // Audio and video output paths, report (AudioPath.cpp, VideoPath.cpp, VideoHooks.cpp,
    // ProgressReport.cpp).
    void PreProcessPicture(int inputStream, AVFrame* picture);
    void DoAudioOut(int outputStream, int inputStream, AVFrame* samples);
    void DoVideoOut(int outputStream, int inputStream, AVFrame* picture, int& encodedSize);
    // Drains an encoder at end of input (audio: also the samples left in the FIFO).
    void FlushEncoder(int outputStream);
    // Encodes whole encoder frames from the audio FIFO (with last, also a short final one).
    void EncodeQueuedAudio(int outputStream, bool last);
    void WriteVideoStats(int outputStream, int encodedSize);
    void PrintReport(bool final) { PrintReport(*run_, final); }
    // Bytes of the first output so far (PrintReport).
    std::int64_t ReportedOutputSize() const;
    // The final "video:...kB audio:...kB" line.
    void LogSizeSummary(const TRunCounters& counters, std::int64_t totalSize);
    void DecideHookAction(std::int64_t pts);
    // Makes VideoHooks.HookPicture a writable copy of picture (deinterlaced when asked); false
    // when no copy could be made.
    bool MakeWorkingCopy(const AVFrame* picture);
    void RunCustomHook(AVFrame* picture, std::int64_t pts);
    void StopCustomHook();
    void PreviewTap(const AVFrame* picture, std::int64_t pts);
    // How many times DoVideoOut encodes the current picture of an output stream (0: dropped).
    int VideoCopies(TOutputStreamState& ost);
    // The picture an output stream encodes: picture cropped, scaled and padded as set up; null
    // when it is dropped for this stream.
    AVFrame* FormatPicture(TOutputStreamState& ost, int inputStream, AVFrame* picture,
                           AVFrame* view);

    void RecordFailure(const std::string& message);
    void ApplyPreparedRun();

    friend class TTaskUse;

    // Taken before anything the set-up logs to (the registry, a component's lock).
    std::mutex setUpLock_;
    std::atomic<std::thread::id> setUpThread_{};

    // Run flags, error message, worker, the task's threads and their uses. Nothing is called
    // with it held that could take it again: a thread is resumed (which may run its body right
    // there when the system has no thread to spare) only after it is released.
    mutable std::mutex runLock_;
    bool running_ = false;
    std::optional<TRunPreparation> preparedRun_;
    bool terminated_ = false;
    bool reporting_ = false;  // a termination report is on its way outside a run
    bool delivering_ = false; // the termination report is in the terminate sink
    bool failed_ = false;
    std::string errorMessage_;
    std::shared_ptr<TFFmpegThread> worker_; // the run's worker until its termination report
    // Every thread object made for the task; those whose body has ended are dropped (joined) as
    // new ones come, the rest once no thread uses the task.
    std::vector<std::shared_ptr<TSuspendedThread>> threads_;
    int uses_ = 0;
    std::condition_variable usesChanged_;
    std::mutex pauseLock_;
    std::condition_variable pauseChanged_;
    std::atomic<bool> pauseRequested_{false};
    std::atomic<bool> parked_{false};

    // Set-up steps (FFmpegInput.cpp, FFmpegOutput.cpp, FFmpegOutputStreams.cpp).
    void CheckFilterOptions() const;
    void AddOutputStreams(AVFormatContext* context);
    void SetOutputMetadata(AVFormatContext* context) const;
    void CheckOutputTarget(AVFormatContext* context, const std::string& fileName) const;
    // The opened (not yet probed) container of an input, with the forced decoders and format.
    OwnedInput OpenInputContext(const std::string& fileName);
    void ReadInputStream(AVStream* stream, TInputStreamSetup& setup, const std::string& fileName);
    TOutputStreamSetup& AddOutputStream(AVFormatContext* output, AVMediaType kind,
                                        AVStream*& stream);
    void ConfigureVideoEncoder(AVFormatContext* output, AVStream* stream,
                               TOutputStreamSetup& setup);
    // The encoder the settings name (or the format's default) and its codec id and tag.
    void ChooseVideoEncoder(AVFormatContext* output, TOutputStreamSetup& setup);
    void ConfigureVideoRateControl(TOutputStreamSetup& setup);

    // The option table (FFmpegOptionTable.cpp): one row per option name, the first match wins.
    using TOptionHandler = void (*)(TCustomFFmpeg& task, const std::string& name,
                                    const std::string& value);
    struct TOptionRow {
        const char* Name;
        TOptionHandler Handler;
    };
    static const TOptionRow OptionTable[];

    // Option handlers that need more than one line (FFmpegOptions.cpp).
    void OptFormat(const std::string& value);
    void OptDuration(const std::string& value);
    void OptInputTimestampScale(const std::string& value);
    void OptTimestamp(const std::string& value);
    void OptStreamMap(const std::string& value);
    void OptMetaDataMap(const std::string& value);
    void OptVerbosity(const std::string& value);
    void OptThreads(const std::string& value);
    void OptBitRate(const std::string& name, const std::string& value);
    void OptFrameRate(const std::string& value);
    void OptFrameSize(const std::string& value);
    void OptAspectRatio(const std::string& value);
    void LogFormatList(int count, void (*describe)(char* text, int size, int format));
    void OptPixelFormat(const std::string& value);
    void OptSampleFormat(const std::string& value);
    void OptQScale(const std::string& value);
    void OptCodec(AVMediaType kind, const std::string& value);
    void OptCodecTag(AVMediaType kind, const std::string& value);
    void OptBitstreamFilter(const std::string& name, const std::string& value);
    void OptMatrix(std::vector<std::uint16_t>& matrix, const std::string& value);
    void OptPass(const std::string& value);
    void OptVideoStats();
    void OptFrameHook(const std::string& value);
    void OptNewStream(AVMediaType kind);
    void ApplyPreset(const std::string& name, TTargetNorm norm);
};

} // namespace velto
