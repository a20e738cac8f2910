#include "editor/GraphView.h"
#include "editor/PluginEditor.h"
#include "presets/Presets.h"
#include "processor/BandParams.h"
#include "ProcessorTestUtils.h"
#include "StressTime.h"

#include <atomic>
#include <thread>

// The audio thread, the filter builder and the message thread at work together, as in a
// session: the audio thread plays random block sizes while the message thread automates,
// edits, loads states and presets, switches A/B and modes, and runs an editor with its timer.
// Bounded in time; TIREL_STRESS_SECONDS sets how long (default 8).
namespace
{
struct AudioThread
{
    TirelAudioProcessor& processor;
    std::atomic<bool> running { true };
    std::atomic<long> blocks { 0 }, allocations { 0 }, frees { 0 }, locks { 0 };
    tltest::OutputWatch output;
    std::thread thread;

    explicit AudioThread (TirelAudioProcessor& p) : processor (p), thread ([this] { run(); }) {}
    ~AudioThread() { stop(); }

    void stop()
    {
        running = false;
        if (thread.joinable())
            thread.join();
    }

    void run()
    {
        std::mt19937 random (17);
        std::uniform_int_distribution<int> sizes (1, 4096);
        std::uniform_real_distribution<float> noise (-0.5f, 0.5f);
        juce::AudioBuffer<float> buffer (2, 4096);
        juce::MidiBuffer midi;

        while (running)
        {
            const int n = sizes (random);
            juce::AudioBuffer<float> block (buffer.getArrayOfWritePointers(), 2, 0, n);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < n; ++i)
                    block.setSample (ch, i, noise (random));

            const auto counts = tltest::processGuarded (processor, block, midi);
            allocations += counts.allocations;
            frees += counts.frees;
            locks += counts.locks;

            output.scan (block);
            ++blocks;
            std::this_thread::yield();
        }
    }
};
} // namespace

TEST (ConcurrencyStress, AudioBuilderAndMessageThreadsTogether)
{
    TirelAudioProcessor processor;
    processor.setRateAndBufferSizeDetails (48000.0, 4096);
    processor.prepareToPlay (48000.0, 4096);

    // A preset and two saved states to load while playing.
    juce::TemporaryFile preset (".tpreset");
    const BandParams params (processor);
    params.set (0, "on", 1.0f);
    params.set (0, "gain", 9.0f);
    ASSERT_TRUE (presets::save (processor, preset.getFile()).has_value());
    juce::MemoryBlock stateA, stateB;
    processor.getStateInformation (stateA);
    params.set (3, "on", 1.0f);
    params.set (3, "type", (float) tl::LowCut);
    processor.chooseMode (1);
    processor.getStateInformation (stateB);

    auto editor = std::make_unique<TirelAudioProcessorEditor> (processor);
    AudioThread audio (processor);

    std::mt19937 random (5);
    auto pick = [&random] (int n) { return std::uniform_int_distribution<int> (0, n - 1) (random); };
    const auto& all = processor.getParameters();
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) (1000 * tltest::stressSeconds (8));
    long actions = 0;

    while (juce::Time::getMillisecondCounter() < end)
    {
        switch (pick (10))
        {
            case 0: case 1: case 2:
                for (int i = 0; i < 20; ++i)
                {
                    auto* p = all[pick (all.size() - 6)];             // bands only: the globals below
                    p->setValueNotifyingHost (std::uniform_real_distribution<float> (0.0f, 1.0f) (random));
                }
                break;
            case 3: processor.setStateInformation (pick (2) == 0 ? stateA.getData() : stateB.getData(),
                                                   (int) (pick (2) == 0 ? stateA.getSize() : stateB.getSize())); break;
            case 4: processor.selectCompare (pick (2)); break;
            case 5: processor.copyToOtherCompareSlot(); break;
            case 6: processor.chooseMode (pick (3)); break;
            case 7: presets::load (processor, preset.getFile()); break;
            case 8:
                for (const char* id : { "scale", "output", "match", "bypass", "delta", "monitor" })
                    if (pick (3) == 0)
                        processor.apvts.getParameter (id)->setValueNotifyingHost (std::uniform_real_distribution<float> (0.0f, 1.0f) (random));
                break;
            default:
                if (pick (4) == 0)
                    editor = std::make_unique<TirelAudioProcessorEditor> (processor);
                break;
        }

        editor->content.timerCallback();
        processor.undoManager.clearUndoHistory();
        ++actions;
    }

    audio.stop();
    editor.reset();

    std::cout << "[ stress   ] " << tltest::stressSeconds (8) << " s: " << audio.blocks << " blocks, " << actions
              << " message-thread actions, peak " << audio.output.peak.load() << "\n";
    EXPECT_GT (audio.blocks.load(), 50);
    EXPECT_TRUE (audio.output.finite.load());
    // Random settings may stack many boosts (24 bands of up to +30 dB); what must never happen
    // is a filter running away, which grows without bound within a few blocks.
    EXPECT_LT (audio.output.peak.load(), 1e7f);
    EXPECT_EQ (audio.allocations.load(), 0);
    EXPECT_EQ (audio.frees.load(), 0);
    EXPECT_EQ (audio.locks.load(), 0);
}
