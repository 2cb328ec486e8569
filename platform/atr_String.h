#ifndef PLATFORM_ATR_STRING_H
#define PLATFORM_ATR_STRING_H
/// \file
/// The atr_String class.

/// \class atr_String
/// \ingroup foundation
/// Reference-counted, immutable text. Copies share one representation; the
/// last copy to go deletes it. An empty string reads as "".
#include <platform/zyl_Export.h>

class ZYL_EXPORT atr_String {
public:
    atr_String() noexcept = default;
    /// A copy of the NUL-terminated text.
    explicit atr_String(const char* text);
    /// Shares other's representation.
    atr_String(const atr_String& other) noexcept;
    /// Takes other's representation; other becomes empty.
    atr_String(atr_String&& other) noexcept;
    /// Takes other's representation, releasing this string's.
    atr_String& operator=(atr_String other) noexcept;
    ~atr_String();

    /// The text, NUL-terminated ("" when empty).
    const char* Chars() const noexcept { return m_chars ? m_chars : ""; }
    /// True for the empty text.
    bool IsEmpty() const noexcept { return m_chars == nullptr || *m_chars == '\0'; }
    /// The number of strings sharing this representation (0 without one).
    int ShareCount() const noexcept { return m_count ? *m_count : 0; }
    /// True when both strings share one representation.
    bool SharesRepresentationWith(const atr_String& other) const noexcept
    {
        return m_chars != nullptr && m_chars == other.m_chars;
    }

private:
    void Release() noexcept;

    char* m_chars = nullptr;
    int* m_count = nullptr;
};

#endif
