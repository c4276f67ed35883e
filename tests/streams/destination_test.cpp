#include "streams/destination.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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

}  // namespace
}  // namespace lzw
