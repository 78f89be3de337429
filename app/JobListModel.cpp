#include "JobListModel.h"

#include <QCoreApplication>

namespace velto {

namespace {
struct TColumn {
    const char* header;
    int width;
    Qt::Alignment alignment;
};
// The seven texts, then the status.
const TColumn kColumns[TJobNodeData::kColumnCount + 1] = {
    {QT_TRANSLATE_NOOP("TJobListModel", "源文件"), 200, Qt::AlignLeft},
    {QT_TRANSLATE_NOOP("TJobListModel", "总时间"), 70, Qt::AlignHCenter},
    {QT_TRANSLATE_NOOP("TJobListModel", "文件大小"), 80, Qt::AlignLeft},
    {QT_TRANSLATE_NOOP("TJobListModel", "输出文件"), 200, Qt::AlignLeft},
    {QT_TRANSLATE_NOOP("TJobListModel", "转换进度"), 110, Qt::AlignLeft},
    {QT_TRANSLATE_NOOP("TJobListModel", "当前时间"), 75, Qt::AlignHCenter},
    {QT_TRANSLATE_NOOP("TJobListModel", "输出大小"), 150, Qt::AlignLeft},
    {QT_TRANSLATE_NOOP("TJobListModel", "状态"), 210, Qt::AlignLeft},
};
constexpr int kAllColumns = TJobNodeData::kColumnCount + 1;
} // namespace

int TJobListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int TJobListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kAllColumns;
}

QString TJobListModel::StatusText(TJobStatus status) {
    switch (status) {
    case TJobStatus::Queued:
        return tr("等待转换");
    case TJobStatus::Running:
        return tr("正在转换");
    case TJobStatus::Paused:
        return tr("已暂停");
    case TJobStatus::Finished:
        return tr("已完成");
    case TJobStatus::Incomplete:
        return tr("不完整");
    case TJobStatus::Failed:
        return tr("失败");
    case TJobStatus::Stopped:
        return tr("已停止");
    }
    return {};
}

QString TJobListModel::StatusLine(const TJobNodeData& row) {
    QString line = StatusText(row.Status);
    if (row.Status != TJobStatus::Running)
        return line;
    if (row.Fps > 0)
        line += tr(" · %1 fps").arg(row.Fps);
    if (const std::int64_t left = row.Pace.LeftMs(row.TotalMs, row.CurrentMs); left >= 0)
        line += tr(" · 剩余 %1").arg(FormatDuration(left / 1000 + 1));
    return line;
}

QVariant TJobListModel::data(const QModelIndex& index, int role) const {
    const TJobNodeData* row = index.isValid() ? Row(index.row()) : nullptr;
    if (!row || index.column() >= kAllColumns)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return column == TJobNodeData::kStatusColumn ? StatusLine(*row) : row->Text(column);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(kColumns[column].alignment | Qt::AlignVCenter);
    case Qt::ToolTipRole: {
        // Names are cut to their column; the tip gives the full paths and why a job did not finish.
        QString tip = column == 0 || column == 3
                          ? tr("源文件: %1\n输出文件: %2").arg(row->SourcePath, row->OutputPath)
                          : StatusText(row->Status);
        if (!row->Reason.isEmpty())
            tip += QLatin1Char('\n') + row->Reason;
        if (!row->KeptPath.isEmpty())
            tip += QLatin1Char('\n') + tr("未完成的输出保存为: %1").arg(row->KeptPath);
        return tip;
    }
    case PercentRole:
        return row->Percent;
    case StatusRole:
        return static_cast<int>(row->Status);
    default:
        return {};
    }
}

QVariant TJobListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kAllColumns)
        return {};
    if (role == Qt::DisplayRole)
        return QCoreApplication::translate("TJobListModel", kColumns[section].header);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(kColumns[section].alignment | Qt::AlignVCenter);
    return {};
}

int TJobListModel::ColumnWidth(int column) {
    return column >= 0 && column < kAllColumns ? kColumns[column].width : 0;
}

const TJobNodeData* TJobListModel::Row(int index) const {
    return index >= 0 && index < Count() ? &rows_[static_cast<size_t>(index)] : nullptr;
}

int TJobListModel::RowOfTask(std::uint64_t serial) const {
    if (serial == 0)
        return -1;
    for (int i = 0; i < Count(); ++i)
        if (rows_[static_cast<size_t>(i)].TaskSerial == serial)
            return i;
    return -1;
}

void TJobListModel::Append(const TJobNodeData& row) {
    beginInsertRows({}, Count(), Count());
    rows_.push_back(row);
    endInsertRows();
}

void TJobListModel::Remove(int index) {
    if (!Row(index))
        return;
    beginRemoveRows({}, index, index);
    rows_.erase(rows_.begin() + index);
    endRemoveRows();
}

const QString TJobListModel::RowMimeType = QStringLiteral("application/x-velto-job-row");

Qt::ItemFlags TJobListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    // Drops land between rows, so the list itself (the root) takes them.
    if (!index.isValid())
        return flags | Qt::ItemIsDropEnabled;
    const TJobNodeData* row = index.isValid() ? Row(index.row()) : nullptr;
    if (row && row->Status == TJobStatus::Queued && row->TaskSerial != 0)
        flags |= Qt::ItemIsDragEnabled;
    return flags;
}

void TJobListModel::Move(int from, int to) {
    if (!Row(from) || !Row(to) || from == to)
        return;
    // Qt names the destination as the row the moved one goes before.
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    TJobNodeData moved = std::move(rows_[static_cast<size_t>(from)]);
    rows_.erase(rows_.begin() + from);
    rows_.insert(rows_.begin() + to, std::move(moved));
    endMoveRows();
}

void TJobListModel::Clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void TJobListModel::Update(int index, const std::function<void(TJobNodeData&)>& change) {
    if (!Row(index))
        return;
    change(rows_[static_cast<size_t>(index)]);
    emit dataChanged(this->index(index, 0), this->index(index, kAllColumns - 1));
}

void TJobListModel::UpdateAll(const std::function<void(TJobNodeData&)>& change) {
    for (TJobNodeData& row : rows_)
        change(row);
    if (Count() > 0)
        emit dataChanged(index(0, 0), index(Count() - 1, kAllColumns - 1));
}

} // namespace velto
