#include "app/FolderModel.h"

#include "app/Icons.h"

namespace vz {

TFolderModel::TFolderModel(QObject* parent) : QAbstractItemModel(parent) {}

void TFolderModel::SetTree(std::shared_ptr<const TArchiveTree> tree) {
  beginResetModel();
  FTree = std::move(tree);
  FSelectedNode = -1;
  endResetModel();
}

QModelIndex TFolderModel::IndexOfNode(int node) const {
  if (!FTree || node < 0 || node >= FTree->NodeCount()) return {};
  return createIndex(FTree->Node(node).Row, 0, static_cast<quintptr>(node));
}

int TFolderModel::NodeOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<int>(index.internalId()) : -1;
}

void TFolderModel::SetSelectedNode(int node) {
  const int old = FSelectedNode;
  FSelectedNode = node;
  for (int changed : {old, node}) {
    const QModelIndex index = IndexOfNode(changed);
    if (index.isValid()) emit dataChanged(index, index, {Qt::DecorationRole});
  }
}

QModelIndex TFolderModel::index(int row, int column, const QModelIndex& parent) const {
  if (!FTree || column != 0 || row < 0) return {};
  const std::vector<int>& rows =
      parent.isValid() ? FTree->Node(NodeOf(parent)).Children : FTree->Roots();
  if (row >= static_cast<int>(rows.size())) return {};
  return createIndex(row, 0, static_cast<quintptr>(rows[static_cast<std::size_t>(row)]));
}

QModelIndex TFolderModel::parent(const QModelIndex& child) const {
  if (!FTree || !child.isValid()) return {};
  return IndexOfNode(FTree->Node(NodeOf(child)).Parent);
}

int TFolderModel::rowCount(const QModelIndex& parent) const {
  if (!FTree) return 0;
  if (!parent.isValid()) return static_cast<int>(FTree->Roots().size());
  if (parent.column() != 0) return 0;
  return static_cast<int>(FTree->Node(NodeOf(parent)).Children.size());
}

int TFolderModel::columnCount(const QModelIndex&) const {
  return 1;
}

QVariant TFolderModel::data(const QModelIndex& index, int role) const {
  if (!FTree || !index.isValid()) return {};
  const int node = NodeOf(index);
  const TFolderNode& n = FTree->Node(node);
  switch (role) {
    case Qt::DisplayRole:
      return n.Caption;
    case Qt::DecorationRole:
      return NodeIcon(n.Icon, node == FSelectedNode);
    case NodeRole:
      return node;
    case FolderPathRole:
      return QString::fromStdString(FTree->FolderPath(node));
    default:
      return {};
  }
}

Qt::ItemFlags TFolderModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace vz
