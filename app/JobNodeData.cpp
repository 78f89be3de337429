#include "JobNodeData.h"

#include <algorithm>

namespace velto {

QString TJobNodeData::Text(int column) const {
    switch (column) {
    case 0:
        return SourceName;
    case 1:
        return FormatSourceDuration(TotalMs * 1000);
    case 2:
        return FormatSize(SourceBytes);
    case 3:
        return OutputName;
    case 4:
        return Reported ? QString::number(Percent) + QLatin1Char('%') : QString();
    case 5:
        return Reported ? FormatDuration(CurrentMs / 1000) : QString();
    case 6: {
        const QString forecast =
            ForecastBytes >= 0 ? QStringLiteral("≈ ") + FormatSize(ForecastBytes) : QString();
        if (!Reported)
            return forecast;
        return forecast.isEmpty() ? FormatSize(OutputBytes)
                                  : FormatSize(OutputBytes) + QStringLiteral(" / ") + forecast;
    }
    default:
        return {};
    }
}

void TJobPace::Report(std::int64_t mediaMs, std::int64_t runMs) {
    if (FirstMediaMs < 0) {
        FirstMediaMs = mediaMs;
        FirstRunMs = runMs;
    }
    LastMediaMs = mediaMs;
    LastRunMs = runMs;
}

std::int64_t TJobPace::LeftMs(std::int64_t totalMs, std::int64_t currentMs) const {
    const std::int64_t converted = LastMediaMs - FirstMediaMs;
    const std::int64_t spent = LastRunMs - FirstRunMs;
    if (FirstMediaMs < 0 || converted <= 0 || spent <= 0 || totalMs <= 0)
        return -1;
    const std::int64_t rest = std::max<std::int64_t>(totalMs - currentMs, 0);
    return static_cast<std::int64_t>(static_cast<double>(rest) * spent / converted);
}

QString FormatDuration(std::int64_t seconds) {
    if (seconds <= 0)
        return {};
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString FormatSourceDuration(std::int64_t microseconds) {
    if (microseconds <= 0 || microseconds >= 1000000)
        return FormatDuration(microseconds / 1000000);
    return QStringLiteral("0:00:00.%1")
        .arg(std::max<std::int64_t>(microseconds / 10000, 1), 2, 10, QLatin1Char('0'));
}

QString FormatSize(std::int64_t bytes, const QLocale& locale) {
    if (bytes < 1024)
        return QString::number(bytes) + QLatin1Char('B');
    double divisor = 1024.0;
    const char* unit = " KB";
    if (bytes >= 1073741824) {
        divisor = 1073741824.0;
        unit = " GB";
    } else if (bytes >= 1048576) {
        divisor = 1048576.0;
        unit = " MB";
    }
    return locale.toString(static_cast<double>(bytes) / divisor, 'f', 2) + QLatin1String(unit);
}

int ProgressPercent(std::int64_t currentMs, std::int64_t totalMs) {
    // 64-bit, so that hours of milliseconds times 100 cannot overflow into a negative percent.
    if (totalMs <= 0 || currentMs <= 0)
        return 0;
    return static_cast<int>(std::min<std::int64_t>(currentMs * 100 / totalMs, 100));
}

} // namespace velto
