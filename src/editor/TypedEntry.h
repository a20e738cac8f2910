#pragma once

#include <juce_core/juce_core.h>

#include <optional>

/** What the user types into a value box or a knob's text box: a leading number, a decimal
    comma read as a point, and a "k" after it for thousands ("2k", "1,5k", "350 Hz", "-4.5 dB").
    Nothing when the text does not start with a finite number. The owner limits the value.
*/
std::optional<double> parseTyped (const juce::String& text);

/** The editor's frequency and gain texts: the same as the parameters' value texts. */
juce::String hzString (double hz);
juce::String dbString (double db);
