#include "app/FileView.h"

#include <QHeaderView>
#include <QListView>
#include <QMouseEvent>
#include <QTableView>
#include <algorithm>
#include <cmath>

namespace vz {

TFileView::TFileView(QWidget* parent)
    : QStackedWidget(parent), FDetails(new QTableView(this)), FIcons(new QListView(this)) {
  setObjectName(QStringLiteral("lvFiles"));
  FDetails->setObjectName(QStringLiteral("lvFilesDetails"));
  FIcons->setObjectName(QStringLiteral("lvFilesIcons"));
  for (QAbstractItemView* view :
       {static_cast<QAbstractItemView*>(FDetails), static_cast<QAbstractItemView*>(FIcons)}) {
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setMouseTracking(true);  // hot tracking
    view->setDefaultDropAction(Qt::CopyAction);
    view->viewport()->installEventFilter(this);
    connect(view, &QAbstractItemView::clicked, this, &TFileView::RowClicked);
    connect(view, &QAbstractItemView::doubleClicked, this, &TFileView::RowDoubleClicked);
    addWidget(view);
  }
  FDetails->verticalHeader()->hide();
  FDetails->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  FDetails->verticalHeader()->setDefaultSectionSize(FDetails->fontMetrics().height() + 4);
  FDetails->horizontalHeader()->setSectionsClickable(false);  // column clicking off
  FDetails->horizontalHeader()->setHighlightSections(false);
  FDetails->setWordWrap(false);
  FDetails->setShowGrid(false);
  FDetails->setTabKeyNavigation(false);
  FIcons->setUniformItemSizes(true);
  FIcons->setLayoutMode(QListView::Batched);
  FIcons->setBatchSize(2000);
  FIcons->setResizeMode(QListView::Adjust);
  FIcons->setMovement(QListView::Static);
  SetViewStyle(vsDetails);
}

// Members are dragged out to other programs; nothing is dropped on a view
// (drops go to the window). A static list view turns dragging off, so this
// follows every change of style.
void TFileView::EnableDragOut() {
  for (QAbstractItemView* view :
       {static_cast<QAbstractItemView*>(FDetails), static_cast<QAbstractItemView*>(FIcons)}) {
    view->setDragDropMode(QAbstractItemView::DragOnly);
    view->viewport()->setAcceptDrops(false);
  }
}

void TFileView::SetModel(QAbstractItemModel* model) {
  FDetails->setModel(model);
  FIcons->setModel(model);
  // The list view's own selection model stays its child and goes with it.
  FIcons->setSelectionModel(FDetails->selectionModel());
  connect(FDetails->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TFileView::SelectionChanged);
}

void TFileView::SetViewStyle(int style) {
  FStyle = std::clamp(style, 0, 3);
  EnableDragOut();
  if (FStyle == vsDetails) {
    setCurrentWidget(FDetails);
    return;
  }
  const bool large = FStyle == vsLargeIcons;
  FIcons->setViewMode(large ? QListView::IconMode : QListView::ListMode);
  FIcons->setFlow(FStyle == vsList ? QListView::TopToBottom : QListView::LeftToRight);
  FIcons->setWrapping(true);
  FIcons->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
  FIcons->setGridSize(large ? QSize(96, 64) : QSize());
  FIcons->setWordWrap(large);
  FIcons->setMovement(QListView::Static);
  EnableDragOut();
  setCurrentWidget(FIcons);
}

void TFileView::SetGridLines(bool on) {
  FDetails->setShowGrid(on);
}

bool TFileView::GridLines() const {
  return FDetails->showGrid();
}

// The widths are given for the 13-pixel font they were drawn with; they
// grow with a larger font so headers and sizes still fit.
void TFileView::SetColumnWidths(const std::vector<int>& widths) {
  const double scale = std::max(1.0, FDetails->fontMetrics().height() / 13.0);
  for (std::size_t column = 0; column < widths.size(); ++column) {
    FDetails->setColumnWidth(static_cast<int>(column),
                             static_cast<int>(std::lround(widths[column] * scale)));
  }
}

QAbstractItemView* TFileView::CurrentView() const {
  return FStyle == vsDetails ? static_cast<QAbstractItemView*>(FDetails) : FIcons;
}

QItemSelectionModel* TFileView::SelectionModel() const {
  return FDetails->selectionModel();
}

std::vector<int> TFileView::SelectedRows() const {
  std::vector<int> rows;
  if (!SelectionModel()) return rows;
  for (const QModelIndex& index : SelectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void TFileView::SelectAllRows() {
  FDetails->selectAll();
}

bool TFileView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
    auto* viewport = static_cast<QWidget*>(watched);
    const QPoint position = static_cast<QMouseEvent*>(event)->position().toPoint();
    emit RightButtonPressed(mapFromGlobal(viewport->mapToGlobal(position)));
  }
  return QStackedWidget::eventFilter(watched, event);
}

}  // namespace vz
