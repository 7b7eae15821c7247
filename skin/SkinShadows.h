// Soft drop shadows of popup menus: separate click-through top-level windows, one per strip, laid
// along the right and bottom edges of a popup (and of the item it hangs from). Themes whose popup
// shadow style is 2 or 3 ask for them; the default theme uses the system's own shadow instead.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "platform/Controls.h"
#include "skin/SkinDib.h"

// Which ends of a strip fade out.
enum TShadowEdge : uint32_t { seStart = 1, seEnd = 2 };
// How a strip reaches the screen.
enum class TShadowMode : uint8_t { Solid, Layered, AlphaBlended };

class TShadow : public TCustomControl {
    SF_CLASS(TShadow)
public:
    // A strip with the rectangle as its screen bounds, owned by the application's window.
    TShadow(const RECT& bounds, uint32_t edges, bool lowColor, uint8_t opacity);
    void AfterConstruction() override;

    uint8_t GetOpacity() const { return FOpacity; }
    uint32_t GetEdges() const { return FEdges; }
    TShadowMode GetMode() const { return FMode; }
    bool GetSaveBits() const { return FSaveBits; }
    void SetSaveBits(bool value);
    // The strip's alpha pixels (black, per-pixel alpha), as drawn.
    const TDIB32* GetPixels() const { return FPixels.get(); }
    // Shows the window without activating, moving or sizing it, after the window in z-order.
    void Show(HWND after);

    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;

private:
    void FillPixels();

    uint8_t FOpacity = 0;
    uint32_t FEdges = 0;
    TShadowMode FMode = TShadowMode::Solid;
    bool FSaveBits = false;
    RECT FBounds{};
    std::unique_ptr<TDIB32, TObjectFree> FPixels;
};

class TShadows : public TObject {
    SF_CLASS(TShadows)
public:
    // The strips for a popup (popup) hanging from an item (opener, may be empty): both
    // rectangles' shadow, joined where they meet. The size is halved on low-colour displays and
    // without alpha blending.
    TShadows(const RECT& popup, const RECT& opener, bool lowColor, uint8_t opacity, int size);
    void AfterConstruction() override;
    ~TShadows() override;

    int GetSize() const { return FSize; }
    int GetCount() const { return int(FStrips.size()); }
    TShadow* GetStrip(int index) const { return FStrips.at(size_t(index)); }
    void SetSaveBits(bool value);
    void Show(HWND after);

private:
    RECT FPopup{};
    RECT FOpener{};
    bool FLowColor = false;
    uint8_t FOpacity = 0;
    int FSize = 0;
    std::vector<TShadow*> FStrips;
};

// Where the strips go: the shadow of the rectangles' union cast by (size, size), cut into at most
// six strips, each with the ends that fade (those that touch no other strip).
struct TShadowStrip {
    RECT Bounds{};
    uint32_t Edges = 0;
};
std::vector<TShadowStrip> ShadowStrips(const RECT& popup, const RECT& opener, int size);
