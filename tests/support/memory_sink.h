#ifndef LZW_TESTS_SUPPORT_MEMORY_SINK_H_
#define LZW_TESTS_SUPPORT_MEMORY_SINK_H_

#include <cstddef>
#include <vector>

#include "lzw/lzw.h"

namespace lzw::testing {

// Keeps what it is given, in the pieces it was given; refuses everything
// once `refuse_after` bytes have arrived.
struct MemorySink : Sink {
  Status put(const uint8_t* data, size_t count) override {
    if (bytes.size() + count > refuse_after) return kCannotWriteOutput;
    bytes.insert(bytes.end(), data, data + count);
    pieces.push_back(count);
    return kOk;
  }
  std::vector<unsigned char> bytes;       // everything put, in order
  std::vector<size_t> pieces;             // the size of each put
  size_t refuse_after = SIZE_MAX;         // bytes accepted before failing
};

}  // namespace lzw::testing

#endif  // LZW_TESTS_SUPPORT_MEMORY_SINK_H_
