// Tooltips of toolbar and menu items. The class library hands hint texts over as 8-bit strings,
// so the framework encodes them as UTF-8 and this window decodes them: it measures and paints
// wide text, keeps the tip on the screen, animates it like the system's own tooltips and never
// takes the activation (a menu loop would end on it).
#pragma once

#include <windows.h>

#include <string>

#include "platform/Forms.h"

class TTBHintWindow : public THintWindow {
    SF_CLASS(TTBHintWindow)
public:
    explicit TTBHintWindow(TComponent* owner = nullptr);

    // hint is UTF-8.
    RECT CalcHintRect(int maxWidth, const std::string& hint, void* data) override;
    void ActivateHint(RECT rect, const std::string& hint) override;
    // The decoded text shown.
    const std::wstring& GetCaption() const { return FCaption; }

    void Dispatch(TMessage& message) override;

protected:
    void PaintText(HDC dc, RECT& rect) override;

private:
    void TextChanged(TMessage& message);

    std::wstring FCaption;
    bool FActivating = false;
    bool FInTextChange = false;
    DWORD FLastActive = 0;
};

// How a tip shows itself (AnimateWindow flags; 0: at once): only when the last one showed at
// least 251 ms ago, its text is shorter than 100 characters and the system animates tooltips;
// it fades when the system fades them, else slides away from the cursor.
DWORD HintAnimationFlags(DWORD sinceLastActive, size_t textLength, bool tooltipAnimation, bool tooltipFade,
                         bool cursorAtOrAboveTop);

// The rectangle moved onto the virtual screen (the union of every monitor).
RECT FitToVirtualScreen(RECT rect);
