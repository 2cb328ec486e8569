#include <platform/ZylBasException.h>

#include <cstdlib>
#include <string>

ZylBasException::~ZylBasException() = default;

atr_String ZylBasException::DeveloperReport() const
{
    std::string report = AsString().Chars();
    if (!m_detail.IsEmpty())
        report += std::string(" ") + m_detail.Chars();
    if (m_file == nullptr)
        return atr_String(report.c_str());
    // The class's path stays first, as callers match on it; the helper file
    // only says where inside the class the line counts.
    const std::string line = std::to_string(m_line);
    report += " [" + std::string(m_file);
    report += m_site != nullptr ? " (" + std::string(m_site) + ":" + line + ")]" : ":" + line + "]";
    return atr_String(report.c_str());
}

atr_String ZylBasException::UserReport() const { return AsString(); }

void ZylBasException::Throw(const char* file, int line) { Throw(file, nullptr, line); }

void ZylBasException::Throw(const char* file, const char* site, int line)
{
    m_file = file;
    m_site = site;
    m_line = line;
    ThrowCopy();
    std::abort(); // every ThrowCopy throws; a returning override is a bug in it
}
