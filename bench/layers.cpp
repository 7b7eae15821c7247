// Repaint cost of a page view: a full 1920 x 1080 back buffer with 500 text elements of 100
// characters and 1000 alpha rectangles, and one small update rectangle, against the bare GDI and
// blending calls that the same picture needs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "document/Layer.h"
#include "graphics/Gfx32.h"

namespace {

constexpr int ViewWidth = 1920;
constexpr int ViewHeight = 1080;
constexpr int TextCount = 500;
constexpr int RectCount = 1000;

// Milliseconds per run of f, over enough runs to last about half a second.
template <class F>
double Measure(F f)
{
    f();
    int runs = 0;
    double start = Now();
    double elapsed = 0;
    while (elapsed < 500 || runs < 3) {
        f();
        ++runs;
        elapsed = Now() - start;
    }
    return elapsed / runs;
}

class TBenchPage : public TLayerComposition {
public:
    using TLayerComposition::TLayerComposition;
    RECT GetReferenceRect() override { return RECT{0, 0, 50800, 28575}; }
};

std::string Words(std::mt19937& random)
{
    static const char* words[] = {"summer", "lake", "family", "photo", "the", "at", "with", "holiday",
                                  "mountains", "evening", "light", "and", "a", "walk", "garden"};
    std::string text;
    while (text.size() < 100) {
        if (!text.empty())
            text += ' ';
        text += words[random() % std::size(words)];
    }
    text.resize(100);
    return text;
}

}  // namespace

int main()
{
    PrintArchitecture();
    Gfx32Startup();
    std::mt19937 random(1);
    {
        std::unique_ptr<TLayerCanvas, TObjectFree> canvas(New<TLayerCanvas>());
        canvas->Resize(ViewWidth, ViewHeight);
        canvas->GetMapMode()->SetDPI(POINT{96, 96});
        TLayerBuffer* buffer = canvas->GetMainBuffer();
        RECT view{0, 0, ViewWidth, ViewHeight};
        canvas->SetUpdateRect(view);
        RECT logicalView = canvas->GetMapMode()->DPtoLPRect(view);

        std::unique_ptr<TBenchPage, TObjectFree> page(New<TBenchPage>());
        std::unique_ptr<TFont, TObjectFree> font(New<TFont>());
        font->SetName("Arial");
        font->SetSize(12);
        font->SetColor(clBlack);
        for (int i = 0; i < RectCount; ++i) {
            auto* rect = New<TLayerRect>(page.get());
            int w = 500 + static_cast<int>(random() % 8000);
            int h = 500 + static_cast<int>(random() % 5000);
            rect->SetBounds(static_cast<int>(random() % (logicalView.right - w)),
                            static_cast<int>(random() % (logicalView.bottom - h)), w, h);
            rect->SetColor(static_cast<TColor>(random() & 0xFFFFFF));
            rect->SetAlpha(64 + static_cast<int>(random() % 128));
        }
        std::vector<TLayerText*> texts;
        for (int i = 0; i < TextCount; ++i) {
            auto* text = New<TLayerText>(page.get());
            text->SetFont(font.get());
            text->SetText(Words(random));
            int w = 6000 + static_cast<int>(random() % 8000);
            text->SetBounds(static_cast<int>(random() % (logicalView.right - w)),
                            static_cast<int>(random() % (logicalView.bottom - 2500)), w, 2500);
            texts.push_back(text);
        }

        auto paint = [&](const RECT& update) {
            canvas->SetUpdateRect(update);
            buffer->FillRectS(update, 0xFF808080);
            page->Paint(canvas.get(), update);
        };

        double firstStart = Now();
        paint(view);
        double first = Now() - firstStart;
        double full = Measure([&] { paint(view); });
        RECT small{900, 500, 932, 524};
        double update = Measure([&] { paint(small); });

        // Baseline: the same lines drawn with one ExtTextOutA each into the same DIB, plain and
        // with an advance per character as the text element draws them, the same rectangles
        // blended, and one block transfer of the whole buffer.
        int lines = 0;
        struct TLine {
            POINT At;
            std::string Text;
            RECT Clip;
        };
        std::vector<TLine> allLines;
        for (TLayerText* text : texts) {
            RECT device = canvas->GetMapMode()->LPtoDPRect(text->GetBounds());
            int row = device.top;
            for (const std::string& line : text->GetLines()) {
                allLines.push_back(TLine{POINT{device.left, row}, line, device});
                row += 18;
                ++lines;
            }
        }
        LOGFONTA lf = font->GetLogFont();
        lf.lfHeight = canvas->GetMapMode()->LPtoDPY(PointsToHiMetric(12), 1.5);
        HFONT deviceFont = CreateFontIndirectA(&lf);
        std::vector<RECT> rects;
        std::vector<TColor32> colors;
        for (int i = 0; i < page->Count(); ++i)
            if (Is<TLayerRect>(page->GetItem(i))) {
                rects.push_back(canvas->GetMapMode()->LPtoDPRect(page->GetItem(i)->GetBounds()));
                colors.push_back(SetColorAlpha(Color32(page->GetItem(i)->GetColor()), page->GetItem(i)->GetAlpha()));
            }
        double textBase = Measure([&] {
            HDC dc = buffer->GetHandle();
            HGDIOBJ old = SelectObject(dc, deviceFont);
            SetBkMode(dc, TRANSPARENT);
            for (const TLine& line : allLines)
                ExtTextOutA(dc, line.At.x, line.At.y, ETO_CLIPPED, &line.Clip, line.Text.data(),
                            static_cast<UINT>(line.Text.size()), nullptr);
            SelectObject(dc, old);
        });
        std::vector<int> advances(128, 7);
        double textDxBase = Measure([&] {
            HDC dc = buffer->GetHandle();
            HGDIOBJ old = SelectObject(dc, deviceFont);
            SetBkMode(dc, TRANSPARENT);
            for (const TLine& line : allLines)
                ExtTextOutA(dc, line.At.x, line.At.y, ETO_CLIPPED, &line.Clip, line.Text.data(),
                            static_cast<UINT>(line.Text.size()), advances.data());
            SelectObject(dc, old);
        });
        double rectBase = Measure([&] {
            buffer->FillRectS(view, 0xFF808080);
            for (size_t i = 0; i < rects.size(); ++i)
                buffer->FillRectS(rects[i], colors[i]);
        });
        HDC screen = GetDC(nullptr);
        double blit = Measure([&] {
            BitBlt(screen, 0, 0, ViewWidth, ViewHeight, buffer->GetHandle(), 0, 0, SRCCOPY);
            GdiFlush();
        });
        ReleaseDC(nullptr, screen);
        DeleteObject(deviceFont);

        std::printf("Page view repaint, %dx%d, %d texts of 100 characters (%d lines), %d alpha rectangles\n",
                    ViewWidth, ViewHeight, TextCount, lines, RectCount);
        std::printf("  first full repaint (with text layout)   %8.2f ms\n", first);
        std::printf("  full repaint                            %8.2f ms   (target < 50 ms)\n", full);
        std::printf("  small update 32x24                      %8.3f ms   (target < 2 ms)\n", update);
        std::printf("Baseline in the same run:\n");
        std::printf("  %4d ExtTextOutA lines into the DIB      %8.2f ms\n", lines, textBase);
        std::printf("  the same lines with advances (lpDx)     %8.2f ms\n", textDxBase);
        std::printf("  background + %4d alpha fills           %8.2f ms\n", RectCount, rectBase);
        std::printf("  lines with advances + fills             %8.2f ms\n", textDxBase + rectBase);
        std::printf("  BitBlt of the whole buffer to the screen %7.2f ms\n", blit);
    }
    Gfx32Shutdown();
    return 0;
}
