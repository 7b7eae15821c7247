#include "skin/SkinColorEffects.h"

#include <algorithm>
#include <utility>

#include "platform/SysUtils.h"
#include "skin/SkinDib.h"

SF_IMPLEMENT_CLASS(TColorEffects, TObject)

namespace {

std::vector<std::pair<int, TColorEffectProc>>& Registry()
{
    static std::vector<std::pair<int, TColorEffectProc>> registry;
    return registry;
}

TColorEffectProc FindEffect(int id)
{
    for (const auto& [key, routine] : Registry())
        if (key == id)
            return routine;
    return nullptr;
}

inline uint32_t GreyLevel(uint32_t p)
{
    return (((p >> 16) & 0xFF) + 2 * ((p >> 8) & 0xFF) + (p & 0xFF)) / 4;
}

inline uint32_t KeepAlpha(uint32_t colour, uint32_t alphaFrom)
{
    return (colour & 0xFFFFFF) | (alphaFrom & 0xFF000000);
}

void Invert(uint32_t& pixel, uint32_t, uint32_t)
{
    pixel ^= 0xFFFFFF;
}

void Desaturate(uint32_t& pixel, uint32_t, uint32_t amount)
{
    const uint32_t g = GreyLevel(pixel);
    pixel = KeepAlpha(MixPixel(pixel, (g << 16) | (g << 8) | g, uint8_t(std::min<uint32_t>(amount, 255))), pixel);
}

void Multiply(uint32_t& pixel, uint32_t, uint32_t colour)
{
    uint32_t product = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t c = (pixel >> shift) & 0xFF, k = (colour >> shift) & 0xFF;
        product |= ((c * k + 127) / 255) << shift;
    }
    pixel = KeepAlpha(MixPixel(pixel, product, uint8_t(colour >> 24)), pixel);
}

void Add(uint32_t& pixel, uint32_t, uint32_t colour)
{
    const uint32_t a = colour >> 24;
    uint32_t sum = pixel & 0xFF000000;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t c = (pixel >> shift) & 0xFF, k = (colour >> shift) & 0xFF;
        sum |= std::min<uint32_t>(255, c + (k * a + 127) / 255) << shift;
    }
    pixel = sum;
}

void Fade(uint32_t& pixel, uint32_t, uint32_t amount)
{
    pixel = (pixel & 0xFFFFFF) | AlphaMul(uint8_t(std::min<uint32_t>(amount, 255)), uint8_t(pixel >> 24));
}

void Mix(uint32_t& pixel, uint32_t, uint32_t colour)
{
    pixel = KeepAlpha(MixPixel(pixel, colour, uint8_t(colour >> 24)), pixel);
}

void Shadow(uint32_t& pixel, uint32_t, uint32_t colour)
{
    const uint32_t g = GreyLevel(pixel);
    uint32_t a = pixel >> 24;
    if (g >= 255)
        a = 0;
    else if (g > 192)
        a = a * (256 - g) / 64;
    pixel = (colour & 0xFFFFFF) | (a << 24);
}

} // namespace

void RegisterColorEffect(int id, TColorEffectProc routine)
{
    Assert(routine != nullptr, "A colour effect needs a routine");
    if (FindEffect(id))
        throw Exception(Format("color effect %d already registered", id));
    Registry().emplace_back(id, routine);
}

void RegisterStandardColorEffects()
{
    RegisterColorEffect(ceInvert, &Invert);
    RegisterColorEffect(ceDesaturate, &Desaturate);
    RegisterColorEffect(ceMultiply, &Multiply);
    RegisterColorEffect(ceAdd, &Add);
    RegisterColorEffect(ceFade, &Fade);
    RegisterColorEffect(ceMix, &Mix);
    RegisterColorEffect(ceShadow, &Shadow);
}

void UnregisterColorEffects()
{
    Registry().clear();
}

bool TColorEffects::AddEffect(int id, uint32_t parameter)
{
    const TColorEffectProc routine = FindEffect(id);
    if (!routine)
        return false;
    FEffects.push_back(TEntry{id, parameter, routine});
    return true;
}

void TColorEffects::Apply(uint32_t& pixel, uint32_t source) const
{
    for (const TEntry& e : FEffects)
        e.Routine(pixel, source, e.Parameter);
}

void TColorEffects::ApplyRun(const uint32_t* source, uint32_t* dest, int count) const
{
    CombineRun(source, dest, count, [this](uint32_t s, uint32_t d) {
        uint32_t pixel = s;
        Apply(pixel, s);
        return BlendPixel(pixel, d);
    });
}
