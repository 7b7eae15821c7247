#include "platform/StdActns.h"

SF_IMPLEMENT_COMPONENT(THintAction, TCustomAction)
