#include "app/core/MemberCheck.h"

#include "engine/format/ZipFormat.h"
#include "engine/support/BufferStream.h"

namespace vz {
namespace {

std::string Hex(u32 value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 15];
  return text;
}

void Add(std::string& reasons, const std::string& reason) {
  if (!reasons.empty()) reasons += "; ";
  reasons += reason;
}

}  // namespace

std::string HeaderDisagreement(const TZipHeaderInfo& local, const TZipHeaderInfo& central) {
  std::string reasons;
  if (local.FullName() != central.FullName()) {
    Add(reasons, "the local header names it " + local.FullName());
  }
  if (local.CompressionMethod != central.CompressionMethod) {
    Add(reasons, "the local header gives method " + std::to_string(local.CompressionMethod) +
                     ", the directory " + std::to_string(central.CompressionMethod));
  }
  if (local.Encrypted() != central.Encrypted()) {
    Add(reasons, std::string("the local header says it is ") +
                     (local.Encrypted() ? "encrypted" : "not encrypted"));
  }
  // With a data descriptor the header's CRC and sizes are left zero.
  if (local.HasDescriptor()) return reasons;
  if (local.Crc32 != central.Crc32) {
    Add(reasons,
        "the local header gives CRC " + Hex(local.Crc32) + ", the directory " + Hex(central.Crc32));
  }
  // Both sides hold the real sizes: saturated fields were read from their
  // Zip64 fields.
  const auto size = [&](const char* what, u64 inLocal, u64 inCentral) {
    if (inLocal == inCentral) return;
    Add(reasons, std::string("the local header gives ") + what + " size " +
                     std::to_string(inLocal) + ", the directory " + std::to_string(inCentral));
  };
  size("compressed", local.CompressedSize, central.CompressedSize);
  size("uncompressed", local.UncompressedSize, central.UncompressedSize);
  return reasons;
}

std::vector<TMemberFault> CheckMembers(IFileSystem& Files, const TUnZipEngine& Engine) {
  std::vector<TMemberFault> faults;
  std::unique_ptr<TLFNFileStream> archive;
  if (Engine.EndCentral().ThisDisk == 0) {
    archive = std::make_unique<TLFNFileStream>(Files, Engine.ZipName(), TOpenMode::ReadDenyNone);
  }
  // Names read as the directory's were, sizes through the Zip64 field.
  const TNameDecoder names(Engine.NameEncoding());
  for (int i = 0; i < Engine.Count(); ++i) {
    const TZipHeaderInfo& central = Engine.Entry(i);
    if (!archive) continue;
    archive->Seek(central.RelativeOffset, TSeekOrigin::Begin);
    TZipHeaderInfo local;
    try {
      if (!local.ReadLocal(*archive, names, true)) {
        faults.push_back({i, "no local header where the directory places it", true});
        continue;
      }
    } catch (const EDamagedRecord& e) {
      faults.push_back({i, e.what(), true});
      continue;
    }
    std::string reason = HeaderDisagreement(local, central);
    if (!reason.empty()) faults.push_back({i, std::move(reason), false});
  }
  return faults;
}

}  // namespace vz
