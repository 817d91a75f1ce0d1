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

  void UpdateKeys(u8 c) { Stir(Key0, Key1, Key2, c); }

  u8 DecryptByte() const { return KeyByte(Key2); }

  // The keys live in locals for the whole buffer: a store through a byte
  // pointer may alias any object, so with the members the compiler would
  // store and reload all three around every byte, on the chain that ties
  // each byte to the one before it.
  void Decrypt(std::span<u8> buffer) {
    u32 k0 = Key0;
    u32 k1 = Key1;
    u32 k2 = Key2;
    for (auto& b : buffer) {
      const auto plain = static_cast<u8>(b ^ KeyByte(k2));
      b = plain;
      Stir(k0, k1, k2, plain);
    }
    Key0 = k0;
    Key1 = k1;
    Key2 = k2;
  }

  u8 Encrypt(u8 plain) {
    const u8 t = DecryptByte();
    UpdateKeys(plain);
    return static_cast<u8>(plain ^ t);
  }

  void Encrypt(std::span<u8> buffer) {
    u32 k0 = Key0;
    u32 k1 = Key1;
    u32 k2 = Key2;
    for (auto& b : buffer) {
      const u8 plain = b;
      b = static_cast<u8>(plain ^ KeyByte(k2));
      Stir(k0, k1, k2, plain);
    }
    Key0 = k0;
    Key1 = k1;
    Key2 = k2;
  }

  // The key stream's next byte, from the third key.
  static u8 KeyByte(u32 key2) {
    const u32 t = (key2 & 0xFFFF) | 2;
    return static_cast<u8>((t * (t ^ 1)) >> 8);
  }
  // One plain byte into the keys.
  static void Stir(u32& key0, u32& key1, u32& key2, u8 plain) {
    key0 = Crc32Step(key0, plain);
    key1 = (key1 + (key0 & 0xFF)) * 134775813u + 1;
    key2 = Crc32Step(key2, static_cast<u8>(key1 >> 24));
  }
};

}  // namespace vz
