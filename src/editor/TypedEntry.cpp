#include "editor/TypedEntry.h"

#include "processor/Parameters.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

std::optional<double> parseTyped (const juce::String& text)
{
    const std::string s = text.replaceCharacter (',', '.').toStdString();
    const char* p = s.data();
    const char* end = p + s.size();

    while (p < end && std::isspace ((unsigned char) *p))
        ++p;

    // from_chars reads the number the way the C conversion does, but independently of the
    // host's locale; it takes a minus sign only, so a plus sign is skipped here.
    if (p < end && *p == '+' && p + 1 < end && *(p + 1) != '-')
        ++p;

    double value = 0.0;
    const auto [next, error] = std::from_chars (p, end, value, std::chars_format::general);

    if (error != std::errc() || ! std::isfinite (value))
        return std::nullopt;

    const char* q = next;
    while (q < end && std::isspace ((unsigned char) *q))
        ++q;

    if (q < end && (*q == 'k' || *q == 'K'))
        value *= 1000.0;

    // "1e308k" is past every double.
    return std::isfinite (value) ? std::optional<double> (value) : std::nullopt;
}

juce::String hzString (double hz) { return hzText ((float) hz); }
juce::String dbString (double db) { return dbText ((float) db); }
