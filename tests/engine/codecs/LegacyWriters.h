// Encoders for the old methods, written in the tests from the format
// descriptions, to make streams with the features real archives may lack:
// shrink's partial clears, every implode variant, reduce's escapes.
#pragma once

#include <span>
#include <vector>

#include "platform/Types.h"

namespace vz::test {

// Shrink. A partial clear is sent after every `clearEvery` codes (0: only
// when the table is full); the code width grows as the codes need.
std::vector<u8> ShrinkStream(std::span<const u8> data, std::size_t clearEvery);

// Reduce with factor 1-4. Follower sets hold each byte's most frequent
// successors when `useFollowers`, else they are all empty.
std::vector<u8> ReduceStream(std::span<const u8> data, unsigned factor, bool useFollowers);

// One implode token: a literal, or a match of Length bytes from Distance back.
struct TImplodeToken {
  bool IsLiteral;
  u8 Byte = 0;
  u32 Length = 0;
  u32 Distance = 0;
};

// Code lengths of the trees: Literal (256, three-tree form only), Length and
// Distance (64 each); every one must be a complete code.
struct TImplodeTrees {
  std::vector<u8> Literal, Length, Distance;
};

// 64 lengths from 5 to 16 bits: ten of 5, forty-three of 6, then one each of
// 7 to 16 and a second 16 (reversed: the longest codes on the first symbols).
std::vector<u8> SpineLengths(bool reversed);
TImplodeTrees DefaultImplodeTrees(u16 flags);

// Greedy matching within the dictionary and length limits of `flags`.
std::vector<TImplodeToken> ImplodeTokens(std::span<const u8> data, u16 flags);
std::vector<u8> ImplodeStream(const std::vector<TImplodeToken>& tokens, u16 flags,
                              const TImplodeTrees& trees);

}  // namespace vz::test
