#include "platform/Exceptions.h"

#include <windows.h>

std::string SysErrorMessage(uint32_t errorCode)
{
    char* buffer = nullptr;
    DWORD len = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, errorCode, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (buffer) {
        text.assign(buffer, len);
        LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty())
        text = "Unknown system error " + std::to_string(errorCode);
    return text;
}

void RaiseOSError(uint32_t errorCode, const std::string& operation)
{
    std::string message = "System Error. Code: " + std::to_string(errorCode) + ".\n" + SysErrorMessage(errorCode);
    if (!operation.empty())
        message = operation + ": " + message;
    throw EOSError(message, errorCode);
}

void RaiseLastOSError(const std::string& operation)
{
    DWORD code = GetLastError();
    if (code == 0)
        throw EOSError(operation.empty() ? "A call to an OS function failed" : operation + ": a call to an OS function failed", 0);
    RaiseOSError(code, operation);
}

void Abort()
{
    throw EAbort("Operation aborted");
}

void Assert(bool condition, const std::string& message)
{
    if (!condition)
        throw EAssertionFailed(message.empty() ? "Assertion failed" : message);
}

void AbstractError()
{
    throw EAbstractError("Abstract Error");
}

void TraceException(const std::exception_ptr& error) noexcept
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        OutputDebugStringA(e.what());
    } catch (...) {
        OutputDebugStringA("Unknown exception");
    }
}
