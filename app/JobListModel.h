// The conversion list as a flat Qt item model. Each row remembers the engine task behind it;
// rows are appended at the end, removed singly or cleared, and the controller keeps the task
// numbers in step with the engine's. GUI thread only.
#pragma once

#include "JobNodeData.h"

#include <QAbstractTableModel>

#include <functional>
#include <vector>

namespace velto {

class TJobListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The progress column's whole percent and the row's TJobStatus, for the delegate.
    static constexpr int PercentRole = Qt::UserRole + 1;
    static constexpr int StatusRole = Qt::UserRole + 2;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Waiting rows can be dragged to another place in the list; the drag carries the row's
    // number as RowMimeType.
    static const QString RowMimeType;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override { return {RowMimeType}; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

    // Column widths of the list view, in column order.
    static int ColumnWidth(int column);
    static QString StatusText(TJobStatus status);
    // The status column: the status, and while running the pictures a second and time left.
    static QString StatusLine(const TJobNodeData& row);

    int Count() const { return static_cast<int>(rows_.size()); }
    // The row at a position, or nullptr when there is none (negative or past the end).
    const TJobNodeData* Row(int index) const;
    // The row holding the engine task of that serial, -1 for none.
    int RowOfTask(std::uint64_t serial) const;
    void Append(const TJobNodeData& row);
    void Remove(int index);
    // Moves the row at from to position to; the rows between shift by one.
    void Move(int from, int to);
    void Clear();
    // Changes one row and repaints it; ignored for a missing row.
    void Update(int index, const std::function<void(TJobNodeData&)>& change);
    // Changes every row and repaints the list.
    void UpdateAll(const std::function<void(TJobNodeData&)>& change);

private:
    std::vector<TJobNodeData> rows_;
};

} // namespace velto
