// zlib compression as a write-only stream in front of another stream.
#pragma once

#include <zlib.h>

#include <cstdint>

#include "platform/Exceptions.h"
#include "platform/Streams.h"

SF_EXCEPTION(EZlibError, Exception);

// Holds the target stream and the position it had when last written, so that a target that was
// moved in between is written at the right place.
class TCustomZlibStream : public TStream {
    SF_CLASS(TCustomZlibStream)
public:
    explicit TCustomZlibStream(TStream* target);

protected:
    // Moves the target back to where this stream left it.
    void RestoreTargetPosition();
    void WriteToTarget(const uint8_t* data, int32_t count);

    TStream* FTarget = nullptr;
    int64_t FTargetPosition = 0;
    z_stream FZ{};
    uint8_t FBuffer[65536] = {};
};

// Deflates everything written to it (level 9, window bits 15, memory level 8) into the target.
// Finish writes the end of the stream; a stream freed without it leaves the target unfinished.
class TCompressionStream : public TCustomZlibStream {
    SF_CLASS(TCompressionStream)
public:
    explicit TCompressionStream(TStream* target, int level = 9);
    ~TCompressionStream() override;

    // Returns count; zlib failures raise EZlibError ("Compression error: " and zlib's text).
    int32_t Write(const void* buffer, int32_t count) override;
    // Raises EZlibError: the stream only compresses.
    int32_t Read(void* buffer, int32_t count) override;
    // Only asking the position (0 from the current one) works: the bytes written so far.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void Finish();

private:
    void Check(int status) const;
    bool FFinished = false;
};
