// The program-wide state of the stub, one instance alive from start to exit,
// and the state of its three dialogs. A dialog's state is named after the
// identifier of the control that holds it (Edit101, Check401, List301, ...),
// so the rules about a control live in one place whatever front end shows it.
#pragma once

#include <array>

#include "sfx/Console.h"
#include "sfx/Names.h"
#include "sfx/SfxTypes.h"

namespace sfx {

// The fixed part of a local header, field by field as stored.
struct TLocalHeader {
  static constexpr std::size_t kBytes = 30;
  static constexpr u32 kSignature = 0x04034B50;
  static constexpr u16 kFlagEncrypted = 1;
  static constexpr u16 kFlagDataDescriptor = 8;
  static constexpr u16 kFlagUtf8 = 0x800;

  u32 Signature = 0;
  u16 VersionNeeded = 0;
  u16 Flags = 0;
  u16 Method = 0;
  u16 Time = 0;
  u16 Date = 0;
  u32 Crc = 0;
  u64 CompressedSize = 0;  // from the Zip64 field where saturated
  u64 UncompressedSize = 0;
  u16 NameLength = 0;
  u16 ExtraLength = 0;
  bool Zip64 = false;  // a Zip64 field: a data descriptor has 8-byte sizes

  void Parse(const std::array<u8, kBytes>& bytes);
  // The signature, or the other value that the walk has always taken.
  bool Valid() const { return Signature == kSignature || Signature == 0x50000000; }
};

// The main dialog's member list: kept sorted without regard to letter case,
// several items selected at once. The selection is also the result: what
// stays selected after an extraction is what failed. Each item knows the
// member it shows by the member's place in the walk, so that members whose
// names differ only in case, or are equal, each find their own item.
class TListBox {
 public:
  void Clear();
  // `member`: the member's place in the walk, 0 for the first.
  void Add(std::string_view text, u32 member);
  std::size_t Count() const { return FItems.Count(); }
  std::string_view Text(std::size_t index) const;
  bool Selected(std::size_t index) const { return FItems[index].Selected; }
  void SetSelected(std::size_t index, bool selected) { FItems[index].Selected = selected; }
  void SelectAll(bool selected);
  std::size_t SelectedCount() const;
  // The item of the member at `member` in the walk; -1 when it has none.
  i64 FindMember(u32 member) const;

 private:
  struct TItem {
    std::size_t TextOffset;
    std::size_t TextLength;
    u32 Member;
    bool Selected;
  };
  TGrowable<TItem> FItems;
  TGrowable<char> FTexts;
  mutable TGrowable<i64> FItemOfMember;  // built at the first search after a change
};

enum class TExistingFileMode : u8 { Overwrite = 0, Skip = 1, Ask = 2 };

enum class TDialogResult : u8 { None = 0, Ok = 1, Cancel = 2, OverwriteAll = 11, SkipAll = 12 };

struct TMainDialog {
  TPathText Edit101;                    // destination folder
  bool Check401 = true;                 // use the zipfile's path information
  bool Check401Enabled = true;          // off once a listing found no folders
  TListBox List301;                     // the members; selected = wanted, later = failed
  bool Radio121 = true;                 // Select All
  bool Radio122 = false;                // Unselect All
  bool Radio501 = false;                // Overwrite (don't ask)
  bool Radio502 = false;                // Skip (don't extract)
  bool Radio503 = true;                 // Confirm before overwriting
  TFixedText<kPathBytes + 64> Edit601;  // the status line
  TDialogResult Result = TDialogResult::None;
};

struct TFileExistDialog {
  TFixedText<kPathBytes + 32> Edit101;  // PromptFileName + " already exists!"
  bool Check401 = false;                // Don't ask again
};

struct TPwdDialog {
  TFixedText<256> Edit101;           // the password as typed
  TFixedText<kPathBytes> Static102;  // the stub's own file name
};

// Per password dialog: at most 24 characters and the terminating zero.
inline constexpr std::size_t kPasswordBufferBytes = 25;

struct TStub {
  TConsole Console;
  TPathText OwnPath;
  std::string_view Caption;  // the own file name without folder (in OwnPath)

  int ArchiveFile = -1;
  u64 ArchiveOffset = 0;
  u64 HeaderPos = 0;
  TLocalHeader LocalHeader;
  TPathText Destination;
  std::array<char, kPasswordBufferBytes> PasswordBuffer{};
  std::size_t PasswordLength = 0;
  TFixedText<kPasswordBufferBytes> Password;
  TExistingFileMode ExistingFileMode = TExistingFileMode::Ask;
  bool OverwriteAnswer = false;
  TPathText PromptFileName;
  i64 LastListIndex = -1;
  bool PathsPresent = false;
  bool MemberOk = false;
  TMainDialog* MainDialogHandle = nullptr;

  // How the run ends, for the exit status: the success line was shown, or
  // an error ended the program at once.
  bool Succeeded = false;
  bool EndProgram = false;
};

// A message box: the own file name as caption, the text, OK.
void ShowError(const TStub& stub, std::initializer_list<std::string_view> text);

// The main dialog's status line (601).
void SetStatus(TStub& stub, std::initializer_list<std::string_view> text);

}  // namespace sfx
