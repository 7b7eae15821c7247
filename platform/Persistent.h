// Objects that can copy themselves from one another and define extra streamed properties.
#pragma once

#include "platform/ObjectModel.h"

class TFiler;

class TPersistent : public TObject {
    SF_CLASS(TPersistent)
public:
    // Copies the source's state into this object; raises EConvertError when neither side knows how.
    virtual void Assign(TPersistent* source);
    virtual std::string GetNamePath() const;

protected:
    // Called by Assign when this class does not know the source: lets the source write itself here.
    virtual void AssignTo(TPersistent* dest);
    // Lets the object add properties of its own to the binary property stream.
    virtual void DefineProperties(TFiler* filer);
    virtual TPersistent* GetOwner() const { return nullptr; }

    friend class TFiler;
    friend class TReader;
    friend class TWriter;
};
