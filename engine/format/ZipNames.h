// Member names between their stored form and the in-memory form.
//
// In memory a name is UTF-8 with "/" between folders; its directory part is
// empty or ends in "/". Stored names use "/" too. A name that code page 437
// can represent is stored in CP437 (pure ASCII is unchanged); any other name
// is stored as UTF-8 with general-purpose flag bit 11, which is also how a
// stored name is decoded. Names that DOS tools stored with "\" read back
// with "/".
#pragma once

#include <string>
#include <string_view>

#include "engine/support/AsciiCase.h"  // the case rules names are compared by
#include "platform/Types.h"

namespace vz {

struct TStoredName {
  std::string Bytes;
  bool Utf8 = false;  // needs flag bit 11
};

// `preferUtf8`: keep UTF-8 even where CP437 would do (the entry already had
// flag bit 11), so copied members keep their names byte for byte.
TStoredName EncodeStoredName(std::string_view name, bool preferUtf8);
std::string DecodeStoredName(std::string_view stored, bool utf8Flag);

struct TSplitName {
  std::string Directory;  // empty or ends in "/"
  std::string Filename;   // after the last "/" or ":"
};
TSplitName SplitStoredName(std::string_view name);

}  // namespace vz
