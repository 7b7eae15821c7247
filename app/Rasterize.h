// The rasterize box: asks for the resolution at which a vector image or a text becomes a bitmap.
// Its rules for reading and refusing a resolution serve the export box as well.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Forms.h"
#include "platform/StdCtrls.h"

// The largest 24-bit raster a resolution may ask for: beyond it a 32-bit process cannot count on
// finding the memory in one piece.
constexpr int64_t MaxRasterBytes = int64_t(256) << 20;
// The extent (0.01 mm) the resolution is capped for when the caller names none: an A3 page, the
// largest the program prints on, so that every offered resolution up to 600 dpi stays open.
constexpr SIZE DefaultRasterExtent{29700, 42000};

// The bytes of a 24-bit bitmap covering the extent (0.01 mm) at the resolution, rows aligned to
// four bytes.
int64_t RasterBytes(SIZE extent, int resolution);
// The highest resolution at which the extent fits into MaxRasterBytes (at least 1).
int MaxResolutionForExtent(SIZE extent);
// A resolution typed by the user: the whole text must be an integer above 0.
bool ParseResolution(const std::string& text, int& resolution);


// The [Const] texts of a refused resolution: the message and the box's caption.
std::string BadResolutionText();
std::string RasterizationCaption();
// Why a resolution box refuses an entry (typed: the resolution read from it, none when it is not
// one): a resolution above maxResolution is refused with the largest the page allows, since
// lowering it unasked would give the user less than was asked for. Empty for an accepted entry.
std::string ResolutionRefusal(std::optional<int> typed, int maxResolution);

// Asks for the resolution to rasterize at. The caller presets the resolution (below 1 shows
// 100) and shows the box modally; OK keeps a valid entry up to the maximum in Resolution.
// A refused entry keeps the box open with a message; Cancel, Esc and the close box always close
// it and leave Resolution alone.
class TRasterizeForm : public TForm {
    SF_CLASS(TRasterizeForm)
public:
    explicit TRasterizeForm(TComponent* owner = nullptr);
    void AfterConstruction() override;

    int GetResolution() const { return FResolution; }
    void SetResolution(int value) { FResolution = value; }
    // The highest resolution OK gives (the cap for the extent being rasterized).
    int GetMaxResolution() const { return FMaxResolution; }
    void SetMaxResolution(int value) { FMaxResolution = value > 0 ? value : 1; }

    TComboBox* GetDPIComboBox() const { return FDPIComboBox; }
    TButton* GetOkButton() const { return FOkButton; }
    TButton* GetCancelButton() const { return FCancelButton; }

    bool CloseQuery() override;

protected:
    void DoShow() override;

private:
    TLabel* FPromptLabel = nullptr;
    TLabel* FUnitLabel = nullptr;
    TComboBox* FDPIComboBox = nullptr;
    TButton* FOkButton = nullptr;
    TButton* FCancelButton = nullptr;
    int FResolution = 0;
    int FMaxResolution = MaxResolutionForExtent(DefaultRasterExtent);
};
