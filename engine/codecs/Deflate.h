// TDeflater: the compressor of the archive writer. It turns one member's bytes
// into a raw deflate stream (RFC 1951, no wrapper) with a 32 KB sliding
// window over a 64 KB buffer and hash chains: of four-byte strings for
// levels 1-6 (with a table of three-byte strings for near short matches at
// 4-6), of three-byte strings for 7-9; greedy matching for levels 1-3, lazy
// for 4-9. Blocks end where the symbol statistics change enough to pay for a
// new header, and each is sent stored, with fixed or with dynamic Huffman
// codes, whichever is smallest. All work areas belong to the object, so one
// object serves a whole zip operation without allocating per member; nothing
// is shared between objects, so several may run on different threads.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "engine/codecs/DeflateBitWriter.h"
#include "engine/codecs/DeflateTrees.h"
#include "engine/format/ZipHeaderInfo.h"

namespace vz {

// Fills `buffer` with up to buffer.size() bytes of the member and returns the
// number delivered; 0 means the end. May throw (a read error, a cancel).
using TDeflateRead = std::function<std::size_t(std::span<u8> buffer)>;
// Takes the next compressed bytes; throws on failure.
using TDeflateWrite = deflate::TWriteBytes;

class TDeflater {
 public:
  TDeflater();
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;

  // Compresses everything `read` delivers into a raw deflate stream pushed
  // through `write`, and returns the number of bytes written.
  //
  // `level` 1-9 as in the level table (values outside 0-9 are clamped);
  // level 0 stores the member: the bytes are copied through `write`.
  //
  // Sets in `header`:
  //  - Flags bits 1-2 for the level: 0-2 -> 4, 8-9 -> 2, 3-7 -> neither;
  //    other bits are left alone;
  //  - InternalAttributes: 1 when the data looks like text, 0 for binary,
  //    judged from the literals of the first block (the first 32 KB when
  //    storing);
  //  - CompressionMethod: 0 when the member ends up stored (level 0, or a
  //    member that fits in one block and would not shrink; the bytes written
  //    are then exactly the input), else 8.
  //
  // Throws ECompressorFault naming `memberName` when the compressor finds
  // its own state inconsistent (the window overrun, a code length out of
  // range: faults a correct build never shows), and EInvalidMatch when a
  // chosen match does not compare equal to the data or does not lie behind
  // it within the window; either fails the operation. Exceptions from `read`
  // and `write` propagate unchanged. After any exception the object is ready
  // for the next member. The compressor talks to no user: it runs on the
  // operation's thread, wherever that is.
  u64 CompressMember(TZipHeaderInfo& header, int level, const TDeflateRead& read,
                     const TDeflateWrite& write, const std::string& memberName);

  // Between members, the hash heads of one that filled no more of the window
  // than this are cleared one by one, found again by hashing its bytes;
  // after a larger one the tables are cleared whole. Both cost about the
  // same at this size, whatever the level.
  static constexpr u32 kRehashLimit = 2048;

 private:
  struct TLevelParams {
    u16 GoodLength;  // a previous match this long quarters the chain budget
    u16 MaxLazy;     // lazy: no search after a match this long; fast: longest
                     // match whose strings are still hashed
    u16 NiceLength;  // stop searching at a match this long
    u16 MaxChain;    // candidates examined per search
    bool Lazy;
    bool Hash4;  // chains of four-byte strings instead of three-byte ones
    bool Near3;  // with Hash4: a table of three-byte strings for near matches
  };

  void StoreMember();
  void ClearHeads();
  void StartMember(int level);
  void FillWindow();
  void SlideWindow();
  [[noreturn]] void Fault(const std::string& what) const;

  template <bool kHash4>
  u32 InsertString(u32 position);
  u32 LongestMatch(u32 candidate, u32 previousLength);
  u32 ThreeByteMatch();
  void CheckMatch(u32 start, u32 match, u32 length) const;
  bool TallyLiteral(u8 c);
  bool TallyMatch(u32 distance, u32 length);
  void EndChunk(i64 end);
  void SendBeforeMark();
  void DeflateGreedy();
  template <bool kHash4>
  void DeflateLazy();

  void FlushBlock(bool last, u32 items, i64 end);
  void DecideTextOrBinary();
  u64 BuildDynamicTrees(int& litMaxCode, int& distMaxCode, int& blCodes);
  template <typename TVisit>
  static void ForEachLengthRun(std::span<const u8> lengths, int maxCode, TVisit&& visit);
  void SendDynamicHeader(int litMaxCode, int distMaxCode, int blCodes);
  void SendBitLengthSymbol(int symbol, u32 extra);
  void SendItems(u32 items, std::span<const u8> litLenLengths, std::span<const u16> litLenCodes,
                 std::span<const u8> distLengths, std::span<const u16> distCodes);
  void ResetBlock();

  // Items (literals and matches) buffered for one block at most, and the
  // chunk of items at whose ends a block may end.
  static constexpr u32 kItemCapacity = 32768;
  static constexpr u32 kChunkItems = 4096;
  static_assert(kItemCapacity % kChunkItems == 0);

  // ---- work areas, allocated once ----
  // The window holds two 32 KB halves plus a zeroed tail, so that the
  // match comparison and hashing near the end never leave the buffer.
  static constexpr std::size_t kWindowTail = 512;
  std::unique_ptr<u8[]> FWindow;
  std::unique_ptr<u16[]>
      FPrev;  // link to the previous string of the same hash, by position & 0x7FFF
  std::unique_ptr<u16[]> FHead;  // latest position of each hash; 0 = none
  // With four-byte chains: the latest position of each three-byte hash, the
  // one place where a three-byte match is looked for.
  std::unique_ptr<u16[]> FHead3;
  u32 FHead3Candidate = 0;  // its entry for the current string, before the update
  // What the last member left in the head tables, for the next one to clear.
  enum class THeadHash : u8 { None, Four, Rolling };  // None: both tables are clear
  struct THeadsUsed {
    THeadHash Hash = THeadHash::None;
    bool Near3 = false;  // FHead3 was written too
    bool Exact = true;   // the heads are those of the window's positions below FWindowHigh
  };
  THeadsUsed FHeadsUsed;
  // One entry per buffered item: FLitBuf holds the literal, or the match
  // length minus 3; FDistBuf the match distance, 0 marking a literal (which
  // takes the place of a separate match-flag array).
  std::unique_ptr<u8[]> FLitBuf;
  std::unique_ptr<u16[]> FDistBuf;
  deflate::TDeflateBitWriter FBits;
  deflate::THuffmanBuilder FBuilder;

  std::array<u32, deflate::kLitLenTableSize> FLitFreq{};
  std::array<u32, deflate::kDistCodes> FDistFreq{};
  std::array<u32, deflate::kBitLengthCodes> FBlFreq{};
  // The counts at the last chunk boundary of the block, where it may yet end.
  std::array<u32, deflate::kLitLenTableSize> FMarkLitFreq{};
  std::array<u32, deflate::kDistCodes> FMarkDistFreq{};
  std::array<u8, deflate::kLitLenTableSize> FLitLengths{};
  std::array<u16, deflate::kLitLenTableSize> FLitCodes{};
  std::array<u8, deflate::kDistCodes> FDistLengths{};
  std::array<u16, deflate::kDistCodes> FDistCodes{};
  std::array<u8, deflate::kBitLengthCodes> FBlLengths{};
  std::array<u16, deflate::kBitLengthCodes> FBlCodes{};

  // ---- per member; the pointers are valid during CompressMember only ----
  const TDeflateRead* FRead = nullptr;
  const std::string* FMemberName = nullptr;
  TLevelParams FParams{};
  int FLevel = 6;
  u32 FInsH = 0;         // rolling 15-bit hash of the next string's bytes
  u32 FStrStart = 0;     // position of the current string in the window
  u32 FLookahead = 0;    // valid bytes from FStrStart on
  u32 FMatchStart = 0;   // source of the best match LongestMatch found
  u32 FMatchLength = 0;  // length of the match at FMatchStart still to be used
  i64 FBlockStart = 0;   // negative once the block's start slid out
  u32 FWindowHigh = 0;   // bytes of the window written this member
  bool FEndOfInput = false;
  int FTextState = 2;  // 1 text, 0 binary, 2 not decided yet
  bool FStoredMember = false;
  u32 FItems = 0;      // literals and matches buffered
  u32 FMarkItems = 0;  // items before the last chunk boundary; 0 = none yet
  i64 FMarkEnd = 0;    // window position the items up to that boundary reach
  u64 FMarkCost = 0;   // the entropy of those items, in 1/256 bits
};

}  // namespace vz
