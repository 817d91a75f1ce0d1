// vnsfx32: the self-extractor stub. It finds the archive that follows its
// own bytes (at the size recorded inside it), shows the main dialog and
// extracts there. Exit status: 0 when the extraction ended with the success
// line, 2 when the dialog was cancelled, 1 otherwise.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sfx/Dialogs.h"
#include "sfx/OwnSize.h"

namespace sfx {
namespace {

void FindOwnPath(TStub& stub, const char* argv0) {
  const ssize_t n = ::readlink("/proc/self/exe", stub.OwnPath.Data(), stub.OwnPath.MaxLength());
  if (n > 0) {
    stub.OwnPath.AdoptLength(static_cast<std::size_t>(n));
  } else if (!stub.OwnPath.Assign(argv0 != nullptr ? argv0 : "vnsfx32")) {
    (void)stub.OwnPath.Assign("vnsfx32");
  }
  stub.Caption = FileNameOf(stub.OwnPath.View());
}

int Run(TStub& stub, const char* argv0) {
  FindOwnPath(stub, argv0);
  stub.ArchiveFile = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (stub.ArchiveFile < 0 && argv0 != nullptr)
    stub.ArchiveFile = ::open(argv0, O_RDONLY | O_CLOEXEC);
  if (stub.ArchiveFile < 0) {
    ShowError(stub, {"Cannot open ", stub.OwnPath.View()});
    return 1;
  }
  struct stat info {};
  const u64 fileSize = ::fstat(stub.ArchiveFile, &info) == 0 ? static_cast<u64>(info.st_size) : 0;
  const u64 recorded = RecordedOwnSize();
  stub.ArchiveOffset = recorded == fileSize ? 0 : recorded;
  if (stub.ArchiveOffset == 0) {
    ShowError(stub, {"Cannot find attached archive."});
    ::close(stub.ArchiveFile);
    return 1;
  }

  const TDialogResult result = MainDialog(stub);
  if (::close(stub.ArchiveFile) != 0) ShowError(stub, {"Error closing file."});
  if (result == TDialogResult::Cancel && !stub.EndProgram) return 2;
  return stub.Succeeded && !stub.EndProgram ? 0 : 1;
}

}  // namespace
}  // namespace sfx

int main(int argc, char** argv) {
  sfx::TStub stub;
  return sfx::Run(stub, argc > 0 ? argv[0] : nullptr);
}
