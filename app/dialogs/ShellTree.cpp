#include "app/dialogs/ShellTree.h"

#include <QHeaderView>
#include <QMouseEvent>

#include <algorithm>

namespace vz {
namespace {

// The hourglass over a view while its model reads folders; the view itself
// stays usable.
void FollowBusy(QAbstractItemView* view, bool busy) {
  if (busy) {
    view->viewport()->setCursor(Qt::BusyCursor);
  } else {
    view->viewport()->unsetCursor();
  }
}

}  // namespace

// ---------------------------------------------------------------- list

TShellListView::TShellListView(TShellNamespace& shell, QWidget* parent)
    : QTreeView(parent), FModel(new TShellListModel(shell, this)) {
  setModel(FModel);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  header()->setSectionsClickable(false);
  header()->setStretchLastSection(false);
  header()->resizeSection(0, 180);
  connect(FModel, &TShellListModel::BusyChanged, this,
          [this](bool busy) { FollowBusy(this, busy); });
}

std::vector<const TShellItem*> TShellListView::SelectedItems() const {
  QModelIndexList rows = selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<const TShellItem*> items;
  for (const QModelIndex& row : rows) items.push_back(&FModel->Item(row.row()));
  return items;
}

void TShellListView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeView::mouseReleaseEvent(event);
  emit Clicked();
}

// ---------------------------------------------------------------- tree

TShellTree::TShellTree(TShellNamespace& shell, QWidget* parent)
    : QTreeView(parent), FShell(shell), FModel(new TShellTreeModel(shell, this)) {
  setModel(FModel);
  setHeaderHidden(true);
  setRootIsDecorated(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformRowHeights(true);
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QTreeView::expanded, this, &TShellTree::OnExpanded);
  connect(this, &QTreeView::collapsed, this, &TShellTree::OnCollapsed);
  connect(FModel, &TShellTreeModel::PopulateFinished, this, &TShellTree::OnPopulateFinished);
  connect(FModel, &TShellTreeModel::BusyChanged, this,
          [this](bool busy) { FollowBusy(this, busy); });
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { FillListView(current); });
}

void TShellTree::SetRootFolder(TSpecialFolders value) {
  FRootFolder = value;
  if (FLoaded) ApplyRootFolder();
}

void TShellTree::Load() {
  FLoaded = true;
  ApplyRootFolder();
}

void TShellTree::ApplyRootFolder() {
  FFollowParent = QPersistentModelIndex();
  FModel->SetRoot(FShell.RootItem(FRootFolder));
  const QModelIndex root = FModel->RootIndex();
  FModel->Populate(root);
  expand(root);
  QModelIndex start = root;
  if (FRootFolder == TSpecialFolders::sfDesktop && ExpandDrives) {
    const QString computer = QString::fromLatin1(kComputerCaption);
    for (int row = 0; row < FModel->rowCount(root); ++row) {
      const QModelIndex child = FModel->index(row, 0, root);
      if (FModel->ItemAt(child)->Caption == computer) {
        FModel->Populate(child);
        expand(child);
        start = child;
        break;
      }
    }
  }
  setCurrentIndex(start);
}

const TShellItem* TShellTree::SelectedItem() const {
  const QModelIndex current = currentIndex();
  if (!current.isValid() || !selectionModel()->isSelected(current)) return nullptr;
  return FModel->ItemAt(current);
}

std::string TShellTree::SelectedPath() const {
  const TShellItem* item = SelectedItem();
  return item != nullptr && item->Data.IsFileSystem() ? item->Data.Path : std::string();
}

void TShellTree::ExpandAndShow(const QModelIndex& index) {
  if (!index.isValid()) return;
  FModel->Populate(index);
  expand(index);
  if (index == currentIndex()) {
    FillListView(index);
  } else {
    setCurrentIndex(index);
  }
  scrollTo(index);
}

void TShellTree::FollowChild(const std::string& path) {
  const QModelIndex current = currentIndex();
  if (!current.isValid() || !FModel->hasChildren(current)) return;
  FModel->Populate(current);
  expand(current);
  if (FModel->IsPopulated(current)) {
    SelectChild(current, path);
  } else {
    FFollowParent = current;
    FFollowPath = path;
  }
}

void TShellTree::SelectChild(const QModelIndex& parent, const std::string& path) {
  const QModelIndex child = FModel->FindChild(parent, path);
  if (!child.isValid()) return;
  setCurrentIndex(child);
  scrollTo(child);
}

void TShellTree::FillListView(const QModelIndex& index) {
  const TShellItem* item = FModel->ItemAt(index);
  if (!FListView || item == nullptr) return;
  TShellListModel& list = FListView->Model();
  list.FileSystemOnly = FileSystemOnly();
  list.IncludeHidden = IncludeHidden();
  list.Fill(*item);
}

void TShellTree::OnExpanded(const QModelIndex& index) {
  FModel->Populate(index);
}

void TShellTree::OnCollapsed(const QModelIndex& index) {
  const TShellItem* item = FModel->ItemAt(index);
  if (item != nullptr && item->Data.IsRemovable) FModel->Depopulate(index);
}

void TShellTree::OnPopulateFinished(const QModelIndex& index) {
  if (!FModel->hasChildren(index) && isExpanded(index)) {
    collapse(index);  // it lost its expand button
    scheduleDelayedItemsLayout();
  }
  if (FFollowParent.isValid() && QModelIndex(FFollowParent) == index) {
    FFollowParent = QPersistentModelIndex();
    SelectChild(index, FFollowPath);
  }
}

bool TShellTree::IsEmptySpace(const QPoint& viewportPos) const {
  const QModelIndex index = indexAt(viewportPos);
  if (!index.isValid()) return true;
  const QRect cell = visualRect(index);
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  const int iconWidth =
      iconSize().isValid() ? iconSize().width() : style()->pixelMetric(QStyle::PM_SmallIconSize);
  const int textWidth = fontMetrics().horizontalAdvance(index.data().toString());
  return viewportPos.x() > cell.left() + iconWidth + textWidth + 4 * margin;
}

void TShellTree::mousePressEvent(QMouseEvent* event) {
  const QModelIndex before = currentIndex();
  const QModelIndex at = indexAt(event->position().toPoint());
  QTreeView::mousePressEvent(event);
  if (!at.isValid()) return;
  // A press on the node already selected reads its contents again.
  if (event->button() == Qt::LeftButton && at == before) FillListView(at);
  emit ItemMouseDown(at, event->button());
}

void TShellTree::mouseReleaseEvent(QMouseEvent* event) {
  QTreeView::mouseReleaseEvent(event);
  emit Clicked();
}

void TShellTree::mouseDoubleClickEvent(QMouseEvent* event) {
  const bool empty = IsEmptySpace(event->position().toPoint());
  QTreeView::mouseDoubleClickEvent(event);
  if (empty) emit EmptySpaceDoubleClicked();
}

}  // namespace vz
