#include "cli/front_end.h"

#include <cstring>

#include "cli/stopwatch.h"
#include "compress/compressor.h"
#include "decompress/decompressor.h"

namespace lzw {
namespace {

const char kUsage[] =
    "\nUsage:\n\nCompress file   \t c  <file_name>\nDecompress file \t dc <archive_file_name> <unpacked_file_name>\n\n\n";
const char kRejection[] = "Incorrect input!  Run with '?' for help";

// Every status has its message; a new status without one does not compile
// (-Werror=switch).
const char* message_for(Status status) {
  switch (status) {
    case kOk:
      return "";
    case kCannotCreateOutput:
      return "Failed to create output file\n";
    case kCannotOpenInput:
      return "Failed to open input file\n";
    case kDictionaryOverflow:
      return "Critical error: dictionary overflow. Output file is invalid. Compress file with compr max to "
             "automaticaly adjust dictionary.\n";
    case kInputTooLarge:
      return "Input file is too large\n";
    case kCannotWriteOutput:
      return "Failed to write output file\n";
    case kCannotReadInput:
      return "Failed to read input file\n";
    case kInvalidArchive:
      return "Input file is not a valid archive\n";
    case kOutOfMemory:
      return "Unknown error.\n";
  }
  return "Unknown error.\n";  // a value outside the enumeration
}

int compress_command(const char* input_name, std::ostream& out) {
  Stopwatch stopwatch;
  Status status = compress_file(input_name);
  if (status != kOk) {
    out << message_for(status);
    return 1;
  }
  out << "Compressed in " << stopwatch.elapsed_ms() << " ms.";
  return 0;
}

int decompress_command(const char* archive_name, const char* output_name, std::ostream& out) {
  Stopwatch stopwatch;
  ExpansionSizes sizes;
  Status status = decompress_file(archive_name, output_name, &sizes);
  if (status != kOk) {
    out << message_for(status);
    return 1;
  }
  out << "Decompressed in " << stopwatch.elapsed_ms() << " ms.\n";
  out << "Compression ratio " << static_cast<float>(sizes.archive_bytes) / static_cast<float>(sizes.output_bytes);
  return 0;
}

}  // namespace

int run_front_end(int argc, const char* const argv[], std::ostream& out) {
  if (argc == 1 || argc > 4 || (argc == 2 && argv[1][0] == '?')) {
    out << kUsage;
    return 1;
  }
  out << "Processing " << (argc >= 3 ? argv[2] : "") << std::endl;
  if (std::strcmp(argv[1], "c") == 0 && (argc == 3 || argc == 4)) return compress_command(argv[2], out);
  if (std::strcmp(argv[1], "dc") == 0 && argc == 4) return decompress_command(argv[2], argv[3], out);
  out << kRejection;
  return 1;
}

}  // namespace lzw
