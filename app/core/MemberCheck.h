// What testing an archive checks before it decodes anything (the engine
// itself names the methods it cannot decode): that every member's local
// header says what its central record says (name, method, encryption, and the CRC
// and sizes when the header carries them). A reader that trusts the local
// header would otherwise get other bytes, or another name, than a reader
// that trusts the directory.
#pragma once

#include <string>
#include <vector>

#include "engine/reader/UnZipEngine.h"

namespace vz {

struct TMemberFault {
  int Index = 0;             // in the engine's view
  std::string Reason;        // for the user: "unsupported compression method 12 (BZIP2)"
  bool Undecodable = false;  // the method cannot be decoded: not worth trying
};

// The faults of the members of the engine's archive, by view index; a
// member may have more than one. The local headers of a multi-disk set are
// not compared. Throws the open error of the archive.
std::vector<TMemberFault> CheckMembers(IFileSystem& Files, const TUnZipEngine& Engine);

// Why `local` (a member's local header) disagrees with `central`, or "".
std::string HeaderDisagreement(const TZipHeaderInfo& local, const TZipHeaderInfo& central);

}  // namespace vz
