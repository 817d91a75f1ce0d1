// WinZip's AES encryption of ZIP members (AE-1 and AE-2), on Nettle. A
// member's stored data is: salt (8, 12 or 16 bytes by key size), a 2-byte
// password verifier, the enciphered data, and a 10-byte authentication code.
// PBKDF2-HMAC-SHA1 (1000 rounds) turns password and salt into the AES key,
// the HMAC key and the verifier; the data is AES in counter mode with a
// little-endian counter starting at 1 (not the big-endian counter of the
// libraries' CTR modes, so the key stream is made here from single blocks);
// the code is HMAC-SHA1 over the enciphered data, cut to 10 bytes.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/Types.h"

namespace vz {

// An AES-encrypted member's method field says 99; the real method is in the
// extra field kAesExtraFieldId, which also holds the key size.
inline constexpr u16 kAesExtraFieldId = 0x9901;
inline constexpr std::size_t kAesExtraFieldDataSize = 7;
// The extra field's vendor version: AE-1 members keep their CRC, AE-2
// members store 0 in its place and rely on the code alone.
inline constexpr u16 kAesVersion1 = 1;
inline constexpr u16 kAesVersion2 = 2;

inline constexpr std::size_t kAesVerifierSize = 2;
inline constexpr std::size_t kAesMacSize = 10;

// The extra field's strength byte.
enum class TAesStrength : u8 { Aes128 = 1, Aes192 = 2, Aes256 = 3 };

constexpr std::size_t AesKeyBytes(TAesStrength strength) {
  return 8 + 8 * std::size_t{static_cast<u8>(strength)};
}
constexpr std::size_t AesSaltBytes(TAesStrength strength) {
  return AesKeyBytes(strength) / 2;
}
// Salt and verifier, in front of the data.
constexpr std::size_t AesHeaderBytes(TAesStrength strength) {
  return AesSaltBytes(strength) + kAesVerifierSize;
}
// Everything a member's stored size holds besides its (compressed) data.
constexpr std::size_t AesOverheadBytes(TAesStrength strength) {
  return AesHeaderBytes(strength) + kAesMacSize;
}
static_assert(AesKeyBytes(TAesStrength::Aes128) == 16 && AesSaltBytes(TAesStrength::Aes192) == 12 &&
              AesOverheadBytes(TAesStrength::Aes256) == 28);

// The contents of the 0x9901 extra field.
struct TAesExtraField {
  u16 Version = kAesVersion2;  // 1 = AE-1, 2 = AE-2
  TAesStrength Strength = TAesStrength::Aes256;
  u16 Method = 0;  // the compression method of the data
  bool operator==(const TAesExtraField&) const = default;
};
// The field's 7 data bytes (without its id and size); nullopt when they are
// not an AES field that this reader knows (vendor "AE", version 1 or 2,
// strength 1 to 3).
std::optional<TAesExtraField> ParseAesExtraField(std::span<const u8> data);
std::array<u8, kAesExtraFieldDataSize> AesExtraFieldData(const TAesExtraField& field);

// One member's cipher and authentication, for reading or for writing. Not
// copyable; the keys live until the object is started again or destroyed.
class TWinZipAes {
 public:
  TWinZipAes();
  ~TWinZipAes();
  TWinZipAes(const TWinZipAes&) = delete;
  TWinZipAes& operator=(const TWinZipAes&) = delete;

  // Reading: derives the keys from `password` and the salt at the start of
  // `header` (AesHeaderBytes long) and compares the verifier after it. True,
  // and ready for Decrypt, when the verifier matches; a wrong password
  // almost always fails here (one in 65536 passes, to fail the code).
  [[nodiscard]] bool StartReading(TAesStrength strength, std::string_view password,
                                  std::span<const u8> header);
  // Writing: derives the keys from `password` and `salt` (AesSaltBytes,
  // unpredictable) and returns the header to store in front of the data.
  std::vector<u8> StartWriting(TAesStrength strength, std::string_view password,
                               std::span<const u8> salt);

  // Adds the enciphered bytes to the code, then deciphers them in place.
  void Decrypt(std::span<u8> data);
  // Enciphers in place, then adds the enciphered bytes to the code.
  void Encrypt(std::span<u8> data);

  // The code over all bytes so far, to store after the data; ends the
  // member (a further call needs a new start).
  std::array<u8, kAesMacSize> AuthenticationCode();
  // Whether `stored` is the code over all bytes so far (compared in constant
  // time); ends the member too.
  [[nodiscard]] bool Authentic(std::span<const u8> stored);

 private:
  struct TState;
  void Start(TAesStrength strength, std::string_view password, std::span<const u8> salt,
             std::span<u8, kAesVerifierSize> verifier);
  void Crypt(std::span<u8> data);

  std::unique_ptr<TState> FState;
};

}  // namespace vz
