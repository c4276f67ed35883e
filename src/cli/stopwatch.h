#ifndef LZW_CLI_STOPWATCH_H_
#define LZW_CLI_STOPWATCH_H_

#include <chrono>
#include <cstdint>

namespace lzw {

// Whole milliseconds of elapsed real time since construction, from a clock
// that never jumps.
class Stopwatch {
 public:
  Stopwatch() : start_(std::chrono::steady_clock::now()) {}
  int64_t elapsed_ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_;  // when the timed work began
};

}  // namespace lzw

#endif  // LZW_CLI_STOPWATCH_H_
