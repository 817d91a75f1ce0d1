// Reads folders for the shell tree and its list on a thread of its own, so
// a folder of many thousand entries (or a slow network mount) never stops
// the dialog: the entries are filtered and sorted there and come back in
// batches, which the caller hands to its user-interface thread.
//
// The file system's ListFolder and RealPath are called from that thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/dialogs/ShellItem.h"
#include "platform/FileSystem.h"

namespace vz {

struct TFolderRequest {
  u64 Id = 0;
  std::string Folder;                      // the folder to read (bytes)
  std::string FolderReal;                  // where it really is
  std::vector<std::string> AncestorReals;  // where its ancestors really are
  bool FoldersOnly = true;
  bool IncludeHidden = false;
  // Without it only folders pass, as in the shell; with it everything on
  // disk does.
  bool FileSystemOnly = false;
  TShellItemLess Less;  // empty: the order the file system lists
};

class TFolderReader {
 public:
  // Runs on the reader's thread: one batch of items of request `id`; `last`
  // on the final batch (which may be empty, also when the folder could not
  // be read).
  using TDeliver = std::function<void(u64 id, std::vector<TShellItem> items, bool last)>;
  static constexpr std::size_t kBatchSize = 256;

  TFolderReader(IFileSystem& files, TDeliver deliver);
  // Waits for the folder being read, if any, and delivers nothing more.
  ~TFolderReader();
  TFolderReader(const TFolderReader&) = delete;
  TFolderReader& operator=(const TFolderReader&) = delete;

  void Request(TFolderRequest request);
  // The request delivers nothing more (its queued reading is skipped).
  void Drop(u64 id);

  // The items of a folder as a request asks for them, read on the caller's
  // thread.
  static std::vector<TShellItem> ReadItems(IFileSystem& files, const TFolderRequest& request);

 private:
  void Run(std::stop_token stop);
  bool Wanted(u64 id);

  IFileSystem& FFiles;
  TDeliver FDeliver;
  std::mutex FMutex;
  std::condition_variable_any FWake;
  std::deque<TFolderRequest> FQueue;
  std::set<u64> FActive;  // queued or being read, not dropped
  std::jthread FThread;   // started by the first request
};

// A linked folder leads into a loop when its target is where it lies, or
// contains it or one of its ancestors.
bool LeadsIntoLoop(const std::string& target, const std::string& folderReal,
                   const std::vector<std::string>& ancestorReals);

}  // namespace vz
