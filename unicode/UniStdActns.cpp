#include "unicode/UniStdActns.h"

#include "unicode/UniClasses.h"

SF_IMPLEMENT_COMPONENT(TUniHintAction, THintAction)

void TUniHintAction::Assign(TPersistent* source)
{
    THintAction::Assign(source);
    if (auto* action = dynamic_cast<TCustomAction*>(source))
        SetHint(GetActionHint(action));
}

void TUniHintAction::DefineProperties(TFiler* filer)
{
    THintAction::DefineProperties(filer);
    TUniWideStringPropertyFiler(filer, this).Define("Hint", [this] { return GetHint(); },
                                                    [this](const std::wstring& v) { SetHint(v); });
}
