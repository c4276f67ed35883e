#ifndef LZW_TESTS_SUPPORT_REFERENCE_MODEL_H_
#define LZW_TESTS_SUPPORT_REFERENCE_MODEL_H_

#include <cstdint>
#include <vector>

// A plain LZW encoder and decoder working on bytes in memory, written for
// clarity rather than speed. The tests and the fuzz targets hold the real
// compressor and decompressor to it byte for byte.
namespace lzw::testing {

using Bytes = std::vector<unsigned char>;

// The format's worked example: "ABABABA" is coded 65, 66, 256, 258.
inline const Bytes kAbababa = {'A', 'B', 'A', 'B', 'A', 'B', 'A'};
inline const Bytes kAbababaArchive = {0x00, 0x00, 0x02, 0x00, 0x20, 0x90, 0xA0, 0x10, 0x20};

struct Expansion {
  bool valid = false;  // false: the archive is damaged or expands too far
  Bytes bytes;         // the expansion, when valid
};

// An archive holding `header` and then `codes`, each at the width of its
// position, most significant bit first, the last byte completed with the low
// bits of the byte before it.
Bytes reference_archive(uint32_t header, const std::vector<uint32_t>& codes);

// The archive the compressor writes for `input`.
Bytes reference_compress(const Bytes& input);

// Decodes `archive`; one that would expand to more than `output_bound` bytes
// counts as damaged.
Expansion reference_expand(const Bytes& archive, uint64_t output_bound);

}  // namespace lzw::testing

#endif  // LZW_TESTS_SUPPORT_REFERENCE_MODEL_H_
