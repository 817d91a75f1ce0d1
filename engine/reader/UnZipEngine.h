// TUnZipEngine: the reading engine. It names and opens an archive, finds its
// end record, reads the central directory into the catalogue (or rebuilds it
// from the local headers of a damaged or prefixed archive), asks for the
// disks of a multi-disk set, serves the entries and comments in the chosen
// sort order, and extracts members.
//
// Every index that crosses this interface is a position in the view list,
// the entries in the current SortMode. The engine owns its catalogue
// (ZipCatalogue.h), which lives until the directory is read again, the
// archive name changes or ClearZip is called; Entry(index) gives a copy of
// an entry, which nothing the engine does changes afterwards.
//
// Event indices. FileIndex in every event is a position in the view list as
// the caller saw it when the operation started, and the entry at that
// position is the event's entry while the event runs and after it returns,
// until the operation ends: no operation re-sorts or rebuilds the caller's
// view while it runs. A multi-disk set is extracted in disk order, but its
// events still name view positions. The writer's own index (OnSkippingFile
// of a second file of one stored name) is described in ZipEngine.h. After a
// successful rewrite the view is the new archive's, in SortMode, as after a
// directory read; after a failure the caller's view is as it was.
//
// Threads. An operation (ReadZip, UnZip, UnZipToStream, loading a comment,
// and the writer's operations) runs on the thread that calls it, which need
// not be a user-interface thread, and raises every event on that thread
// before it returns. One operation runs at a time per engine, and nothing
// but CancelOperation is touched from another thread while it runs. Every
// message box, file or folder dialog and busy cursor goes through the
// host (IHost, platform/Host.h); the engine makes no user interface itself.
// A front end with a user-interface thread follows these rules, which keep
// it free of deadlocks:
//  - a handler is called directly when the operation already runs on the
//    user-interface thread, and otherwise marshalled there;
//  - only a handler that answers through an in/out parameter (Skip,
//    StopNow, OverWriteIt, FName, NewPassword, IncompleteMode, ZipHeader)
//    or opens a prompt blocks the operation's thread until the
//    user-interface thread has answered; progress and status (the percent
//    events, the name of the member in work) are queued with copies of what
//    they show, taken from the engine on the operation's thread, and
//    coalesced;
//  - IHost::ProcessMessages does nothing off the user-interface thread, so
//    DoProcessMessages only matters for an operation run on that thread;
//  - closing a window while an operation runs means: set CancelOperation,
//    then close when the operation's thread reports that it ended, never
//    waiting for (joining) that thread from inside a handler it blocks on;
//  - catalogue data loaded lazily (comments, extra fields) is read on the
//    operation's thread; a window shows a snapshot taken there, not the
//    engine's live catalogue, which a blocked handler may read but nothing
//    else while the operation runs.
//
// Cancelling. CancelOperation may be set from any thread at any time. An
// operation clears it once, as its first step, before any work: a cancel set
// before an operation starts is forgotten by design, so that a stale one
// cannot stop the next operation (a window cancels only a running one).
// Operations called inside another (the directory read of a zip, the commit
// inside SetZipName) do not clear it. From then on nothing clears it until
// the operation notices it and ends with EUserCanceled "User Aborted
// Operation", which spends it. An operation looks at it between blocks of
// work and once more at its point of no return (the last member written;
// the new archive complete, just before it replaces the old one; the whole
// directory read), so a cancel set while it runs is never lost: either the
// operation ends with EUserCanceled, or the work had passed that point and
// the flag stays set until the next operation starts.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/codecs/ZipCipher.h"
#include "engine/format/SortedZip.h"
#include "engine/format/ZipCatalogue.h"
#include "engine/support/BufferStream.h"
#include "platform/DosTime.h"
#include "platform/Platform.h"

namespace vz {

enum class TUZOverwriteMode : u8 { Prompt = 0, Always = 1, Never = 2 };
enum class TIncompleteZipMode : u8 { izAssumeMulti = 0, izAssumeBad = 1 };
enum class TMultiMode : u8 { mmNone = 0, mmSpan = 1, mmBlocks = 2 };
// Why OnSkippingFile reports a member; the engine's SkipText() says it in
// words for the user.
enum class TSkipReason : u8 {
  srWrongPassword = 0,   // the password check failed and no new password came
  srNotOverwritten = 1,  // the target exists and is not to be overwritten
  srUnsafeEntry =
      2,  // the name leads outside the destination, or the data overlaps another member's
  srNotWritten = 3,      // the target or its folder could not be made or written
  srUnsupported = 4,     // a compression method or an encryption the engine cannot decode
  srHeaderMismatch = 5,  // the local header disagrees with the central record (CheckLocalHeaders)
  srSizeMismatch = 6,    // the data decoded to another size than the archive declares
  srBadAuthentication = 7,  // an AES member's authentication code does not match its data
};

class TUnZipEngine;
class TDecodeInput;
class TDecodeOutput;
class TWinZipAes;

using TStartUnZipInfoEvent =
    std::function<void(TUnZipEngine& Sender, int NumFiles, i64 TotalBytes, bool& StopNow)>;
using TStartUnZipEvent =
    std::function<void(TUnZipEngine& Sender, int FileIndex, const std::string& FName, bool& Skip)>;
using TEndUnZipEvent =
    std::function<void(TUnZipEngine& Sender, int FileIndex, const std::string& FName)>;
using TPercentDoneEvent = std::function<void(TUnZipEngine& Sender, int Percent)>;
using TPromptForOverwriteEvent =
    std::function<void(TUnZipEngine& Sender, bool& OverWriteIt, int FileIndex, std::string& FName)>;
using TSkippingFileEvent =
    std::function<void(TUnZipEngine& Sender, TSkipReason Reason, int FileIndex)>;
using TBadPasswordEvent =
    std::function<void(TUnZipEngine& Sender, int FileIndex, std::string& NewPassword)>;
using TBadCRCEvent =
    std::function<void(TUnZipEngine& Sender, u32 CalcCRC, u32 StoredCRC, int FileIndex)>;
using TIncompleteZip =
    std::function<void(TUnZipEngine& Sender, TIncompleteZipMode& IncompleteMode)>;
using TGetNextDisk = std::function<void(TUnZipEngine& Sender, int NextDisk, std::string& FName)>;

// Calls an event when it is assigned.
template <typename TEvent, typename... TArgs>
void Fire(const TEvent& event, TArgs&&... args) {
  if (event) event(std::forward<TArgs>(args)...);
}

class TUnZipEngine {
 public:
  static constexpr int kThisVersion = 214;

  explicit TUnZipEngine(const TPlatform& platform);
  virtual ~TUnZipEngine();
  TUnZipEngine(const TUnZipEngine&) = delete;
  TUnZipEngine& operator=(const TUnZipEngine&) = delete;

  // ---- published properties ----
  int ThisVersion() const { return kThisVersion; }
  void SetThisVersion(int) {}  // always 214

  const std::string& ZipName() const { return FZipName; }
  // A name equal to the present one (compared exactly: on Linux two
  // spellings that differ in case are two files) changes nothing. A name
  // ending in "?" asks the host's open-file dialog ("Open a Zip File");
  // cancelling raises EUserCanceled "User canceled setting zip file name.".
  // Otherwise the catalogue is released and the archive closed; the
  // directory is read by the next operation.
  virtual void SetZipName(const std::string& value);

  const std::string& DestDir() const { return FDestDir; }
  // "?" asks the host's folder dialog; cancelling raises EUserCanceled
  // "User canceled Set Desination Directory". Kept without a trailing "/".
  void SetDestDir(const std::string& value);

  const std::string& RootDir() const { return FRootDir; }
  // Kept with a trailing "/" unless empty.
  void SetRootDir(const std::string& value);

  TZipSortMode SortMode = TZipSortMode::ByNone;  // takes effect at the next directory read
  bool RecreateDirs = false;
  TUZOverwriteMode OverwriteMode = TUZOverwriteMode::Prompt;
  std::vector<std::string> FilesList;
  bool DoAll = false;
  TIncompleteZipMode IncompleteZipMode = TIncompleteZipMode::izAssumeMulti;
  bool KeepZipOpen = false;
  bool DoProcessMessages = true;
  bool RetainAttributes = true;
  // Compare each member's local header with its central record before
  // decoding it (name, method, flags, and CRC and sizes where no data
  // descriptor follows): a disagreement fails the member (srHeaderMismatch)
  // instead of being decoded by the central record. For testing.
  bool CheckLocalHeaders = false;

  // How names and member comments without flag bit 11 are read: "Auto" (the
  // rules of ZipNames.h), "UTF-8", or any character set iconv knows
  // (kNameEncodings lists the usual ones). Setting it decodes the names of
  // the open catalogue again, and rebuilds the view; an unknown set raises
  // EVarnelError "Unknown character set: X" and changes nothing.
  const std::string& NameEncoding() const { return FNames.Encoding(); }
  void SetNameEncoding(const std::string& value);

  TStartUnZipInfoEvent OnStartUnZipInfo;
  TPercentDoneEvent OnFilePercentDone;
  TPercentDoneEvent OnTotalPercentDone;
  TStartUnZipEvent OnStartUnZip;
  TEndUnZipEvent OnEndUnZip;
  TPromptForOverwriteEvent OnPromptForOverwrite;
  TSkippingFileEvent OnSkippingFile;
  TBadPasswordEvent OnBadPassword;
  TBadCRCEvent OnBadCRC;
  TIncompleteZip OnInCompleteZip;
  TGetNextDisk OnGetNextDisk;

  // ---- public state ----
  // Why the member of the latest OnSkippingFile is not extracted, in words
  // for the user; valid while the event runs and until the next skip. For
  // srUnsafeEntry it names the reason ("a \"..\" component in the name",
  // "control characters in the name", "members share data", a symbolic
  // link on the way); for srNotWritten it is the system's reason with the
  // target's path; for srUnsupported, srHeaderMismatch, srSizeMismatch and
  // srBadAuthentication "compression method PPMd is not supported", "AES
  // encryption is not supported", "its local header disagrees with the
  // central directory (name, CRC)", "its data has another size than the
  // archive declares (3 bytes decoded, 5 declared)", "its AES authentication
  // code does not match: the data is damaged or was altered".
  const std::string& SkipText() const { return FSkipText; }
  std::string Password;
  // Stops the running operation; see "Cancelling" above.
  std::atomic<bool> CancelOperation{false};
  int NumDisks = 1;
  virtual TMultiMode MultiMode() const { return FMultiMode; }
  virtual void SetMultiMode(TMultiMode value) { FMultiMode = value; }
  virtual bool CheckDiskLabels() const { return FCheckDiskLabels; }
  virtual void SetCheckDiskLabels(bool value) { FCheckDiskLabels = value; }

  // ---- operations ----
  // Opens the archive (reading the directory when it is not current) and
  // closes it again. Raises EIncompleteZip, EUserCanceled, EListError or the
  // open error of the file; a directory read that fails or is cancelled
  // leaves no catalogue behind (the next operation reads it afresh).
  void ReadZip();
  // Closes the archive even with KeepZipOpen and forgets everything about it.
  void ClearZip();
  int Count() const;

  // Indexed accessors; an index outside 0..Count()-1 raises EListError
  // "Index %d is out of range". Entry makes the entry afresh from the
  // catalogue: a copy, whose CentralExtra holds the record's extra field
  // only where the catalogue keeps it at hand (an AES member's, one with
  // Unicode name or comment fields; CentralExtra(index) reads any) and
  // FileComment the comment once it was loaded.
  TZipHeaderInfo Entry(int index) const { return Rows().Entry(RowOf(index)); }
  std::string Filename(int index) const { return std::string(Rows().Filename(RowOf(index))); }
  std::string Pathname(int index) const { return std::string(Rows().Directory(RowOf(index))); }
  std::string FullName(int index) const { return Rows().FullName(RowOf(index)); }
  u16 CompressMethod(int index) const { return Rows().CompressionMethod(RowOf(index)); }
  // "Deflated", "BZip2", ... (for an AES member the method inside)
  std::string MethodName(int index) const { return Entry(index).MethodName(); }
  // "", "traditional", "AES-128", "AES-256", ...
  std::string EncryptionName(int index) const { return Entry(index).EncryptionName(); }
  // Why the member cannot be decoded ("PPMd", "AES"); empty when it can.
  std::string UnsupportedReason(int index) const {
    return Entry(index).UnsupportedMethod().value_or(std::string());
  }
  // The current date-time when the stored value is not a real moment.
  TDateTime DateTime(int index) const;
  u32 Crc(int index) const { return Rows().Crc32(RowOf(index)); }
  u64 CompressedSize(int index) const { return Rows().CompressedSize(RowOf(index)); }
  u64 UncompressedSize(int index) const { return Rows().UncompressedSize(RowOf(index)); }
  bool IsEncrypted(int index) const { return (Rows().Flags(RowOf(index)) & kFlagEncrypted) != 0; }
  int DiskNo(int index) const { return Rows().DiskNumberStart(RowOf(index)) + 1; }
  // The central record's extra field, read from the archive (an operation,
  // like loading a comment); empty when the member has none. For a
  // directory rebuilt from the local headers and for a multi-disk set,
  // what the entry keeps.
  std::vector<u8> CentralExtra(int index);
  // Loads the comment from the archive on first use, decoded as the names
  // are: an operation then, to be run where the others run (see "Threads").
  std::string FileComment(int index);
  void SetFileComment(int index, const std::string& comment);
  std::string ZipComment();
  void SetZipComment(const std::string& comment);
  bool Rebuilt() const { return FRebuilt; }
  const TEndCentral& EndCentral() const { return FEndCentral; }
  // The files the archive is read from when it is one archive cut into
  // numbered slices (name.zip.001, name.zip.002, ...); 1 for any other.
  int SliceCount() const { return FSliceCount; }

  // Extracts the entries chosen by DoAll or by the FilesList patterns (case
  // ignored; a folder entry only with RecreateDirs) below DestDir. A
  // relative DestDir is resolved against the current folder once, at the
  // start; the current folder is never changed. The destination is made
  // (with its missing levels) only when some entry is chosen. Events:
  // OnStartUnZipInfo once, then for each entry OnBadPassword (while the
  // password fails its check and a new one is offered), OnPromptForOverwrite
  // (an existing file at the target in Prompt mode), OnStartUnZip,
  // OnFilePercentDone and OnTotalPercentDone after every 16000 bytes written
  // and at the end, and OnEndUnZip; an entry that is not extracted ends in
  // OnSkippingFile (with SkipText()) or OnBadCRC instead. srUnsafeEntry: a
  // name that is no file name below the destination, data shared with
  // another member, or a symbolic link on the folder path below the
  // destination (folders are resolved by descriptor without following
  // links; only absolute stored folders restored without a DestDir are
  // reached through the user's links). srNotWritten: the target or its
  // folder cannot be made or written (a folder or file in the way, a name
  // too long, no permission); the run goes on. Where no file stands a member
  // is written under its own name; over an existing file it is decoded into
  // a hidden file beside its target and renamed over it only once its CRC
  // has passed. With RetainAttributes a file gets, on its open descriptor,
  // the permission bits a member from a Unix-like host stored (never
  // set-user-id, set-group-id or sticky; less the umask), else the
  // read-only attribute; folder entries get their stored bits at the end of
  // the run, deepest first. srUnsupported: a method or encryption the engine
  // cannot decode; srHeaderMismatch: with CheckLocalHeaders, a local header
  // that disagrees with the directory; srSizeMismatch: the data decoded to
  // another size than declared, even with the right CRC;
  // srBadAuthentication: an AES member's data fails its authentication code
  // (a wrong password fails the password verifier first and goes through
  // OnBadPassword as with the traditional cipher; an AE-2 member has no CRC
  // and is checked by its code alone). Returns the number
  // of entries extracted, 0 when
  // OnStartUnZipInfo sets StopNow. Raises EUserCanceled, EFatalUnzipError,
  // or EInOutError naming the target (a full disk, an I/O error). The view
  // is never re-sorted: a multi-disk set is visited in disk order (so no
  // disk is asked for twice) while FileIndex stays the view position. A
  // member interrupted by an error or a cancel leaves the part written where
  // no file stood before (an existing file is never touched, and its
  // temporary file beside it is removed).
  int UnZip();
  // The same into the caller's stream, one entry after the other: FilesList
  // becomes the single line `name`, FName is empty in the events, and the
  // bytes of a member that fails its check are taken out of the stream.
  int UnZipToStream(TStream& stream, const std::string& name);

 protected:
  // ---- for the writer ----
  void OpenZip();
  void CloseZip();
  TStream& ZipStream() { return *FZipStream; }
  // The entries in the order of their local headers; null before a
  // directory is read.
  const TZipCatalogue* Catalogue() const { return FCatalogue.get(); }
  // The catalogue's row shown at a view position; EListError "Index %d is
  // out of range" for a position outside the view.
  int RowOf(int index) const;
  // The catalogue, or an empty one before a directory is read.
  const TZipCatalogue& Rows() const;
  // The view position of a catalogue row.
  int IndexOfRow(int row) const;
  // Rebuilds the view for `mode` from the catalogue (ByNone: the catalogue).
  void BuildView(TZipSortMode mode);
  void ReleaseCatalogue();
  // The writer installs its new archive as the catalogue.
  void AdoptCatalogue(const TSortedZip& written, const TEndCentral& end);
  void LoadFileComment(TZipHeaderInfo& entry);
  void LoadZipComment();
  // Asks for disk n (1-based) until a good file is named; the new disk's
  // stream becomes the archive stream.
  TStream& RequestDisk(int diskOneBased);
  void RememberArchiveDate();
  void RememberOpenArchive();
  // Drops the open archive stream, whatever KeepZipOpen says: after the
  // writer renamed a new archive into place it reads the old file.
  void DropZipStream() { FZipStream.reset(); }
  // Raises EUserCanceled "User Aborted Operation" when the caller asked to
  // stop (pumping the host's messages first when DoProcessMessages), and
  // spends the request.
  void CheckCancel();
  // The extent of one public operation: the outermost clears
  // CancelOperation before any work; nested ones leave it alone.
  class TOperationScope {
   public:
    explicit TOperationScope(TUnZipEngine& engine);
    ~TOperationScope() { --FEngine.FOperationDepth; }
    TOperationScope(const TOperationScope&) = delete;
    TOperationScope& operator=(const TOperationScope&) = delete;
    bool Outermost() const { return FEngine.FOperationDepth == 1; }

   private:
    TUnZipEngine& FEngine;
  };
  // Sets ZipName without the side effects of SetZipName.
  void AssignZipName(const std::string& name) { FZipName = name; }
  void SetRepair(bool value) { FRepair = value; }
  int CurrentDisk() const { return FCurrentDisk; }

  const TPlatform& FPlatform;
  TEndCentral FEndCentral;

 private:
  struct TArchiveStamp {
    TFileTime Time{};
    i64 Size = -1;
    u64 Device = 0;  // another file renamed into place differs here
    u64 Inode = 0;
    bool operator==(const TArchiveStamp&) const = default;
  };
  TArchiveStamp StampOf(const std::string& path) const;
  // The archive file, or all slices of a sliced one as one stream.
  std::unique_ptr<TLFNFileStream> OpenArchiveStream();
  void ReadDirectory();
  void ReadDirectoryRecords();
  bool SeekCentralDirectory();
  // Returns whether any local header was found.
  bool RebuildFromLocalHeaders();
  void ReadCentralRecords();
  bool LabelCheck(const std::string& fileName, int diskOneBased);

  // ---- extraction (Extract.cpp) ----
  // A member's local header in the index of one run: its place, and the
  // furthest byte that the members before it on its disk claim at least.
  struct TLocalHeaderMark {
    u16 Disk = 0;
    u64 Offset = 0;
    u64 ReachBefore = 0;
  };
  struct TTargetPlace;
  struct TTargetFile;
  struct TMemberOutput;
  struct TExtractRun;
  int RunExtraction(TStream* target);
  std::vector<int> VisitOrder() const;
  void OpenDestination();
  int SelectEntries();
  void IndexLocalHeaders();
  std::optional<TTargetPlace> TargetPlace(const TZipHeaderInfo& entry);
  std::string PlacePath(const TTargetPlace& place) const;
  void Skip(int index, TSkipReason reason, std::string text, int& count);
  IFolder* OpenPlace(int index, const TTargetPlace& place, int& count);
  bool PathFits(int index, const std::string& path, int& count);
  void ExtractOne(int index, TStream* target, bool& retry, int& count);
  void ExtractFolder(int index, const TTargetPlace& place, int& count);
  void ApplyFolderModes();
  enum class TMemberCheck : u8 { Ok = 0, Overlaps = 1, HeaderMismatch = 2 };
  TMemberCheck SeekMemberData(const TZipHeaderInfo& entry);
  // The fields in which the local header differs from the entry ("name,
  // CRC"); empty when it agrees.
  std::string LocalHeaderMismatch(const TZipHeaderInfo& entry, std::span<const u8> local,
                                  std::string_view localName, std::span<const u8> localExtra) const;
  void ReadMemberBytes(std::span<u8> bytes);
  bool CheckPassword(int index);
  bool CheckAesPassword(int index);
  // Offers OnBadPassword the chance to give another password; true when it
  // did (Password then holds it).
  bool AskPasswordAgain(int index);
  // After an AES member's data: its authentication code.
  void AuthenticateMember();
  bool CheckOverwrite(int index, TTargetFile& target, int& count);
  bool Retarget(int index, TTargetFile& target, const std::string& path, int& count);
  std::pair<std::unique_ptr<IFile>, std::string> CreateTempBeside(IFolder& folder);
  std::unique_ptr<IFile> CreateAbsent(const TTargetFile& target);
  std::optional<TMemberOutput> CreateOutput(int index, TTargetFile& target, int& count);
  void ExtractToFile(int index, TTargetFile& target, bool& retry, int& count);
  void FinishOutput(int index, const TTargetFile& target, const TMemberOutput& output,
                    std::optional<u32> crc, bool& retry, int& count);
  void RestoreDateAndMode(IFile& file);
  void ExtractToStream(int index, TStream& target, bool& retry, int& count);
  // The decoded member failed its check: the size (with the CRC right),
  // the CRC, or (enciphered) the password that passed the check byte.
  void ReportBadData(int index, u32 crc, bool& retry);
  bool DecodedIntact(u32 crc) const {
    return CrcPasses(crc) && !FDecodedSizeWrong && !FAuthenticationFailed;
  }
  // An AE-2 member stores no CRC: its authentication code stands for it.
  bool CrcPasses(u32 crc) const {
    return crc == FWorkEntry.Crc32 || (FWorkAes && FWorkAes->Version == 2);
  }
  u32 DecodeEntry(TStream* sink);

  std::string FZipName;
  std::string FDestDir;
  std::string FRootDir;
  TMultiMode FMultiMode = TMultiMode::mmNone;
  bool FCheckDiskLabels = true;
  TNameDecoder FNames;
  int FSliceCount = 1;
  bool FDecodedSizeWrong = false;  // the last member decoded to another size than declared
  bool FDecodedTooBig = false;     // ... to more than declared

  std::unique_ptr<TLFNFileStream> FZipStream;
  TArchiveStamp FArchiveDate;
  int FCurrentDisk = 0;
  std::unique_ptr<TZipCatalogue> FCatalogue;
  TZipSortMode FViewMode = TZipSortMode::ByNone;
  std::vector<u32> FViewRows;  // the rows in FViewMode's order; empty for ByNone
  TZipHeaderInfo FWorkEntry;
  bool FRebuilt = false;
  bool FRepair = false;
  TZipCipher FCipher;
  std::unique_ptr<TWinZipAes> FAes;   // made for the first AES member
  std::optional<TAesField> FWorkAes;  // the AES field of the member in work
  bool FAuthenticationFailed = false;
  i64 FTotalBytes = 0;
  i64 FTotalDone = 0;
  std::string FTargetRoot;                      // DestDir made absolute for the run
  std::vector<TLocalHeaderMark> FLocalHeaders;  // by disk and offset
  std::unique_ptr<TDecodeInput> FDecodeIn;
  std::unique_ptr<TDecodeOutput> FDecodeOut;
  std::string FSkipText;
  int FOperationDepth = 0;  // public operations in progress on this engine
  // While extracting; deleted where the type is complete (Extract.cpp).
  struct TExtractRunDelete {
    void operator()(TExtractRun* run) const;
  };
  std::unique_ptr<TExtractRun, TExtractRunDelete> FRun;
};

}  // namespace vz
