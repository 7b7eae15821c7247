// Wide captions and hints through the class library's actions and action links: Unicode actions
// keep them in a helper beside their 8-bit texts, and the links of Unicode controls carry them to
// the controls.
#pragma once

#include <string>

#include "platform/ActnList.h"
#include "platform/StdCtrls.h"

// What a Unicode action offers: wide texts kept by its TCustomActionHelper.
class IUniAction {
public:
    virtual ~IUniAction() = default;
};

// The wide caption and hint of a Unicode action, a component owned by the action; also the
// 8-bit texts they were last set with and the writes in progress.
class TCustomActionHelper : public TComponent {
    SF_CLASS(TCustomActionHelper)
public:
    using TComponent::TComponent;

private:
    friend std::wstring GetActionCaption(TCustomAction* action);
    friend void SetActionCaption(TCustomAction* action, const std::wstring& value);
    friend std::wstring GetActionHint(TCustomAction* action);
    friend void SetActionHint(TCustomAction* action, const std::wstring& value);
    friend std::wstring CommittedActionCaption(TCustomAction* action);
    friend std::wstring CommittedActionHint(TCustomAction* action);
    friend std::wstring IncomingActionCaption(TCustomAction* action, const std::string& value);
    friend std::wstring IncomingActionHint(TCustomAction* action, const std::string& value);

    struct TText {
        std::wstring Value;
        std::wstring Pending;
        std::string AnsiSet;
        bool Writing = false;
    };
    TText FCaption;
    TText FHint;
};

// A Unicode action's wide texts, each kept in step with the 8-bit one; while one is being
// written, the value being written. Any other action gives its 8-bit text widened (and takes the
// new one narrowed).
std::wstring GetActionCaption(TCustomAction* action);
void SetActionCaption(TCustomAction* action, const std::wstring& value);
std::wstring GetActionHint(TCustomAction* action);
void SetActionHint(TCustomAction* action, const std::wstring& value);
// The texts as they were before a write now in progress: what a link compares its client with.
std::wstring CommittedActionCaption(TCustomAction* action);
std::wstring CommittedActionHint(TCustomAction* action);
// The text an action is taking while it tells its links of the 8-bit value: the wide value being
// written, or the 8-bit one widened.
std::wstring IncomingActionCaption(TCustomAction* action, const std::string& value);
std::wstring IncomingActionHint(TCustomAction* action, const std::string& value);
// Copies the wide caption and hint of a TCustomAction, or the wide text and hint of a control.
void CopyActionTexts(TCustomAction* action, TObject* source);

// An action with wide Caption and Hint.
class TUniAction : public TAction, public IUniAction {
    SF_CLASS(TUniAction)
public:
    using TAction::TAction;
    std::wstring GetCaption() { return GetActionCaption(this); }
    void SetCaption(const std::wstring& value) { SetActionCaption(this, value); }
    std::wstring GetHint() { return GetActionHint(this); }
    void SetHint(const std::wstring& value) { SetActionHint(this, value); }
    void Assign(TPersistent* source) override;

protected:
    void DefineProperties(TFiler* filer) override;
};

// What every Unicode link of a control adds to the class library's link for it: the tests compare
// the control's wide texts with the action's (captions without hot-key marks and case), and the
// setters give the control the action's wide texts.
template <class TBase>
class TUniControlLinkOf : public TBase {
public:
    using TBase::TBase;
    bool IsCaptionLinked() override;
    bool IsHintLinked() override;
    void SetCaption(const std::string& value) override;
    void SetHint(const std::string& value) override;
};

// The link of a control (any kind the others do not cover).
class TUniControlActionLink : public TUniControlLinkOf<TControlActionLink> {
    SF_CLASS(TUniControlActionLink)
public:
    using TUniControlLinkOf::TUniControlLinkOf;
};

// The link of a push button, check box or radio button.
class TUniButtonActionLink : public TUniControlLinkOf<TButtonActionLink> {
    SF_CLASS(TUniButtonActionLink)
public:
    using TUniControlLinkOf::TUniControlLinkOf;
};

// The link class for a control: the Unicode kind of the class library's link for it. The class
// library's answer must be the chosen class's parent.
TClass GetUniActionLinkClass(TControl* control, TClass inheritedClass);

// What a Unicode control's ActionChange does before the class library's: copies the action's
// wide caption and hint (where the control still follows them) into the control.
void UniControlActionChange(TControl* control, TObject* sender, bool checkDefaults);
