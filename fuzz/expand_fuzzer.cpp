// Arbitrary bytes as an archive: the decompressor judges them as the
// reference model does, expands valid ones to the same bytes, and leaves
// nothing behind for damaged ones.
#include <filesystem>

#include "decompress/decompressor.h"
#include "scratch.h"
#include "support/reference_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lzw;
  const Limits limits{.output_bytes = 1 << 20};
  const std::string archive = scratch().file("archive"), output = scratch().file("output");
  const testing::Bytes bytes(data, data + size);
  testing::write_file(archive, bytes);
  const Status status = decompress_file(archive.c_str(), output.c_str(), nullptr, limits);
  const testing::Expansion expected = testing::reference_expand(bytes, limits.output_bytes);
  REQUIRE(status == (expected.valid ? kOk : kInvalidArchive));
  REQUIRE(scratch().entries().size() == (expected.valid ? 2u : 1u));
  if (expected.valid) REQUIRE(testing::read_file(output) == expected.bytes);
  std::filesystem::remove(output);
  return 0;
}
