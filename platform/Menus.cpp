#include "platform/Menus.h"

#include <algorithm>
#include <exception>
#include <map>

#include "platform/Controls.h"
#include "platform/Forms.h"

SF_IMPLEMENT_ABSTRACT(TMenuActionLink, TActionLink)
SF_IMPLEMENT_COMPONENT(TMenuItem, TComponent)
SF_IMPLEMENT_ABSTRACT(TMenu, TComponent)
SF_IMPLEMENT_COMPONENT(TMainMenu, TMenu)
SF_IMPLEMENT_COMPONENT(TPopupMenu, TMenu)
SF_IMPLEMENT_CLASS(TPopupList, TObject)

TPopupList* PopupList = nullptr;

namespace {

// Command numbers stay clear of the dialog button identifiers and of the numbers that windows
// give their own commands (toolbar buttons, posted commands), and within WM_COMMAND's word.
constexpr UINT kFirstCommand = 0x8000;
constexpr UINT kLastCommand = 0xEFFF;

std::map<UINT, TMenuItem*>& CommandPool()
{
    static std::map<UINT, TMenuItem*> pool;
    return pool;
}

UINT AllocateCommand(TMenuItem* item)
{
    static UINT next = kFirstCommand;
    auto& pool = CommandPool();
    if (pool.size() >= kLastCommand - kFirstCommand + 1)
        throw EOutOfResources("Too many menu items");
    while (pool.count(next))
        next = next >= kLastCommand ? kFirstCommand : next + 1;
    UINT command = next;
    pool[command] = item;
    next = next >= kLastCommand ? kFirstCommand : next + 1;
    return command;
}

std::vector<TMainMenu*>& MainMenus()
{
    static std::vector<TMainMenu*> menus;
    return menus;
}

// A failure a pop-up notification raised while the system's menu loop ran; Popup raises it
// once the loop is over.
std::exception_ptr gPopupError;
const char kPopupWindowClass[] = "SfPopupList";

bool ShowPopupMenuOfControl(TControl* control, TComponent* menu, POINT screenPos)
{
    auto* popup = Is<TPopupMenu>(menu) ? static_cast<TPopupMenu*>(menu) : nullptr;
    if (!popup || !popup->GetAutoPopup())
        return false;
    popup->SetPopupComponent(control);
    popup->Popup(screenPos.x, screenPos.y);
    return true;
}

}

// ---------------------------------------------------------------------------------------------

TShortCut ShortCut(WORD key, TShiftState shift)
{
    if (key == 0 || key > 0xFF)
        return 0;
    TShortCut result = key;
    if (shift & ssShift)
        result |= scShift;
    if (shift & ssCtrl)
        result |= scCtrl;
    if (shift & ssAlt)
        result |= scAlt;
    return result;
}

void ShortCutToKey(TShortCut shortCut, WORD& key, TShiftState& shift)
{
    key = static_cast<WORD>(shortCut & 0xFF);
    shift = 0;
    if (shortCut & scShift)
        shift |= ssShift;
    if (shortCut & scCtrl)
        shift |= ssCtrl;
    if (shortCut & scAlt)
        shift |= ssAlt;
}

TShortCut ShortCutFromKeyMessage(const TMessage& message)
{
    WORD key = static_cast<WORD>(message.WParam);
    if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU)
        return 0;
    return ShortCut(key, KeyDataToShiftState(message.LParam));
}

std::string StripHotkey(const std::string& caption)
{
    std::string result;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&')
                result += '&';
            else
                continue;
            ++i;
            continue;
        }
        result += caption[i];
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// TMenuActionLink

void TMenuActionLink::AssignClient(TObject* client)
{
    FClient = As<TMenuItem>(client);
}

bool TMenuActionLink::IsAutoCheckLinked()
{
    return IsCustomAction() && FClient->GetAutoCheck() == CustomAction()->GetAutoCheck();
}
bool TMenuActionLink::IsCaptionLinked()
{
    return TActionLink::IsCaptionLinked() && FClient->GetCaption() == CustomAction()->GetCaption();
}
bool TMenuActionLink::IsCheckedLinked()
{
    return TActionLink::IsCheckedLinked() && FClient->GetChecked() == CustomAction()->GetChecked();
}
bool TMenuActionLink::IsEnabledLinked()
{
    return TActionLink::IsEnabledLinked() && FClient->GetEnabled() == CustomAction()->GetEnabled();
}
bool TMenuActionLink::IsGroupIndexLinked()
{
    return TActionLink::IsGroupIndexLinked() && FClient->GetGroupIndex() == CustomAction()->GetGroupIndex();
}
bool TMenuActionLink::IsHelpContextLinked()
{
    return TActionLink::IsHelpContextLinked() && FClient->GetHelpContext() == CustomAction()->GetHelpContext();
}
bool TMenuActionLink::IsHintLinked()
{
    return TActionLink::IsHintLinked() && FClient->GetHint() == CustomAction()->GetHint();
}
bool TMenuActionLink::IsImageIndexLinked()
{
    return TActionLink::IsImageIndexLinked() && FClient->GetImageIndex() == CustomAction()->GetImageIndex();
}
bool TMenuActionLink::IsShortCutLinked()
{
    return TActionLink::IsShortCutLinked() && FClient->GetShortCut() == CustomAction()->GetShortCut();
}
bool TMenuActionLink::IsVisibleLinked()
{
    return TActionLink::IsVisibleLinked() && FClient->GetVisible() == CustomAction()->GetVisible();
}
bool TMenuActionLink::IsOnExecuteLinked()
{
    return TActionLink::IsOnExecuteLinked() && FAction && FClient->OnClick == FAction->GetOnExecute();
}

void TMenuActionLink::SetAutoCheck(bool value)
{
    if (IsAutoCheckLinked())
        FClient->SetAutoCheck(value);
}
void TMenuActionLink::SetCaption(const std::string& value)
{
    if (IsCaptionLinked())
        FClient->SetCaption(value);
}
void TMenuActionLink::SetChecked(bool value)
{
    if (IsCheckedLinked())
        FClient->SetChecked(value);
}
void TMenuActionLink::SetEnabled(bool value)
{
    if (IsEnabledLinked())
        FClient->SetEnabled(value);
}
void TMenuActionLink::SetGroupIndex(int value)
{
    if (IsGroupIndexLinked())
        FClient->SetGroupIndex(value);
}
void TMenuActionLink::SetHelpContext(int value)
{
    if (IsHelpContextLinked())
        FClient->SetHelpContext(value);
}
void TMenuActionLink::SetHint(const std::string& value)
{
    if (IsHintLinked())
        FClient->SetHint(value);
}
void TMenuActionLink::SetImageIndex(int value)
{
    if (IsImageIndexLinked())
        FClient->SetImageIndex(value);
}
void TMenuActionLink::SetShortCut(TShortCut value)
{
    if (IsShortCutLinked())
        FClient->SetShortCut(value);
}
void TMenuActionLink::SetVisible(bool value)
{
    if (IsVisibleLinked())
        FClient->SetVisible(value);
}
void TMenuActionLink::SetOnExecute(const TNotifyEvent& value)
{
    if (IsOnExecuteLinked())
        FClient->OnClick = value;
}

// ---------------------------------------------------------------------------------------------
// TMenuItem

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner)
{
    FCommand = AllocateCommand(this);
}

TMenuItem::~TMenuItem()
{
    ReleaseTree();
    CommandPool().erase(FCommand);
}

void TMenuItem::BeforeDestruction()
{
    ReleaseTree();
    TComponent::BeforeDestruction();
}

void TMenuItem::ReleaseTree()
{
    // Subitems first, so the submenu is empty when it is destroyed; then out of the parent.
    if (FReleased)
        return;
    FReleased = true;
    Clear();
    if (FParent)
        FParent->Remove(this);
    FActionLink.Reset();
    if (FHandle)
        DestroyMenu(FHandle);
    FHandle = nullptr;
}

void TMenuItem::SetCaption(const std::string& value)
{
    if (value == FCaption)
        return;
    FCaption = value;
    MenuChanged();
}

void TMenuItem::SetChecked(bool value)
{
    if (value == FChecked)
        return;
    FChecked = value;
    if (value && FRadioItem)
        UncheckRadioSiblings();
    MenuChanged();
}

void TMenuItem::UncheckRadioSiblings()
{
    if (!FParent)
        return;
    for (TMenuItem* sibling : FParent->FItems)
        if (sibling != this && sibling->FRadioItem && sibling->FGroupIndex == FGroupIndex)
            sibling->SetChecked(false);
}

void TMenuItem::SetRadioItem(bool value)
{
    if (value == FRadioItem)
        return;
    FRadioItem = value;
    if (FChecked && value)
        UncheckRadioSiblings();
    MenuChanged();
}

void TMenuItem::SetGroupIndex(int value)
{
    if (value == FGroupIndex)
        return;
    FGroupIndex = value;
    if (FChecked && FRadioItem)
        UncheckRadioSiblings();
    MenuChanged();
}

void TMenuItem::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    MenuChanged();
}

void TMenuItem::SetVisible(bool value)
{
    if (value == FVisible)
        return;
    FVisible = value;
    MenuChanged();
}

void TMenuItem::SetDefault(bool value)
{
    if (value == FDefault)
        return;
    // One default item per submenu.
    if (value && FParent)
        for (TMenuItem* sibling : FParent->FItems)
            if (sibling != this)
                sibling->FDefault = false;
    FDefault = value;
    MenuChanged();
}

void TMenuItem::SetAutoCheck(bool value)
{
    FAutoCheck = value;
}

void TMenuItem::SetBreak(TMenuBreak value)
{
    if (value == FBreak)
        return;
    FBreak = value;
    MenuChanged();
}

void TMenuItem::SetImageIndex(int value)
{
    FImageIndex = value;
}

void TMenuItem::SetShortCut(TShortCut value)
{
    if (value == FShortCut)
        return;
    FShortCut = value;
    MenuChanged();
}

TBasicAction* TMenuItem::GetAction() const
{
    return FActionLink.GetAction();
}

void TMenuItem::SetAction(TBasicAction* value)
{
    FActionLink.SetAction(value);
}

TMenuActionLink* TMenuItem::CreateActionLink()
{
    return New<TMenuActionLink>(this);
}

void TMenuItem::ActionChange(TObject* sender, bool checkDefaults)
{
    auto* action = Is<TCustomAction>(sender) ? static_cast<TCustomAction*>(sender) : nullptr;
    if (!action)
        return;
    if (!checkDefaults || !FAutoCheck)
        SetAutoCheck(action->GetAutoCheck());
    if (!checkDefaults || FCaption.empty())
        SetCaption(action->GetCaption());
    if (!checkDefaults || !FChecked)
        SetChecked(action->GetChecked());
    if (!checkDefaults || FEnabled)
        SetEnabled(action->GetEnabled());
    if (!checkDefaults || FHelpContext == 0)
        SetHelpContext(action->GetHelpContext());
    if (!checkDefaults || FHint.empty())
        SetHint(action->GetHint());
    if (!checkDefaults || FGroupIndex == 0)
        SetGroupIndex(action->GetGroupIndex());
    if (!checkDefaults || FImageIndex == -1)
        SetImageIndex(action->GetImageIndex());
    if (!checkDefaults || FShortCut == 0)
        SetShortCut(action->GetShortCut());
    if (!checkDefaults || FVisible)
        SetVisible(action->GetVisible());
    if (!checkDefaults || !OnClick)
        OnClick = action->GetOnExecute();
}

void TMenuItem::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    FActionLink.Notification(component, operation);
}

TMenuItem* TMenuItem::GetItem(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError("Menu index out of range (" + std::to_string(index) + ")");
    return FItems[static_cast<size_t>(index)];
}

void TMenuItem::Add(TMenuItem* item)
{
    Insert(Count(), item);
}

void TMenuItem::Insert(int index, TMenuItem* item)
{
    if (!item)
        return;
    if (item->FParent)
        throw EInvalidOperation("Menu inserted twice");
    if (index < 0 || index > Count())
        throw EListError("Menu index out of range (" + std::to_string(index) + ")");
    for (const TMenuItem* p = this; p; p = p->FParent)
        if (p == item)
            throw EInvalidOperation("A menu item cannot contain itself");
    FItems.insert(FItems.begin() + index, item);
    item->FParent = this;
    RebuildHandle();
    MenuChanged();
}

void TMenuItem::Delete(int index)
{
    TMenuItem* item = GetItem(index);
    FItems.erase(FItems.begin() + index);
    item->FParent = nullptr;
    RebuildHandle();
    MenuChanged();
}

void TMenuItem::Remove(TMenuItem* item)
{
    int index = IndexOf(item);
    if (index >= 0)
        Delete(index);
}

void TMenuItem::Clear()
{
    while (!FItems.empty())
        FItems.back()->Free();
}

int TMenuItem::IndexOf(const TMenuItem* item) const
{
    auto it = std::find(FItems.begin(), FItems.end(), item);
    return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

TMenuItem* TMenuItem::Find(const std::string& caption) const
{
    std::string wanted = StripHotkey(caption);
    for (TMenuItem* item : FItems)
        if (_stricmp(StripHotkey(item->FCaption).c_str(), wanted.c_str()) == 0)
            return item;
    return nullptr;
}

TMenu* TMenuItem::GetParentMenu() const
{
    const TMenuItem* root = this;
    while (root->FParent)
        root = root->FParent;
    return root->FMenu;
}

bool TMenuItem::IsTopOfMenuBar() const
{
    return FParent && FParent->FMenu && FParent->FMenu->IsMenuBar();
}

HMENU TMenuItem::GetHandle()
{
    if (!FHandle) {
        FHandle = FMenu && FMenu->IsMenuBar() ? CreateMenu() : CreatePopupMenu();
        if (!FHandle)
            RaiseLastOSError("CreateMenu");
        RebuildHandle();
    }
    return FHandle;
}

void TMenuItem::RebuildHandle()
{
    if (!FHandle)
        return;
    // RemoveMenu keeps the submenus, which belong to their own items.
    while (GetMenuItemCount(FHandle) > 0)
        RemoveMenu(FHandle, 0, MF_BYPOSITION);
    for (TMenuItem* item : FItems)
        if (item->FVisible)
            item->AppendTo(FHandle);
    if (FMenu)
        FMenu->MenuChanged();
}

void TMenuItem::AppendTo(HMENU menu)
{
    MENUITEMINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA | MIIM_SUBMENU;
    info.wID = FCommand;
    info.dwItemData = reinterpret_cast<ULONG_PTR>(this);
    std::string text;
    if (IsLine()) {
        info.fType = MFT_SEPARATOR;
    } else {
        info.fMask |= MIIM_STRING;
        info.fType = MFT_STRING;
        text = FCaption;
        if (FShortCut && !IsTopOfMenuBar()) {
            text += '\t';
            text += ShortCutToText(FShortCut);
        }
        info.dwTypeData = text.data();
        info.cch = static_cast<UINT>(text.size());
    }
    if (FRadioItem)
        info.fType |= MFT_RADIOCHECK;
    if (FBreak == mbBreak)
        info.fType |= MFT_MENUBREAK;
    else if (FBreak == mbBarBreak)
        info.fType |= MFT_MENUBARBREAK;
    if (FChecked)
        info.fState |= MFS_CHECKED;
    if (!FEnabled)
        info.fState |= MFS_GRAYED;
    if (FDefault)
        info.fState |= MFS_DEFAULT;
    info.hSubMenu = FItems.empty() ? nullptr : GetHandle();
    UINT position = static_cast<UINT>(GetMenuItemCount(menu));
    if (!InsertMenuItemA(menu, position, TRUE, &info))
        RaiseLastOSError("InsertMenuItem");
    NativeItemBuilt(menu, position);
}

void TMenuItem::MenuChanged()
{
    if (FParent && FParent->FHandle)
        FParent->RebuildHandle();
}

void TMenuItem::Click()
{
    if (!FEnabled)
        return;
    if (FAutoCheck && (!FActionLink || !FActionLink->IsAutoCheckLinked()))
        SetChecked(!FChecked);
    if (FActionLink.Click(OnClick))
        return;
    OnClick(this);
}

void TMenuItem::InitiateAction()
{
    FActionLink.Update();
}

void TMenuItem::DoPopup()
{
    // Updating may change the tree; walk by index.
    for (size_t i = 0; i < FItems.size(); ++i)
        FItems[i]->InitiateAction();
    OnPopup(this);
}

TComponent* TMenuItem::GetParentComponent() const
{
    if (FParent && FParent->FMenu)
        return FParent->FMenu;
    return FParent;
}

void TMenuItem::SetParentComponent(TComponent* parent)
{
    if (FParent)
        FParent->Remove(this);
    if (Is<TMenuItem>(parent))
        static_cast<TMenuItem*>(parent)->Add(this);
    else if (Is<TMenu>(parent))
        static_cast<TMenu*>(parent)->GetItems()->Add(this);
}

void TMenuItem::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    for (TMenuItem* item : FItems)
        if (item->GetOwner() == root)
            proc(item);
}

// ---------------------------------------------------------------------------------------------
// TMenu

TMenu::TMenu(TComponent* owner) : TComponent(owner), FItems(New<TMenuItem>(nullptr))
{
    FItems->FMenu = this;
}

TMenu::~TMenu() = default;

void TMenu::BeforeDestruction()
{
    FItems->Clear();
    FItems.reset();
    TComponent::BeforeDestruction();
}

void TMenu::SetImages(TCustomImageList* value)
{
    if (value == FImages)
        return;
    if (FImages)
        FImages->RemoveFreeNotification(this);
    FImages = value;
    if (value)
        value->FreeNotification(this);
}

void TMenu::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FImages)
        FImages = nullptr;
}

namespace {

TMenuItem* FindIn(TMenuItem* parent, UINT_PTR value, TFindItemKind kind)
{
    for (int i = 0; i < parent->Count(); ++i) {
        TMenuItem* item = parent->GetItem(i);
        switch (kind) {
        case TFindItemKind::fkCommand:
            if (item->GetCommand() == value)
                return item;
            break;
        case TFindItemKind::fkHandle:
            if (item->HandleAllocated() && reinterpret_cast<UINT_PTR>(item->GetHandle()) == value)
                return item;
            break;
        case TFindItemKind::fkShortCut:
            if (!item->GetVisible())
                continue;
            if (item->GetShortCut() == value)
                return item;
            break;
        }
        if (TMenuItem* found = FindIn(item, value, kind))
            return found;
    }
    return nullptr;
}

}

TMenuItem* TMenu::FindItem(UINT_PTR value, TFindItemKind kind) const
{
    if (kind == TFindItemKind::fkShortCut && value == 0)
        return nullptr;
    if (kind == TFindItemKind::fkHandle && FItems->HandleAllocated() && reinterpret_cast<UINT_PTR>(FItems->GetHandle()) == value)
        return FItems.get();
    return FindIn(FItems.get(), value, kind);
}

bool TMenu::DispatchCommand(WORD command)
{
    TMenuItem* item = FindItem(command, TFindItemKind::fkCommand);
    if (!item)
        return false;
    item->Click();
    return true;
}

bool TMenu::DispatchPopup(HMENU submenu)
{
    TMenuItem* item = FindItem(reinterpret_cast<UINT_PTR>(submenu), TFindItemKind::fkHandle);
    if (!item)
        return false;
    item->DoPopup();
    return true;
}

bool TMenu::IsShortCut(const TMessage& keyMessage)
{
    TShortCut shortCut = ShortCutFromKeyMessage(keyMessage);
    TMenuItem* item = FindItem(shortCut, TFindItemKind::fkShortCut);
    if (!item)
        return false;
    // Run the pop-up events along the way, as if each submenu opened. They may change the
    // tree, so the item is looked for again afterwards.
    std::vector<TMenuItem*> path;
    for (TMenuItem* p = item->GetParent(); p; p = p->GetParent())
        path.insert(path.begin(), p);
    for (TMenuItem* level : path) {
        if (level != FItems.get() && !level->GetEnabled())
            return false;
        level->DoPopup();
        if (FindItem(shortCut, TFindItemKind::fkShortCut) != item)
            break;
    }
    item = FindItem(shortCut, TFindItemKind::fkShortCut);
    if (!item || !item->GetEnabled())
        return false;
    item->Click();
    return true;
}

void TMenu::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    FItems->GetChildren(proc, root);
}

// ---------------------------------------------------------------------------------------------
// TMainMenu

TMainMenu::TMainMenu(TComponent* owner) : TMenu(owner)
{
    MainMenus().push_back(this);
}

void TMainMenu::BeforeDestruction()
{
    Detach();
    auto& menus = MainMenus();
    menus.erase(std::remove(menus.begin(), menus.end(), this), menus.end());
    TMenu::BeforeDestruction();
}

TMainMenu* TMainMenu::MenuOfWindow(const TWinControl* window)
{
    if (!window)
        return nullptr;
    for (TMainMenu* menu : MainMenus())
        if (menu->FWindow == window)
            return menu;
    return nullptr;
}

void TMainMenu::SetWindow(TWinControl* window)
{
    if (window == FWindow)
        return;
    Detach();
    if (!window)
        return;
    if (TMainMenu* other = MenuOfWindow(window))
        other->Detach();
    FWindow = window;
    FOldWindowProc = window->GetWindowProc();
    window->SetWindowProc(TWndMethod(this, &TMainMenu::WindowHook));
    window->FreeNotification(this);
    if (window->HandleAllocated())
        ::SetMenu(window->GetHandle(), GetHandle());
}

void TMainMenu::Detach()
{
    if (!FWindow)
        return;
    if (FWindow->GetWindowProc() == TWndMethod(this, &TMainMenu::WindowHook))
        FWindow->SetWindowProc(FOldWindowProc);
    HWND wnd = FWindow->GetWindowHandle();
    if (wnd && FItems && FItems->HandleAllocated() && ::GetMenu(wnd) == FItems->GetHandle())
        ::SetMenu(wnd, nullptr);
    FWindow->RemoveFreeNotification(this);
    FWindow = nullptr;
    FOldWindowProc = nullptr;
}

void TMainMenu::WindowHook(TMessage& message)
{
    switch (message.Msg) {
    case WM_COMMAND:
        if (message.LParam == 0 && HIWORD(message.WParam) == 0 && DispatchCommand(LOWORD(message.WParam))) {
            message.Result = 0;
            return;
        }
        break;
    case WM_INITMENUPOPUP:
        DispatchPopup(reinterpret_cast<HMENU>(message.WParam));
        break;
    case WM_DESTROY: {
        // A window destroys the menu it shows; the bar belongs to this component.
        HWND wnd = FWindow->GetWindowHandle();
        if (wnd && FItems->HandleAllocated() && ::GetMenu(wnd) == FItems->GetHandle())
            ::SetMenu(wnd, nullptr);
        break;
    }
    default:
        break;
    }
    TWndMethod next = FOldWindowProc;
    TWinControl* window = FWindow;
    next(message);
    if (message.Msg == WM_CREATE && FWindow == window && window->GetWindowHandle())
        ::SetMenu(window->GetWindowHandle(), GetHandle());
}

void TMainMenu::MenuChanged()
{
    if (FWindow && FWindow->GetWindowHandle())
        DrawMenuBar(FWindow->GetWindowHandle());
}

void TMainMenu::Notification(TComponent* component, TOperation operation)
{
    TMenu::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FWindow) {
        FOldWindowProc = nullptr;
        FWindow = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// TPopupMenu

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner)
{
    if (PopupList)
        PopupList->Add(this);
}

TPopupMenu::~TPopupMenu()
{
    if (PopupList)
        PopupList->Remove(this);
}

void TPopupMenu::SetPopupComponent(TComponent* value)
{
    if (value == FPopupComponent)
        return;
    if (FPopupComponent)
        FPopupComponent->RemoveFreeNotification(this);
    FPopupComponent = value;
    if (value)
        value->FreeNotification(this);
}

void TPopupMenu::Notification(TComponent* component, TOperation operation)
{
    TMenu::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FPopupComponent)
        FPopupComponent = nullptr;
}

void TPopupMenu::BeforeDestruction()
{
    if (PopupList)
        PopupList->Remove(this);
    TMenu::BeforeDestruction();
}

void TPopupMenu::DoPopup()
{
    OnPopup(this);
}

void TPopupMenu::Popup(int x, int y)
{
    if (!PopupList)
        throw EInvalidOperation("Pop-up menus need InitMenus");
    PopupList->Add(this);
    FPopupPoint = POINT{x, y};
    DoPopup();
    FItems->DoPopup();
    UINT flags = TPM_RETURNCMD;
    flags |= FAlignment == paRight ? TPM_RIGHTALIGN : FAlignment == paCenter ? TPM_CENTERALIGN : TPM_LEFTALIGN;
    flags |= FTrackButton == tbLeftButton ? TPM_LEFTBUTTON : TPM_RIGHTBUTTON;
    gPopupError = nullptr;
    UINT command = static_cast<UINT>(TrackPopupMenu(GetHandle(), flags, x, y, 0, PopupList->GetWindow(), nullptr));
    if (gPopupError) {
        std::exception_ptr error = gPopupError;
        gPopupError = nullptr;
        std::rethrow_exception(error);
    }
    if (command)
        DispatchCommand(static_cast<WORD>(command));
}

// ---------------------------------------------------------------------------------------------

// ---------------------------------------------------------------------------------------------
// TPopupList

TPopupList::TPopupList()
{
    WNDCLASSA cls{};
    cls.lpfnWndProc = &TPopupList::WindowProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = kPopupWindowClass;
    if (!RegisterClassA(&cls) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        RaiseLastOSError("RegisterClass");
    FWindow = CreateWindowExA(WS_EX_TOOLWINDOW, kPopupWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    if (!FWindow)
        RaiseLastOSError("CreateWindow");
    SetWindowLongPtrA(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TPopupList::~TPopupList()
{
    SetWindowLongPtrA(FWindow, GWLP_USERDATA, 0);
    DestroyWindow(FWindow);
}

void TPopupList::Add(TPopupMenu* menu)
{
    if (std::find(FMenus.begin(), FMenus.end(), menu) == FMenus.end())
        FMenus.push_back(menu);
}

void TPopupList::Remove(TPopupMenu* menu)
{
    FMenus.erase(std::remove(FMenus.begin(), FMenus.end(), menu), FMenus.end());
}

TMenuItem* TPopupList::FindItem(UINT_PTR value, TFindItemKind kind) const
{
    for (TPopupMenu* menu : FMenus)
        if (TMenuItem* item = menu->FindItem(value, kind))
            return item;
    return nullptr;
}

void TPopupList::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_INITMENUPOPUP: {
        std::vector<TPopupMenu*> menus = FMenus;
        for (TPopupMenu* menu : menus)
            if (menu->DispatchPopup(reinterpret_cast<HMENU>(m.WParam)))
                break;
        m.Result = 0;
        return;
    }
    case WM_MENUSELECT: {
        // The selected command's (or submenu's) hint becomes the application's.
        bool popup = (HIWORD(m.WParam) & MF_POPUP) != 0;
        UINT_PTR value = popup ? reinterpret_cast<UINT_PTR>(GetSubMenu(reinterpret_cast<HMENU>(m.LParam), LOWORD(m.WParam)))
                               : LOWORD(m.WParam);
        TMenuItem* item = FindItem(value, popup ? TFindItemKind::fkHandle : TFindItemKind::fkCommand);
        if (Application)
            Application->SetHint(item ? GetLongHint(item->GetHint()) : std::string());
        m.Result = 0;
        return;
    }
    default:
        m.Result = DefWindowProcA(FWindow, m.Msg, m.WParam, m.LParam);
    }
}

LRESULT CALLBACK TPopupList::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<TPopupList*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    TMessage m;
    m.Msg = msg;
    m.WParam = wParam;
    m.LParam = lParam;
    try {
        self->WndProc(m);
    } catch (...) {
        // Inside the system's menu loop: end it, and let Popup raise the failure afterwards.
        if (!gPopupError)
            gPopupError = std::current_exception();
        EndMenu();
    }
    return m.Result;
}

// ---------------------------------------------------------------------------------------------

void InitMenus()
{
    if (!PopupList)
        PopupList = New<TPopupList>();
    TControl::PopupMenuHook = &ShowPopupMenuOfControl;
}

void DoneMenus()
{
    TControl::PopupMenuHook = nullptr;
    FreeAndNil(PopupList);
    UnregisterClassA(kPopupWindowClass, GetModuleHandleA(nullptr));
}
