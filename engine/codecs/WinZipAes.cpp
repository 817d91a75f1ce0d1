// The key stream is made a few hundred blocks at a time: counters written
// into a buffer and enciphered by one ECB call, which lets Nettle's AES-NI
// code run blocks side by side.
#include "engine/codecs/WinZipAes.h"

#include <nettle/aes.h>
#include <nettle/hmac.h>
#include <nettle/memops.h>
#include <nettle/memxor.h>
#include <nettle/pbkdf2.h>

#include <algorithm>
#include <optional>
#include <variant>

namespace vz {
namespace {

constexpr unsigned kPbkdf2Rounds = 1000;
constexpr std::size_t kBlock = 16;
constexpr std::size_t kStreamBlocks = 256;

}  // namespace

std::optional<TAesExtraField> ParseAesExtraField(std::span<const u8> data) {
  if (data.size() < kAesExtraFieldDataSize) return std::nullopt;
  const u16 version = static_cast<u16>(data[0] | data[1] << 8);
  if ((version != kAesVersion1 && version != kAesVersion2) || data[2] != 'A' || data[3] != 'E' ||
      data[4] < 1 || data[4] > 3) {
    return std::nullopt;
  }
  return TAesExtraField{version, static_cast<TAesStrength>(data[4]),
                        static_cast<u16>(data[5] | data[6] << 8)};
}

std::array<u8, kAesExtraFieldDataSize> AesExtraFieldData(const TAesExtraField& field) {
  return {static_cast<u8>(field.Version),
          static_cast<u8>(field.Version >> 8),
          u8{'A'},
          u8{'E'},
          static_cast<u8>(field.Strength),
          static_cast<u8>(field.Method),
          static_cast<u8>(field.Method >> 8)};
}

struct TWinZipAes::TState {
  std::variant<aes128_ctx, aes192_ctx, aes256_ctx> Cipher;
  hmac_sha1_ctx Mac{};
  // The counter as the format counts it: 16 bytes, little-endian.
  u64 CounterLow = 0;
  u64 CounterHigh = 0;
  std::array<u8, kStreamBlocks * kBlock> Stream{};
  std::size_t StreamUsed = 0;
  std::size_t StreamMade = 0;

  void MakeStream(std::size_t bytesWanted) {
    const std::size_t blocks = std::min((bytesWanted + kBlock - 1) / kBlock, kStreamBlocks);
    for (std::size_t b = 0; b < blocks; ++b) {
      if (++CounterLow == 0) ++CounterHigh;
      u8* block = Stream.data() + b * kBlock;
      for (unsigned i = 0; i < 8; ++i) {
        block[i] = static_cast<u8>(CounterLow >> (8 * i));
        block[8 + i] = static_cast<u8>(CounterHigh >> (8 * i));
      }
    }
    const std::size_t n = blocks * kBlock;
    std::visit(
        [&](auto& ctx) {
          using T = std::decay_t<decltype(ctx)>;
          if constexpr (std::is_same_v<T, aes128_ctx>) {
            aes128_encrypt(&ctx, n, Stream.data(), Stream.data());
          } else if constexpr (std::is_same_v<T, aes192_ctx>) {
            aes192_encrypt(&ctx, n, Stream.data(), Stream.data());
          } else {
            aes256_encrypt(&ctx, n, Stream.data(), Stream.data());
          }
        },
        Cipher);
    StreamUsed = 0;
    StreamMade = n;
  }
};

TWinZipAes::TWinZipAes() : FState(std::make_unique<TState>()) {}
TWinZipAes::~TWinZipAes() = default;

void TWinZipAes::Start(TAesStrength strength, std::string_view password, std::span<const u8> salt,
                       std::span<u8, kAesVerifierSize> verifier) {
  const std::size_t keyBytes = AesKeyBytes(strength);
  std::array<u8, 2 * 32 + kAesVerifierSize> keys{};
  pbkdf2_hmac_sha1(password.size(), reinterpret_cast<const u8*>(password.data()), kPbkdf2Rounds,
                   salt.size(), salt.data(), 2 * keyBytes + kAesVerifierSize, keys.data());
  TState& s = *FState;
  switch (strength) {
    case TAesStrength::Aes128:
      aes128_set_encrypt_key(&s.Cipher.emplace<aes128_ctx>(), keys.data());
      break;
    case TAesStrength::Aes192:
      aes192_set_encrypt_key(&s.Cipher.emplace<aes192_ctx>(), keys.data());
      break;
    case TAesStrength::Aes256:
      aes256_set_encrypt_key(&s.Cipher.emplace<aes256_ctx>(), keys.data());
      break;
  }
  hmac_sha1_set_key(&s.Mac, keyBytes, keys.data() + keyBytes);
  std::copy_n(keys.data() + 2 * keyBytes, kAesVerifierSize, verifier.data());
  s.CounterLow = 0;
  s.CounterHigh = 0;
  s.StreamUsed = 0;
  s.StreamMade = 0;
}

bool TWinZipAes::StartReading(TAesStrength strength, std::string_view password,
                              std::span<const u8> header) {
  const std::size_t saltBytes = AesSaltBytes(strength);
  if (header.size() != AesHeaderBytes(strength)) return false;
  std::array<u8, kAesVerifierSize> verifier{};
  Start(strength, password, header.first(saltBytes), verifier);
  const std::span<const u8> stored = header.subspan(saltBytes);
  return std::equal(verifier.begin(), verifier.end(), stored.begin());
}

std::vector<u8> TWinZipAes::StartWriting(TAesStrength strength, std::string_view password,
                                         std::span<const u8> salt) {
  std::vector<u8> header(salt.begin(), salt.end());
  header.resize(salt.size() + kAesVerifierSize);
  Start(strength, password, salt,
        std::span<u8, kAesVerifierSize>(header.data() + salt.size(), kAesVerifierSize));
  return header;
}

void TWinZipAes::Crypt(std::span<u8> data) {
  TState& s = *FState;
  while (!data.empty()) {
    if (s.StreamUsed == s.StreamMade) s.MakeStream(data.size());
    const std::size_t n = std::min(data.size(), s.StreamMade - s.StreamUsed);
    memxor(data.data(), s.Stream.data() + s.StreamUsed, n);
    s.StreamUsed += n;
    data = data.subspan(n);
  }
}

void TWinZipAes::Decrypt(std::span<u8> data) {
  hmac_sha1_update(&FState->Mac, data.size(), data.data());
  Crypt(data);
}

void TWinZipAes::Encrypt(std::span<u8> data) {
  Crypt(data);
  hmac_sha1_update(&FState->Mac, data.size(), data.data());
}

std::array<u8, kAesMacSize> TWinZipAes::AuthenticationCode() {
  std::array<u8, kAesMacSize> code{};
  hmac_sha1_digest(&FState->Mac, code.size(), code.data());
  return code;
}

bool TWinZipAes::Authentic(std::span<const u8> stored) {
  const std::array<u8, kAesMacSize> code = AuthenticationCode();
  return stored.size() == code.size() && memeql_sec(stored.data(), code.data(), code.size()) != 0;
}

}  // namespace vz
