#include "JobListView.h"

#include "JobListModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>

namespace velto {

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
    // Drops go to the main window, which adds files wherever they land.
    setAcceptDrops(false);
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
