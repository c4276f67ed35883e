// Arbitrary (value, width) pairs written to a bit stream read back as
// written. (Reading past the end and the last byte's filler are checked
// through whole archives by the other two targets.)
#include <fcntl.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "scratch.h"
#include "streams/bit_file.h"

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
  const std::string path = scratch().file("bits");
  const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  BlockFile written;
  written.open_for_writing(descriptor);
  BitFile writer(&written);
  for (const auto& [value, width] : pairs) writer.write_bits(value, width);
  REQUIRE(writer.close() == kOk && close(descriptor) == 0);

  BlockFile file;
  REQUIRE(file.open_for_reading(path.c_str()) == kOk);
  BitFile reader(&file, file.info().size);
  for (const auto& [value, width] : pairs) {
    uint32_t read = 0;
    REQUIRE(reader.read_bits(width, &read) && read == (value & ((uint64_t{1} << width) - 1)));
  }
  return 0;
}
