#include "tests/engine/reader/ExtractHarness.h"

#include <algorithm>
#include <filesystem>

#include "engine/codecs/Deflate.h"
#include "engine/codecs/WinZipAes.h"
#include "engine/codecs/ZipCipher.h"
#include "engine/format/ZipFormat.h"
#include "engine/support/Crc32.h"
#include "tests/support/TestFiles.h"

namespace vz::test {

TBuildMember StoredMember(const std::string& name, const std::vector<u8>& data) {
  TBuildMember m;
  m.Name = name;
  m.Data = data;
  return m;
}

TBuildMember StoredMember(const std::string& name, const std::string& text) {
  return StoredMember(name, std::vector<u8>(text.begin(), text.end()));
}

namespace {

// Runs the engine's compressor; `header` learns the method it chose.
std::vector<u8> Compress(std::span<const u8> data, int level, TZipHeaderInfo& header) {
  TDeflater deflater;
  std::vector<u8> out;
  std::size_t at = 0;
  const TDeflateRead read = [&](std::span<u8> buffer) {
    const std::size_t n = std::min(buffer.size(), data.size() - at);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), n, buffer.begin());
    at += n;
    return n;
  };
  const TDeflateWrite write = [&](std::span<const u8> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
  };
  deflater.CompressMember(header, level, read, write, "member");
  return out;
}

}  // namespace

std::vector<u8> DeflateBytes(std::span<const u8> data, int level) {
  TZipHeaderInfo header;
  auto out = Compress(data, level, header);
  if (header.CompressionMethod != 8) throw std::runtime_error("the data was stored, not deflated");
  return out;
}

TBuildMember CompressedMember(const std::string& name, const std::vector<u8>& data) {
  TZipHeaderInfo header;
  TBuildMember m;
  m.Name = name;
  m.Data = Compress(data, 6, header);
  m.Method = header.CompressionMethod;
  m.Crc = Crc32Of(data);
  m.UncompressedSize = static_cast<u32>(data.size());
  return m;
}

void Encipher(TBuildMember& m, const std::string& password) {
  const u32 crc = m.Crc.value_or(Crc32Of(m.Data));
  m.Crc = crc;
  if (!m.UncompressedSize) m.UncompressedSize = static_cast<u32>(m.Data.size());
  m.Flags |= 1;
  TZipCipher cipher;
  cipher.InitKeys(password);
  std::vector<u8> out;
  const auto filler = RandomBytes(10, crc);
  for (const u8 b : filler) out.push_back(cipher.Encrypt(b));
  const u8 check =
      (m.Flags & 8) != 0 ? static_cast<u8>(m.DosDateTime >> 8) : static_cast<u8>(crc >> 24);
  out.push_back(cipher.Encrypt(static_cast<u8>(crc >> 16)));
  out.push_back(cipher.Encrypt(check));
  for (const u8 b : m.Data) out.push_back(cipher.Encrypt(b));
  m.Data = std::move(out);
  m.CompressedSize.reset();
}

void EncipherAes(TBuildMember& m, const std::string& password, u8 strength, u16 version, u32 seed) {
  const auto keySize = static_cast<TAesStrength>(strength);
  const u32 crc = m.Crc.value_or(Crc32Of(m.Data));
  m.Crc = version == kAesVersion1 ? crc : 0;
  if (!m.UncompressedSize) m.UncompressedSize = static_cast<u32>(m.Data.size());
  TWinZipAes aes;
  std::vector<u8> out =
      aes.StartWriting(keySize, password, RandomBytes(AesSaltBytes(keySize), seed));
  aes.Encrypt(m.Data);
  out.insert(out.end(), m.Data.begin(), m.Data.end());
  const auto code = aes.AuthenticationCode();
  out.insert(out.end(), code.begin(), code.end());
  m.Data = std::move(out);
  m.CompressedSize.reset();
  const auto field = AesExtraFieldData({version, keySize, m.Method});
  m.LocalExtra = {0x01, 0x99, static_cast<u8>(field.size()), 0x00};
  m.LocalExtra.insert(m.LocalExtra.end(), field.begin(), field.end());
  m.CentralExtra = m.LocalExtra;
  m.Method = kMethodAes;
  m.Flags |= 1;
}

u8 CheckByteFor(std::span<const u8> header, const std::string& password) {
  TZipCipher cipher;
  cipher.InitKeys(password);
  std::vector<u8> plain(header.begin(), header.begin() + 12);
  cipher.Decrypt(plain);
  return plain[11];
}

std::string PasswordPassingCheck(std::span<const u8> header, u8 check, const std::string& right) {
  for (int i = 0;; ++i) {
    const std::string candidate = "guess" + std::to_string(i);
    if (candidate != right && CheckByteFor(header, candidate) == check) return candidate;
  }
}

TEventRecorder::TEventRecorder(TUnZipEngine& engine, std::string base) : FBase(std::move(base)) {
  engine.OnStartUnZipInfo = [this](TUnZipEngine&, int NumFiles, i64 TotalBytes, bool&) {
    Lines.push_back("info " + std::to_string(NumFiles) + " " + std::to_string(TotalBytes));
  };
  engine.OnStartUnZip = [this](TUnZipEngine&, int FileIndex, const std::string& FName, bool&) {
    Lines.push_back("start " + std::to_string(FileIndex) + " " + Rel(FName));
  };
  engine.OnEndUnZip = [this](TUnZipEngine&, int FileIndex, const std::string& FName) {
    Lines.push_back("end " + std::to_string(FileIndex) + " " + Rel(FName));
  };
  engine.OnFilePercentDone = [this](TUnZipEngine&, int Percent) {
    FilePercents.push_back(Percent);
    if (RecordPercents) Lines.push_back("file " + std::to_string(Percent));
  };
  engine.OnTotalPercentDone = [this](TUnZipEngine&, int Percent) {
    TotalPercents.push_back(Percent);
    if (RecordPercents) Lines.push_back("total " + std::to_string(Percent));
  };
  engine.OnPromptForOverwrite = [this](TUnZipEngine&, bool& OverWriteIt, int FileIndex,
                                       std::string& FName) {
    Lines.push_back("prompt " + std::to_string(FileIndex) + " " + Rel(FName));
    if (Prompt) Prompt(OverWriteIt, FileIndex, FName);
  };
  engine.OnSkippingFile = [this](TUnZipEngine& Sender, TSkipReason Reason, int FileIndex) {
    Lines.push_back("skip " + std::to_string(static_cast<int>(Reason)) + " " +
                    std::to_string(FileIndex));
    SkipTexts.push_back(Rel(Sender.SkipText()));
  };
  engine.OnBadPassword = [this](TUnZipEngine&, int FileIndex, std::string& NewPassword) {
    Lines.push_back("password " + std::to_string(FileIndex) + " " + NewPassword);
    if (!Passwords.empty()) {
      NewPassword = Passwords.front();
      Passwords.pop_front();
    }
  };
  engine.OnBadCRC = [this](TUnZipEngine&, u32, u32, int FileIndex) {
    Lines.push_back("crc " + std::to_string(FileIndex));
  };
}

std::vector<std::string> TEventRecorder::Milestones() const {
  std::vector<std::string> out;
  for (const auto& line : Lines) {
    if (line.rfind("file ", 0) != 0 && line.rfind("total ", 0) != 0) out.push_back(line);
  }
  return out;
}

std::vector<int> TEventRecorder::Skipped(TSkipReason reason) const {
  std::vector<int> out;
  const std::string prefix = "skip " + std::to_string(static_cast<int>(reason)) + " ";
  for (const auto& line : Lines) {
    if (line.rfind(prefix, 0) == 0) out.push_back(std::stoi(line.substr(prefix.size())));
  }
  return out;
}

std::string TEventRecorder::Rel(const std::string& path) const {
  return path.rfind(FBase, 0) == 0 ? path.substr(FBase.size()) : path;
}

std::string TEventRecorder::SkipText(int index) const {
  const std::string prefix = "skip ";
  std::size_t skip = 0;
  for (const auto& line : Lines) {
    if (line.rfind(prefix, 0) != 0) continue;
    if (line.substr(line.rfind(' ') + 1) == std::to_string(index)) return SkipTexts[skip];
    ++skip;
  }
  return "(not skipped)";
}

std::vector<std::string> LeftoverParts(const std::string& folder) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.rfind(".vz", 0) == 0 && name.size() > 5 &&
        name.compare(name.size() - 5, 5, ".part") == 0) {
      out.push_back(it->path().string());
    }
  }
  return out;
}

std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec) || it->is_symlink(ec)) {
      out.push_back(std::filesystem::relative(it->path(), folder, ec).string());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace vz::test
