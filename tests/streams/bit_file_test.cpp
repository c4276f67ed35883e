#include "streams/bit_file.h"

#include <gtest/gtest.h>

#include <random>

#include "support/memory_sink.h"

namespace lzw {
namespace {

using Bytes = std::vector<unsigned char>;
using Values = std::vector<std::pair<uint32_t, unsigned>>;  // (value, width)

Bytes write_values(const Values& values) {
  testing::MemorySink sink;
  BitFile bits(&sink);
  for (auto [value, width] : values) bits.write_bits(value, width);
  EXPECT_EQ(bits.close(), kOk);
  return sink.bytes;
}

TEST(CodeWidth, SwitchesAtThe257thAnd769thCode) {
  for (auto [code, width] : {std::pair{1u, 9u}, {256u, 9u}, {257u, 10u}, {768u, 10u}, {769u, 11u},
                             {(1u << 31) - 256, 31u}, {(1u << 31) - 255, 32u}}) {
    EXPECT_EQ(code_width(code), width) << code;
  }
}

TEST(BitFileWriter, PacksMostSignificantBitFirstAndFillsWithThePreviousBytesBits) {
  const struct { Values values; Bytes bytes; } rows[] = {
      {{{511, 9}, {511, 9}}, {0xFF, 0xFF, 0xFF}}, {{{511, 9}, {0, 9}}, {0xFF, 0x80, 0x00}},
      {{{0xABCD, 16}}, {0xAB, 0xCD}}, {{{0x01020304, 32}}, {0x01, 0x02, 0x03, 0x04}}, {{{5, 3}}, {0xA0}},
      {{{0x12345678, 32}, {1, 1}}, {0x12, 0x34, 0x56, 0x78, 0xF8}},
      {{{5, 3}, {0xFFFF, 9}}, {0xBF, 0xFF}},  // bits above the width are left out
  };
  for (const auto& row : rows) EXPECT_EQ(write_values(row.values), row.bytes);
}

TEST(BitFileWriter, ReportsTheSinksFirstFailure) {
  testing::MemorySink sink;
  sink.refuse_after = 0;
  BitFile bits(&sink);
  bits.write_bits(1, 9);
  EXPECT_EQ(bits.close(), kCannotWriteOutput);
}

// Values of every width, written and then read from pieces of these sizes:
// a value never comes out before all its bits have arrived. Every other
// value is read by read_run where the piece allows it.
TEST(BitFile, RandomValuesOfEveryWidthRoundTripWhateverThePieces) {
  std::mt19937 random(7);
  Values values(30000);
  for (auto& [value, width] : values) {
    width = 1 + random() % 32;
    value = static_cast<uint32_t>(random()) >> (32 - width);
  }
  const Bytes bytes = write_values(values);
  for (size_t piece : {1, 3, 7, 4096, 1 << 20}) {
    SCOPED_TRACE(piece);
    BitFile bits;
    size_t fed = 0, bits_fed = 0, bits_read = 0;
    uint32_t value;
    for (size_t i = 0; i < values.size(); ++i) {
      const auto [expected, width] = values[i];
      while ((i % 2 == 0 || bits.read_run(width, 1, &value) == 0) && !bits.read_bits(width, &value)) {
        ASSERT_GT(bits_read + width, bits_fed) << "a value was held back although its bits had arrived";
        ASSERT_LT(fed, bytes.size());
        const size_t count = std::min(piece, bytes.size() - fed);
        bits.feed(bytes.data() + fed, count);
        fed += count;
        bits_fed = 8 * fed;
      }
      ASSERT_LE(bits_read + width, bits_fed) << "a value came out before its bits";
      ASSERT_EQ(value, expected);
      bits_read += width;
    }
    EXPECT_FALSE(bits.read_bits(8, &value));  // at most 7 bits of filler
  }
}

// Runs of one width, read by read_run as far as it goes and by read_bits
// otherwise, from pieces that each lie in a buffer of their own and are freed
// once the next is fed: a read before or past the piece (the sanitizers) or a
// wrong bit position (the values) shows.
TEST(BitFile, RunsOfOneWidthAreReadOnlyFromThePieceFed) {
  for (unsigned width : {1u, 9u, 13u, 24u, 31u, 32u}) {
    std::mt19937 random(width);
    Values values(3000);
    std::vector<uint32_t> expected;
    for (auto& [value, value_width] : values) {
      value_width = width;
      value = static_cast<uint32_t>(random()) >> (32 - width);
      expected.push_back(value);
    }
    const Bytes bytes = write_values(values);
    for (size_t piece : {5, 9, 64, 1000}) {
      SCOPED_TRACE(::testing::Message() << "width " << width << ", pieces of " << piece);
      BitFile bits;
      Bytes fed_piece;
      std::vector<uint32_t> read(values.size());
      size_t done = 0, fed = 0;
      while (done < values.size()) {
        done += bits.read_run(width, values.size() - done, &read[done]);
        if (done == values.size()) break;
        if (bits.read_bits(width, &read[done])) {
          ++done;
          continue;
        }
        ASSERT_LT(fed, bytes.size());
        // A new buffer, exactly the piece's size; the old one is freed.
        fed_piece = Bytes(bytes.begin() + fed, bytes.begin() + std::min(fed + piece, bytes.size()));
        bits.feed(fed_piece.data(), fed_piece.size());
        fed += fed_piece.size();
      }
      EXPECT_EQ(read, expected);
    }
  }
}

}  // namespace
}  // namespace lzw
