// Arbitrary bytes compressed by an Encoder fed in pieces whose size the input
// chooses, through a small window, told the right size or none: the archive
// is the reference model's byte for byte and expands back to them.
#include <algorithm>

#include "lzw/lzw.h"
#include "require.h"
#include "support/memory_sink.h"
#include "support/reference_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lzw;
  const size_t piece = piece_size(data, size);
  const bool size_told = size % 2 == 0;
  testing::MemorySink sink;
  Encoder encoder(&sink, size_told ? size : Encoder::kUnknownSize, Limits{.window_bytes = 64 + 4 * piece});
  for (size_t i = 0; i < size; i += piece) REQUIRE(encoder.update(data + i, std::min(piece, size - i)) == kOk);
  Header header;
  REQUIRE(encoder.finish(&header) == kOk);
  std::copy(header.begin(), header.end(), sink.bytes.begin());
  const testing::Bytes input(data, data + size);
  REQUIRE(sink.bytes == testing::reference_compress(input));
  std::vector<uint8_t> expanded;
  REQUIRE(expand(sink.bytes.data(), sink.bytes.size(), &expanded) == kOk && expanded == input);
  return 0;
}
