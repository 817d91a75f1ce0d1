// The traditional ZIP password cipher as the stub uses it: testing a password
// against a member's 12-byte encryption header and decrypting the data.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "sfx/Crc32.h"

namespace sfx {

struct TCipherKeys {
  u32 Key0 = 0x12345678;
  u32 Key1 = 0x23456789;
  u32 Key2 = 0x34567890;

  void Init(std::string_view password) {
    *this = TCipherKeys{};
    for (const char c : password) Update(static_cast<u8>(c));
  }
  void Update(u8 plain) {
    Key0 = CrcStep(Key0, plain);
    Key1 = (Key1 + (Key0 & 0xFF)) * 134775813u + 1;
    Key2 = CrcStep(Key2, static_cast<u8>(Key1 >> 24));
  }
  u8 DecryptByte() const {
    const u32 t = (Key2 & 0xFFFF) | 2;
    return static_cast<u8>((t * (t ^ 1)) >> 8);
  }
  void Decrypt(std::span<u8> buffer) {
    for (u8& b : buffer) {
      b = static_cast<u8>(b ^ DecryptByte());
      Update(b);
    }
  }
};

using TEncryptionHeader = std::array<u8, 12>;

// Starts the keys from the password and runs them over a copy of the header;
// true when the twelfth plain byte is the check byte. An empty password never
// passes. After a pass the keys stand ready for the member's data.
inline bool PasswordPasses(TCipherKeys& keys, std::string_view password,
                           const TEncryptionHeader& header, u8 checkByte) {
  if (password.empty()) return false;
  keys.Init(password);
  TEncryptionHeader plain = header;
  keys.Decrypt(plain);
  return plain[11] == checkByte;
}

}  // namespace sfx
