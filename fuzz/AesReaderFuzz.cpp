// The AES reader over an AES member's stored bytes (salt, verifier, data,
// code), with a fixed password. Header:
//   byte 0     bits 0-1 the key size (1 AES-128, 2 AES-192, else AES-256);
//              bit 2: the rest is a salt and plain data, enciphered here into
//              a well-formed member first; bit 3: the stored verifier is
//              replaced by the right one, so that made-up data gets past it;
//              bits 4-5 the method of the data (stored, deflate, Deflate64,
//              BZip2)
//   byte 1     the size of the pieces the data is deciphered in (0: 16000)
//   bytes 2-4  the uncompressed size (little-endian, at most 4 MiB)
// Checked: the verifier is accepted exactly when it is the one the password
// and salt give; deciphering in pieces and enciphering again gives back the
// stored data and the same code, and the stored code is accepted exactly
// when it is that code; a member made here deciphers to its plain data and
// passes; the plain data then decodes as the decoder targets require.
#include <algorithm>
#include <vector>

#include "engine/codecs/Decoders.h"
#include "engine/codecs/WinZipAes.h"
#include "fuzz/FuzzSupport.h"

namespace {

using namespace vz;

constexpr std::string_view kPassword = "fuzz password";
constexpr std::array<u16, 4> kMethods = {0, 8, 9, 12};

TAesStrength StrengthOf(u8 bits) {
  switch (bits & 3) {
    case 1:
      return TAesStrength::Aes128;
    case 2:
      return TAesStrength::Aes192;
    default:
      return TAesStrength::Aes256;
  }
}

// Salt from the front of `rest` (zeros past its end), the plain data after
// it, enciphered: header, data and code as a writer stores them.
std::vector<u8> MakeMember(TAesStrength strength, std::span<const u8> rest,
                           std::vector<u8>& plain) {
  std::vector<u8> salt(AesSaltBytes(strength), 0);
  const std::size_t saltBytes = std::min(rest.size(), salt.size());
  std::copy_n(rest.begin(), saltBytes, salt.begin());
  plain.assign(rest.begin() + static_cast<std::ptrdiff_t>(saltBytes), rest.end());
  TWinZipAes writer;
  std::vector<u8> member = writer.StartWriting(strength, kPassword, salt);
  std::vector<u8> data = plain;
  writer.Encrypt(data);
  const auto code = writer.AuthenticationCode();
  member.insert(member.end(), data.begin(), data.end());
  member.insert(member.end(), code.begin(), code.end());
  return member;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  fuzz::TParamReader reader({bytes, size});
  const u8 mode = reader.Byte();
  const u8 pieceByte = reader.Byte();
  const std::size_t piece = pieceByte == 0 ? TDecodeInput::kBufferSize : pieceByte;
  const u32 uncompressedSize = std::min(reader.LE24(), fuzz::kMaxOutputBytes);
  const TAesStrength strength = StrengthOf(mode);
  const bool madeHere = (mode & 4) != 0;

  std::vector<u8> original;
  std::vector<u8> member = madeHere ? MakeMember(strength, reader.Rest(), original)
                                    : std::vector<u8>(reader.Rest().begin(), reader.Rest().end());
  // A member too short for its header and code is refused before any of this.
  if (member.size() < AesOverheadBytes(strength)) return 0;
  const std::size_t headerBytes = AesHeaderBytes(strength);
  const auto salt = std::span(member).first(AesSaltBytes(strength));
  TWinZipAes check;
  const std::vector<u8> rightHeader = check.StartWriting(strength, kPassword, salt);
  if ((mode & 8) != 0) std::copy(rightHeader.begin(), rightHeader.end(), member.begin());

  TWinZipAes aes;
  const bool accepted = aes.StartReading(strength, kPassword, std::span(member).first(headerBytes));
  fuzz::Check(accepted == std::equal(rightHeader.begin(), rightHeader.end(), member.begin()),
              "the verifier check disagrees with the derived verifier");
  fuzz::Check(accepted || !madeHere, "a member made here failed its verifier");
  if (!accepted) return 0;

  const auto stored =
      std::span(member).subspan(headerBytes, member.size() - headerBytes - kAesMacSize);
  const auto storedCode = std::span(member).last(kAesMacSize);
  std::vector<u8> plain(stored.begin(), stored.end());
  for (std::size_t at = 0; at < plain.size(); at += piece) {
    aes.Decrypt(std::span(plain).subspan(at, std::min(piece, plain.size() - at)));
  }
  std::vector<u8> again = plain;
  check.Encrypt(again);
  fuzz::Check(std::equal(again.begin(), again.end(), stored.begin(), stored.end()),
              "deciphering and enciphering again changed the data");
  const auto code = check.AuthenticationCode();
  const bool authentic = aes.Authentic(storedCode);
  fuzz::Check(authentic == std::equal(code.begin(), code.end(), storedCode.begin()),
              "the code check disagrees with the computed code");
  fuzz::Check(!madeHere || (authentic && plain == original),
              "a member made here did not come back whole");

  const u16 method = kMethods[(mode >> 4) & 3];
  fuzz::TDecoderParams params;
  params.UncompressedSize = uncompressedSize;
  params.Data = plain;
  fuzz::CheckDecoder(params, [&](TDecodeInput& in, TDecodeOutput& out) {
    DecodeMember(method, 0, static_cast<u32>(plain.size()), uncompressedSize, in, out);
  });
  return 0;
}
