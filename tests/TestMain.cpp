// Test entry: brings up the process-wide state the program sets up at start-up, then runs the cases.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "TestSupport.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // A run under another locale checks nothing new when Wine fell back to the default code page
    // because the system lacks that locale.
    if (const char* required = std::getenv("SF_REQUIRE_CODEPAGE"); required && std::atoi(required) != int(GetACP())) {
        std::fprintf(stderr, "error: the system code page is %u, not %s: scripts/setup.sh generates the locale\n",
                     GetACP(), required);
        return 1;
    }
    TestEnvironmentStartup();
    int result = RUN_ALL_TESTS();
    TestEnvironmentShutdown();
    return result;
}
