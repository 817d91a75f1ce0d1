#include "platform/Errors.h"

#include <cstring>

namespace vz {

std::string SystemErrorText(int code) {
  char buffer[256];
  // GNU strerror_r returns the text, which may or may not live in `buffer`.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  return text;
}

std::string FileErrorMessage(const std::string& path, int code) {
  return path + ": " + SystemErrorText(code);
}

}  // namespace vz
