#include "editor/TypedEntry.h"

#include <cmath>
#include <cstdlib>

// Feeds arbitrary bytes as text typed into a value box or a knob's box. The rule returns a
// finite number or nothing, and its answer does not depend on what follows the number.
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const auto text = juce::String::fromUTF8 (reinterpret_cast<const char*> (data), (int) size);
    const auto value = parseTyped (text);

    if (value.has_value())
    {
        if (! std::isfinite (*value))
            std::abort();

        // The texts the boxes show for any value they may receive.
        if (hzString (std::abs (*value)).isEmpty() || dbString (*value).isEmpty())
            std::abort();

        // Typing more after a complete entry, separated by a space, changes nothing.
        if (parseTyped (text + " 7") != value)
            std::abort();
    }

    return 0;
}
