// The models behind the shell folder tree and its linked list. Both read
// folders through a TFolderReader and insert what it delivers in batches, so
// a large folder fills in while the dialog keeps answering.
#pragma once

#include <QAbstractItemModel>
#include <QAbstractListModel>

#include <memory>
#include <unordered_map>
#include <vector>

#include "app/dialogs/FolderReader.h"
#include "app/dialogs/ShellNamespace.h"

namespace vz {

class TShellTreeModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  explicit TShellTreeModel(TShellNamespace& shell, QObject* parent = nullptr);
  ~TShellTreeModel() override;

  bool FileSystemOnly = false;
  bool IncludeHidden = false;

  // Replaces everything by the single root node `root`.
  void SetRoot(TShellItem root);
  QModelIndex RootIndex() const;
  // The node's item; null for an invalid index.
  const TShellItem* ItemAt(const QModelIndex& index) const;

  // Reads the node's children unless that was done: its own children at
  // once, the entries of its folder later, in batches (then PopulateFinished
  // follows). A removable medium is read afresh every time; a link into a
  // loop is never read and loses its expand button.
  void Populate(const QModelIndex& index);
  // Forgets the node's children, so that the next Populate reads them anew
  // (a removable medium when its node collapses).
  void Depopulate(const QModelIndex& index);
  // The node's children are complete (until a removable medium is read
  // again).
  bool IsPopulated(const QModelIndex& index) const;
  // The child whose Path is `path`, or an invalid index.
  QModelIndex FindChild(const QModelIndex& parent, const std::string& path) const;
  // Folders are being read.
  bool Busy() const { return !FPending.empty(); }
  // Takes in a batch of the folder reader, on the model's thread.
  void OnBatch(u64 id, std::vector<TShellItem> items, bool last);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // The node's children are complete.
  void PopulateFinished(const QModelIndex& node);
  void BusyChanged(bool busy);

 private:
  struct TNode {
    TShellItem Item;
    TNode* Parent = nullptr;
    int Row = 0;
    std::vector<std::unique_ptr<TNode>> Children;
    bool HasButton = true;  // shown expandable before its children are read
    bool Loading = false;
    bool Read = false;  // the children are complete
    u64 Request = 0;
  };

  TNode* NodeAt(const QModelIndex& index) const;
  QModelIndex IndexOf(const TNode* node) const;
  void Append(TNode* node, std::vector<TShellItem> items);
  void Finish(TNode* node);
  void ForgetRequests(TNode* node);
  void SetPending(u64 id, TNode* node);

  TShellNamespace& FShell;
  std::unique_ptr<TNode> FRoot;
  std::unordered_map<u64, TNode*> FPending;
  u64 FNextRequest = 1;
  TFolderReader FReader;
};

class TShellListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit TShellListModel(TShellNamespace& shell, QObject* parent = nullptr);
  ~TShellListModel() override;

  bool FileSystemOnly = false;
  bool IncludeHidden = false;
  // The list's own order (the dialog that owns the list sets it); it runs on
  // the folder reader's thread. Empty: the order of reading.
  TShellItemLess Less;

  // Empties the list, then fills it with the folder's contents (the folder's
  // entries arrive in batches; FillFinished follows the last).
  void Fill(const TShellItem& folder);
  void Clear();
  const TShellItem& Item(int row) const { return FItems[static_cast<std::size_t>(row)]; }
  int Count() const { return static_cast<int>(FItems.size()); }
  bool Busy() const { return FRequest != 0; }
  // Takes in a batch of the folder reader, on the model's thread.
  void OnBatch(u64 id, std::vector<TShellItem> items, bool last);

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  void FillFinished();
  void BusyChanged(bool busy);

 private:
  void Append(std::vector<TShellItem> items);

  TShellNamespace& FShell;
  std::vector<TShellItem> FItems;
  std::size_t FVirtualCount = 0;  // the first items, not read from a folder
  u64 FRequest = 0;
  u64 FNextRequest = 1;
  TFolderReader FReader;
};

// Captions case-insensitively by the user's locale: the order of the
// tree's children. Safe on any thread.
bool CaptionLess(const TShellItem& a, const TShellItem& b);

// The data every model gives for an item.
QVariant ShellItemData(const TShellNamespace& shell, const TShellItem& item, int role);

}  // namespace vz
