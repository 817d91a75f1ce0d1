// Several files read as one, one after the other: an archive that another
// program cut into plain byte slices (name.zip.001, name.zip.002, ...), whose
// offsets count from the start of the first slice. Read-only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace vz {

// Opens every path for reading (EFOpenError names the one that fails).
std::unique_ptr<IFile> OpenJoinedFile(IFileSystem& files, const std::vector<std::string>& paths);

}  // namespace vz
