#include <iostream>

#include "cli/front_end.h"
#include "streams/platform.h"

int main(int argc, char* argv[]) {
  lzw::platform::ignore_file_size_signal();
  lzw::platform::install_interruption_cleanup();
  return lzw::run_front_end(argc, argv, std::cout);
}
