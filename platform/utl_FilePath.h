#ifndef PLATFORM_UTL_FILEPATH_H
#define PLATFORM_UTL_FILEPATH_H
// A file path made of two components joined with '/'. An empty component
// adds nothing, so utl_FilePath(name, "") is the path `name` itself.
#include <platform/atr_String.h>
#include <platform/zyl_Export.h>

class ZYL_EXPORT utl_FilePath {
public:
    utl_FilePath(const char* first, const char* second);
    utl_FilePath(const atr_String& first, const char* second);

    const char* Chars() const noexcept { return m_path.Chars(); }
    // True when something (file, directory, ...) exists at the path.
    bool Exists() const;

private:
    atr_String m_path;
};

#endif
