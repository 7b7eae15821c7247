#include "MainFormTestSupport.h"

#include "document/SheetfoldSelection.h"
#include "graphics/MapMode.h"
#include "skin/Skin.h"

namespace {
// The main window's panels, dock and status bar are themed: they find the themes started as the
// program starts them.
class TSkinEnvironment : public testing::Environment {
public:
    void SetUp() override { InitSkin(); }
    void TearDown() override { DoneSkin(); }
};

const testing::Environment* const kSkin = testing::AddGlobalTestEnvironment(new TSkinEnvironment);
}

void MainFormTest::SetUp()
{
    FSavedKey = XRegistry::GetDefaultKey();
    FKey = "Software\\SheetfoldTests\\MainForm" + std::to_string(GetCurrentProcessId());
    RegDeleteTreeA(HKEY_CURRENT_USER, FKey.c_str());
    XRegistry::SetDefaultKey(FKey);
    XRegistry::WriteInteger("ShowDemo", 2);
    FPreviousHandler = SetErrorMessageHandler([this](const std::string& text) {
        Errors.push_back(text);
        return IDOK;
    });
    Form.reset(New<TTestMainForm>(nullptr));
}

void MainFormTest::TearDown()
{
    Form.reset();
    SetErrorMessageHandler(FPreviousHandler);
    XRegistry::SetDefaultKey(FSavedKey);
    RegDeleteTreeA(HKEY_CURRENT_USER, FKey.c_str());
}

TLayerText* MainFormTest::AddText(const std::string& text)
{
    TLayerText* element = Form->InsertText(text);
    EXPECT_NE(element, nullptr);
    return element;
}

void MainFormTest::ShowForm()
{
    Form->Show();
    Pump();
}

void MainFormTest::Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

POINT MainFormTest::ViewPoint(POINT logical)
{
    return Form->GetView()->GetMapMode()->LPtoDP(logical);
}

POINT MainFormTest::Centre(const TLayerElement* element)
{
    RECT b = element->GetBounds();
    return POINT{(b.left + b.right) / 2, (b.top + b.bottom) / 2};
}

void MainFormTest::ClickPage(POINT logical, WPARAM keys)
{
    HWND view = Form->GetView()->GetHandle();
    POINT p = ViewPoint(logical);
    LPARAM at = MAKELPARAM(p.x, p.y);
    SendMessageA(view, WM_MOUSEMOVE, keys, at);
    SendMessageA(view, WM_LBUTTONDOWN, keys | MK_LBUTTON, at);
    SendMessageA(view, WM_LBUTTONUP, keys, at);
    Pump();
}

void MainFormTest::Type(HWND window, const std::string& text)
{
    for (char c : text)
        SendMessageA(window, WM_CHAR, static_cast<unsigned char>(c), 1);
    Pump();
}

void MainFormTest::PressKey(HWND window, WORD key)
{
    PostMessageA(window, WM_KEYDOWN, key, 1);
    PostMessageA(window, WM_KEYUP, key, 0xC0000001);
    Pump();
}
