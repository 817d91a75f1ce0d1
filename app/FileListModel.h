// TFileListModel: the rows of lvFiles, the selected folder's subfolders and
// members over a TArchiveTree snapshot, in the list's order: folders first,
// then captions by the locale, case ignored (lvFilesCompare). The order comes
// from the collation ranks taken with the snapshot, so filling and filtering
// 100,000 rows is a pass over integers.
//
// Cells are made when a view asks for them, so only visible rows cost
// formatting, icons or (in the folder-archive layout) a look at the disk.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ArchiveTree.h"
#include "platform/Locale.h"

class QMimeData;

namespace vz {

enum class TListColumn : u8 { Name, Type, Modified, Size, Compressed, Ratio };

// A row: a member (>= 0) or the child folder node n (encoded ~n).
struct TListRow {
  int Value = 0;
  bool IsFolder() const { return Value < 0; }
  int Node() const { return ~Value; }
  int Member() const { return Value; }
  static TListRow Folder(int node) { return {~node}; }
  static TListRow File(int member) { return {member}; }
};

// lvFilesCompare: negative when `a` sorts before `b`.
int lvFilesCompare(const TArchiveTree& tree, TListRow a, TListRow b);

// "#.## :1" of uncompressed / compressed; empty unless both are above 0.
QString RatioText(u32 uncompressed, u32 compressed, const TNumberFormat& format);

class TFileListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TRole {
    FullNameRole = Qt::UserRole + 1,  // QString, empty for folder rows
    IsFolderRole,
    NodeRole,        // the child node of a folder row, else -1
    StateImageRole,  // 0 (the lock) for an encrypted member, else -1
  };

  explicit TFileListModel(QObject* parent = nullptr);

  void SetTree(std::shared_ptr<const TArchiveTree> tree);
  const std::shared_ptr<const TArchiveTree>& Tree() const { return FTree; }
  // Lists folder `node` (-1: nothing). `rootDir` non-empty: the archive has
  // a folder-archive record and its files are looked up below rootDir.
  void Fill(int node, const QString& rootDir = {});
  void Clear();
  int ListedNode() const { return FNode; }
  // Columns in order; none after ClearColumns.
  void SetColumns(bool withType);
  void ClearColumns();
  TListColumn ColumnAt(int column) const { return FColumns[static_cast<std::size_t>(column)]; }
  // Keeps the rows whose caption matches: text without "*" or "?" as a part
  // of the caption, else as a wildcard pattern over the whole caption; case
  // is ignored. Empty: every row.
  void SetFilter(const QString& pattern);
  const QString& Filter() const { return FFilter; }

  TListRow RowAt(int row) const { return FRows[static_cast<std::size_t>(row)]; }
  QString Caption(int row) const;
  // Whether any listed row has a state image.
  bool HasStateImages() const { return FHasStateImages; }

  // Dragging members out: the data of a drag that carries the members of
  // these stored names, made by the window (nullptr: no drag). Without it
  // no row can be dragged.
  std::function<QMimeData*(const std::vector<std::string>& FullNames)> OnDragMembers;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  // The members among the rows of `indexes`, in list order, through
  // OnDragMembers; folder rows are not dragged.
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

 private:
  struct TShellInfo {
    QString Caption;
    QString TypeName;
    QIcon Icon;
    bool Found = false;
  };
  void ApplyFilter();
  QVariant Cell(TListRow row, TListColumn column) const;
  QVariant Decoration(TListRow row) const;
  const TShellInfo& ShellInfo(int member) const;

  std::shared_ptr<const TArchiveTree> FTree;
  int FNode = -1;
  QString FRootDir;
  std::vector<TListRow> FAllRows;
  std::vector<TListRow> FRows;
  std::vector<TListColumn> FColumns;
  QString FFilter;
  bool FHasStateImages = false;
  TNumberFormat FNumbers;
  mutable QHash<int, TShellInfo> FShellCache;
};

}  // namespace vz
