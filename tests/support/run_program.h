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

// How a program is started besides its arguments.
struct ProgramSetting {
  uint64_t file_size_limit = 0;  // RLIMIT_FSIZE in bytes, 0 for none
  uint32_t user = 0;             // run as this user and group id (needs root), 0 for the caller's
  int ignored_signal = 0;        // a signal the program starts with ignored, 0 for none
};

// Runs arguments[0] with `arguments` as its argv in `directory`, standard input
// on /dev/null, umask 022, the interruption signals at their defaults (but
// setting.ignored_signal) and unblocked.
Child start_program(const std::vector<std::string>& arguments, const std::string& directory,
                    const ProgramSetting& setting = {});
// Collects the output and reaps the child; kills it after the deadline.
ProgramRun finish_program(const Child& child, int timeout_seconds = 20);
// Both of the above.
ProgramRun run_program(const std::vector<std::string>& arguments, const std::string& directory,
                       const ProgramSetting& setting = {});

// Whether `actual` is `expected` with each "{ms}" standing for a whole number.
bool output_matches(std::string_view actual, std::string_view expected);

}  // namespace lzw::testing

#endif  // LZW_TESTS_SUPPORT_RUN_PROGRAM_H_
