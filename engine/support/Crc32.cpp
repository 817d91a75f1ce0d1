// Slicing-by-8: eight derived tables let the loop fold eight input bytes per
// step with independent lookups, giving the same values as the byte loop.
// On x86-64 processors with carry-less multiplication, long buffers are
// folded 64 or 128 bytes per step instead (see FoldClmul), many times faster.
#include "engine/support/Crc32.h"

#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VZ_CRC_CLMUL 1
#endif

namespace vz {
namespace {

constexpr std::array<std::array<u32, 256>, 8> MakeSliceTables() {
  std::array<std::array<u32, 256>, 8> t{};
  t[0] = kCrcTable;
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t n = 0; n < 256; ++n) {
      t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    }
  }
  return t;
}

constexpr auto kSlice = MakeSliceTables();

u32 LoadLE32(const u8* p) {
  return static_cast<u32>(p[0]) | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 |
         static_cast<u32>(p[3]) << 24;
}

u32 UpdateSliced(u32 crc, const u8* p, std::size_t n) {
  while (n >= 8) {
    const u32 one = LoadLE32(p) ^ crc;
    const u32 two = LoadLE32(p + 4);
    crc = kSlice[7][one & 0xFF] ^ kSlice[6][(one >> 8) & 0xFF] ^ kSlice[5][(one >> 16) & 0xFF] ^
          kSlice[4][one >> 24] ^ kSlice[3][two & 0xFF] ^ kSlice[2][(two >> 8) & 0xFF] ^
          kSlice[1][(two >> 16) & 0xFF] ^ kSlice[0][two >> 24];
    p += 8;
    n -= 8;
  }
  while (n-- > 0) crc = Crc32Step(crc, *p++);
  return crc;
}

#ifdef VZ_CRC_CLMUL

// Folding. Read a 16-byte block at bit offset s of an N-bit message as the
// polynomial V(X) (its first bit the highest power, x^127); it contributes
// V(X) * x^(N-s-128). Moving it D bits on multiplies it by x^D, and with X's
// halves lo (first) and hi, V(X) * x^D = V(lo) * x^(D+64) + V(hi) * x^D.
// clmul of two reflected 64-bit values, read as a reflected 128-bit block,
// is their product times x, so the halves are multiplied by x^(D+63) and
// x^(D-1) reduced modulo the CRC polynomial: a block that keeps the message's
// value modulo the polynomial, to be xored into the block D bits on. What is
// left at the end (one block and a tail) has the message's CRC, which the
// byte tables finish. The starting register goes into the first four bytes.
constexpr u64 XPowModP(unsigned n) {
  u64 r = 1;
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if ((r & (u64{1} << 32)) != 0) r ^= 0x104C11DB7u;
  }
  return r;
}

// A reduced power as a reflected 64-bit operand: bit j holds x^(63-j).
constexpr u64 Reflected(u64 value) {
  u64 r = 0;
  for (unsigned i = 0; i < 32; ++i) {
    if ((value >> i & 1) != 0) r |= u64{1} << (63 - i);
  }
  return r;
}

constexpr u64 kFold512Lo = Reflected(XPowModP(512 + 63));
constexpr u64 kFold512Hi = Reflected(XPowModP(512 - 1));
constexpr u64 kFold128Lo = Reflected(XPowModP(128 + 63));
constexpr u64 kFold128Hi = Reflected(XPowModP(128 - 1));

[[gnu::target("pclmul")]] __m128i Fold(__m128i x, __m128i constants) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, constants, 0x00),
                       _mm_clmulepi64_si128(x, constants, 0x11));
}

__m128i Load(const u8* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Needs n >= 64; folds whole 16-byte blocks and returns the CRC register.
[[gnu::target("pclmul")]] u32 FoldClmul(u32 crc, const u8* p, std::size_t n) {
  const __m128i fold512 =
      _mm_set_epi64x(static_cast<long long>(kFold512Hi), static_cast<long long>(kFold512Lo));
  const __m128i fold128 =
      _mm_set_epi64x(static_cast<long long>(kFold128Hi), static_cast<long long>(kFold128Lo));
  __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = Load(p + 16);
  __m128i x2 = Load(p + 32);
  __m128i x3 = Load(p + 48);
  p += 64;
  n -= 64;
  for (; n >= 64; p += 64, n -= 64) {
    x0 = _mm_xor_si128(Fold(x0, fold512), Load(p));
    x1 = _mm_xor_si128(Fold(x1, fold512), Load(p + 16));
    x2 = _mm_xor_si128(Fold(x2, fold512), Load(p + 32));
    x3 = _mm_xor_si128(Fold(x3, fold512), Load(p + 48));
  }
  x1 = _mm_xor_si128(Fold(x0, fold128), x1);
  x2 = _mm_xor_si128(Fold(x1, fold128), x2);
  x3 = _mm_xor_si128(Fold(x2, fold128), x3);
  for (; n >= 16; p += 16, n -= 16) x3 = _mm_xor_si128(Fold(x3, fold128), Load(p));
  alignas(16) u8 last[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(last), x3);
  return UpdateSliced(UpdateSliced(0, last, sizeof last), p, n);
}

constexpr u64 kFold1024Lo = Reflected(XPowModP(1024 + 63));
constexpr u64 kFold1024Hi = Reflected(XPowModP(1024 - 1));

[[gnu::target("avx2,vpclmulqdq,pclmul")]] __m256i LoadWide(const u8* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

[[gnu::target("avx2,vpclmulqdq,pclmul")]] __m256i FoldWide(__m256i y, __m256i constants) {
  return _mm256_xor_si256(_mm256_clmulepi64_epi128(y, constants, 0x00),
                          _mm256_clmulepi64_epi128(y, constants, 0x11));
}

// The same folding with 256-bit registers, two blocks per multiplication:
// eight blocks (128 bytes) per step, each moved 1024 bits on.
[[gnu::target("avx2,vpclmulqdq,pclmul")]] u32 FoldClmulWide(u32 crc, const u8* p, std::size_t n) {
  const __m256i fold1024 =
      _mm256_set_epi64x(static_cast<long long>(kFold1024Hi), static_cast<long long>(kFold1024Lo),
                        static_cast<long long>(kFold1024Hi), static_cast<long long>(kFold1024Lo));
  __m256i y0 = _mm256_xor_si256(LoadWide(p),
                                _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(crc))));
  __m256i y1 = LoadWide(p + 32);
  __m256i y2 = LoadWide(p + 64);
  __m256i y3 = LoadWide(p + 96);
  p += 128;
  n -= 128;
  for (; n >= 128; p += 128, n -= 128) {
    y0 = _mm256_xor_si256(FoldWide(y0, fold1024), LoadWide(p));
    y1 = _mm256_xor_si256(FoldWide(y1, fold1024), LoadWide(p + 32));
    y2 = _mm256_xor_si256(FoldWide(y2, fold1024), LoadWide(p + 64));
    y3 = _mm256_xor_si256(FoldWide(y3, fold1024), LoadWide(p + 96));
  }
  const __m128i fold128 =
      _mm_set_epi64x(static_cast<long long>(kFold128Hi), static_cast<long long>(kFold128Lo));
  __m128i x = _mm256_castsi256_si128(y0);
  for (const __m128i next : {_mm256_extracti128_si256(y0, 1), _mm256_castsi256_si128(y1),
                             _mm256_extracti128_si256(y1, 1), _mm256_castsi256_si128(y2),
                             _mm256_extracti128_si256(y2, 1), _mm256_castsi256_si128(y3),
                             _mm256_extracti128_si256(y3, 1)}) {
    x = _mm_xor_si128(Fold(x, fold128), next);
  }
  for (; n >= 16; p += 16, n -= 16) x = _mm_xor_si128(Fold(x, fold128), Load(p));
  alignas(16) u8 last[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(last), x);
  return UpdateSliced(UpdateSliced(0, last, sizeof last), p, n);
}

constexpr u64 kFold2048Lo = Reflected(XPowModP(2048 + 63));
constexpr u64 kFold2048Hi = Reflected(XPowModP(2048 - 1));

#define VZ_CRC_TARGET_512 gnu::target("avx512f,avx512vl,avx512bw,vpclmulqdq,pclmul")

[[VZ_CRC_TARGET_512]] __m512i Load512(const u8* p) {
  return _mm512_loadu_si512(p);
}

[[VZ_CRC_TARGET_512]] __m512i Fold512(__m512i z, __m512i constants) {
  return _mm512_xor_si512(_mm512_clmulepi64_epi128(z, constants, 0x00),
                          _mm512_clmulepi64_epi128(z, constants, 0x11));
}

[[VZ_CRC_TARGET_512]] __m512i Broadcast512(u64 lo, u64 hi) {
  const auto l = static_cast<long long>(lo);
  const auto h = static_cast<long long>(hi);
  return _mm512_set_epi64(h, l, h, l, h, l, h, l);
}

// The same folding with 512-bit registers: sixteen blocks (256 bytes) per
// step, each moved 2048 bits on; where whole 512-bit units run at full
// width, as on the newer AMD processors, this is about twice the 256-bit
// loop over the output side's chunks. Needs n >= 256.
[[VZ_CRC_TARGET_512]] u32 FoldClmul512(u32 crc, const u8* p, std::size_t n) {
  const __m512i fold2048 = Broadcast512(kFold2048Lo, kFold2048Hi);
  __m512i z0 = _mm512_xor_si512(Load512(p),
                                _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
  __m512i z1 = Load512(p + 64);
  __m512i z2 = Load512(p + 128);
  __m512i z3 = Load512(p + 192);
  p += 256;
  n -= 256;
  for (; n >= 256; p += 256, n -= 256) {
    z0 = _mm512_xor_si512(Fold512(z0, fold2048), Load512(p));
    z1 = _mm512_xor_si512(Fold512(z1, fold2048), Load512(p + 64));
    z2 = _mm512_xor_si512(Fold512(z2, fold2048), Load512(p + 128));
    z3 = _mm512_xor_si512(Fold512(z3, fold2048), Load512(p + 192));
  }
  // Each register into the next, 512 bits on; then the last one's four
  // blocks into one, 128 bits at a time.
  const __m512i fold512 = Broadcast512(kFold512Lo, kFold512Hi);
  z1 = _mm512_xor_si512(Fold512(z0, fold512), z1);
  z2 = _mm512_xor_si512(Fold512(z1, fold512), z2);
  z3 = _mm512_xor_si512(Fold512(z2, fold512), z3);
  const __m128i fold128 =
      _mm_set_epi64x(static_cast<long long>(kFold128Hi), static_cast<long long>(kFold128Lo));
  __m128i x = _mm512_maskz_extracti32x4_epi32(0xF, z3, 0);
  // (The masked forms: gcc 12's plain ones read an undefined operand.)
  for (const __m128i next :
       {_mm512_maskz_extracti32x4_epi32(0xF, z3, 1), _mm512_maskz_extracti32x4_epi32(0xF, z3, 2),
        _mm512_maskz_extracti32x4_epi32(0xF, z3, 3)}) {
    x = _mm_xor_si128(Fold(x, fold128), next);
  }
  for (; n >= 16; p += 16, n -= 16) x = _mm_xor_si128(Fold(x, fold128), Load(p));
  alignas(16) u8 last[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(last), x);
  return UpdateSliced(UpdateSliced(0, last, sizeof last), p, n);
}

enum class TClmul : u8 { None = 0, Narrow = 1, Wide = 2, Widest = 3 };

TClmul ClmulSupport() {
  static const TClmul support =
      __builtin_cpu_supports("vpclmulqdq") != 0 && __builtin_cpu_supports("avx512f") != 0 &&
              __builtin_cpu_supports("avx512vl") != 0 && __builtin_cpu_supports("avx512bw") != 0
          ? TClmul::Widest
      : __builtin_cpu_supports("vpclmulqdq") != 0 && __builtin_cpu_supports("avx2") != 0
          ? TClmul::Wide
      : __builtin_cpu_supports("pclmul") != 0 ? TClmul::Narrow
                                              : TClmul::None;
  return support;
}

#endif

}  // namespace

u32 UpdateCrc(u32 crc, std::span<const u8> data) {
#ifdef VZ_CRC_CLMUL
  if (data.size() >= 256) {
    switch (ClmulSupport()) {
      case TClmul::Widest:
        return FoldClmul512(crc, data.data(), data.size());
      case TClmul::Wide:
        return FoldClmulWide(crc, data.data(), data.size());
      case TClmul::Narrow:
        return FoldClmul(crc, data.data(), data.size());
      case TClmul::None:
        break;
    }
  }
#endif
  return UpdateSliced(crc, data.data(), data.size());
}

}  // namespace vz
