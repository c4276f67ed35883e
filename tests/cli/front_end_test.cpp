#include "cli/front_end.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/run_program.h"

namespace lzw {
namespace {

const std::string kUsage =
    "\nUsage:\n\nCompress file   \t c  <file_name>\n"
    "Decompress file \t dc <archive_file_name> <unpacked_file_name>\n\n\n";
const std::string kRejected = "Incorrect input!  Run with '?' for help";
const std::string kArchive("\x00\x00\x02\x00\x20\x90\xA0\x10\x20", 9);  // ABABABA: codes 65, 66, 256, 258

using Entries = std::vector<std::string>;
const Entries kBefore = {"a", "b.LZW"};
const Entries kCompressed = {"a", "a.LZW", "b.LZW"};

struct ArgumentForm {
  std::vector<const char*> arguments;  // after the program's name
  std::string output;                  // "{ms}" stands for any millisecond count
  int exit_status;
  Entries after = kBefore;  // the directory afterwards
};

const ArgumentForm kForms[] = {
    {{}, kUsage, 1},
    {{"c", "a", "x", "y"}, kUsage, 1},
    {{"dc", "b.LZW", "x", "y", "z"}, kUsage, 1},
    {{"?"}, kUsage, 1},
    {{"?x"}, kUsage, 1},
    {{"?", "a"}, "Processing a\n" + kRejected, 1},
    {{"?", "a", "x"}, "Processing a\n" + kRejected, 1},
    {{"c"}, "Processing \n" + kRejected, 1},
    {{"x"}, "Processing \n" + kRejected, 1},
    {{"C", "a"}, "Processing a\n" + kRejected, 1},
    {{"cc", "a"}, "Processing a\n" + kRejected, 1},
    {{"c ", "a"}, "Processing a\n" + kRejected, 1},
    {{"dc", "b.LZW"}, "Processing b.LZW\n" + kRejected, 1},
    {{"DC", "b.LZW", "x"}, "Processing b.LZW\n" + kRejected, 1},
    {{"c", "a"}, "Processing a\nCompressed in {ms} ms.", 0, kCompressed},
    {{"c", "a", "x"}, "Processing a\nCompressed in {ms} ms.", 0, kCompressed},
    {{"dc", "b.LZW", "x"}, "Processing b.LZW\nDecompressed in {ms} ms.\nCompression ratio 1.28571", 0,
     {"a", "b.LZW", "x"}},
};

TEST(FrontEnd, AnswersEveryArgumentForm) {
  const std::filesystem::path home = std::filesystem::current_path();
  for (const ArgumentForm& form : kForms) {
    std::vector<const char*> argv{"lzw"};
    argv.insert(argv.end(), form.arguments.begin(), form.arguments.end());
    SCOPED_TRACE(::testing::PrintToString(argv));
    testing::TempDir dir;
    testing::write_file(dir.file("a"), testing::to_bytes("ABABABA"));
    testing::write_file(dir.file("b.LZW"), testing::to_bytes(kArchive));
    std::filesystem::current_path(dir.path());
    std::ostringstream out;
    EXPECT_EQ(run_front_end(static_cast<int>(argv.size()), argv.data(), out), form.exit_status);
    std::filesystem::current_path(home);

    EXPECT_TRUE(testing::output_matches(out.str(), form.output)) << ::testing::PrintToString(out.str());
    EXPECT_EQ(dir.entries(), form.after);
  }
}

}  // namespace
}  // namespace lzw
