#include "tests/engine/codecs/LegacyWriters.h"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>

#include "tests/support/BitWriter.h"

namespace vz::test {
namespace {

// Greedy matcher over the last 64 earlier positions with the same two bytes.
class TMatcher {
 public:
  TMatcher(std::span<const u8> data, u32 maxDistance, u32 maxLength)
      : FData(data), FMaxDistance(maxDistance), FMaxLength(maxLength) {}

  // The longest match at `at` that `accept(length, distance)` allows.
  template <typename TAccept>
  std::pair<u32, u32> Find(std::size_t at, TAccept accept) {
    u32 bestLength = 0, bestDistance = 0;
    if (at + 1 >= FData.size()) return {0, 0};
    const auto& candidates = FSeen[Key(at)];
    for (std::size_t k = candidates.size(); k-- > 0 && candidates.size() - k <= 64;) {
      const auto d = static_cast<u32>(at - candidates[k]);
      if (d > FMaxDistance) break;
      u32 l = 0;
      while (l < FMaxLength && at + l < FData.size() && FData[at + l] == FData[at + l - d]) ++l;
      if (l > bestLength && accept(l, d)) bestLength = l, bestDistance = d;
    }
    return {bestLength, bestDistance};
  }

  // Records positions [at, at + count) as match starts.
  void Pass(std::size_t at, std::size_t count) {
    for (std::size_t i = at; i < at + count && i + 1 < FData.size(); ++i) {
      FSeen[Key(i)].push_back(static_cast<u32>(i));
    }
  }

 private:
  u32 Key(std::size_t at) const { return static_cast<u32>(FData[at]) << 8 | FData[at + 1]; }

  std::span<const u8> FData;
  u32 FMaxDistance, FMaxLength;
  std::unordered_map<u32, std::vector<u32>> FSeen;
};

}  // namespace

// --- Shrink ------------------------------------------------------------------

namespace {

class TShrinker {
 public:
  explicit TShrinker(std::size_t clearEvery) : FClearEvery(clearEvery) {}

  std::vector<u8> Run(std::span<const u8> data) {
    if (data.empty()) return {};
    u32 current = data[0];
    for (std::size_t i = 1; i < data.size(); ++i) {
      const u32 key = current << 8 | data[i];
      if (const auto found = FChildren.find(key); found != FChildren.end()) {
        current = found->second;
        continue;
      }
      Emit(current);
      // The clear comes after the code and before the entry it completes,
      // so that the decoder, one entry behind, sees the same table.
      if ((FClearEvery != 0 && ++FCodes % FClearEvery == 0) || FNextFree >= kCodes) {
        Emit(256);
        FWriter.PutBits(2, FBits);
        PartialClear();
      }
      if (FNextFree < kCodes) {
        FParent[FNextFree] = static_cast<int>(current);
        FSuffix[FNextFree] = data[i];
        FChildren[key] = FNextFree;
        FindNextFree(FNextFree + 1);
      }
      current = data[i];
    }
    Emit(current);
    return FWriter.Bytes();
  }

 private:
  static constexpr u32 kCodes = 8192;

  void Emit(u32 code) {
    while (code >= (1u << FBits)) {
      FWriter.PutBits(256, FBits);
      FWriter.PutBits(1, FBits);
      ++FBits;
    }
    FWriter.PutBits(code, FBits);
  }

  void FindNextFree(u32 from) {
    FNextFree = from;
    while (FNextFree < kCodes && FParent[FNextFree] >= 0) ++FNextFree;
  }

  void PartialClear() {
    std::vector<bool> extended(kCodes);
    for (u32 c = 257; c < kCodes; ++c) {
      if (FParent[c] >= 0) extended[static_cast<u32>(FParent[c])] = true;
    }
    for (u32 c = 257; c < kCodes; ++c) {
      if (FParent[c] >= 0 && !extended[c]) {
        const auto found = FChildren.find(static_cast<u32>(FParent[c]) << 8 | FSuffix[c]);
        if (found != FChildren.end() && found->second == c) FChildren.erase(found);
        FParent[c] = -1;
      }
    }
    FindNextFree(257);
  }

  std::size_t FClearEvery;
  std::size_t FCodes = 0;
  TBitWriter FWriter;
  unsigned FBits = 9;
  u32 FNextFree = 257;
  std::vector<int> FParent = std::vector<int>(kCodes, -1);
  std::vector<u8> FSuffix = std::vector<u8>(kCodes);
  std::unordered_map<u32, u32> FChildren;
};

}  // namespace

std::vector<u8> ShrinkStream(std::span<const u8> data, std::size_t clearEvery) {
  return TShrinker(clearEvery).Run(data);
}

// --- Reduce ------------------------------------------------------------------

namespace {

unsigned IndexBits(std::size_t n) {
  unsigned bits = 1;
  while ((std::size_t{1} << bits) < n) ++bits;
  return bits;
}

// The byte stream before follower coding: literals (144 doubled as 144, 0)
// and DLE-escaped matches found greedily.
std::vector<u8> ReduceBytes(std::span<const u8> data, unsigned factor) {
  const u32 lengthMask = 0xFFu >> factor;
  TMatcher matcher(data, 256u << factor, lengthMask + 255 + 3);
  std::vector<u8> out;
  for (std::size_t at = 0; at < data.size();) {
    // Length 3 from the first 256 bytes back would encode as DLE 0.
    const auto [length, distance] =
        matcher.Find(at, [](u32 l, u32 d) { return l > 3 || (l == 3 && d > 256); });
    if (length < 3) {
      out.push_back(data[at]);
      if (data[at] == 144) out.push_back(0);
      matcher.Pass(at, 1);
      ++at;
      continue;
    }
    const u32 extra = length - 3;
    const u32 high = (distance - 1) >> 8;
    out.push_back(144);
    out.push_back(static_cast<u8>(high << (8 - factor) | std::min(extra, lengthMask)));
    if (extra >= lengthMask) out.push_back(static_cast<u8>(extra - lengthMask));
    out.push_back(static_cast<u8>(distance - 1));
    matcher.Pass(at, length);
    at += length;
  }
  return out;
}

}  // namespace

std::vector<u8> ReduceStream(std::span<const u8> data, unsigned factor, bool useFollowers) {
  const auto bytes = ReduceBytes(data, factor);
  std::array<std::vector<u8>, 256> followers;
  if (useFollowers) {
    std::array<std::map<u8, u32>, 256> counts;
    u8 previous = 0;
    for (const u8 b : bytes) ++counts[previous][b], previous = b;
    for (std::size_t c = 0; c < 256; ++c) {
      std::vector<std::pair<u32, u8>> ranked;
      for (const auto& [b, n] : counts[c]) ranked.emplace_back(n, b);
      std::sort(ranked.rbegin(), ranked.rend());
      for (std::size_t i = 0; i < ranked.size() && i < 32; ++i)
        followers[c].push_back(ranked[i].second);
    }
  }
  TBitWriter w;
  for (int c = 255; c >= 0; --c) {
    const auto& set = followers[static_cast<std::size_t>(c)];
    w.PutBits(static_cast<u32>(set.size()), 6);
    for (const u8 b : set) w.PutBits(b, 8);
  }
  u8 previous = 0;
  for (const u8 b : bytes) {
    const auto& set = followers[previous];
    const auto found = std::find(set.begin(), set.end(), b);
    if (set.empty()) {
      w.PutBits(b, 8);
    } else if (found == set.end()) {
      w.PutBits(1, 1);
      w.PutBits(b, 8);
    } else {
      w.PutBits(0, 1);
      w.PutBits(static_cast<u32>(found - set.begin()), IndexBits(set.size()));
    }
    previous = b;
  }
  return w.Bytes();
}

// --- Implode -----------------------------------------------------------------

std::vector<u8> SpineLengths(bool reversed) {
  std::vector<u8> lengths(10, 5);
  lengths.insert(lengths.end(), 43, 6);
  for (u8 l = 7; l <= 16; ++l) lengths.push_back(l);
  lengths.push_back(16);
  if (reversed) std::reverse(lengths.begin(), lengths.end());
  return lengths;
}

TImplodeTrees DefaultImplodeTrees(u16 flags) {
  TImplodeTrees trees;
  if ((flags & 4) != 0) trees.Literal.assign(256, 8);
  trees.Length = SpineLengths(false);
  trees.Distance = SpineLengths(true);
  return trees;
}

namespace {

u32 MinLength(u16 flags) {
  return (flags & 4) != 0 ? 3 : 2;
}
unsigned LowBits(u16 flags) {
  return (flags & 2) != 0 ? 7 : 6;
}

void PutTree(TBitWriter& w, const std::vector<u8>& lengths) {
  std::vector<u8> groups;
  for (std::size_t i = 0; i < lengths.size();) {
    std::size_t run = 1;
    while (run < 16 && i + run < lengths.size() && lengths[i + run] == lengths[i]) ++run;
    groups.push_back(static_cast<u8>((run - 1) << 4 | (lengths[i] - 1)));
    i += run;
  }
  w.PutBits(static_cast<u32>(groups.size() - 1), 8);
  for (const u8 g : groups) w.PutBits(g, 8);
}

// Implode sends every code with its bits inverted.
void PutInverted(TBitWriter& w, const std::vector<u32>& codes, const std::vector<u8>& lengths,
                 u32 symbol) {
  const unsigned length = lengths.at(symbol);
  w.PutCode(~codes.at(symbol) & ((1u << length) - 1), length);
}

}  // namespace

std::vector<TImplodeToken> ImplodeTokens(std::span<const u8> data, u16 flags) {
  const u32 minLength = MinLength(flags);
  TMatcher matcher(data, 64u << LowBits(flags), minLength + 63 + 255);
  std::vector<TImplodeToken> tokens;
  for (std::size_t at = 0; at < data.size();) {
    const auto [length, distance] = matcher.Find(at, [](u32, u32) { return true; });
    const std::size_t step = length >= minLength ? length : 1;
    if (step == 1) {
      tokens.push_back({true, data[at]});
    } else {
      tokens.push_back({false, 0, length, distance});
    }
    matcher.Pass(at, step);
    at += step;
  }
  return tokens;
}

std::vector<u8> ImplodeStream(const std::vector<TImplodeToken>& tokens, u16 flags,
                              const TImplodeTrees& trees) {
  const bool threeTrees = (flags & 4) != 0;
  const unsigned lowBits = LowBits(flags);
  TBitWriter w;
  if (threeTrees) PutTree(w, trees.Literal);
  PutTree(w, trees.Length);
  PutTree(w, trees.Distance);
  const auto literalCodes = CanonicalCodes(trees.Literal);
  const auto lengthCodes = CanonicalCodes(trees.Length);
  const auto distanceCodes = CanonicalCodes(trees.Distance);
  for (const auto& t : tokens) {
    if (t.IsLiteral) {
      w.PutBits(1, 1);
      if (threeTrees) {
        PutInverted(w, literalCodes, trees.Literal, t.Byte);
      } else {
        w.PutBits(t.Byte, 8);
      }
      continue;
    }
    w.PutBits(0, 1);
    const u32 d = t.Distance - 1;
    w.PutBits(d & ((1u << lowBits) - 1), lowBits);
    PutInverted(w, distanceCodes, trees.Distance, d >> lowBits);
    const u32 l = t.Length - MinLength(flags);
    PutInverted(w, lengthCodes, trees.Length, std::min<u32>(l, 63));
    if (l >= 63) w.PutBits(l - 63, 8);
  }
  return w.Bytes();
}

}  // namespace vz::test
