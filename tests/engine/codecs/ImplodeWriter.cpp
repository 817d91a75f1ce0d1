#include "tests/engine/codecs/ImplodeWriter.h"

#include <algorithm>
#include <array>
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
