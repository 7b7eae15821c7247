#include "skin/SkinZlib.h"

SF_IMPLEMENT_ABSTRACT(TCustomZlibStream, TStream)
SF_IMPLEMENT_ABSTRACT(TCompressionStream, TCustomZlibStream)

TCustomZlibStream::TCustomZlibStream(TStream* target) : FTarget(target), FTargetPosition(target->GetPosition())
{
}

void TCustomZlibStream::RestoreTargetPosition()
{
    if (FTarget->GetPosition() != FTargetPosition)
        FTarget->SetPosition(FTargetPosition);
}

void TCustomZlibStream::WriteToTarget(const uint8_t* data, int32_t count)
{
    FTarget->WriteBuffer(data, count);
    FTargetPosition = FTarget->GetPosition();
}

TCompressionStream::TCompressionStream(TStream* target, int level) : TCustomZlibStream(target)
{
    FZ.next_out = FBuffer;
    FZ.avail_out = sizeof(FBuffer);
    Check(deflateInit2(&FZ, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY));
}

TCompressionStream::~TCompressionStream()
{
    deflateEnd(&FZ);
}

void TCompressionStream::Check(int status) const
{
    if (status < 0)
        throw EZlibError(std::string("Compression error: ") + zError(status));
}

int32_t TCompressionStream::Write(const void* buffer, int32_t count)
{
    if (FFinished)
        throw EZlibError("Compression error: the stream is finished");
    RestoreTargetPosition();
    FZ.next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
    FZ.avail_in = uInt(count);
    while (FZ.avail_in > 0) {
        Check(deflate(&FZ, Z_NO_FLUSH));
        if (FZ.avail_out == 0) {
            WriteToTarget(FBuffer, int32_t(sizeof(FBuffer)));
            FZ.next_out = FBuffer;
            FZ.avail_out = sizeof(FBuffer);
        }
    }
    return count;
}

int32_t TCompressionStream::Read(void*, int32_t)
{
    throw EZlibError("Invalid stream operation");
}

int64_t TCompressionStream::Seek(int64_t offset, TSeekOrigin origin)
{
    if (offset == 0 && origin == TSeekOrigin::soCurrent)
        return int64_t(FZ.total_in);
    throw EZlibError("Invalid stream operation");
}

void TCompressionStream::Finish()
{
    if (FFinished)
        return;
    RestoreTargetPosition();
    FZ.next_in = nullptr;
    FZ.avail_in = 0;
    for (;;) {
        const int status = deflate(&FZ, Z_FINISH);
        Check(status);
        if (status == Z_STREAM_END)
            break;
        if (FZ.avail_out == 0) {
            WriteToTarget(FBuffer, int32_t(sizeof(FBuffer)));
            FZ.next_out = FBuffer;
            FZ.avail_out = sizeof(FBuffer);
        }
    }
    WriteToTarget(FBuffer, int32_t(sizeof(FBuffer) - FZ.avail_out));
    FFinished = true;
}
