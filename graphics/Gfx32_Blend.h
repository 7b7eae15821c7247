// Mixing a colour over pixels by a weight, with a plain routine and an MMX one; the start-up
// processor test binds CombineColorInPlace and its companions to one of them for the process.
#pragma once

#include "graphics/Gfx32_LowLevel.h"

using TCombineColorInPlace = void (*)(TColor32 f, TColor32& b, TColor32 w);
using TCombineLineInPlace = void (*)(TColor32 f, TColor32* b, int count, TColor32 w);
using TEMMS = void (*)();

// Mixes F over B in all four channels by W (0..255): W = 0 (low 16 bits) leaves B, W = 255 gives F.
extern TCombineColorInPlace CombineColorInPlace;
// The same mix over count consecutive pixels.
extern TCombineLineInPlace CombineLineInPlace;
// Clears the mixing state after a run of mixes (MMX registers on the MMX path).
extern TEMMS EMMS;

// Per channel: ((F*W + 128) >> 8) + ((B*(255 - W) + 128) >> 8).
void CombineColorInPlacePlain(TColor32 f, TColor32& b, TColor32 w);
void CombineLineInPlacePlain(TColor32 f, TColor32* b, int count, TColor32 w);
// Per channel: (B*256 + (F - B)*W + 128) >> 8. Needs the alpha table (built at start-up when the
// processor has MMX) and EMMSMMX before any floating-point code runs.
void CombineColorInPlaceMMX(TColor32 f, TColor32& b, TColor32 w);
// The MMX formula over a line; four pixels per step with SSE2, leaving no MMX state behind.
void CombineLineInPlaceMMX(TColor32 f, TColor32* b, int count, TColor32 w);
void EMMSMMX();

// Whether the process mixes with the MMX routine.
bool MMXActive();
// Runs the processor test, binds the routines and builds the alpha table when MMX is used.
void Gfx32BlendStartup();
void Gfx32BlendShutdown();
// Binds the routines of one path (the MMX one only when the processor has it); answers whether
// the MMX path is bound. Lets tests and benchmarks run both paths in one process.
bool BindCombineRoutines(bool useMMX);
