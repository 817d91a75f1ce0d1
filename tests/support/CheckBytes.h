// Wrong passwords that stay wrong. Archivers draw the twelve-byte encryption
// header at random, and a wrong password passes a member's one-byte check
// about once in 256 archives; a test that means "wrong password" picks one
// that fails every member's check of the archive at hand.
#pragma once

#include <string>
#include <vector>

#include "platform/Types.h"

namespace vz::test {

// Whether the password passes the check byte of some encrypted member (found
// through the central directory, so data descriptors do not matter).
bool PassesSomeCheckByte(const std::vector<u8>& archive, const std::string& password);

// The first of "wrong", "wrong1", "wrong2", ... that passes no member's check.
std::string PasswordFailingEveryCheck(const std::vector<u8>& archive);

}  // namespace vz::test
