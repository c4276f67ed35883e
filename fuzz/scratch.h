#ifndef LZW_FUZZ_SCRATCH_H_
#define LZW_FUZZ_SCRATCH_H_

#include <cstdio>
#include <cstdlib>

#include "support/files.h"

// The directory on tmpfs that holds the files of this fuzzing process; made
// on first use, removed with its contents at exit.
inline const lzw::testing::TempDir& scratch() {
  static const lzw::testing::TempDir directory = (setenv("TMPDIR", "/dev/shm", 1), lzw::testing::TempDir());
  return directory;
}

// A check that fails is a finding: it names itself and aborts, and libFuzzer
// keeps the input.
#define REQUIRE(condition) \
  ((condition) ? void() : (std::fprintf(stderr, "finding: %s\n", #condition), std::abort()))

#endif  // LZW_FUZZ_SCRATCH_H_
