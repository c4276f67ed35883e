#include "decompress/decoder_dictionary.h"

#include <algorithm>
#include <cstring>

#include "streams/platform.h"

namespace lzw {
namespace {

constexpr uint64_t kFirstOutputBytes = 64 * 1024;
constexpr uint64_t kFirstStarts = 16 * 1024;

}  // namespace

DecoderDictionary::DecoderDictionary(const Limits& limits) : limits_(limits) {}

DecoderDictionary::~DecoderDictionary() {
  platform::release(output_);
  platform::release(starts_);
}

Status DecoderDictionary::make_room(uint64_t length) {
  if (output_size_ + length > limits_.output_bytes) return kInvalidArchive;
  uint64_t output_bytes = output_capacity_;
  while (output_bytes < output_size_ + length + kCopySlack) {
    output_bytes = std::max(kFirstOutputBytes, output_bytes * 2);
  }
  uint64_t starts = starts_capacity_;
  if (codes_ >= starts) starts = std::max(kFirstStarts, starts * 2);
  if (output_bytes + starts * sizeof(uint32_t) > limits_.memory_bytes) return kOutOfMemory;
  if (output_bytes != output_capacity_) {
    void* grown = platform::resize(output_, output_bytes);
    if (grown == nullptr) return kOutOfMemory;
    output_ = static_cast<uint8_t*>(grown);
    output_capacity_ = output_bytes;
  }
  if (starts != starts_capacity_) {
    void* grown = platform::resize(starts_, starts * sizeof(uint32_t));
    if (grown == nullptr) return kOutOfMemory;
    starts_ = static_cast<uint32_t*>(grown);
    starts_capacity_ = starts;
  }
  return kOk;
}

}  // namespace lzw
