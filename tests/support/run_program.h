#ifndef LZW_TESTS_SUPPORT_RUN_PROGRAM_H_
#define LZW_TESTS_SUPPORT_RUN_PROGRAM_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lzw::testing {

// A started program; its standard output is the pipe `output`.
struct Child {
  pid_t pid = -1;
  int output = -1;
};

// How a program's run ended.
struct ProgramRun {
  std::string output;      // everything it wrote on standard output
  int exit_status = -1;    // when it exited, else -1
  int signal = 0;          // the signal it died of, else 0
  bool timed_out = false;  // it outlived the deadline and was killed
};

// Runs arguments[0] with `arguments` as its argv in `directory`, standard input
// on /dev/null, the interruption signals at their defaults and, when
// `file_size_limit` is not 0, that RLIMIT_FSIZE in bytes.
Child start_program(const std::vector<std::string>& arguments, const std::string& directory,
                    uint64_t file_size_limit = 0);
// Collects the output and reaps the child; kills it after the deadline.
ProgramRun finish_program(const Child& child, int timeout_seconds = 20);
// Both of the above.
ProgramRun run_program(const std::vector<std::string>& arguments, const std::string& directory,
                       uint64_t file_size_limit = 0);

// Whether `actual` is `expected` with each "{ms}" standing for a whole number.
bool output_matches(std::string_view actual, std::string_view expected);

}  // namespace lzw::testing

#endif  // LZW_TESTS_SUPPORT_RUN_PROGRAM_H_
