#include "engine/support/JoinedFile.h"

#include <algorithm>
#include <cerrno>

#include "platform/Errors.h"

namespace vz {
namespace {

class TJoinedFile : public IFile {
 public:
  explicit TJoinedFile(std::vector<std::unique_ptr<IFile>> parts) : FParts(std::move(parts)) {
    i64 start = 0;
    for (const auto& part : FParts) {
      FStarts.push_back(start);
      start += part->Size();
    }
    FSize = start;
  }

  // Messages name the first slice, the name the set goes by.
  const std::string& Path() const override { return FParts.front()->Path(); }

  std::size_t Read(std::span<u8> buffer) override {
    std::size_t done = 0;
    while (done < buffer.size() && FPosition < FSize) {
      const std::size_t index = PartAt(FPosition);
      IFile& part = *FParts[index];
      part.Seek(FPosition - FStarts[index], TSeekOrigin::Begin);
      const std::size_t got = part.Read(buffer.subspan(done));
      if (got == 0) break;  // a slice shorter than it was
      done += got;
      FPosition += static_cast<i64>(got);
    }
    return done;
  }

  std::size_t Write(std::span<const u8>) override {
    FError = EBADF;
    return 0;
  }

  i64 Seek(i64 offset, TSeekOrigin origin) override {
    const i64 base = origin == TSeekOrigin::Begin     ? 0
                     : origin == TSeekOrigin::Current ? FPosition
                                                      : FSize;
    if (base + offset < 0) throw EInOutError(Path(), EINVAL, FileErrorMessage(Path(), EINVAL));
    FPosition = base + offset;
    return FPosition;
  }

  i64 Size() override { return FSize; }
  void SetSize(i64) override { throw EInOutError(Path(), EBADF, FileErrorMessage(Path(), EBADF)); }

  TFileTime LastWriteTime() override {
    TFileTime newest{};
    for (const auto& part : FParts) newest = std::max(newest, part->LastWriteTime());
    return newest;
  }
  void SetLastWriteTime(TFileTime) override {
    throw EInOutError(Path(), EBADF, FileErrorMessage(Path(), EBADF));
  }
  void Sync() override {}
  TFileInfo Info() override { return FParts.front()->Info(); }
  bool SetMode(u32) override {
    FError = EBADF;
    return false;
  }
  int LastError() const override { return FError; }

 private:
  // The slice that holds `position` (< FSize): the last one to start at or
  // before it, so never an empty one.
  std::size_t PartAt(i64 position) const {
    const auto after = std::upper_bound(FStarts.begin(), FStarts.end(), position);
    return static_cast<std::size_t>(after - FStarts.begin()) - 1;
  }

  std::vector<std::unique_ptr<IFile>> FParts;
  std::vector<i64> FStarts;
  i64 FSize = 0;
  i64 FPosition = 0;
  int FError = 0;
};

}  // namespace

std::unique_ptr<IFile> OpenJoinedFile(IFileSystem& files, const std::vector<std::string>& paths) {
  std::vector<std::unique_ptr<IFile>> parts;
  for (const std::string& path : paths) parts.push_back(files.Open(path, TOpenMode::ReadDenyWrite));
  return std::make_unique<TJoinedFile>(std::move(parts));
}

}  // namespace vz
