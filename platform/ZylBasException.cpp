#include <platform/ZylBasException.h>

#include <cstdlib>
#include <string>

ZylBasException::~ZylBasException() = default;

atr_String ZylBasException::DeveloperReport() const
{
    std::string report = AsString().Chars();
    if (m_file != nullptr)
        report += " [" + std::string(m_file) + ":" + std::to_string(m_line) + "]";
    return atr_String(report.c_str());
}

atr_String ZylBasException::UserReport() const { return AsString(); }

void ZylBasException::Throw(const char* file, int line)
{
    m_file = file;
    m_line = line;
    ThrowCopy();
    std::abort(); // every ThrowCopy throws; a returning override is a bug in it
}
