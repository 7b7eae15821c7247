// Byte streams with 64-bit positions: the abstract TStream and its file, handle, memory, string
// and resource forms. Everything that loads or saves data reads and writes through these.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ObjectModel.h"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// File stream modes: one access mode combined with one share mode. fmCreate creates (or
// truncates) the file for reading and writing; a share mode may be added to it too. Any mode
// with all of fmCreate's bits set creates, so the older all-bits value 0xFFFF does as well.
constexpr uint16_t fmCreate = 0xFF00;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

class TComponent;

class TStream : public TObject {
    SF_CLASS(TStream)
public:
    // Transfers up to count bytes and returns how many were transferred (0 at the end).
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Moves the position and returns the new one.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
    virtual int64_t GetSize();
    // Streams that cannot change their size raise EStreamError.
    virtual void SetSize(int64_t newSize);

    // Like Read and Write, but anything short of count raises EReadError / EWriteError.
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);
    // Copies count bytes from the source's position; count 0 copies the whole source from its
    // start. Returns the number of bytes copied.
    int64_t CopyFrom(TStream* source, int64_t count);

    // Reads a component in the binary property format (see Filer.h) from the position. With an
    // instance, its properties and children are read into it; without, the streamed class is
    // created, unowned.
    TComponent* ReadComponent(TComponent* instance);
    // Writes a component with its children in the binary property format at the position.
    void WriteComponent(TComponent* instance);
};

// A stream over an operating-system file handle, which the caller keeps owning.
class THandleStream : public TStream {
    SF_CLASS(THandleStream)
public:
    explicit THandleStream(HANDLE handle) : FHandle(handle) {}

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    HANDLE GetHandle() const { return FHandle; }

protected:
    HANDLE FHandle = INVALID_HANDLE_VALUE;
};

// A stream over a file it opens by name and closes when freed.
class TFileStream : public THandleStream {
    SF_CLASS(TFileStream)
public:
    // Raises EFCreateError / EFOpenError naming the file and giving the system's reason.
    TFileStream(const std::string& fileName, uint16_t mode);
    ~TFileStream() override;
    const std::string& GetFileName() const { return FFileName; }

private:
    std::string FFileName;
};

// A stream over a block of memory held elsewhere; reading and seeking, not writing.
class TCustomMemoryStream : public TStream {
    SF_CLASS(TCustomMemoryStream)
public:
    int32_t Read(void* buffer, int32_t count) override;
    // Seeking beyond the end is allowed; reading there returns 0.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return FSize; }
    void* GetMemory() const { return FMemory; }

    void SaveToStream(TStream* stream);
    void SaveToFile(const std::string& fileName);

protected:
    void SetPointer(void* memory, int64_t size);

    char* FMemory = nullptr;
    int64_t FSize = 0;
    int64_t FPosition = 0;
};

// A growable stream in memory. Writing beyond the end zero-fills the gap.
class TMemoryStream : public TCustomMemoryStream {
    SF_CLASS(TMemoryStream)
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;

    int32_t Write(const void* buffer, int32_t count) override;
    // New bytes read as zero; the position moves back to the new end when it was beyond it.
    void SetSize(int64_t newSize) override;
    void Clear();
    void LoadFromStream(TStream* stream);
    void LoadFromFile(const std::string& fileName);

private:
    void Reserve(int64_t needed);
    void Grow(int64_t newSize);

    int64_t FCapacity = 0;
};

// A stream over an 8-bit string it holds.
class TStringStream : public TStream {
    SF_CLASS(TStringStream)
public:
    explicit TStringStream(std::string data = {}) : FDataString(std::move(data)) {}

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(FDataString.size()); }
    void SetSize(int64_t newSize) override;

    const std::string& GetDataString() const { return FDataString; }
    // Reads up to count bytes from the position.
    std::string ReadString(int32_t count);
    void WriteString(const std::string& text);

private:
    std::string FDataString;
    int64_t FPosition = 0;
};

// Reads or writes another stream, which it does not own, through a buffer, so that many small
// transfers (chunk headers) cost one system call per buffer, and transfers larger than the buffer
// go straight between the caller's memory and the inner stream, one buffer's size per call.
// Written bytes reach the inner stream on Flush, on a seek and when the buffer is freed; Flush
// raises when they cannot.
class TBufferedStream : public TStream {
    SF_CLASS(TBufferedStream)
public:
    static constexpr int32_t DefaultBufferSize = 1 << 20;

    explicit TBufferedStream(TStream* stream, int32_t bufferSize = DefaultBufferSize);
    ~TBufferedStream() override;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override;
    void Flush();

private:
    // Drops read-ahead bytes, moving the inner stream back to the logical position.
    void DropReadBuffer();
    // Reads until count bytes arrived or the inner stream gives fewer than asked; returns how many.
    int32_t ReadThrough(char* dest, int32_t count);
    void WriteThrough(const char* source, int32_t count);

    TStream* FStream = nullptr;
    std::vector<char> FBuffer;
    // Read mode: FBuffer[FOffset .. FFill) are unread bytes. Write mode: FBuffer[0 .. FFill)
    // are bytes not yet written.
    int32_t FFill = 0;
    int32_t FOffset = 0;
    bool FWriting = false;
    // The logical position (the inner one minus read-ahead, plus pending writes).
    int64_t FPosition = 0;
    int64_t FSize = -1;
};

// A read-only stream over a resource of a module. Raises EResNotFound when it is missing.
class TResourceStream : public TCustomMemoryStream {
    SF_CLASS(TResourceStream)
public:
    // The type is a name or a MAKEINTRESOURCE number such as RT_RCDATA.
    TResourceStream(HINSTANCE instance, const std::string& resName, const char* resType);
    TResourceStream(HINSTANCE instance, int resId, const char* resType);

    int32_t Write(const void* buffer, int32_t count) override;

private:
    void Initialize(HINSTANCE instance, const char* name, const char* type, const std::string& displayName);
};
