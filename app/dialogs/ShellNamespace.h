// The shell namespace of a Linux desktop, as the folder tree shows it: the
// desktop holds Home, the XDG user folders and "Computer"; "Computer" holds
// the file-system root and the mounted removable media; "Network" the
// mounted remote file systems. "Computer" and "Network" are no folders of
// their own and carry the NotFileSystem path.
#pragma once

#include <QFileIconProvider>
#include <QHash>
#include <QIcon>

#include <string>
#include <vector>

#include "app/dialogs/ShellItem.h"
#include "app/dialogs/ShellLocations.h"
#include "platform/Platform.h"

namespace vz {

inline constexpr char kDesktopCaption[] = "Desktop";
inline constexpr char kHomeCaption[] = "Home";
inline constexpr char kComputerCaption[] = "Computer";
inline constexpr char kNetworkCaption[] = "Network";
inline constexpr char kFileSystemCaption[] = "File System";

class TShellNamespace {
 public:
  TShellNamespace(const TPlatform& platform, TShellLocations locations);

  IFileSystem& Files() const { return FPlatform.Files; }
  const TShellLocations& Locations() const { return FLocations; }

  // The item a tree rooted at `folder` starts from.
  TShellItem RootItem(TSpecialFolders folder) const;
  // The children that are not entries of a folder on disk: what the
  // desktop, "Computer" and "Network" hold. Read afresh on every call.
  std::vector<TShellItem> VirtualChildren(const TShellItem& parent) const;
  // The folder whose entries are the item's children; empty for an item
  // that has none to read (a file, "Computer", a link into a loop).
  static std::string FolderOf(const TShellItem& item);

  // The item's small icon from the icon provider (the open-folder form for
  // the selected or expanded state); the link form for links.
  QIcon IconOf(const TShellItem& item) const;

 private:
  TShellItem FolderItem(const std::string& path, QString caption, TShellIconKind icon) const;
  std::vector<TShellItem> Mounts(bool remote) const;

  const TPlatform& FPlatform;
  TShellLocations FLocations;
  QFileIconProvider FIconProvider;
  mutable QHash<QString, QIcon> FFileIcons;  // by lower-cased extension
  mutable QHash<int, QIcon> FKindIcons;
};

}  // namespace vz
