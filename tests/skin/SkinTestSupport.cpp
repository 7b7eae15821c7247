#include "SkinTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

#include "skin/Skin.h"

namespace {

class TSkinEnvironment : public testing::Environment {
public:
    void SetUp() override { InitSkin(); }
    void TearDown() override { DoneSkin(); }
};

testing::Environment* const SkinEnvironment = testing::AddGlobalTestEnvironment(new TSkinEnvironment);

} // namespace

TDIBPtr MakeDIB(int width, int height, uint32_t fill)
{
    TDIBPtr dib(New<TDIB32>());
    dib->SetSize(width, height);
    dib->Fill(fill);
    return dib;
}

TDIBPtr MakeDIB(int width, int height, const std::vector<uint32_t>& pixels)
{
    TDIBPtr dib(New<TDIB32>());
    dib->SetSize(width, height);
    std::memcpy(dib->GetBits(), pixels.data(), size_t(width) * size_t(height) * 4);
    return dib;
}

std::vector<uint32_t> PixelsOf(const TDIB32* dib)
{
    if (!dib->HasBits())
        return {};
    return std::vector<uint32_t>(dib->GetBits(), dib->GetBits() + size_t(dib->GetWidth()) * size_t(dib->GetHeight()));
}

std::vector<uint32_t> PixelsOf(const TPNGReader& reader)
{
    const std::span<const uint32_t> pixels = reader.GetPixels();
    return std::vector<uint32_t>(pixels.begin(), pixels.end());
}

std::vector<uint32_t> RandomPixels(size_t count, uint32_t seed)
{
    std::vector<uint32_t> pixels(count);
    for (uint32_t& p : pixels) {
        seed = seed * 1664525u + 1013904223u;
        p = seed ^ (seed >> 13);
    }
    return pixels;
}
