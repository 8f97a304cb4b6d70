// The report list that shows variable rows: a caption and six sub-items per row, of which the
// first four show as columns and the last two (link handle, variable name) are kept unseen. The
// window decides through two cell events which cells may be edited and how cells are coloured.
#pragma once

#include <QBrush>
#include <QFont>
#include <QStyle>
#include <QTreeWidget>
#include <functional>
#include <vector>

#include "RebrandRun.h"

class TVariableList : public QTreeWidget {
  Q_OBJECT

 public:
  // Asked before an editor opens; `allow` arrives true and may be set false. `column` counts
  // from 0 at "Tagged text and links".
  using CanEditCellHandler =
      std::function<void(TVariableList* sender, int item, int column, bool& allow)>;
  // Asked for every cell before it is drawn; `subItem` is -1 for the first column, 0 for the
  // second and so on. The brush and font may be changed.
  using DrawItemPropHandler =
      std::function<void(TVariableList* sender, int item, int subItem, QStyle::State state,
                         QBrush& brush, QFont& font, const QString& text)>;

  static constexpr int kColumnCount = 5;
  static constexpr int kCustomValueColumn = 2;
  static constexpr int kPageColumn = 4;
  static constexpr int kTypeColumnWidth = 150;
  static constexpr int kPageColumnWidth = 60;
  static constexpr int kRowHeight = 20;
  static constexpr int kMaxCellLength = 1024;

  explicit TVariableList(QWidget* parent = nullptr);

  void SetCanEditCellHandler(CanEditCellHandler handler);
  void SetDrawItemPropHandler(DrawItemPropHandler handler);
  // Sorting direction shared with the other lists given the same setting.
  void SetSharedSortOrder(Qt::SortOrder* order);

  void AddRow(const TListRow& row);
  int RowCount() const;
  TListRow Row(int index) const;
  std::vector<TListRow> Rows() const;
  void ClearRows();

  QString CustomValue(int index) const;
  void SetCustomValue(int index, const QString& value);
  bool HasCustomValue() const;
  // True while an in-place editor is open.
  bool IsEditing() const { return state() == QAbstractItemView::EditingState; }

  // Stores what an open editor holds and closes it, so a command started from the keyboard
  // while the user is still typing (Ctrl+S) sees the value.
  void CommitOpenEditor();

  // Selects and focuses the first row and scrolls it into view; nothing when there is none.
  void SelectFirstRow();

  // What a click on the header of `column` does: sorts by it, reversing the shared direction
  // when the list was already sorted by that column.
  void SortByColumn(int column);

  // Used by the cell painter.
  void DrawItemProp(int item, int subItem, QStyle::State state, QBrush& brush, QFont& font,
                    const QString& text);

  // Called by the cell editor when the user has changed a cell's text.
  void NotifyCellEdited(int item, int column);

 signals:
  // The user changed the text of a cell through its editor (not code setting a value).
  void cellEdited(int item, int column);

 protected:
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ShareWidthAmongFirstColumns();
  void MoveCurrentColumn(int step);
  // Makes the custom-value cell of `row` the current cell without changing the selection.
  void MakeCustomValueCurrent(const QModelIndex& row);
  bool StartsTyping(const QKeyEvent& event) const;

  CanEditCellHandler canEditCell_;
  DrawItemPropHandler drawItemProp_;
  Qt::SortOrder ownSortOrder_ = Qt::AscendingOrder;
  Qt::SortOrder* sortOrder_ = &ownSortOrder_;
  int sortColumn_ = -1;
  bool sharingWidths_ = false;
  bool userSizedColumns_ = false;
};
