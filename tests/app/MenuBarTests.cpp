// The main window's menu bar and toolbar: both in the top dock, the toolbar's pictures and the
// zoom box, the menu bar's shortcuts through the application's key handling (without taking keys
// from a focused edit), and the captions of a new language as items and screen readers give them.
#include <gtest/gtest.h>

#include <oleacc.h>

#include <string>
#include <vector>

#include "DialogLanguage.h"
#include "MainFormTestSupport.h"
#include "TestSupport.h"
#include "app/CommandPictures.h"
#include "app/SheetfoldCommands.h"
#include "document/SheetfoldProject.h"
#include "platform/ComObj.h"
#include "platform/Forms.h"
#include "skin/SkinStrUtils.h"
#include "toolbar/TBCommon.h"
#include "toolbar/TBView.h"

namespace {

TTBCustomItem* ItemOfTag(TTBCustomItem* parent, int tag)
{
    for (int i = 0; i < parent->Count(); ++i)
        if (parent->GetItem(i)->GetTag() == tag)
            return parent->GetItem(i);
    return nullptr;
}

std::vector<std::wstring> Captions(TTBCustomItem* parent)
{
    std::vector<std::wstring> captions;
    for (int i = 0; i < parent->Count(); ++i)
        captions.push_back(parent->GetItem(i)->GetCaption());
    return captions;
}

// The names a screen reader reads off the window's client object, child by child.
std::vector<std::wstring> AccessibleNames(HWND wnd)
{
    using TFromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    HMODULE oleacc = LoadLibraryA("oleacc.dll");
    auto fromWindow = reinterpret_cast<TFromWindow>(reinterpret_cast<void*>(GetProcAddress(oleacc, "AccessibleObjectFromWindow")));
    std::vector<std::wstring> names;
    TComPtr<IAccessible> acc;
    if (!fromWindow || FAILED(fromWindow(wnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                         reinterpret_cast<void**>(acc.Put()))))
        return names;
    long count = 0;
    acc->get_accChildCount(&count);
    for (long i = 1; i <= count; ++i) {
        VARIANT child;
        VariantInit(&child);
        child.vt = VT_I4;
        child.lVal = i;
        IDispatch* dispatch = nullptr;
        acc->get_accChild(child, &dispatch);
        TComPtr<IAccessible> item;
        if (dispatch) {
            dispatch->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(item.Put()));
            dispatch->Release();
        }
        BSTR name = nullptr;
        VARIANT self;
        VariantInit(&self);
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        if (!item || FAILED(item->get_accName(self, &name)) || !name) {
            names.push_back(L"<none>");
            continue;
        }
        names.emplace_back(name, SysStringLen(name));
        SysFreeString(name);
    }
    return names;
}

// Text in the process's code page, as a language file holds it; empty when the code page cannot
// hold every character.
std::string InCodePage(const std::wstring& text)
{
    BOOL lost = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, &lost);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, &lost);
    return lost ? std::string() : result;
}

struct TLanguageEntry {
    int Key;
    const wchar_t* German;
    const wchar_t* Russian;
};

// The menu bar's five captions first, then texts of the other kinds of items.
constexpr TLanguageEntry LanguageEntries[] = {
    {400, L"&Datei", L"&Файл"},
    {500, L"&Bearbeiten", L"&Правка"},
    {600, L"&Ansicht", L"&Вид"},
    {700, L"&Einfügen", L"&Вставка"},
    {1000, L"&Hilfe", L"&Справка"},
    {504, L"Löschen", L"Удалить"},
    {100, L"Bild", L"Изображение"},
    {303, L"Maßstab:", L"Масштаб:"},
    {309, L"|Ausschneiden", L"|Вырезать"},
};
constexpr int MenuBarEntries = 5;

// Escape for whatever has the focus, until the menu's loop has ended.
void CALLBACK PostEscapeToFocus(HWND, UINT, UINT_PTR, DWORD)
{
    HWND focus = GetFocus();
    PostMessageA(focus ? focus : GetActiveWindow(), WM_KEYDOWN, VK_ESCAPE, 1);
}

} // namespace

class MenuBarTest : public MainFormTest {
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        ShowForm();
        SetForegroundWindow(Form->GetHandle());
        SetActiveWindow(Form->GetHandle());
        Pump();
    }
    // The key as the program's message loop gets it: shortcuts are looked for before the window
    // that has the focus sees the key.
    void KeyThroughTheLoop(HWND focus, WORD key)
    {
        SetFocus(focus);
        PostMessageA(focus, WM_KEYDOWN, key, 1);
        PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
        Application->ProcessMessages();
    }
    // The view's context menu as a right click opens it, closed by Escape from a timer that the
    // menu's loop dispatches (and that repeats until the loop has ended).
    void RunContextMenu()
    {
        UINT_PTR timer = SetTimer(nullptr, 0, 50, PostEscapeToFocus);
        Form->ShowContextMenu(10, 10);
        KillTimer(nullptr, timer);
        Pump();
    }
};

TEST_F(MenuBarTest, TheBarsShareTheTopDockWithTheirPicturesAndTheZoomBox)
{
    TEnglishTexts english;
    Form->ApplyLanguage("English");
    TSkinToolbar* menuBar = Form->GetMenuBar();
    TSkinToolbar* toolbar = Form->GetToolbar();
    ASSERT_EQ(menuBar->GetParent(), Form->GetTopDock());
    ASSERT_EQ(toolbar->GetParent(), Form->GetTopDock());
    EXPECT_TRUE(menuBar->GetMenuBar());
    EXPECT_LT(menuBar->GetTop(), toolbar->GetTop()) << "the menu bar has the first row";
    EXPECT_EQ(Captions(menuBar->GetItems()), (std::vector<std::wstring>{L"&File", L"&Edit", L"&View", L"&Insert", L"&Help"}));

    // Every command with a picture shows it, with its hint, and fits in the window's width.
    ASSERT_NE(toolbar->GetImages(), nullptr);
    EXPECT_EQ(toolbar->GetImages()->GetCount(), static_cast<int>(cpCount));
    for (const TCommandPictureEntry& entry : CommandPictureTable()) {
        SCOPED_TRACE(entry.Tag);
        TTBCustomItem* item = ItemOfTag(toolbar->GetItems(), entry.Tag);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->GetImageIndex(), static_cast<int>(entry.Picture));
        EXPECT_FALSE(item->GetHint().empty() && item->GetCaption().empty());
        TTBItemViewer* viewer = toolbar->GetView()->Find(item);
        ASSERT_NE(viewer, nullptr);
        EXPECT_LE(viewer->GetBoundsRect().right, toolbar->GetClientWidth());
    }
    // Align, Order and Rotate drop down the commands of their menus.
    for (auto [tag, first] : {std::pair{7001, cmAlignFirst}, std::pair{1100, cmBringToFront}, std::pair{1200, cmRotate180}}) {
        TTBCustomItem* menu = ItemOfTag(toolbar->GetItems(), tag)->GetLinkedItem();
        ASSERT_GT(menu->Count(), 0) << tag;
        EXPECT_EQ(menu->GetItem(0)->GetTag(), first);
    }

    // The zoom box lists the choices; choosing a line zooms the view at once.
    TSkinComboBoxItem* zoom = Form->GetZoomBox();
    EXPECT_TRUE(zoom->GetDropDownList());
    EXPECT_EQ(zoom->GetLines()->GetCount(), ZoomChoiceCount);
    EXPECT_EQ(zoom->GetText(), L"Auto");
    ASSERT_NE(toolbar->GetView()->Find(zoom), nullptr);
    EXPECT_LE(toolbar->GetView()->Find(zoom)->GetBoundsRect().right, toolbar->GetClientWidth());
    EXPECT_FALSE(Form->GetView()->GetScrollEnabled());
    zoom->SetItemIndex(4);
    EXPECT_EQ(zoom->GetText(), L"100%");
    EXPECT_TRUE(Form->GetView()->GetScrollEnabled());
    zoom->SetItemIndex(ZoomChoiceCount - 1);
    EXPECT_FALSE(Form->GetView()->GetScrollEnabled());
    Form.reset();
}

TEST_F(MenuBarTest, TheDeleteShortcutActsOnThePageButLeavesAFocusedEditItsKey)
{
    AddText("one");
    ASSERT_EQ(Selection()->Count(), 1);
    Form->ApplyEnablingRules();
    KeyThroughTheLoop(Form->GetView()->GetHandle(), VK_DELETE);
    EXPECT_EQ(Form->GetCurrentPage()->Count(), 0) << "Del on the page deletes the selection";

    // Inserted text selects the text memo's whole text: Del there clears the text, not the page.
    Form->ApplyEnablingRules();
    Form->ExecuteCommand(cmInsertText);
    ASSERT_EQ(Form->GetCurrentPage()->Count(), 1);
    Form->ApplyEnablingRules();
    ASSERT_TRUE(Form->GetCommandEnabled(cmDelete));
    KeyThroughTheLoop(Form->GetTextMemo()->GetHandle(), VK_DELETE);
    EXPECT_EQ(Form->GetCurrentPage()->Count(), 1);
    EXPECT_EQ(Form->GetTextMemo()->GetText(), "");
}

// Under a Cyrillic code page (the ctest run app_ru_RU) the captions are Russian; elsewhere German.
TEST_F(MenuBarTest, ANewLanguageRecaptionsTheItemsAndScreenReadersReadIt)
{
    TEnglishTexts english;
    const bool russian = !InCodePage(L"Файл").empty();
    std::string text = "[Info]\r\nLanguage=" + InCodePage(russian ? L"Русский" : L"Deutsch") + "\r\n[Interface]\r\n";
    for (const TLanguageEntry& entry : LanguageEntries)
        text += std::to_string(entry.Key) + "=" + InCodePage(russian ? entry.Russian : entry.German) + "\r\n";
    const std::string folder = TestTempDir() + "\\menubar\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "Language").c_str(), nullptr);
    WriteBytes("menubar\\Language\\Other.ini", text);
    TSfLanguage::Instance()->SetProgramFolder(folder);

    // The View menu lists the file under its display name; choosing it applies the language.
    Form->RebuildLanguageMenu();
    TSkinSubmenuItem* languages = Form->GetLanguageMenu();
    ASSERT_EQ(languages->Count(), 1);
    EXPECT_EQ(languages->GetItem(0)->GetCaption(), russian ? L"Русский" : L"Deutsch");
    languages->GetItem(0)->Click();
    Pump();

    std::vector<std::wstring> expected;
    for (int i = 0; i < MenuBarEntries; ++i)
        expected.push_back(russian ? LanguageEntries[i].Russian : LanguageEntries[i].German);
    EXPECT_EQ(Captions(Form->GetMenuBar()->GetItems()), expected);
    TTBCustomItem* edit = Form->GetMenuBar()->GetItems()->GetItem(1);
    EXPECT_EQ(ItemOfTag(edit, 504)->GetCaption(), russian ? L"Удалить" : L"Löschen");
    TTBCustomItem* view = Form->GetMenuBar()->GetItems()->GetItem(2);
    EXPECT_EQ(ItemOfTag(view, 100)->GetCaption(), russian ? L"Изображение" : L"Bild");
    EXPECT_EQ(ItemOfTag(Form->GetToolbar()->GetItems(), 303)->GetCaption(), russian ? L"Масштаб:" : L"Maßstab:");
    TTBCustomItem* cut = ItemOfTag(Form->GetToolbar()->GetItems(), 309);
    EXPECT_EQ(cut->GetHint(), russian ? L"Вырезать" : L"Ausschneiden");
    EXPECT_EQ(cut->GetCaption(), L"") << "a hint alone leaves the caption";

    for (std::wstring& caption : expected)
        caption = RemoveAccelMarks(caption);
    EXPECT_EQ(AccessibleNames(Form->GetMenuBar()->GetHandle()), expected);

    // And back: the English texts replace every one of them.
    Form->ApplyLanguage("English");
    EXPECT_EQ(AccessibleNames(Form->GetMenuBar()->GetHandle()),
              (std::vector<std::wstring>{L"File", L"Edit", L"View", L"Insert", L"Help"}));
    EXPECT_EQ(cut->GetHint(), L"Cut");
    // The form goes while the language's classes are still known to it.
    Form.reset();
}

TEST_F(MenuBarTest, TheContextMenuOffersSaveAsForOneBitmapOnly)
{
    TTBCustomItem* saveAs = ItemOfTag(Form->GetContextMenu()->GetItems(), 507);
    ASSERT_NE(saveAs, nullptr);
    AddText("t");
    RunContextMenu();
    EXPECT_FALSE(saveAs->GetVisible());
    Form->InsertImageFile(WriteBmp("context.bmp", 8, 6));
    ASSERT_EQ(Selection()->Count(), 1);
    RunContextMenu();
    EXPECT_TRUE(saveAs->GetVisible());
}
