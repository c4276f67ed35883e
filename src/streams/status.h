#ifndef LZW_STREAMS_STATUS_H_
#define LZW_STREAMS_STATUS_H_

#include <cstdint>
#include <limits>

namespace lzw {

// Outcome of a whole compression or expansion. The negative values are part of
// the program's contract with its front end, which maps each to one message.
enum Status : int {
  kOk = 0,
  kDictionaryOverflow = -2,   // kept for the front end's table; never produced
  kCannotOpenInput = -3,      // missing, unreadable, or not a regular file
  kCannotCreateOutput = -4,   // destination cannot be created, or is the source
  kOutOfMemory = -5,          // a table or buffer could not be allocated
  kInputTooLarge = -6,        // input of 2^31 bytes or more
  kCannotWriteOutput = -7,    // a write, the close or the rename failed
  kCannotReadInput = -8,      // a read failed or the input shrank
  kInvalidArchive = -9,       // the archive is damaged or too short
};

// Resource bounds of one run. The defaults are the program's own; tests lower
// them to provoke allocation failures and oversized output without using
// gigabytes.
struct Limits {
  // Total bytes the dictionary or the expansion buffers may hold; a larger
  // allocation is treated as an allocation failure.
  uint64_t memory_bytes = std::numeric_limits<uint64_t>::max();
  // Largest expansion accepted: the largest input the compressor accepts.
  uint64_t output_bytes = (uint64_t{1} << 31) - 1;
};

}  // namespace lzw

#endif  // LZW_STREAMS_STATUS_H_
