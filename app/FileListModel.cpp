#include "app/FileListModel.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <cmath>

#include "app/Icons.h"
#include "app/core/Helpers.h"

namespace vz {
namespace {

QString ColumnCaption(TListColumn column) {
  switch (column) {
    case TListColumn::Name:
      return QStringLiteral("Name");
    case TListColumn::Type:
      return QStringLiteral("Type");
    case TListColumn::Modified:
      return QStringLiteral("Modified");
    case TListColumn::Size:
      return QStringLiteral("Size");
    case TListColumn::Compressed:
      return QStringLiteral("Compressed");
    case TListColumn::Ratio:
      return QStringLiteral("Ratio");
  }
  return {};
}

bool RightAligned(TListColumn column) {
  return column == TListColumn::Size || column == TListColumn::Compressed ||
         column == TListColumn::Ratio;
}

// The system's short date and long time, without the time zone that Qt's
// long time format adds.
QString DateTimeText(double dateTime) {
  static const QString timeFormat = [] {
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    return format.trimmed();
  }();
  const double days = std::floor(dateTime);
  const auto msecs = static_cast<qint64>(std::llround((dateTime - days) * 86'400'000.0));
  const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
  const QTime time = QTime(0, 0).addMSecs(static_cast<int>(std::min<qint64>(msecs, 86'399'999)));
  const QLocale locale;
  return locale.toString(date, QLocale::ShortFormat) + QLatin1Char(' ') +
         locale.toString(time, timeFormat);
}

}  // namespace

int lvFilesCompare(const TArchiveTree& tree, TListRow a, TListRow b) {
  if (a.IsFolder() != b.IsFolder()) return a.IsFolder() ? -1 : 1;
  const int rankA = a.IsFolder() ? tree.Node(a.Node()).Rank : tree.Member(a.Member()).Rank;
  const int rankB = b.IsFolder() ? tree.Node(b.Node()).Rank : tree.Member(b.Member()).Rank;
  return rankA < rankB ? -1 : rankA > rankB ? 1 : 0;
}

// Two decimals at most, no trailing zeros, and no integer digit when it is 0
// (".5 :1"), as the pattern's "#" asks.
QString RatioText(u32 uncompressed, u32 compressed, const TNumberFormat& format) {
  if (uncompressed == 0 || compressed == 0) return {};
  const auto hundredths = std::llround(static_cast<double>(uncompressed) * 100.0 / compressed);
  const long long whole = hundredths / 100;
  long long fraction = hundredths % 100;
  QString text = whole > 0 ? QString::number(whole) : QString();
  if (fraction != 0) {
    QString digits = QStringLiteral("%1").arg(fraction, 2, 10, QLatin1Char('0'));
    while (digits.endsWith(QLatin1Char('0'))) digits.chop(1);
    text += QString::fromStdString(format.DecimalSeparator) + digits;
  }
  return text + QStringLiteral(" :1");
}

TFileListModel::TFileListModel(QObject* parent)
    : QAbstractTableModel(parent), FNumbers(UserNumberFormat()) {}

void TFileListModel::SetTree(std::shared_ptr<const TArchiveTree> tree) {
  beginResetModel();
  FTree = std::move(tree);
  FNode = -1;
  FAllRows.clear();
  FRows.clear();
  FShellCache.clear();
  FHasStateImages = false;
  endResetModel();
}

void TFileListModel::Fill(int node, const QString& rootDir) {
  beginResetModel();
  FNode = node;
  FRootDir = rootDir;
  FAllRows.clear();
  FShellCache.clear();
  FHasStateImages = false;
  if (FTree && node >= 0 && node < FTree->NodeCount()) {
    const TFolderNode& folder = FTree->Node(node);
    FAllRows.reserve(folder.Children.size() + folder.Members.size());
    // Both lists are already in caption order, which is lvFilesCompare's.
    for (int child : folder.Children) FAllRows.push_back(TListRow::Folder(child));
    for (int member : folder.Members) {
      FAllRows.push_back(TListRow::File(member));
      FHasStateImages = FHasStateImages || FTree->Member(member).Encrypted;
    }
  }
  ApplyFilter();
  endResetModel();
}

void TFileListModel::Clear() {
  Fill(-1);
}

void TFileListModel::SetColumns(bool withType) {
  beginResetModel();
  FColumns = {TListColumn::Name, TListColumn::Modified, TListColumn::Size, TListColumn::Compressed,
              TListColumn::Ratio};
  if (withType) FColumns.insert(FColumns.begin() + 1, TListColumn::Type);
  endResetModel();
}

void TFileListModel::ClearColumns() {
  beginResetModel();
  FColumns.clear();
  endResetModel();
}

void TFileListModel::SetFilter(const QString& pattern) {
  if (pattern == FFilter) return;
  beginResetModel();
  FFilter = pattern;
  ApplyFilter();
  endResetModel();
}

void TFileListModel::ApplyFilter() {
  if (FFilter.isEmpty() || !FTree) {
    FRows = FAllRows;
    return;
  }
  const bool wildcard = FFilter.contains(QLatin1Char('*')) || FFilter.contains(QLatin1Char('?'));
  const QRegularExpression pattern(
      wildcard ? QRegularExpression::wildcardToRegularExpression(FFilter) : QString(),
      QRegularExpression::CaseInsensitiveOption);
  FRows.clear();
  // Captions differ from the stored names in case only, and case is
  // ignored, so the names are matched without making captions.
  for (TListRow row : FAllRows) {
    const QString name = row.IsFolder()
                             ? FTree->Node(row.Node()).Caption
                             : QString::fromStdString(FTree->Member(row.Member()).Filename);
    const bool match =
        wildcard ? pattern.match(name).hasMatch() : name.contains(FFilter, Qt::CaseInsensitive);
    if (match) FRows.push_back(row);
  }
}

QString TFileListModel::Caption(int row) const {
  const TListRow r = RowAt(row);
  if (r.IsFolder()) return FTree->Node(r.Node()).Caption;
  if (!FRootDir.isEmpty()) {
    const TShellInfo& info = ShellInfo(r.Member());
    if (info.Found) return info.Caption;
  }
  return QString::fromStdString(FTree->Member(r.Member()).Filename);
}

int TFileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TFileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FColumns.size());
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !FTree || index.row() >= rowCount() || index.column() >= columnCount()) {
    return {};
  }
  const TListRow row = RowAt(index.row());
  const TListColumn column = ColumnAt(index.column());
  switch (role) {
    case Qt::DisplayRole:
      return column == TListColumn::Name ? QVariant(Caption(index.row())) : Cell(row, column);
    case Qt::DecorationRole:
      return column == TListColumn::Name ? Decoration(row) : QVariant();
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignVCenter |
                                 (RightAligned(column) ? Qt::AlignRight : Qt::AlignLeft));
    case FullNameRole:
      return row.IsFolder() ? QString() : QString::fromStdString(FTree->FullName(row.Member()));
    case IsFolderRole:
      return row.IsFolder();
    case NodeRole:
      return row.IsFolder() ? row.Node() : -1;
    case StateImageRole:
      return !row.IsFolder() && FTree->Member(row.Member()).Encrypted ? 0 : -1;
    default:
      return {};
  }
}

QVariant TFileListModel::Cell(TListRow row, TListColumn column) const {
  if (row.IsFolder()) return {};
  const TMemberInfo& member = FTree->Member(row.Member());
  switch (column) {
    case TListColumn::Type:
      return FRootDir.isEmpty() ? QString() : ShellInfo(row.Member()).TypeName;
    case TListColumn::Modified:
      return DateTimeText(member.Modified);
    case TListColumn::Size:
      return QString::fromStdString(FormatSize(member.UncompressedSize, FNumbers));
    case TListColumn::Compressed:
      return QString::fromStdString(FormatSize(member.CompressedSize, FNumbers));
    case TListColumn::Ratio:
      return RatioText(member.UncompressedSize, member.CompressedSize, FNumbers);
    case TListColumn::Name:
      break;
  }
  return {};
}

QVariant TFileListModel::Decoration(TListRow row) const {
  if (row.IsFolder()) return NodeIcon(FTree->Node(row.Node()).Icon, false);
  const TMemberInfo& member = FTree->Member(row.Member());
  if (!FRootDir.isEmpty()) {
    const TShellInfo& info = ShellInfo(row.Member());
    if (info.Found) return member.Encrypted ? LockedIcon(info.Icon) : info.Icon;
  }
  const QIcon icon = FileTypeIcon(QString::fromStdString(member.Filename));
  return member.Encrypted ? LockedIcon(icon) : icon;
}

// The file's own name, type and icon where the folder-archive record says
// the archive's files came from, when the file is still there.
const TFileListModel::TShellInfo& TFileListModel::ShellInfo(int member) const {
  auto it = FShellCache.find(member);
  if (it != FShellCache.end()) return *it;
  TShellInfo info;
  const TMemberInfo& m = FTree->Member(member);
  const QFileInfo file(FRootDir + QString::fromStdString(FTree->FolderPath(m.Node) + m.Filename));
  if (file.exists()) {
    static const QMimeDatabase mimeTypes;
    const QMimeType type = mimeTypes.mimeTypeForFile(file);
    info = {file.fileName(), type.comment(), MimeIcon(type), true};
  }
  return *FShellCache.insert(member, std::move(info));
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  const TListColumn column = ColumnAt(section);
  if (role == Qt::DisplayRole) return ColumnCaption(column);
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::AlignVCenter |
                               (RightAligned(column) ? Qt::AlignRight : Qt::AlignLeft));
  }
  return {};
}

Qt::ItemFlags TFileListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  const bool draggable = OnDragMembers && !RowAt(index.row()).IsFolder();
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable |
         (draggable ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
}

QStringList TFileListModel::mimeTypes() const {
  return {QStringLiteral("text/uri-list")};
}

QMimeData* TFileListModel::mimeData(const QModelIndexList& indexes) const {
  if (!OnDragMembers || !FTree) return nullptr;
  std::vector<int> rows;
  for (const QModelIndex& index : indexes) {
    if (index.isValid() && !RowAt(index.row()).IsFolder()) rows.push_back(index.row());
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::vector<std::string> names;
  for (const int row : rows) names.push_back(FTree->FullName(RowAt(row).Member()));
  return names.empty() ? nullptr : OnDragMembers(names);
}

}  // namespace vz
