// Helpers for the extraction tests: members made by hand (stored, deflated
// by the engine's own compressor, enciphered), a recorder that turns every
// extraction event into one line of text, and a search for the temporary
// files the driver decodes into.
#pragma once

#include <deque>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/reader/UnZipEngine.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/ZipBuilder.h"

namespace vz::test {

TBuildMember StoredMember(const std::string& name, const std::vector<u8>& data);
TBuildMember StoredMember(const std::string& name, const std::string& text);
// Raw deflate of `data` by the engine's compressor (level 1-9); throws when
// the compressor would rather store it.
std::vector<u8> DeflateBytes(std::span<const u8> data, int level = 6);
// The member as the engine's compressor leaves it: deflated, or stored where
// deflating would not make it smaller.
TBuildMember CompressedMember(const std::string& name, const std::vector<u8>& data);

// Enciphers m.Data with the traditional cipher, the 12-byte header in front,
// and sets flag bit 0. The header's last byte is the CRC's top byte, or the
// high byte of the DOS time when m has flag bit 3. Call after the CRC and
// sizes are final (the CRC defaults to that of the data before this call).
void Encipher(TBuildMember& m, const std::string& password);

// Enciphers m.Data with WinZip's AES (salt from `seed`), sets method 99,
// flag bit 0 and the 0x9901 field (both records) naming m.Method. AE-1
// keeps the CRC (of the data as given, unless m.Crc is set); AE-2 stores 0.
void EncipherAes(TBuildMember& m, const std::string& password, u8 strength, u16 version,
                 u32 seed = 1);

// The 12th byte of `header` deciphered with `password`.
u8 CheckByteFor(std::span<const u8> header, const std::string& password);
// A password other than `right` whose deciphered check byte is `check`: the
// one-in-256 wrong password that only the CRC can catch.
std::string PasswordPassingCheck(std::span<const u8> header, u8 check, const std::string& right);

// Every event of an extraction as one line, in order. Paths are shown
// relative to `base` (which ends in "/").
class TEventRecorder {
 public:
  TEventRecorder(TUnZipEngine& engine, std::string base);

  std::vector<std::string> Lines;
  bool RecordPercents = true;
  // Answers OnPromptForOverwrite; unset leaves OverWriteIt false.
  std::function<void(bool& OverWriteIt, int FileIndex, std::string& FName)> Prompt;
  // Offered by OnBadPassword one by one; when none is left the password is
  // handed back unchanged.
  std::deque<std::string> Passwords;
  std::vector<int> FilePercents;
  std::vector<int> TotalPercents;
  // The engine's SkipText() at each OnSkippingFile (paths relative to base).
  std::vector<std::string> SkipTexts;

  // Lines with the percent events left out.
  std::vector<std::string> Milestones() const;
  // The index of every OnSkippingFile with the given reason.
  std::vector<int> Skipped(TSkipReason reason) const;
  // The SkipText() of the first skip of member `index`.
  std::string SkipText(int index) const;

 private:
  std::string Rel(const std::string& path) const;
  std::string FBase;
};

// Paths of the driver's temporary files (".vz*.part") anywhere below folder.
std::vector<std::string> LeftoverParts(const std::string& folder);
// Every regular file below `folder`, relative to it, sorted.
std::vector<std::string> FilesBelow(const std::string& folder);

}  // namespace vz::test
