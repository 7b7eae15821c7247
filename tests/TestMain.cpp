// Test entry: brings up the process-wide state the program sets up at start-up, then runs the cases.
#include <gtest/gtest.h>

#include "TestSupport.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    TestEnvironmentStartup();
    int result = RUN_ALL_TESTS();
    TestEnvironmentShutdown();
    return result;
}
