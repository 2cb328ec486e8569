#include <platform/ZylDroviUnicodeString.h>

namespace {

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at text[i], advancing i; ill-formed input gives U+FFFD.
char32_t DecodeUtf8(const unsigned char* text, std::size_t length, std::size_t& i)
{
    const unsigned char lead = text[i++];
    if (lead < 0x80)
        return lead;
    int extra;
    char32_t c;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
        return kReplacement;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= length || (text[i] & 0xC0) != 0x80)
            return kReplacement;
        c = (c << 6) | (text[i++] & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return kReplacement;
    return c;
}

std::string NormalizedUtf8(const char* utf8)
{
    std::string out;
    if (utf8 == nullptr)
        return out;
    const auto* text = reinterpret_cast<const unsigned char*>(utf8);
    std::size_t length = 0;
    while (text[length] != 0)
        ++length;
    for (std::size_t i = 0; i < length;)
        AppendUtf8(out, DecodeUtf8(text, length, i));
    return out;
}

} // namespace

ZylDroviUnicodeString::ZylDroviUnicodeString(const char* utf8) : m_utf8(NormalizedUtf8(utf8)) {}

ZylDroviUnicodeString::ZylDroviUnicodeString(const atr_String& utf8) : m_utf8(NormalizedUtf8(utf8.Chars())) {}

ZylDroviUnicodeString::ZylDroviUnicodeString(const char16_t* utf16)
{
    if (utf16 == nullptr)
        return;
    for (std::size_t i = 0; utf16[i] != 0;) {
        char32_t c = utf16[i++];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (utf16[i] >= 0xDC00 && utf16[i] <= 0xDFFF)
                c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i++] - 0xDC00);
            else
                c = kReplacement;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(m_utf8, c);
    }
}

std::u16string ZylDroviUnicodeString::Utf16() const
{
    std::u16string out;
    const auto* text = reinterpret_cast<const unsigned char*>(m_utf8.data());
    for (std::size_t i = 0; i < m_utf8.size();) {
        const char32_t c = DecodeUtf8(text, m_utf8.size(), i);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::size_t ZylDroviUnicodeString::Length() const
{
    std::size_t count = 0;
    for (const char c : m_utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    return count;
}
