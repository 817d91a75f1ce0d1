// TZipEngine: the writing engine. One routine, the zip operation, does every
// archive rewrite: it adds files, replaces or refreshes members already in
// the archive, copies the untouched ones as raw bytes and writes a new
// central directory. Deleting, spanning, building a self-extracting file and
// repairing are that routine run with a switch set.
//
// An existing archive is never written in place: the new archive is built
// under a temporary name, flushed to disk and renamed over the old one only
// when everything has succeeded. Any failure or cancel leaves the old
// archive byte for byte as it was and removes the temporary files.
//
// Two writers of one archive (two processes, or two engines) take turns:
// each operation holds the exclusive lock of a small file beside the archive
// (LockFileName) from before it looks at the archive until the new one is in
// place. The lock file is left there, so every writer locks the same file.
// After locking, the archive's directory is read again when the file is no
// longer the one that was read; just before the rename the archive must
// still be the file that was read, or the operation fails and nothing
// changes. A new archive is created exclusively.
//
// The operation never changes the process's current folder: relative names
// in FilesList and a relative RootDir are resolved once, at its start.
//
// Threads, cancelling and event indices follow the rules written at the top
// of UnZipEngine.h: every operation here runs and raises its events on the
// thread that calls it, may be cancelled from any thread, and checks for a
// cancel once more just before the new archive replaces the old one. The
// zip operation compresses the next files on threads of its own (Workers),
// which raise no event and are joined before it returns.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/reader/UnZipEngine.h"
#include "engine/support/Exceptions.h"

namespace vz {

enum class TZipAction : u8 { zaUpdate = 0, zaReplace = 1, zaFreshen = 2 };

// How new members are enciphered when a password is set: the traditional
// cipher, which every reader opens (Windows Explorer too, which opens no
// AES member), or WinZip's AES with a 128 or 256-bit key.
enum class TZipEncryption : u8 { Traditional = 0, Aes128 = 1, Aes256 = 2 };

// Spanning settings. Inside TZipEngine, MultiMode and CheckDiskLabels are the
// engine's own MultiMode()/CheckDiskLabels().
class TMultiZipInfo {
 public:
  i32 BlockSize = 1457600;
  i32 FirstBlockSize = 1457600;
  TMultiMode MultiMode = TMultiMode::mmNone;
  bool CheckDiskLabels = true;
  bool WriteDiskLabels = true;

  void Assign(const TMultiZipInfo& source) { *this = source; }
};

class TZipEngine;
class TDeflater;
struct TZipOperation;
struct TCompressedMember;

using TStartZipEvent = std::function<void(TZipEngine& Sender, const std::string& FName,
                                          TZipHeaderInfo& ZipHeader, bool& Skip)>;
using TStartZipInfo = std::function<void(TZipEngine& Sender, int NumFiles, i64 TotalBytes,
                                         TEndCentral& EndCentralRecord, bool& StopNow)>;
using TEndZipFileEvent =
    std::function<void(TZipEngine& Sender, const std::string& FName, u64 UncompressedSize,
                       u64 CompressedSize, i64 CurrentZipSize)>;
using TDisposeEvent = std::function<void(TZipEngine& Sender, const std::string& FName, bool& Skip)>;
using TDeleteEvent = std::function<void(TZipEngine& Sender, const std::string& FName, bool& Skip)>;
using TNoSuchFileEvent = std::function<void(TZipEngine& Sender, const std::string& FName)>;
using TWaitForLockEvent = std::function<void(TZipEngine& Sender, const std::string& LockName)>;

// Another writer holds the archive's lock and WaitForLock is false.
class EArchiveLocked : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

class TZipEngine : public TUnZipEngine {
 public:
  explicit TZipEngine(const TPlatform& platform);
  ~TZipEngine() override;

  // ---- published properties ----
  int PackLevel = 6;
  // With a Password: AES members are AE-1 (with their CRC) from 20 bytes on,
  // AE-2 (the authentication code alone) below, so that a tiny member's CRC
  // gives away nothing of its content; salts come from the platform's
  // random source.
  TZipEncryption Encryption = TZipEncryption::Traditional;
  bool Recurse = false;
  bool Dispose = false;
  bool StorePaths() const { return FStorePaths; }
  // false also clears StoreVolumes and RelativePaths.
  void SetStorePaths(bool value);
  bool RelativePaths() const { return FRelativePaths; }
  // true also sets StorePaths and Recurse.
  void SetRelativePaths(bool value);
  bool StoreVolumes() const { return FStoreVolumes; }
  // true also sets StorePaths.
  void SetStoreVolumes(bool value);
  TZipAction ZipAction = TZipAction::zaUpdate;
  // With StorePaths: a folder ("docs/") in which every file is stored,
  // whatever its own path, and by whose name it is matched against the
  // members, so a file put into a folder of the archive replaces the member
  // of that name there; with RelativePaths, a file below RootDir keeps its
  // path below it inside this folder. Empty: each file's own path decides.
  // "." and ".." components are dropped as from any stored folder.
  std::string StoredFolder;
  TMultiZipInfo& MultiZipInfo() { return FMultiZipInfo; }
  void SetMultiZipInfo(const TMultiZipInfo& value) { FMultiZipInfo.Assign(value); }
  bool Store83Names = false;  // Linux names have no short form; kept as set
  std::string TempPath;
  bool SkipIfArchiveBitNotSet = false;
  bool ResetArchiveBitOnZip = false;
  // While another writer holds the archive's lock: wait for it (polling, so
  // CancelOperation still works), or fail at once with EArchiveLocked.
  bool WaitForLock = true;
  // Threads that compress the next files while one is written: 0 means as
  // many as the machine has cores, 1 compresses everything on the
  // operation's thread. The archive and the events are the same whatever
  // the number. Spanned archives, a member from a stream and files over
  // TCompressionPipeline::kLargestMember are compressed on the operation's
  // thread. Workers call no event, host or platform service; memory stays
  // within about 17 MiB per worker and 9 MiB more.
  int Workers = 0;

  TStartZipEvent OnStartZip;
  TStartZipInfo OnStartZipInfo;
  TEndZipFileEvent OnEndZip;
  TDisposeEvent OnDisposeFile;
  TDeleteEvent OnDeleteEntry;
  TNoSuchFileEvent OnNoSuchFile;
  // Once per operation, when it has waited about a second for the lock.
  TWaitForLockEvent OnWaitForLock;

  // The lock file of `archive`: ".<name>.lock" in the archive's folder.
  static std::string LockFileName(const std::string& archive);

  TMultiMode MultiMode() const override { return FMultiZipInfo.MultiMode; }
  void SetMultiMode(TMultiMode value) override { FMultiZipInfo.MultiMode = value; }
  bool CheckDiskLabels() const override { return FMultiZipInfo.CheckDiskLabels; }
  void SetCheckDiskLabels(bool value) override { FMultiZipInfo.CheckDiskLabels = value; }

  // ---- operations ----
  // Adds, replaces, refreshes or (with an empty FilesList) rewrites. Events:
  // OnNoSuchFile while the list is expanded (a missing file, a pattern that
  // matches nothing, a folder that cannot be read), and for a file that
  // vanished, is not a regular file, cannot be opened or has a control
  // character in its stored name when its turn comes (it is left out, and a
  // member it was to replace is kept); OnWaitForLock while another writer
  // holds the archive; for members matched in the
  // archive OnStartZip/OnEndZip as they are replaced in place; then
  // OnStartZipInfo once, then per file OnStartZip, the percent events,
  // OnEndZip (OnSkippingFile for a second file of the same stored name:
  // its FileIndex is the view position of the archive's member of that
  // name, as the caller sees the archive during the operation, or -1 when
  // the name came from a file this operation added, which no view shows
  // yet); after success OnDisposeFile per source file with Dispose. All
  // events come on the operation's thread. A cancel that comes before the
  // new archive is complete leaves the old one byte for byte as it was and
  // no temporary file behind; after success the view is the new archive's,
  // in SortMode. Returns the
  // number of files added or replaced. Raises EUserCanceled ("User canceled
  // Zip operation.", "User Aborted Operation"), file errors naming the file,
  // EZipLimitError when a size would not fit the format, EArchiveLocked,
  // and EVarnelError naming the archive when it may not be written, is
  // damaged (read from its members' own headers: repair it first), or was
  // changed by another program while the operation ran.
  //
  // Every member written is marked as made on Unix, with the file's mode
  // in the high half of the external attributes beside the DOS bits; an
  // empty folder found by a "*" or "*.*" search is stored as a folder entry
  // (with StorePaths). Copied members keep their local and central records
  // byte for byte, extra fields included.
  int PerformZip();
  // Removes the members FilesList names (stored names or patterns);
  // OnDeleteEntry may spare one. Returns the number removed.
  int PerformDelete();
  // Adds one member holding the whole of `stream` under `name`.
  int PerformZipFromStream(TStream& stream, const std::string& name);
  bool IsModified() const { return FEndCentral.Modified; }
  // Writes pending comment changes and reads the directory again.
  void CommitModified();
  // Pending comment changes are written before the name changes (an
  // operation then).
  void SetZipName(const std::string& value) override;

  // Writes `stub` followed by the archive as ZipName with the extension
  // ".exe", executable. The archive itself is not touched.
  void BuildSelfExtractor(const std::string& stubName);
  // Writes every member found in `inputName` (or the archive the host's
  // dialog names) into a well-formed archive `outputName` (or one the host's
  // dialog names), which becomes the current archive. Returns the count; 0
  // when a dialog was cancelled.
  int RepairArchive(const std::string& inputName, const std::string& outputName);

 private:
  friend struct TZipOperation;

  // ---- the zip operation (ZipEngine.cpp: its frame and finish;
  // ZipMembers.cpp: the members and the directory) ----
  void WritePendingComments();
  void RunOperation(TZipOperation& op);
  void CreateOutput(TZipOperation& op, const std::string& name);
  void CopyAndUpdateMembers(TZipOperation& op);
  std::vector<std::size_t> MatchLines(TZipOperation& op, const TZipCatalogue& catalogue);
  bool Replaces(const TZipHeaderInfo& entry, const std::string& name) const;
  int WorkerCount() const;
  void StartPipeline(TZipOperation& op, std::vector<std::string> plan);
  void CopyMember(TZipOperation& op, TZipHeaderInfo& entry);
  std::vector<u8> RawCentralRecord(const TZipHeaderInfo& entry, std::span<const u8> localName);
  bool SkipDuplicate(TZipOperation& op, i64 size);
  int ViewIndexOf(const std::string& storedName) const;
  bool ZipOneFile(TZipOperation& op, const std::string& name);
  void WriteMember(TZipOperation& op, const std::string& name);
  void RecordSuccess(TZipOperation& op, std::unique_ptr<TZipHeaderInfo> entry,
                     const std::string& name);
  void AddToNewCatalogue(TZipOperation& op, std::unique_ptr<TZipHeaderInfo> entry);
  void WriteCentralDirectory(TZipOperation& op);
  void Finish(TZipOperation& op);
  void FailureCleanup(TZipOperation& op);
  void ReplaceFile(const std::string& finished, const std::string& target);
  std::string StoredDirectory(const std::string& fileName) const;
  std::string TempFolder() const;
  void ResolvePaths(TZipOperation& op);
  std::string ArchivePath() const;
  std::unique_ptr<IFileLock> LockArchive(const std::string& archive);
  void OpenExistingArchive(TZipOperation& op);
  void CheckArchiveUnchanged(const TZipOperation& op);
  void DisposeSources(const TZipOperation& op);
  bool PrepareSource(TZipOperation& op, const std::string& name);
  bool WriteFolderEntry(TZipOperation& op, const std::string& name);
  bool RefuseName(TZipOperation& op, const std::string& name, i64 size);
  void WriteCentralRecord(TZipOperation& op, TZipHeaderInfo& entry);

  // ---- writing a member's data (ZipMembers.cpp) ----
  void WriteData(TZipOperation& op, std::span<const u8> bytes, bool encrypt);
  std::size_t ReadSource(TZipOperation& op, std::span<u8> buffer);
  void CountSourceBytes(TZipOperation& op, std::size_t n);
  std::unique_ptr<TCompressedMember> CompressedAhead(TZipOperation& op, const std::string& name);
  u64 ReplayMember(TZipOperation& op, const TCompressedMember& member);
  u32 FirstPassCrc(TZipOperation& op);
  void WriteEncryptionHeader(TZipOperation& op, u32 crc);
  void StartAesMember(TZipOperation& op);
  void FinishAesMember(TZipOperation& op);
  void WriteLocalRecord(TZipOperation& op);

  // ---- expanding FilesList (FileListExpansion.cpp) ----
  void ExpandFilesList(TZipOperation& op);
  bool PassesAttributeFilter(const TFileInfo& info) const;
  bool IsTheArchiveItself(const TZipOperation& op, const std::string& path) const;

  // ---- deleting (DeleteMembers.cpp) ----
  bool DeleteDecision(TZipOperation& op, const TZipHeaderInfo& entry);

  // ---- spanning (Spanning.cpp) ----
  void StartSpanning(TZipOperation& op);
  void RefuseZip64Spanning(const TZipOperation& op);
  i64 RoomLeft(TZipOperation& op);
  void NextDisk(TZipOperation& op);
  void LabelDisk(TZipOperation& op);
  void CopyWorkStreamToDisks(TZipOperation& op);
  void FinishBlocks(TZipOperation& op);

  TMultiZipInfo FMultiZipInfo;
  bool FStorePaths = false;
  bool FRelativePaths = false;
  bool FStoreVolumes = false;
  bool FDeleting = false;
  bool FFromStream = false;
  std::string FRoot;  // RootDir, absolute, for the operation in progress
  TStream* FSourceStreamFromCaller = nullptr;
  std::string FAlternateOutput;
  std::unique_ptr<TLFNFileStream> FStubStream;
  std::string FStubName;
  std::unique_ptr<TDeflater> FDeflater;  // the work areas, one per operation
};

}  // namespace vz
