#include "lzw/lzw.h"

#include <bit>
#include <cmath>

namespace lzw {
namespace {

// The constants are defined by their bit patterns so that no decimal
// conversion can move them.
const float kSmallExponent = std::bit_cast<float>(0x3F5846A4u);  // 0.8448279
const float kSmallFactor = std::bit_cast<float>(0x40892754u);    // 4.286051
const float kLargeExponent = std::bit_cast<float>(0x3F6FD7EEu);  // 0.9368886
const float kLargeFactor = std::bit_cast<float>(0x3FA382EEu);    // 1.2774332
const float kLargeDivisor = std::bit_cast<float>(0x3FC00000u);   // 1.5
constexpr int32_t kFirstLargeSize = 600000;

}  // namespace

uint32_t estimate_dictionary_capacity(int32_t size) {
  const bool small = size < kFirstLargeSize;
  const float estimate = small ? std::pow(static_cast<float>(size), kSmallExponent) * kSmallFactor
                               : std::pow(static_cast<float>(size), kLargeExponent) * kLargeFactor;
  const auto entries = static_cast<uint32_t>(static_cast<int64_t>(estimate));
  unsigned bits = 9;
  while (bits < 31 && entries >= (uint32_t{1} << bits)) ++bits;
  if (small) return static_cast<uint32_t>(std::pow(2.0f, static_cast<float>(bits)));
  const float capacity = std::pow(2.0f, static_cast<float>(bits + 1)) / kLargeDivisor;
  return static_cast<uint32_t>(capacity);
}

}  // namespace lzw
