// The conversion list as a flat Qt item model: row n is engine task n. Rows are appended at the
// end, removed singly or cleared, so the two stay aligned. GUI thread only.
#pragma once

#include "JobNodeData.h"

#include <QAbstractTableModel>

#include <vector>

namespace velto {

class TJobListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Column widths of the list view, in column order.
    static int ColumnWidth(int column);

    int Count() const { return static_cast<int>(rows_.size()); }
    // The row of a task index, or nullptr when there is none (negative or past the end).
    const TJobNodeData* Row(int index) const;
    void Append(const TJobNodeData& row);
    void Remove(int index);
    void Clear();
    // Writes the three progress fields of a row and repaints it; ignored for a missing row.
    void SetProgress(int index, const QString& progress, const QString& currentTime,
                     const QString& outputSize);
    void SetProgressText(int index, const QString& progress);

private:
    std::vector<TJobNodeData> rows_;
};

} // namespace velto
