// The list box, the local-header record and the two outputs every part of
// the stub uses: message boxes and the status line.
#include "sfx/StubState.h"

#include <unistd.h>

namespace sfx {
namespace {

char FoldCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    const u8 x = static_cast<u8>(FoldCase(a[i]));
    const u8 y = static_cast<u8>(FoldCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

void OutOfMemory() {
  static constexpr char kText[] = "Out of memory.\n";
  (void)!::write(STDERR_FILENO, kText, sizeof kText - 1);
  std::_Exit(1);
}

void TLocalHeader::Parse(const std::array<u8, kBytes>& bytes) {
  const u8* p = bytes.data();
  Signature = GetLE32(p);
  VersionNeeded = GetLE16(p + 4);
  Flags = GetLE16(p + 6);
  Method = GetLE16(p + 8);
  Time = GetLE16(p + 10);
  Date = GetLE16(p + 12);
  Crc = GetLE32(p + 14);
  CompressedSize = GetLE32(p + 18);
  UncompressedSize = GetLE32(p + 22);
  NameLength = GetLE16(p + 26);
  ExtraLength = GetLE16(p + 28);
  Zip64 = false;
}

void TListBox::Clear() {
  FItems.Clear();
  FTexts.Clear();
  FItemOfMember.Clear();
}

void TListBox::Add(std::string_view text, u32 member) {
  FItemOfMember.Clear();
  const TItem item{FTexts.Count(), text.size(), member, false};
  for (const char c : text) FTexts.Push(c);
  // After every item that sorts equal or lower, so equal names keep the
  // order in which the walk met them.
  std::size_t low = 0;
  std::size_t high = FItems.Count();
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (CompareNoCase(Text(mid), text) <= 0) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  FItems.Insert(low, item);
}

std::string_view TListBox::Text(std::size_t index) const {
  const TItem& item = FItems[index];
  return {FTexts.Count() == 0 ? "" : &FTexts[item.TextOffset], item.TextLength};
}

void TListBox::SelectAll(bool selected) {
  for (std::size_t i = 0; i < FItems.Count(); ++i) FItems[i].Selected = selected;
}

std::size_t TListBox::SelectedCount() const {
  std::size_t count = 0;
  for (std::size_t i = 0; i < FItems.Count(); ++i) count += FItems[i].Selected ? 1u : 0u;
  return count;
}

i64 TListBox::FindMember(u32 member) const {
  const std::size_t count = FItems.Count();
  if (FItemOfMember.Count() != count) {
    FItemOfMember.Clear();
    for (std::size_t i = 0; i < count; ++i) FItemOfMember.Push(-1);
    for (std::size_t i = 0; i < count; ++i) {
      if (FItems[i].Member < count) FItemOfMember[FItems[i].Member] = static_cast<i64>(i);
    }
  }
  return member < count ? FItemOfMember[member] : -1;
}

void ShowError(const TStub& stub, std::initializer_list<std::string_view> text) {
  stub.Console.Err({stub.Caption, ": "});
  stub.Console.Err(text);
  stub.Console.Err({"\n"});
}

void SetStatus(TStub& stub, std::initializer_list<std::string_view> text) {
  TMainDialog& dialog = *stub.MainDialogHandle;
  dialog.Edit601.Clear();
  for (const std::string_view part : text) {
    if (!dialog.Edit601.Append(part)) break;
  }
  stub.Console.Out({dialog.Edit601.View(), "\n"});
}

}  // namespace sfx
