// Fails on purpose and is registered as expected to fail. It can only pass when
// the test run reports this failure as a non-zero exit status to CTest.
#include "tests/support/GTest.h"

TEST(ExitStatusProbe, FailureReachesCTest) {
    EXPECT_EQ(1, 2) << "this failure is expected";
}
