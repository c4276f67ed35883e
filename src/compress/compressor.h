#ifndef LZW_COMPRESS_COMPRESSOR_H_
#define LZW_COMPRESS_COMPRESSOR_H_

#include <cstdint>

#include "lzw/lzw.h"

namespace lzw {

// Compresses `input_name`, read to its end, into the archive `input_name` +
// ".LZW". Returns kOk, or the status of the first failure: kCannotOpenInput,
// kInputTooLarge (also when the input grows that far while read),
// kCannotCreateOutput (also when the archive name leads to the input itself
// or is a link or device not to be trusted), kCannotReadInput,
// kCannotWriteOutput or kOutOfMemory. On failure no file is created or
// changed, but for a short destination written in place after a failed write.
Status compress_file(const char* input_name, const Limits& limits = Limits());

}  // namespace lzw

#endif  // LZW_COMPRESS_COMPRESSOR_H_
