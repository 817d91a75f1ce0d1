// The main window's placement as the settings keep it. Where the display
// server lets a program place its window (X11), the position is read and
// restored; under Wayland it can be neither, so only size and maximized
// state are restored and the stored position is kept as it was.
#pragma once

#include "app/core/AppInfo.h"

class QWidget;

namespace vz {

class TWindowGeometry : public IFormGeometry {
 public:
  // `stored`: the placement the settings hold now.
  TWindowGeometry(QWidget& window, const TFormPlacement& stored)
      : FWindow(window), FStored(stored) {}
  // False under Wayland.
  static bool CanPlaceWindows();

  TWindowState WindowState() const override;
  TFormBounds Bounds() const override;
  void SetBounds(const TFormBounds& bounds) override;
  void SetWindowState(TWindowState state) override;

 private:
  QWidget& FWindow;
  TFormPlacement FStored;
};

}  // namespace vz
