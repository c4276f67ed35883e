#ifndef LZW_CLI_FRONT_END_H_
#define LZW_CLI_FRONT_END_H_

#include <ostream>

namespace lzw {

// The whole command line: checks the arguments, runs `c` or `dc`, prints every
// message on `out` and returns the exit status (0 or 1). argv[0] is the
// program's path and is not used.
int run_front_end(int argc, const char* const argv[], std::ostream& out);

}  // namespace lzw

#endif  // LZW_CLI_FRONT_END_H_
