#include "skin/Skin.h"

#include "skin/SkinColorEffects.h"
#include "skin/SkinPngBitmap.h"

void InitSkin()
{
    RegisterStandardColorEffects();
    RegisterPNGFormat();
}

void DoneSkin()
{
    UnregisterPNGFormat();
    UnregisterColorEffects();
}
