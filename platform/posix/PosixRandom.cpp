#include <sys/random.h>

#include <cerrno>

#include "platform/Errors.h"
#include "platform/posix/PosixPlatform.h"

namespace vz {

void TPosixRandom::Fill(std::span<u8> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::getrandom(bytes.data() + done, bytes.size() - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EVarnelError("Cannot read the system's random source: " + SystemErrorText(errno));
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace vz
