// The ZIP format's traditional password cipher: three 32-bit keys stirred by
// every plain byte. Weak by today's standards, kept for compatibility.
#pragma once

#include <span>
#include <string_view>

#include "engine/support/Crc32.h"

namespace vz {

class TZipCipher {
 public:
  u32 Key0 = 0x12345678;
  u32 Key1 = 0x23456789;
  u32 Key2 = 0x34567890;

  // Resets the keys and feeds them the password's bytes in order.
  void InitKeys(std::string_view password) {
    Key0 = 0x12345678;
    Key1 = 0x23456789;
    Key2 = 0x34567890;
    for (const char c : password) UpdateKeys(static_cast<u8>(c));
  }

  void UpdateKeys(u8 c) {
    Key0 = Crc32Step(Key0, c);
    Key1 = (Key1 + (Key0 & 0xFF)) * 134775813u + 1;
    Key2 = Crc32Step(Key2, static_cast<u8>(Key1 >> 24));
  }

  u8 DecryptByte() const {
    const u32 t = (Key2 & 0xFFFF) | 2;
    return static_cast<u8>((t * (t ^ 1)) >> 8);
  }

  void Decrypt(std::span<u8> buffer) {
    for (auto& b : buffer) {
      b = static_cast<u8>(b ^ DecryptByte());
      UpdateKeys(b);
    }
  }

  u8 Encrypt(u8 plain) {
    const u8 t = DecryptByte();
    UpdateKeys(plain);
    return static_cast<u8>(plain ^ t);
  }

  void Encrypt(std::span<u8> buffer) {
    for (auto& b : buffer) b = Encrypt(b);
  }
};

}  // namespace vz
