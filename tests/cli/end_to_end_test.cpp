// Runs the lzw executable as a user does and checks what it prints, how it
// exits and what it leaves in its directory.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "lzw/lzw.h"
#include "support/files.h"
#include "support/reference_model.h"
#include "support/run_program.h"

namespace lzw {
namespace {

using testing::TempDir;

const std::string kText(testing::kAbababa.begin(), testing::kAbababa.end());
const std::string kArchive(testing::kAbababaArchive.begin(), testing::kAbababaArchive.end());
const std::string kEmptyArchive("\x00\x00\x02\x00", 4);
std::string damaged_archive(const std::string& name) {
  const testing::Bytes bytes = testing::read_test_data("damaged/" + name);
  return std::string(bytes.begin(), bytes.end());
}
const std::string kCodeAboveCount = damaged_archive("code_far_above_count.LZW");  // 65, then 300
const std::string kFirstCode256 = damaged_archive("first_code_256.LZW");
// Expands to 1 MiB of zeros, more than a small disk holds.
const std::string kZeros(1 << 20, '\0');
const std::string kZerosArchive = [] {
  testing::Bytes archive;
  EXPECT_EQ(compress(testing::to_bytes(kZeros).data(), kZeros.size(), &archive), kOk);
  return std::string(archive.begin(), archive.end());
}();
const std::string kZerosRatio = [] {
  std::ostringstream ratio;
  ratio << static_cast<float>(kZerosArchive.size()) / static_cast<float>(kZeros.size());
  return ratio.str();
}();
const std::string kCompressed = "Processing a\nCompressed in {ms} ms.";
const std::string kExpanded = "Processing a.LZW\nDecompressed in {ms} ms.\nCompression ratio ";
const std::string kNoInput = "Processing b\nFailed to open input file\n";
const std::string kNoArchive = "Processing b.LZW\nFailed to open input file\n";
const std::string kNoArchiveFile = "Processing a\nFailed to create output file\n";
const std::string kNoOutput = "Processing a.LZW\nFailed to create output file\n";
const std::string kTooLarge = "Processing b\nInput file is too large\n";
const std::string kInvalid = "Processing b.LZW\nInput file is not a valid archive\n";

// The user that other people's files belong to in these tests (nobody).
constexpr int kOtherUser = 65534;
// The times dated entries get, to the nanosecond.
constexpr timespec kDated = {1234567890, 123456789};

// One entry a row creates. Kinds: 'f' a file holding `content`, 'z' a sparse
// file of `content` bytes, 'd' a directory (mode 0755 unless given), 'p' a
// FIFO, 'n' a device that refuses writes (as /dev/full), 's' a symbolic link to `content`, 'h' a hard link
// to the entry named `content`, 'm' a directory that is a file system of `content` bytes. In a row's `written` list, 'a' is a file
// holding the archive of the file `content`.
struct Entry {
  std::string name;
  std::string content;
  mode_t mode = 0644;
  char kind = 'f';
  int owner = -1;      // user and group id to give it (not following links), -1 to leave it
  bool dated = false;  // setup: its times are kDated; written: they must be
};

void make(const TempDir& dir, const Entry& entry) {
  const std::string path = dir.file(entry.name);
  switch (entry.kind) {
    case 'd':
      EXPECT_EQ(mkdir(path.c_str(), 0700), 0);
      EXPECT_EQ(chmod(path.c_str(), entry.mode == 0 ? 0755 : entry.mode), 0);
      break;
    case 'm':
      EXPECT_EQ(mkdir(path.c_str(), 0755), 0);
      EXPECT_EQ(mount("tmpfs", path.c_str(), "tmpfs", 0, ("size=" + entry.content + ",mode=0755").c_str()), 0) << strerror(errno);
      break;
    case 'p': EXPECT_EQ(mkfifo(path.c_str(), 0644), 0); break;
    case 'n': EXPECT_EQ(mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0); break;  // like /dev/full
    case 's': EXPECT_EQ(symlink(entry.content.c_str(), path.c_str()), 0); break;
    case 'h': EXPECT_EQ(link(dir.file(entry.content).c_str(), path.c_str()), 0); break;
    default:
      testing::write_file(path, testing::to_bytes(entry.kind == 'z' ? "" : entry.content));
      if (entry.kind == 'z') {
        EXPECT_EQ(truncate(path.c_str(), std::stoll(entry.content)), 0);
      }
      EXPECT_EQ(chmod(path.c_str(), entry.mode), 0);
  }
  if (entry.owner >= 0) {
    EXPECT_EQ(lchown(path.c_str(), entry.owner, entry.owner), 0) << entry.name;
  }
  const timespec times[2] = {kDated, kDated};
  if (entry.dated) {
    EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
  }
}

// What a written entry must hold.
testing::Bytes expected_content(const Entry& entry) {
  if (entry.kind != 'a') return testing::to_bytes(entry.content);
  const testing::Bytes input = testing::read_file(entry.content);
  testing::Bytes archive;
  EXPECT_EQ(compress(input.data(), input.size(), &archive), kOk);
  return archive;
}

// Every entry under the directory by its metadata and, for a readable file of
// at most 1 MiB, a hash of its bytes: any change shows. (A directory's times
// and, on some file systems, sizes change with every entry made or removed in
// it, so they are left out.)
std::map<std::string, std::string> snapshot(const TempDir& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    const std::string path = entry.path().string();
    struct stat s {};
    lstat(path.c_str(), &s);
    std::ostringstream text;
    text << std::oct << s.st_mode << std::dec << " inode " << s.st_ino << " links " << s.st_nlink << " owner "
         << s.st_uid << ":" << s.st_gid;
    if (!S_ISDIR(s.st_mode)) text << " size " << s.st_size << " mtime " << s.st_mtim.tv_sec << "." << s.st_mtim.tv_nsec;
    if (S_ISREG(s.st_mode) && s.st_size <= (1 << 20) && access(path.c_str(), R_OK) == 0) {
      const testing::Bytes bytes = testing::read_file(path);
      text << " hash " << std::hash<std::string>()(std::string(bytes.begin(), bytes.end()));
    }
    entries[path.substr(dir.path().size() + 1)] = text.str();
  }
  return entries;
}

struct Row {
  const char* name;
  std::vector<Entry> setup;
  std::vector<std::string> arguments;  // after the program's name; a leading "{dir}" is the run's directory
  std::string output;                  // "{ms}" stands for any millisecond count
  int exit_status;
  std::vector<Entry> written = {};  // files created or replaced; every other entry stays as it was
  uint64_t file_size_limit = 0;
  bool needs_permissions = false;  // unreadable files do not stop root
  uint32_t user = 0;               // run as this user (kOtherUser), 0 for the test's own
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const Entry kA{"a", kText, 0640};
const Entry kAArchive{"a.LZW", kArchive, 0600};
const Entry kOld{"out", "old"};
const std::vector<std::string> kExpandB = {"dc", "b.LZW", "out"};
const Entry kSticky{"s", "", 01777, 'd'};  // a shared directory like /tmp
const Entry kVictim{"victim", "secret"};   // what a planted link points at
const Entry kReadableArchive{"a.LZW", kArchive, 0644};

const Row kRows[] = {
    {"CompressReplacesArchiveWithInputsMode", {kA, {"a.LZW", "old", 0666}}, {"c", "a"}, kCompressed, 0,
     {{"a.LZW", kArchive, 0640}}},
    {"CompressEmptyFile", {{"a", "", 0600}}, {"c", "a"}, kCompressed, 0, {{"a.LZW", kEmptyArchive, 0600}}},
    {"CompressMissingInput", {}, {"c", "b"}, kNoInput, 1},
    {"CompressMissingInputKeepsArchive", {{"b.LZW", "old"}}, {"c", "b"}, kNoInput, 1},
    {"CompressDirectory", {{"b", "", 0, 'd'}}, {"c", "b"}, kNoInput, 1},
    {"CompressFifo", {{"b", "", 0, 'p'}}, {"c", "b"}, kNoInput, 1},
    {"CompressUnreadable", {{"b", kText, 0}}, {"c", "b"}, kNoInput, 1, {}, 0, true},
    {"CompressOntoSymlinkToInput", {kA, {"a.LZW", "a", 0, 's'}}, {"c", "a"}, kNoArchiveFile, 1},
    {"CompressOntoHardLinkToInput", {kA, {"a.LZW", "a", 0, 'h'}}, {"c", "a"}, kNoArchiveFile, 1},
    {"CompressOntoDirectory", {kA, {"a.LZW", "", 0, 'd'}}, {"c", "a"}, kNoArchiveFile, 1},
    {"CompressOntoFullDevice", {kA, {"a.LZW", "/dev/full", 0, 's'}}, {"c", "a"},
     "Processing a\nFailed to write output file\n", 1},
    {"CompressOverFileSizeLimit", {{"a", "1000000", 0644, 'z'}, {"a.LZW", "old"}}, {"c", "a"},
     "Processing a\nFailed to write output file\n", 1, {}, 1024},
    {"Compress2GiB", {{"b", "2147483648", 0644, 'z'}}, {"c", "b"}, kTooLarge, 1},
    {"Compress4GiBPlus5", {{"b", "4294967301", 0644, 'z'}}, {"c", "b"}, kTooLarge, 1},
    {"ExpandReplacesOutputWithArchivesMode", {kAArchive, kOld}, {"dc", "a.LZW", "out"}, kExpanded + "1.28571", 0,
     {{"out", kText, 0600}}},
    {"ExpandEmptyArchive", {{"a.LZW", kEmptyArchive}}, {"dc", "a.LZW", "out"}, kExpanded + "inf", 0, {{"out", ""}}},
    {"ExpandThroughSymlink", {kAArchive, {"t", "old"}, {"out", "t", 0, 's'}}, {"dc", "a.LZW", "out"},
     kExpanded + "1.28571", 0, {{"t", kText}}},
    {"ExpandMissingArchive", {}, kExpandB, kNoArchive, 1},
    {"ExpandMissingArchiveKeepsOutput", {kOld}, kExpandB, kNoArchive, 1},
    {"ExpandDirectory", {{"b.LZW", "", 0, 'd'}}, kExpandB, kNoArchive, 1},
    {"ExpandFifo", {{"b.LZW", "", 0, 'p'}}, kExpandB, kNoArchive, 1},
    {"ExpandUnreadable", {{"b.LZW", kArchive, 0}}, kExpandB, kNoArchive, 1, {}, 0, true},
    {"ExpandOntoItself", {kAArchive}, {"dc", "a.LZW", "a.LZW"}, kNoOutput, 1},
    {"ExpandOntoItselfDotSlash", {kAArchive}, {"dc", "a.LZW", "./a.LZW"}, kNoOutput, 1},
    {"ExpandOntoItselfAbsolute", {kAArchive}, {"dc", "a.LZW", "{dir}/a.LZW"}, kNoOutput, 1},
    {"ExpandOntoSymlinkToArchive", {kAArchive, {"out", "a.LZW", 0, 's'}}, {"dc", "a.LZW", "out"}, kNoOutput, 1},
    {"ExpandOntoHardLinkToArchive", {kAArchive, {"out", "a.LZW", 0, 'h'}}, {"dc", "a.LZW", "out"}, kNoOutput, 1},
    {"ExpandIntoMissingDirectory", {kAArchive}, {"dc", "a.LZW", "missing/out"}, kNoOutput, 1},
    {"ExpandOntoDirectory", {kAArchive, {"out", "", 0, 'd'}}, {"dc", "a.LZW", "out"}, kNoOutput, 1},
    {"ExpandOntoFullDevice", {kAArchive}, {"dc", "a.LZW", "/dev/full"},
     "Processing a.LZW\nFailed to write output file\n", 1},
    {"ExpandOntoFullDisk", {{"a.LZW", kZerosArchive}, {"disk", "256k", 0, 'm'}}, {"dc", "a.LZW", "disk/out"},
     "Processing a.LZW\nFailed to write output file\n", 1},
    // Room for the output, not for twice as much.
    {"ExpandOntoNearlyFullDisk", {{"a.LZW", kZerosArchive}, {"disk", "1536k", 0, 'm'}}, {"dc", "a.LZW", "disk/out"},
     kExpanded + kZerosRatio, 0, {{"disk/out", kZeros}}},
    {"Expand0ByteArchive", {{"b.LZW", ""}, kOld}, kExpandB, kInvalid, 1},
    {"Expand1ByteArchive", {{"b.LZW", kEmptyArchive.substr(0, 1)}, kOld}, kExpandB, kInvalid, 1},
    {"Expand2ByteArchive", {{"b.LZW", kEmptyArchive.substr(0, 2)}, kOld}, kExpandB, kInvalid, 1},
    {"Expand3ByteArchive", {{"b.LZW", kEmptyArchive.substr(0, 3)}, kOld}, kExpandB, kInvalid, 1},
    {"ExpandCodeAboveCount", {{"b.LZW", kCodeAboveCount}, kOld}, kExpandB, kInvalid, 1},
    {"ExpandFirstCode256", {{"b.LZW", kFirstCode256}, kOld}, kExpandB, kInvalid, 1},
    // Links planted by someone else are not followed where the kernel's
    // protected-symlinks rule would not follow them, nor by root at all.
    {"CompressOntoOthersLinkInStickyDirectory",
     {kSticky, kVictim, {"s/a", kText}, {"s/a.LZW", "../victim", 0, 's', kOtherUser}}, {"c", "s/a"},
     "Processing s/a\nFailed to create output file\n", 1},
    {"ExpandOntoOthersDanglingLinkInStickyDirectory", {kSticky, kAArchive, {"s/out", "../made", 0, 's', kOtherUser}},
     {"dc", "a.LZW", "s/out"}, "Processing a.LZW\nFailed to create output file\n", 1},
    {"ExpandOntoOthersLinkAsRoot", {kVictim, kAArchive, {"out", "victim", 0, 's', kOtherUser}},
     {"dc", "a.LZW", "out"}, kNoOutput, 1},
    {"ExpandOntoStickyDirectoryOwnersLinkAsRoot",
     {{"s", "", 01777, 'd', kOtherUser}, kVictim, kAArchive, {"s/out", "../victim", 0, 's', kOtherUser}},
     {"dc", "a.LZW", "s/out"}, "Processing a.LZW\nFailed to create output file\n", 1},
    {"ExpandAsUserThroughOwnLinkInStickyDirectory",
     {kSticky, {"t", "old", 0644, 'f', kOtherUser}, kReadableArchive, {"s/out", "../t", 0, 's', kOtherUser}},
     {"dc", "a.LZW", "s/out"}, "Processing a.LZW\nDecompressed in {ms} ms.\nCompression ratio 1.28571", 0,
     {{"t", kText, 0644, 'f', kOtherUser}}, 0, false, kOtherUser},
    {"ExpandAsUserThroughOthersLinkInStickyDirectory",
     {kSticky, {"t", "old", 0666}, kReadableArchive, {"s/out", "../t", 0, 's', 1}}, {"dc", "a.LZW", "s/out"},
     "Processing a.LZW\nFailed to create output file\n", 1, {}, 0, false, kOtherUser},
    {"ExpandOntoOthersDeviceInStickyDirectory", {kSticky, kAArchive, {"s/out", "", 0, 'n', kOtherUser}},
     {"dc", "a.LZW", "s/out"}, "Processing a.LZW\nFailed to create output file\n", 1},
    {"ExpandOntoOwnDeviceInStickyDirectory", {kSticky, kAArchive, {"s/out", "", 0, 'n'}}, {"dc", "a.LZW", "s/out"},
     "Processing a.LZW\nFailed to write output file\n", 1},
    // A FIFO without a reader is refused at once instead of hanging the run.
    {"CompressOntoFifoWithoutReader", {kA, {"a.LZW", "", 0, 'p'}}, {"c", "a"}, kNoArchiveFile, 1},
    {"ExpandOntoFifoWithoutReader", {kAArchive, {"out", "", 0, 'p'}}, {"dc", "a.LZW", "out"}, kNoOutput, 1},
    // A destination written in place gets bytes only once the work has succeeded.
    {"CompressThroughLinkKeepsTargetsMode", {kA, {"t", "old", 0604}, {"a.LZW", "t", 0, 's'}}, {"c", "a"},
     kCompressed, 0, {{"t", kArchive, 0604}}},
    {"ExpandDamagedThroughLinkLeavesTargetAlone", {{"b.LZW", kCodeAboveCount}, {"t", "old"}, {"out", "t", 0, 's'}},
     kExpandB, kInvalid, 1},
    {"ExpandThroughDanglingLinkMakesTarget", {kAArchive, {"out", "t", 0, 's'}}, {"dc", "a.LZW", "out"},
     kExpanded + "1.28571", 0, {{"t", kText, 0644}}},
    {"ExpandDamagedThroughDanglingLinkMakesNothing", {{"b.LZW", kCodeAboveCount}, {"out", "t", 0, 's'}}, kExpandB,
     kInvalid, 1},
    // Files whose size lies (/proc) are read to their end.
    {"CompressProcFileThroughLink", {{"v", "/proc/version", 0, 's'}}, {"c", "v"},
     "Processing v\nCompressed in {ms} ms.", 0, {{"v.LZW", "/proc/version", 0444, 'a'}}},
    // Destinations that cannot be made are refused before the work.
    {"CompressNameTooLongForTheArchive", {{std::string(252, 'n'), kText}}, {"c", std::string(252, 'n')},
     "Processing " + std::string(252, 'n') + "\nFailed to create output file\n", 1},
    {"ExpandOntoEmptyName", {kAArchive}, {"dc", "a.LZW", ""}, kNoOutput, 1},
    {"ExpandOntoDirectoryName", {kAArchive}, {"dc", "a.LZW", "out/"}, kNoOutput, 1},
    {"ExpandAsUserOverOthersFileInOthersStickyDirectory", {kSticky, kReadableArchive, {"s/out", "old"}},
     {"dc", "a.LZW", "s/out"}, "Processing a.LZW\nFailed to create output file\n", 1, {}, 0, false, kOtherUser},
    // New files get the source's times and, from root, its owner where that
    // owner owns the directory.
    {"CompressGivesArchiveTheInputsTimes", {{"a", kText, 0640, 'f', -1, true}}, {"c", "a"}, kCompressed, 0,
     {{"a.LZW", kArchive, 0640, 'f', 0, true}}},
    {"ExpandGivesOutputTheArchivesTimes", {{"a.LZW", kArchive, 0600, 'f', -1, true}, kOld}, {"dc", "a.LZW", "out"},
     kExpanded + "1.28571", 0, {{"out", kText, 0600, 'f', 0, true}}},
    {"CompressAsRootGivesArchiveTheInputsOwnerInTheirDirectory",
     {{"u", "", 0755, 'd', kOtherUser}, {"u/a", kText, 0644, 'f', kOtherUser}}, {"c", "u/a"},
     "Processing u/a\nCompressed in {ms} ms.", 0, {{"u/a.LZW", kArchive, 0644, 'f', kOtherUser}}},
    {"ExpandAsRootKeepsOwnOwnerInItsDirectory", {{"a.LZW", kArchive, 0644, 'f', kOtherUser}},
     {"dc", "a.LZW", "out"}, kExpanded + "1.28571", 0, {{"out", kText, 0644, 'f', 0}}},
};

class EndToEnd : public ::testing::TestWithParam<Row> {};

TEST_P(EndToEnd, PrintsExitsAndLeavesTheFilesAsExpected) {
  const Row& row = GetParam();
  if (row.needs_permissions && geteuid() == 0) GTEST_SKIP() << "file permissions do not stop root";
  const bool needs_root = row.user != 0 || std::any_of(row.setup.begin(), row.setup.end(), [](const Entry& entry) {
    return entry.owner >= 0 || entry.kind == 'n' || entry.kind == 'm';
  });
  if (needs_root && geteuid() != 0) GTEST_SKIP() << "only root can give files to other users, mount and run as them";
  TempDir dir;
  // Unmounted before the directory is removed, however the test ends.
  struct Mounts {
    std::vector<std::string> paths;
    ~Mounts() {
      for (const std::string& path : paths) umount(path.c_str());
    }
  } mounts;
  for (const Entry& entry : row.setup) {
    if (entry.kind == 'm') mounts.paths.push_back(dir.file(entry.name));
  }
  if (row.user != 0) {
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);  // so that the user reaches the entries
  }
  for (const Entry& entry : row.setup) make(dir, entry);
  auto before = snapshot(dir);
  // Another user may not reach the build tree: that run gets a copy of the program.
  TempDir program_dir;
  std::string program = LZW_BINARY;
  if (row.user != 0) {
    program = program_dir.file("lzw");
    std::filesystem::copy_file(LZW_BINARY, program);
    ASSERT_EQ(chmod(program_dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  }
  std::vector<std::string> arguments{program};
  for (std::string argument : row.arguments) {
    if (argument.starts_with("{dir}")) argument.replace(0, 5, dir.path());
    arguments.push_back(argument);
  }
  const testing::ProgramRun run =
      testing::run_program(arguments, dir.path(), {.file_size_limit = row.file_size_limit, .user = row.user});
  ASSERT_FALSE(run.timed_out) << "the run hung and was killed; it printed " << ::testing::PrintToString(run.output);
  EXPECT_TRUE(testing::output_matches(run.output, row.output)) << ::testing::PrintToString(run.output);
  EXPECT_EQ(run.exit_status, row.exit_status);
  auto after = snapshot(dir);
  for (const Entry& file : row.written) {
    struct stat s {};
    ASSERT_EQ(stat(dir.file(file.name).c_str(), &s), 0) << file.name << " is missing";
    EXPECT_EQ(testing::read_file(dir.file(file.name)), expected_content(file)) << file.name;
    EXPECT_EQ(s.st_mode & 07777, file.mode) << file.name;
    if (file.owner >= 0) {
      EXPECT_EQ(s.st_uid, static_cast<uid_t>(file.owner)) << file.name;
    }
    if (file.dated) {
      EXPECT_EQ(std::pair(s.st_mtim.tv_sec, s.st_mtim.tv_nsec), std::pair(kDated.tv_sec, kDated.tv_nsec)) << file.name;
    }
    before.erase(file.name);
    after.erase(file.name);
  }
  EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(Rows, EndToEnd, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

TEST(Program, RoundTripsACorpusFile) {
  TempDir dir;
  const testing::Bytes text = testing::read_test_data("corpus/alice29.txt");
  testing::write_file(dir.file("a"), text);
  const testing::ProgramRun compressed = testing::run_program({LZW_BINARY, "c", "a"}, dir.path());
  EXPECT_TRUE(testing::output_matches(compressed.output, kCompressed)) << compressed.output;
  const testing::ProgramRun expanded = testing::run_program({LZW_BINARY, "dc", "a.LZW", "out"}, dir.path());
  std::ostringstream ratio;
  ratio << static_cast<float>(testing::read_file(dir.file("a.LZW")).size()) / static_cast<float>(text.size());
  EXPECT_TRUE(testing::output_matches(expanded.output, kExpanded + ratio.str())) << expanded.output;
  EXPECT_EQ(std::pair(compressed.exit_status, expanded.exit_status), std::pair(0, 0));
  EXPECT_EQ(testing::read_file(dir.file("out")), text);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a", "a.LZW", "out"}));
}

// Makes 1.5 GiB of zeros (seconds of work at least) and an old archive.
void make_long_input(const TempDir& dir) {
  make(dir, {"a", std::to_string(3ll << 29), 0644, 'z'});
  make(dir, {"a.LZW", "old"});
}

// Starts `lzw c a` and waits until its temporary file appears; false if it
// did not within 20 s.
bool start_long_compression(const TempDir& dir, const testing::ProgramSetting& setting, testing::Child* child) {
  *child = testing::start_program({LZW_BINARY, "c", "a"}, dir.path(), setting);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    for (const std::string& name : dir.entries()) {
      if (name.starts_with(".lzw-")) return true;
    }
  }
  return false;
}

bool still_running(const testing::Child& child) {
  siginfo_t info{};  // not reaped here: finish_program collects the child
  return waitid(P_PID, child.pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

// A compression stopped by a signal removes its temporary file and dies of
// it; one it started with ignored (nohup) does not stop it.
TEST(Program, InterruptedCompressionLeavesOnlyThePreviousFiles) {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal_number));
    TempDir dir;
    make_long_input(dir);
    const auto before = snapshot(dir);
    testing::Child child;
    const bool started = start_long_compression(dir, {}, &child);
    const bool running = still_running(child);
    kill(child.pid, started && running ? signal_number : SIGKILL);
    const testing::ProgramRun run = testing::finish_program(child);
    ASSERT_TRUE(started) << "no temporary file appeared within 20 s";
    ASSERT_TRUE(running) << "the run ended before it could be interrupted, printing " << run.output;
    EXPECT_EQ(run.signal, signal_number);
    EXPECT_EQ(run.output, "Processing a\n");
    EXPECT_EQ(snapshot(dir), before);
  }
}

TEST(Program, SignalIgnoredAtTheStartStaysIgnored) {
  TempDir dir;
  make_long_input(dir);
  testing::Child child;
  const bool started = start_long_compression(dir, {.ignored_signal = SIGHUP}, &child);
  if (started) kill(child.pid, SIGHUP);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const bool survived = still_running(child);
  kill(child.pid, SIGTERM);
  const testing::ProgramRun run = testing::finish_program(child);
  ASSERT_TRUE(started) << "no temporary file appeared within 20 s";
  EXPECT_TRUE(survived) << "SIGHUP ended the run: " << run.signal;
  EXPECT_EQ(run.signal, SIGTERM);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a", "a.LZW"}));
}

}  // namespace
}  // namespace lzw
