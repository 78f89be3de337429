#include "QueueFile.h"

#include "ConvertOptionsModel.h"
#include "WindowState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <limits>

namespace velto {

namespace {

constexpr int kQueueVersion = 1;

// One visitor per record, so that writing and reading can never list different fields.
template <class F> void VisitInput(TInputOptions& r, F&& f) {
    f("FileName", r.FileName);
    f("FileFormat", r.FileFormat);
    f("StartTime", r.StartTime);
    f("ProgramID", r.ProgramID);
    f("ExtOptions", r.ExtOptions);
}

template <class F> void VisitOutput(TOutputOptions& r, F&& f) {
    f("FileName", r.FileName);
    f("FileType", r.FileType);
    f("FileFormat", r.FileFormat);
    f("PacketSize", r.PacketSize);
    f("MuxRate", r.MuxRate);
    f("MuxDelay", r.MuxDelay);
    f("MuxPreload", r.MuxPreload);
    f("AudioCodec", r.AudioCodec);
    f("DisableAudio", r.DisableAudio);
    f("Volume", r.Volume);
    f("AudioChannels", r.AudioChannels);
    f("AudioSampleRate", r.AudioSampleRate);
    f("AudioBitRate", r.AudioBitRate);
    f("AudioBitRateTolerance", r.AudioBitRateTolerance);
    f("AudioLanguage", r.AudioLanguage);
    f("AudioSync", r.AudioSync);
    f("AudioTag", r.AudioTag);
    f("VideoCodec", r.VideoCodec);
    f("DisableVideo", r.DisableVideo);
    f("FrameRate", r.FrameRate);
    f("FrameSize", r.FrameSize);
    f("AspectRatio", r.AspectRatio);
    f("CropTop", r.CropTop);
    f("CropBottom", r.CropBottom);
    f("CropLeft", r.CropLeft);
    f("CropRight", r.CropRight);
    f("PadTop", r.PadTop);
    f("PadBottom", r.PadBottom);
    f("PadLeft", r.PadLeft);
    f("PadRight", r.PadRight);
    f("PadColor", r.PadColor);
    f("GopSize", r.GopSize);
    f("VideoBitRate", r.VideoBitRate);
    f("MaxRate", r.MaxRate);
    f("MinRate", r.MinRate);
    f("VideoBitRateTolerance", r.VideoBitRateTolerance);
    f("BufSize", r.BufSize);
    f("VideoSync", r.VideoSync);
    f("VideoTag", r.VideoTag);
    f("VideoFilters", r.VideoFilters);
    f("DisableSubtitle", r.DisableSubtitle);
    f("SubtitleLanguage", r.SubtitleLanguage);
    f("CopyTimestamps", r.CopyTimestamps);
    f("RecordingTime", r.RecordingTime);
    f("Timestamp", r.Timestamp);
    f("Year", r.Year);
    f("Track", r.Track);
    f("Title", r.Title);
    f("Author", r.Author);
    f("Rights", r.Rights);
    f("Comment", r.Comment);
    f("Album", r.Album);
    f("Genre", r.Genre);
    f("Target", r.Target);
    f("TargetNorm", r.TargetNorm);
    f("TargetFallbackNorm", r.TargetFallbackNorm);
    f("CustomHook", r.CustomHook);
    f("BeforeHook", r.BeforeHook);
    f("HookRanges", r.HookRanges);
    f("ExtOptions", r.ExtOptions);
    f("KeepUnfinished", r.KeepUnfinished);
    f("NeedsVideoAndAudio", r.NeedsVideoAndAudio);
}

struct TWriter {
    QJsonObject& object;
    void operator()(const char* key, const std::string& value) {
        object.insert(QLatin1String(key), QString::fromStdString(value));
    }
    void operator()(const char* key, bool value) { object.insert(QLatin1String(key), value); }
    void operator()(const char* key, std::int32_t value) {
        object.insert(QLatin1String(key), value);
    }
    void operator()(const char* key, std::uint32_t value) {
        object.insert(QLatin1String(key), static_cast<qint64>(value));
    }
    void operator()(const char* key, float value) {
        object.insert(QLatin1String(key), static_cast<double>(value));
    }
    void operator()(const char* key, double value) { object.insert(QLatin1String(key), value); }
};

// A value of the wrong type or out of range keeps the field's default.
struct TReader {
    const QJsonObject& object;
    void operator()(const char* key, std::string& value) {
        const QJsonValue v = object.value(QLatin1String(key));
        if (v.isString())
            value = v.toString().toStdString();
    }
    void operator()(const char* key, bool& value) {
        const QJsonValue v = object.value(QLatin1String(key));
        if (v.isBool())
            value = v.toBool();
    }
    template <class T> void Integer(const char* key, T& value) {
        const QJsonValue v = object.value(QLatin1String(key));
        if (!v.isDouble())
            return;
        const double d = v.toDouble();
        if (d >= static_cast<double>(std::numeric_limits<T>::min()) &&
            d <= static_cast<double>(std::numeric_limits<T>::max()) && d == std::floor(d))
            value = static_cast<T>(d);
    }
    void operator()(const char* key, std::int32_t& value) { Integer(key, value); }
    void operator()(const char* key, std::uint32_t& value) { Integer(key, value); }
    void operator()(const char* key, float& value) {
        const QJsonValue v = object.value(QLatin1String(key));
        if (v.isDouble())
            value = static_cast<float>(v.toDouble());
    }
    void operator()(const char* key, double& value) {
        const QJsonValue v = object.value(QLatin1String(key));
        if (v.isDouble())
            value = v.toDouble();
    }
};

const char* const kStatusNames[] = {"queued",     "running", "paused", "finished",
                                    "incomplete", "failed",  "stopped"};

QString StatusName(TJobStatus status) {
    return QLatin1String(kStatusNames[static_cast<int>(status)]);
}

bool StatusFromName(const QString& name, TJobStatus& status) {
    for (int i = 0; i < static_cast<int>(std::size(kStatusNames)); ++i)
        if (name == QLatin1String(kStatusNames[i])) {
            status = static_cast<TJobStatus>(i);
            return true;
        }
    return false;
}

qint64 Number(const QJsonObject& object, const char* key) {
    const double value = object.value(QLatin1String(key)).toDouble(0);
    return value > 0 && value < 9.0e15 ? static_cast<qint64>(value) : 0;
}

} // namespace

QString DefaultQueueFile() {
    return StateFolder() + QStringLiteral("/queue.json");
}

QJsonObject RecordsToJson(const TJobRecords& job) {
    TJobRecords copy = job;
    QJsonObject input, output;
    VisitInput(copy.Input, TWriter{input});
    VisitOutput(copy.Output, TWriter{output});
    return {{QStringLiteral("input"), input}, {QStringLiteral("output"), output}};
}

bool RecordsFromJson(const QJsonObject& object, TJobRecords& job) {
    job = {};
    VisitInput(job.Input, TReader{object.value(QStringLiteral("input")).toObject()});
    VisitOutput(job.Output, TReader{object.value(QStringLiteral("output")).toObject()});
    return !job.Input.FileName.empty() && !job.Output.FileName.empty();
}

namespace {

QJsonObject ChoiceToJson(const TDialogChoice& choice) {
    const TProfileSelection& picked = choice.Selection;
    return {
        {QStringLiteral("profile"), choice.Profile},
        {QStringLiteral("frame_size"), picked.FrameSize},
        {QStringLiteral("video_bitrate"), picked.VideoBitrate},
        {QStringLiteral("frame_rate"), picked.Framerate},
        {QStringLiteral("audio_bitrate"), picked.AudioBitrate},
        {QStringLiteral("sample_rate"), picked.SampleBitrate},
        {QStringLiteral("channels"), picked.Channels},
        {QStringLiteral("editable"), picked.Editable},
        {QStringLiteral("keep_aspect"), picked.KeepAspect},
        {QStringLiteral("same_folder"), choice.SameFolder},
        {QStringLiteral("folder"), QString::fromStdString(choice.FolderText)},
        {QStringLiteral("overwrite"), choice.Overwrite},
        {QStringLiteral("rotation"), static_cast<int>(choice.Rotation)},
        {QStringLiteral("audio_stream"), choice.AudioStream},
        {QStringLiteral("subtitles"), static_cast<int>(choice.SubtitleMode)},
    };
}

// A hand-edited or older file may hold anything: values out of range fall back to the defaults.
std::shared_ptr<const TDialogChoice> ChoiceFromJson(const QJsonValue& value) {
    if (!value.isObject())
        return nullptr;
    const QJsonObject saved = value.toObject();
    TDialogChoice choice;
    const auto number = [&](const char* key, int fallback) {
        return saved.value(QLatin1String(key)).toInt(fallback);
    };
    choice.Profile = number("profile", -1);
    TProfileSelection& picked = choice.Selection;
    picked.FrameSize = number("frame_size", -1);
    picked.VideoBitrate = number("video_bitrate", -1);
    picked.Framerate = number("frame_rate", -1);
    picked.AudioBitrate = number("audio_bitrate", -1);
    picked.SampleBitrate = number("sample_rate", -1);
    picked.Channels = number("channels", -1);
    picked.Editable = saved.value(QStringLiteral("editable")).toBool(true);
    picked.KeepAspect = saved.value(QStringLiteral("keep_aspect")).toBool(false);
    choice.SameFolder = saved.value(QStringLiteral("same_folder")).toBool(true);
    const QString folder = saved.value(QStringLiteral("folder")).toString();
    if (!choice.SameFolder && !folder.isEmpty())
        choice.FolderText = folder.toStdString();
    else
        choice.SameFolder = true;
    choice.Overwrite = saved.value(QStringLiteral("overwrite")).toBool(false);
    // Saved as degrees, -1 for automatic: the command line's words for them read it back.
    const int degrees = number("rotation", -1);
    if (!ParseRotationChoice(std::to_string(degrees), choice.Rotation))
        choice.Rotation = TRotationChoice::Auto;
    choice.AudioStream = std::max(-1, number("audio_stream", -1));
    const int subtitles = number("subtitles", 0);
    choice.SubtitleMode = subtitles >= 0 && subtitles <= static_cast<int>(TSubtitleMode::Burn)
                              ? static_cast<TSubtitleMode>(subtitles)
                              : TSubtitleMode::Auto;
    return std::make_shared<const TDialogChoice>(choice);
}

} // namespace

QByteArray QueueToJson(const std::vector<TJobNodeData>& rows) {
    QJsonArray jobs;
    for (const TJobNodeData& row : rows) {
        QJsonObject saved{
            {QStringLiteral("source"), row.SourcePath},
            {QStringLiteral("output"), row.OutputPath},
            {QStringLiteral("status"), StatusName(row.Status)},
            {QStringLiteral("reason"), row.Reason},
            {QStringLiteral("kept"), row.KeptPath},
            {QStringLiteral("percent"), row.Percent},
            {QStringLiteral("total_ms"), static_cast<qint64>(row.TotalMs)},
            {QStringLiteral("current_ms"), static_cast<qint64>(row.CurrentMs)},
            {QStringLiteral("source_bytes"), static_cast<qint64>(row.SourceBytes)},
            {QStringLiteral("output_bytes"), static_cast<qint64>(row.OutputBytes)},
            {QStringLiteral("forecast_bytes"), static_cast<qint64>(row.ForecastBytes)},
        };
        if (row.Options)
            saved.insert(QStringLiteral("records"), RecordsToJson(*row.Options));
        // Editing a restored job opens the dialog as it was left for it.
        if (row.Choice)
            saved.insert(QStringLiteral("choice"), ChoiceToJson(*row.Choice));
        jobs.append(saved);
    }
    const QJsonObject root{{QStringLiteral("version"), kQueueVersion},
                           {QStringLiteral("jobs"), jobs}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::vector<TJobNodeData> QueueFromJson(const QByteArray& json, QString* error) {
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parse);
    std::vector<TJobNodeData> rows;
    if (!document.isObject()) {
        if (error)
            *error = parse.error != QJsonParseError::NoError ? parse.errorString()
                                                             : QStringLiteral("not an object");
        return rows;
    }
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("version")).toInt() != kQueueVersion) {
        if (error)
            *error = QStringLiteral("unknown version");
        return rows;
    }
    for (const QJsonValue& value : root.value(QStringLiteral("jobs")).toArray()) {
        const QJsonObject saved = value.toObject();
        TJobNodeData row;
        row.SourcePath = saved.value(QStringLiteral("source")).toString();
        row.OutputPath = saved.value(QStringLiteral("output")).toString();
        if (row.SourcePath.isEmpty() || row.OutputPath.isEmpty() ||
            !StatusFromName(saved.value(QStringLiteral("status")).toString(), row.Status))
            continue;
        row.SourceName = QFileInfo(row.SourcePath).fileName();
        row.OutputName = QFileInfo(row.OutputPath).fileName();
        row.Reason = saved.value(QStringLiteral("reason")).toString();
        row.KeptPath = saved.value(QStringLiteral("kept")).toString();
        row.Percent = std::clamp(saved.value(QStringLiteral("percent")).toInt(), 0, 100);
        row.TotalMs = Number(saved, "total_ms");
        row.CurrentMs = Number(saved, "current_ms");
        row.SourceBytes = Number(saved, "source_bytes");
        row.OutputBytes = Number(saved, "output_bytes");
        const qint64 forecast = Number(saved, "forecast_bytes");
        row.ForecastBytes = forecast > 0 ? forecast : -1;
        row.Reported = row.Percent > 0 || row.Status == TJobStatus::Finished;
        auto job = std::make_shared<TJobRecords>();
        if (RecordsFromJson(saved.value(QStringLiteral("records")).toObject(), *job))
            row.Options = job;
        row.Choice = ChoiceFromJson(saved.value(QStringLiteral("choice")));
        rows.push_back(std::move(row));
    }
    return rows;
}

bool SaveQueueFile(const QString& file, const std::vector<TJobNodeData>& rows, QString& error) {
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        error = QStringLiteral("cannot make the folder of ") + file;
        return false;
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(QueueToJson(rows)) < 0 || !out.commit()) {
        error = out.errorString();
        return false;
    }
    return true;
}

std::vector<TJobNodeData> LoadQueueFile(const QString& file, QString& error) {
    QFile in(file);
    if (!in.exists())
        return {};
    if (!in.open(QIODevice::ReadOnly)) {
        error = in.errorString();
        return {};
    }
    return QueueFromJson(in.readAll(), &error);
}

int RemoveRunLeftovers(const QString& output) {
    // The engine's temporary name: a hidden file made of the output's own name and a stamp.
    // Matched by hand, as the name may hold wildcard characters.
    const QFileInfo info(output);
    const QString prefix = QLatin1Char('.') + info.fileName() + QStringLiteral(".velto-");
    int removed = 0;
    for (const QFileInfo& entry :
         QDir(info.absolutePath()).entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
        if (entry.fileName().startsWith(prefix) && !entry.isSymLink())
            removed += QFile::remove(entry.absoluteFilePath());
    return removed;
}

} // namespace velto
