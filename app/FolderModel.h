// TFolderModel: the folder tree of tvFolders over a TArchiveTree snapshot.
// A node's internal id is its index in the snapshot, so parent and row are
// looked up, never searched. The selected node shows the open-folder picture.
#pragma once

#include <QAbstractItemModel>
#include <memory>

#include "app/ArchiveTree.h"

namespace vz {

class TFolderModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  enum TRole { NodeRole = Qt::UserRole + 1, FolderPathRole };

  explicit TFolderModel(QObject* parent = nullptr);

  // Replaces the whole tree (nullptr: empty).
  void SetTree(std::shared_ptr<const TArchiveTree> tree);
  const std::shared_ptr<const TArchiveTree>& Tree() const { return FTree; }
  QModelIndex IndexOfNode(int node) const;
  int NodeOf(const QModelIndex& index) const;
  // The node drawn with the open-folder picture.
  void SetSelectedNode(int node);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  std::shared_ptr<const TArchiveTree> FTree;
  int FSelectedNode = -1;
};

}  // namespace vz
