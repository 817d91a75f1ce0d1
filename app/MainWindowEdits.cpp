// TfrmMain: a member edited in the program it was handed to. When its copy
// is saved, the window asks whether to put it back, and replaces the member
// under its stored name, encrypted again with the password it was read
// with. Self-extracting and multi-disk archives are never changed, nor an
// archive that someone else changed since the member was copied.
#include <QApplication>
#include <QProgressBar>
#include <array>

#include "app/MainWindow.h"
#include "app/MemberEdits.h"
#include "app/OperationRunner.h"
#include "app/ScopeExit.h"
#include "app/core/AppInfo.h"
#include "app/core/Helpers.h"
#include "app/core/ViewerFiles.h"
#include "engine/support/Crc32.h"
#include "engine/support/PathUtils.h"
#include "engine/support/Stream.h"
#include "platform/Errors.h"
#include "platform/FileHelpers.h"

namespace vz {
namespace {

// The copy's CRC-32 and size; nullopt when it cannot be read.
std::optional<std::pair<u32, i64>> CrcOfFile(IFileSystem& files, const std::string& path) {
  try {
    const auto file = files.Open(path, TOpenMode::ReadDenyNone);
    std::array<u8, 65536> buffer{};
    u32 crc = 0xFFFFFFFFu;
    i64 size = 0;
    for (std::size_t got; (got = file->Read(buffer)) > 0;) {
      crc = UpdateCrc(crc, std::span<const u8>(buffer.data(), got));
      size += static_cast<i64>(got);
    }
    return std::pair{~crc, size};
  } catch (const EFileError&) {
    return std::nullopt;
  }
}

}  // namespace

void TfrmMain::WatchEdit(const std::string& name, const std::string& path) {
  IFileSystem& files = FApp.Platform.Files;
  TMemberEdit edit;
  edit.Archive = ZipEngine.ZipName();
  edit.Member = name;
  edit.File = path;
  edit.FileStamp = StampOf(files, path);
  edit.ArchiveStamp = StampOf(files, edit.Archive);
  edit.MultiDisk = IsMultiDisk();
  for (int i = 0; i < ZipEngine.Count(); ++i) {
    if (ZipEngine.FullName(i) != name) continue;
    edit.Crc = ZipEngine.Crc(i);
    edit.Size = ZipEngine.UncompressedSize(i);
    if (ZipEngine.IsEncrypted(i)) edit.Password = ZipEngine.Password;
    const std::string cipher = ZipEngine.EncryptionName(i);
    if (cipher.starts_with("AES-")) {
      edit.Encryption = cipher == "AES-128" ? TZipEncryption::Aes128 : TZipEncryption::Aes256;
    }
    break;
  }
  FEdits->Watch(std::move(edit));
}

void TfrmMain::MemberSaved(TMemberEdit& edit) {
  const auto content = CrcOfFile(FApp.Platform.Files, edit.File);
  if (!content || (content->first == edit.Crc && content->second == edit.Size)) return;
  const std::string archive = FileNameOf(edit.Archive);
  const std::string cannot = edit.Member + " was changed, but " + archive;
  if (IsSfxName(edit.Archive)) {
    ShowInfo(FApp, cannot + " is a self-extracting archive, which cannot be changed.");
    return;
  }
  if (edit.MultiDisk) {
    ShowInfo(FApp, cannot + " is spread over several disks, which cannot be changed.");
    return;
  }
  const std::string changed =
      cannot + " has changed since the member was opened, so " + edit.Member + " is not updated.";
  if (StampOf(FApp.Platform.Files, edit.Archive) != edit.ArchiveStamp) {
    ShowWarning(FApp, changed);
    return;
  }
  if (!AskYesNo(FApp, "Update " + edit.Member + " in " + archive + "?", true)) return;
  if (StampOf(FApp.Platform.Files, edit.Archive) != edit.ArchiveStamp) {
    ShowWarning(FApp, changed);
    return;
  }
  Guarded([&] { ReplaceMember(edit); });
}

// The copy is put where the member's stored name leads below a private
// staging folder, so that a zip of its own, relative to that folder,
// replaces the member in place in one rewrite. The password goes into that
// engine, which ends with the update; the window's keeps none.
void TfrmMain::ReplaceMember(TMemberEdit& edit) {
  IFileSystem& files = FApp.Platform.Files;
  const std::string folderPart = ExtractFilePath(edit.Member);
  if (edit.Member.starts_with('/') || !ExtractDrive(edit.Member).empty()) {
    ShowWarning(FApp, edit.Member + " is stored with a path from the root, which an update " +
                          "cannot keep, so it is not updated.");
    return;
  }
  TBusyCursor busy(FApp.Platform.Host);
  const TScopeExit done([this] {
    FProgress->setValue(0);
    StatusBarMsg("");
  });
  StatusBarMsg("Updating " + edit.Member + "...");
  std::string staging;
  int error = 0;
  const auto root = FViewerFolder->NewMemberFolder(staging, error);
  if (!root) {
    ShowWarning(FApp, SystemErrorText(error));
    return;
  }
  const TScopeExit removeStaging([&] { RemoveMemberFolder(files, staging); });
  const auto folder = folderPart.empty()
                          ? root->OpenFolder("", false)
                          : root->OpenFolder(folderPart.substr(0, folderPart.size() - 1), true);
  if (!folder) {
    ShowWarning(FApp, edit.Member + " could not be updated.");
    return;
  }
  const TFileStamp before = StampOf(files, edit.Archive);
  int replaced = 0;
  FRunner->Run([&] {
    {
      TFileStream source(files.Open(edit.File, TOpenMode::ReadDenyNone));
      TFileStream staged(folder->CreateNew(ExtractFileName(edit.Member)));
      staged.CopyFrom(source, -1);
      staged.File().SetLastWriteTime(source.File().LastWriteTime());
    }
    TZipEngine engine(FApp.Platform);
    const TScopeExit forget([&engine] { engine.Password.assign(engine.Password.size(), '\0'); });
    engine.DoProcessMessages = false;
    engine.SetZipName(edit.Archive);
    engine.ReadZip();
    engine.ZipAction = TZipAction::zaReplace;
    engine.PackLevel = FAppInfo.DefCompressLevel;
    engine.Password = edit.Password;
    engine.Encryption = edit.Encryption;
    engine.SetRootDir(staging);
    engine.SetRelativePaths(true);
    engine.Recurse = false;
    engine.FilesList = {staging + edit.Member};
    replaced = engine.PerformZip();
  });
  FEdits->ArchiveWritten(edit.Archive, before);
  if (replaced != 1) {
    ShowWarning(FApp, edit.Member + " could not be updated.");
    return;
  }
  if (FTree && ZipEngine.ZipName() == edit.Archive) {
    OpenArchive();
    BuildFolderTree();
    FillFileList();
    UpdateCommands();
  }
}

}  // namespace vz
