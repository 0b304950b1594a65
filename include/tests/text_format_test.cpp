// Format writes texts of any length whole: a message naming a long path must not lose its end.
#include <gtest/gtest.h>

#include <string>

#include "lumivex/text_format.h"

TEST(TextFormat, TextsOfEveryLengthAreWrittenWhole) {
  for (size_t length : {size_t(0), size_t(1), size_t(255), size_t(256), size_t(1023), size_t(1024), size_t(5000)}) {
    const std::string path(length, 'p');
    EXPECT_EQ(lx::Format("kept in \"%s\" (%u)", path.c_str(), 7u), "kept in \"" + path + "\" (7)") << length;
  }
  EXPECT_EQ(lx::Format("%s", ""), "");
}
