// TfrmOptions, the dialog of View > Options: the default compression level,
// masked passwords, the virus scanner with its parameters and switches, and
// the file viewer. PrepareOptions loads it from the settings; ApplyOptions
// writes its answers back and saves the options part of the settings.
#pragma once

#include <string>

#include "app/core/AppInfo.h"
#include "app/dialogs/DialogSupport.h"

class QCheckBox;
class QSlider;

namespace vz {

// The file dialogs of the two Browse buttons list programs (files that may
// be run) under this filter's first entry, and all files under the second.
inline constexpr char kProgramFilter[] = "Programs|*|Any File|*.*";

struct TOptionsAnswers {
  bool AutoScan = false;
  std::string AntiVirus;
  std::string AVParameters;
  int DefCompressLevel = 6;
  std::string FileViewer;
  bool PasswordChar = false;
  bool RunMinimized = false;
};

class TfrmOptions : public TVzDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpGeneral = 2130;
  static constexpr int kHelpAntiVirus = 2050;
  static constexpr int kHelpViewer = 2020;

  TfrmOptions(const TAppContext& App, IHelpService& Help, QWidget* parent = nullptr);

  // The controls from the settings; the scan switches are enabled only
  // with a scanner.
  void Prepare(const TAppInfo& Settings);
  TOptionsAnswers Answers() const;

  // Trims the three boxes; a scanner or viewer path that names no file
  // shows its page and warns, and the dialog stays open.
  void butOKClick();
  void edtAntiVirusChange();
  void edtViewerChange();
  void butBrowseAntiVirusClick();
  void butBrowseViewerClick();
  void butResetClick();
  // The topic of the page shown.
  void butHelpClick();

 private:
  QWidget* BuildGeneral();
  QWidget* BuildAntiVirus();
  QWidget* BuildViewer();
  void Browse(TPathEdit& edit, const std::string& title);
  bool CheckProgram(QWidget* page, TPathEdit& edit);

  IHelpService& FHelp;
  QWidget* tsGeneral = nullptr;
  QWidget* tsAntiVirus = nullptr;
  QWidget* tsViewer = nullptr;
  QSlider* TrackBar = nullptr;
  QCheckBox* chkPasswordChar = nullptr;
  TPathEdit* edtAntiVirus = nullptr;
  QLineEdit* edtParameters = nullptr;
  QCheckBox* chkAutoScan = nullptr;
  QCheckBox* chkRunMinimized = nullptr;
  TPathEdit* edtViewer = nullptr;
};

// Writes the answers into the settings in the dialog's order (the viewer
// through SetFileViewer) and saves the options part of them.
void ApplyOptions(const TOptionsAnswers& Answers, TAppInfo& Settings);

}  // namespace vz
