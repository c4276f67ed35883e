#include "compress/encoder_dictionary.h"

#include <gtest/gtest.h>

#include <utility>

namespace lzw {
namespace {

// String i (i < 65536) of each length: the bytes i & 255, i >> 8 and then 7,
// looked up as the compressor does, the pair directly and the triple by the
// pair's code (256 + i once the pairs are in) and its content hash.
int32_t look_up_pair(EncoderDictionary& dictionary, uint32_t i) {
  return dictionary.lookup_or_insert_pair(i & 255, i >> 8);
}
int32_t look_up_triple(EncoderDictionary& dictionary, uint32_t i) {
  return dictionary.lookup_or_insert(256 + i, dictionary.probe(EncoderDictionary::triple_hash(i | 7 << 16)));
}
// String i of many that share one content hash, told apart by their prefixes.
int32_t look_up_one_hash(EncoderDictionary& dictionary, uint32_t i) {
  return dictionary.lookup_or_insert(256 + 3 * i, dictionary.probe(EncoderDictionary::triple_hash(0x414243)));
}

TEST(EncoderDictionary, HandsOutCodesInInsertionOrderAndFindsThemAfterGrowing) {
  EncoderDictionary dictionary;
  ASSERT_EQ(dictionary.initialize(UINT64_MAX), kOk);
  for (bool inserting : {true, false}) {
    for (uint32_t i = 0; i < 2 * 65536; ++i) {
      const int32_t code = i < 65536 ? look_up_pair(dictionary, i) : look_up_triple(dictionary, i - 65536);
      ASSERT_EQ(code, inserting ? EncoderDictionary::kInserted : static_cast<int32_t>(256 + i)) << i;
      ASSERT_EQ(dictionary.count(), inserting ? 257 + i : 256 + 2 * 65536);
    }
  }
}

TEST(EncoderDictionary, FindsAllExtensionsOfManyPrefixesAfterGrowingToAnEstimate) {
  // Slots keep no byte: it is recovered from the hash's position bits, for a
  // third byte (triple_hash) as for any later one (extend_hash). All 256
  // extensions of each prefix fill the table nine-tenths full and make it
  // grow, once to an estimate as the compressor's, moving strings between a
  // bucket and the next.
  EncoderDictionary dictionary;
  ASSERT_EQ(dictionary.initialize(UINT64_MAX, 1000), kOk);
  auto look_up = [&](uint32_t prefix, int byte) {
    const uint64_t hash = prefix % 2 == 0 ? EncoderDictionary::triple_hash(prefix | byte << 16)
                                          : EncoderDictionary::extend_hash(prefix * 0x9E3779B97F4A7C15u, byte);
    return dictionary.lookup_or_insert(256 + prefix, dictionary.probe(hash));
  };
  constexpr uint32_t kPrefixes = 2000;
  for (bool inserting : {true, false}) {
    for (uint32_t prefix = 0; prefix < kPrefixes; ++prefix) {
      if (inserting && prefix == kPrefixes / 4) dictionary.expect(kPrefixes * 256);
      for (int byte = 0; byte < 256; ++byte) {
        const int32_t code = look_up(prefix, byte);
        ASSERT_EQ(code, inserting ? EncoderDictionary::kInserted : static_cast<int32_t>(256 + prefix * 256 + byte))
            << prefix << " " << byte;
      }
    }
  }
  EXPECT_EQ(dictionary.count(), 256 + kPrefixes * 256);
}

TEST(EncoderDictionary, TellsApartStringsOfOneHashByTheirPrefix) {
  // Strings whose hashes agree lie at the same t: the first slot of that t is
  // often another string's, and past seven they fill the next bucket and the
  // stash.
  EncoderDictionary dictionary;
  ASSERT_EQ(dictionary.initialize(UINT64_MAX), kOk);
  constexpr uint32_t kStrings = 24;
  for (uint32_t i = 0; i < kStrings; ++i) ASSERT_EQ(look_up_one_hash(dictionary, i), EncoderDictionary::kInserted) << i;
  for (uint32_t i = kStrings; i-- > 0;) {  // newest first, each behind the older ones
    ASSERT_EQ(look_up_one_hash(dictionary, i), static_cast<int32_t>(256 + i)) << i;
  }
  // A prefix none of them has: absent, though its slots of that t are taken.
  EXPECT_EQ(dictionary.lookup_or_insert(257, dictionary.probe(EncoderDictionary::triple_hash(0x414243))),
            EncoderDictionary::kInserted);
}

TEST(EncoderDictionary, MemoryLimitStopsTheFirstTableOrLaterGrowth) {
  // The least limit that holds the first tables leaves room for no growth and
  // no stash. Strings of many hashes fill the table until it must grow;
  // strings of one hash fill their bucket and the next until one waiting to
  // be placed needs the stash. Either way an insertion fails, changing
  // nothing, and every string inserted before is still found.
  uint64_t limit = 1;
  while (EncoderDictionary().initialize(limit) == kOutOfMemory) limit *= 2;
  for (uint64_t step = limit / 4; step > 0; step /= 2) {
    if (EncoderDictionary().initialize(limit - step) == kOk) limit -= step;
  }
  ASSERT_EQ(EncoderDictionary().initialize(limit - 1), kOutOfMemory);
  const std::pair<const char*, int32_t (*)(EncoderDictionary&, uint32_t)> rows[] = {
      {"many hashes", look_up_triple},
      {"one hash", look_up_one_hash},
  };
  for (const auto& [name, look_up] : rows) {
    EncoderDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(limit), kOk) << name;
    uint32_t inserted = 0;
    while (inserted < 65536 && look_up(dictionary, inserted) == EncoderDictionary::kInserted) ++inserted;
    EXPECT_EQ(look_up(dictionary, inserted), EncoderDictionary::kNoMemory) << name;
    EXPECT_EQ(dictionary.count(), 256 + inserted) << name;
    for (uint32_t i = 0; i < inserted; ++i) ASSERT_EQ(look_up(dictionary, i), static_cast<int32_t>(256 + i)) << name << " " << i;
  }
}

}  // namespace
}  // namespace lzw
