#include "lzw/lzw.h"

#include <gtest/gtest.h>

#include <utility>

namespace lzw {
namespace {

// Every size at which the capacity changes, with the capacity from there on.
// Every archive's header depends on these, so a different powf or a
// rearranged float expression must not move any of them by a single size.
constexpr std::pair<int32_t, uint32_t> kSteps[] = {
    {0, 512}, {288, 1024}, {654, 2048}, {1484, 4096}, {3371, 8192}, {7657, 16384}, {17392, 32768},
    {39507, 65536}, {89741, 131072}, {203850, 262144}, {463053, 524288}, {600000, 699050}, {980291, 1398101},
    {2054296, 2796202}, {4304980, 5592405}, {9021511, 11184811},  // 2^24 / 1.5 rounded to a float, not ...810
    {18905471, 22369622}, {39618291, 44739244}, {83024053, 89478488}, {173985129, 178956976},
    {364603089, 357913952}, {764061920, 715827904}, {1601167552, 1431655808},
};

TEST(DictionarySizing, CapacityChangesAtExactlyTheseSizes) {
  for (size_t i = 1; i < std::size(kSteps); ++i) {
    EXPECT_EQ(estimate_dictionary_capacity(kSteps[i].first - 1), kSteps[i - 1].second) << kSteps[i].first - 1;
    EXPECT_EQ(estimate_dictionary_capacity(kSteps[i].first), kSteps[i].second) << kSteps[i].first;
  }
  for (auto [size, capacity] : {std::pair{0, 512u}, {1000000, 1398101u}, {INT32_MAX, 1431655808u}}) {
    EXPECT_EQ(estimate_dictionary_capacity(size), capacity) << size;
  }
}

}  // namespace
}  // namespace lzw
