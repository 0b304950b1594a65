#include <gtest/gtest.h>
#include "sectortools.h"
TEST(Placeholder, Builds) { SUCCEED(); }
