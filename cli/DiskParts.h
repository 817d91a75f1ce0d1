// Where the parts of a multi-part archive lie. Two naming schemes are common:
// the engine's block files name.001, name.002, ..., the last one holding the
// directory; and other archivers' name.z01, name.z02, ..., name.zip, where
// the .zip file is the last part. Whichever part the user names, the engine
// is given the last one, and asked-for parts are looked for beside it.
#pragma once

#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace vz::cli {

// The part that holds the directory of the set `named` belongs to: the
// highest of name.001, name.002, ... beside it, from the named one up; name.zip for
// name.z01; name's highest .NNN part when `named` itself does not exist.
// Otherwise `named` unchanged.
std::string LastPartOf(IFileSystem& files, const std::string& named);

// The files that may be part `diskOneBased` of the set whose last part is
// `lastPart` (the `lastDiskOneBased`-th), the likeliest first.
std::vector<std::string> PartCandidates(const std::string& lastPart, int diskOneBased,
                                        int lastDiskOneBased);

// name.001, name.002, ...: the names the engine gives block files.
std::string BlockPartName(const std::string& archive, int diskOneBased);

}  // namespace vz::cli
