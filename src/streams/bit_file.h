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
  // read_bits would, while well over eight bytes fed remain unread; returns
  // how many it read. Each value tops the pending bits up to 56 or more from
  // eight bytes loaded at once, so no branch depends on the widths.
  size_t read_run(unsigned width, size_t count, uint32_t* values) {
    // In locals: the stores to `values` could otherwise alias the members.
    const uint8_t* next = next_;
    uint64_t pending = pending_;
    unsigned pending_count = pending_count_;
    const uint32_t mask = static_cast<uint32_t>((uint64_t{1} << width) - 1);
    // A value takes fewer than eight bytes at a time and its width in bits on
    // average, so this many find eight bytes unread before each load.
    const size_t unread = static_cast<size_t>(end_ - next_);
    const size_t most = unread >= 16 ? std::min<size_t>(count, (unread - 16) * 8 / width + 1) : 0;
    for (size_t read = 0; read < most; ++read) {
      uint64_t word;
      std::memcpy(&word, next, sizeof word);
      if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
      const unsigned taken = (63 - pending_count) / 8;  // whole bytes that fit beside the pending bits
      // Shifted in two steps, so that taking no byte brings in no bit.
      pending = (pending << (8 * taken)) | ((word >> 1) >> (63 - 8 * taken));
      pending_count += 8 * taken - width;
      next += taken;
      values[read] = static_cast<uint32_t>(pending >> pending_count) & mask;
    }
    next_ = next;
    pending_ = pending;
    pending_count_ = pending_count;
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
  const uint8_t* next_ = nullptr;    // reading: the next byte fed and not yet taken
  const uint8_t* end_ = nullptr;     // reading: the end of the bytes fed
  uint64_t pending_ = 0;             // bits not yet handed on (low end)
  unsigned pending_count_ = 0;       // how many bits of pending_ are live
  uint8_t last_drained_ = 0;         // writing: the last byte handed to the sink
  Status status_ = kOk;              // writing: the sink's first failure
};

}  // namespace lzw

#endif  // LZW_STREAMS_BIT_FILE_H_
