#include "app/ArchiveTree.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <numeric>
#include <optional>
#include <thread>
#include <unordered_map>

#include "app/core/Helpers.h"
#include "engine/reader/UnZipEngine.h"

namespace vz {
namespace {

// Made-by hosts whose names may carry "C:" drives and "\\server\share"
// shares: MS-DOS and OS/2 FAT (0), OS/2 HPFS (6), Windows NTFS (10, and 11 as
// Info-ZIP writes it) and VFAT (14).
bool IsDosHost(u16 versionMadeBy) {
  const int host = versionMadeBy >> 8;
  return host == 0 || host == 6 || host == 10 || host == 11 || host == 14;
}

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

QString CaptionOf(std::string_view component) {
  return QString::fromStdString(std::string(component));
}

}  // namespace

TDrivePart DrivePartOf(std::string_view path, bool dosHost) {
  if (!dosHost) return TDrivePart::None;
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') return TDrivePart::Drive;
  // "//server/share": both parts there and not empty.
  if (path.size() < 5 || path[0] != '/' || path[1] != '/') return TDrivePart::None;
  const auto serverEnd = path.find('/', 2);
  if (serverEnd == std::string_view::npos || serverEnd == 2) return TDrivePart::None;
  const auto shareEnd = path.find('/', serverEnd + 1);
  const auto shareLength =
      (shareEnd == std::string_view::npos ? path.size() : shareEnd) - (serverEnd + 1);
  return shareLength > 0 ? TDrivePart::Network : TDrivePart::None;
}

// Sort keys make each comparison a byte compare; for large lists the keys
// are made on two threads, each with a collator of its own. Captions are
// case-folded first: the collator of the C locale keys them as they are.
std::vector<int> CollationRanks(const std::vector<QString>& captions) {
  QCollator collator{QLocale()};
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::vector<std::optional<QCollatorSortKey>> keys(captions.size());
  const auto makeKeys = [&captions, &keys](QCollator own, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) keys[i] = own.sortKey(captions[i].toCaseFolded());
  };
  const std::size_t half = captions.size() / 2;
  if (captions.size() >= 20000) {
    std::thread helper(makeKeys, collator, half, captions.size());
    makeKeys(collator, 0, half);
    helper.join();
  } else {
    makeKeys(collator, 0, captions.size());
  }
  std::vector<int> order(captions.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return keys[static_cast<std::size_t>(a)]->compare(*keys[static_cast<std::size_t>(b)]) < 0;
  });
  std::vector<int> ranks(captions.size());
  for (std::size_t place = 0; place < order.size(); ++place) {
    ranks[static_cast<std::size_t>(order[place])] = static_cast<int>(place);
  }
  return ranks;
}

std::shared_ptr<const TArchiveTree> TArchiveTree::FromEngine(const TUnZipEngine& engine) {
  std::vector<TMemberSource> members;
  const int count = engine.Count();
  members.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const TZipHeaderInfo& entry = engine.Entry(i);
    members.push_back({entry.Directory(), entry.Filename(), engine.DateTime(i),
                       entry.CompressedSize, entry.UncompressedSize, entry.Encrypted(),
                       IsDosHost(entry.VersionMadeBy), entry.DiskNumberStart + 1});
  }
  return Build(std::move(members));
}

std::shared_ptr<const TArchiveTree> TArchiveTree::Build(std::vector<TMemberSource> members) {
  auto tree = std::make_shared<TArchiveTree>();
  std::unordered_map<std::string, int> pathIndex;
  std::vector<bool> dosPath;
  std::vector<int> memberPath(members.size(), -1);
  for (std::size_t i = 0; i < members.size(); ++i) {
    auto [it, added] =
        pathIndex.try_emplace(members[i].Directory, static_cast<int>(dosPath.size()));
    if (added) dosPath.push_back(false);
    if (members[i].DosHost) dosPath[static_cast<std::size_t>(it->second)] = true;
    memberPath[i] = it->second;
  }
  tree->FPaths.resize(pathIndex.size());
  for (auto& [path, index] : pathIndex) tree->FPaths[static_cast<std::size_t>(index)] = path;
  pathIndex.clear();

  tree->AddRoots(tree->FPaths, dosPath);
  std::vector<int> nodeOfPath(tree->FPaths.size());
  std::unordered_map<std::string, int> children;
  for (std::size_t p = 0; p < tree->FPaths.size(); ++p) {
    nodeOfPath[p] = tree->InsertPath(static_cast<int>(p), dosPath[p], children);
  }

  tree->FMembers.resize(members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    TMemberSource& source = members[i];
    TMemberInfo& member = tree->FMembers[i];
    member = {std::move(source.Filename),
              source.Modified,
              source.CompressedSize,
              source.UncompressedSize,
              nodeOfPath[static_cast<std::size_t>(memberPath[i])],
              0,
              source.Encrypted,
              source.DiskNo};
    tree->FMultiDisk = tree->FMultiDisk || member.DiskNo > 1;
    if (!member.Filename.empty()) {
      tree->FNodes[static_cast<std::size_t>(member.Node)].Members.push_back(static_cast<int>(i));
    }
  }
  tree->RankCaptions();
  tree->OrderChildren();
  return tree;
}

void TArchiveTree::AddRoots(const std::vector<std::string>& paths, const std::vector<bool>& dos) {
  bool drives = false, network = false, plain = false;
  for (std::size_t p = 0; p < paths.size(); ++p) {
    switch (DrivePartOf(paths[p], dos[p])) {
      case TDrivePart::Drive:
        drives = true;
        break;
      case TDrivePart::Network:
        network = true;
        break;
      case TDrivePart::None:
        plain = true;
        break;
    }
    FHasStoredPaths = FHasStoredPaths || !paths[p].empty();
  }
  if (drives) FDrivesRoot = AddNode(-1, QStringLiteral("Computer"), TNodeIcon::Computer, -1, 0);
  if (network) FNetworkRoot = AddNode(-1, QStringLiteral("Network"), TNodeIcon::Network, -1, 0);
  for (int root : FRoots) FNodes[static_cast<std::size_t>(root)].NotFileSystem = true;
  // Paths without a drive or share, and members without a path, live below
  // "Destination Folder", which an archive of drive paths alone lacks.
  if (plain || FRoots.empty()) {
    FPlainRoot = AddNode(-1, QString::fromLatin1(kDestinationFolder), TNodeIcon::Folder, -1, 0);
  }
}

int TArchiveTree::AddNode(int parent, QString caption, TNodeIcon icon, int pathIndex, int pathEnd) {
  const int index = static_cast<int>(FNodes.size());
  TFolderNode node;
  node.Parent = parent;
  node.Caption = std::move(caption);
  node.Icon = icon;
  node.PathIndex = pathIndex;
  node.PathEnd = pathEnd;
  FNodes.push_back(std::move(node));
  if (parent < 0) {
    FRoots.push_back(index);
  } else {
    FNodes[static_cast<std::size_t>(parent)].Children.push_back(index);
  }
  return index;
}

// Walks the components of one stored path from its root, adding the nodes
// that are missing. Nodes are found again through a map keyed by parent and
// component, so the paths may come in any order.
int TArchiveTree::InsertPath(int pathIndex, bool dos,
                             std::unordered_map<std::string, int>& children) {
  const std::string& path = FPaths[static_cast<std::size_t>(pathIndex)];
  const TDrivePart part = DrivePartOf(path, dos);
  int node = part == TDrivePart::Drive     ? FDrivesRoot
             : part == TDrivePart::Network ? FNetworkRoot
                                           : FPlainRoot;
  std::size_t pos = part == TDrivePart::Network ? 2 : 0;
  bool first = true;
  while (pos < path.size()) {
    std::size_t cut = path.find('/', pos);
    if (first && part == TDrivePart::Drive && cut != 2) cut = 2;  // "C:name/"
    const std::size_t componentEnd = cut == std::string::npos ? path.size() : cut;
    const std::size_t end = cut == std::string::npos ? path.size()
                            : path[cut] == '/'       ? cut + 1
                                                     : cut;
    const std::string_view component(path.data() + pos, componentEnd - pos);
    std::string key = std::to_string(node);
    key += '/';
    key += component;
    if (end > componentEnd) key += '/';
    auto [it, added] = children.try_emplace(std::move(key), -1);
    if (added) {
      const TNodeIcon icon = !first                        ? TNodeIcon::Folder
                             : part == TDrivePart::Drive   ? TNodeIcon::Drive
                             : part == TDrivePart::Network ? TNodeIcon::Server
                                                           : TNodeIcon::Folder;
      it->second = AddNode(node, CaptionOf(component), icon, pathIndex, static_cast<int>(end));
    }
    node = it->second;
    pos = end;
    first = false;
  }
  return node;
}

void TArchiveTree::RankCaptions() {
  std::vector<QString> captions;
  captions.reserve(FNodes.size() + FMembers.size());
  for (const auto& node : FNodes) captions.push_back(node.Caption);
  // A member's caption differs from its name only in case, which the
  // collation ignores, so the names are ranked as they are.
  for (const auto& member : FMembers) captions.push_back(QString::fromStdString(member.Filename));
  const std::vector<int> ranks = CollationRanks(captions);
  for (std::size_t i = 0; i < FNodes.size(); ++i) FNodes[i].Rank = ranks[i];
  for (std::size_t i = 0; i < FMembers.size(); ++i) FMembers[i].Rank = ranks[FNodes.size() + i];
}

void TArchiveTree::OrderChildren() {
  const auto byNodeRank = [this](int a, int b) { return Node(a).Rank < Node(b).Rank; };
  const auto byMemberRank = [this](int a, int b) { return Member(a).Rank < Member(b).Rank; };
  for (auto& node : FNodes) {
    std::sort(node.Children.begin(), node.Children.end(), byNodeRank);
    std::sort(node.Members.begin(), node.Members.end(), byMemberRank);
    for (std::size_t row = 0; row < node.Children.size(); ++row) {
      FNodes[static_cast<std::size_t>(node.Children[row])].Row = static_cast<int>(row);
    }
  }
  for (std::size_t row = 0; row < FRoots.size(); ++row) {
    FNodes[static_cast<std::size_t>(FRoots[row])].Row = static_cast<int>(row);
  }
}

std::string TArchiveTree::FolderPath(int node) const {
  const TFolderNode& n = Node(node);
  if (n.PathIndex < 0) return n.NotFileSystem ? kNotFileSystem : "";
  return FPaths[static_cast<std::size_t>(n.PathIndex)].substr(0,
                                                              static_cast<std::size_t>(n.PathEnd));
}

std::string TArchiveTree::FullName(int member) const {
  const TMemberInfo& m = Member(member);
  return FolderPath(m.Node) + m.Filename;
}

std::vector<int> TArchiveTree::PreOrder() const {
  std::vector<int> order;
  order.reserve(FNodes.size());
  std::vector<int> stack(FRoots.rbegin(), FRoots.rend());
  while (!stack.empty()) {
    const int node = stack.back();
    stack.pop_back();
    order.push_back(node);
    const auto& children = Node(node).Children;
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return order;
}

int TArchiveTree::FindCaption(const QString& caption) const {
  for (int node : PreOrder()) {
    if (Node(node).Caption == caption) return node;
  }
  return -1;
}

int TArchiveTree::FindFolder(const std::string& path) const {
  std::unordered_map<std::string, int> byPath;
  for (int node = 0; node < NodeCount(); ++node) {
    if (!Node(node).NotFileSystem) byPath.try_emplace(FolderPath(node), node);
  }
  std::string folder = path;
  while (true) {
    if (const auto it = byPath.find(folder); it != byPath.end()) return it->second;
    if (folder.empty()) return -1;
    // One level up: "a/b/" -> "a/", "C:" or "a/" -> "".
    const auto cut = folder.find_last_of('/', folder.size() >= 2 ? folder.size() - 2 : 0);
    folder =
        cut == std::string::npos || folder.size() < 2 ? std::string() : folder.substr(0, cut + 1);
  }
}

}  // namespace vz
