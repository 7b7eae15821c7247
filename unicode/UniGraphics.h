// Wide text on a class-library canvas: drawn at a point and measured with the canvas's font.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Graphics.h"

// Draws at (x, y) with the canvas's font, brush and text flags and moves the pen position to the
// end of the text; with right-to-left reading x is the right end instead.
void OutputWideText(TCanvas* canvas, int x, int y, const std::wstring& text);
SIZE MeasureWideText(TCanvas* canvas, const std::wstring& text);
int MeasureWideTextWidth(TCanvas* canvas, const std::wstring& text);
int MeasureWideTextHeight(TCanvas* canvas, const std::wstring& text);
