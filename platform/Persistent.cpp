#include "platform/Persistent.h"

SF_IMPLEMENT_CLASS(TPersistent, TObject)

void TPersistent::Assign(TPersistent* source)
{
    if (source) {
        source->AssignTo(this);
        return;
    }
    throw EConvertError("Cannot assign a nil to a " + ClassName());
}

void TPersistent::AssignTo(TPersistent* dest)
{
    std::string src = ClassName();
    throw EConvertError("Cannot assign a " + src + " to a " + (dest ? dest->ClassName() : std::string("nil")));
}

void TPersistent::DefineProperties(TFiler*)
{
}

std::string TPersistent::GetNamePath() const
{
    return ClassName();
}
