// Items beyond the plain command: the caption-only label item a toolbar shows beside its fields.
#pragma once

#include "skin/SkinItems.h"

enum class TSkinLabelOrientation : uint8_t { skoAuto, skoHorizontal, skoVertical };

// A caption in a toolbar or menu that cannot be selected or clicked.
class TSkinLabelItem : public TTBCustomItem {
    SF_CLASS(TSkinLabelItem)
public:
    explicit TSkinLabelItem(TComponent* owner = nullptr);

    TFontSettings* GetFontSettings() const { return FFontSettings.get(); }
    void SetFontSettings(TFontSettings* value) { FFontSettings->Assign(value); }
    int GetMargin() const { return FMargin; }
    void SetMargin(int value);
    bool GetShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool value);
    TSkinLabelOrientation GetOrientation() const { return FOrientation; }
    void SetOrientation(TSkinLabelOrientation value);

    TAdjustFontEvent OnAdjustFont;

    TTBItemViewerClass QueryViewerClass(TTBView* view) override;

private:
    void FontSettingsChanged(TObject*) { Change(true); }

    TFontSettingsPtr FFontSettings;
    int FMargin = 0;
    bool FShowAccelChar = true;
    TSkinLabelOrientation FOrientation = TSkinLabelOrientation::skoAuto;
};

class TSkinLabelItemViewer : public TSkinItemViewer {
    SF_CLASS(TSkinLabelItemViewer)
public:
    using TSkinItemViewer::TSkinItemViewer;
    // Vertical when asked, or automatically in a vertical view.
    bool IsVertical();
    void AdjustViewerFont(TFont* font, uint32_t stateFlags) override;
    void MeasureSize(TCanvas* canvas, int& width, int& height) override;
    void Paint(TCanvas* canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
               bool useDisabledShadow) override;

private:
    TSkinLabelItem* Label() const { return static_cast<TSkinLabelItem*>(FItem); }
    std::wstring ShownCaption();
};
