#include "app/dialogs/ShellNamespace.h"

#include <QApplication>
#include <QFileInfo>
#include <QStyle>

#include <algorithm>

namespace vz {
namespace {

std::string LastComponent(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

QIcon ThemeOr(const char* name, const QIcon& fallback) {
  const QIcon themed = QIcon::fromTheme(QString::fromLatin1(name));
  return themed.isNull() ? fallback : themed;
}

}  // namespace

QString DisplayText(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string TextBytes(const QString& text) {
  return text.toUtf8().toStdString();
}

TShellNamespace::TShellNamespace(const TPlatform& platform, TShellLocations locations)
    : FPlatform(platform), FLocations(std::move(locations)) {}

TShellItem TShellNamespace::FolderItem(const std::string& path, QString caption,
                                       TShellIconKind icon) const {
  TShellItem item;
  item.Caption = std::move(caption);
  item.Icon = icon;
  item.Data.Path = WithoutTrailingSlash(path);
  item.Data.IsFolder = true;
  // A mount point is where it is; asking a network mount that no longer
  // answers would hang the dialog.
  const bool mount = icon == TShellIconKind::RemovableDrive || icon == TShellIconKind::RemoteDrive;
  const std::string real = mount ? std::string() : FPlatform.Files.RealPath(item.Data.Path);
  item.Data.RealPath = real.empty() ? item.Data.Path : real;
  return item;
}

TShellItem TShellNamespace::RootItem(TSpecialFolders folder) const {
  const auto virtualItem = [](const char* caption, TShellIconKind icon) {
    TShellItem item;
    item.Caption = QString::fromLatin1(caption);
    item.Icon = icon;
    item.Data.Path = kNotFileSystem;
    item.Data.IsFolder = true;
    return item;
  };
  const auto namedFolder = [this](const std::string& path) {
    return path == FLocations.Home
               ? FolderItem(path, QString::fromLatin1(kHomeCaption), TShellIconKind::Home)
               : FolderItem(path, DisplayText(LastComponent(path)), TShellIconKind::Folder);
  };
  switch (folder) {
    case TSpecialFolders::sfDesktop:
      return FolderItem(FLocations.Desktop, QString::fromLatin1(kDesktopCaption),
                        TShellIconKind::Desktop);
    case TSpecialFolders::sfDrives:
      return virtualItem(kComputerCaption, TShellIconKind::Computer);
    case TSpecialFolders::sfNetwork:
    case TSpecialFolders::sfNetHood:
      return virtualItem(kNetworkCaption, TShellIconKind::Network);
    case TSpecialFolders::sfPersonal:
      return namedFolder(FLocations.Documents);
    case TSpecialFolders::sfDesktopDirectory:
      return namedFolder(FLocations.Desktop);
    case TSpecialFolders::sfTemplates:
      return namedFolder(FLocations.Templates);
    default:
      return namedFolder(FLocations.Home);
  }
}

std::vector<TShellItem> TShellNamespace::Mounts(bool remote) const {
  IDrives& drives = FPlatform.Drives;
  std::vector<TShellItem> items;
  for (const std::string& mount : drives.MountPoints()) {
    const std::string path = WithoutTrailingSlash(mount);
    if (path == "/") continue;
    const TDriveType type = drives.DriveType(mount);
    const bool removable =
        type == TDriveType::Removable || type == TDriveType::CdRom || drives.IsFloppy(mount);
    if (remote ? type != TDriveType::Remote : !removable) continue;
    const auto label = drives.VolumeLabel(mount);
    const std::string caption = label && !label->empty() ? *label : LastComponent(path);
    TShellItem item =
        FolderItem(path, DisplayText(caption),
                   remote ? TShellIconKind::RemoteDrive : TShellIconKind::RemovableDrive);
    item.Data.IsRemovable = removable;
    items.push_back(std::move(item));
  }
  std::sort(items.begin(), items.end(),
            [](const TShellItem& a, const TShellItem& b) { return a.Data.Path < b.Data.Path; });
  return items;
}

std::vector<TShellItem> TShellNamespace::VirtualChildren(const TShellItem& parent) const {
  std::vector<TShellItem> children;
  switch (parent.Icon) {
    case TShellIconKind::Desktop:
      if (FLocations.Home != parent.Data.Path) {
        children.push_back(
            FolderItem(FLocations.Home, QString::fromLatin1(kHomeCaption), TShellIconKind::Home));
      }
      for (const std::string& folder : FLocations.UserFolders) {
        children.push_back(
            FolderItem(folder, DisplayText(LastComponent(folder)), TShellIconKind::Folder));
      }
      children.push_back(RootItem(TSpecialFolders::sfDrives));
      break;
    case TShellIconKind::Computer: {
      children.push_back(
          FolderItem("/", QString::fromLatin1(kFileSystemCaption), TShellIconKind::Drive));
      auto mounts = Mounts(false);
      std::move(mounts.begin(), mounts.end(), std::back_inserter(children));
      break;
    }
    case TShellIconKind::Network:
      children = Mounts(true);
      break;
    default:
      break;
  }
  return children;
}

std::string TShellNamespace::FolderOf(const TShellItem& item) {
  const TShellItemData& data = item.Data;
  return data.IsFileSystem() && data.IsFolder && !data.IsLoop ? data.Path : std::string();
}

QIcon TShellNamespace::IconOf(const TShellItem& item) const {
  QStyle* style = QApplication::style();
  const bool link = item.Data.IsLink;
  if (item.Icon == TShellIconKind::File) {
    if (link) return style->standardIcon(QStyle::SP_FileLinkIcon);
    const QFileInfo info(DisplayText(item.Data.Path));
    const QString suffix = info.suffix().toLower();
    auto it = FFileIcons.find(suffix);
    if (it == FFileIcons.end()) {
      const QIcon icon = FIconProvider.icon(info);
      it = FFileIcons.insert(
          suffix, icon.isNull() ? FIconProvider.icon(QAbstractFileIconProvider::File) : icon);
    }
    return *it;
  }
  const int key = static_cast<int>(item.Icon) * 2 + (link ? 1 : 0);
  if (const auto it = FKindIcons.find(key); it != FKindIcons.end()) return *it;
  QIcon icon;
  using P = QAbstractFileIconProvider;
  switch (item.Icon) {
    case TShellIconKind::Desktop:
      icon = FIconProvider.icon(P::Desktop);
      break;
    case TShellIconKind::Home:
      icon = ThemeOr("user-home", style->standardIcon(QStyle::SP_DirHomeIcon));
      break;
    case TShellIconKind::Computer:
      icon = FIconProvider.icon(P::Computer);
      break;
    case TShellIconKind::Network:
      icon = FIconProvider.icon(P::Network);
      break;
    case TShellIconKind::Drive:
      icon = FIconProvider.icon(P::Drive);
      break;
    case TShellIconKind::RemovableDrive:
      icon = ThemeOr("drive-removable-media", style->standardIcon(QStyle::SP_DriveFDIcon));
      break;
    case TShellIconKind::RemoteDrive:
      icon = ThemeOr("folder-remote", style->standardIcon(QStyle::SP_DriveNetIcon));
      break;
    default:
      if (link) {
        icon = style->standardIcon(QStyle::SP_DirLinkIcon);
      } else {
        icon = FIconProvider.icon(P::Folder);
        const QIcon open = style->standardIcon(QStyle::SP_DirOpenIcon);
        for (const QSize& size : open.availableSizes()) {
          icon.addPixmap(open.pixmap(size), QIcon::Selected);
          icon.addPixmap(open.pixmap(size), QIcon::Normal, QIcon::On);
        }
      }
      break;
  }
  FKindIcons.insert(key, icon);
  return icon;
}

}  // namespace vz
