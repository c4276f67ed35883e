#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "compress/compressor.h"
#include "decompress/decompressor.h"
#include "support/files.h"
#include "support/reference_model.h"

namespace lzw::testing {
namespace {

// The first `length` of 65537 bytes in which every ordered pair of byte
// values stands side by side once: no pair repeats, so every byte is a code.
Bytes all_pairs(size_t length) {
  Bytes bytes;
  for (int a = 0; a < 256; ++a) {
    bytes.push_back(a);
    for (int b = a + 1; b < 256; ++b) {
      bytes.push_back(a);
      bytes.push_back(b);
    }
  }
  bytes.push_back(0);
  bytes.resize(length);
  return bytes;
}

// Offset of the first difference, -1 when equal.
long first_difference(const Bytes& a, const Bytes& b) {
  return a == b ? -1 : std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
}

TEST(ReferenceAgreement, ArchivesAndExpansionsMatchTheModel) {
  // The model on worked examples; the last byte's low bits repeat the byte before.
  EXPECT_EQ(reference_compress(to_bytes("A")), (Bytes{0, 0, 2, 0, 0x20, 0xA0}));
  EXPECT_EQ(reference_compress(to_bytes("ABABABA")), (Bytes{0, 0, 2, 0, 0x20, 0x90, 0xA0, 0x10, 0x20}));
  // 65537 codes define 65792 entries, more than the estimated 65536.
  const Bytes overflowing = reference_compress(all_pairs(65537));
  EXPECT_EQ(Bytes(overflowing.begin(), overflowing.begin() + 4), (Bytes{0, 1, 1, 1}));

  std::mt19937 random(20240611);
  Bytes noise(50000), letters(50000);
  for (auto& byte : noise) byte = random();
  for (auto& byte : letters) byte = "ACGT"[random() % 4];
  // A run of n(n+1)/2 equal bytes takes n codes, each the entry it defines.
  const std::pair<const char*, Bytes> rows[] = {
      {"256 one-byte codes", all_pairs(256)},     {"257 one-byte codes", all_pairs(257)},
      {"768 one-byte codes", all_pairs(768)},     {"769 one-byte codes", all_pairs(769)},
      {"run of 256 codes", Bytes(32896, 'x')},    {"run of 257 codes", Bytes(32897, 'x')},
      {"run of 0xFF", Bytes(5000, 0xFF)},         {"random bytes", noise},
      {"random letters", letters},                {"text", read_test_data("corpus/alice29.txt")},
      {"more entries than estimated", all_pairs(65537)},
  };
  for (const auto& [name, input] : rows) {
    SCOPED_TRACE(name);
    TempDir dir;
    write_file(dir.file("input"), input);
    ASSERT_EQ(compress_file(dir.file("input").c_str()), kOk);
    const Bytes archive = read_file(dir.file("input.LZW"));
    EXPECT_EQ(first_difference(archive, reference_compress(input)), -1);
    EXPECT_EQ(first_difference(reference_expand(archive, input.size()).bytes, input), -1);
    ASSERT_EQ(decompress_file(dir.file("input.LZW").c_str(), dir.file("output").c_str()), kOk);
    EXPECT_EQ(first_difference(read_file(dir.file("output")), input), -1);
  }
}

TEST(ReferenceAgreement, DamagedArchivesAreJudgedAlike) {
  const Bytes seven = reference_compress(to_bytes("ABABABA"));
  // 256 codes of 9 bits, then a 10-bit one while 511 entries are defined.
  auto after_256_codes = [pairs = all_pairs(256)](uint32_t code) {
    std::vector<uint32_t> codes(pairs.begin(), pairs.end());
    codes.push_back(code);
    return reference_archive(512, codes);
  };
  const struct { const char* name; Bytes archive; uint64_t bound; bool valid; } rows[] = {
      {"no bytes", {}, 100, false},
      {"three bytes", {0, 0, 2}, 100, false},
      {"header alone", {0, 0, 2, 0}, 100, true},
      {"first code 255", reference_archive(512, {255}), 100, true},
      {"first code 256", reference_archive(512, {256}), 100, false},
      {"code being defined", reference_archive(512, {65, 256}), 100, true},
      {"code beyond the one being defined", reference_archive(512, {65, 257}), 100, false},
      {"10-bit code being defined", after_256_codes(511), 1000, true},
      {"10-bit code beyond it", after_256_codes(512), 1000, false},
      {"any header", reference_archive(0xFFFFFFFF, {65, 66}), 100, true},
      {"last code cut short", Bytes(seven.begin(), seven.end() - 1), 100, true},
      {"output up to the bound", seven, 7, true},
      {"output beyond the bound", seven, 6, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Expansion model = reference_expand(row.archive, row.bound);
    EXPECT_EQ(model.valid, row.valid);
    TempDir dir;
    write_file(dir.file("archive"), row.archive);
    const Limits limits{.output_bytes = row.bound};
    const Status status = decompress_file(dir.file("archive").c_str(), dir.file("output").c_str(), nullptr, limits);
    EXPECT_EQ(status, row.valid ? kOk : kInvalidArchive);
    // A damaged archive leaves nothing behind.
    EXPECT_EQ(dir.entries().size(), row.valid ? 2u : 1u);
    if (row.valid && status == kOk) {
      EXPECT_EQ(read_file(dir.file("output")), model.bytes);
    }
  }
}

}  // namespace
}  // namespace lzw::testing
