// Path and file routines the engine shares. Paths use "/"; a folder part
// ends in "/".
#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/DosTime.h"

namespace vz {

// Up to and including the last "/" (empty when there is none).
std::string ExtractFilePath(std::string_view path);
// After the last "/".
std::string ExtractFileName(std::string_view path);
// From the last "." of the file name on, "" when the name has none.
std::string ExtractFileExt(std::string_view path);
// The path with its extension replaced (or added).
std::string ChangeFileExt(std::string_view path, std::string_view extension);
std::string IncludeTrailingSlash(std::string_view path);
// Removes one trailing "/" except from the root "/".
std::string ExcludeTrailingSlash(std::string_view path);
// The drive part of a name from an archive written on Windows: "C:" or
// "//server/share"; empty for everything else.
std::string ExtractDrive(std::string_view path);

// The file's last-write time as a normalised DOS value turned into a calendar
// value; the current time when the file cannot be read.
TDateTime FileDateOf(const TPlatform& platform, const std::string& path);

// Creates the folder and every missing parent. An empty name raises
// "Unable to create directory"; a folder that cannot be made raises
// EInOutError with the system's reason.
void ForceDirectories(IFileSystem& files, const std::string& path);

// Copies a file to a new name (the target is created or truncated), flushed
// to disk. Errors raise with the failing file's name.
void CopyFileContents(IFileSystem& files, const std::string& from, const std::string& to);

// A new, empty file with a unique "VLZ" name in `folder`.
std::string UniqueTempName(IFileSystem& files, const std::string& folder);

}  // namespace vz
