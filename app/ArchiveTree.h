// TArchiveTree: what the window shows of an archive, taken from the engine's
// catalogue in one pass on the thread that read it. The folder tree of the
// stored paths, each member's fields, and the collation order of every
// caption, so the views never touch the engine (which may be busy on another
// thread) and never sort on the user-interface thread.
//
// Nodes and members live in flat vectors linked by index: no operation
// recurses on the depth of a stored path, and a folder's path is kept as a
// prefix of one stored path rather than a string of its own, so a name with
// thousands of levels costs memory in proportion to its length.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/dialogs/ShellItem.h"
#include "platform/Types.h"

namespace vz {

class TUnZipEngine;

// kNotFileSystem (ShellItem.h) is the "path" of a shell root that is not a
// folder of the file system, as in the dialogs' folder trees.
inline constexpr char kDestinationFolder[] = "Destination Folder";

enum class TNodeIcon : u8 { Folder, Computer, Network, Drive, Server };

// One member as the engine holds it, the input of Build.
struct TMemberSource {
  std::string Directory;  // empty or ends in "/" (a bare drive "C:" may lack it)
  std::string Filename;
  double Modified = 0;  // days since 1899-12-30, local time (the engine's TDateTime)
  u64 CompressedSize = 0;
  u64 UncompressedSize = 0;
  bool Encrypted = false;
  // Made on DOS, OS/2 or Windows: only there do "C:" and "//server/share"
  // stand for a drive and a network share.
  bool DosHost = true;
  int DiskNo = 1;  // 1-based
};

struct TMemberInfo {
  std::string Filename;
  double Modified = 0;
  u64 CompressedSize = 0;
  u64 UncompressedSize = 0;
  int Node = -1;  // the folder node of its stored path
  int Rank = 0;   // place of its caption in the collation order
  bool Encrypted = false;
  int DiskNo = 1;
};

struct TFolderNode {
  int Parent = -1;
  int Row = 0;                // place among its parent's children (or among the roots)
  std::vector<int> Children;  // in caption order
  std::vector<int> Members;   // members stored with exactly this path, in caption order
  QString Caption;
  TNodeIcon Icon = TNodeIcon::Folder;
  int Rank = 0;
  // The folder path: the first PathEnd bytes of stored path PathIndex; a
  // root has PathIndex -1 and the path "" or "NotFileSystem".
  int PathIndex = -1;
  int PathEnd = 0;
  bool NotFileSystem = false;
};

class TArchiveTree {
 public:
  // The snapshot of the engine's current catalogue, in its view order.
  static std::shared_ptr<const TArchiveTree> FromEngine(const TUnZipEngine& engine);
  static std::shared_ptr<const TArchiveTree> Build(std::vector<TMemberSource> members);

  const std::vector<int>& Roots() const { return FRoots; }
  const TFolderNode& Node(int index) const { return FNodes[static_cast<std::size_t>(index)]; }
  int NodeCount() const { return static_cast<int>(FNodes.size()); }
  const TMemberInfo& Member(int index) const { return FMembers[static_cast<std::size_t>(index)]; }
  int MemberCount() const { return static_cast<int>(FMembers.size()); }

  std::string FolderPath(int node) const;
  // The member's stored path and file name, as the engine names it.
  std::string FullName(int member) const;
  // True when any member's disk number is above 1.
  bool IsMultiDisk() const { return FMultiDisk; }
  // Whether any member has a stored path (not only the root).
  bool HasStoredPaths() const { return FHasStoredPaths; }
  // Nodes in tree order (each node before its children), without recursion.
  std::vector<int> PreOrder() const;
  // The first node in tree order captioned exactly `caption`, or -1.
  int FindCaption(const QString& caption) const;
  // The node of folder path `path` (as FolderPath gives it), or else of its
  // nearest folder above that is in the tree; -1 when none is.
  int FindFolder(const std::string& path) const;

 private:
  void AddRoots(const std::vector<std::string>& paths, const std::vector<bool>& dos);
  int AddNode(int parent, QString caption, TNodeIcon icon, int pathIndex, int pathEnd);
  // `children`: (parent, component) -> node, shared by the paths of one build.
  int InsertPath(int pathIndex, bool dos, std::unordered_map<std::string, int>& children);
  void RankCaptions();
  void OrderChildren();

  std::vector<std::string> FPaths;  // distinct stored paths
  std::vector<TFolderNode> FNodes;
  std::vector<TMemberInfo> FMembers;
  std::vector<int> FRoots;
  int FDrivesRoot = -1;
  int FNetworkRoot = -1;
  int FPlainRoot = -1;  // "Destination Folder"
  bool FMultiDisk = false;
  bool FHasStoredPaths = false;
};

// Where a stored path made on DOS or Windows names its drive or share.
enum class TDrivePart : u8 { None, Drive, Network };
TDrivePart DrivePartOf(std::string_view path, bool dosHost);

// Ranks for `captions` in the order the file list sorts them: by the user's
// locale, ignoring case, the original order breaking ties.
std::vector<int> CollationRanks(const std::vector<QString>& captions);

}  // namespace vz
