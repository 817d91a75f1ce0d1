// TfrmAbout, the About box: the program's icon, title, notice and version.
#pragma once

#include <QDialog>
#include <QIcon>

namespace vz {

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  TfrmAbout(const QIcon& Icon, const QString& Title, const QString& Notice, const QString& Version,
            QWidget* parent = nullptr);
};

}  // namespace vz
