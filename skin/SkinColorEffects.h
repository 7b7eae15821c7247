// Colour effects registered by number and applied pixel by pixel: invert, desaturate, multiply,
// add, fade, mix and shadow, chained in a TColorEffects list and laid over a destination.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ObjectModel.h"

// Changes pixel (a working copy of source) by the parameter. Pixels are ARGB.
using TColorEffectProc = void (*)(uint32_t& pixel, uint32_t source, uint32_t parameter);

// The effects every process has: ids 1 to 7 (see RegisterStandardColorEffects).
enum TColorEffectId : int {
    ceInvert = 1,       // colour bits inverted, alpha kept
    ceDesaturate = 2,   // toward grey (R + 2G + B) / 4 by the amount (255 full grey)
    ceMultiply = 3,     // channels times the parameter colour's / 255, mixed in by its alpha
    ceAdd = 4,          // the parameter colour scaled by its alpha added, stopping at 255
    ceFade = 5,         // alpha scaled by the parameter / 255
    ceMix = 6,          // colour mixed toward the parameter colour by its alpha, alpha kept
    ceShadow = 7,       // grey level g: 255 and up transparent, above 192 alpha scaled by (256 - g) / 64;
                        // the colour becomes the parameter's
};

// Raises "color effect %d already registered" for an id that is present.
void RegisterColorEffect(int id, TColorEffectProc routine);
// Registers effects 1 to 7; called by the unit's start-up.
void RegisterStandardColorEffects();
// Empties the registry; called by the unit's shutdown.
void UnregisterColorEffects();

// An ordered list of effects with their parameters.
class TColorEffects : public TObject {
    SF_CLASS(TColorEffects)
public:
    // Appends a registered effect; false (nothing added) for an unknown id.
    bool AddEffect(int id, uint32_t parameter);
    int GetCount() const { return int(FEffects.size()); }
    // Runs every effect of the list in order on pixel.
    void Apply(uint32_t& pixel, uint32_t source) const;
    // Each source pixel through the effects, laid over dest: alpha 0 keeps dest, 255 replaces it,
    // anything between blends. Equal neighbours reuse the previous result.
    void ApplyRun(const uint32_t* source, uint32_t* dest, int count) const;

private:
    struct TEntry {
        int Id = 0;
        uint32_t Parameter = 0;
        TColorEffectProc Routine = nullptr;
    };
    std::vector<TEntry> FEffects;
};
