// The state of one zip operation, alive from the start of PerformZip to its
// end. Internal to the writer (ZipEngine.cpp, ZipMembers.cpp and the files
// for the list, deleting and spanning).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/codecs/WinZipAes.h"
#include "engine/codecs/ZipCipher.h"
#include "engine/format/SortedZip.h"
#include "engine/support/BufferStream.h"
#include "engine/writer/CompressionPipeline.h"

namespace vz {

// Whether a member of `size` bytes (negative: not known) gets a Zip64 field
// in its local header. It is decided before the data is written, so it
// leaves room for the data to grow when compressed or enciphered (stored
// blocks and the encryption header add far less than 1/64).
inline bool NeedsZip64Header(i64 size) {
  return size < 0 || static_cast<u64>(size) >= kSaturated32 - (kSaturated32 >> 6);
}

struct TZipOperation {
  // ---- the archive ----
  std::string Target;                 // the file ZipName stands for (a link's target)
  std::string Folder;                 // the process's current folder when the operation began
  std::optional<TFileInfo> Identity;  // the existing archive as it was read

  // ---- output ----
  std::unique_ptr<TLFNFileStream> Output;
  std::string OutputName;  // the file being written (the archive, a block, or a temporary file)
  bool ArchiveExisted = false;
  // The new archive's entries in the order written (owning), and the same
  // entries by stored name (exact: a.h and A.h are two members), to refuse
  // a second member of one name.
  std::unique_ptr<TSortedZip> NewCatalogue;
  std::unordered_map<std::string, TZipHeaderInfo*> NameIndex;
  TEndCentral NewEnd;
  int Count = 0;                         // files added or replaced
  int Deleted = 0;                       // members removed (delete mode)
  std::vector<std::string> DisposeList;  // files, and folders (ending in "/")
  // Copied members' central records as the old archive held them, by entry.
  std::unordered_map<const TZipHeaderInfo*, std::vector<u8>> RawCentral;

  // The members compressed ahead on other threads; none when one thread
  // does it all.
  std::unique_ptr<TCompressionPipeline> Pipeline;

  // ---- the member being written ----
  std::unique_ptr<TZipHeaderInfo> CurrentEntry;
  std::unique_ptr<TLFNFileStream> Source;  // the file being added
  TStream* SourceStream = nullptr;         // Source, or the caller's stream
  u64 MemberBytesRead = 0;
  u32 Crc = 0xFFFFFFFF;
  TZipCipher Cipher;
  bool Encrypting = false;
  std::unique_ptr<TWinZipAes> Aes;  // set while an AES member is written

  // ---- progress ----
  i64 TotalBytes = 0;
  i64 DoneBytes = 0;
  i64 LargestFile = 0;  // of the files to add

  // ---- FilesList while members are matched: lines taken out are marked,
  // and lines are found by the stored name they would get ----
  std::vector<bool> Removed;
  std::unordered_map<std::string, std::vector<std::size_t>> LinesByStoredName;

  // ---- spanning ----
  int Disk = 0;      // 0-based
  i64 Capacity = 0;  // bytes the current disk holds
  int CentralRecordsThisDisk = 0;
  std::unique_ptr<TLFNFileStream> SpanWork;  // the member's data before it is cut into disks
  std::string SpanWorkName;
};

}  // namespace vz
