// The two disk prompts: a picture of the drive, one line of text, OK and
// Cancel. The caller sets caption, text and picture and reads the result;
// closing the window counts as Cancel.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace vz {

class TDiskPrompt : public QDialog {
  Q_OBJECT
 public:
  // Paints `icon` large on the picture, over the button-face colour.
  void SetDriveIcon(const QIcon& icon);
  QLabel* Picture() const { return FPicture; }
  QLabel* Label() const { return FLabel; }
  QPushButton* OKButton() const { return FOK; }
  QPushButton* CancelButton() const { return FCancel; }

 protected:
  // `pictureName`, `labelName`: the controls' names; `labelWidth` in pixels.
  TDiskPrompt(QWidget* parent, const QString& formName, const QString& pictureName,
              const QString& labelName, int labelWidth);
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* FPicture;
  QLabel* FLabel;
  QPushButton* FOK;
  QPushButton* FCancel;
};

// The next disk of a spanned archive; the caller sets lblGetNextDisk.
class TfrmGetNextDisk : public TDiskPrompt {
  Q_OBJECT
 public:
  explicit TfrmGetNextDisk(QWidget* parent = nullptr);
};

// The last disk of a set, asked for when an archive is opened from another.
class TfrmGetLastDisk : public TDiskPrompt {
  Q_OBJECT
 public:
  explicit TfrmGetLastDisk(QWidget* parent = nullptr);
};

}  // namespace vz
