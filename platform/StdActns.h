// Standard actions of the class library: the hint action through which the application tells
// whoever listens (a status bar, the Unicode layer) that its hint changed.
#pragma once

#include "platform/ActnList.h"

// Executed by the application whenever its hint changes and nobody handles OnHint; the hint
// text travels in the action's Hint.
class THintAction : public TCustomAction {
    SF_CLASS(THintAction)
public:
    using TCustomAction::TCustomAction;
};
