#ifndef PLATFORM_ZYLDROVIUNICODESTRING_H
#define PLATFORM_ZYLDROVIUNICODESTRING_H
// Unicode text as the database API takes it for file paths. Made from UTF-8
// (char, atr_String) or UTF-16 (char16_t) text; kept as UTF-8, which is what
// the file system is given. Ill-formed input sequences become U+FFFD.
#include <platform/atr_String.h>
#include <platform/zyl_Export.h>

#include <cstddef>
#include <string>

class ZYL_EXPORT ZylDroviUnicodeString {
public:
    ZylDroviUnicodeString() = default;
    explicit ZylDroviUnicodeString(const char* utf8);
    explicit ZylDroviUnicodeString(const atr_String& utf8);
    explicit ZylDroviUnicodeString(const char16_t* utf16);

    const char* Utf8() const noexcept { return m_utf8.c_str(); }
    std::u16string Utf16() const;
    std::size_t Length() const; // code points
    bool IsEmpty() const noexcept { return m_utf8.empty(); }
    friend bool operator==(const ZylDroviUnicodeString& a, const ZylDroviUnicodeString& b) { return a.m_utf8 == b.m_utf8; }

private:
    std::string m_utf8;
};

#endif
