// The wall clock and the random source, both replaceable so tests are
// repeatable.
#pragma once

#include <span>

#include "platform/FileSystem.h"

namespace vz {

class IClock {
 public:
  virtual ~IClock() = default;
  virtual TFileTime Now() = 0;
};

class IRandom {
 public:
  virtual ~IRandom() = default;
  // Cryptographic-quality bytes from the operating system.
  virtual void Fill(std::span<u8> bytes) = 0;
};

}  // namespace vz
