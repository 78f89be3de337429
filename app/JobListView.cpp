#include "JobListView.h"

#include "JobListModel.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>

#include <cmath>

namespace velto {

namespace {

// Relative luminance of a colour, as contrast ratios are worked out from.
double Luminance(const QColor& colour) {
    const auto linear = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

} // namespace

void TProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const auto status = static_cast<TJobStatus>(index.data(TJobListModel::StatusRole).toInt());
    // A bar only for jobs that ran: a queued job, or one that ended before converting anything,
    // shows its plain text.
    const bool ran = status == TJobStatus::Running || status == TJobStatus::Paused ||
                     index.data(TJobListModel::PercentRole).toInt() > 0;
    if (!ran) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The cell's background (selection included) first, then the bar inside it.
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    cell.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(2, 2, -2, -2);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = index.data(TJobListModel::PercentRole).toInt();
    bar.text = index.data(Qt::DisplayRole).toString();
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    bar.state = option.state | QStyle::State_Horizontal;
    bar.palette = option.palette;
    // The bar keeps the normal colours inside a selected row: its text is drawn on the bar's own
    // background, not on the selection.
    bar.palette.setCurrentColorGroup(QPalette::Active);
    bar.state &= ~QStyle::State_Selected;
    // The percentage over the filled part: black or white, whichever reads better on it (the
    // styles' own white on a mid blue is under 3:1).
    bar.palette.setColor(QPalette::HighlightedText,
                         Luminance(bar.palette.color(QPalette::Highlight)) > 0.18 ? Qt::black
                                                                                  : Qt::white);
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
}

TJobListView::TJobListView(QWidget* parent) : QTreeView(parent) {
    setObjectName(QStringLiteral("vstFiles"));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Names from one camera or phone share a long prefix and differ at the end: cut the middle.
    setTextElideMode(Qt::ElideMiddle);
    setContextMenuPolicy(Qt::CustomContextMenu);
    // The list takes only its own rows' drags; files dropped on it go on to the main window.
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setItemDelegateForColumn(4, new TProgressDelegate(this));
    header()->setSectionsMovable(true);
}

void TJobListView::SetUpColumns() {
    QHeaderView* columns = header();
    columns->setStretchLastSection(false);
    for (int column = 0; column < columns->count(); ++column) {
        setColumnWidth(column, TJobListModel::ColumnWidth(column));
        columns->setSectionResizeMode(column, QHeaderView::Interactive);
    }
    // The names take what the window gives beyond the fixed columns.
    columns->setSectionResizeMode(0, QHeaderView::Stretch);
    columns->setSectionResizeMode(3, QHeaderView::Stretch);
    columns->setMinimumSectionSize(50);
}

void TJobListView::startDrag(Qt::DropActions) {
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !(current.flags() & Qt::ItemIsDragEnabled))
        return;
    auto* data = new QMimeData;
    data->setData(TJobListModel::RowMimeType, QByteArray::number(current.row()));
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
}

void TJobListView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(TJobListModel::RowMimeType))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TJobListView::dragMoveEvent(QDragMoveEvent* event) {
    if (!event->mimeData()->hasFormat(TJobListModel::RowMimeType)) {
        event->ignore();
        return;
    }
    // The base class draws the drop line and scrolls near the edges.
    QTreeView::dragMoveEvent(event);
    event->acceptProposedAction();
}

void TJobListView::dropEvent(QDropEvent* event) {
    stopAutoScroll();
    setState(NoState);
    viewport()->update();
    if (!event->mimeData()->hasFormat(TJobListModel::RowMimeType)) {
        event->ignore();
        return;
    }
    bool number = false;
    const int from = event->mimeData()->data(TJobListModel::RowMimeType).toInt(&number);
    const int to = DropRow(event->position().toPoint(), from);
    if (!number || to == from)
        return;
    event->acceptProposedAction();
    emit RowDropped(from, to);
}

int TJobListView::DropRow(const QPoint& position, int from) const {
    const QModelIndex at = indexAt(position);
    // Where the drop line was drawn: between rows, or below the last one.
    int before = model() ? model()->rowCount() : 0;
    if (at.isValid())
        before = dropIndicatorPosition() == BelowItem ? at.row() + 1 : at.row();
    // The rows below the dragged one move up by one when it leaves.
    return before > from ? before - 1 : before;
}

void TJobListView::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    if (model() && model()->rowCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(20, 20, -20, -20),
                     Qt::AlignCenter | Qt::TextWordWrap,
                     tr("点击“添加”或把文件、文件夹拖到这里，开始添加需要转换的文件。"));
}

} // namespace velto
