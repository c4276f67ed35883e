#ifndef LZW_STREAMS_BIT_FILE_H_
#define LZW_STREAMS_BIT_FILE_H_

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "streams/block_file.h"
#include "streams/status.h"

namespace lzw {

// Width in bits of the k-th code of an archive (k counted from 1): the
// smallest t of 9 or more with 255 + k < 2^t. Both sides follow it, so the
// width depends on the code's position alone. More than 31 bits never occurs
// in an archive the compressor writes.
constexpr unsigned code_width(uint64_t code_number) {
  return std::max(9u, static_cast<unsigned>(std::bit_width(255 + code_number)));
}

// A stream of bits over a BlockFile, most significant bit first: the first
// bit of the file is bit 7 of byte 0, and values cross byte boundaries freely.
//
// A writer completes its last byte on `close` with the bits that the same
// positions of the previous byte held (zeros if there was none): that filler
// is part of every archive. A reader knows the file's size and refuses a value
// whose bits would run past the last byte, which is how archives end.
class BitFile {
 public:
  // A writer over `file`, which must be open for writing.
  explicit BitFile(BlockFile* file);
  // A reader of the `file_bytes` bytes that `file` has left to deliver.
  BitFile(BlockFile* file, uint64_t file_bytes);
  BitFile(const BitFile&) = delete;
  BitFile& operator=(const BitFile&) = delete;

  // Appends the low `width` bits of `value` (width 1..32).
  void write_bits(uint32_t value, unsigned width) {
    pending_ = (pending_ << width) | (value & ((uint64_t{1} << width) - 1));
    pending_count_ += width;
    while (pending_count_ >= 8) {
      pending_count_ -= 8;
      put_byte(static_cast<uint8_t>(pending_ >> pending_count_));
    }
  }
  // Completes the last byte and writes everything out; reports the first
  // write failure of the stream's life.
  Status close();

  // Reads `width` bits (1..32) into *value. Returns false when they would run
  // past the end of the file (nothing is consumed) or a read failed (then
  // status() says so).
  bool read_bits(unsigned width, uint32_t* value) {
    if (consumed_bits_ + width > total_bits_) return false;
    if (pending_count_ < width && staged_end_ - staged_ >= 4) {
      // Four bytes at once: fewer than 32 bits are pending, so all fit.
      uint32_t word;
      std::memcpy(&word, staging_ + staged_, sizeof word);
      if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
      pending_ = (pending_ << 32) | word;
      pending_count_ += 32;
      staged_ += 4;
    }
    while (pending_count_ < width) {
      if (staged_ == staged_end_ && !refill()) return false;
      pending_ = (pending_ << 8) | staging_[staged_++];
      pending_count_ += 8;
    }
    pending_count_ -= width;
    *value = static_cast<uint32_t>(pending_ >> pending_count_) & static_cast<uint32_t>((uint64_t{1} << width) - 1);
    consumed_bits_ += width;
    return true;
  }
  Status status() const { return status_; }

 private:
  static constexpr size_t kStagingBytes = 16 * 1024;

  void put_byte(uint8_t byte) {
    staging_[staged_++] = byte;
    last_byte_ = byte;
    if (staged_ == kStagingBytes) drain();
  }
  void drain();
  bool refill();

  BlockFile* file_;                  // the byte layer
  uint8_t staging_[kStagingBytes];   // bytes on their way to or from file_
  size_t staged_ = 0;                // writing: bytes staged; reading: next byte
  size_t staged_end_ = 0;            // reading: valid bytes in staging_
  uint64_t pending_ = 0;             // bits not yet forming a whole byte (low end)
  unsigned pending_count_ = 0;       // how many bits of pending_ are live
  uint8_t last_byte_ = 0;            // writing: the last completed byte
  uint64_t consumed_bits_ = 0;       // reading: bits handed out so far
  uint64_t total_bits_ = 0;          // reading: bits in the file
  Status status_ = kOk;              // first failure met
};

}  // namespace lzw

#endif  // LZW_STREAMS_BIT_FILE_H_
