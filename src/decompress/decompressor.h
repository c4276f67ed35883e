#ifndef LZW_DECOMPRESS_DECOMPRESSOR_H_
#define LZW_DECOMPRESS_DECOMPRESSOR_H_

#include <cstdint>

#include "lzw/lzw.h"

namespace lzw {

// Sizes of a finished expansion, for the compression ratio.
struct ExpansionSizes {
  uint64_t archive_bytes = 0;  // bytes read from the archive
  uint64_t output_bytes = 0;   // bytes written to the output
};

// Expands the archive `archive_name` into `output_name`. Returns kOk, or the
// status of the first failure: kCannotOpenInput, kInvalidArchive (damaged,
// shorter than its header, or expanding past limits.output_bytes),
// kCannotCreateOutput (also when the output is the archive itself),
// kCannotReadInput, kCannotWriteOutput or kOutOfMemory. On failure no file
// is created or changed, but for a short destination written in place after
// a failed write. `sizes` may be null.
Status decompress_file(const char* archive_name, const char* output_name, ExpansionSizes* sizes = nullptr,
                       const Limits& limits = Limits());

}  // namespace lzw

#endif  // LZW_DECOMPRESS_DECOMPRESSOR_H_
