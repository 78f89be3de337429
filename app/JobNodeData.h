// One row of the conversion list: seven texts in column order, and the two text formats the
// rows use for durations and byte counts.
#pragma once

#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>

namespace velto {

struct TJobNodeData {
    static constexpr int kColumnCount = 7;

    QString SourceName;
    QString TotalTime;
    QString SourceSize;
    QString OutputName;
    QString Progress;
    QString CurrentTime;
    QString OutputSize;

    // Field k for column k; empty for any other column.
    QString Text(int column) const;
};

// "H:MM:SS" with unpadded hours; empty for zero or fewer seconds.
QString FormatDuration(std::int64_t seconds);
// "512B" below 1024, else the quotient with two decimals and " KB", " MB" or " GB".
QString FormatSize(std::int64_t bytes, const QLocale& locale = QLocale());
// Whole percent of current over total: 0 when the total is unknown, never above 100.
int ProgressPercent(std::int64_t currentMs, std::int64_t totalMs);

} // namespace velto
