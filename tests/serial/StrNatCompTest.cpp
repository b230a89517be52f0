#include "serial/StrNatComp.h"
#include <gtest/gtest.h>
TEST(NaturalCompare, Placeholder) { EXPECT_EQ(NaturalCompare("COM2", "COM10", false), -1); }
