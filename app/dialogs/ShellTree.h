// TShellTree: the read-only folder tree over the shell namespace with which
// the dialogs pick folders, and TShellListView, the list it can fill with the
// selected folder's folders and files (each item with its full path and a
// folder flag). Nodes are read when they are first expanded, removable media
// every time; a linked folder that leads back to an ancestor is shown but
// never entered.
#pragma once

#include <QPersistentModelIndex>
#include <QPointer>
#include <QTreeView>

#include <string>
#include <vector>

#include "app/dialogs/ShellModels.h"

namespace vz {

class TShellListView : public QTreeView {
  Q_OBJECT

 public:
  explicit TShellListView(TShellNamespace& shell, QWidget* parent = nullptr);

  TShellListModel& Model() const { return *FModel; }
  // The selected items in list order.
  std::vector<const TShellItem*> SelectedItems() const;
  QModelIndex IndexOf(int row) const { return FModel->index(row, 0); }

 signals:
  // A mouse click has been handled (the selection is up to date).
  void Clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TShellListModel* FModel;  // a child of this view
};

class TShellTree : public QTreeView {
  Q_OBJECT

 public:
  explicit TShellTree(TShellNamespace& shell, QWidget* parent = nullptr);

  TSpecialFolders RootFolder() const { return FRootFolder; }
  // Applies the new root when the tree is loaded.
  void SetRootFolder(TSpecialFolders value);
  // With the desktop as root, open "Computer" at start.
  bool ExpandDrives = true;
  bool FileSystemOnly() const { return FModel->FileSystemOnly; }
  void SetFileSystemOnly(bool value) { FModel->FileSystemOnly = value; }
  bool IncludeHidden() const { return FModel->IncludeHidden; }
  void SetIncludeHidden(bool value) { FModel->IncludeHidden = value; }
  TShellListView* ListView() const { return FListView; }
  // The list follows the selected node; it is forgotten when destroyed.
  void SetListView(TShellListView* list) { FListView = list; }

  // Builds the tree from RootFolder: expands the root, and (desktop root
  // with ExpandDrives) "Computer", and selects the last one.
  void Load();

  const TShellItem* SelectedItem() const;
  // The selected node's folder; empty without a selected node or for a node
  // outside the file system.
  std::string SelectedPath() const;
  // Expands the node, selects it and shows its contents in the list.
  void ExpandAndShow(const QModelIndex& index);
  // Expands the selected node and, once its children are read, selects the
  // child at `path` and shows its contents.
  void FollowChild(const std::string& path);
  // Fills the list view with the node's contents.
  void FillListView(const QModelIndex& index);
  // Nowhere on an item: no item there, or right of its icon and caption.
  bool IsEmptySpace(const QPoint& viewportPos) const;

  TShellTreeModel& Model() const { return *FModel; }
  QSize sizeHint() const override { return {175, 200}; }

 signals:
  // A mouse button went down on the item at `index`.
  void ItemMouseDown(const QModelIndex& index, Qt::MouseButton button);
  void EmptySpaceDoubleClicked();
  void Clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void ApplyRootFolder();
  void SelectChild(const QModelIndex& parent, const std::string& path);
  void OnExpanded(const QModelIndex& index);
  void OnCollapsed(const QModelIndex& index);
  void OnPopulateFinished(const QModelIndex& index);

  TShellNamespace& FShell;
  TShellTreeModel* FModel;  // a child of this view
  TSpecialFolders FRootFolder = TSpecialFolders::sfDesktop;
  bool FLoaded = false;
  QPointer<TShellListView> FListView;
  QPersistentModelIndex FFollowParent;
  std::string FFollowPath;
};

}  // namespace vz
