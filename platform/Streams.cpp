#include "platform/Streams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/SysUtils.h"

SF_IMPLEMENT_ABSTRACT(TStream, TObject)
SF_IMPLEMENT_ABSTRACT(TBufferedStream, TStream)
SF_IMPLEMENT_ABSTRACT(THandleStream, TStream)
SF_IMPLEMENT_ABSTRACT(TFileStream, THandleStream)
SF_IMPLEMENT_ABSTRACT(TCustomMemoryStream, TStream)
SF_IMPLEMENT_CLASS(TMemoryStream, TCustomMemoryStream)
SF_IMPLEMENT_CLASS(TStringStream, TStream)
SF_IMPLEMENT_ABSTRACT(TResourceStream, TCustomMemoryStream)

namespace {

// A memory block lives in a 32-bit address space: its size must fit a signed 32-bit count.
constexpr int64_t MaxMemoryStreamSize = 0x7FFFFFFF;
constexpr int32_t CopyBufferSize = 0x10000;

int64_t ResolveSeek(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size)
{
    int64_t base = 0;
    switch (origin) {
    case TSeekOrigin::soBeginning: base = 0; break;
    case TSeekOrigin::soCurrent: base = position; break;
    case TSeekOrigin::soEnd: base = size; break;
    }
    int64_t target = base + offset;
    if (target < 0)
        throw EStreamError("Invalid stream position " + std::to_string(target));
    return target;
}

DWORD ShareModeOf(uint16_t mode)
{
    switch ((mode & 0xF0) >> 4) {
    case 2: return FILE_SHARE_READ;
    case 3: return FILE_SHARE_WRITE;
    case 4: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default: return 0;
    }
}

}  // namespace

// TStream

int64_t TStream::GetSize()
{
    int64_t position = Seek(0, TSeekOrigin::soCurrent);
    int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

void TStream::SetSize(int64_t)
{
    throw EStreamError("The size of a " + ClassName() + " cannot be changed");
}

void TStream::ReadBuffer(void* buffer, int32_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int32_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream* source, int64_t count)
{
    if (count < 0)
        throw EStreamError("Invalid byte count " + std::to_string(count) + " to copy");
    if (count == 0) {
        source->SetPosition(0);
        count = source->GetSize();
    }
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(count, CopyBufferSize)));
    int64_t copied = 0;
    while (copied < count) {
        int32_t chunk = static_cast<int32_t>(std::min<int64_t>(count - copied, CopyBufferSize));
        source->ReadBuffer(buffer.data(), chunk);
        WriteBuffer(buffer.data(), chunk);
        copied += chunk;
    }
    return copied;
}

// THandleStream

int32_t THandleStream::Read(void* buffer, int32_t count)
{
    if (count <= 0)
        return 0;
    DWORD done = 0;
    if (!ReadFile(FHandle, buffer, static_cast<DWORD>(count), &done, nullptr))
        throw EReadError("Stream read error. " + SysErrorMessage(GetLastError()));
    return static_cast<int32_t>(done);
}

int32_t THandleStream::Write(const void* buffer, int32_t count)
{
    if (count <= 0)
        return 0;
    DWORD done = 0;
    if (!WriteFile(FHandle, buffer, static_cast<DWORD>(count), &done, nullptr))
        throw EWriteError("Stream write error. " + SysErrorMessage(GetLastError()));
    return static_cast<int32_t>(done);
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin)
{
    static const DWORD methods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER result;
    result.QuadPart = 0;
    if (!SetFilePointerEx(FHandle, distance, &result, methods[static_cast<int>(origin)]))
        throw EStreamError("Stream seek error. " + SysErrorMessage(GetLastError()));
    return result.QuadPart;
}

void THandleStream::SetSize(int64_t newSize)
{
    if (newSize < 0)
        throw EStreamError("Invalid stream size " + std::to_string(newSize));
    int64_t position = GetPosition();
    SetPosition(newSize);
    if (!SetEndOfFile(FHandle))
        throw EStreamError("Cannot change the size of the stream. " + SysErrorMessage(GetLastError()));
    SetPosition(std::min(position, newSize));
}

// TFileStream

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : THandleStream(INVALID_HANDLE_VALUE), FFileName(fileName)
{
    if ((mode & fmCreate) == fmCreate) {
        FHandle = CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, ShareModeOf(mode), nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (FHandle == INVALID_HANDLE_VALUE)
            throw EFCreateError("Cannot create file \"" + ExpandFileName(fileName) + "\". " + SysErrorMessage(GetLastError()));
        return;
    }
    static const DWORD access[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    if ((mode & 3) == 3)
        throw EFOpenError("Cannot open file \"" + ExpandFileName(fileName) + "\". Invalid file mode");
    FHandle = CreateFileA(fileName.c_str(), access[mode & 3], ShareModeOf(mode), nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (FHandle == INVALID_HANDLE_VALUE)
        throw EFOpenError("Cannot open file \"" + ExpandFileName(fileName) + "\". " + SysErrorMessage(GetLastError()));
}

TFileStream::~TFileStream()
{
    if (FHandle != INVALID_HANDLE_VALUE)
        CloseHandle(FHandle);
}

// TCustomMemoryStream

void TCustomMemoryStream::SetPointer(void* memory, int64_t size)
{
    FMemory = static_cast<char*>(memory);
    FSize = size;
}

int32_t TCustomMemoryStream::Read(void* buffer, int32_t count)
{
    if (count <= 0 || FPosition >= FSize)
        return 0;
    int32_t done = static_cast<int32_t>(std::min<int64_t>(count, FSize - FPosition));
    std::memcpy(buffer, FMemory + FPosition, static_cast<size_t>(done));
    FPosition += done;
    return done;
}

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    FPosition = ResolveSeek(offset, origin, FPosition, FSize);
    return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream* stream)
{
    int64_t done = 0;
    while (done < FSize) {
        int32_t chunk = static_cast<int32_t>(std::min<int64_t>(FSize - done, MaxMemoryStreamSize));
        stream->WriteBuffer(FMemory + done, chunk);
        done += chunk;
    }
}

void TCustomMemoryStream::SaveToFile(const std::string& fileName)
{
    TFileStream file(fileName, fmCreate);
    SaveToStream(&file);
}

// TMemoryStream

TMemoryStream::~TMemoryStream()
{
    std::free(FMemory);
}

void TMemoryStream::Reserve(int64_t needed)
{
    if (needed <= FCapacity)
        return;
    if (needed > MaxMemoryStreamSize)
        throw EOutOfMemory("Out of memory while expanding memory stream");
    // Geometric growth keeps a long run of small writes linear in time.
    int64_t capacity = std::max<int64_t>({needed, FCapacity + FCapacity / 2, 256});
    capacity = std::min(capacity, MaxMemoryStreamSize);
    void* memory = std::realloc(FMemory, static_cast<size_t>(capacity));
    if (!memory)
        throw EOutOfMemory("Out of memory while expanding memory stream");
    FMemory = static_cast<char*>(memory);
    FCapacity = capacity;
}

void TMemoryStream::Grow(int64_t newSize)
{
    Reserve(newSize);
    // Bytes between the old end and the new one never hold stale memory.
    std::memset(FMemory + FSize, 0, static_cast<size_t>(newSize - FSize));
    FSize = newSize;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count)
{
    if (count <= 0)
        return 0;
    int64_t end = FPosition + count;
    if (end > FSize)
        Grow(end);
    std::memcpy(FMemory + FPosition, buffer, static_cast<size_t>(count));
    FPosition = end;
    return count;
}

void TMemoryStream::SetSize(int64_t newSize)
{
    if (newSize < 0)
        throw EStreamError("Invalid stream size " + std::to_string(newSize));
    if (newSize > FSize)
        Grow(newSize);
    else
        FSize = newSize;
    if (FPosition > newSize)
        FPosition = newSize;
}

void TMemoryStream::Clear()
{
    std::free(FMemory);
    FMemory = nullptr;
    FCapacity = 0;
    FSize = 0;
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* stream)
{
    stream->SetPosition(0);
    int64_t count = stream->GetSize();
    if (count > MaxMemoryStreamSize)
        throw EOutOfMemory("Out of memory while expanding memory stream");
    SetSize(count);
    FPosition = 0;
    stream->ReadBuffer(FMemory, static_cast<int32_t>(count));
}

void TMemoryStream::LoadFromFile(const std::string& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&file);
}

// TStringStream

int32_t TStringStream::Read(void* buffer, int32_t count)
{
    int64_t size = GetSize();
    if (count <= 0 || FPosition >= size)
        return 0;
    int32_t done = static_cast<int32_t>(std::min<int64_t>(count, size - FPosition));
    std::memcpy(buffer, FDataString.data() + FPosition, static_cast<size_t>(done));
    FPosition += done;
    return done;
}

int32_t TStringStream::Write(const void* buffer, int32_t count)
{
    if (count <= 0)
        return 0;
    int64_t end = FPosition + count;
    if (end > MaxMemoryStreamSize)
        throw EOutOfMemory("Out of memory while expanding string stream");
    if (end > GetSize())
        FDataString.resize(static_cast<size_t>(end));
    std::memcpy(FDataString.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition = end;
    return count;
}

int64_t TStringStream::Seek(int64_t offset, TSeekOrigin origin)
{
    FPosition = ResolveSeek(offset, origin, FPosition, GetSize());
    return FPosition;
}

void TStringStream::SetSize(int64_t newSize)
{
    if (newSize < 0 || newSize > MaxMemoryStreamSize)
        throw EStreamError("Invalid stream size " + std::to_string(newSize));
    FDataString.resize(static_cast<size_t>(newSize));
    if (FPosition > newSize)
        FPosition = newSize;
}

std::string TStringStream::ReadString(int32_t count)
{
    int64_t size = GetSize();
    if (count <= 0 || FPosition >= size)
        return {};
    int64_t len = std::min<int64_t>(count, size - FPosition);
    std::string result = FDataString.substr(static_cast<size_t>(FPosition), static_cast<size_t>(len));
    FPosition += len;
    return result;
}

void TStringStream::WriteString(const std::string& text)
{
    WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

// TResourceStream

TResourceStream::TResourceStream(HINSTANCE instance, const std::string& resName, const char* resType)
{
    Initialize(instance, resName.c_str(), resType, resName);
}

TResourceStream::TResourceStream(HINSTANCE instance, int resId, const char* resType)
{
    std::string displayName = std::to_string(resId);
    displayName.insert(displayName.begin(), '#');
    Initialize(instance, MAKEINTRESOURCEA(resId), resType, displayName);
}

void TResourceStream::Initialize(HINSTANCE instance, const char* name, const char* type, const std::string& displayName)
{
    HRSRC info = FindResourceA(instance, name, type);
    if (!info)
        throw EResNotFound("Resource " + displayName + " not found");
    HGLOBAL handle = LoadResource(instance, info);
    void* data = handle ? LockResource(handle) : nullptr;
    if (!data)
        throw EResNotFound("Resource " + displayName + " cannot be loaded. " + SysErrorMessage(GetLastError()));
    SetPointer(data, SizeofResource(instance, info));
}

int32_t TResourceStream::Write(const void*, int32_t)
{
    throw EStreamError("Can't write to a read-only resource stream");
}

// TBufferedStream

TBufferedStream::TBufferedStream(TStream* stream, int32_t bufferSize)
    : FStream(stream), FBuffer(static_cast<size_t>(std::max(bufferSize, 16))), FPosition(stream->GetPosition())
{
}

TBufferedStream::~TBufferedStream()
{
    // A destructor cannot report a failed write: whoever needs to know calls Flush first.
    try {
        Flush();
    } catch (...) {
    }
}

void TBufferedStream::Flush()
{
    if (!FWriting || FFill == 0)
        return;
    int32_t pending = FFill;
    FFill = 0;
    FStream->WriteBuffer(FBuffer.data(), pending);
}

// Large transfers pass to the inner stream a buffer's size at a time: one read or write of tens of
// megabytes can fail for want of system resources (on network drives especially), while pieces
// of 1 MiB cost no more than one call.
int32_t TBufferedStream::ReadThrough(char* dest, int32_t count)
{
    const auto piece = static_cast<int32_t>(FBuffer.size());
    int32_t done = 0;
    while (done < count) {
        int32_t wanted = std::min(piece, count - done);
        int32_t n = FStream->Read(dest + done, wanted);
        if (n <= 0)
            break;
        done += n;
        if (n < wanted)
            break;
    }
    return done;
}

void TBufferedStream::WriteThrough(const char* source, int32_t count)
{
    const auto piece = static_cast<int32_t>(FBuffer.size());
    for (int32_t done = 0; done < count;) {
        int32_t n = std::min(piece, count - done);
        FStream->WriteBuffer(source + done, n);
        done += n;
    }
}

void TBufferedStream::DropReadBuffer()
{
    if (FWriting || FOffset == FFill)
        return;
    FStream->Seek(FPosition, TSeekOrigin::soBeginning);
    FOffset = FFill = 0;
}

int32_t TBufferedStream::Read(void* buffer, int32_t count)
{
    if (count <= 0)
        return 0;
    if (FWriting) {
        Flush();
        FWriting = false;
    }
    char* dest = static_cast<char*>(buffer);
    int32_t done = 0;
    while (done < count) {
        if (FOffset == FFill) {
            // A large read goes straight to the caller's memory.
            if (count - done >= static_cast<int32_t>(FBuffer.size())) {
                FOffset = FFill = 0;
                int32_t n = ReadThrough(dest + done, count - done);
                done += n;
                FPosition += n;
                break;
            }
            FOffset = 0;
            FFill = FStream->Read(FBuffer.data(), static_cast<int32_t>(FBuffer.size()));
            if (FFill <= 0) {
                FFill = 0;
                break;
            }
        }
        int32_t n = std::min(count - done, FFill - FOffset);
        memcpy(dest + done, FBuffer.data() + FOffset, static_cast<size_t>(n));
        FOffset += n;
        done += n;
        FPosition += n;
    }
    return done;
}

int32_t TBufferedStream::Write(const void* buffer, int32_t count)
{
    if (count <= 0)
        return 0;
    if (!FWriting) {
        DropReadBuffer();
        FWriting = true;
        FFill = FOffset = 0;
    }
    FSize = -1;
    const char* source = static_cast<const char*>(buffer);
    if (FFill + count > static_cast<int32_t>(FBuffer.size())) {
        Flush();
        if (count >= static_cast<int32_t>(FBuffer.size())) {
            WriteThrough(source, count);
            FPosition += count;
            return count;
        }
    }
    memcpy(FBuffer.data() + FFill, source, static_cast<size_t>(count));
    FFill += count;
    FPosition += count;
    return count;
}

int64_t TBufferedStream::Seek(int64_t offset, TSeekOrigin origin)
{
    if (origin == TSeekOrigin::soCurrent && offset == 0)
        return FPosition;
    int64_t target = offset;
    if (origin == TSeekOrigin::soCurrent)
        target = FPosition + offset;
    else if (origin == TSeekOrigin::soEnd)
        target = GetSize() + offset;
    if (!FWriting) {
        // Within the read-ahead the buffer stays.
        int64_t bufferStart = FPosition - FOffset;
        if (target >= bufferStart && target <= bufferStart + FFill) {
            FOffset = static_cast<int32_t>(target - bufferStart);
            FPosition = target;
            return FPosition;
        }
        FOffset = FFill = 0;
    } else {
        Flush();
    }
    FPosition = FStream->Seek(target, TSeekOrigin::soBeginning);
    return FPosition;
}

int64_t TBufferedStream::GetSize()
{
    if (FWriting) {
        Flush();
        return FStream->GetSize();
    }
    if (FSize < 0) {
        DropReadBuffer();
        FSize = FStream->GetSize();
    }
    return FSize;
}
