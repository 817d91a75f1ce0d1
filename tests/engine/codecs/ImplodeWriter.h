// An implode encoder written in the tests from the format description, for
// the variants and cases the real archives lack.
#pragma once

#include <span>
#include <vector>

#include "platform/Types.h"

namespace vz::test {

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
