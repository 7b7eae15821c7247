// Shared helpers for the test executables: start-up of process state and temporary files.
#pragma once

#include <windows.h>

#include <cstring>
#include <initializer_list>
#include <string>

void TestEnvironmentStartup();
void TestEnvironmentShutdown();

// A fresh, empty folder under the temporary folder, removed at process end.
std::string TestTempDir();
// A path inside TestTempDir() with the given name.
std::string TestTempFile(const std::string& name);

// Holds a keyboard state for the thread (what GetKeyState reports) while it lives.
class TKeysDown {
public:
    explicit TKeysDown(std::initializer_list<int> keys)
    {
        GetKeyboardState(FSaved);
        BYTE state[256];
        std::memcpy(state, FSaved, sizeof(state));
        for (int key : keys)
            state[key] = 0x80;
        SetKeyboardState(state);
    }
    ~TKeysDown() { SetKeyboardState(FSaved); }

private:
    BYTE FSaved[256];
};
