// Arbitrary bytes as an archive, fed to a Decoder in pieces whose size the
// input chooses: the same verdict and the same bytes as the reference model.
#include "lzw/lzw.h"
#include "require.h"
#include "support/memory_sink.h"
#include "support/reference_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lzw;
  const Limits limits{.output_bytes = 1 << 20};
  const size_t piece = piece_size(data, size);
  testing::MemorySink sink;
  Decoder decoder(&sink, limits);
  Status status = kOk;
  for (size_t i = 0; i < size && status == kOk; i += piece) status = decoder.update(data + i, std::min(piece, size - i));
  if (status == kOk) status = decoder.finish();
  const testing::Expansion expected = testing::reference_expand(testing::Bytes(data, data + size), limits.output_bytes);
  REQUIRE(status == (expected.valid ? kOk : kInvalidArchive));
  if (expected.valid) REQUIRE(sink.bytes == expected.bytes);
  return 0;
}
