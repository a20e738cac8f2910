#include "processor/Parameters.h"

#include <cmath>
#include <cstdio>

namespace
{
    // Printed as the standard stream would: fixed with a count of decimals, or the general
    // notation (six significant digits, trailing zeros dropped).
    juce::String fixed (double value, int decimals)
    {
        char text[64];
        std::snprintf (text, sizeof (text), "%.*f", decimals, value);
        return text;
    }

    juce::String general (double value)
    {
        char text[64];
        std::snprintf (text, sizeof (text), "%g", value);
        return text;
    }

    std::unique_ptr<juce::AudioParameterFloat> floatParam (const juce::String& id, const juce::String& name,
                                                           juce::NormalisableRange<float> range, float defaultValue,
                                                           juce::String (*text) (float, int))
    {
        return std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { id, 1 }, name, range, defaultValue,
                                                            juce::AudioParameterFloatAttributes().withStringFromValueFunction (text));
    }

    std::unique_ptr<juce::AudioParameterChoice> choiceParam (const juce::String& id, const juce::String& name,
                                                             const juce::StringArray& items, int defaultIndex)
    {
        return std::make_unique<juce::AudioParameterChoice> (juce::ParameterID { id, 1 }, name, items, defaultIndex);
    }

    std::unique_ptr<juce::AudioParameterBool> boolParam (const juce::String& id, const juce::String& name, bool defaultValue)
    {
        return std::make_unique<juce::AudioParameterBool> (juce::ParameterID { id, 1 }, name, defaultValue);
    }

    const juce::StringArray channelNames { "Stereo", "Mid", "Side", "Left", "Right" };
}

juce::NormalisableRange<float> logRange (float min, float max)
{
    return { min, max,
             [] (float start, float end, float normalised) { return start * std::pow (end / start, normalised); },
             [] (float start, float end, float value) { return std::log (value / start) / std::log (end / start); },
             [] (float start, float end, float value) { return value < start ? start : std::min (end, value); } };
}

juce::String bandParamId (int band, const char* shortId)
{
    return "b" + juce::String (band + 1).paddedLeft ('0', 2) + "_" + shortId;
}

juce::AudioProcessorValueTreeState::ParameterLayout createLayout()
{
    juce::AudioProcessorValueTreeState::ParameterLayout layout;

    for (int band = 0; band < 24; ++band)
    {
        const auto id = [band] (const char* shortId) { return bandParamId (band, shortId); };
        const auto name = [band] (const char* suffix) { return "Band " + juce::String (band + 1) + " " + suffix; };

        layout.add (boolParam (id ("on"), name ("On"), false),
                    choiceParam (id ("type"), name ("Type"),
                                 { "Bell", "Low Shelf", "High Shelf", "Tilt", "Low Cut", "High Cut", "Notch" }, 0),
                    floatParam (id ("freq"), name ("Freq"), logRange (10.0f, 22000.0f), 1000.0f, hzText),
                    floatParam (id ("gain"), name ("Gain"), { -30.0f, 30.0f }, 0.0f, dbText),
                    floatParam (id ("q"), name ("Q"), logRange (0.1f, 40.0f), 1.0f, qText),
                    choiceParam (id ("slope"), name ("Slope"),
                                 { "6 dB/oct", "12 dB/oct", "18 dB/oct", "24 dB/oct", "36 dB/oct", "48 dB/oct" }, 3),
                    choiceParam (id ("ch"), name ("Channel"), channelNames, 0));
    }

    layout.add (floatParam ("scale", "Scale", { -100.0f, 100.0f }, 100.0f, pctText),
                floatParam ("output", "Output", { -24.0f, 24.0f }, 0.0f, dbText),
                boolParam ("match", "Level Match", true),
                boolParam ("bypass", "Bypass", false),
                boolParam ("delta", "Delta", false),
                choiceParam ("monitor", "Monitor", channelNames, 0));

    return layout;
}

juce::String dbText (float value, int)
{
    return (value > 0.05f ? "+" : "") + fixed (value, 1) + " dB";
}

// Values reach these texts through the host's normalised values, so 1000 Hz may arrive as
// 999.9999. The unit and the count of decimals follow the value as it would print, never
// giving "1000 Hz" or "10.00 kHz".
juce::String hzText (float value, int)
{
    if (value >= 999.9995f)
    {
        const double kHz = (double) value / 1000.0;
        return fixed (kHz, kHz < 9.995 ? 2 : 1) + " kHz";
    }

    return general (value) + " Hz";
}

juce::String qText (float value, int)
{
    return fixed (value, value < 9.995f ? 2 : 1);
}

juce::String pctText (float value, int)
{
    return (value > 0.5f ? "+" : "") + general (value) + " %";
}
