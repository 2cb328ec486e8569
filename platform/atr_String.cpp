#include <platform/atr_String.h>

#include <cstring>
#include <utility>

atr_String::atr_String(const char* text)
{
    if (text == nullptr || *text == '\0')
        return;
    const std::size_t length = std::strlen(text);
    m_chars = new char[length + 1];
    std::memcpy(m_chars, text, length + 1);
    try {
        m_count = new int(1);
    } catch (...) {
        delete[] m_chars;
        throw;
    }
}

atr_String::atr_String(const atr_String& other) noexcept : m_chars(other.m_chars), m_count(other.m_count)
{
    if (m_count)
        ++*m_count;
}

atr_String::atr_String(atr_String&& other) noexcept
    : m_chars(std::exchange(other.m_chars, nullptr)), m_count(std::exchange(other.m_count, nullptr))
{
}

atr_String& atr_String::operator=(atr_String other) noexcept
{
    std::swap(m_chars, other.m_chars);
    std::swap(m_count, other.m_count);
    return *this;
}

atr_String::~atr_String() { Release(); }

void atr_String::Release() noexcept
{
    if (m_count && --*m_count == 0) {
        delete[] m_chars;
        delete m_count;
    }
    m_chars = nullptr;
    m_count = nullptr;
}
