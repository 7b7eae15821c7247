// Wide captions, hints and shortcut texts on the class library's menus: hot-key marks of wide
// captions, shortcut texts with the keyboard's own key names, menu items whose native entries show
// the wide text, and the pop-up list that reports their wide hints.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Menus.h"

// Start-up and shut-down: the pop-up list is replaced by a TUniPopupList and given back.
void InitUniMenus();
void DoneUniMenus();

// ---- Hot keys ----

// The index of the first "&" that marks a hot key ("&&" is a literal ampersand), or npos.
size_t FindHotkeyIndex(const std::wstring& caption);
// The character after that "&"; 0 when there is none.
wchar_t ExtractHotkeyChar(const std::wstring& caption);
// Whether the system shows far-east (double-byte) text, whose captions name hot keys as "(&X)".
bool IsFarEastLocale();
// The caption without hot-key marks; with farEast also without a "(&X)" group that follows
// other text ("File(&F)" is "File").
std::wstring RemoveHotkeyMark(const std::wstring& caption, bool farEast);
std::wstring RemoveHotkeyMark(const std::wstring& caption);
// Captions that name the same text once the marks are gone: without regard to case, and with.
bool CaptionsMatch(const std::wstring& a, const std::wstring& b);
bool CaptionsMatchWithCase(const std::wstring& a, const std::wstring& b);

// A shortcut's text: "Shift+", "Ctrl+" and "Alt+" before the key as the current keyboard layout
// names it; the class library's text widened for its named keys and without a Unicode platform.
std::wstring ShortCutToWideText(TShortCut shortCut);

// The wide caption with its "&" moved to where the 8-bit caption has it, when the 8-bit caption
// names the same text. Raises EUniInternalError when the result would not narrow to the 8-bit
// caption.
std::wstring SyncHotKeyPosition(const std::wstring& wideCaption, const std::string& ansiCaption);

// ---- Menus ----

// Drives a menu item from an action: wide caption and hint.
class TUniMenuActionLink : public TMenuActionLink {
    SF_CLASS(TUniMenuActionLink)
public:
    using TMenuActionLink::TMenuActionLink;
    bool IsCaptionLinked() override;
    bool IsHintLinked() override;
    void SetCaption(const std::string& value) override;
    void SetHint(const std::string& value) override;
};

// A menu item with wide Caption and Hint, whose native entry shows the wide caption and the
// shortcut as the keyboard layout names it.
class TUniMenuItem : public TMenuItem {
    SF_CLASS(TUniMenuItem)
public:
    using TMenuItem::TMenuItem;

    // Follows the 8-bit caption when that is changed behind it (keeping the wide characters
    // when only the hot key moved).
    std::wstring GetCaption();
    void SetCaption(const std::wstring& value);
    std::wstring GetHint();
    void SetHint(const std::wstring& value);

    // A changed keyboard layout renames the shortcut keys first.
    void InitiateAction() override;
    // The item's entry and those of its subitems show their wide texts.
    void UpdateNativeTexts();

protected:
    void Loaded() override;
    void MenuChanged() override;
    void ActionChange(TObject* sender, bool checkDefaults) override;
    TMenuActionLink* CreateActionLink() override;
    void NativeItemBuilt(HMENU menu, UINT position) override;

private:
    bool IsTopOfMainMenu() const;

    HKL FLayout = nullptr;
};

// The pop-up list in use while the Unicode layer runs: a selected item's wide hint becomes the
// Unicode application's, and the native texts are brought up to date when a menu loop starts.
class TUniPopupList : public TPopupList {
    SF_CLASS(TUniPopupList)
public:
    // Takes over the menus of the class library's list, which it keeps and gives back.
    explicit TUniPopupList(TPopupList* original);
    ~TUniPopupList() override;
    TPopupList* GetOriginal() const { return FOriginal; }
    void WndProc(TMessage& message) override;

private:
    // The class library's list holds the menus of this one again, and none that are gone; done
    // when a menu loop starts and at shut-down.
    void RestoreOriginal();

    TPopupList* FOriginal;
};
