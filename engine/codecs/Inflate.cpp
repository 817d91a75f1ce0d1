// Deflate decoder (RFC 1951) over a sliding history in the output side's
// window: output piles up after the history, and once a run of it is there
// its whole chunks go out and the last history's worth of bytes moves down to
// the window's start. So a match's source always lies straight behind its
// target, in one piece. Speed comes from a fast loop that holds the 64-bit
// bit buffer and both positions in locals and runs while at least
// kInputMargin unread bytes remain and the write position is short of the
// run's end, so it never checks either inside a symbol (a pass that crosses
// that end runs on into the room after it). 11-bit literal/length and 8-bit
// distance primary tables resolve almost every code in one lookup; the next
// lookup is issued before a match is copied; and matches copy 16 bytes at a
// time, running past their end into bytes not yet written. Near the end of
// an input block, one symbol at a time goes through the checked path. The
// fast loop is compiled twice, plain and for BMI2, and picked at run time.
//
// Deflate64 is the same decoder over other tables: a 64 KiB history,
// distance codes 30 and 31, and length code 285 with 16 extra bits. A match
// longer than deflate's 258 bytes leaves the fast loop and is copied by the
// checked path, so the fast loop's margins stay those of deflate.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/codecs/Decoders.h"
#include "engine/codecs/HuffmanTable.h"

// VZ_INFLATE_NO_BMI2 (a compiler flag) leaves only the plain fast loop, so
// that tests can run it on machines that have BMI2.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(VZ_INFLATE_NO_BMI2)
#define VZ_INFLATE_BMI2 1
#endif

namespace vz {
namespace {

using huff::CodeBits;
using huff::DropBits;
using huff::LowMask;
using huff::Symbol;
using huff::Value;

enum class TFormat : u8 { Deflate = 0, Deflate64 = 1 };

// The window holds the history, then a run of new output: twelve of the
// output side's chunks, so that the history moves (a copy of 32 or 64 KiB)
// once for every 192000 bytes, and every chunk but a member's last goes out
// whole, straight from the window (the output side copies only a chunk's
// broken end). Nothing lies ahead of the write position but bytes not yet
// written, so copies may store words past a match's end; up to 63 bytes may
// be read or written past the run's end.
constexpr u32 kOverrun = 64;
template <TFormat F>
constexpr u32 kHistory = F == TFormat::Deflate64 ? 65536 : 32768;
constexpr auto kChunk = static_cast<u32>(TDecodeOutput::kBufferSize);
constexpr u32 kRunBytes = 12 * kChunk;
// Where the history slides down: the write position never stays at or past
// it between steps.
template <TFormat F>
constexpr u32 kSlideAt = kHistory<F> + kRunBytes;

constexpr unsigned kLitLenBits = 11;
constexpr unsigned kDistBits = 8;
constexpr unsigned kCodeLenBits = 7;
constexpr unsigned kMaxDeflateCodeBits = 15;
constexpr std::size_t kLitLenTableSize =
    (std::size_t{1} << kLitLenBits) + MaxSubTableEntries(288, kLitLenBits, kMaxDeflateCodeBits);
constexpr std::size_t kDistTableSize =
    (std::size_t{1} << kDistBits) + MaxSubTableEntries(32, kDistBits, kMaxDeflateCodeBits);
constexpr std::size_t kCodeLenTableSize = std::size_t{1} << kCodeLenBits;

// Fast-loop margins: one pass reads at most two 8-byte words (three in
// Deflate64, whose length and distance may take 60 bits), stepping at most 7
// bytes after each, and writes at most two literals and a match of at most
// kMaxFastLength bytes.
template <TFormat F>
constexpr std::ptrdiff_t kInputMargin = F == TFormat::Deflate64 ? 24 : 16;
constexpr u32 kMaxFastLength = 258;
constexpr u32 kOutputMargin = 2 + kMaxFastLength;
// A pass starts before the slide point and may end kOutputMargin bytes past
// it, storing up to 63 more.
static_assert(TDecodeOutput::kWindowSize == 32768 && TDecodeOutput::kLargeWindowSize == 65536 &&
              kSlideAt<TFormat::Deflate64> - 1 + kOutputMargin + kOverrun - 1 <=
                  TDecodeOutput::kLargeWindowSize + TDecodeOutput::kWindowSlack);

// Codes 257-285: lengths 3-10 plainly, then groups of four codes with 1 to 5
// extra bits, and 285 meaning 258 (Deflate64: 3 plus 16 extra bits); 286 and
// 287 exist only in fixed blocks.
template <TFormat F>
constexpr std::array<u32, 288> MakeLitLenSymbols() {
  std::array<u32, 288> symbols{};
  for (u32 s = 0; s < 256; ++s) symbols[s] = Symbol(s, 0, huff::kLiteral);
  symbols[256] = Symbol(0, 0, huff::kEndOfBlock);
  u32 base = 3;
  for (u32 code = 257; code < 285; ++code) {
    const u32 extra = code < 265 ? 0 : (code - 261) / 4;
    symbols[code] = Symbol(base, extra, 0);
    base += 1u << extra;
  }
  symbols[285] = F == TFormat::Deflate64 ? Symbol(3, 16, 0) : Symbol(258, 0, 0);
  symbols[286] = symbols[287] = huff::kInvalidSymbol;
  return symbols;
}
template <TFormat F>
constexpr std::array<u32, 288> kLitLenSymbols = MakeLitLenSymbols<F>();
static_assert(kLitLenSymbols<TFormat::Deflate>[257] == Symbol(3, 0, 0) &&
              kLitLenSymbols<TFormat::Deflate>[265] == Symbol(11, 1, 0));
static_assert(kLitLenSymbols<TFormat::Deflate>[284] == Symbol(227, 5, 0) &&
              kLitLenSymbols<TFormat::Deflate>[285] == Symbol(258, 0, 0));
static_assert(kLitLenSymbols<TFormat::Deflate64>[285] == Symbol(3, 16, 0));

// Codes 0-29: distances 1-4 plainly, then pairs of codes with 1 to 13 extra
// bits; 30 and 31 exist only in fixed blocks (Deflate64: 14 extra bits, up
// to 65536).
template <TFormat F>
constexpr u32 kDistCodes = F == TFormat::Deflate64 ? 32 : 30;
template <TFormat F>
constexpr std::array<u32, 32> MakeDistSymbols() {
  std::array<u32, 32> symbols{};
  u32 base = 1;
  for (u32 code = 0; code < 32; ++code) {
    const u32 extra = code < 4 ? 0 : code / 2 - 1;
    symbols[code] = code < kDistCodes<F> ? Symbol(base, extra, 0) : huff::kInvalidSymbol;
    base += 1u << extra;
  }
  return symbols;
}
template <TFormat F>
constexpr std::array<u32, 32> kDistSymbols = MakeDistSymbols<F>();
static_assert(kDistSymbols<TFormat::Deflate>[4] == Symbol(5, 1, 0) &&
              kDistSymbols<TFormat::Deflate>[29] == Symbol(24577, 13, 0) &&
              kDistSymbols<TFormat::Deflate>[30] == huff::kInvalidSymbol);
static_assert(kDistSymbols<TFormat::Deflate64>[30] == Symbol(32769, 14, 0) &&
              kDistSymbols<TFormat::Deflate64>[31] == Symbol(49153, 14, 0));

constexpr std::array<u32, 19> MakeCodeLenSymbols() {
  std::array<u32, 19> symbols{};
  for (u32 s = 0; s < 19; ++s) symbols[s] = Symbol(s, 0, 0);
  return symbols;
}
constexpr std::array<u32, 19> kCodeLenSymbols = MakeCodeLenSymbols();
constexpr std::array<u8, 19> kCodeLenOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                              11, 4,  12, 3, 13, 2, 14, 1, 15};

u64 Load64(const u8* p) {
  u64 v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}
// The table entry at a byte offset rather than an index: a load whose index
// register is scaled by 4 took a cycle longer here (5 against 4 on the AMD
// EPYC measured), and these loads follow one another on the decoder's
// critical path.
u32 EntryAt(const u32* table, u64 byteOffset) {
  u32 entry;
  std::memcpy(&entry, reinterpret_cast<const u8*>(table) + byteOffset, sizeof entry);
  return entry;
}
void Copy16(u8* dst, const u8* src) {
  std::memcpy(dst, src, 16);
}
void Copy8(u8* dst, const u8* src) {
  std::memcpy(dst, src, 8);
}

// Copies a match of `length` bytes from `src`, which lies behind `dst`, with
// the byte-by-byte meaning of an overlapping copy and as few branches as the
// common cases allow, storing up to 63 bytes past dst + length (bytes not yet
// written). From 16 bytes or more behind, each word reads only final bytes.
[[gnu::always_inline]] inline void CopyMatchOverrunning(u8* dst, const u8* src, u32 length) {
  u8* const end = dst + length;
  if (src + 16 <= dst) [[likely]] {
    Copy16(dst, src);
    Copy16(dst + 16, src + 16);
    Copy16(dst + 32, src + 32);
    Copy16(dst + 48, src + 48);
    for (dst += 64, src += 64; dst < end; dst += 16, src += 16) Copy16(dst, src);
    return;
  }
  const auto distance = static_cast<u32>(dst - src);
  if (distance == 1) {
    const u64 run = u64{*src} * 0x0101010101010101u;
    do {
      std::memcpy(dst, &run, 8);
      std::memcpy(dst + 8, &run, 8);
      dst += 16;
    } while (dst < end);
    return;
  }
  if (distance < 8) {
    // A period p repeats every multiple of p too: once the first multiple
    // of p of at least 8 bytes is in place, copy from that far back.
    const u32 period = (8 + distance - 1) / distance * distance;
    for (u32 i = 0; i < period; ++i) dst[i] = src[i];
    dst += period;
    src = dst - period;
  }
  while (dst < end) {
    Copy8(dst, src);
    dst += 8;
    src += 8;
  }
}

// The extra bits of a length or distance entry, which follow its code in the
// entry's DropBits(entry) low bits of `bits`. Written so that with BMI2 the
// mask is one bzhi, which takes its count from the entry's low byte, and the
// shift by the code's length takes bits 8-13 whole: a length or distance
// entry has neither the literal nor the sub-table flag.
[[gnu::always_inline]] inline u32 ExtraBits(u64 bits, u32 entry) {
  return static_cast<u32>((bits & LowMask(DropBits(entry))) >> ((entry >> 8) & 63));
}
static_assert(huff::kLiteral >> 8 == 16 && huff::kSubTable >> 8 == 32);

struct TCodeTables {
  std::array<u32, kLitLenTableSize> LitLen;
  std::array<u32, kDistTableSize> Dist;
};

template <TFormat F>
class TInflater {
 public:
  TInflater(TDecodeInput& in, TDecodeOutput& out) : FIn(in), FOut(out), FWindow(out.Window()) {}
  void Run();

 private:
  static constexpr u32 kSlide = kSlideAt<F>;
  // LongMatch: the fast loop stopped before a Deflate64 match longer than
  // kMaxFastLength, left in FLongLength and FLongDistance.
  enum class TStep : u8 { More = 0, EndOfBlock = 1, Error = 2, LongMatch = 3 };

  bool StoredBlock();
  bool FixedTables();
  bool DynamicTables();
  bool HuffmanBlock();
  using TFastLoop = TStep (TInflater::*)();
  static TFastLoop ChooseFastLoop();
  TStep FastSymbols();
  TStep FastSymbolsPlain();
#ifdef VZ_INFLATE_BMI2
  TStep FastSymbolsBmi2();
#endif
  TStep SlowSymbol();
  TStep CopyMatch(u32 length, u32 distance);
  u32 SlowLookUp(const u32* table, unsigned primaryBits);
  void Slide();

  TDecodeInput& FIn;
  TDecodeOutput& FOut;
  u8* const FWindow;
  // The next window byte to write, < kSlide between steps. Every byte before
  // it is this member's output, so a distance up to FPos is valid.
  u32 FPos = 0;
  u32 FSent = 0;                         // window bytes before this went out
  const TCodeTables* FTables = nullptr;  // the current block's: fixed, or FDynamic
  TCodeTables FDynamic;
  u32 FLongLength = 0;
  u32 FLongDistance = 0;
  const TFastLoop FFastLoop = ChooseFastLoop();
};

template <TFormat F>
void TInflater<F>::Run() {
  for (;;) {
    const u32 header = FIn.GetBits(3);
    if (FIn.EndOfInput()) return;
    bool ok = false;
    switch (header >> 1) {
      case 0:
        ok = StoredBlock();
        break;
      case 1:
        ok = FixedTables() && HuffmanBlock();
        break;
      case 2:
        ok = DynamicTables() && HuffmanBlock();
        break;
      default:
        break;
    }
    if (!ok) return;
    if ((header & 1) != 0) break;
  }
  FOut.Write(std::span(FWindow + FSent, FPos - FSent));
  FOut.Finish();
}

// At or past the slide point: the whole chunks not yet sent go out, and the
// last history's worth of bytes, which holds the rest (less than a chunk),
// moves down to the window's start.
template <TFormat F>
void TInflater<F>::Slide() {
  const u32 whole = (FPos - FSent) / kChunk * kChunk;
  FOut.Write(std::span(FWindow + FSent, whole));
  const u32 drop = FPos - kHistory<F>;
  std::memmove(FWindow, FWindow + drop, kHistory<F>);
  FSent = FSent + whole - drop;
  FPos = kHistory<F>;
}

template <TFormat F>
bool TInflater<F>::StoredBlock() {
  FIn.AlignToByte();
  u32 length = FIn.GetBits(16);
  const u32 check = FIn.GetBits(16);
  if (FIn.EndOfInput() || check != (~length & 0xFFFF)) return false;
  while (length > 0) {
    const u32 n = std::min(length, kSlide - FPos);
    if (!FIn.ReadAligned(std::span(FWindow + FPos, n))) return false;
    FPos += n;
    length -= n;
    if (FPos == kSlide) Slide();
  }
  return true;
}

// The fixed codes' tables, built once for the whole program; null in the
// impossible case that building them fails.
template <TFormat F>
const TCodeTables* FixedCodeTables() {
  static const std::unique_ptr<const TCodeTables> tables = [] {
    auto built = std::make_unique<TCodeTables>();
    std::array<u8, 288> litLen{};
    std::fill(litLen.begin(), litLen.begin() + 144, u8{8});
    std::fill(litLen.begin() + 144, litLen.begin() + 256, u8{9});
    std::fill(litLen.begin() + 256, litLen.begin() + 280, u8{7});
    std::fill(litLen.begin() + 280, litLen.end(), u8{8});
    std::array<u8, kDistCodes<F>> dist{};
    dist.fill(5);
    const bool ok =
        BuildHuffmanTable(litLen, kLitLenSymbols<F>, kLitLenBits, TIncompleteCode::Reject,
                          built->LitLen) &&
        BuildHuffmanTable(dist, kDistSymbols<F>, kDistBits, TIncompleteCode::Allow, built->Dist);
    return ok ? std::move(built) : nullptr;
  }();
  return tables.get();
}

template <TFormat F>
bool TInflater<F>::FixedTables() {
  FTables = FixedCodeTables<F>();
  return FTables != nullptr;
}

template <TFormat F>
bool TInflater<F>::DynamicTables() {
  FTables = nullptr;
  const u32 litLenCount = FIn.GetBits(5) + 257;
  const u32 distCount = FIn.GetBits(5) + 1;
  const u32 codeLenCount = FIn.GetBits(4) + 4;
  if (litLenCount > 286 || distCount > kDistCodes<F>) return false;
  std::array<u8, 19> codeLenLengths{};
  for (u32 i = 0; i < codeLenCount; ++i)
    codeLenLengths[kCodeLenOrder[i]] = static_cast<u8>(FIn.GetBits(3));
  if (FIn.EndOfInput()) return false;
  std::array<u32, kCodeLenTableSize> codeLenTable;
  if (!BuildHuffmanTable(codeLenLengths, kCodeLenSymbols, kCodeLenBits, TIncompleteCode::Reject,
                         codeLenTable)) {
    return false;
  }
  std::array<u8, 286 + 32> lengths{};
  const std::span<u8> all = std::span(lengths).first(litLenCount + distCount);
  for (std::size_t i = 0; i < all.size();) {
    FIn.NeedBits(kCodeLenBits);
    const u32 entry = codeLenTable[FIn.Bits() & LowMask(kCodeLenBits)];
    if ((entry & huff::kInvalid) != 0) return false;
    FIn.DumpBits(DropBits(entry));
    const u32 symbol = Value(entry);
    if (symbol < 16) {
      all[i++] = static_cast<u8>(symbol);
      continue;
    }
    u8 value = 0;
    u32 repeat = 0;
    if (symbol == 16) {
      if (i == 0) return false;
      value = all[i - 1];
      repeat = 3 + FIn.GetBits(2);
    } else if (symbol == 17) {
      repeat = 3 + FIn.GetBits(3);
    } else {
      repeat = 11 + FIn.GetBits(7);
    }
    if (repeat > all.size() - i) return false;
    std::fill_n(all.begin() + static_cast<std::ptrdiff_t>(i), repeat, value);
    i += repeat;
  }
  // Without an end-of-block code the block could never end.
  if (FIn.EndOfInput() || all[256] == 0) return false;
  if (!BuildHuffmanTable(all.first(litLenCount), kLitLenSymbols<F>, kLitLenBits,
                         TIncompleteCode::AllowSingle, FDynamic.LitLen) ||
      !BuildHuffmanTable(all.subspan(litLenCount), kDistSymbols<F>, kDistBits,
                         TIncompleteCode::AllowSingle, FDynamic.Dist)) {
    return false;
  }
  FTables = &FDynamic;
  return true;
}

template <TFormat F>
bool TInflater<F>::HuffmanBlock() {
  for (;;) {
    TStep step = (this->*FFastLoop)();
    if (step == TStep::LongMatch) {
      step = CopyMatch(FLongLength, FLongDistance);
    } else if (step == TStep::More) {
      step = SlowSymbol();
    }
    if (step == TStep::EndOfBlock) return true;
    if (step == TStep::Error) return false;
  }
}

// Runs until the margins run out (More), or to the end of the block or an
// error. A refill leaves at least 56 bits: enough for three literals from
// the primary table (at most kLitLenBits each), or for a length (15 + 5) and
// its distance (15 + 13); literals followed by a length get a refill in
// between, and a literal from a sub-table (up to 15 bits) is always followed
// by one. Deflate64's length (up to 15 + 16 bits) and distance (15 + 14) may
// need 60: there a refill comes between them. Inlined into the plain and the
// BMI2 copy below.
template <TFormat F>
[[gnu::always_inline]] inline typename TInflater<F>::TStep TInflater<F>::FastSymbols() {
  const TDecodeInput::TFastState state = FIn.BeginFast();
  if (state.End - state.Next < kInputMargin<F>) return TStep::More;
  // Everything the loop touches lives in locals: a byte store through `out`
  // could alias any member, which would force reloads after every literal.
  const u8* in = state.Next;
  const u8* const inLimit = state.End - kInputMargin<F>;
  u64 bits = state.Bits;
  u64 count = state.Count;
  u8* const window = FWindow;
  u8* out = window + FPos;
  u8* const slideAt = window + kSlide;
  const u32* const litLen = FTables->LitLen.data();
  const u32* const dist = FTables->Dist.data();
  TStep step = TStep::More;
  u32 entry = 0;

  // Only the low 6 bits of `count` are kept exact (an entry's drop count, its
  // low byte, is below 64, and the subtraction below carries nothing down),
  // which takes the masking of entries off the bit buffer's critical path.
  const auto refill = [&] {
    bits |= Load64(in) << (count & 63);
    in += (~count & 63) >> 3;
    count |= 56;
  };
  // The next entry's index comes from `bits` shifted left by 2 before the
  // drop, as a byte offset (see EntryAt); that shift waits for nothing.
  const auto literal = [&] {
    const u64 ahead = bits << 2;
    bits >>= entry & 63;
    count -= entry;
    *out++ = static_cast<u8>(Value(entry));
    entry = EntryAt(litLen, (ahead >> (entry & 63)) & (LowMask(kLitLenBits) << 2));
  };
  // The distance entry that follows `entry` if it is a length code, looked
  // up before anything tests what `entry` is: when the branch on the kind of
  // symbol goes the wrong way, the distance is already on its way. Valid
  // while the bits past the length (at most 15 + 5 of them) hold a whole
  // primary distance index; the entry is used only for a length code.
  const auto distanceAfter = [&] {
    return EntryAt(dist, ((bits << 2) >> (entry & 63)) & (LowMask(kDistBits) << 2));
  };
  // The window's lines ahead of `out` were last written a run ago and have
  // left the first-level cache. A prefetch is only a hint (it never
  // faults), so near the window's end it may point past it.
  const auto prefetchAhead = [&] {
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(out) + 1024),
                       1);
  };

  // Each pass starts with at least 56 bits and `entry` already looked up for
  // them, so the lookup for the next pass overlaps the copy of this one.
  // Three primary literals take at most 33 of the 56 bits, so the entry
  // looked up after each of them saw at least kLitLenBits valid bits and
  // stays right through the refill that follows; so does one looked up after
  // a sub-table literal, which always comes after a refill and takes at most
  // 15 bits.
  refill();
  entry = litLen[bits & LowMask(kLitLenBits)];
  while (in <= inLimit && out < slideAt) {
    u32 distEntry = distanceAfter();
    if ((entry & huff::kLiteral) != 0) {
      literal();
      distEntry = distanceAfter();  // 45 bits left: enough for 20 + 8
      if ((entry & huff::kLiteral) != 0) {
        literal();
        if ((entry & huff::kLiteral) != 0) {
          literal();
          refill();
          prefetchAhead();
          continue;
        }
        refill();
        distEntry = distanceAfter();
      } else {
        refill();
      }
    }
    if ((entry & (huff::kSubTable | huff::kEndOfBlock | huff::kInvalid)) != 0) [[unlikely]] {
      if ((entry & huff::kSubTable) != 0) {
        bits >>= kLitLenBits;
        count -= kLitLenBits;
        entry = litLen[Value(entry) + (bits & LowMask(CodeBits(entry)))];
        if ((entry & huff::kLiteral) != 0) {
          literal();
          refill();
          continue;
        }
        distEntry = distanceAfter();
      }
      if ((entry & huff::kEndOfBlock) != 0) {
        bits >>= entry & 63;
        count -= entry;
        step = TStep::EndOfBlock;
        break;
      }
      if ((entry & huff::kInvalid) != 0) {
        step = TStep::Error;
        break;
      }
    }
    const u32 length = Value(entry) + ExtraBits(bits, entry);
    bits >>= entry & 63;
    count -= entry;
    if constexpr (F == TFormat::Deflate64) refill();

    entry = distEntry;
    if ((entry & huff::kSubTable) != 0) [[unlikely]] {
      bits >>= kDistBits;
      count -= kDistBits;
      entry = dist[Value(entry) + (bits & LowMask(CodeBits(entry)))];
    }
    if ((entry & huff::kInvalid) != 0) [[unlikely]] {
      step = TStep::Error;
      break;
    }
    const u32 distance = Value(entry) + ExtraBits(bits, entry);
    // The next symbol's entry comes before the refill, off the path through
    // it: a refill fills all 64 bits with input (the bits above the count
    // are those of the next unread bytes), and a match takes at most 48 of
    // them after the last one (Deflate64: 29 after the one between its
    // length and distance), so the next kLitLenBits are already there.
    const u64 ahead = bits << 2;
    bits >>= entry & 63;
    count -= entry;
    entry = EntryAt(litLen, (ahead >> (entry & 63)) & (LowMask(kLitLenBits) << 2));
    refill();
    if constexpr (F == TFormat::Deflate64) {
      if (length > kMaxFastLength) [[unlikely]] {
        FLongLength = length;
        FLongDistance = distance;
        step = TStep::LongMatch;
        break;
      }
    }

    // Only a distance past the member's first byte fails here: after the
    // first slide the history behind `out` is always whole.
    if (distance > static_cast<std::size_t>(out - window)) [[unlikely]] {
      step = TStep::Error;
      break;
    }
    CopyMatchOverrunning(out, out - distance, length);
    out += length;
    prefetchAhead();
  }

  FIn.EndFast({bits, static_cast<unsigned>(count & 63), in, state.End});
  FPos = static_cast<u32>(out - window);
  if (FPos >= kSlide) Slide();
  return step;
}

// The same loop twice: BMI2's shifts take their count from any register and
// leave the flags alone, which spares the loop its moves through cl (2%
// here). The product cannot assume BMI2, so the copy is chosen at run time.
template <TFormat F>
typename TInflater<F>::TStep TInflater<F>::FastSymbolsPlain() {
  return FastSymbols();
}

#ifdef VZ_INFLATE_BMI2
template <TFormat F>
[[gnu::target("bmi2")]] typename TInflater<F>::TStep TInflater<F>::FastSymbolsBmi2() {
  return FastSymbols();
}
#endif

template <TFormat F>
typename TInflater<F>::TFastLoop TInflater<F>::ChooseFastLoop() {
#ifdef VZ_INFLATE_BMI2
  static const bool bmi2 = __builtin_cpu_supports("bmi2") != 0;
  if (bmi2) return &TInflater::FastSymbolsBmi2;
#endif
  return &TInflater::FastSymbolsPlain;
}

template <TFormat F>
u32 TInflater<F>::SlowLookUp(const u32* table, unsigned primaryBits) {
  FIn.NeedBits(primaryBits);
  const u32 entry = table[FIn.Bits() & LowMask(primaryBits)];
  if ((entry & huff::kSubTable) == 0) return entry;
  FIn.DumpBits(primaryBits);
  FIn.NeedBits(CodeBits(entry));
  return table[Value(entry) + (FIn.Bits() & LowMask(CodeBits(entry)))];
}

// One symbol through the checked path: each bit fetch may refill the input
// buffer or pad past the end, and each window byte may reach the slide
// point.
template <TFormat F>
typename TInflater<F>::TStep TInflater<F>::SlowSymbol() {
  u32 entry = SlowLookUp(FTables->LitLen.data(), kLitLenBits);
  if ((entry & huff::kInvalid) != 0) return TStep::Error;
  if ((entry & (huff::kLiteral | huff::kEndOfBlock)) != 0) {
    FIn.DumpBits(DropBits(entry));
    if (FIn.EndOfInput()) return TStep::Error;
    if ((entry & huff::kEndOfBlock) != 0) return TStep::EndOfBlock;
    FWindow[FPos] = static_cast<u8>(Value(entry));
    if (++FPos == kSlide) Slide();
    return TStep::More;
  }
  FIn.NeedBits(DropBits(entry));
  const u32 length =
      Value(entry) + static_cast<u32>((FIn.Bits() & LowMask(DropBits(entry))) >> CodeBits(entry));
  FIn.DumpBits(DropBits(entry));

  entry = SlowLookUp(FTables->Dist.data(), kDistBits);
  if ((entry & huff::kInvalid) != 0) return TStep::Error;
  FIn.NeedBits(DropBits(entry));
  const u32 distance =
      Value(entry) + static_cast<u32>((FIn.Bits() & LowMask(DropBits(entry))) >> CodeBits(entry));
  FIn.DumpBits(DropBits(entry));
  if (FIn.EndOfInput()) return TStep::Error;
  return CopyMatch(length, distance);
}

// A match through the checked path, in pieces that end at the slide point;
// a piece longer than its distance repeats the last `distance` bytes, so it
// is copied byte by byte. After a slide FPos is the history's length, at
// least any distance.
template <TFormat F>
typename TInflater<F>::TStep TInflater<F>::CopyMatch(u32 length, u32 distance) {
  if (distance > FPos) return TStep::Error;
  while (length > 0) {
    const u32 n = std::min(length, kSlide - FPos);
    const u8* const from = FWindow + FPos - distance;
    if (distance < n) {
      for (u32 i = 0; i < n; ++i) FWindow[FPos + i] = from[i];
    } else {
      std::memcpy(FWindow + FPos, from, n);
    }
    FPos += n;
    length -= n;
    if (FPos == kSlide) Slide();
  }
  return TStep::More;
}

}  // namespace

void Inflate(TDecodeInput& in, TDecodeOutput& out) {
  const auto inflater = std::make_unique<TInflater<TFormat::Deflate>>(in, out);
  inflater->Run();
}

void Inflate64(TDecodeInput& in, TDecodeOutput& out) {
  const auto inflater = std::make_unique<TInflater<TFormat::Deflate64>>(in, out);
  inflater->Run();
}

}  // namespace vz
