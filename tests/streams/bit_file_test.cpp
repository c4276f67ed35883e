#include "streams/bit_file.h"

#include <gtest/gtest.h>

namespace lzw {
namespace {

TEST(CodeWidth, SwitchesAtThe257thAnd769thCode) {
  EXPECT_EQ(code_width(1), 9u);
  EXPECT_EQ(code_width(256), 9u);
  EXPECT_EQ(code_width(257), 10u);
  EXPECT_EQ(code_width(768), 10u);
  EXPECT_EQ(code_width(769), 11u);
}

}  // namespace
}  // namespace lzw
