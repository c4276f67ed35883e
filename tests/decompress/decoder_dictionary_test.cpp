#include "decompress/decoder_dictionary.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/files.h"

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
  // 80,601 bytes: past the first 64 KiB of output, which must grow.
  std::vector<uint32_t> growing_runs = {'a'};
  for (uint32_t code = 256; code < 256 + 400; ++code) growing_runs.push_back(code);
  const struct {  // `last` is the status of the last code; the others succeed
    std::vector<uint32_t> codes; Status last; std::string output; uint64_t output_limit = Limits().output_bytes;
  } rows[] = {
      {{'x', 256}, kOk, "xxx"},  // 256 is defined by this very code
      {{'x', 256, 256}, kOk, "xxxxx"},
      {{'A', 'B', 256, 258}, kOk, "ABABABA"},
      {{0, 128, 255, 257, 256}, kOk, std::string("\0\x80\xFF\x80\xFF\0\x80", 7)},
      {runs, kOk, std::string(41 * 42 / 2, 'a')},
      {growing_runs, kOk, std::string(401 * 402 / 2, 'a')},
      {long_runs, kOk, std::string(301 * 302 / 2, 'a') + "b" + std::string(301, 'a') + "b" + std::string(7, 'a') + "ba"},
      {{'A', 257}, kInvalidArchive, "A"},  // beyond count()
      {{'A', 'B', 258}, kInvalidArchive, "AB"},
      {{256}, kInvalidArchive, ""},  // a first code stands for one byte
      {{'x', 256}, kOk, "xxx", 3},
      {{'x', 256, 'y'}, kInvalidArchive, "xxx", 3},
  };
  // The output in memory, or in a mapped file: of a small archive, and of a
  // large one, whose mapping takes huge pages.
  const struct {
    bool in_file; uint64_t archive_bytes;
  } places[] = {{false, 0}, {true, 0}, {true, uint64_t{64} << 20}};
  testing::TempDir directory;
  for (const auto& row : rows) {
    for (const auto& place : places) {
      for (const size_t batch : {size_t{1}, row.codes.size()}) {  // a code at a time, and all at once
        DecoderDictionary dictionary(Limits{.output_bytes = row.output_limit}, place.archive_bytes);
        const int file = place.in_file ? open(directory.file("out").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600) : -1;
        if (place.in_file) dictionary.expand_into_file(file);
        std::vector<uint32_t> codes = row.codes;
        codes.resize(codes.size() + DecoderDictionary::kLookahead);  // the zeros after the last batch
        Status last = kOk;
        for (size_t i = 0; i < row.codes.size() && last == kOk; i += batch) {
          last = dictionary.expand(codes.data() + i, std::min(batch, row.codes.size() - i));
        }
        EXPECT_EQ(last, row.last) << row.output << " " << batch;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(dictionary.output()), dictionary.output_size()), row.output);
        EXPECT_EQ(dictionary.count(), std::max<uint64_t>(256, 255 + row.codes.size() - (row.last != kOk))) << row.output;
        // A disk short of the large archive's reservation keeps its output in memory.
        if (place.in_file && place.archive_bytes == 0 && !row.output.empty()) {
          EXPECT_TRUE(dictionary.output_in_file()) << row.output;
        }
        if (dictionary.output_in_file()) {  // the file holds what the mapping shows
          std::string held(row.output.size(), '?');
          EXPECT_EQ(pread(file, held.data(), held.size(), 0), static_cast<ssize_t>(held.size()));
          EXPECT_EQ(held, row.output);
        }
        if (file >= 0) close(file);
      }
    }
  }
}

}  // namespace
}  // namespace lzw
