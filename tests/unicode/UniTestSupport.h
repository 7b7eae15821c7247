// What the Unicode layer's tests share: the layer's start-up, text in the shapes the tests need,
// and windows to type into.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "TestSupport.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"
#include "unicode/UniControls.h"
#include "unicode/UniSystem.h"

// A file name in the test folder with characters outside the 8-bit code page where the file
// system takes them (a host without a UTF-8 locale gives Wine none), else a plain one.
std::wstring WideTempFileName(const std::wstring& stem);

// The wide system class's text of a window.
std::wstring WindowText(HWND wnd);

// Makes a test take the 8-bit paths of a platform that is not Unicode while it lives.
class TNonUnicodePlatform {
public:
    TNonUnicodePlatform() { SetUnicodePlatform(false); }
    ~TNonUnicodePlatform() { ResetUnicodePlatform(); }
    TNonUnicodePlatform(const TNonUnicodePlatform&) = delete;
    TNonUnicodePlatform& operator=(const TNonUnicodePlatform&) = delete;
};

// An edit with a wide window, as every Unicode control makes one.
class TWideEdit : public TEdit {
public:
    using TEdit::TEdit;

protected:
    void CreateWindowHandle(const TCreateParams& params) override { CreateWideWindow(this, params, L"EDIT", false); }
};

// A form to put controls on, freed with the fixture. It is not shown unless a test needs it:
// without a window manager Wine waits for each shown window that goes.
struct UniFormTest : testing::Test {
    std::unique_ptr<TForm, TObjectFree> Form{New<TForm>(nullptr)};

    void SetUp() override
    {
        Form->SetBounds(40, 40, 420, 300);
        Form->HandleNeeded();
    }

    template <class T>
    T* Make()
    {
        T* control = New<T>(Form.get());
        control->SetParent(Form.get());
        return control;
    }

    // Handles every queued message through the class library's 8-bit loop.
    static void Pump()
    {
        for (int i = 0; i < 3; ++i)
            Application->ProcessMessages();
    }
};

// Text outside the 8-bit code page of every test run (Cyrillic, CJK, a symbol).
inline const std::wstring kWideText = L"\u0416\u0443\u043A \u65E5\u672C \u263A";
