// The About box: the program's logo with the version and the web addresses laid over it.
#pragma once

#include <string>

#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/ImagingLib.h"
#include "platform/StdCtrls.h"

// The caption a web address shows: its host, i.e. the text after the first ":" and any "/", ":"
// or quote characters, up to the next "/", ":" or quote.
std::string LinkHost(const std::string& address);

// Paints a picture of the program's resources (the PNG "LOGO") stretched over its client area,
// without erasing the background first, so that it never flickers.
class TILLogoBackground : public TCustomControl {
    SF_CLASS(TILLogoBackground)
public:
    explicit TILLogoBackground(TComponent* owner = nullptr);
    ~TILLogoBackground() override;

    // Loads the RCDATA resource of the program; false when it is missing or no picture.
    bool LoadFromResource(const std::string& name);
    int GetLogoWidth() const { return FBitmap.Width; }
    int GetLogoHeight() const { return FBitmap.Height; }
    void Dispatch(TMessage& message) override;

protected:
    void Paint() override;

private:
    TILBitmapHandle FBitmap{};
};

// The About box, 486 x 300: the logo fills it; Esc or Enter closes it.
class TAboutForm : public TForm {
    SF_CLASS(TAboutForm)
public:
    static constexpr const char* Version = "1.7.0";
    static constexpr const char* WebAddress = "http://www.sheetfold.com/";
    static constexpr const char* SupportAddress = "http://www.sheetfold.com/support/";

    explicit TAboutForm(TComponent* owner = nullptr);

    TILLogoBackground* GetLogo() const { return FLogo; }

protected:
    void KeyDown(WORD& key, TShiftState shift) override;

private:
    void LayoutTexts();
    void LinkClick(TObject* sender);

    TILLogoBackground* FLogo = nullptr;
};
