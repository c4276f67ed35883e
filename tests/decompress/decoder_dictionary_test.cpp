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
  // Expansions of 1 to 301 bytes, so that lengths outgrow a byte, then
  // entries on either side of the change: 301 a's and b, 7 a's, b and a.
  std::vector<uint32_t> long_runs = {'a'};
  for (uint32_t code = 256; code < 256 + 300; ++code) long_runs.push_back(code);
  long_runs.insert(long_runs.end(), {'b', 256 + 300, 256 + 5, 256 + 301});
  const struct {  // `last` is the status of the last code; the others succeed
    std::vector<uint32_t> codes; Status last; std::string output; uint64_t output_limit = Limits().output_bytes;
  } rows[] = {
      {{'x', 256}, kOk, "xxx"},  // 256 is defined by this very code
      {{'x', 256, 256}, kOk, "xxxxx"},
      {{'A', 'B', 256, 258}, kOk, "ABABABA"},
      {{0, 128, 255, 257, 256}, kOk, std::string("\0\x80\xFF\x80\xFF\0\x80", 7)},
      {runs, kOk, std::string(41 * 42 / 2, 'a')},
      {long_runs, kOk, std::string(301 * 302 / 2, 'a') + "b" + std::string(301, 'a') + "b" + std::string(7, 'a') + "ba"},
      {{'A', 257}, kInvalidArchive, "A"},  // beyond count()
      {{'A', 'B', 258}, kInvalidArchive, "AB"},
      {{256}, kInvalidArchive, ""},  // a first code stands for one byte
      {{'x', 256}, kOk, "xxx", 3},
      {{'x', 256, 'y'}, kInvalidArchive, "xxx", 3},
  };
  for (const auto& row : rows) {
    for (const size_t batch : {size_t{1}, row.codes.size()}) {  // a code at a time, and all at once
      DecoderDictionary dictionary(Limits{.output_bytes = row.output_limit});
      std::vector<uint32_t> codes = row.codes;
      codes.resize(codes.size() + DecoderDictionary::kLookahead);  // the zeros after the last batch
      Status last = kOk;
      for (size_t i = 0; i < row.codes.size() && last == kOk; i += batch) {
        last = dictionary.expand(codes.data() + i, std::min(batch, row.codes.size() - i));
      }
      EXPECT_EQ(last, row.last) << row.output << " " << batch;
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(dictionary.output()), dictionary.output_size()), row.output);
      EXPECT_EQ(dictionary.count(), std::max<uint64_t>(256, 255 + row.codes.size() - (row.last != kOk))) << row.output;
    }
  }
}

}  // namespace
}  // namespace lzw
