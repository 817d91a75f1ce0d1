// Path spelling, and whole-file reads and crash-safe whole-file writes over
// IFileSystem for the small text files the program keeps (settings,
// folder-archive records). Nothing here depends on the real system.
#pragma once

#include <string>
#include <string_view>

#include "platform/FileSystem.h"

namespace vz {

// "/a/b/" for "/a/b/c"; empty for a bare name.
std::string FolderOf(const std::string& path);
// "c" for "/a/b/c".
std::string FileNameOf(const std::string& path);
std::string WithTrailingSlash(std::string path);
// Absolute, "."/".."-free form of a path, resolved against `currentFolder`
// without touching the file system.
std::string NormalisePath(const std::string& path, const std::string& currentFolder);

// The whole file into `text`. False with `error` (errno) when it cannot be
// read, or EFBIG when it is larger than `maxBytes`.
bool ReadWholeFile(IFileSystem& files, const std::string& path, std::string& text, int& error,
                   i64 maxBytes = i64{64} << 20);

// Creates `path` and every missing folder above it.
bool ForceFolders(IFileSystem& files, const std::string& path);

// Replaces the content of `path` (a symbolic link is followed to its target)
// so that a crash leaves either the old or the new content, never a mix: the
// data goes to a new file beside it, is flushed to the device and renamed
// over the old one, then the folder is flushed. The file keeps its access
// rights; a new one gets the owner's only. False with `error` on failure,
// which leaves the old file untouched and no temporary file behind.
bool WriteFileAtomically(IFileSystem& files, const std::string& path, std::string_view data,
                         int& error);

}  // namespace vz
