#ifndef PLATFORM_ZYLBASEXCEPTION_H
#define PLATFORM_ZYLBASEXCEPTION_H
/// \file
/// The ZylBasException class.

/// \class ZylBasException
/// \ingroup foundation
/// Base of every error raised by the solver's libraries. A raiser builds the
/// error as a local value and calls Throw(file, line), which records the
/// location and throws a copy of the most-derived type through ThrowCopy.
#include <platform/atr_String.h>
#include <platform/mem.h>
#include <platform/zyl_Export.h>

class ZYL_EXPORT ZylBasException : public mem_AllocationOperators {
public:
    ZylBasException() noexcept = default;
    /// Copies the message parts and the recorded location.
    ZylBasException(const ZylBasException& other) noexcept = default;
    ZylBasException& operator=(const ZylBasException&) = delete;
    virtual ~ZylBasException();

    /// "<AsString> [<file>:<line>]" for developers.
    virtual atr_String DeveloperReport() const;
    /// The message alone, for users.
    virtual atr_String UserReport() const;
    /// The message.
    virtual atr_String AsString() const = 0;
    /// Throws a copy of this error as its most-derived type.
    [[noreturn]] virtual void ThrowCopy() const = 0;
    /// The error's number.
    virtual int ErrorCode() const = 0;

    /// Records file and line as the raise site and throws through ThrowCopy.
    [[noreturn]] void Throw(const char* file, int line);

    /// The source file of the raise site (null before Throw).
    const char* File() const noexcept { return m_file; }
    /// The line of the raise site (0 before Throw).
    int Line() const noexcept { return m_line; }

private:
    const char* m_file = nullptr;
    int m_line = 0;
};

/// \ingroup foundation
/// Raised by the allocator when it cannot serve a request.
class ZYL_EXPORT mem_AllocationFailure : public ZylBasException {
public:
    /// A refused request of size bytes.
    explicit mem_AllocationFailure(std::size_t size) noexcept : m_size(size) {}
    atr_String AsString() const override;
    [[noreturn]] void ThrowCopy() const override;
    int ErrorCode() const override { return 1; }
    /// The bytes requested.
    std::size_t RequestedSize() const noexcept { return m_size; }

private:
    std::size_t m_size;
};

#endif
