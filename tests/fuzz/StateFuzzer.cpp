#include "processor/PluginProcessor.h"

#include <cmath>
#include <cstdlib>

// Feeds arbitrary bytes to the state loader as a host would hand over a damaged project. Any
// input must load or be ignored without a crash, leave every parameter finite and in range,
// and save again into a chunk that loads.
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    static juce::ScopedJuceInitialiser_GUI juce;
    static TirelAudioProcessor processor, reloaded;

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

    for (int i = 0; i < processor.getParameters().size(); ++i)
        if (reloaded.getParameters()[i]->getValue() != processor.getParameters()[i]->getValue())
            std::abort();

    return 0;
}
