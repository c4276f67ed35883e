#include "decompress/decoder_dictionary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace lzw {
namespace {

TEST(DecoderDictionary, ExpandsCodesAndRejectsThoseTheArchiveCannotHoldYet) {
  std::vector<uint32_t> runs = {'a'};  // each code the entry it defines itself: a, aa, aaa, ...
  for (uint32_t code = 256; code < 256 + 40; ++code) runs.push_back(code);
  const struct {  // `last` is the status of the last code; the others succeed
    std::vector<uint32_t> codes; Status last; std::string output; uint64_t output_limit = Limits().output_bytes;
  } rows[] = {
      {{'x', 256}, kOk, "xxx"},  // 256 is defined by this very code
      {{'x', 256, 256}, kOk, "xxxxx"},
      {{'A', 'B', 256, 258}, kOk, "ABABABA"},
      {{0, 128, 255, 257, 256}, kOk, std::string("\0\x80\xFF\x80\xFF\0\x80", 7)},
      {runs, kOk, std::string(41 * 42 / 2, 'a')},
      {{'A', 257}, kInvalidArchive, "A"},  // beyond count()
      {{'A', 'B', 258}, kInvalidArchive, "AB"},
      {{256}, kInvalidArchive, ""},  // a first code stands for one byte
      {{'x', 256}, kOk, "xxx", 3},
      {{'x', 256, 'y'}, kInvalidArchive, "xxx", 3},
  };
  for (const auto& row : rows) {
    DecoderDictionary dictionary(Limits{.output_bytes = row.output_limit});
    for (size_t i = 0; i < row.codes.size(); ++i) {
      EXPECT_EQ(dictionary.expand(row.codes[i]), i + 1 < row.codes.size() ? kOk : row.last) << row.output << " " << i;
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dictionary.output()), dictionary.output_size()), row.output);
    EXPECT_EQ(dictionary.count(), std::max<uint64_t>(256, 255 + row.codes.size() - (row.last != kOk))) << row.output;
  }
}

}  // namespace
}  // namespace lzw
