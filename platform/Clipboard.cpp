#include "platform/Clipboard.h"

#include <cstring>
#include <memory>

#include "platform/Graphics.h"
#include "platform/ScopeGuards.h"

SF_IMPLEMENT_CLASS(TClipboard, TPersistent)

namespace {

constexpr int OpenAttempts = 25;
constexpr DWORD OpenRetryDelay = 20;

// Frees clipboard data that did not reach the clipboard.
void FreeClipboardData(UINT format, HANDLE data)
{
    if (!data)
        return;
    switch (format) {
    case CF_BITMAP:
    case CF_PALETTE: DeleteObject(data); break;
    case CF_ENHMETAFILE: DeleteEnhMetaFile(static_cast<HENHMETAFILE>(data)); break;
    default: GlobalFree(data); break;
    }
}

std::unique_ptr<TClipboard, TObjectFree>& Instance()
{
    static std::unique_ptr<TClipboard, TObjectFree> instance;
    return instance;
}

} // namespace

TClipboard* Clipboard()
{
    auto& instance = Instance();
    if (!instance)
        instance.reset(New<TClipboard>());
    return instance.get();
}

void DoneClipboard()
{
    Instance().reset();
}

TClipboard* SetClipboard(TClipboard* clipboard)
{
    TClipboard* old = Instance().release();
    Instance().reset(clipboard);
    return old;
}

TClipboard::~TClipboard()
{
    if (FOpenCount > 0)
        CloseClipboard();
    if (FWindow)
        DestroyWindow(FWindow);
}

void TClipboard::Open()
{
    if (FOpenCount > 0) {
        ++FOpenCount;
        return;
    }
    // The clipboard owner: data set while a window owns the clipboard stays after closing.
    if (!FWindow)
        FWindow = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
    for (int attempt = 0;; ++attempt) {
        if (OpenClipboard(FWindow))
            break;
        if (attempt + 1 >= OpenAttempts)
            throw Exception("Cannot open clipboard: " + SysErrorMessage(GetLastError()));
        Sleep(OpenRetryDelay);
    }
    FOpenCount = 1;
    FEmptied = false;
}

void TClipboard::Close()
{
    if (FOpenCount == 0)
        return;
    if (--FOpenCount == 0) {
        CloseClipboard();
        FEmptied = false;
    }
}

void TClipboard::Clear()
{
    TOpenScope open(this);
    EmptyClipboard();
}

// The first data put on the clipboard while it is open replaces what was there.
void TClipboard::Adding()
{
    if (FOpenCount > 0 && !FEmptied) {
        EmptyClipboard();
        FEmptied = true;
    }
}

int TClipboard::GetFormatCount()
{
    return CountClipboardFormats();
}

UINT TClipboard::GetFormat(int index)
{
    TOpenScope open(this);
    UINT format = 0;
    for (int i = 0; i <= index; ++i) {
        format = EnumClipboardFormats(format);
        if (!format)
            throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    }
    return format;
}

bool TClipboard::HasFormat(UINT format)
{
    return IsClipboardFormatAvailable(format) != 0;
}

HANDLE TClipboard::GetAsHandle(UINT format)
{
    TOpenScope open(this);
    return GetClipboardData(format);
}

void TClipboard::HandOver(UINT format, HANDLE value)
{
    Adding();
    if (SetClipboardData(format, value))
        return;
    DWORD error = GetLastError();
    FreeClipboardData(format, value);
    SetLastError(error);
    RaiseLastOSError("SetClipboardData");
}

void TClipboard::SetAsHandle(UINT format, HANDLE value)
{
    TOpenScope open(this);
    Adding();
    if (!SetClipboardData(format, value))
        RaiseLastOSError("SetClipboardData");
}

void TClipboard::SetBuffer(UINT format, const void* data, size_t size)
{
    TOpenScope open(this);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (!block)
        throw EOutOfMemory("Out of memory");
    if (size) {
        TGlobalLock<> lock(block);
        std::memcpy(lock.Get(), data, size);
    }
    HandOver(format, block);
}

std::string TClipboard::GetAsText()
{
    TOpenScope open(this);
    TGlobalLock<const char> text(GetClipboardData(CF_TEXT));
    if (!text.Get())
        return {};
    // Never read past the block, even without a terminating zero.
    return std::string(text.Get(), strnlen(text.Get(), text.Size()));
}

void TClipboard::SetAsText(const std::string& text)
{
    SetBuffer(CF_TEXT, text.c_str(), text.size() + 1);
}

void TClipboard::AssignGraphic(TGraphic* graphic)
{
    TOpenScope open(this);
    // The device-independent form first: readers take the first format they know.
    if (auto* bitmap = dynamic_cast<TBitmap*>(graphic))
        HandOver(CF_DIB, bitmap->CreatePackedDIB());
    UINT format = 0;
    HANDLE data = nullptr;
    HPALETTE palette = nullptr;
    graphic->SaveToClipboardFormat(format, data, palette);
    TGdiObject<HPALETTE> ownedPalette(palette);
    HandOver(format, data);
    if (palette)
        HandOver(CF_PALETTE, ownedPalette.Release());
}

void TClipboard::Assign(TPersistent* source)
{
    if (auto* picture = dynamic_cast<TPicture*>(source)) {
        if (!picture->GetGraphic()) {
            Clear();
            return;
        }
        AssignGraphic(picture->GetGraphic());
        return;
    }
    if (auto* graphic = dynamic_cast<TGraphic*>(source)) {
        AssignGraphic(graphic);
        return;
    }
    TPersistent::Assign(source);
}

void TClipboard::AssignTo(TPersistent* dest)
{
    if (auto* picture = dynamic_cast<TPicture*>(dest)) {
        TOpenScope open(this);
        for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
            if (TPicture::SupportsClipboardFormat(format)) {
                picture->LoadFromClipboardFormat(format, GetClipboardData(format), nullptr);
                return;
            }
        }
        throw EInvalidGraphic("The clipboard holds no picture");
    }
    if (auto* bitmap = dynamic_cast<TBitmap*>(dest)) {
        TOpenScope open(this);
        UINT format = IsClipboardFormatAvailable(CF_DIB) ? CF_DIB : CF_BITMAP;
        HANDLE data = GetClipboardData(format);
        if (!data)
            throw EInvalidGraphic("The clipboard holds no bitmap");
        bitmap->LoadFromClipboardFormat(format, data, nullptr);
        return;
    }
    if (auto* metafile = dynamic_cast<TMetafile*>(dest)) {
        TOpenScope open(this);
        HANDLE data = GetClipboardData(CF_ENHMETAFILE);
        if (!data)
            throw EInvalidGraphic("The clipboard holds no metafile");
        metafile->LoadFromClipboardFormat(CF_ENHMETAFILE, data, nullptr);
        return;
    }
    TPersistent::AssignTo(dest);
}
