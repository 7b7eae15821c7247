// Shared helpers for the test executables: start-up of process state and temporary files.
#pragma once

#include <string>

void TestEnvironmentStartup();
void TestEnvironmentShutdown();

// A fresh, empty folder under the temporary folder, removed at process end.
std::string TestTempDir();
// A path inside TestTempDir() with the given name.
std::string TestTempFile(const std::string& name);
