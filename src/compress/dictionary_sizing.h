#ifndef LZW_COMPRESS_DICTIONARY_SIZING_H_
#define LZW_COMPRESS_DICTIONARY_SIZING_H_

#include <cstdint>

namespace lzw {

// The dictionary capacity recorded in an archive's header, chosen from the
// input's size by a fixed single-precision formula. The result is part of the
// archive format: it must not change for any size.
uint32_t estimate_dictionary_capacity(int32_t size);

}  // namespace lzw

#endif  // LZW_COMPRESS_DICTIONARY_SIZING_H_
