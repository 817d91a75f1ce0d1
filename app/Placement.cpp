#include "app/Placement.h"

#include <QGuiApplication>
#include <QWidget>

namespace vz {

bool TWindowGeometry::CanPlaceWindows() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

TWindowState TWindowGeometry::WindowState() const {
  if (FWindow.isMinimized()) return TWindowState::wsMinimized;
  if (FWindow.isMaximized()) return TWindowState::wsMaximized;
  return TWindowState::wsNormal;
}

TFormBounds TWindowGeometry::Bounds() const {
  const QRect normal = FWindow.isMaximized() || FWindow.isMinimized() ? FWindow.normalGeometry()
                                                                      : FWindow.geometry();
  TFormBounds bounds{FStored.Bounds.Left, FStored.Bounds.Top, normal.width(), normal.height()};
  if (CanPlaceWindows()) {
    const QPoint frame =
        FWindow.isMaximized() || FWindow.isMinimized() ? normal.topLeft() : FWindow.pos();
    bounds.Left = frame.x();
    bounds.Top = frame.y();
  }
  return bounds;
}

void TWindowGeometry::SetBounds(const TFormBounds& bounds) {
  if (CanPlaceWindows()) FWindow.move(bounds.Left, bounds.Top);
  FWindow.resize(bounds.Width, bounds.Height);
}

void TWindowGeometry::SetWindowState(TWindowState state) {
  Qt::WindowStates states = FWindow.windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
  if (state == TWindowState::wsMaximized) states |= Qt::WindowMaximized;
  FWindow.setWindowState(states);
}

}  // namespace vz
