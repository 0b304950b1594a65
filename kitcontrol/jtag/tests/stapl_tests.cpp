#include <gtest/gtest.h>
#include "jam_player.h"
TEST(Stapl, Builds) { EXPECT_STREQ(lx::jam::ErrorText(3), "syntax error"); }
