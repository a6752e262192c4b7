#include <gtest/gtest.h>

extern "C" int jx_c_api_smoke(void);

TEST(CApi, CallableFromC) { EXPECT_EQ(jx_c_api_smoke(), 4 * 10 + 1); }
