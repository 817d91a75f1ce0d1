// TMemberEdits: members handed to a viewer or editor, watched while the
// program runs so that a changed copy can be put back into its archive.
// Editors save by writing a new file and renaming it over the old one, so
// each member's own folder is watched as well as the file; a save counts
// once the file on disk differs (time, size or the file itself) from what
// was last seen, and is reported a moment after the writing has stopped.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/writer/ZipEngine.h"
#include "platform/FileSystem.h"

class QFileSystemWatcher;

namespace vz {

// What identifies one state of a file: a file replaced under the same name
// has another inode.
struct TFileStamp {
  TFileTime LastWrite{};
  i64 Size = -1;
  u64 Device = 0;
  u64 Inode = 0;
  bool Exists = false;
  friend bool operator==(const TFileStamp&, const TFileStamp&) = default;
};
TFileStamp StampOf(IFileSystem& files, const std::string& path);

struct TMemberEdit {
  std::string Archive;      // the archive's path
  std::string Member;       // the member's stored name
  std::string File;         // its copy in the private folder
  TFileStamp FileStamp;     // the copy as last seen
  TFileStamp ArchiveStamp;  // the archive as it was when the member was copied
  u32 Crc = 0;              // the member as it was copied: a save that
  i64 Size = 0;             // leaves it so is no change
  bool MultiDisk = false;
  // The password the member was read with, for an encrypted member: held
  // here for this edit alone and wiped with it.
  std::string Password;
  // And its cipher, which the saved copy gets again (an AES-192 member
  // comes back as AES-256, the nearest the writer makes).
  TZipEncryption Encryption = TZipEncryption::Traditional;
  ~TMemberEdit();
};

class TMemberEdits : public QObject {
  Q_OBJECT
 public:
  // How long the writing must have stopped before a save is reported.
  static constexpr int kSettleMs = 400;

  TMemberEdits(IFileSystem& files, QObject* parent = nullptr);
  ~TMemberEdits() override;

  void Watch(TMemberEdit edit);
  // Called once per save with the edit whose copy changed (FileStamp
  // already the new state). Not called while CanAsk says no; the save is
  // then reported when it says yes.
  std::function<void(TMemberEdit& edit)> OnSaved;
  std::function<bool()> CanAsk;
  // After the program itself wrote `archive`: edits that saw it as `before`
  // now see it as it is, so that only changes by others count.
  void ArchiveWritten(const std::string& archive, const TFileStamp& before);
  std::size_t Count() const { return FEdits.size(); }

 private:
  void Changed();
  void Check();

  IFileSystem& FFiles;
  QFileSystemWatcher* FWatcher;
  QTimer FSettle;
  std::vector<std::unique_ptr<TMemberEdit>> FEdits;
  bool FReporting = false;
  bool FDirty = false;  // a change came in while a save was being reported
};

}  // namespace vz
