#include "JobListModel.h"

namespace velto {

namespace {
struct TColumn {
    const char* header;
    int width;
    Qt::Alignment alignment;
};
const TColumn kColumns[TJobNodeData::kColumnCount] = {
    {"源文件", 120, Qt::AlignLeft},  {"总时间", 65, Qt::AlignHCenter},
    {"文件大小", 75, Qt::AlignLeft}, {"输出文件", 140, Qt::AlignLeft},
    {"转换进度", 60, Qt::AlignLeft}, {"当前时间", 75, Qt::AlignHCenter},
    {"文件大小", 70, Qt::AlignLeft},
};
} // namespace

int TJobListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int TJobListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TJobNodeData::kColumnCount;
}

QVariant TJobListModel::data(const QModelIndex& index, int role) const {
    const TJobNodeData* row = index.isValid() ? Row(index.row()) : nullptr;
    if (!row)
        return {};
    if (role == Qt::DisplayRole)
        return row->Text(index.column());
    if (role == Qt::TextAlignmentRole && index.column() < TJobNodeData::kColumnCount)
        return QVariant::fromValue(kColumns[index.column()].alignment | Qt::AlignVCenter);
    return {};
}

QVariant TJobListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= TJobNodeData::kColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(kColumns[section].header);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(kColumns[section].alignment | Qt::AlignVCenter);
    return {};
}

int TJobListModel::ColumnWidth(int column) {
    return column >= 0 && column < TJobNodeData::kColumnCount ? kColumns[column].width : 0;
}

const TJobNodeData* TJobListModel::Row(int index) const {
    return index >= 0 && index < Count() ? &rows_[static_cast<size_t>(index)] : nullptr;
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

void TJobListModel::Clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void TJobListModel::SetProgress(int index, const QString& progress, const QString& currentTime,
                                const QString& outputSize) {
    if (!Row(index))
        return;
    TJobNodeData& row = rows_[static_cast<size_t>(index)];
    row.Progress = progress;
    row.CurrentTime = currentTime;
    row.OutputSize = outputSize;
    emit dataChanged(this->index(index, 4), this->index(index, 6));
}

void TJobListModel::SetProgressText(int index, const QString& progress) {
    if (!Row(index))
        return;
    rows_[static_cast<size_t>(index)].Progress = progress;
    emit dataChanged(this->index(index, 4), this->index(index, 4));
}

} // namespace velto
