// What the dialogs share: a fixed-border dialog centred on the screen with
// its help wired, message boxes that first show the page they concern,
// the focus adapter for the core's helpers, an edit that keeps a path's
// bytes, the tooltip for text wider than its box, and the toggle that lets a
// folder tree take its whole page.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPointer>

#include <string>
#include <string_view>

#include "app/core/Helpers.h"
#include "app/dialogs/HelpService.h"

class QBoxLayout;
class QComboBox;
class QFormLayout;
class QPushButton;
class QSlider;
class QStackedLayout;
class QTabWidget;

namespace vz {

// A widget named `name`, made with `args` (the parent last, as Qt has it).
template <typename TWidget, typename... TArgs>
TWidget* Named(const char* name, TArgs&&... args) {
  auto* widget = new TWidget(std::forward<TArgs>(args)...);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// Blanks and control characters (everything up to " ") off both ends.
std::string Trim(std::string_view text);
QString Trim(const QString& text);

class TWidgetFocus : public IFocusControl {
 public:
  explicit TWidgetFocus(QWidget* widget) : FWidget(widget) {}
  void SetFocus() override;

 private:
  QPointer<QWidget> FWidget;
};

// An edit holding a folder path. A path set from the file system keeps its
// own bytes while the box shows their display form, so a name that is not
// valid UTF-8 survives the trip through the box; typed text is taken as
// UTF-8.
class TPathEdit : public QLineEdit {
 public:
  explicit TPathEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}
  void SetPath(const std::string& path);
  std::string Path() const;

 private:
  std::string FBytes;
  QString FShown;
};

// The edit's tooltip becomes `text` when it is wider than the box less 5
// pixels, and is cleared otherwise.
void UpdateLongTextHint(QLineEdit& edit, const QString& text);

// Lets `target` fill its whole page and go back to its place. The page
// shows `content` (which holds `place`, the target's normal spot) or, while
// filled, the target alone.
class TPageFill {
 public:
  TPageFill(QWidget* page, QWidget* content, QWidget* place, QWidget* target);
  void Toggle();
  bool Filled() const;

 private:
  QStackedLayout* FStack;
  QWidget* FFull;
  QWidget* FPlace;
  QWidget* FTarget;
};

// A widget that holds `target` alone, without margins: the place a
// TPageFill target returns to.
QWidget* PlaceFor(QWidget* target);

class TVzDialog : public QDialog {
  Q_OBJECT

 public:
  TVzDialog(const TAppContext& App, IHelpService& Help, int HelpContext, const QString& Caption,
            QWidget* parent);

  const TAppContext& App() const { return FApp; }
  int HelpContext() const { return FHelpContext; }
  void butHelpClick() { FHelp.ShowTopic(FHelpContext); }

 protected:
  // The page control, buttons on its right (the first the default one, then
  // butCancel closing with Cancel unless `withCancel` is false, butHelp
  // opening the topic), help wired; call once every control is made.
  void Arrange(QTabWidget* pages, QPushButton* defaultButton, bool withCancel = true);
  QPushButton* MakeButton(const char* name, const QString& caption);
  // Shows `page`, then the warning; the focus goes to `focus`.
  void Warn(QWidget* page, const std::string& message, QWidget* focus);
  // Runs once, when the dialog is first shown.
  virtual void FormShow() {}
  void showEvent(QShowEvent* event) override;

  QTabWidget* FPages = nullptr;
  QPushButton* FCancel = nullptr;
  QPushButton* FHelpButton = nullptr;

 private:
  const TAppContext& FApp;
  IHelpService& FHelp;
  int FHelpContext;
  bool FShown = false;
};

// The compression level's track bar, TrackBar (1 to 9, ticks on both
// sides, at 6), with its two end captions below it, added to `layout`.
QSlider* AddLevelTrackBar(QBoxLayout& layout, const QString& rightCaption);

// Masks the password boxes with "*" for each character.
void MaskPasswords(QLineEdit& first, QLineEdit& second);

// The encryption selector of the password pages, "cbEncryption": the
// traditional cipher, AES-128 and AES-256 (in TZipEncryption's order), with
// the note below it that Windows Explorer opens only the first. Added to
// `form` as a row, the note as the row after it.
QComboBox* AddEncryptionSelector(QFormLayout& form, int current);
// Trims both boxes in place; true when they then hold the same text.
bool TrimmedPasswordsMatch(QLineEdit& password, QLineEdit& confirmation);
// Empties both boxes and gives the first the focus.
void ResetPasswords(QLineEdit& password, QLineEdit& confirmation);

}  // namespace vz
