#include "streams/destination.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/files.h"

namespace lzw {
namespace {

TEST(Destination, ReplacesOnCommitWritesLinksInPlaceAndRefusesTheSource) {
  testing::TempDir dir;
  platform::FileInfo source, info;
  testing::write_file(dir.file("source"), testing::to_bytes("source"));
  ASSERT_EQ(::chmod(dir.file("source").c_str(), 0604), 0);
  ASSERT_TRUE(platform::describe_path(dir.file("source").c_str(), true, &source));
  testing::write_file(dir.file("out"), testing::to_bytes("old"));
  testing::write_file(dir.file("target"), testing::to_bytes("old"));
  ASSERT_EQ(::link(dir.file("source").c_str(), dir.file("hard").c_str()), 0);
  ASSERT_EQ(::symlink("source", dir.file("soft").c_str()), 0);
  ASSERT_EQ(::symlink("target", dir.file("link").c_str()), 0);
  const auto entries = dir.entries();
  const struct { const char* name; bool commit; Status status; const char* contents; } rows[] = {
      {"out", false, kOk, "old"}, {"source", true, kCannotCreateOutput, "source"},
      {"hard", true, kCannotCreateOutput, "source"}, {"soft", true, kCannotCreateOutput, "source"},
      {"out", true, kOk, "new"}, {"link", true, kOk, "new"},
  };
  for (const auto& row : rows) {
    {
      Destination destination;
      ASSERT_EQ(destination.create(dir.file(row.name).c_str(), source, Destination::Content::kStreamed), row.status)
          << row.name;
      if (row.status == kOk) {
        ASSERT_TRUE(platform::write_all(destination.descriptor(), "new", 3));
        EXPECT_EQ(row.commit ? destination.commit() : kOk, kOk);
      }
    }
    EXPECT_EQ(testing::read_file(dir.file(row.name)), testing::to_bytes(row.contents)) << row.name;
    EXPECT_EQ(dir.entries(), entries) << row.name;  // no temporary file left
  }
  ASSERT_TRUE(platform::describe_path(dir.file("out").c_str(), true, &info));
  EXPECT_EQ(info.mode, 0604u);  // the source's
  ASSERT_TRUE(platform::describe_path(dir.file("link").c_str(), false, &info));
  EXPECT_TRUE(info.is_symlink);
}

// An interruption that arrives while the new file is renamed into place is
// too late: the old file is gone already, so the run goes on to its success.
TEST(Destination, SignalPendingAtTheRenameChangesNothing) {
  testing::TempDir dir;
  platform::FileInfo source;
  testing::write_file(dir.file("source"), testing::to_bytes("source"));
  ASSERT_TRUE(platform::describe_path(dir.file("source").c_str(), true, &source));
  const pid_t child = fork();
  if (child == 0) {
    platform::install_interruption_cleanup();
    Destination destination;
    if (destination.create(dir.file("out").c_str(), source, Destination::Content::kStreamed) != kOk) _exit(2);
    sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    sigprocmask(SIG_BLOCK, &terminate, nullptr);
    kill(getpid(), SIGTERM);  // pending until the mask lets it through
    const Status committed = destination.commit(reinterpret_cast<const uint8_t*>("new"), 3);
    sigprocmask(SIG_UNBLOCK, &terminate, nullptr);
    _exit(committed == kOk ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(testing::read_file(dir.file("out")), testing::to_bytes("new"));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out", "source"}));
}

}  // namespace
}  // namespace lzw
