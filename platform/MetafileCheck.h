// Metafile bytes checked before any of them reaches GDI, and a playback whose work stays bounded
// whatever the records ask for. GDI trusts every size, count, offset and object index a metafile
// holds; a damaged one crashes or stalls it, so nothing unchecked is handed over.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Empty when data holds a sound enhanced metafile whose header announces at most size bytes,
// else what is wrong with it. Checked: the header's sizes, version and frame; every record's size
// against the data; the object indexes against the header's object table; and every count of
// points, characters, entries and bytes and every offset against the record that holds them.
std::string EnhMetafileFault(const uint8_t* data, size_t size);

// The same for a Windows metafile (the part after a placeable header): its header, every
// record's size and parameters, the object table as the records fill and empty it, and an
// enhanced copy embedded in comment records, which GDI would take in place of the records.
std::string WinMetafileFault(const uint8_t* data, size_t size);

// The bytes of a Windows metafile's header and records as WinMetafileFault checks them: the
// number of bytes its header announces, or 0 when that is not even a header.
size_t WinMetafileSize(const uint8_t* data, size_t size);

// Plays the metafile into rect as PlayEnhMetaFile does, except that drawing records whose extent
// on the device lies beyond what GDI draws in bounded time and memory are left out, and curved
// drawing stops once the playback has drawn a bounded amount of it. False when GDI refuses the
// metafile.
bool PlayEnhMetafileBounded(HDC dc, HENHMETAFILE metafile, const RECT& rect);

// How far from the device origin a drawing record may reach: curved outlines, wide pens and
// paths, whose cost GDI pays per device pixel, and everything else.
constexpr double MetafileCurveReach = 65536;
constexpr double MetafileShapeReach = 1 << 20;
