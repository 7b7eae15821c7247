// The exception classes the program raises and catches; every failure travels as one of these.
#pragma once

// windows.h renames GetMessage and RegisterClass by macro. Seen before every declaration here
// and in the object model, the renaming is the same in every unit and links consistently.
#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const std::string& GetMessage() const { return FMessage; }
    void SetMessage(std::string message) { FMessage = std::move(message); }
    const char* what() const noexcept override { return FMessage.c_str(); }
    virtual const char* ClassName() const { return "Exception"; }

private:
    std::string FMessage;
};

#define SF_EXCEPTION(Name, Parent)                                           \
    class Name : public Parent {                                             \
    public:                                                                  \
        using Parent::Parent;                                                \
        const char* ClassName() const override { return #Name; }             \
    }

// Silent exception: unwinds without an error box.
SF_EXCEPTION(EAbort, Exception);
SF_EXCEPTION(EConvertError, Exception);
SF_EXCEPTION(EListError, Exception);
SF_EXCEPTION(EStringListError, Exception);
SF_EXCEPTION(EStreamError, Exception);
SF_EXCEPTION(EReadError, EStreamError);
SF_EXCEPTION(EWriteError, EStreamError);
SF_EXCEPTION(EFilerError, EStreamError);
SF_EXCEPTION(EClassNotFound, EFilerError);
SF_EXCEPTION(EInvalidOperation, Exception);
SF_EXCEPTION(EAbstractError, Exception);
SF_EXCEPTION(EAssertionFailed, Exception);
SF_EXCEPTION(EInvalidCast, Exception);
SF_EXCEPTION(EInvalidPointer, Exception);
SF_EXCEPTION(EOutOfMemory, Exception);
SF_EXCEPTION(EOutOfResources, Exception);
SF_EXCEPTION(EComponentError, Exception);
SF_EXCEPTION(EInvalidArgument, Exception);
SF_EXCEPTION(EInvalidGraphic, Exception);
SF_EXCEPTION(EInvalidGraphicOperation, Exception);
SF_EXCEPTION(EPrinter, Exception);

// A failed operating-system call, carrying the system's own message for the error code.
class EOSError : public Exception {
public:
    EOSError(std::string message, uint32_t errorCode) : Exception(std::move(message)), FErrorCode(errorCode) {}
    uint32_t GetErrorCode() const { return FErrorCode; }
    const char* ClassName() const override { return "EOSError"; }

private:
    uint32_t FErrorCode = 0;
};

SF_EXCEPTION(EFCreateError, EStreamError);
SF_EXCEPTION(EFOpenError, EStreamError);
SF_EXCEPTION(EResNotFound, Exception);
SF_EXCEPTION(EIniFileException, Exception);

// The system's text for an error code, without the trailing line break.
std::string SysErrorMessage(uint32_t errorCode);
// Raises EOSError for GetLastError(), naming the failed operation when given.
[[noreturn]] void RaiseLastOSError(const std::string& operation = {});
// Raises EOSError for the given code.
[[noreturn]] void RaiseOSError(uint32_t errorCode, const std::string& operation = {});
// Raises the silent exception.
[[noreturn]] void Abort();
// Raises EAssertionFailed with the message when the condition is false.
void Assert(bool condition, const std::string& message);
// Raises EAbstractError: what an abstract virtual method does when it is called.
[[noreturn]] void AbstractError();
// Writes the exception's message to the debugger's output: for a failure that has nowhere to go
// (raised inside a hook, or while another failure is already on its way).
void TraceException(const std::exception_ptr& error) noexcept;
