// One item of the shell namespace as the folder tree and its list show it:
// a folder or file on disk, or one of the places that are no folder of their
// own ("Computer", "Network"). A name is kept as the bytes the file system
// gave; the caption is only its display form, so a name that is not valid
// UTF-8 shows replacement characters and is still opened by its own bytes.
#pragma once

#include <QString>

#include <functional>
#include <string>

#include "platform/Types.h"

namespace vz {

// The Path of an item that is not part of the file system.
inline constexpr char kNotFileSystem[] = "NotFileSystem";

// The places a folder tree can start from, numbered as the shell numbers
// its special folders. On Linux each maps to the nearest XDG user folder,
// the home folder, "Computer" or "Network".
enum class TSpecialFolders : int {
  sfDesktop = 0,
  sfPrograms = 2,
  sfControls = 3,
  sfPrinters = 4,
  sfPersonal = 5,
  sfFavorites = 6,
  sfStartup = 7,
  sfRecent = 8,
  sfSendTo = 9,
  sfBitBucket = 10,
  sfStartMenu = 11,
  sfDesktopDirectory = 16,
  sfDrives = 17,
  sfNetwork = 18,
  sfNetHood = 19,
  sfFonts = 20,
  sfTemplates = 21,
};

// Which picture an item gets from the icon provider.
enum class TShellIconKind : u8 {
  File = 0,
  Folder = 1,
  Desktop = 2,
  Home = 3,
  Computer = 4,
  Network = 5,
  Drive = 6,
  RemovableDrive = 7,
  RemoteDrive = 8,
};

struct TShellItemData {
  // Full path (bytes) of a file-system item, else kNotFileSystem.
  std::string Path;
  // Where a folder really is, links resolved; tells a link that leads back
  // to one of its ancestors.
  std::string RealPath;
  bool Populated = false;
  bool IsFolder = false;
  bool IsRemovable = false;
  bool IsLink = false;
  // A linked folder that leads back to itself or an ancestor: shown, never
  // entered.
  bool IsLoop = false;
  bool IsHidden = false;

  bool IsFileSystem() const { return Path != kNotFileSystem; }
};

struct TShellItem {
  QString Caption;
  TShellItemData Data;
  TShellIconKind Icon = TShellIconKind::File;
};

// "Less than" for sorting items; it may run on the folder reader's thread.
using TShellItemLess = std::function<bool(const TShellItem&, const TShellItem&)>;

// Extra item-data roles of the tree and list models.
namespace ShellRole {
inline constexpr int Path = Qt::UserRole + 1;      // QByteArray, the item's Path bytes
inline constexpr int IsFolder = Qt::UserRole + 2;  // bool
}  // namespace ShellRole

// The display form of file-system bytes: invalid UTF-8 becomes U+FFFD.
QString DisplayText(std::string_view bytes);
// Text typed by the user, as the UTF-8 bytes every path is kept in.
std::string TextBytes(const QString& text);

}  // namespace vz
