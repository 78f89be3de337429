// The conversion list's view: the progress column drawn as a bar, a hint in the empty list,
// and the selection drawn by the style's own colours (so selected text is always readable).
#pragma once

#include <QStyledItemDelegate>
#include <QTreeView>

namespace velto {

class TProgressDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

class TJobListView : public QTreeView {
    Q_OBJECT
public:
    explicit TJobListView(QWidget* parent = nullptr);
    // Column widths and which columns take the spare width.
    void SetUpColumns();
signals:
    // A row was dragged to the drop line shown, where it would be row to.
    void RowDropped(int from, int to);

protected:
    void paintEvent(QPaintEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The row the dragged row from lands in when dropped at position.
    int DropRow(const QPoint& position, int from) const;
};

} // namespace velto
