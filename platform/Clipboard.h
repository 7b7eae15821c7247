// The system clipboard as one object: nested opening, text, raw handles and buffers of any
// format (registered ones included), and pictures in both directions through Assign.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Persistent.h"

class TGraphic;
class TPicture;

// Picture transfer: Clipboard()->Assign(bitmap | metafile | picture) puts it on the clipboard
// (a bitmap as CF_DIB and CF_BITMAP, a metafile as CF_ENHMETAFILE); bitmap->Assign(Clipboard())
// and the same for metafiles and pictures take it back.
class TClipboard : public TPersistent {
    SF_CLASS(TClipboard)
public:
    TClipboard() = default;
    ~TClipboard() override;

    // Opens the clipboard for a group of changes; calls nest. Opening retries for about half a
    // second while another program holds the clipboard, then raises.
    void Open();
    void Close();
    int GetOpenCount() const { return FOpenCount; }
    void Clear();

    int GetFormatCount();
    // The index-th format on the clipboard, in the order the producer put them there.
    UINT GetFormat(int index);
    bool HasFormat(UINT format);

    // The clipboard's own handle for the format (nullptr when absent); it stays the clipboard's.
    HANDLE GetAsHandle(UINT format);
    // Gives the handle to the clipboard. When this raises, the caller still owns it.
    void SetAsHandle(UINT format, HANDLE value);
    // Copies the bytes into new global memory and puts them on the clipboard.
    void SetBuffer(UINT format, const void* data, size_t size);

    std::string GetAsText();
    void SetAsText(const std::string& text);

    void Assign(TPersistent* source) override;

protected:
    void AssignTo(TPersistent* dest) override;

private:
    void Adding();
    // Puts data the clipboard is to own; data it refuses is freed before the error is raised.
    void HandOver(UINT format, HANDLE value);
    void AssignGraphic(TGraphic* graphic);

    HWND FWindow = nullptr;
    int FOpenCount = 0;
    bool FEmptied = false;
};

// The one clipboard object of the program.
TClipboard* Clipboard();
// Replaces the clipboard object (the old one is returned to the caller, who frees it).
TClipboard* SetClipboard(TClipboard* clipboard);
// Frees the process's clipboard object and its window; part of shut-down.
void DoneClipboard();
