#include "engine/format/ZipFormat.h"

#include <array>
#include <string_view>
#include <utility>

namespace vz {
namespace {

constexpr std::array<std::pair<u16, std::string_view>, 24> kMethodNames{{
    {0, "Stored"},   {1, "Shrunk"},     {2, "Reduced1"},   {3, "Reduced2"},     {4, "Reduced3"},
    {5, "Reduced4"}, {6, "Imploded"},   {7, "Tokenized"},  {8, "Deflated"},     {9, "Deflate64"},
    {10, "PKDCL"},   {12, "BZip2"},     {14, "LZMA"},      {16, "CMPSC"},       {18, "TERSE"},
    {19, "LZ77"},    {20, "Zstandard"}, {93, "Zstandard"}, {94, "MP3"},         {95, "XZ"},
    {96, "JPEG"},    {97, "WavPack"},   {98, "PPMd"},      {kMethodAes, "AES"},
}};
static_assert(kMethodNames[8].second == "Deflated" && kMethodNames[9].second == "Deflate64");

}  // namespace

std::string CompressionMethodName(u16 method) {
  for (const auto& [number, name] : kMethodNames) {
    if (number == method) return std::string(name);
  }
  return "Method" + std::to_string(method);
}

}  // namespace vz
