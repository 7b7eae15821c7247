#include "platform/Clipboard.h"

#include <cstring>
#include <memory>

#include "platform/Graphics.h"

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

// Keeps the clipboard open for the lifetime of the scope.
class TOpenScope {
public:
    explicit TOpenScope(TClipboard* clipboard) : FClipboard(clipboard) { FClipboard->Open(); }
    ~TOpenScope() { FClipboard->Close(); }
    TOpenScope(const TOpenScope&) = delete;
    TOpenScope& operator=(const TOpenScope&) = delete;

private:
    TClipboard* FClipboard;
};

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

void TClipboard::PutHandle(UINT format, HANDLE value)
{
    Adding();
    if (!SetClipboardData(format, value))
        RaiseLastOSError("SetClipboardData");
}

void TClipboard::SetAsHandle(UINT format, HANDLE value)
{
    TOpenScope open(this);
    PutHandle(format, value);
}

void TClipboard::SetBuffer(UINT format, const void* data, size_t size)
{
    TOpenScope open(this);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (!block)
        throw EOutOfMemory("Out of memory");
    if (size) {
        std::memcpy(GlobalLock(block), data, size);
        GlobalUnlock(block);
    }
    try {
        PutHandle(format, block);
    } catch (...) {
        GlobalFree(block);
        throw;
    }
}

std::string TClipboard::GetAsText()
{
    TOpenScope open(this);
    HANDLE data = GetClipboardData(CF_TEXT);
    if (!data)
        return {};
    auto* text = static_cast<const char*>(GlobalLock(data));
    if (!text)
        return {};
    // Never read past the block, even without a terminating zero.
    std::string result(text, strnlen(text, GlobalSize(data)));
    GlobalUnlock(data);
    return result;
}

void TClipboard::SetAsText(const std::string& text)
{
    SetBuffer(CF_TEXT, text.c_str(), text.size() + 1);
}

void TClipboard::AssignGraphic(TGraphic* graphic)
{
    TOpenScope open(this);
    if (auto* bitmap = dynamic_cast<TBitmap*>(graphic)) {
        // The device-independent form first: readers take the first format they know.
        HGLOBAL dib = bitmap->CreatePackedDIB();
        try {
            PutHandle(CF_DIB, dib);
        } catch (...) {
            GlobalFree(dib);
            throw;
        }
    }
    UINT format = 0;
    HANDLE data = nullptr;
    HPALETTE palette = nullptr;
    graphic->SaveToClipboardFormat(format, data, palette);
    try {
        PutHandle(format, data);
    } catch (...) {
        FreeClipboardData(format, data);
        FreeClipboardData(CF_PALETTE, palette);
        throw;
    }
    if (palette) {
        try {
            PutHandle(CF_PALETTE, palette);
        } catch (...) {
            FreeClipboardData(CF_PALETTE, palette);
            throw;
        }
    }
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
