// TFileView: lvFiles, one control over the list model with the four view
// styles: large icons, small icons and list (a QListView in its icon and
// list modes) and details (a table with optional grid lines). Both views
// share one selection, so switching style keeps what is selected.
#pragma once

#include <QStackedWidget>
#include <vector>

class QAbstractItemModel;
class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QTableView;

namespace vz {

class TFileView : public QStackedWidget {
  Q_OBJECT
 public:
  enum TViewStyle { vsLargeIcons = 0, vsSmallIcons = 1, vsList = 2, vsDetails = 3 };

  explicit TFileView(QWidget* parent = nullptr);
  void SetModel(QAbstractItemModel* model);
  void SetViewStyle(int style);
  int ViewStyle() const { return FStyle; }
  void SetGridLines(bool on);
  bool GridLines() const;
  // Widths of the details columns, in column order.
  void SetColumnWidths(const std::vector<int>& widths);

  QAbstractItemView* CurrentView() const;
  QTableView* DetailsView() const { return FDetails; }
  QListView* IconView() const { return FIcons; }
  QItemSelectionModel* SelectionModel() const;
  // Selected rows in list order.
  std::vector<int> SelectedRows() const;
  void SelectAllRows();

 signals:
  void RowClicked();
  void RowDoubleClicked();
  // The right mouse button went down at `position` (in this widget).
  void RightButtonPressed(const QPoint& position);
  void SelectionChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void EnableDragOut();

  QTableView* FDetails;
  QListView* FIcons;
  int FStyle = vsDetails;
};

}  // namespace vz
