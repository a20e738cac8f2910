#include "processor/PluginProcessor.h"

#include <cmath>
#include <cstdlib>

// Feeds arbitrary bytes to the state loader as a host would hand over a damaged project. Any
// input must load or be ignored without a crash, leave every parameter finite and in range,
// and save again into a chunk that loads.
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    // Made once and never destroyed: the fuzzer ends the process with exit(), when the order in
    // which statics would be torn down is no longer the framework's.
    static auto* juce = new juce::ScopedJuceInitialiser_GUI();
    static auto& processor = *new TirelAudioProcessor();
    static auto& reloaded = *new TirelAudioProcessor();
    juce::ignoreUnused (juce);

    processor.setStateInformation (data, (int) size);

    for (auto* p : processor.getParameters())
    {
        const float value = p->getValue();
        if (! std::isfinite (value) || value < 0.0f || value > 1.0f)
            std::abort();
    }

    if (processor.settings().mode < 0 || processor.settings().mode > 2)
        std::abort();

    juce::MemoryBlock saved;
    processor.getStateInformation (saved);

    reloaded.setStateInformation (saved.getData(), (int) saved.getSize());

    // A value off the float grid of its logarithmic mapping may move by a rounding step when
    // it is stored and read back; anything more is a lost setting.
    for (int i = 0; i < processor.getParameters().size(); ++i)
        if (std::abs (reloaded.getParameters()[i]->getValue() - processor.getParameters()[i]->getValue()) > 1e-6f)
            std::abort();

    return 0;
}
