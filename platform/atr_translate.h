#ifndef PLATFORM_ATR_TRANSLATE_H
#define PLATFORM_ATR_TRANSLATE_H
// Message builder. The template text is the key of the translation step; this
// stand-in translates every key to itself. Placeholders are the template's
// printf-style directives (%s, %i, %d), numbered from 1 in order of
// appearance; "%%" is a literal percent sign. A placeholder left without a
// value stays as written.
#include <platform/atr_String.h>
#include <platform/zyl_Export.h>

#include <string>
#include <vector>

class ZYL_EXPORT atr_translate {
public:
    explicit atr_translate(const char* messageTemplate);
    atr_String Result() const;

private:
    friend void atr_SubstituteFormat(atr_translate&, int, const char*);
    friend void atr_SubstituteFormat(atr_translate&, int, int);
    void Substitute(int placeholder, std::string text);

    std::string m_template;
    std::vector<std::pair<int, std::string>> m_values;
};

ZYL_EXPORT void atr_SubstituteFormat(atr_translate& builder, int placeholder, const char* text);
ZYL_EXPORT void atr_SubstituteFormat(atr_translate& builder, int placeholder, int value);

#endif
