#include "app/dialogs/FolderReader.h"

#include <algorithm>

namespace vz {
namespace {

std::string Join(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// `inner` is `outer` or lies below it.
bool Contains(const std::string& outer, const std::string& inner) {
  if (outer == "/" || outer == inner) return true;
  return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
         inner[outer.size()] == '/';
}

}  // namespace

bool LeadsIntoLoop(const std::string& target, const std::string& folderReal,
                   const std::vector<std::string>& ancestorReals) {
  if (target.empty()) return false;
  if (Contains(target, folderReal)) return true;
  return std::any_of(ancestorReals.begin(), ancestorReals.end(),
                     [&](const std::string& ancestor) { return Contains(target, ancestor); });
}

TFolderReader::TFolderReader(IFileSystem& files, TDeliver deliver)
    : FFiles(files), FDeliver(std::move(deliver)) {}

TFolderReader::~TFolderReader() {
  if (FThread.joinable()) {
    FThread.request_stop();
    FWake.notify_all();
    FThread.join();
  }
}

void TFolderReader::Request(TFolderRequest request) {
  std::lock_guard lock(FMutex);
  FActive.insert(request.Id);
  FQueue.push_back(std::move(request));
  if (!FThread.joinable()) {
    FThread = std::jthread([this](std::stop_token stop) { Run(stop); });
  }
  FWake.notify_one();
}

void TFolderReader::Drop(u64 id) {
  std::lock_guard lock(FMutex);
  FActive.erase(id);
}

bool TFolderReader::Wanted(u64 id) {
  std::lock_guard lock(FMutex);
  return FActive.count(id) != 0;
}

void TFolderReader::Run(std::stop_token stop) {
  while (true) {
    TFolderRequest request;
    {
      std::unique_lock lock(FMutex);
      if (!FWake.wait(lock, stop, [this] { return !FQueue.empty(); })) return;
      request = std::move(FQueue.front());
      FQueue.pop_front();
      if (FActive.count(request.Id) == 0) continue;
    }
    std::vector<TShellItem> items = ReadItems(FFiles, request);
    std::size_t sent = 0;
    do {
      if (stop.stop_requested() || !Wanted(request.Id)) break;
      const std::size_t count = std::min(kBatchSize, items.size() - sent);
      std::vector<TShellItem> batch(std::make_move_iterator(items.begin() + sent),
                                    std::make_move_iterator(items.begin() + sent + count));
      sent += count;
      FDeliver(request.Id, std::move(batch), sent == items.size());
    } while (sent < items.size());
    Drop(request.Id);
  }
}

std::vector<TShellItem> TFolderReader::ReadItems(IFileSystem& files,
                                                 const TFolderRequest& request) {
  std::vector<TDirEntry> entries;
  std::vector<TShellItem> items;
  if (!files.ListFolder(request.Folder, entries)) return items;  // quietly, as the shell does
  items.reserve(entries.size());
  for (const TDirEntry& entry : entries) {
    const bool hidden = entry.Name.front() == '.' || (entry.Info.Attributes & faAttr::Hidden) != 0;
    const bool folder = entry.Info.IsDirectory;
    if ((hidden && !request.IncludeHidden) || (request.FoldersOnly && !folder)) continue;
    if (!request.FileSystemOnly && !folder) continue;
    TShellItem item;
    item.Caption = DisplayText(entry.Name);
    item.Icon = folder ? TShellIconKind::Folder : TShellIconKind::File;
    TShellItemData& data = item.Data;
    data.Path = Join(request.Folder, entry.Name);
    data.IsFolder = folder;
    data.IsLink = entry.Info.IsSymlink;
    data.IsHidden = hidden;
    if (folder) {
      data.RealPath =
          data.IsLink ? files.RealPath(data.Path) : Join(request.FolderReal, entry.Name);
      data.IsLoop =
          data.IsLink && LeadsIntoLoop(data.RealPath, request.FolderReal, request.AncestorReals);
    }
    items.push_back(std::move(item));
  }
  if (request.Less) std::stable_sort(items.begin(), items.end(), request.Less);
  return items;
}

}  // namespace vz
