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
constexpr u32 kHashBits = 16;
constexpr u32 kHashSize = u32{1} << kHashBits;
// The rolling hash of three bytes (levels 7-9) keeps 15 bits, so that three
// shifts of 5 push a byte out and the hash depends on those three alone; it
// uses the lower half of the heads.
constexpr u32 kRollingMask = (u32{1} << 15) - 1;
constexpr u32 kHashShift = 5;
inline u32 RollHash(u32 hash, u8 next) {
  return ((hash << kHashShift) ^ next) & kRollingMask;
}
constexpr u32 kMinMatch = 3;
constexpr u32 kMaxMatch = 258;
// Enough lookahead for one longest match plus the next string's hash bytes.
constexpr u32 kMinLookahead = kMaxMatch + kMinMatch + 1;
constexpr u32 kMaxDist = kWSize - kMinLookahead;  // 32506
constexpr u32 kSlideAt = kWSize + kMaxDist;       // 65274
constexpr u32 kTooFar = 4096;
static_assert(kMinLookahead == 262 && kMaxDist == 32506 && kSlideAt == 65274);
// A member this small never slid its window, so its heads are still the
// hashes of the positions below the window's high-water mark.
static_assert(TDeflater::kRehashLimit < kSlideAt);

struct TLevelRow {
  u16 Good, Lazy, Nice, Chain;
  bool LazyStrategy;
  bool Hash4;
  bool Near3;  // with Hash4: look for near three-byte matches too
};
// Level 0's row is all zeros and never used: level 0 stores.
constexpr std::array<TLevelRow, 10> kLevels = {{
    {0, 0, 0, 0, false, false, false},
    {4, 8, 16, 2, false, true, false},
    {4, 16, 32, 4, false, true, false},
    {4, 16, 32, 12, false, true, false},
    {4, 8, 16, 6, true, true, true},
    {8, 16, 32, 16, true, true, true},
    {8, 16, 128, 128, true, true, true},
    {8, 32, 128, 256, true, false, false},
    {32, 128, 258, 1024, true, false, false},
    {32, 258, 258, 4096, true, false, false},
}};
static_assert(kLevels[6].Nice == 128 && kLevels[9].Chain == 4096 && !kLevels[3].LazyStrategy);
// The lazy matcher keeps the three-byte table whenever it hashes four bytes.
static_assert(std::ranges::all_of(kLevels, [](const TLevelRow& row) {
  return !(row.LazyStrategy && row.Hash4) || row.Near3;
}));

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

inline u32 Load32(const u8* p) {
  u32 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The fast levels hash four bytes: a chain then holds almost only strings
// that share four bytes with the current one, so fewer candidates are
// compared for the same result. The multiplier spreads all four bytes over
// the top bits.
inline u32 Hash4(const u8* p) {
  return (Load32(p) * 0x9E3779B1u) >> (32 - kHashBits);
}

constexpr u32 kHash3Bits = 15;
constexpr u32 kHash3Size = u32{1} << kHash3Bits;
inline u32 Hash3(const u8* p) {
  const u32 bytes = std::endian::native == std::endian::little
                        ? Load32(p) & 0xFFFFFFu
                        : u32{p[0]} | u32{p[1]} << 8 | u32{p[2]} << 16;
  return (bytes * 0x9E3779B1u) >> (32 - kHash3Bits);
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

// What a chain walk reads.
struct TChains {
  const u8* Window;
  const u16* Prev;
  u32 Nice;  // a match this long ends the walk
};

// Follows the hash chain from `candidate` for a match at `position` longer
// than `best`, looking at `chain` candidates at most; on success
// `matchStart` is its source. Returns the best length found, or `best`. A
// candidate is compared in full only when its first two bytes and the two
// bytes ending at the current best length agree with the current string.
inline u32 SearchChain(const TChains& chains, u32 position, u32 candidate, u32 best, u32 chain,
                       u32& matchStart) {
  const u8* const window = chains.Window;
  const u8* const scan = window + position;
  const u32 limit = position > kMaxDist ? position - kMaxDist : 0;
  const u16 scanStart = Load16(scan);
  u16 scanEnd = Load16(scan + best - 1);
  u32 found = matchStart;
  for (;;) {
    // The next link is fetched before the compare so that the two loads
    // overlap; the walk is bound by their latency.
    const u32 next = chains.Prev[candidate & kWMask];
    const u8* const match = window + candidate;
    if (Load16(match + best - 1) == scanEnd && Load16(match) == scanStart) {
      const u32 length = CommonLength(scan, match);
      if (length > best) {
        found = candidate;
        best = length;
        if (length >= chains.Nice) break;
        scanEnd = Load16(scan + best - 1);
      }
    }
    if (next <= limit || --chain == 0) break;
    candidate = next;
  }
  matchStart = found;
  return best;
}

inline bool Equal3(const u8* a, const u8* b) {
  return Load16(a) == Load16(b) && a[2] == b[2];
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
      FHead3(std::make_unique<u16[]>(kHash3Size)),
      FLitBuf(std::make_unique<u8[]>(kItemCapacity)),
      FDistBuf(std::make_unique<u16[]>(kItemCapacity)) {}

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
  // given: then the next member clears the whole window, and the whole head
  // tables, which it can no longer find again from the window.
  const TOnUnwind markWindowDirty([this] {
    FWindowHigh = kWindowBytes;
    FHeadsUsed.Exact = false;
  });
  // Before a stored member overwrites the window the last one's heads are
  // still known from it.
  ClearHeads();
  if (level == 0) {
    StoreMember();
  } else {
    StartMember(level);
    if (FParams.Lazy) {
      FParams.Hash4 ? DeflateLazy<true>() : DeflateLazy<false>();
    } else {
      DeflateGreedy();
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
  FParams = {row.Good,         row.Lazy,  row.Nice, std::max<u16>(row.Chain, 1),
             row.LazyStrategy, row.Hash4, row.Near3};
  FLevel = level;
  FHeadsUsed = {FParams.Hash4 ? THeadHash::Four : THeadHash::Rolling, FParams.Near3, true};
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
  FInsH = RollHash(RollHash(0, FWindow[0]), FWindow[1]);
}

// Only the heads need clearing: a chain is entered through a head, and every
// link reachable from one was written for its member. Clearing both tables
// (192 KB) for every member cost more than compressing a small one, so a
// small member's heads are found again by hashing its strings, which are
// still in the window: this costs nothing while compressing, where recording
// each head set would cost a store per string, and keeps the tables as they
// are, where an epoch tag per head would widen them and slow every chain
// walk. After a slide (the heads were rebased) or an exception (the window
// may hold anything) only a full clear is safe.
void TDeflater::ClearHeads() {
  const THeadsUsed used = std::exchange(FHeadsUsed, THeadsUsed{});
  if (used.Hash == THeadHash::None) return;
  if (!used.Exact || FWindowHigh > kRehashLimit) {
    std::fill_n(FHead.get(), kHashSize, u16{0});
    if (used.Near3) std::fill_n(FHead3.get(), kHash3Size, u16{0});
    return;
  }
  // Every position a member inserts lies below FWindowHigh, and nothing has
  // written to the window since: the bytes hashed now, up to three beyond
  // the data, are those hashed then.
  const u8* const window = FWindow.get();
  u16* const head = FHead.get();
  u16* const head3 = FHead3.get();
  const u32 end = FWindowHigh;
  if (used.Hash == THeadHash::Rolling) {
    // Three rolls push out whatever came before: each string's hash is
    // computed alone, and the loop has no chain of dependent steps.
    for (u32 p = 0; p < end; ++p)
      head[RollHash(RollHash(RollHash(0, window[p]), window[p + 1]), window[p + 2])] = 0;
  } else if (used.Near3) {
    for (u32 p = 0; p < end; ++p) {
      head[Hash4(window + p)] = 0;
      head3[Hash3(window + p)] = 0;
    }
  } else {
    for (u32 p = 0; p < end; ++p) head[Hash4(window + p)] = 0;
  }
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
  FMarkEnd -= kWSize;
  FHeadsUsed.Exact = false;
  const auto rebase = [](u16& p) { p = static_cast<u16>(p >= kWSize ? p - kWSize : 0); };
  std::for_each(FHead.get(), FHead.get() + kHashSize, rebase);
  if (FParams.Near3) std::for_each(FHead3.get(), FHead3.get() + kHash3Size, rebase);
  std::for_each(FPrev.get(), FPrev.get() + kWSize, rebase);
}

template <bool kHash4>
inline u32 TDeflater::InsertString(u32 position) {
  if constexpr (kHash4) {
    const u8* const p = FWindow.get() + position;
    FInsH = Hash4(p);
    u16& head3 = FHead3[Hash3(p)];
    FHead3Candidate = head3;
    head3 = static_cast<u16>(position);
  } else {
    FInsH = RollHash(FInsH, FWindow[position + kMinMatch - 1]);
  }
  const u32 head = FHead[FInsH];
  FPrev[position & kWMask] = static_cast<u16>(head);
  FHead[FInsH] = static_cast<u16>(position);
  return head;
}

// Follows the hash chain from `candidate` for a match longer than
// `previousLength`; on success FMatchStart is its source. Returns the best
// length found, or previousLength.
u32 TDeflater::LongestMatch(u32 candidate, u32 previousLength) {
  u32 chain = FParams.MaxChain;
  if (previousLength >= FParams.GoodLength) chain = std::max<u32>(chain >> 2, 1);
  return SearchChain({FWindow.get(), FPrev.get(), FParams.NiceLength}, FStrStart, candidate,
                     previousLength, chain, FMatchStart);
}

// With four-byte chains, a three-byte match comes from the one candidate of
// the three-byte table, and only when it is near enough to pay off.
u32 TDeflater::ThreeByteMatch() {
  const u32 candidate = FHead3Candidate;
  if (candidate == 0 || FStrStart - candidate > kTooFar) return 0;
  const u8* const window = FWindow.get();
  if (!Equal3(window + candidate, window + FStrStart)) return 0;
  FMatchStart = candidate;
  return kMinMatch;
}

// Eight bytes a step: the window's zeroed tail lets the last step read past
// the match, and the bytes beyond it are masked off. A source that is not
// behind the string (a head left from another member can point at the
// string itself) compares equal but has no distance code: it would index
// past the code table.
inline void TDeflater::CheckMatch(u32 start, u32 match, u32 length) const {
  const u8* const window = FWindow.get();
  u64 diff = match >= start || start - match > kWSize ? 1 : 0;
  u32 i = 0;
  for (; i + 8 <= length; i += 8) diff |= Load64(window + match + i) ^ Load64(window + start + i);
  if (i < length) {
    const u64 tail = Load64(window + match + i) ^ Load64(window + start + i);
    const u32 bytes = length - i;  // 1-7
    diff |= std::endian::native == std::endian::little ? tail << (64 - 8 * bytes)
                                                       : tail >> (64 - 8 * bytes);
  }
  if (diff != 0) {
    throw EInvalidMatch(static_cast<long>(start), static_cast<long>(match),
                        static_cast<long>(length));
  }
}

inline bool TDeflater::TallyLiteral(u8 c) {
  FLitBuf[FItems] = c;
  FDistBuf[FItems] = 0;
  ++FItems;
  ++FLitFreq[c];
  return FItems % kChunkItems == 0;
}

inline bool TDeflater::TallyMatch(u32 distance, u32 length) {
  const u32 lengthIndex = length - kMinMatch;
  FLitBuf[FItems] = static_cast<u8>(lengthIndex);
  FDistBuf[FItems] = static_cast<u16>(distance);
  ++FItems;
  ++FLitFreq[kLiterals + 1 + kLengthCode[lengthIndex]];
  ++FDistFreq[DistCode(distance - 1)];
  return FItems % kChunkItems == 0;
}

// ---- greedy matching on four-byte chains, levels 1-3 ----
// The loop keeps its state in locals between refills and block ends: the
// item stores would otherwise make every member be read again.
void TDeflater::DeflateGreedy() {
  const u8* const window = FWindow.get();
  u16* const head = FHead.get();
  u16* const head3 = FHead3.get();
  u16* const prev = FPrev.get();
  u8* const lit = FLitBuf.get();
  u16* const dist = FDistBuf.get();
  const TChains chains{window, prev, FParams.NiceLength};
  const u32 chain = FParams.MaxChain;
  const u32 maxInsert = FParams.MaxLazy;
  const bool near3 = FParams.Near3;
  const auto insert = [&](u32 position) {
    const u8* const p = window + position;
    const u32 h = Hash4(p);
    const u32 candidate = head[h];
    prev[position & kWMask] = static_cast<u16>(candidate);
    head[h] = static_cast<u16>(position);
    if (!near3) return std::pair<u32, u32>(candidate, 0);
    u16& entry3 = head3[Hash3(p)];
    const u32 candidate3 = entry3;
    entry3 = static_cast<u16>(position);
    return std::pair<u32, u32>(candidate, candidate3);
  };
  while (FLookahead != 0) {
    u32 pos = FStrStart;
    const u32 end = pos + FLookahead;
    // Without the input's end in the window, stop where the lookahead would
    // run short of one longest match.
    const u32 stop = FEndOfInput ? end : end - kMinLookahead + 1;
    u32 items = FItems;
    const u32 check = (items | (kChunkItems - 1)) + 1;
    while (pos < stop && items < check) {
      const auto [candidate, candidate3] = insert(pos);
      u32 length = 0;
      u32 from = 0;
      if (candidate != 0 && pos - candidate <= kMaxDist)
        length = SearchChain(chains, pos, candidate, kMinMatch - 1, chain, from);
      if (near3 && length < kMinMatch && candidate3 != 0 && pos - candidate3 <= kTooFar &&
          Equal3(window + candidate3, window + pos)) {
        length = kMinMatch;
        from = candidate3;
      }
      length = std::min(length, end - pos);
      if (length < kMinMatch) {
        const u8 c = window[pos];
        lit[items] = c;
        dist[items] = 0;
        ++items;
        ++FLitFreq[c];
        ++pos;
        continue;
      }
      CheckMatch(pos, from, length);
      lit[items] = static_cast<u8>(length - kMinMatch);
      dist[items] = static_cast<u16>(pos - from);
      ++items;
      ++FLitFreq[kLiterals + 1 + kLengthCode[length - kMinMatch]];
      ++FDistFreq[DistCode(pos - from - 1)];
      if (length <= maxInsert) {
        for (u32 i = 1; i < length; ++i) insert(pos + i);
      }
      pos += length;
    }
    FStrStart = pos;
    FLookahead = end - pos;
    FItems = items;
    if (items == check) EndChunk(pos);
    if (FLookahead < kMinLookahead && !FEndOfInput) FillWindow();
  }
  FlushBlock(true, FItems, FStrStart);
}

// ---- lazy matching, levels 4-9 ----
// A match found at one position is held back until the next position has
// been searched; the longer of the two wins, the other start becomes a
// literal.
template <bool kHash4>
void TDeflater::DeflateLazy() {
  u8* const window = FWindow.get();
  bool literalPending = false;
  FMatchLength = kMinMatch - 1;
  while (FLookahead != 0) {
    const u32 head = InsertString<kHash4>(FStrStart);
    const u32 prevLength = FMatchLength;
    const u32 prevMatch = FMatchStart;
    FMatchLength = kMinMatch - 1;
    if (head != 0 && prevLength < FParams.MaxLazy && FStrStart - head <= kMaxDist) {
      FMatchLength = std::min(LongestMatch(head, prevLength), FLookahead);
      // A short match far back costs more than its literals.
      if (FMatchLength == kMinMatch && FStrStart - FMatchStart > kTooFar)
        FMatchLength = kMinMatch - 1;
    }
    if constexpr (kHash4) {
      if (FMatchLength < kMinMatch && prevLength < kMinMatch)
        FMatchLength = std::max(std::min(ThreeByteMatch(), FLookahead), kMinMatch - 1);
    }
    if (prevLength >= kMinMatch && FMatchLength <= prevLength) {
      const u32 start = FStrStart - 1;
      CheckMatch(start, prevMatch, prevLength);
      const bool chunkFull = TallyMatch(start - prevMatch, prevLength);
      // The strings at start and start + 1 are hashed already.
      FLookahead -= prevLength - 1;
      for (u32 i = 2; i < prevLength; ++i) InsertString<kHash4>(start + i);
      FStrStart = start + prevLength;
      literalPending = false;
      FMatchLength = kMinMatch - 1;
      if (chunkFull) EndChunk(FStrStart);
    } else if (literalPending) {
      // The byte at FStrStart is the one still pending.
      if (TallyLiteral(window[FStrStart - 1])) EndChunk(FStrStart);
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
  FlushBlock(true, FItems, FStrStart);
}

void TDeflater::ResetBlock() {
  FLitFreq.fill(0);
  FDistFreq.fill(0);
  FLitFreq[kEndOfBlock] = 1;
  FItems = 0;
  FMarkItems = 0;
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
