#include "app/Icons.h"

#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QPainter>

// The fallback set lives in a static library, whose resources register only
// when asked to.
static void RegisterIconResources() {
  Q_INIT_RESOURCE(icons);
}

namespace vz {

QIcon ThemeIcon(const QString& name) {
  static const bool registered = (RegisterIconResources(), true);
  (void)registered;
  static QHash<QString, QIcon> cache;
  auto it = cache.find(name);
  if (it != cache.end()) return *it;
  QIcon icon;
  if (QIcon::hasThemeIcon(name)) {
    icon = QIcon::fromTheme(name);
  } else {
    for (const char* size : {"16", "32"}) {
      const QString file = QStringLiteral(":/icons/%1/%2.png").arg(QLatin1String(size), name);
      if (QFileInfo::exists(file)) icon.addFile(file);
    }
  }
  return *cache.insert(name, icon);
}

QIcon AppIcon() {
  static const QIcon icon = [] {
    RegisterIconResources();
    QIcon result;
    for (int size : {16, 22, 24, 32, 48, 512}) {
      result.addFile(QStringLiteral(":/icons/app/%1.png").arg(size));
    }
    return result;
  }();
  return icon;
}

QIcon NodeIcon(TNodeIcon icon, bool open) {
  switch (icon) {
    case TNodeIcon::Computer:
      return ThemeIcon(QStringLiteral("computer"));
    case TNodeIcon::Network:
      return ThemeIcon(QStringLiteral("network-workgroup"));
    case TNodeIcon::Drive:
      return ThemeIcon(QStringLiteral("drive-harddisk"));
    case TNodeIcon::Server:
      return ThemeIcon(QStringLiteral("network-server"));
    case TNodeIcon::Folder:
      break;
  }
  return ThemeIcon(open ? QStringLiteral("folder-open") : QStringLiteral("folder"));
}

QIcon MimeIcon(const QMimeType& type) {
  for (const QString& name : {type.iconName(), type.genericIconName()}) {
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
  }
  return ThemeIcon(type.name() == QLatin1String("application/x-executable")
                       ? QStringLiteral("application-x-executable")
                       : QStringLiteral("text-x-generic"));
}

QIcon FileTypeIcon(const QString& fileName) {
  static QHash<QString, QIcon> bySuffix;
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  auto it = bySuffix.find(suffix);
  if (it != bySuffix.end()) return *it;
  static const QMimeDatabase mimeTypes;
  return *bySuffix.insert(
      suffix, MimeIcon(mimeTypes.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension)));
}

QIcon LockedIcon(const QIcon& base) {
  static QHash<qint64, QIcon> cache;
  auto it = cache.find(base.cacheKey());
  if (it != cache.end()) return *it;
  QIcon locked;
  const QIcon lock = ThemeIcon(QStringLiteral("dialog-password"));
  for (int size : {16, 32}) {
    QPixmap pixmap = base.pixmap(size, size);
    QPainter painter(&pixmap);
    const int badge = size / 2 + 2;
    painter.drawPixmap(0, size - badge, lock.pixmap(badge, badge));
    painter.end();
    locked.addPixmap(pixmap);
  }
  return *cache.insert(base.cacheKey(), locked);
}

}  // namespace vz
