#include "processor/XmlText.h"

#include <juce_core/juce_core.h>

#include <cstring>
#include <string_view>

bool isParsableXmlText (const char* text, int length)
{
    if (text == nullptr || length <= 0 || ! juce::CharPointer_UTF8::isValidString (text, length))
        return false;

    // The text ends at its first zero byte, as the parser reads it.
    const std::string_view all (text, ::strnlen (text, (size_t) length));

    // The declaration may open the document, after white space.
    auto start = all.find_first_not_of (" \t\r\n");
    if (start != std::string_view::npos && all.substr (start, 2) == "<?")
    {
        const auto end = all.find ("?>", start + 2);
        if (end == std::string_view::npos)
            return false;
        start = end + 2;
    }

    return start == std::string_view::npos || all.find ("<?", start) == std::string_view::npos;
}
