#include <gtest/gtest.h>

#include "tests/support/fixture.h"
TEST(Skeleton, Builds) { tz::test::Fixture f; EXPECT_EQ(f.ctx->app.exit_code, 8); }
