#ifndef LZW_FUZZ_REQUIRE_H_
#define LZW_FUZZ_REQUIRE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A check that fails is a finding: it names itself and aborts, and libFuzzer
// keeps the input.
#define REQUIRE(condition) \
  ((condition) ? void() : (std::fprintf(stderr, "finding: %s\n", #condition), std::abort()))

// The size of the pieces an input is fed in, chosen by the fuzzer through the
// input's last byte (which stays part of the input): from 1 byte to 256.
inline size_t piece_size(const uint8_t* data, size_t size) { return size == 0 ? 1 : 1 + data[size - 1]; }

#endif  // LZW_FUZZ_REQUIRE_H_
