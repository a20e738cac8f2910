#include "presets/Presets.h"
#include "processor/PluginProcessor.h"

#include <cmath>
#include <cstdlib>

// Feeds arbitrary bytes to the preset loader as a file found in the presets folder. Any file
// must load or be refused without a crash, never touch the listening controls, and leave
// every parameter finite and in range; a refused file changes nothing.
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    // Made once and never destroyed: the fuzzer ends the process with exit().
    static auto* juce = new juce::ScopedJuceInitialiser_GUI();
    static auto& processor = *new TirelAudioProcessor();
    static auto* file = new juce::TemporaryFile (".tpreset");
    juce::ignoreUnused (juce);

    if (! file->getFile().replaceWithData (data, size))
        return 0;

    // Listening controls switched on: a preset must leave them alone.
    for (const char* id : { "bypass", "delta", "monitor" })
        processor.apvts.getParameter (id)->setValueNotifyingHost (1.0f);

    std::vector<float> before;
    for (auto* p : processor.getParameters())
        before.push_back (p->getValue());

    const bool loaded = presets::load (processor, file->getFile());

    const auto& params = processor.getParameters();
    for (int i = 0; i < params.size(); ++i)
    {
        const float value = params[i]->getValue();
        if (! std::isfinite (value) || value < 0.0f || value > 1.0f)
            std::abort();
        if (! loaded && value != before[(size_t) i])
            std::abort();
    }

    for (const char* id : { "bypass", "delta", "monitor" })
        if (processor.apvts.getParameter (id)->getValue() != 1.0f)
            std::abort();

    processor.undoManager.clearUndoHistory();
    return 0;
}
