#include "VariableList.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

constexpr int kLinkHandleRole = Qt::UserRole;
constexpr int kVariableNameRole = Qt::UserRole + 1;
constexpr int kFirstSubItemColumn = 1;  // sub-items 0 to 3 are columns 1 to 4

// Rows hold UTF-8: the variables file's code page was settled when it was read (TFormats::LoadAll),
// so a row is never converted a second time, field by field.
QString ToDisplay(const std::string& text) { return QString::fromStdString(text); }

std::string FromDisplay(const QString& text) { return text.toStdString(); }

// Rows sort by the bytes of their texts, letter case included, as the rest of the system
// compares texts.
class TVariableItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;

  bool operator<(const QTreeWidgetItem& other) const override {
    const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
    return text(column).toStdString() < other.text(column).toStdString();
  }
};

// Draws each cell with the brush and font the window chooses, the grid lines, and opens a
// line editor limited to the longest value a cell may hold.
class TCellDelegate : public QStyledItemDelegate {
 public:
  explicit TCellDelegate(TVariableList* list) : QStyledItemDelegate(list), list_(list) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    QBrush brush = cell.backgroundBrush;
    QFont font = cell.font;
    list_->DrawItemProp(index.row(), index.column() - 1, cell.state, brush, font, cell.text);
    cell.backgroundBrush = brush;
    cell.font = font;
    const QWidget* widget = cell.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

    painter->save();
    painter->setPen(QColor(0xD0, 0xD0, 0xD0));
    const QRect r = option.rect;
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(TVariableList::kRowHeight);
    return size;
  }

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex&) const override {
    auto* editor = new QLineEdit(parent);
    editor->setMaxLength(TVariableList::kMaxCellLength);
    editor->setFrame(false);
    return editor;
  }

 private:
  TVariableList* list_;
};

}  // namespace

TVariableList::TVariableList(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(kColumnCount);
  setHeaderLabels({QStringLiteral("Tagged text and links"), QStringLiteral("Default values"),
                   QStringLiteral("Edit custom values"), QStringLiteral("Type"),
                   QStringLiteral("Page")});
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  setItemDelegate(new TCellDelegate(this));

  QHeaderView* head = header();
  head->setSectionsMovable(true);
  head->setFirstSectionMovable(true);
  head->setSectionsClickable(true);
  head->setStretchLastSection(false);
  head->setSectionResizeMode(QHeaderView::Interactive);
  connect(head, &QHeaderView::sectionClicked, this, &TVariableList::SortByColumn);

  // The selected row shows in the active-border grey with black text, focused or not.
  QPalette colours = palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    colours.setColor(group, QPalette::Highlight, QColor(0xB4, 0xB4, 0xB4));
    colours.setColor(group, QPalette::HighlightedText, Qt::black);
  }
  setPalette(colours);
  ShareWidthAmongFirstColumns();
}

void TVariableList::SetCanEditCellHandler(CanEditCellHandler handler) {
  canEditCell_ = std::move(handler);
}

void TVariableList::SetDrawItemPropHandler(DrawItemPropHandler handler) {
  drawItemProp_ = std::move(handler);
}

void TVariableList::SetSharedSortOrder(Qt::SortOrder* order) {
  sortOrder_ = order != nullptr ? order : &ownSortOrder_;
}

void TVariableList::AddRow(const TListRow& row) {
  auto* item = new TVariableItem();
  item->setText(0, ToDisplay(row.Caption));
  for (int subItem = kDefaultValue; subItem <= kPage; ++subItem) {
    item->setText(kFirstSubItemColumn + subItem, ToDisplay(row.SubItems[subItem]));
  }
  item->setData(0, kLinkHandleRole, ToDisplay(row.SubItems[kLinkHandle]));
  item->setData(0, kVariableNameRole, ToDisplay(row.SubItems[kVariableName]));
  // Every cell asks the window first (edit() below), so the flag alone opens nothing.
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
  addTopLevelItem(item);
}

int TVariableList::RowCount() const { return topLevelItemCount(); }

TListRow TVariableList::Row(int index) const {
  TListRow row;
  const QTreeWidgetItem* item = topLevelItem(index);
  if (item == nullptr) {
    return row;
  }
  row.Caption = FromDisplay(item->text(0));
  for (int subItem = kDefaultValue; subItem <= kPage; ++subItem) {
    row.SubItems[subItem] = FromDisplay(item->text(kFirstSubItemColumn + subItem));
  }
  row.SubItems[kLinkHandle] = FromDisplay(item->data(0, kLinkHandleRole).toString());
  row.SubItems[kVariableName] = FromDisplay(item->data(0, kVariableNameRole).toString());
  row.Checked = true;
  return row;
}

std::vector<TListRow> TVariableList::Rows() const {
  std::vector<TListRow> rows;
  rows.reserve(static_cast<size_t>(RowCount()));
  for (int i = 0; i < RowCount(); ++i) {
    rows.push_back(Row(i));
  }
  return rows;
}

void TVariableList::ClearRows() { clear(); }

QString TVariableList::CustomValue(int index) const {
  const QTreeWidgetItem* item = topLevelItem(index);
  return item != nullptr ? item->text(kCustomValueColumn) : QString();
}

void TVariableList::SetCustomValue(int index, const QString& value) {
  if (QTreeWidgetItem* item = topLevelItem(index)) {
    item->setText(kCustomValueColumn, value.left(kMaxCellLength));
  }
}

bool TVariableList::HasCustomValue() const {
  for (int i = 0; i < RowCount(); ++i) {
    if (!CustomValue(i).isEmpty()) {
      return true;
    }
  }
  return false;
}

void TVariableList::SelectFirstRow() {
  QTreeWidgetItem* first = topLevelItem(0);
  if (first == nullptr) {
    return;
  }
  setCurrentItem(first);
  first->setSelected(true);
  scrollToItem(first);
}

void TVariableList::SortByColumn(int column) {
  if (column < 0 || column >= kColumnCount) {
    return;
  }
  if (column == sortColumn_) {
    *sortOrder_ = *sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
  }
  sortColumn_ = column;
  sortItems(column, *sortOrder_);
  header()->setSortIndicatorShown(true);
  header()->setSortIndicator(column, *sortOrder_);
}

void TVariableList::DrawItemProp(int item, int subItem, QStyle::State state, QBrush& brush,
                                 QFont& font, const QString& text) {
  if (drawItemProp_) {
    drawItemProp_(this, item, subItem, state, brush, font, text);
  }
}

bool TVariableList::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  const bool wouldOpenEditor = index.isValid() && state() != QAbstractItemView::EditingState &&
                               (trigger == AllEditTriggers || (editTriggers() & trigger) != 0);
  if (wouldOpenEditor && canEditCell_) {
    bool allow = true;
    canEditCell_(this, index.row(), index.column(), allow);
    if (!allow) {
      return false;
    }
  }
  return QTreeWidget::edit(index, trigger, event);
}

void TVariableList::keyPressEvent(QKeyEvent* event) {
  if (state() != QAbstractItemView::EditingState) {
    switch (event->key()) {
      case Qt::Key_Space:
        if (currentIndex().isValid()) {
          edit(currentIndex(), EditKeyPressed, event);
          event->accept();
          return;
        }
        break;
      case Qt::Key_Left:
        MoveCurrentColumn(-1);
        event->accept();
        return;
      case Qt::Key_Right:
        MoveCurrentColumn(+1);
        event->accept();
        return;
      default:
        break;
    }
  }
  QTreeWidget::keyPressEvent(event);
}

// The current column moves in the order in which the columns stand on screen.
void TVariableList::MoveCurrentColumn(int step) {
  const QModelIndex current = currentIndex();
  if (!current.isValid()) {
    return;
  }
  const int visual = header()->visualIndex(current.column());
  const int target = std::clamp(visual + step, 0, kColumnCount - 1);
  const QModelIndex next = current.siblingAtColumn(header()->logicalIndex(target));
  if (next.isValid()) {
    selectionModel()->setCurrentIndex(
        next, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(next);
  }
}

void TVariableList::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  ShareWidthAmongFirstColumns();
}

void TVariableList::ShareWidthAmongFirstColumns() {
  setColumnWidth(3, kTypeColumnWidth);
  setColumnWidth(4, kPageColumnWidth);
  const int rest = std::max(0, viewport()->width() - kTypeColumnWidth - kPageColumnWidth);
  const int share = std::max(40, rest / 3);
  for (int column = 0; column < 3; ++column) {
    setColumnWidth(column, share);
  }
}
