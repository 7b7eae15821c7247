// Image lists: rows of equally sized pictures over a system image list, drawn enabled or greyed,
// with change links that tell the menus, actions and buttons using a list about its changes.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "platform/Component.h"
#include "platform/Graphics.h"

class TCustomImageList;

// A listener registered with an image list; OnChange is called with the list as sender.
class TChangeLink : public TObject {
    SF_CLASS(TChangeLink)
public:
    TChangeLink() = default;
    ~TChangeLink() override;

    TCustomImageList* GetSender() const { return FSender; }
    void SetSender(TCustomImageList* sender) { FSender = sender; }
    virtual void Change();

    TNotifyEvent OnChange;

private:
    TCustomImageList* FSender = nullptr;
};

class TCustomImageList : public TComponent {
    SF_CLASS(TCustomImageList)
public:
    explicit TCustomImageList(TComponent* owner = nullptr);
    TCustomImageList(TComponent* owner, int width, int height);
    ~TCustomImageList() override;
    void Assign(TPersistent* source) override;

    HIMAGELIST GetHandle();
    bool HandleAllocated() const { return FHandle != nullptr; }

    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    // Changing the size removes every image.
    void SetWidth(int value) { SetSize(value, FHeight); }
    void SetHeight(int value) { SetSize(FWidth, value); }
    void SetSize(int width, int height);
    int GetCount() const;
    // A masked list keeps a transparency mask per image.
    bool GetMasked() const { return FMasked; }
    void SetMasked(bool value);
    TColor GetBkColor() const { return FBkColor; }
    void SetBkColor(TColor value);

    // Adds an image (cut into several when it is a multiple of Width wide) with its mask, where
    // white mask pixels are transparent; returns the index of the first image added.
    int Add(TBitmap* image, TBitmap* mask);
    // Adds an image whose pixels of the given colour are transparent.
    int AddMasked(TBitmap* image, TColor maskColor);
    void Replace(int index, TBitmap* image, TBitmap* mask);
    void Delete(int index);
    void Clear();

    // Draws one image; a disabled image is drawn embossed in the highlight and shadow colours.
    void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true);
    void Draw(HDC dc, int x, int y, int index, bool enabled = true);

    void RegisterChanges(TChangeLink* link);
    void UnRegisterChanges(TChangeLink* link);
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    // Rises with every change at once, also inside BeginUpdate/EndUpdate: copies kept of the
    // pictures (finished, tinted images) must not outlive them while the notification waits.
    uint32_t GetChangeCount() const { return FChangeCount; }

    TNotifyEvent OnChange;

protected:
    virtual void Change();

private:
    void CreateImageList();
    void FreeHandle();
    void CheckIndex(int index) const;
    // A device bitmap of the image's pixels, cut to whole images of Width x Height.
    HBITMAP PrepareBitmap(TBitmap* image, int& imageCount) const;
    void DrawDisabled(HDC dc, int x, int y, int index);

    HIMAGELIST FHandle = nullptr;
    int FWidth = 16;
    int FHeight = 16;
    bool FMasked = true;
    TColor FBkColor = clNone;
    int FUpdateCount = 0;
    bool FChanged = false;
    uint32_t FChangeCount = 0;
    std::vector<TChangeLink*> FLinks;
};

class TImageList : public TCustomImageList {
    SF_CLASS(TImageList)
public:
    using TCustomImageList::TCustomImageList;
};
