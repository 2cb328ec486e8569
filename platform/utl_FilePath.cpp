#include <platform/utl_FilePath.h>

#include <sys/stat.h>

#include <cstring>
#include <string>

namespace {

atr_String Join(const char* first, const char* second)
{
    std::string path = first != nullptr ? first : "";
    if (second != nullptr && *second != '\0') {
        if (!path.empty() && path.back() != '/')
            path += '/';
        path += second;
    }
    return atr_String(path.c_str());
}

} // namespace

utl_FilePath::utl_FilePath(const char* first, const char* second) : m_path(Join(first, second)) {}

utl_FilePath::utl_FilePath(const atr_String& first, const char* second) : m_path(Join(first.Chars(), second)) {}

bool utl_FilePath::Exists() const
{
    if (m_path.IsEmpty())
        return false;
    struct stat info;
    return ::stat(m_path.Chars(), &info) == 0;
}
