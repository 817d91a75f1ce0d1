// Where the parts of a multi-part archive lie. Three schemes are common: the
// engine's block files name.001, name.002, ..., the last one holding the
// directory; Info-ZIP's name.z01, name.z02, ..., name.zip, where the .zip
// file is the last part; and one archive cut into plain byte slices,
// name.zip.001, name.zip.002, ... (7-Zip's "split to volumes") or
// name.split.001, .... Sibling parts are found by replacing only the final
// number of the name given, whatever comes before it. The writer's block
// files, the command line and the window's Open all follow these rules.
#pragma once

#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace vz {

// The part that holds the directory of the set `named` belongs to: the
// highest numbered part beside it, from the named one up; name.zip for
// name.z01; the highest part of name.001 (or name.zip.001) ... when `named`
// itself does not exist. Otherwise `named` unchanged.
std::string LastPartOf(IFileSystem& files, const std::string& named);

// The files that may be part `diskOneBased` of the set whose last part is
// `lastPart` (the `lastDiskOneBased`-th), the likeliest first.
std::vector<std::string> PartCandidates(const std::string& lastPart, int diskOneBased,
                                        int lastDiskOneBased);

// Part `diskOneBased` beside `archive`: a name that ends in a number
// (".001") has that number replaced, its width kept (name.zip.001 ->
// name.zip.002); any other name has its extension replaced by three digits
// (name.zip -> name.001), the names the engine gives block files.
std::string BlockPartName(const std::string& archive, int diskOneBased);

// Every part of the numbered set `named` belongs to, from the first to the
// highest, when there are two or more and none is missing; else nothing.
std::vector<std::string> NumberedParts(IFileSystem& files, const std::string& named);

}  // namespace vz
