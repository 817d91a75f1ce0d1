// TfrmProperties, the dialog of the Properties commands: a table of the
// archive's or one member's properties, and its comment, which the user may
// change. ArchiveProperties and MemberProperties fill it from the engine;
// SetChangedComment hands a changed comment back, for the command to commit.
#pragma once

#include <QLocale>

#include <optional>
#include <string>
#include <vector>

#include "app/dialogs/DialogSupport.h"
#include "engine/reader/UnZipEngine.h"
#include "platform/Locale.h"

class QPlainTextEdit;
class QTableView;

namespace vz {

struct TPropertyRow {
  std::string Property;
  std::string Value;
};

struct TPropertiesContent {
  std::vector<TPropertyRow> Rows;
  std::string Comment;  // as shown: UTF-8
  int Member = -1;      // the member's index in the engine; -1 for the archive
};

// The archive the engine names: its file's date and size, the sums of the
// members' sizes, their ratio and count, and "Disks Used" when the archive
// lies on a floppy-style drive. When the file cannot be looked at, warns
// with the system's text and answers nullopt.
std::optional<TPropertiesContent> ArchiveProperties(const TAppContext& App, TUnZipEngine& Engine,
                                                    const TNumberFormat& Numbers,
                                                    const QLocale& Locale = QLocale::system());
// The first member whose full stored name is `Name` (the first member when
// none is): date, sizes, ratio, method, the CRC as a signed number,
// encryption, and "Disk Number" on a floppy-style drive. The archive must
// have members.
TPropertiesContent MemberProperties(const TAppContext& App, TUnZipEngine& Engine,
                                    const std::string& Name, const TNumberFormat& Numbers,
                                    const QLocale& Locale = QLocale::system());

// Gives the member (`Member` >= 0) or the archive the comment `Text` when it
// differs from the one shown; true when it did. The engine then reports
// IsModified until CommitModified writes it.
bool SetChangedComment(TUnZipEngine& Engine, int Member, const std::string& Text);

class TfrmProperties : public TVzDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 2120;

  TfrmProperties(const TAppContext& App, IHelpService& Help, QWidget* parent = nullptr);

  // The table and the comment; a self-extracting archive's comment cannot
  // be changed, so its box is disabled.
  void Fill(const TPropertiesContent& Content, bool GridLines, bool IsSFX);
  // The comment box's text, as UTF-8.
  std::string Comment() const;

  // Trims the comment (blanks and line breaks at both ends) and closes with OK.
  void butOKClick();

 private:
  QTableView* lvProperties = nullptr;
  QPlainTextEdit* memComment = nullptr;
};

}  // namespace vz
