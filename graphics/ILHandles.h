// Owning handles for the imaging library: a bitmap record freed with its guard unless released,
// and a device context drawing on a bitmap, deleted (which finishes the drawing) with its guard.
#pragma once

#include <windows.h>

#include "platform/ImagingLib.h"

class TILBitmapGuard {
public:
    TILBitmapGuard() = default;
    ~TILBitmapGuard()
    {
        if (FBitmap.Pixels)
            IL_FreeBitmap(&FBitmap);
    }
    TILBitmapGuard(const TILBitmapGuard&) = delete;
    TILBitmapGuard& operator=(const TILBitmapGuard&) = delete;
    TILBitmapHandle& Get() { return FBitmap; }
    TILBitmapHandle Release()
    {
        TILBitmapHandle b = FBitmap;
        FBitmap = TILBitmapHandle{};
        return b;
    }

private:
    TILBitmapHandle FBitmap;
};

// Get() is nullptr when the library could not make the device context; the caller says why.
class TILImageDC {
public:
    explicit TILImageDC(TILBitmapHandle& bitmap) : FDC(IL_CreateImageDC(&bitmap)) {}
    ~TILImageDC()
    {
        if (FDC)
            IL_DeleteImageDC(FDC);
    }
    TILImageDC(const TILImageDC&) = delete;
    TILImageDC& operator=(const TILImageDC&) = delete;
    HDC Get() const { return FDC; }

private:
    HDC FDC;
};
