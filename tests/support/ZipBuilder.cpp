#include "tests/support/ZipBuilder.h"

#include "engine/support/Crc32.h"

namespace vz::test {

void TZipBuilder::Le16(u16 v) {
  Bytes.push_back(static_cast<u8>(v));
  Bytes.push_back(static_cast<u8>(v >> 8));
}

void TZipBuilder::Le32(u32 v) {
  Le16(static_cast<u16>(v));
  Le16(static_cast<u16>(v >> 16));
}

void TZipBuilder::Le64(u64 v) {
  Le32(static_cast<u32>(v));
  Le32(static_cast<u32>(v >> 32));
}

u64 TZipBuilder::AddZip64End(u64 entries, u64 centralOffset, u64 centralSize,
                             std::optional<u64> locatorOffset) {
  const u64 at = Bytes.size();
  Le32(0x06064B50);
  Le64(44);
  Le16(45);
  Le16(45);
  Le32(0);
  Le32(0);
  Le64(entries);
  Le64(entries);
  Le64(centralSize);
  Le64(centralOffset);
  Le32(0x07064B50);
  Le32(0);
  Le64(locatorOffset.value_or(at));
  Le32(1);
  return at;
}

std::vector<u8> TZipBuilder::Zip64Field(const std::vector<u64>& values, std::optional<u32> disk) {
  TZipBuilder b;
  b.Le16(1);
  b.Le16(static_cast<u16>(8 * values.size() + (disk ? 4 : 0)));
  for (const u64 v : values) b.Le64(v);
  if (disk) b.Le32(*disk);
  return b.Bytes;
}

std::vector<u8> TZipBuilder::Zip64Archive(const std::vector<TBuildMember>& members) {
  TZipBuilder b;
  std::vector<u32> offsets;
  for (const auto& m : members) offsets.push_back(b.AddLocal(m));
  const u32 central = b.Position();
  for (std::size_t i = 0; i < members.size(); ++i) b.AddCentral(members[i], offsets[i]);
  const u32 size = b.Position() - central;
  b.AddZip64End(members.size(), central, size);
  TEndFields end;
  end.EntriesThisDisk = 0xFFFF;
  end.TotalEntries = 0xFFFF;
  b.AddEnd(end, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
  return b.Bytes;
}

u32 TZipBuilder::AddLocal(const TBuildMember& m) {
  const u32 offset = Position();
  Le32(0x04034B50);
  Le16(20);
  Le16(m.Flags);
  Le16(m.Method);
  Le32(m.DosDateTime);
  Le32(m.Crc.value_or(Crc32Of(m.Data)));
  Le32(m.CompressedSize.value_or(static_cast<u32>(m.Data.size())));
  Le32(m.UncompressedSize.value_or(static_cast<u32>(m.Data.size())));
  Le16(static_cast<u16>(m.Name.size()));
  Le16(static_cast<u16>(m.LocalExtra.size()));
  AppendText(m.Name);
  Append(m.LocalExtra);
  Append(m.Data);
  return offset;
}

void TZipBuilder::AddCentral(const TBuildMember& m, u32 localOffset) {
  Le32(0x02014B50);
  Le16(m.VersionMadeBy);
  Le16(20);
  Le16(m.Flags);
  Le16(m.Method);
  Le32(m.DosDateTime);
  Le32(m.Crc.value_or(Crc32Of(m.Data)));
  Le32(m.CompressedSize.value_or(static_cast<u32>(m.Data.size())));
  Le32(m.UncompressedSize.value_or(static_cast<u32>(m.Data.size())));
  Le16(static_cast<u16>(m.Name.size()));
  Le16(static_cast<u16>(m.CentralExtra.size()));
  Le16(static_cast<u16>(m.Comment.size()));
  Le16(m.Disk);
  Le16(m.InternalAttributes);
  Le32(m.ExternalAttributes);
  Le32(m.OffsetField.value_or(localOffset));
  AppendText(m.Name);
  Append(m.CentralExtra);
  AppendText(m.Comment);
}

void TZipBuilder::AddEnd(const TEndFields& end, u16 entries, u32 centralOffset, u32 centralSize) {
  Le32(0x06054B50);
  Le16(end.ThisDisk);
  Le16(end.CentralStartDisk);
  Le16(end.EntriesThisDisk.value_or(entries));
  Le16(end.TotalEntries.value_or(entries));
  Le32(end.CentralSize.value_or(centralSize));
  Le32(end.CentralOffset.value_or(centralOffset));
  Le16(end.CommentLength.value_or(static_cast<u16>(end.Comment.size())));
  AppendText(end.Comment);
}

std::vector<u8> TZipBuilder::Archive(const std::vector<TBuildMember>& members,
                                     const std::string& comment) {
  TZipBuilder b;
  std::vector<u32> offsets;
  for (const auto& m : members) offsets.push_back(b.AddLocal(m));
  const u32 central = b.Position();
  for (std::size_t i = 0; i < members.size(); ++i) b.AddCentral(members[i], offsets[i]);
  TEndFields end;
  end.Comment = comment;
  b.AddEnd(end, static_cast<u16>(members.size()), central, b.Position() - central);
  return b.Bytes;
}

std::vector<u8> TZipBuilder::SharedHeaderArchive(const TBuildMember& m,
                                                 const std::vector<std::string>& names) {
  TZipBuilder b;
  const u32 local = b.AddLocal(m);
  const u32 central = b.Position();
  for (const std::string& name : names) {
    TBuildMember named = m;
    named.Name = name;
    b.AddCentral(named, local);
  }
  b.AddEnd({}, static_cast<u16>(names.size()), central, b.Position() - central);
  return b.Bytes;
}

}  // namespace vz::test
