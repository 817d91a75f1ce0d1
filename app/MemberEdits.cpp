#include "app/MemberEdits.h"

#include <QFileSystemWatcher>

#include "platform/FileHelpers.h"

namespace vz {
namespace {

QString Qt(const std::string& path) {
  return QString::fromStdString(path);
}

}  // namespace

TFileStamp StampOf(IFileSystem& files, const std::string& path) {
  const auto info = files.Stat(path);
  if (!info) return {};
  return {info->LastWrite, info->Size, info->Device, info->Inode, true};
}

TMemberEdit::~TMemberEdit() {
  // The password leaves no copy in freed memory.
  volatile char* bytes = Password.data();
  for (std::size_t i = 0; i < Password.size(); ++i) bytes[i] = 0;
}

TMemberEdits::TMemberEdits(IFileSystem& files, QObject* parent)
    : QObject(parent), FFiles(files), FWatcher(new QFileSystemWatcher(this)) {
  FSettle.setSingleShot(true);
  FSettle.setInterval(kSettleMs);
  connect(&FSettle, &QTimer::timeout, this, &TMemberEdits::Check);
  connect(FWatcher, &QFileSystemWatcher::directoryChanged, this, &TMemberEdits::Changed);
  connect(FWatcher, &QFileSystemWatcher::fileChanged, this, &TMemberEdits::Changed);
}

TMemberEdits::~TMemberEdits() = default;

void TMemberEdits::Watch(TMemberEdit edit) {
  FWatcher->addPath(Qt(FolderOf(edit.File)));
  FWatcher->addPath(Qt(edit.File));
  FEdits.push_back(std::make_unique<TMemberEdit>(std::move(edit)));
}

// Every write restarts the wait, so a save is looked at once it is whole.
void TMemberEdits::Changed() {
  FDirty = true;
  FSettle.start();
}

void TMemberEdits::Check() {
  if (FReporting) return;  // looked at again once that report is over
  if (CanAsk && !CanAsk()) {
    FSettle.start();  // ask again once the window is free
    return;
  }
  FReporting = true;
  FDirty = false;
  for (std::size_t n = 0; n < FEdits.size(); ++n) {
    TMemberEdit& edit = *FEdits[n];
    const TFileStamp now = StampOf(FFiles, edit.File);
    if (!now.Exists || now == edit.FileStamp) continue;
    edit.FileStamp = now;
    // A file renamed over the watched one is a new file to watch.
    FWatcher->addPath(Qt(edit.File));
    if (OnSaved) OnSaved(edit);
  }
  FReporting = false;
  if (FDirty) FSettle.start();
}

void TMemberEdits::ArchiveWritten(const std::string& archive, const TFileStamp& before) {
  const TFileStamp after = StampOf(FFiles, archive);
  for (const auto& edit : FEdits) {
    if (edit->Archive == archive && edit->ArchiveStamp == before) edit->ArchiveStamp = after;
  }
}

}  // namespace vz
