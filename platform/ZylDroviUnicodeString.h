#ifndef PLATFORM_ZYLDROVIUNICODESTRING_H
#define PLATFORM_ZYLDROVIUNICODESTRING_H
/// \file
/// The ZylDroviUnicodeString class.

/// \class ZylDroviUnicodeString
/// \ingroup foundation
/// Unicode text as the database API takes it for file paths. Made from UTF-8
/// (char, atr_String) or UTF-16 (char16_t) text; kept as UTF-8, which is what
/// the file system is given. Ill-formed input sequences become U+FFFD.
#include <platform/atr_String.h>
#include <platform/zyl_Export.h>

#include <cstddef>
#include <string>

class ZYL_EXPORT ZylDroviUnicodeString {
public:
    ZylDroviUnicodeString() = default;
    /// From NUL-terminated UTF-8 text.
    explicit ZylDroviUnicodeString(const char* utf8);
    /// From UTF-8 text in an atr_String.
    explicit ZylDroviUnicodeString(const atr_String& utf8);
    /// From NUL-terminated UTF-16 text.
    explicit ZylDroviUnicodeString(const char16_t* utf16);

    /// The text as NUL-terminated UTF-8.
    const char* Utf8() const noexcept { return m_utf8.c_str(); }
    /// The text as UTF-16.
    std::u16string Utf16() const;
    std::size_t Length() const; ///< code points
    /// True for the empty text.
    bool IsEmpty() const noexcept { return m_utf8.empty(); }
    /// Equal when the UTF-8 forms are equal byte by byte.
    friend bool operator==(const ZylDroviUnicodeString& a, const ZylDroviUnicodeString& b) { return a.m_utf8 == b.m_utf8; }

private:
    std::string m_utf8;
};

#endif
