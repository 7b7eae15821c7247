#include "skin/SkinPngBitmap.h"

#include <algorithm>

#include "platform/Streams.h"
#include "skin/SkinPngReader.h"
#include "skin/SkinPngWriter.h"

SF_IMPLEMENT_CLASS(TPNGBitmap, TGraphic)

void LoadPNGIntoDIB(TStream* stream, TDIB32* dib)
{
    if (!dib)
        throw EDIB32Error("Invalid parameters");
    // Decoded straight into a DIB of its own, which the target takes over only when all went well.
    std::unique_ptr<TDIB32, TObjectFree> decoded(New<TDIB32>());
    std::unique_ptr<TPNGReader, TObjectFree> reader(New<TPNGReader>());
    reader->LoadFromStream(stream, [&](int width, int height) {
        decoded->SetSize(width, height);
        return decoded->GetBits();
    });
    dib->Exchange(decoded.get());
}

void SavePNGFromDIB(TStream* stream, const TDIB32* dib)
{
    if (!dib)
        throw EDIB32Error("Invalid parameters");
    if (!dib->HasBits())
        throw EStreamError("Invalid image dimensions");
    std::unique_ptr<TPNGWriter, TObjectFree> writer(
        New<TPNGWriter>(dib->GetWidth(), dib->GetHeight(), dib->GetBits(), dib->GetWidth()));
    writer->SaveToStream(stream);
}

TPNGBitmap::TPNGBitmap()
{
    TGraphic::SetTransparent(true);
}

TDIB32* TPNGBitmap::ForceDIB()
{
    if (!FDIB)
        FDIB.reset(New<TDIB32>());
    return FDIB.get();
}

void TPNGBitmap::Assign(TPersistent* source)
{
    if (!source) {
        FDIB.reset();
        Changed();
        return;
    }
    if (Is<TPNGBitmap>(source)) {
        auto* png = static_cast<TPNGBitmap*>(source);
        if (png->FDIB)
            ForceDIB()->Assign(png->FDIB.get());
        else
            FDIB.reset();
        Changed();
        return;
    }
    if (Is<TBitmap>(source)) {
        auto* bitmap = static_cast<TBitmap*>(source);
        TDIB32* dib = ForceDIB();
        dib->SetSize(bitmap->GetWidth(), bitmap->GetHeight());
        if (dib->HasBits()) {
            BitBlt(dib->GetDC(), 0, 0, dib->GetWidth(), dib->GetHeight(), bitmap->GetCanvas()->GetHandle(), 0, 0,
                   SRCCOPY);
            GdiFlush();
            // GDI leaves alpha 0 behind; a bitmap has no transparency of its own.
            uint32_t* p = dib->GetBits();
            for (size_t i = 0, n = size_t(dib->GetWidth()) * size_t(dib->GetHeight()); i < n; ++i)
                p[i] |= 0xFF000000u;
        }
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

bool TPNGBitmap::GetEmpty() const
{
    return !FDIB || !FDIB->HasBits();
}

int TPNGBitmap::GetWidth() const
{
    return FDIB ? FDIB->GetWidth() : 0;
}

int TPNGBitmap::GetHeight() const
{
    return FDIB ? FDIB->GetHeight() : 0;
}

void TPNGBitmap::Resize(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == GetWidth() && height == GetHeight())
        return;
    ForceDIB()->SetSize(width, height, true);
    Changed();
}

void TPNGBitmap::SetWidth(int width)
{
    Resize(width, GetHeight());
}

void TPNGBitmap::SetHeight(int height)
{
    Resize(GetWidth(), height);
}

void TPNGBitmap::LoadFromStream(TStream* stream)
{
    LoadPNGIntoDIB(stream, ForceDIB());
    Changed();
}

void TPNGBitmap::SaveToStream(TStream* stream)
{
    if (!GetEmpty())
        SavePNGFromDIB(stream, FDIB.get());
}

void TPNGBitmap::Draw(TCanvas* canvas, const RECT& r)
{
    if (GetEmpty())
        return;
    FDIB->Draw(canvas->GetHandle(), r, TDIB32::DrawBlend | TDIB32::DrawResample,
               RECT{0, 0, FDIB->GetWidth(), FDIB->GetHeight()});
}

void RegisterPNGFormat()
{
    TPicture::RegisterFileFormat("png", "Portable network graphic images", TPNGBitmap::StaticClass());
}

void UnregisterPNGFormat()
{
    TPicture::UnregisterGraphicClass(TPNGBitmap::StaticClass());
}
