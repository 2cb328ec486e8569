#include <platform/dorv/ZylDorvException.h>

#include <string>

void ZylDorvDebugOutString::Append(const char* text)
{
    if (text == nullptr || *text == '\0')
        return;
    std::string joined = m_text.Chars();
    joined += text;
    m_text = atr_String(joined.c_str());
}

ZylDorvException::ZylDorvException(std::uint16_t number, const char* description)
    : m_number(number), m_description(description)
{
}

ZylDorvException::ZylDorvException(std::uint16_t number, const char* description, const char* detail)
    : ZylBasException(atr_String(detail)), m_number(number), m_description(description)
{
}

ZylDorvException::~ZylDorvException() = default;

void ZylDorvException::Write(ZylDorvDebugOutString& out) const { out.Append(m_description.Chars()); }

void ZylDorvException::ThrowCopy() const { throw ZylDorvException(*this); }
