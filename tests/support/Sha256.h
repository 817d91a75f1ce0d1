// SHA-256 (FIPS 180-4), to check decoded members against published digests.
#pragma once

#include <span>
#include <string>

#include "platform/Types.h"

namespace vz::test {

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::span<const u8> data);

}  // namespace vz::test
