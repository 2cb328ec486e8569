#ifndef PLATFORM_ATR_STRING_H
#define PLATFORM_ATR_STRING_H
// Reference-counted, immutable text. Copies share one representation; the
// last copy to go deletes it. An empty string reads as "".
#include <platform/zyl_Export.h>

class ZYL_EXPORT atr_String {
public:
    atr_String() noexcept = default;
    explicit atr_String(const char* text);
    atr_String(const atr_String& other) noexcept;
    atr_String(atr_String&& other) noexcept;
    atr_String& operator=(atr_String other) noexcept;
    ~atr_String();

    const char* Chars() const noexcept { return m_chars ? m_chars : ""; }
    bool IsEmpty() const noexcept { return m_chars == nullptr || *m_chars == '\0'; }
    int ShareCount() const noexcept { return m_count ? *m_count : 0; }
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
