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

    /// "<AsString> [<file>:<line>]" for developers, the detail (if any) after
    /// the message; a raise made in a helper file of the class reads
    /// "<AsString> [<file> (<site>:<line>)]".
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
    /// Throw for a raise made in a helper file on behalf of the class whose
    /// source path is `file`: `site` names the helper file, `line` counts in it.
    [[noreturn]] void Throw(const char* file, const char* site, int line);

    /// The source file of the raise site (null before Throw).
    const char* File() const noexcept { return m_file; }
    /// The helper file that raised; null when the raise was in File() itself.
    const char* Site() const noexcept { return m_site; }
    /// The line of the raise: in Site() when there is one, else in File().
    int Line() const noexcept { return m_line; }
    /// What went wrong beyond the message; "" when the error has no detail.
    const char* Detail() const noexcept { return m_detail.Chars(); }

protected:
    /// For an error whose reports to developers carry `detail`.
    explicit ZylBasException(const atr_String& detail) noexcept : m_detail(detail) {}

private:
    const char* m_file = nullptr;
    const char* m_site = nullptr;
    int m_line = 0;
    atr_String m_detail;
};

/// \ingroup foundation
/// Raised by the allocator when it cannot serve a request.
class ZYL_EXPORT mem_AllocationFailure : public ZylBasException {
public:
    /// A refused request of size bytes.
    explicit mem_AllocationFailure(std::size_t size) noexcept : m_size(size) {}
    /// A refused request of size bytes, with where it was refused (another
    /// process of a collective call, for instance) in its detail.
    mem_AllocationFailure(std::size_t size, const atr_String& detail) noexcept
        : ZylBasException(detail), m_size(size)
    {
    }
    atr_String AsString() const override;
    [[noreturn]] void ThrowCopy() const override;
    int ErrorCode() const override { return 1; }
    /// The bytes requested.
    std::size_t RequestedSize() const noexcept { return m_size; }

private:
    std::size_t m_size;
};

#endif
