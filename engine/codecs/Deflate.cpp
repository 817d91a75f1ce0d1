// The deflate compressor: window and hash chains, the two match strategies,
// item buffering, and block flushing with the stored/fixed/dynamic choice.
#include "engine/codecs/Deflate.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <utility>

#include "engine/format/ZipFormat.h"
#include "engine/support/Exceptions.h"

namespace vz {

using namespace deflate;

namespace {

constexpr u32 kWSize = 32768;
constexpr u32 kWMask = kWSize - 1;
constexpr u32 kWindowBytes = 2 * kWSize;
constexpr u32 kHashSize = 32768;
constexpr u32 kHashMask = kHashSize - 1;
constexpr u32 kHashShift = 5;  // three shifts push a byte out of the 15 bits
constexpr u32 kMinMatch = 3;
constexpr u32 kMaxMatch = 258;
// Enough lookahead for one longest match plus the next string's hash bytes.
constexpr u32 kMinLookahead = kMaxMatch + kMinMatch + 1;
constexpr u32 kMaxDist = kWSize - kMinLookahead;  // 32506
constexpr u32 kSlideAt = kWSize + kMaxDist;       // 65274
constexpr u32 kTooFar = 4096;
constexpr u32 kLitBufSize = 32768;
static_assert(kMinLookahead == 262 && kMaxDist == 32506 && kSlideAt == 65274);

struct TLevelRow {
  u16 Good, Lazy, Nice, Chain;
  bool LazyStrategy;
};
// Level 0's row is all zeros and never used: level 0 stores.
constexpr std::array<TLevelRow, 10> kLevels = {{
    {0, 0, 0, 0, false},
    {4, 4, 8, 4, false},
    {4, 5, 16, 8, false},
    {4, 6, 32, 32, false},
    {4, 4, 16, 16, true},
    {8, 16, 32, 32, true},
    {8, 16, 128, 128, true},
    {8, 32, 128, 256, true},
    {32, 128, 258, 1024, true},
    {32, 258, 258, 4096, true},
}};
static_assert(kLevels[6].Nice == 128 && kLevels[9].Chain == 4096 && !kLevels[3].LazyStrategy);

u16 LevelFlags(int level) {
  if (level <= 2) return kFlagDeflateFast;
  if (level >= 8) return kFlagDeflateMaximum;
  return 0;
}

inline u16 Load16(const u8* p) {
  u16 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline u64 Load64(const u8* p) {
  u64 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Length of the common prefix of a and b, at most kMaxMatch, given that the
// first two bytes are already known to agree. Compares eight bytes a step;
// the first differing byte is found from the lowest set bit of the XOR.
inline u32 CommonLength(const u8* a, const u8* b) {
  u32 length = 2;
  for (;;) {
    const u64 diff = Load64(a + length) ^ Load64(b + length);
    if (diff != 0) {
      const int zeros = std::endian::native == std::endian::little ? std::countr_zero(diff)
                                                                   : std::countl_zero(diff);
      return std::min(length + static_cast<u32>(zeros >> 3), kMaxMatch);
    }
    length += 8;
    if (length >= kMaxMatch) return kMaxMatch;
  }
}

// Runs an action when the scope is left by an exception.
template <typename TAction>
class TOnUnwind {
 public:
  explicit TOnUnwind(TAction action) : FAction(std::move(action)) {}
  ~TOnUnwind() {
    if (std::uncaught_exceptions() > FExceptions) FAction();
  }
  TOnUnwind(const TOnUnwind&) = delete;
  TOnUnwind& operator=(const TOnUnwind&) = delete;

 private:
  TAction FAction;
  int FExceptions = std::uncaught_exceptions();
};

}  // namespace

TDeflater::TDeflater()
    : FWindow(std::make_unique<u8[]>(kWindowBytes + kWindowTail)),
      FPrev(std::make_unique<u16[]>(kWSize)),
      FHead(std::make_unique<u16[]>(kHashSize)),
      FLitBuf(std::make_unique<u8[]>(kLitBufSize)),
      FDistBuf(std::make_unique<u16[]>(kLitBufSize)) {}

u64 TDeflater::CompressMember(TZipHeaderInfo& header, int level, const TDeflateRead& read,
                              const TDeflateWrite& write, const std::string& memberName) {
  level = std::clamp(level, 0, 9);
  header.Flags = static_cast<u16>((header.Flags & ~(kFlagDeflateFast | kFlagDeflateMaximum)) |
                                  LevelFlags(level));
  FRead = &read;
  FMemberName = &memberName;
  FBits.Start(write);
  FTextState = 2;
  FStoredMember = false;

  // A read routine that fails may have written anywhere in the buffer it was
  // given: then the next member clears the whole window.
  const TOnUnwind markWindowDirty([this] { FWindowHigh = kWindowBytes; });
  if (level == 0) {
    StoreMember();
  } else {
    StartMember(level);
    if (FParams.Lazy) {
      DeflateLazy();
    } else {
      DeflateFast();
    }
  }
  header.InternalAttributes = FTextState == 0 ? 0 : 1;
  header.CompressionMethod =
      static_cast<u16>(FStoredMember ? TCompressionMethod::Stored : TCompressionMethod::Deflated);
  return FBits.BytesWritten();
}

// Copies the member through in window-sized pieces; the first 32 KB decide
// text or binary, whatever sizes the read routine delivers.
void TDeflater::StoreMember() {
  FStoredMember = true;
  u8* const window = FWindow.get();
  bool end = false;
  while (!end) {
    std::size_t filled = 0;
    while (filled < kWSize) {
      const std::size_t n = (*FRead)(std::span<u8>(window + filled, kWSize - filled));
      if (n > kWSize - filled) throw std::length_error("read routine overfilled its buffer");
      if (n == 0) {
        end = true;
        break;
      }
      filled += n;
    }
    FWindowHigh = std::max(FWindowHigh, static_cast<u32>(filled));
    if (FTextState == 2) {
      ResetBlock();
      for (std::size_t i = 0; i < filled; ++i) ++FLitFreq[window[i]];
      DecideTextOrBinary();
    }
    FBits.PutAlignedBytes(std::span<const u8>(window, filled));
  }
}

void TDeflater::StartMember(int level) {
  const TLevelRow& row = kLevels[static_cast<std::size_t>(level)];
  FParams = {row.Good, row.Lazy, row.Nice, std::max<u16>(row.Chain, 1), row.LazyStrategy};
  FLevel = level;
  // Only the heads need clearing: a chain is entered through a head, and
  // every link reachable from one was written for this member.
  std::fill_n(FHead.get(), kHashSize, u16{0});
  // Bytes of an earlier member beyond the lookahead would otherwise take
  // part in hashing near the end and make the output depend on them.
  std::fill_n(FWindow.get(), FWindowHigh, u8{0});
  FWindowHigh = 0;
  FStrStart = 0;
  FBlockStart = 0;
  FLookahead = 0;
  FMatchStart = 0;
  FMatchLength = 0;
  FEndOfInput = false;
  ResetBlock();

  FillWindow();
  FInsH = 0;
  FInsH = ((FInsH << kHashShift) ^ FWindow[0]) & kHashMask;
  FInsH = ((FInsH << kHashShift) ^ FWindow[1]) & kHashMask;
}

void TDeflater::Fault(const std::string& what) const {
  throw ECompressorFault(*FMemberName, what);
}

// Slides the window once the current string is too far up for a longest
// match to fit, then reads until the window is full or the input ends. Always
// filling to the top, however the read routine splits the input, makes the
// output depend on the data alone.
void TDeflater::FillWindow() {
  if (FStrStart >= kSlideAt) SlideWindow();
  while (!FEndOfInput) {
    const u32 at = FStrStart + FLookahead;
    if (at >= kWindowBytes) {
      if (at > kWindowBytes) Fault("out of range for window");
      return;
    }
    const u32 more = kWindowBytes - at;
    const std::size_t n = (*FRead)(std::span<u8>(FWindow.get() + at, more));
    if (n > more) throw std::length_error("read routine overfilled its buffer");
    if (n == 0) {
      FEndOfInput = true;
    } else {
      FLookahead += static_cast<u32>(n);
      FWindowHigh = std::max(FWindowHigh, at + static_cast<u32>(n));
    }
  }
}

// Moves the upper half down and rebases every position; links into the
// discarded half become 0 (none). A pending lazy match can only reach into
// the discarded half when a slide comes before the window was full, which
// FillWindow never lets happen; should it, the match is given up (its first
// byte goes out as a literal) rather than checked against lost bytes.
void TDeflater::SlideWindow() {
  u8* const window = FWindow.get();
  std::memcpy(window, window + kWSize, kWSize);
  if (FMatchStart >= kWSize) {
    FMatchStart -= kWSize;
  } else {
    FMatchStart = 0;
    FMatchLength = std::min(FMatchLength, kMinMatch - 1);
  }
  FStrStart -= kWSize;
  FBlockStart -= kWSize;
  const auto rebase = [](u16& p) { p = static_cast<u16>(p >= kWSize ? p - kWSize : 0); };
  std::for_each(FHead.get(), FHead.get() + kHashSize, rebase);
  std::for_each(FPrev.get(), FPrev.get() + kWSize, rebase);
}

inline u32 TDeflater::InsertString(u32 position) {
  FInsH = ((FInsH << kHashShift) ^ FWindow[position + kMinMatch - 1]) & kHashMask;
  const u32 head = FHead[FInsH];
  FPrev[position & kWMask] = static_cast<u16>(head);
  FHead[FInsH] = static_cast<u16>(position);
  return head;
}

// Follows the hash chain from `candidate` for a match longer than
// `previousLength`; on success FMatchStart is its source. Returns the best
// length found, or previousLength. A candidate is compared in full only when
// its first two bytes and the two bytes ending at the current best length
// agree with the current string.
u32 TDeflater::LongestMatch(u32 candidate, u32 previousLength) {
  u32 chain = FParams.MaxChain;
  if (previousLength >= FParams.GoodLength) chain = std::max<u32>(chain >> 2, 1);
  const u8* const window = FWindow.get();
  const u8* const scan = window + FStrStart;
  const u32 limit = FStrStart > kMaxDist ? FStrStart - kMaxDist : 0;
  const u32 nice = FParams.NiceLength;
  const u16 scanStart = Load16(scan);
  u32 best = previousLength;
  u16 scanEnd = Load16(scan + best - 1);
  const u16* const prev = FPrev.get();
  u32 matchStart = FMatchStart;
  for (;;) {
    // The next link is fetched before the compare so that the two loads
    // overlap; the walk is bound by their latency.
    const u32 next = prev[candidate & kWMask];
    const u8* const match = window + candidate;
    if (Load16(match + best - 1) == scanEnd && Load16(match) == scanStart) {
      const u32 length = CommonLength(scan, match);
      if (length > best) {
        matchStart = candidate;
        best = length;
        if (length >= nice) break;
        scanEnd = Load16(scan + best - 1);
      }
    }
    if (next <= limit || --chain == 0) break;
    candidate = next;
  }
  FMatchStart = matchStart;
  return best;
}

void TDeflater::CheckMatch(u32 start, u32 match, u32 length) const {
  const u8* const window = FWindow.get();
  if (std::memcmp(window + match, window + start, length) != 0) {
    throw EInvalidMatch(static_cast<long>(start), static_cast<long>(match),
                        static_cast<long>(length));
  }
}

inline bool TDeflater::TallyLiteral(u8 c) {
  FLitBuf[FItems] = c;
  FDistBuf[FItems] = 0;
  ++FItems;
  ++FLitFreq[c];
  return FItems == kLitBufSize - 1 || ((FItems & 0xFFF) == 0 && FLevel > 2 && BlockEndEstimate());
}

inline bool TDeflater::TallyMatch(u32 distance, u32 length) {
  const u32 lengthIndex = length - kMinMatch;
  FLitBuf[FItems] = static_cast<u8>(lengthIndex);
  FDistBuf[FItems] = static_cast<u16>(distance);
  ++FItems;
  ++FMatches;
  ++FLitFreq[kLiterals + 1 + kLengthCode[lengthIndex]];
  ++FDistFreq[DistCode(distance - 1)];
  return FItems == kLitBufSize - 1 || ((FItems & 0xFFF) == 0 && FLevel > 2 && BlockEndEstimate());
}

// Ends a block early when it is compressing well with mostly literals, so
// that the next block's statistics can start afresh: the estimate prices a
// literal at 8 bits and a distance at 5 bits plus its extra bits.
bool TDeflater::BlockEndEstimate() const {
  u64 outBits = u64{FItems} * 8;
  for (std::size_t code = 0; code < kDistCodes; ++code)
    outBits += u64{FDistFreq[code]} * (5u + kDistExtraBits[code]);
  const auto outBytes = static_cast<i64>(outBits >> 3);
  const i64 inBytes = static_cast<i64>(FStrStart) - FBlockStart;
  return FMatches < FItems / 2 && outBytes < inBytes / 2;
}

// ---- greedy matching, levels 1-3 ----
void TDeflater::DeflateFast() {
  u8* const window = FWindow.get();
  FMatchLength = 0;
  while (FLookahead != 0) {
    const u32 head = InsertString(FStrStart);
    if (head != 0 && FStrStart - head <= kMaxDist) {
      FMatchLength = std::min(LongestMatch(head, kMinMatch - 1), FLookahead);
    }
    bool flush;
    if (FMatchLength >= kMinMatch) {
      CheckMatch(FStrStart, FMatchStart, FMatchLength);
      flush = TallyMatch(FStrStart - FMatchStart, FMatchLength);
      FLookahead -= FMatchLength;
      if (FMatchLength <= FParams.MaxLazy) {
        // Hash every string inside the match too.
        for (u32 i = 1; i < FMatchLength; ++i) InsertString(FStrStart + i);
        FStrStart += FMatchLength;
      } else {
        FStrStart += FMatchLength;
        FInsH = window[FStrStart];
        FInsH = ((FInsH << kHashShift) ^ window[FStrStart + 1]) & kHashMask;
      }
      FMatchLength = 0;
    } else {
      flush = TallyLiteral(window[FStrStart]);
      --FLookahead;
      ++FStrStart;
    }
    if (flush) {
      FlushBlock(false);
      FBlockStart = FStrStart;
    }
    if (FLookahead < kMinLookahead && !FEndOfInput) FillWindow();
  }
  FlushBlock(true);
}

// ---- lazy matching, levels 4-9 ----
// A match found at one position is held back until the next position has
// been searched; the longer of the two wins, the other start becomes a
// literal.
void TDeflater::DeflateLazy() {
  u8* const window = FWindow.get();
  bool literalPending = false;
  FMatchLength = kMinMatch - 1;
  while (FLookahead != 0) {
    const u32 head = InsertString(FStrStart);
    const u32 prevLength = FMatchLength;
    const u32 prevMatch = FMatchStart;
    FMatchLength = kMinMatch - 1;
    if (head != 0 && prevLength < FParams.MaxLazy && FStrStart - head <= kMaxDist) {
      FMatchLength = std::min(LongestMatch(head, prevLength), FLookahead);
      // A short match far back costs more than its literals.
      if (FMatchLength == kMinMatch && FStrStart - FMatchStart > kTooFar)
        FMatchLength = kMinMatch - 1;
    }
    if (prevLength >= kMinMatch && FMatchLength <= prevLength) {
      const u32 start = FStrStart - 1;
      CheckMatch(start, prevMatch, prevLength);
      const bool flush = TallyMatch(start - prevMatch, prevLength);
      // The strings at start and start + 1 are hashed already.
      FLookahead -= prevLength - 1;
      for (u32 i = 2; i < prevLength; ++i) InsertString(start + i);
      FStrStart = start + prevLength;
      literalPending = false;
      FMatchLength = kMinMatch - 1;
      if (flush) {
        FlushBlock(false);
        FBlockStart = FStrStart;
      }
    } else if (literalPending) {
      if (TallyLiteral(window[FStrStart - 1])) {
        FlushBlock(false);
        FBlockStart = FStrStart;
      }
      ++FStrStart;
      --FLookahead;
    } else {
      literalPending = true;
      ++FStrStart;
      --FLookahead;
    }
    if (FLookahead < kMinLookahead && !FEndOfInput) FillWindow();
  }
  if (literalPending) TallyLiteral(window[FStrStart - 1]);
  FlushBlock(true);
}

void TDeflater::ResetBlock() {
  FLitFreq.fill(0);
  FDistFreq.fill(0);
  FLitFreq[kEndOfBlock] = 1;
  FItems = 0;
  FMatches = 0;
}

// Bytes 7-127 count as text, the rest as binary; text unless binary bytes
// are more than a quarter of the text bytes.
void TDeflater::DecideTextOrBinary() {
  u64 binary = 0;
  u64 text = 0;
  for (std::size_t n = 0; n < 7; ++n) binary += FLitFreq[n];
  for (std::size_t n = 7; n < 128; ++n) text += FLitFreq[n];
  for (std::size_t n = 128; n < kLiterals; ++n) binary += FLitFreq[n];
  FTextState = binary > text / 4 ? 0 : 1;
}

}  // namespace vz
