#include "graphics/Gfx32_Blend.h"

#include <emmintrin.h>
#include <mmintrin.h>

#include <cstdlib>
#include <cstring>

#include "graphics/Gfx32_CPUid.h"

namespace {
constexpr int AlphaTableBytes = 2056;
constexpr int BiasEntry = 128;

void NoEMMS()
{
}

struct TBlendState {
    bool MMXSupported = false;
    bool SSE2Supported = false;
    bool MMXActive = false;
    void* AlphaBlock = nullptr;
    // 256 entries of four 16-bit lanes, entry v holding v in each lane; 8-byte aligned.
    __m64* AlphaTable = nullptr;
};

TBlendState State;

void BuildAlphaTable()
{
    if (State.AlphaBlock)
        return;
    State.AlphaBlock = std::malloc(AlphaTableBytes);
    if (!State.AlphaBlock)
        throw std::bad_alloc();
    uintptr_t start = (reinterpret_cast<uintptr_t>(State.AlphaBlock) + 7) & ~uintptr_t(7);
    uint16_t* lanes = reinterpret_cast<uint16_t*>(start);
    for (int v = 0; v < 256; ++v)
        for (int lane = 0; lane < 4; ++lane)
            lanes[v * 4 + lane] = static_cast<uint16_t>(v);
    State.AlphaTable = reinterpret_cast<__m64*>(start);
}

void FreeAlphaTable()
{
    std::free(State.AlphaBlock);
    State.AlphaBlock = nullptr;
    State.AlphaTable = nullptr;
}

// The MMX formula on one pixel in general-purpose registers, for the ends of a line.
TColor32 MixMMXFormula(TColor32 f, TColor32 b, uint32_t w)
{
    TColor32 result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t fc = (f >> shift) & 0xFF;
        uint32_t bc = (b >> shift) & 0xFF;
        uint32_t c = (bc * (256 - w) + fc * w + 128) >> 8;
        result |= c << shift;
    }
    return result;
}
}

TCombineColorInPlace CombineColorInPlace = CombineColorInPlacePlain;
TCombineLineInPlace CombineLineInPlace = CombineLineInPlacePlain;
TEMMS EMMS = NoEMMS;

void CombineColorInPlacePlain(TColor32 f, TColor32& b, TColor32 w)
{
    if ((w & 0xFFFF) == 0)
        return;
    if (w == 255) {
        b = f;
        return;
    }
    uint32_t inv = 255 - w;
    uint32_t lowF = (((f & 0x00FF00FF) * w + 0x00800080) >> 8) & 0x00FF00FF;
    uint32_t highF = ((((f & 0xFF00FF00) >> 8) * w + 0x00800080)) & 0xFF00FF00;
    uint32_t lowB = (((b & 0x00FF00FF) * inv + 0x00800080) >> 8) & 0x00FF00FF;
    uint32_t highB = ((((b & 0xFF00FF00) >> 8) * inv + 0x00800080)) & 0xFF00FF00;
    b = lowF + highF + lowB + highB;
}

void CombineLineInPlacePlain(TColor32 f, TColor32* b, int count, TColor32 w)
{
    if ((w & 0xFFFF) == 0)
        return;
    if (w == 255) {
        FillLongword(b, count, f);
        return;
    }
    uint32_t inv = 255 - w;
    // F's share is the same for every pixel of the line.
    uint32_t shareF = ((((f & 0x00FF00FF) * w + 0x00800080) >> 8) & 0x00FF00FF) +
                      ((((f & 0xFF00FF00) >> 8) * w + 0x00800080) & 0xFF00FF00);
    for (int i = 0; i < count; ++i) {
        uint32_t px = b[i];
        uint32_t lowB = (((px & 0x00FF00FF) * inv + 0x00800080) >> 8) & 0x00FF00FF;
        uint32_t highB = (((px & 0xFF00FF00) >> 8) * inv + 0x00800080) & 0xFF00FF00;
        b[i] = shareF + lowB + highB;
    }
}

void CombineColorInPlaceMMX(TColor32 f, TColor32& b, TColor32 w)
{
    if ((w & 0xFFFF) == 0)
        return;
    if (w == 255) {
        b = f;
        return;
    }
    const __m64* table = State.AlphaTable;
    __m64 zero = _mm_setzero_si64();
    __m64 mf = _mm_unpacklo_pi8(_mm_cvtsi32_si64(static_cast<int>(f)), zero);
    __m64 mb = _mm_unpacklo_pi8(_mm_cvtsi32_si64(static_cast<int>(b)), zero);
    mf = _mm_sub_pi16(mf, mb);
    mf = _mm_mullo_pi16(mf, table[w & 0xFF]);
    mb = _mm_slli_pi16(mb, 8);
    mb = _mm_add_pi16(mb, table[BiasEntry]);
    mb = _mm_add_pi16(mb, mf);
    mb = _mm_srli_pi16(mb, 8);
    b = static_cast<TColor32>(_mm_cvtsi64_si32(_mm_packs_pu16(mb, zero)));
}

void CombineLineInPlaceMMX(TColor32 f, TColor32* b, int count, TColor32 w)
{
    if ((w & 0xFFFF) == 0)
        return;
    if (w == 255) {
        FillLongword(b, count, f);
        return;
    }
    int i = 0;
    if (State.SSE2Supported) {
        // B*256 + (F - B)*W + 128 = B*(256 - W) + (F*W + 128): the second term is the same for
        // every pixel. The sum never exceeds 65408, so 16-bit lanes hold it exactly.
        __m128i zero = _mm_setzero_si128();
        __m128i weightB = _mm_set1_epi16(static_cast<short>(256 - (w & 0xFF)));
        __m128i shareF = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(f)), zero);
        shareF = _mm_add_epi16(_mm_mullo_epi16(shareF, _mm_set1_epi16(static_cast<short>(w & 0xFF))), _mm_set1_epi16(128));
        for (; i + 4 <= count; i += 4) {
            __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
            __m128i lo = _mm_unpacklo_epi8(px, zero);
            __m128i hi = _mm_unpackhi_epi8(px, zero);
            lo = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(lo, weightB), shareF), 8);
            hi = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(hi, weightB), shareF), 8);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(b + i), _mm_packus_epi16(lo, hi));
        }
    }
    for (; i < count; ++i)
        b[i] = MixMMXFormula(f, b[i], w & 0xFF);
}

void EMMSMMX()
{
    _mm_empty();
}

bool MMXActive()
{
    return State.MMXActive;
}

bool BindCombineRoutines(bool useMMX)
{
    State.MMXActive = useMMX && State.MMXSupported && State.AlphaTable;
    CombineColorInPlace = State.MMXActive ? CombineColorInPlaceMMX : CombineColorInPlacePlain;
    CombineLineInPlace = State.MMXActive ? CombineLineInPlaceMMX : CombineLineInPlacePlain;
    EMMS = State.MMXActive ? EMMSMMX : NoEMMS;
    return State.MMXActive;
}

void Gfx32BlendStartup()
{
    State.MMXSupported = HasMMX();
    State.SSE2Supported = HasSSE2();
    if (State.MMXSupported)
        BuildAlphaTable();
    BindCombineRoutines(State.MMXSupported);
}

void Gfx32BlendShutdown()
{
    BindCombineRoutines(false);
    FreeAlphaTable();
    State.MMXSupported = false;
    State.SSE2Supported = false;
}
