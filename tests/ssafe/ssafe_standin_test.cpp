#include <gtest/gtest.h>
TEST(SsafeStandin, Placeholder) {}
