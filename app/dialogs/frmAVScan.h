// TfrmAVScan: the small borderless window that says the virus scanner is
// checking an archive. Shown without blocking while the scanner runs; the
// window widens to fit its whole message on one line.
#pragma once

#include <QWidget>

class QLabel;

namespace vz {

class TfrmAVScan : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmAVScan(QWidget* parent = nullptr);
  QLabel* pnlFileName() const { return FPanel; }
  void SetMessage(const QString& text);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FitToMessage();
  QLabel* FPanel;
};

}  // namespace vz
