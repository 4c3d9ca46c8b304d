#include <gtest/gtest.h>
#include "scripts/script.h"
TEST(Script, Counts) { EXPECT_EQ(sp::phases_of(sp::Engine::SqlServer)[0].statement_count(), 68); }
