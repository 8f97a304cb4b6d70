#include "VariableList.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <algorithm>

namespace {

constexpr int kLinkHandleRole = Qt::UserRole;
constexpr int kVariableNameRole = Qt::UserRole + 1;
constexpr int kFirstSubItemColumn = 1;  // sub-items 0 to 3 are columns 1 to 4

// Rows hold UTF-8: the variables file's code page was settled when it was read (TFormats::LoadAll),
// so a row is never converted a second time, field by field.
QString ToDisplay(const std::string& text) { return QString::fromStdString(text); }

std::string FromDisplay(const QString& text) { return text.toStdString(); }

// A strong blue that stands out on the grey selection and on the light yellow alike.
QColor CurrentCellColour() { return QColor(0x1A, 0x5F, 0xB4); }

// Rows sort by the bytes of their texts, letter case included, as the rest of the system
// compares texts.
class TVariableItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;

  bool operator<(const QTreeWidgetItem& other) const override {
    const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
    if (column == TVariableList::kPageColumn) {
      // Page 2 comes before page 10; a page that is not a number goes after every number.
      bool thisIsNumber = false;
      bool otherIsNumber = false;
      const qlonglong mine = text(column).toLongLong(&thisIsNumber);
      const qlonglong theirs = other.text(column).toLongLong(&otherIsNumber);
      if (thisIsNumber && otherIsNumber && mine != theirs) {
        return mine < theirs;
      }
      if (thisIsNumber != otherIsNumber) {
        return thisIsNumber;
      }
    }
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
    if (brush != cell.backgroundBrush && brush.style() != Qt::NoBrush) {
      // A colour the window chose is the same under every theme, so its text must be too:
      // light text of a dark theme would vanish on the light yellow.
      const QColor text = brush.color().lightness() > 128 ? QColor(Qt::black) : QColor(Qt::white);
      cell.palette.setColor(QPalette::Text, text);
    }
    cell.backgroundBrush = brush;
    cell.font = font;
    // The row shows its focus through the current cell (below), not a frame round the row.
    cell.state &= ~QStyle::State_HasFocus;
    const QWidget* widget = cell.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

    painter->save();
    painter->setPen(option.palette.color(QPalette::Mid));
    const QRect r = option.rect;
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    if (index == list_->currentIndex() && list_->selectionModel()->isRowSelected(index.row())) {
      // The cell that F2, Space and typing edit: a frame two pixels wide inside the grid.
      const QRect inner = r.adjusted(0, 0, -1, -1);
      const QColor mark = CurrentCellColour();
      painter->fillRect(QRect(inner.left(), inner.top(), inner.width(), 2), mark);
      painter->fillRect(QRect(inner.left(), inner.bottom() - 1, inner.width(), 2), mark);
      painter->fillRect(QRect(inner.left(), inner.top(), 2, inner.height()), mark);
      painter->fillRect(QRect(inner.right() - 1, inner.top(), 2, inner.height()), mark);
    }
    painter->restore();
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    const QString before = index.data(Qt::EditRole).toString();
    QStyledItemDelegate::setModelData(editor, model, index);
    if (index.data(Qt::EditRole).toString() != before) {
      list_->NotifyCellEdited(index.row(), index.column());
    }
  }

  // A cell too narrow for its text (a long link target) shows all of it in a tooltip.
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip) {
      return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QRect room = view->style()->subElementRect(QStyle::SE_ItemViewItemText, &cell, view);
    if (!cell.text.isEmpty() && cell.fontMetrics.horizontalAdvance(cell.text) > room.width()) {
      QToolTip::showText(event->globalPos(), cell.text, view->viewport(), option.rect);
    } else {
      QToolTip::hideText();
    }
    return true;
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
  // Typing on a row opens its custom value with what was typed (keyPressEvent); a double-click
  // opens it too (mouseDoubleClickEvent).
  setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::DoubleClicked | QAbstractItemView::AnyKeyPressed);
  setItemDelegate(new TCellDelegate(this));

  QHeaderView* head = header();
  head->setSectionsMovable(true);
  head->setFirstSectionMovable(true);
  head->setSectionsClickable(true);
  head->setStretchLastSection(false);
  head->setSectionResizeMode(QHeaderView::Interactive);
  connect(head, &QHeaderView::sectionClicked, this, &TVariableList::SortByColumn);
  // Once the user has sized a column, resizing the window keeps the widths they chose.
  connect(head, &QHeaderView::sectionResized, this, [this] {
    if (!sharingWidths_) {
      userSizedColumns_ = true;
    }
  });

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

void TVariableList::CommitOpenEditor() {
  if (state() != QAbstractItemView::EditingState) {
    return;
  }
  if (QWidget* editor = indexWidget(currentIndex())) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
}

void TVariableList::SelectFirstRow() {
  QTreeWidgetItem* first = topLevelItem(0);
  if (first == nullptr) {
    return;
  }
  setCurrentItem(first, kCustomValueColumn);
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
    if (StartsTyping(*event) && currentIndex().isValid()) {
      // What the user types on a selected row is its custom value, whichever cell is current;
      // the editor gets the key, so the first character is not lost.
      MakeCustomValueCurrent(currentIndex());
      if (edit(currentIndex(), AnyKeyPressed, event)) {
        event->accept();
        return;
      }
    }
  }
  QTreeWidget::keyPressEvent(event);
}

bool TVariableList::StartsTyping(const QKeyEvent& event) const {
  if ((event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0) {
    return false;
  }
  const QString text = event.text();
  return !text.isEmpty() && text.at(0).isPrint() && !text.at(0).isSpace();
}

void TVariableList::MakeCustomValueCurrent(const QModelIndex& row) {
  const QModelIndex custom = row.siblingAtColumn(kCustomValueColumn);
  if (custom.isValid() && custom != currentIndex()) {
    selectionModel()->setCurrentIndex(custom, QItemSelectionModel::NoUpdate);
  }
}

void TVariableList::mousePressEvent(QMouseEvent* event) {
  const QModelIndex at = indexAt(event->position().toPoint());
  const bool rowWasSelected = at.isValid() && selectionModel()->isRowSelected(at.row());
  QTreeWidget::mousePressEvent(event);
  // A click that selects a row makes its custom value the cell to edit; a click on the row
  // already selected picks the clicked cell, and opens it when that is the editable one.
  if (at.isValid() && !rowWasSelected && event->button() == Qt::LeftButton) {
    MakeCustomValueCurrent(at);
  }
}

void TVariableList::mouseDoubleClickEvent(QMouseEvent* event) {
  const QModelIndex at = indexAt(event->position().toPoint());
  if (!at.isValid() || event->button() != Qt::LeftButton) {
    QTreeWidget::mouseDoubleClickEvent(event);
    return;
  }
  // A double-click anywhere on a row opens its custom value.
  const QModelIndex custom = at.siblingAtColumn(kCustomValueColumn);
  selectionModel()->setCurrentIndex(
      custom, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  edit(custom, DoubleClicked, event);
  event->accept();
}

// Moving to another row by keyboard lands on its custom value, the one cell to edit.
QModelIndex TVariableList::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
  const QModelIndex next = QTreeWidget::moveCursor(cursorAction, modifiers);
  switch (cursorAction) {
    case MoveUp:
    case MoveDown:
    case MovePageUp:
    case MovePageDown:
    case MoveHome:
    case MoveEnd:
    case MoveNext:
    case MovePrevious:
      if (next.isValid() && next.row() != currentIndex().row()) {
        return next.siblingAtColumn(kCustomValueColumn);
      }
      return next;
    default:
      return next;
  }
}

void TVariableList::NotifyCellEdited(int item, int column) { emit cellEdited(item, column); }

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
  if (userSizedColumns_) {
    return;
  }
  sharingWidths_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{sharingWidths_};
  setColumnWidth(3, kTypeColumnWidth);
  setColumnWidth(4, kPageColumnWidth);
  const int rest = std::max(0, viewport()->width() - kTypeColumnWidth - kPageColumnWidth);
  const int share = std::max(40, rest / 3);
  for (int column = 0; column < 3; ++column) {
    setColumnWidth(column, share);
  }
}
