#pragma once

// Helpers shared by the processor test files.

#include "processor/PluginProcessor.h"
#include "RealtimeGuard.h"

#include <gtest/gtest.h>

#include <random>

namespace tltest
{
// Sets a parameter as the host would, from a value in the parameter's own units.
inline void setPlain (TirelAudioProcessor& processor, const juce::String& id, float plainValue)
{
    auto* p = processor.apvts.getParameter (id);
    ASSERT_NE (p, nullptr) << id;
    p->setValueNotifyingHost (p->convertTo0to1 (plainValue));
}

inline juce::AudioProcessor::BusesLayout layoutOf (const juce::AudioChannelSet& in, const juce::AudioChannelSet& out)
{
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (in);
    layout.outputBuses.add (out);
    return layout;
}

inline juce::AudioProcessor::BusesLayout layoutOf (const juce::AudioChannelSet& inAndOut)
{
    return layoutOf (inAndOut, inAndOut);
}

// Uniform noise in [-amplitude, amplitude), channel after channel from one generator, so that a
// caller holding the generator gets a fresh stretch with every buffer.
inline juce::AudioBuffer<float> noiseBuffer (int channels, int samples, std::mt19937& random, float amplitude)
{
    std::uniform_real_distribution<float> dist (-amplitude, amplitude);
    juce::AudioBuffer<float> buffer (channels, samples);
    for (int ch = 0; ch < channels; ++ch)
        for (int i = 0; i < samples; ++i)
            buffer.setSample (ch, i, dist (random));
    return buffer;
}

inline juce::AudioBuffer<float> noiseBuffer (int channels, int samples, unsigned seed, float amplitude = 0.5f)
{
    std::mt19937 random (seed);
    return noiseBuffer (channels, samples, random, amplitude);
}

struct RealtimeCounts
{
    long allocations = 0, frees = 0, locks = 0;

    bool none() const { return allocations == 0 && frees == 0 && locks == 0; }
};

// One processBlock call under a RealtimeGuard. The counts are read while the guard is still
// alive, so nothing done after the call (an assertion's message, say) is charged to it.
inline RealtimeCounts processGuarded (TirelAudioProcessor& processor, juce::AudioBuffer<float>& block,
                                      juce::MidiBuffer& midi)
{
    RealtimeCounts counts;
    RealtimeGuard guard;
    processor.processBlock (block, midi);
    counts.allocations = guard.allocations();
    counts.frees = guard.frees();
    counts.locks = guard.locks();
    return counts;
}
} // namespace tltest
