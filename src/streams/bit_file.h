#ifndef LZW_STREAMS_BIT_FILE_H_
#define LZW_STREAMS_BIT_FILE_H_

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lzw/lzw.h"

namespace lzw {

// A stream of bits, most significant bit first: the first bit of the stream
// is bit 7 of byte 0, and values cross byte boundaries freely.
//
// A writer hands whole bytes to a Sink in large pieces and completes its
// last byte on `close` with the bits that the same positions of the previous
// byte held (zeros if there was none): that filler is part of every archive.
// A reader is fed the stream in pieces of any size and hands out a value only
// once all its bits have arrived, so that a value running past the last byte
// fed is never read; that is how archives end.
class BitFile {
 public:
  // A writer onto `sink`.
  explicit BitFile(Sink* sink);
  // A reader; `feed` gives it bytes.
  BitFile();
  BitFile(const BitFile&) = delete;
  BitFile& operator=(const BitFile&) = delete;

  // Appends the low `width` bits of `value` (width 1..32).
  void write_bits(uint32_t value, unsigned width) {
    // Fewer than 8 bits are pending between calls. All the pending bits are
    // stored, aligned to the top of eight bytes, and only the whole bytes
    // counted: the partial one is stored again with the next value. No
    // branch depends on the widths.
    pending_ = (pending_ << width) | (value & ((uint64_t{1} << width) - 1));
    const unsigned total = pending_count_ + width;
    uint64_t aligned = pending_ << (64 - total);
    if constexpr (std::endian::native == std::endian::little) aligned = __builtin_bswap64(aligned);
    std::memcpy(staging_ + staged_, &aligned, sizeof aligned);
    staged_ += total / 8;
    pending_count_ = total % 8;
    if (staged_ >= kStagingBytes) drain();
  }
  // Completes the last byte and hands everything to the sink; reports the
  // sink's first failure over the stream's life.
  Status close();
  // The sink's first failure so far, kOk if none.
  Status status() const { return status_; }

  // Gives the reader the next `count` bytes of the stream, which must stay
  // valid until read_bits has returned false.
  void feed(const uint8_t* bytes, size_t count) {
    begin_ = bytes;
    next_ = bytes;
    end_ = bytes + count;
  }
  // Reads `width` bits (1..32) into *value. Returns false when fewer have
  // arrived; the bits that have are kept for the next piece.
  bool read_bits(unsigned width, uint32_t* value) {
    if (pending_count_ < width) {
      if (end_ - next_ >= 4) {
        // Four bytes at once: fewer than 32 bits are pending, so all fit.
        uint32_t word;
        std::memcpy(&word, next_, sizeof word);
        if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
        pending_ = (pending_ << 32) | word;
        pending_count_ += 32;
        next_ += 4;
      } else {
        while (pending_count_ < width && next_ != end_) {
          pending_ = (pending_ << 8) | *next_++;
          pending_count_ += 8;
        }
        if (pending_count_ < width) return false;
      }
    }
    pending_count_ -= width;
    *value = static_cast<uint32_t>(pending_ >> pending_count_) & static_cast<uint32_t>((uint64_t{1} << width) - 1);
    return true;
  }
  // Reads up to `count` values of `width` bits (1..32) into `values`, as
  // read_bits would, while eight bytes fed remain unread past each value's
  // first byte; returns how many it read, 0 also while pending bits come
  // from an earlier piece. Each value is cut straight out of eight bytes
  // loaded at its bit position, which only adds up the widths from one value
  // to the next: no branch, and no state but the position.
  size_t read_run(unsigned width, size_t count, uint32_t* values) {
    // The pending bits are the last ones of the bytes before next_.
    const size_t pending_bytes = (pending_count_ + 7) / 8;
    if (static_cast<size_t>(next_ - begin_) < pending_bytes) return 0;
    const uint8_t* const base = next_ - pending_bytes;
    const uint64_t first_bit = 8 * pending_bytes - pending_count_;  // of base's bits, taken already
    const uint64_t bits = 8 * static_cast<uint64_t>(end_ - base);
    const size_t most = bits >= first_bit + 64 ? std::min<uint64_t>(count, (bits - 64 - first_bit) / width + 1) : 0;
    uint64_t bit = first_bit;
    for (size_t read = 0; read < most; ++read) {
      uint64_t word;
      std::memcpy(&word, base + bit / 8, sizeof word);
      if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
      values[read] = static_cast<uint32_t>((word << (bit % 8)) >> (64 - width));
      bit += width;
    }
    // Back to whole bytes taken and the bits left of a partly taken one.
    next_ = base + (bit + 7) / 8;
    pending_count_ = static_cast<unsigned>((8 - bit % 8) % 8);
    pending_ = pending_count_ == 0 ? 0 : next_[-1];
    return most;
  }

 private:
  static constexpr size_t kStagingBytes = 16 * 1024;

  void put_byte(uint8_t byte) {
    staging_[staged_++] = byte;
    if (staged_ >= kStagingBytes) drain();
  }
  void drain();

  Sink* sink_ = nullptr;             // writing: where the bytes go
  uint8_t staging_[kStagingBytes + 8];  // writing: bytes on their way to sink_, and room
                                        // for the last eight-byte store
  size_t staged_ = 0;                // writing: bytes staged
  const uint8_t* begin_ = nullptr;   // reading: the start of the bytes fed
  const uint8_t* next_ = nullptr;    // reading: the next byte fed and not yet taken
  const uint8_t* end_ = nullptr;     // reading: the end of the bytes fed
  uint64_t pending_ = 0;             // bits not yet handed on (low end)
  unsigned pending_count_ = 0;       // how many bits of pending_ are live
  uint8_t last_drained_ = 0;         // writing: the last byte handed to the sink
  Status status_ = kOk;              // writing: the sink's first failure
};

}  // namespace lzw

#endif  // LZW_STREAMS_BIT_FILE_H_
