// Shared helpers for the test executables: start-up of process state, temporary files, the
// keyboard state, a drawing surface, memory streams, owned objects and rectangles.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ObjectModel.h"
#include "platform/Streams.h"
#include "platform/Strings.h"

void TestEnvironmentStartup();
void TestEnvironmentShutdown();

// A fresh, empty folder under the temporary folder, removed at process end.
std::string TestTempDir();
// A path inside TestTempDir() with the given name.
std::string TestTempFile(const std::string& name);

// What one complete zlib stream holds; raises std::runtime_error when the bytes are not exactly one.
std::vector<uint8_t> InflateZlib(const std::vector<uint8_t>& compressed);

// Dispatches every queued message of the thread.
void PumpMessages();

// The top-level windows of a thread, and every descendant of a window, in the system's order.
std::vector<HWND> ThreadWindows(DWORD threadId = GetCurrentThreadId());
std::vector<HWND> ChildWindows(HWND parent);

// An enhanced metafile 50 x 25 mm, its left half in one colour and its right half in another.
HENHMETAFILE RecordHalves(COLORREF left, COLORREF right);

// The lines a string list holds.
std::vector<std::string> LinesOf(const TStrings& list);

// A memory stream holding the bytes, positioned at its start.
TOwned<TMemoryStream> StreamOf(const std::vector<uint8_t>& bytes);
// What a memory stream holds, as bytes and as 8-bit text.
std::vector<uint8_t> BytesOf(TCustomMemoryStream& stream);
std::string TextOf(TCustomMemoryStream& stream);

// Without a window manager (Xvfb) Wine waits up to two seconds for each managed top-level window
// that hides; windows it leaves unmanaged go at once. Tells Wine so for the program of that file
// name (it reads the setting when the program's first window appears); Windows ignores the key.
void LeaveWindowsUnmanaged(const std::string& exeName);

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

// Watches cases of damaged input: a case that keeps the calling thread busy for more than a second
// of processor time, or that is still running after ten seconds, ends the test program with its
// name on the error output (a case stuck inside a system call cannot be failed any other way). The
// process's private bytes are sampled every millisecond while a case runs.
class TCaseWatch {
public:
    explicit TCaseWatch(double cpuSeconds = 1.0, double wallSeconds = 10.0);
    ~TCaseWatch();
    TCaseWatch(const TCaseWatch&) = delete;
    TCaseWatch& operator=(const TCaseWatch&) = delete;

    // Starts watching a case; the name is what a stuck case reports.
    void Begin(const std::string& name);
    // Stops watching; the most private bytes the process held during the case above those it held
    // at Begin.
    size_t End();
    // The most bytes any case has added so far, and its name.
    size_t WorstBytes() const { return FWorstBytes; }
    const std::string& WorstCase() const { return FWorstCase; }

private:
    struct TState;
    TState* FState;
    size_t FWorstBytes = 0;
    std::string FWorstCase;
};

// A 32-bit top-down DIB section in a memory device context of its own, to draw into and read back;
// every pixel starts as background (all 32 bits: white by default, 0 for black). Colours are
// 0xRRGGBB, or GDI's COLORREF from Color: GDI leaves the fourth byte as it likes.
class TTestSurface {
public:
    TTestSurface(int width, int height, uint32_t background = 0xFFFFFFFF);
    ~TTestSurface();
    TTestSurface(const TTestSurface&) = delete;
    TTestSurface& operator=(const TTestSurface&) = delete;

    HDC DC() const { return FDC; }
    uint32_t At(int x, int y) const;
    COLORREF Color(int x, int y) const;
    std::vector<uint32_t> Pixels() const;
    bool AllWhite() const;

private:
    HDC FDC;
    int FWidth, FHeight;
    HBITMAP FBitmap = nullptr;
    HGDIOBJ FOld = nullptr;
    uint32_t* FBits = nullptr;
};

// A new object of the object model without an owner, freed with the pointer.
template <class T>
TOwned<T> Make()
{
    return TOwned<T>(New<T>());
}

// Rectangles compared field by field; a failure shows both.
testing::AssertionResult SameRect(const RECT& a, const RECT& b);
#define EXPECT_RECT(expected, actual) EXPECT_TRUE(SameRect(expected, actual))

// Shows a rectangle as {left, top, right, bottom} wherever the tests print one (EXPECT_EQ, lists).
void PrintTo(const RECT& r, std::ostream* os);

// A grey 24-bit bottom-up BMP of the size (every byte 0x80), with the resolution given in pixels per
// metre (0: none), written to TestTempFile(name); its path.
std::string WriteBmp(const std::string& name, int width, int height, int pixelsPerMetre = 0);
// The bytes written to TestTempFile(name); its path.
std::string WriteBytes(const std::string& name, const std::string& bytes);
// The whole file, or nothing when it cannot be read.
std::string ReadBytes(const std::string& path);
