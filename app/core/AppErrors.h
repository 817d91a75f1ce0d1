// The application core's exceptions, each with the exact text the user sees.
#pragma once

#include <string>

#include "platform/Errors.h"

namespace vz {

// The folder-archive records: "Could not load %s." (the program cannot start)
// and "Name property is empty.".
class ECFIError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

// Text that should hold an integer does not, as "'<text>' is not a valid
// integer value".
class EConvertError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

// No mail service was found.
class EMAPIunavailable : public EVarnelError {
 public:
  EMAPIunavailable() : EVarnelError("MAPI services are not available on this system") {}
};

// The mail service was found but cannot be used. The xdg-email service has no
// library entry points to miss, so the core never raises it; it is kept for
// callers that handle both mail failures.
class EMAPIdllerror : public EVarnelError {
 public:
  EMAPIdllerror() : EVarnelError("GetProcAddress for MAPI DLL function(s) failed") {}
};

}  // namespace vz
