// Members handed to an external viewer, and the hand-off itself.
//
// A viewed member is written into a private folder of ours below the
// temporary folder, never straight into the shared one, where another user
// could plant a link under the name we are about to write or read what we
// wrote. The folder gets a new random name (so nobody can have made it
// before us) and mode 0700; each member gets a numbered folder of its own
// inside, so two members of one name from different stored folders never
// collide, and keeps its file name there, made safe. Nothing is ever run
// through a shell: a viewer or a scanner receives its arguments as a list.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "app/core/AppGlobals.h"

namespace vz {

// The private folders are named this followed by random letters.
inline constexpr char kViewerFolderPrefix[] = "varnel-zip-";

// A member shown in the text pane rather than handed to the viewer: its
// lower-cased extension is empty or occurs anywhere in the text
// ".txt .me .1st .inf .ini .diz" (so a fragment such as ".in" counts too).
bool IsTextMember(std::string_view name);

// The file-name part of a stored name ("/" or "\" separated), fit to be a
// file of its own here: control characters and bytes that are not UTF-8
// become "_", at most 255 bytes (the extension kept, which viewers go by),
// and "member" for an empty name, "." or "..".
std::string SafeFileName(std::string_view storedName);

class TViewerFolder {
 public:
  explicit TViewerFolder(const TAppContext& App);
  ~TViewerFolder();
  TViewerFolder(const TViewerFolder&) = delete;
  TViewerFolder& operator=(const TViewerFolder&) = delete;

  // A new, empty folder for one member (mode 0700), held open, with its
  // path (ending in "/") in `path`. The private folder is made on first
  // use. nullptr with the errno in `error` when either cannot be made.
  std::unique_ptr<IFolder> NewMemberFolder(std::string& path, int& error);
  // The private folder, ending in "/"; empty until the first member.
  const std::string& Root() const { return FRoot; }

 private:
  bool MakeRoot(int& error);

  TAppContext FApp;
  std::string FRoot;
  std::unique_ptr<IFolder> FRootFolder;
  int FMembers = 0;
};

// Removes a viewed file together with everything else in its member folder
// (an editor's backup, say; links are removed, never followed), then the
// private folder when nothing is left in it. A path that does not lie in
// such a member folder is deleted as a single file. True when nothing of it
// is left.
bool RemoveViewedFile(IFileSystem& files, const std::string& path);

// Removes one member folder of the private folder with everything in it,
// links removed and never followed; true when it is gone.
bool RemoveMemberFolder(IFileSystem& files, const std::string& folder);

// The viewer started on one file: `viewer` with the file's path as its one
// argument.
TCommand ViewerCommand(const std::string& viewer, const std::string& path);

}  // namespace vz
