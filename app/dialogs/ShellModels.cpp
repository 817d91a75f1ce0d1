#include "app/dialogs/ShellModels.h"

#include <QCollator>

#include <algorithm>

namespace vz {
namespace {

// Entries of the desktop folder that are already among its own children
// (the desktop being the home folder, say) are not shown twice.
template <typename TExisting>
void RemoveShadowed(std::vector<TShellItem>& items, const TExisting& existingPaths) {
  if (existingPaths.empty()) return;
  std::erase_if(items, [&](const TShellItem& item) {
    return std::find(existingPaths.begin(), existingPaths.end(), item.Data.Path) !=
           existingPaths.end();
  });
}

// The reader's batches, handed to the model on its own thread.
template <typename TModel>
TFolderReader::TDeliver DeliverTo(TModel* model) {
  return [model](u64 id, std::vector<TShellItem> items, bool last) {
    QMetaObject::invokeMethod(
        model,
        [model, id, items = std::move(items), last]() mutable {
          model->OnBatch(id, std::move(items), last);
        },
        Qt::QueuedConnection);
  };
}

}  // namespace

bool CaptionLess(const TShellItem& a, const TShellItem& b) {
  // Also called on the reader's thread, hence a collator per thread.
  thread_local const QCollator collator = [] {
    QCollator c;
    c.setCaseSensitivity(Qt::CaseInsensitive);
    return c;
  }();
  return collator.compare(a.Caption, b.Caption) < 0;
}

QVariant ShellItemData(const TShellNamespace& shell, const TShellItem& item, int role) {
  switch (role) {
    case Qt::DisplayRole:
      return item.Caption;
    case Qt::DecorationRole:
      return shell.IconOf(item);
    case Qt::ToolTipRole:
      return item.Data.IsFileSystem() ? DisplayText(item.Data.Path) : item.Caption;
    case ShellRole::Path:
      return QByteArray::fromStdString(item.Data.Path);
    case ShellRole::IsFolder:
      return item.Data.IsFolder;
    default:
      return {};
  }
}

// ---------------------------------------------------------------- tree

TShellTreeModel::TShellTreeModel(TShellNamespace& shell, QObject* parent)
    : QAbstractItemModel(parent), FShell(shell), FReader(shell.Files(), DeliverTo(this)) {}

TShellTreeModel::~TShellTreeModel() = default;

void TShellTreeModel::SetRoot(TShellItem root) {
  beginResetModel();
  if (FRoot) ForgetRequests(FRoot.get());
  FRoot = std::make_unique<TNode>();
  FRoot->Item = std::move(root);
  endResetModel();
}

QModelIndex TShellTreeModel::RootIndex() const {
  return IndexOf(FRoot.get());
}

TShellTreeModel::TNode* TShellTreeModel::NodeAt(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  return static_cast<TNode*>(index.internalPointer());
}

QModelIndex TShellTreeModel::IndexOf(const TNode* node) const {
  if (node == nullptr) return {};
  return createIndex(node->Row, 0, const_cast<TNode*>(node));
}

const TShellItem* TShellTreeModel::ItemAt(const QModelIndex& index) const {
  const TNode* node = NodeAt(index);
  return node != nullptr ? &node->Item : nullptr;
}

bool TShellTreeModel::IsPopulated(const QModelIndex& index) const {
  const TNode* node = NodeAt(index);
  return node != nullptr && node->Read && !node->Loading;
}

void TShellTreeModel::Populate(const QModelIndex& index) {
  TNode* node = NodeAt(index);
  if (node == nullptr || node->Loading || node->Item.Data.Populated) return;
  const TShellItemData& data = node->Item.Data;
  if (!node->Children.empty()) Depopulate(index);  // a removable medium, read anew
  Append(node, FShell.VirtualChildren(node->Item));
  const std::string folder = TShellNamespace::FolderOf(node->Item);
  if (folder.empty()) {
    Finish(node);
    return;
  }
  TFolderRequest request;
  request.Id = FNextRequest++;
  request.Folder = folder;
  request.FolderReal = data.RealPath;
  for (const TNode* up = node->Parent; up != nullptr; up = up->Parent) {
    if (!up->Item.Data.RealPath.empty()) request.AncestorReals.push_back(up->Item.Data.RealPath);
  }
  request.FoldersOnly = true;
  request.IncludeHidden = IncludeHidden;
  request.FileSystemOnly = FileSystemOnly;
  request.Less = CaptionLess;
  node->Loading = true;
  SetPending(request.Id, node);
  FReader.Request(std::move(request));
}

void TShellTreeModel::SetPending(u64 id, TNode* node) {
  const bool wasBusy = Busy();
  node->Request = id;
  FPending[id] = node;
  if (!wasBusy) emit BusyChanged(true);
}

void TShellTreeModel::Depopulate(const QModelIndex& index) {
  TNode* node = NodeAt(index);
  if (node == nullptr) return;
  const bool wasBusy = Busy();
  ForgetRequests(node);
  if (!node->Children.empty()) {
    beginRemoveRows(index, 0, static_cast<int>(node->Children.size()) - 1);
    node->Children.clear();
    endRemoveRows();
  }
  node->Loading = false;
  node->Read = false;
  node->Item.Data.Populated = false;
  node->HasButton = true;
  emit dataChanged(index, index);
  if (wasBusy && !Busy()) emit BusyChanged(false);
}

void TShellTreeModel::ForgetRequests(TNode* node) {
  if (node->Request != 0) {
    FReader.Drop(node->Request);
    FPending.erase(node->Request);
    node->Request = 0;
    node->Loading = false;
  }
  for (auto& child : node->Children) ForgetRequests(child.get());
}

void TShellTreeModel::Append(TNode* node, std::vector<TShellItem> items) {
  if (items.empty()) return;
  const int first = static_cast<int>(node->Children.size());
  beginInsertRows(IndexOf(node), first, first + static_cast<int>(items.size()) - 1);
  for (auto& item : items) {
    auto child = std::make_unique<TNode>();
    child->HasButton = item.Data.IsFolder && !item.Data.IsLoop;
    child->Item = std::move(item);
    child->Parent = node;
    child->Row = static_cast<int>(node->Children.size());
    node->Children.push_back(std::move(child));
  }
  endInsertRows();
}

void TShellTreeModel::Finish(TNode* node) {
  node->Loading = false;
  node->Read = true;
  node->Request = 0;
  node->Item.Data.Populated = !node->Item.Data.IsRemovable;
  const QModelIndex index = IndexOf(node);
  if (node->Children.empty() && node->HasButton) {
    node->HasButton = false;
    emit dataChanged(index, index);
  }
  emit PopulateFinished(index);
}

void TShellTreeModel::OnBatch(u64 id, std::vector<TShellItem> items, bool last) {
  const auto it = FPending.find(id);
  if (it == FPending.end()) return;  // the node was read again or is gone
  TNode* node = it->second;
  if (node->Item.Icon == TShellIconKind::Desktop) {
    std::vector<std::string> shown;
    for (const auto& child : node->Children) shown.push_back(child->Item.Data.Path);
    RemoveShadowed(items, shown);
  }
  Append(node, std::move(items));
  if (!last) return;
  FPending.erase(it);
  Finish(node);
  if (!Busy()) emit BusyChanged(false);
}

QModelIndex TShellTreeModel::FindChild(const QModelIndex& parent, const std::string& path) const {
  const TNode* node = NodeAt(parent);
  if (node == nullptr) return {};
  for (const auto& child : node->Children) {
    if (child->Item.Data.Path == path) return IndexOf(child.get());
  }
  return {};
}

QModelIndex TShellTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column != 0) return {};
  if (!parent.isValid()) return row == 0 && FRoot ? IndexOf(FRoot.get()) : QModelIndex();
  const TNode* node = NodeAt(parent);
  if (node == nullptr || row >= static_cast<int>(node->Children.size())) return {};
  return IndexOf(node->Children[static_cast<std::size_t>(row)].get());
}

QModelIndex TShellTreeModel::parent(const QModelIndex& child) const {
  const TNode* node = NodeAt(child);
  return node != nullptr ? IndexOf(node->Parent) : QModelIndex();
}

int TShellTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return FRoot ? 1 : 0;
  if (parent.column() != 0) return 0;
  const TNode* node = NodeAt(parent);
  return node != nullptr ? static_cast<int>(node->Children.size()) : 0;
}

int TShellTreeModel::columnCount(const QModelIndex&) const {
  return 1;
}

bool TShellTreeModel::hasChildren(const QModelIndex& parent) const {
  if (!parent.isValid()) return FRoot != nullptr;
  if (parent.column() != 0) return false;
  const TNode* node = NodeAt(parent);
  return node != nullptr && (!node->Children.empty() || node->HasButton);
}

QVariant TShellTreeModel::data(const QModelIndex& index, int role) const {
  const TNode* node = NodeAt(index);
  return node != nullptr ? ShellItemData(FShell, node->Item, role) : QVariant();
}

Qt::ItemFlags TShellTreeModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// ---------------------------------------------------------------- list

TShellListModel::TShellListModel(TShellNamespace& shell, QObject* parent)
    : QAbstractListModel(parent), FShell(shell), FReader(shell.Files(), DeliverTo(this)) {}

TShellListModel::~TShellListModel() = default;

void TShellListModel::Clear() {
  const bool wasBusy = Busy();
  if (FRequest != 0) FReader.Drop(FRequest);
  FRequest = 0;
  FVirtualCount = 0;
  if (!FItems.empty()) {
    beginRemoveRows({}, 0, Count() - 1);
    FItems.clear();
    endRemoveRows();
  }
  if (wasBusy) emit BusyChanged(false);
}

void TShellListModel::Fill(const TShellItem& folder) {
  Clear();
  auto own = FShell.VirtualChildren(folder);
  FVirtualCount = own.size();
  Append(std::move(own));
  const std::string path = TShellNamespace::FolderOf(folder);
  if (path.empty()) {
    emit FillFinished();
    return;
  }
  TFolderRequest request;
  request.Id = FNextRequest++;
  request.Folder = path;
  request.FolderReal = folder.Data.RealPath;
  request.FoldersOnly = false;
  request.IncludeHidden = IncludeHidden;
  request.FileSystemOnly = FileSystemOnly;
  request.Less = Less;
  FRequest = request.Id;
  FReader.Request(std::move(request));
  emit BusyChanged(true);
}

void TShellListModel::Append(std::vector<TShellItem> items) {
  if (items.empty()) return;
  beginInsertRows({}, Count(), Count() + static_cast<int>(items.size()) - 1);
  std::move(items.begin(), items.end(), std::back_inserter(FItems));
  endInsertRows();
}

void TShellListModel::OnBatch(u64 id, std::vector<TShellItem> items, bool last) {
  if (id != FRequest) return;  // an earlier folder's entries
  std::vector<std::string> shown;
  for (std::size_t i = 0; i < FVirtualCount; ++i) shown.push_back(FItems[i].Data.Path);
  RemoveShadowed(items, shown);
  Append(std::move(items));
  if (!last) return;
  FRequest = 0;
  emit BusyChanged(false);
  emit FillFinished();
}

int TShellListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

QVariant TShellListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Count()) return {};
  return ShellItemData(FShell, Item(index.row()), role);
}

QVariant TShellListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole) {
    return QStringLiteral("Name");
  }
  return {};
}

Qt::ItemFlags TShellListModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace vz
