// Arbitrary (value, width) pairs written to a bit stream read back as
// written, fed to the reader in pieces whose size the input chooses.
// (Reading past the end and the last byte's filler are checked through whole
// archives by the other two targets.)
#include <algorithm>
#include <utility>
#include <vector>

#include "require.h"
#include "streams/bit_file.h"
#include "support/memory_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lzw;
  // Each five input bytes make a pair: the width (1 to 32) from the first,
  // the value from the next four, most significant first (missing ones 0).
  std::vector<std::pair<uint32_t, unsigned>> pairs;
  for (size_t i = 0; i < size; i += 5) {
    uint32_t value = 0;
    for (size_t j = i + 1; j <= i + 4; ++j) value = (value << 8) | (j < size ? data[j] : 0);
    pairs.emplace_back(value, data[i] % 32 + 1);
  }
  testing::MemorySink sink;
  BitFile writer(&sink);
  for (const auto& [value, width] : pairs) writer.write_bits(value, width);
  REQUIRE(writer.close() == kOk);

  const size_t piece = piece_size(data, size);
  BitFile reader;
  size_t fed = 0;
  for (size_t i = 0; i < pairs.size(); ++i) {
    const auto [value, width] = pairs[i];
    uint32_t read = 0;
    // Every other value goes through read_run where the piece allows it.
    while ((i % 2 == 0 || reader.read_run(width, 1, &read) == 0) && !reader.read_bits(width, &read)) {
      REQUIRE(fed < sink.bytes.size());
      const size_t count = std::min(piece, sink.bytes.size() - fed);
      reader.feed(sink.bytes.data() + fed, count);
      fed += count;
    }
    REQUIRE(read == (value & ((uint64_t{1} << width) - 1)));
  }
  return 0;
}
