// The standard hint action with a wide hint: what the Unicode application executes in place of
// the class library's hint action when the hint has characters the 8-bit one cannot carry.
#pragma once

#include <string>

#include "platform/StdActns.h"
#include "unicode/UniActnList.h"

class TUniHintAction : public THintAction, public IUniAction {
    SF_CLASS(TUniHintAction)
public:
    using THintAction::THintAction;
    std::wstring GetHint() { return GetActionHint(this); }
    void SetHint(const std::wstring& value) { SetActionHint(this, value); }
    // Copies the wide hint (and, between hint actions, the class library's settings).
    void Assign(TPersistent* source) override;

protected:
    void DefineProperties(TFiler* filer) override;
};
