#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

/** The host-automatable parameters: 24 bands of seven, then six globals, in a fixed order
    that hosts rely on for automation.
*/
juce::AudioProcessorValueTreeState::ParameterLayout createLayout();

/** A range mapped so that equal steps of the normalised value are equal ratios. */
juce::NormalisableRange<float> logRange (float min, float max);

/** Identifier of a band parameter: band index 0..23 and short id ("on", "type", "freq",
    "gain", "q", "slope", "ch") give "b01_on" ... "b24_ch". */
juce::String bandParamId (int band, const char* shortId);

/** The band parameters' short ids in registration order. */
inline constexpr std::array<const char*, 7> kBandParamIds { "on", "type", "freq", "gain", "q", "slope", "ch" };

/** The global parameters' ids in registration order, after the bands. */
inline constexpr std::array<const char*, 6> kGlobalParamIds { "scale", "output", "match", "bypass", "delta", "monitor" };

// Value texts shown by hosts and the editor; the length argument is ignored.
juce::String dbText (float value, int maximumLength = 0);
juce::String hzText (float value, int maximumLength = 0);
juce::String qText (float value, int maximumLength = 0);
juce::String pctText (float value, int maximumLength = 0);
