// The desktop's file operations: the trash and opening a document with the
// program the desktop associates with it.
#pragma once

#include <string>
#include <vector>

namespace vz {

class IShell {
 public:
  virtual ~IShell() = default;
  // Moves every path into the desktop's trash, where a file manager shows it
  // and can put it back. True only when every one was moved; otherwise
  // LastError() holds the first failure, and the files moved before it stay
  // in the trash. Asks nothing: confirmation is the caller's business.
  virtual bool MoveToTrash(const std::vector<std::string>& paths) = 0;
  // Opens the file with its associated program, without waiting.
  virtual bool OpenDocument(const std::string& path) = 0;
  virtual int LastError() const = 0;
};

}  // namespace vz
