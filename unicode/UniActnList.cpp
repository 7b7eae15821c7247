#include "unicode/UniActnList.h"

#include "platform/ScopeGuards.h"
#include "unicode/UniClasses.h"
#include "unicode/UniControls.h"
#include "unicode/UniMenus.h"

SF_IMPLEMENT_COMPONENT(TCustomActionHelper, TComponent)
SF_IMPLEMENT_COMPONENT(TUniAction, TAction)

// Links are made by class reference for their client (GetUniActionLinkClass).
#define SF_IMPLEMENT_LINK(Name, Parent)                                                                     \
    TClass Name::StaticClass()                                                                             \
    {                                                                                                      \
        static const TClassInfo info{#Name, Parent::StaticClass(),                                        \
                                     [](TComponent* client) -> TObject* { return new Name(client); }};    \
        return &info;                                                                                      \
    }

SF_IMPLEMENT_LINK(TUniControlActionLink, TControlActionLink)
SF_IMPLEMENT_LINK(TUniButtonActionLink, TButtonActionLink)

namespace {
bool IsUniAction(TCustomAction* action)
{
    return dynamic_cast<IUniAction*>(action) != nullptr;
}

TCustomActionHelper* FindActionHelper(TCustomAction* action)
{
    for (int i = 0; i < action->GetComponentCount(); ++i)
        if (auto* helper = dynamic_cast<TCustomActionHelper*>(action->GetComponent(i)))
            return helper;
    return nullptr;
}

TCustomActionHelper* ActionHelper(TCustomAction* action)
{
    TCustomActionHelper* helper = FindActionHelper(action);
    return helper ? helper : New<TCustomActionHelper>(action);
}
}

// The wide texts of a Unicode action, one of them at a time.
#define SF_ACTION_TEXT(Name, Field)                                                                        \
    std::wstring GetAction##Name(TCustomAction* action)                                                    \
    {                                                                                                      \
        if (!IsUniAction(action))                                                                          \
            return WidenText(action->Get##Name());                                                         \
        auto& text = ActionHelper(action)->Field;                                                          \
        return text.Writing ? text.Pending : ReadSyncedWide(text.Value, action->Get##Name());              \
    }                                                                                                      \
    std::wstring IncomingAction##Name(TCustomAction* action, const std::string& value)                     \
    {                                                                                                      \
        TCustomActionHelper* helper = IsUniAction(action) ? FindActionHelper(action) : nullptr;            \
        return helper && helper->Field.Writing ? helper->Field.Pending : WidenText(value);                  \
    }                                                                                                      \
    std::wstring CommittedAction##Name(TCustomAction* action)                                              \
    {                                                                                                      \
        if (!IsUniAction(action))                                                                          \
            return WidenText(action->Get##Name());                                                         \
        auto& text = ActionHelper(action)->Field;                                                          \
        return text.Writing ? text.Value : ReadSyncedWide(text.Value, action->Get##Name());                \
    }                                                                                                      \
    void SetAction##Name(TCustomAction* action, const std::wstring& value)                                 \
    {                                                                                                      \
        if (!IsUniAction(action)) {                                                                        \
            action->Set##Name(NarrowText(value));                                                          \
            return;                                                                                        \
        }                                                                                                  \
        auto& text = ActionHelper(action)->Field;                                                          \
        if (text.Writing || ReadSyncedWide(text.Value, action->Get##Name()) == value)                      \
            return;                                                                                        \
        text.Pending = value;                                                                              \
        text.AnsiSet = NarrowText(value);                                                                  \
        {                                                                                                  \
            TFlagScope writing(text.Writing);                                                              \
            /* The 8-bit text would not change: empty it first, so that the clients hear. */              \
            if (text.AnsiSet == action->Get##Name())                                                       \
                action->Set##Name(std::string());                                                          \
            action->Set##Name(text.AnsiSet);                                                               \
        }                                                                                                  \
        text.Value = value;                                                                                \
    }

SF_ACTION_TEXT(Caption, FCaption)
SF_ACTION_TEXT(Hint, FHint)

void CopyActionTexts(TCustomAction* action, TObject* source)
{
    if (auto* other = dynamic_cast<TCustomAction*>(source)) {
        SetActionCaption(action, GetActionCaption(other));
        SetActionHint(action, GetActionHint(other));
    } else if (auto* control = dynamic_cast<TControl*>(source)) {
        SetActionCaption(action, GetWideText(control));
        SetActionHint(action, GetWideHint(control));
    }
}

// ---- TUniAction ----

void TUniAction::Assign(TPersistent* source)
{
    TAction::Assign(source);
    CopyActionTexts(this, source);
}

void TUniAction::DefineProperties(TFiler* filer)
{
    TAction::DefineProperties(filer);
    TUniWideStringPropertyFiler wide(filer, this);
    wide.Define("Caption", [this] { return GetCaption(); }, [this](const std::wstring& v) { SetCaption(v); });
    wide.Define("Hint", [this] { return GetHint(); }, [this](const std::wstring& v) { SetHint(v); });
}

// ---- Links ----

template <class TBase>
bool TUniControlLinkOf<TBase>::IsCaptionLinked()
{
    return TActionLink::IsCaptionLinked() &&
           CaptionsMatch(GetWideText(this->FClient), CommittedActionCaption(this->CustomAction()));
}

template <class TBase>
bool TUniControlLinkOf<TBase>::IsHintLinked()
{
    return TActionLink::IsHintLinked() && GetWideHint(this->FClient) == CommittedActionHint(this->CustomAction());
}

template <class TBase>
void TUniControlLinkOf<TBase>::SetCaption(const std::string& value)
{
    if (IsCaptionLinked())
        SetWideText(this->FClient, IncomingActionCaption(this->CustomAction(), value));
}

template <class TBase>
void TUniControlLinkOf<TBase>::SetHint(const std::string& value)
{
    if (IsHintLinked())
        SetWideHint(this->FClient, IncomingActionHint(this->CustomAction(), value));
}

template class TUniControlLinkOf<TControlActionLink>;
template class TUniControlLinkOf<TButtonActionLink>;

TClass GetUniActionLinkClass(TControl* control, TClass inheritedClass)
{
    TClass result = Is<TButtonControl>(control) ? TUniButtonActionLink::StaticClass()
                                                 : TUniControlActionLink::StaticClass();
    Assert(result->Parent == inheritedClass, "GetUniActionLinkClass: the link does not derive from the class library's");
    return result;
}

void UniControlActionChange(TControl* control, TObject* sender, bool checkDefaults)
{
    auto* action = dynamic_cast<TCustomAction*>(sender);
    if (!action)
        return;
    if (!checkDefaults || GetWideText(control).empty())
        SetWideText(control, GetActionCaption(action));
    if (!checkDefaults || GetWideHint(control).empty())
        SetWideHint(control, GetActionHint(action));
}
