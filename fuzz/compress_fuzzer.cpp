// Arbitrary bytes compressed: the archive is the reference model's byte for
// byte and expands back to them.
#include <filesystem>

#include "compress/compressor.h"
#include "decompress/decompressor.h"
#include "scratch.h"
#include "support/reference_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lzw;
  const std::string input = scratch().file("input"), archive = input + ".LZW", output = scratch().file("output");
  const testing::Bytes bytes(data, data + size);
  testing::write_file(input, bytes);
  REQUIRE(compress_file(input.c_str()) == kOk);
  REQUIRE(testing::read_file(archive) == testing::reference_compress(bytes));
  REQUIRE(decompress_file(archive.c_str(), output.c_str()) == kOk);
  REQUIRE(testing::read_file(output) == bytes);
  std::filesystem::remove(archive);
  std::filesystem::remove(output);
  return 0;
}
