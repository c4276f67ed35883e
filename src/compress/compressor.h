#ifndef LZW_COMPRESS_COMPRESSOR_H_
#define LZW_COMPRESS_COMPRESSOR_H_

#include <cstdint>

#include "lzw/lzw.h"

namespace lzw {

// Compresses `input_name` into the archive `input_name` + ".LZW". Returns kOk,
// or the status of the first failure: kCannotOpenInput, kInputTooLarge,
// kCannotCreateOutput (also when the archive name leads to the input itself),
// kCannotReadInput, kCannotWriteOutput or kOutOfMemory. On failure no file is
// created or changed, except a destination written in place.
Status compress_file(const char* input_name, const Limits& limits = Limits());

}  // namespace lzw

#endif  // LZW_COMPRESS_COMPRESSOR_H_
