#include "app/RecentFiles.h"

#include <QDateTime>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QMimeDatabase>
#include <QSaveFile>
#include <QUrl>

namespace vz {
namespace {

constexpr char kBookmarkNs[] = "http://www.freedesktop.org/standards/desktop-bookmarks";
constexpr char kMimeNs[] = "http://www.freedesktop.org/standards/shared-mime-info";
constexpr char kAppName[] = "Varnel Zip";

QDomDocument EmptyBookmarks() {
  QDomDocument document;
  document.appendChild(document.createProcessingInstruction(
      QStringLiteral("xml"), QStringLiteral("version=\"1.0\" encoding=\"UTF-8\"")));
  QDomElement root = document.createElement(QStringLiteral("xbel"));
  root.setAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
  root.setAttribute(QStringLiteral("xmlns:bookmark"), QLatin1String(kBookmarkNs));
  root.setAttribute(QStringLiteral("xmlns:mime"), QLatin1String(kMimeNs));
  document.appendChild(root);
  return document;
}

QDomElement FindBookmark(const QDomElement& root, const QString& href) {
  for (QDomElement b = root.firstChildElement(QStringLiteral("bookmark")); !b.isNull();
       b = b.nextSiblingElement(QStringLiteral("bookmark"))) {
    if (b.attribute(QStringLiteral("href")) == href) return b;
  }
  return {};
}

QDomElement Child(QDomDocument& document, QDomElement parent, const QString& name) {
  QDomElement child = parent.firstChildElement(name);
  if (child.isNull()) child = parent.appendChild(document.createElement(name)).toElement();
  return child;
}

void UpdateApplication(QDomDocument& document, QDomElement bookmark, const QString& stamp) {
  QDomElement metadata = Child(document, Child(document, bookmark, QStringLiteral("info")),
                               QStringLiteral("metadata"));
  metadata.setAttribute(QStringLiteral("owner"), QStringLiteral("http://freedesktop.org"));
  QDomElement mime = Child(document, metadata, QStringLiteral("mime:mime-type"));
  if (!mime.hasAttribute(QStringLiteral("type"))) {
    const QString path = QUrl(bookmark.attribute(QStringLiteral("href"))).toLocalFile();
    mime.setAttribute(QStringLiteral("type"), QMimeDatabase().mimeTypeForFile(path).name());
  }
  QDomElement apps = Child(document, metadata, QStringLiteral("bookmark:applications"));
  QDomElement app;
  for (QDomElement a = apps.firstChildElement(QStringLiteral("bookmark:application")); !a.isNull();
       a = a.nextSiblingElement(QStringLiteral("bookmark:application"))) {
    if (a.attribute(QStringLiteral("name")) == QLatin1String(kAppName)) app = a;
  }
  if (app.isNull()) {
    app = apps.appendChild(document.createElement(QStringLiteral("bookmark:application")))
              .toElement();
    app.setAttribute(QStringLiteral("name"), QLatin1String(kAppName));
    app.setAttribute(QStringLiteral("exec"), QStringLiteral("'varnel-zip %f'"));
  }
  app.setAttribute(QStringLiteral("modified"), stamp);
  app.setAttribute(QStringLiteral("count"), app.attribute(QStringLiteral("count")).toInt() + 1);
}

}  // namespace

bool AddToRecentFiles(const TPlatform& platform, const std::string& path) {
  const QString folder = QString::fromStdString(platform.Environment.UserDataFolder());
  if (folder.isEmpty()) return false;
  const QString fileName = folder + QStringLiteral("recently-used.xbel");
  QDomDocument document;
  QFile existing(fileName);
  if (existing.exists()) {
    if (!existing.open(QIODevice::ReadOnly) || !document.setContent(&existing)) return false;
    existing.close();
  } else {
    document = EmptyBookmarks();
  }
  QDomElement root = document.documentElement();
  if (root.tagName() != QLatin1String("xbel")) return false;

  const QString href =
      QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded);
  const QString stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
  QDomElement bookmark = FindBookmark(root, href);
  if (bookmark.isNull()) {
    bookmark = root.appendChild(document.createElement(QStringLiteral("bookmark"))).toElement();
    bookmark.setAttribute(QStringLiteral("href"), href);
    bookmark.setAttribute(QStringLiteral("added"), stamp);
  }
  bookmark.setAttribute(QStringLiteral("modified"), stamp);
  bookmark.setAttribute(QStringLiteral("visited"), stamp);
  UpdateApplication(document, bookmark, stamp);

  QDir().mkpath(folder);
  QSaveFile out(fileName);
  if (!out.open(QIODevice::WriteOnly)) return false;
  out.write(document.toByteArray(2));
  return out.commit();
}

}  // namespace vz
