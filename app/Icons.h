// The window's pictures: the current icon theme's where it has the
// freedesktop name, else the fallback set bundled as resources (the
// offscreen and minimal platforms have no theme at all).
#pragma once

#include <QIcon>
#include <QMimeType>
#include <QString>

#include "app/ArchiveTree.h"

namespace vz {

QIcon ThemeIcon(const QString& name);
// The program's own icon.
QIcon AppIcon();
QIcon NodeIcon(TNodeIcon icon, bool open);
// By the type the name's extension suggests; one icon per extension.
QIcon FileTypeIcon(const QString& fileName);
QIcon MimeIcon(const QMimeType& type);
// `base` with the lock picture over its lower left corner: the state image
// of an encrypted member.
QIcon LockedIcon(const QIcon& base);

}  // namespace vz
