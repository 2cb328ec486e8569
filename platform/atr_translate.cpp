#include <platform/atr_translate.h>

#include <string>

atr_translate::atr_translate(const char* messageTemplate) : m_template(messageTemplate ? messageTemplate : "") {}

void atr_translate::Substitute(int placeholder, std::string text)
{
    m_values.emplace_back(placeholder, std::move(text));
}

void atr_SubstituteFormat(atr_translate& builder, int placeholder, const char* text)
{
    builder.Substitute(placeholder, text ? text : "");
}

void atr_SubstituteFormat(atr_translate& builder, int placeholder, int value)
{
    builder.Substitute(placeholder, std::to_string(value));
}

atr_String atr_translate::Result() const
{
    std::string out;
    int placeholder = 0;
    for (std::size_t i = 0; i < m_template.size(); ++i) {
        const char c = m_template[i];
        const char next = i + 1 < m_template.size() ? m_template[i + 1] : '\0';
        if (c == '%' && next == '%') {
            out += '%';
            ++i;
            continue;
        }
        if (c == '%' && (next == 's' || next == 'i' || next == 'd')) {
            ++placeholder;
            const std::string* value = nullptr;
            for (const auto& entry : m_values)
                if (entry.first == placeholder)
                    value = &entry.second; // the last substitution wins
            if (value) {
                out += *value;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return atr_String(out.c_str());
}
