// TfrmReport, the window that closes every zip, refresh and extract command:
// a table of results and a table of problem files. BuildReport is the
// command's report step that fills them from TOpInfo and the open archive.
#pragma once

#include <QLocale>

#include <optional>
#include <string>
#include <vector>

#include "app/core/CFI.h"
#include "app/core/OpInfo.h"
#include "app/dialogs/DialogSupport.h"
#include "engine/reader/UnZipEngine.h"
#include "platform/Locale.h"

class QStandardItem;
class QTableView;

namespace vz {

// Tested: every chosen member decoded without writing; one problem line
// per member that failed.
enum class TReportKind : int { Zipped = 1, Unzipped = 2, Tested = 3 };

// State pictures of the results.
inline constexpr int kStateError = 1;
inline constexpr int kStateWarning = 2;

struct TReportRow {
  std::string Item;
  std::string Result;
  int StateImage = 0;  // 0 none, kStateError, kStateWarning
};

struct TProblemRow {
  std::string Name;    // the file name, capitalised word by word
  std::string Action;  // "Yes" or "No": processed all the same?
  std::string Message;
  std::string IconPath;  // the file whose icon it shows; empty: the plain icon
};

struct TReportContent {
  std::vector<TReportRow> Results;
  std::string ActionCaption;  // "Zipped", "Unzipped" or "Passed"
  std::vector<TProblemRow> Problems;
  bool StateImages = false;  // the results show state pictures
};

// The rows of the report on the archive the engine names. When the archive
// is not found on disk, warns with the system's text and answers nullopt.
// `Records` (may be null) gives problem files the icons of their sources.
std::optional<TReportContent> BuildReport(const TAppContext& App, TReportKind Kind,
                                          const TOpInfo& OpInfo, TUnZipEngine& Engine,
                                          TCFI* Records, const TNumberFormat& Numbers,
                                          const QLocale& Locale = QLocale::system());

// "#.## :1": up to two decimals, no leading zero, with `decimal` as the
// decimal separator.
std::string FormatRatio(double ratio, const std::string& decimal);

// ---- shared with the properties window ----
// Digits grouped by threes with `separator`.
std::string Grouped(i64 value, const std::string& separator);
// A comment in UTF-8 is shown as it is; any other is taken as code page 437,
// as DOS-era tools wrote it.
std::string CommentText(const std::string& raw);
// A file time in the locale's short date and time.
std::string ModifiedText(TFileTime time, const QLocale& locale);
// A read-only table of whole rows with fixed column captions.
QTableView* MakeReportTable(const char* name, const QStringList& columns);
// A cell showing `text` (with the same text as its tooltip).
QStandardItem* ReportCell(const std::string& text);

class TfrmReport : public TVzDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 2090;

  TfrmReport(const TAppContext& App, IHelpService& Help, QWidget* parent = nullptr);

  // Fills both tables; `GridLines` as the settings have it.
  void Fill(const TReportContent& Content, bool GridLines);

 private:
  QTableView* lvResults = nullptr;
  QTableView* lvProblemFiles = nullptr;
};

}  // namespace vz
