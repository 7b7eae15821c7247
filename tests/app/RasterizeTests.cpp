// The resolution rules of the rasterize and export boxes: what counts as a resolution, and the
// cap that keeps a raster within memory the program can get, beyond which a typed entry is refused.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "DialogLanguage.h"
#include "DialogTestSupport.h"
#include "app/Export.h"
#include "app/Rasterize.h"

TEST(Resolution, OnlyWholeIntegersAboveZeroAreResolutions)
{
    int resolution = 77;
    for (const char* bad : {"", " ", "0", "-5", "12a", "a12", "3.5", "300 dpi", "1e3", "99999999999", "+", "-0"}) {
        EXPECT_FALSE(ParseResolution(bad, resolution)) << '"' << bad << '"';
        EXPECT_EQ(resolution, 77) << "a refused text leaves the value alone";
    }
    ASSERT_TRUE(ParseResolution("300", resolution));
    EXPECT_EQ(resolution, 300);
    ASSERT_TRUE(ParseResolution("1", resolution));
    EXPECT_EQ(resolution, 1);
    ASSERT_TRUE(ParseResolution("2147483647", resolution));
    EXPECT_EQ(resolution, 2147483647);
}

TEST(Resolution, RasterBytesCountAlignedRowsOfThreeBytes)
{
    // One inch square at 100 dpi: rows of 300 bytes, 100 of them.
    EXPECT_EQ(RasterBytes(SIZE{2540, 2540}, 100), 30000);
    // 190 mm at 300 dpi is 2244 pixels; 2244 * 3 is already aligned.
    EXPECT_EQ(RasterBytes(SIZE{19000, 2540}, 300), int64_t(2244) * 3 * 300);
    // 1 pixel wide rows take 4 bytes; an empty extent still counts one pixel.
    EXPECT_EQ(RasterBytes(SIZE{1, 1}, 1), 4);
    EXPECT_EQ(RasterBytes(SIZE{0, -5}, 600), 4);
    // Far beyond 32 bits without overflow.
    EXPECT_GT(RasterBytes(SIZE{29700, 42000}, 100000), int64_t(1) << 40);
}

TEST(Resolution, CapIsTheHighestResolutionThatFits)
{
    for (SIZE extent : {SIZE{21000, 29700}, SIZE{29700, 42000}, SIZE{2540, 2540}, SIZE{100000, 500}}) {
        int cap = MaxResolutionForExtent(extent);
        EXPECT_LE(RasterBytes(extent, cap), MaxRasterBytes);
        EXPECT_GT(RasterBytes(extent, cap + 1), MaxRasterBytes);
    }
    // Every resolution the boxes offer stays open on the largest page.
    EXPECT_GE(MaxResolutionForExtent(DefaultRasterExtent), 600);
    EXPECT_LT(MaxResolutionForExtent(DefaultRasterExtent), 999999);
    // A tiny picture reaches the search ceiling rather than looping or overflowing.
    EXPECT_GE(MaxResolutionForExtent(SIZE{1, 1}), 10000);
}

// The box itself, driven from inside its modal loop.
namespace {

struct RasterizeBox : testing::Test {
    TEnglishTexts Texts;
    std::unique_ptr<TRasterizeForm, TObjectFree> Form{New<TRasterizeForm>(nullptr)};

    std::function<bool()> Type(const std::string& text)
    {
        return [this, text] {
            Form->GetDPIComboBox()->SetText(text);
            return true;
        };
    }
    std::function<bool()> Press(TButton* button)
    {
        return [button] {
            SendMessageA(button->GetHandle(), BM_CLICK, 0, 0);
            return true;
        };
    }
    // Waits for the bad-resolution box, checks its text and dismisses it.
    std::function<bool()> DismissBadResolution(int* seen)
    {
        return [seen] {
            HWND box = FindThreadDialog("Rasterization");
            if (!box)
                return false;
            EXPECT_EQ(MessageBoxText(box), "The resolution value is incorrect.  It has to be a positive value above 0.");
            ++*seen;
            EndDialog(box, IDOK);
            return true;
        };
    }
    std::function<bool()> ExpectStillOpen()
    {
        return [this] {
            if (FindThreadDialog("Rasterization"))
                return false;
            EXPECT_TRUE(IsWindowVisible(Form->GetHandle()));
            return true;
        };
    }
};

}  // namespace

TEST_F(RasterizeBox, TextsComeFromTheLanguageByTag)
{
    EXPECT_EQ(Form->GetCaption(), "Rasterize");
    EXPECT_EQ(Form->GetOkButton()->GetCaption(), "Ok");
    EXPECT_EQ(Form->GetCancelButton()->GetCaption(), "Cancel");
    EXPECT_EQ(Form->GetBorderStyle(), bsDialog);
    EXPECT_EQ(Form->GetDPIComboBox()->GetName(), "DPIComboBox");
    ASSERT_EQ(Form->GetDPIComboBox()->GetItems()->Count(), 4);
    EXPECT_EQ(Form->GetDPIComboBox()->GetItems()->Get(3), "600");
}

TEST_F(RasterizeBox, InvalidEntriesKeepItOpenAndAValidOneCloses)
{
    Form->SetResolution(150);
    int refused = 0;
    std::string shown;
    std::vector<std::function<bool()>> steps{[&] {
        shown = Form->GetDPIComboBox()->GetText();
        return true;
    }};
    // Under Wine without a window manager a message box takes two seconds to go: two entries
    // here, the rest of the rule is tested on ParseResolution.
    for (const char* bad : {"0", "12a"}) {
        steps.push_back(Type(bad));
        steps.push_back(Press(Form->GetOkButton()));
        steps.push_back(DismissBadResolution(&refused));
        steps.push_back(ExpectStillOpen());
    }
    steps.push_back(Type("300"));
    steps.push_back(Press(Form->GetOkButton()));
    TDialogWatchdog watchdog(20000);
    TScriptedSteps script(steps);
    EXPECT_EQ(Form->ShowModal(), mrOk);
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(shown, "150");
    EXPECT_EQ(refused, 2);
    EXPECT_EQ(script.Next(), steps.size());
    EXPECT_EQ(Form->GetResolution(), 300);
}

TEST_F(RasterizeBox, CancelAlwaysGetsOutAndKeepsTheResolution)
{
    // A preset below 1 shows 100.
    Form->SetResolution(0);
    std::string shown;
    TDialogWatchdog watchdog;
    {
        TScriptedSteps script({[&] {
                                   shown = Form->GetDPIComboBox()->GetText();
                                   return true;
                               },
                               Type("12a"), Press(Form->GetCancelButton())});
        EXPECT_EQ(Form->ShowModal(), mrCancel);
        EXPECT_TRUE(script.Done());
    }
    EXPECT_EQ(shown, "100");
    EXPECT_EQ(Form->GetResolution(), 100);
    // The close box and Esc get out of an invalid entry too.
    for (auto close : {std::function<void()>([&] { PostMessageA(Form->GetHandle(), WM_CLOSE, 0, 0); }),
                       std::function<void()>([&] { Form->GetCancelButton()->Click(); })}) {
        TScriptedSteps script({Type("-5"), [&] {
                                   close();
                                   return true;
                               }});
        EXPECT_EQ(Form->ShowModal(), mrCancel);
        EXPECT_EQ(Form->GetResolution(), 100);
    }
    EXPECT_FALSE(watchdog.Fired());
}

// Key strokes through the system's input queue, to whichever window has the focus.
void PressKeys(const std::vector<WORD>& keys)
{
    std::vector<INPUT> input;
    for (WORD key : keys)
        for (DWORD flags : {DWORD(0), DWORD(KEYEVENTF_KEYUP)}) {
            INPUT stroke{};
            stroke.type = INPUT_KEYBOARD;
            stroke.ki.wVk = key;
            stroke.ki.dwFlags = flags;
            input.push_back(stroke);
        }
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

// Rubs out the entry that has the focus, types the text and confirms it with Enter, once the
// box of the window class is active with the focus inside.
std::function<bool()> TypeIntoBox(const char* boxClass, const std::string& text)
{
    return [boxClass, text] {
        HWND box = GetActiveWindow();
        char name[64] = {};
        GetClassNameA(box, name, sizeof(name));
        HWND focus = GetFocus();
        if (std::string(name) != boxClass || !focus || !IsChild(box, focus))
            return false;
        std::vector<WORD> keys{VK_END};
        keys.insert(keys.end(), 12, VK_BACK);
        keys.insert(keys.end(), text.begin(), text.end());
        keys.push_back(VK_RETURN);
        PressKeys(keys);
        return true;
    };
}

TEST(ResolutionBoxes, ATypedResolutionAboveWhatThePageAllowsIsRefusedWithTheLargest)
{
    TEnglishTexts texts;
    std::unique_ptr<TRasterizeForm, TObjectFree> rasterize(New<TRasterizeForm>(nullptr));
    struct TCase {
        const char* Class;
        std::function<bool(int&)> Show;
    };
    const TCase boxes[] = {
        {"TRasterizeForm",
         [&](int& resolution) {
             rasterize->SetResolution(300);
             rasterize->SetMaxResolution(700);
             bool ok = rasterize->ShowModal() == mrOk;
             resolution = rasterize->GetResolution();
             return ok;
         }},
        {"TExportForm", [](int& resolution) { return ExecuteExport(resolution, 700); }},
    };
    for (const TCase& c : boxes) {
        std::string refusal;
        TDialogWatchdog watchdog(20000);
        TScriptedSteps script({TypeIntoBox(c.Class, "2400"),
                               [&] {
                                   HWND box = FindThreadDialog("Rasterization");
                                   if (!box || GetActiveWindow() != box)
                                       return false;
                                   refusal = MessageBoxText(box);
                                   PressKeys({VK_RETURN});
                                   return true;
                               },
                               TypeIntoBox(c.Class, "700")});
        int resolution = 0;
        EXPECT_TRUE(c.Show(resolution)) << c.Class;
        EXPECT_FALSE(watchdog.Fired()) << c.Class;
        EXPECT_TRUE(script.Done()) << c.Class;
        EXPECT_EQ(refusal, "The resolution is too high for this page.  The largest resolution it allows is 700 dpi.")
            << c.Class << ": 2400 dpi was not refused";
        EXPECT_EQ(resolution, 700) << c.Class;
    }
}

TEST_F(RasterizeBox, EscapeFromTheEntryCancelsAndEnterConfirms)
{
    Form->SetResolution(150);
    TDialogWatchdog watchdog;
    auto key = [this](WORD vk) {
        return [this, vk] {
            HWND edit = Form->GetDPIComboBox()->GetEditHandle();
            SetFocus(edit);
            PostMessageA(edit, WM_KEYDOWN, vk, 1);
            PostMessageA(edit, WM_KEYUP, vk, 0xC0000001);
            return true;
        };
    };
    {
        TScriptedSteps script({Type("12a"), key(VK_ESCAPE)});
        EXPECT_EQ(Form->ShowModal(), mrCancel);
    }
    EXPECT_EQ(Form->GetResolution(), 150);
    {
        TScriptedSteps script({Type("600"), key(VK_RETURN)});
        EXPECT_EQ(Form->ShowModal(), mrOk);
    }
    EXPECT_EQ(Form->GetResolution(), 600);
    EXPECT_FALSE(watchdog.Fired());
}
