#include "BundleFixture.h"
#include "../StressTime.h"

#include <atomic>
#include <random>
#include <thread>

using namespace tlbundle;

// The built plug-in in a host under strain, for a bounded time (TIREL_STRESS_SECONDS, default
// 15): the audio thread plays random block sizes from 1 to 4096 and automates random
// parameters among all 174, while the message thread saves and loads the state (switching the
// mode with it), opens and closes the editor, and every few seconds the host re-prepares the
// plug-in at another sample rate, mono or stereo.
namespace
{
struct HostAudio
{
    juce::AudioPluginInstance& plugin;
    int channels;
    std::atomic<bool> running { true };
    std::atomic<long>& blocks;
    tltest::OutputWatch& output;
    std::thread thread;

    HostAudio (juce::AudioPluginInstance& p, int ch, unsigned seed, std::atomic<long>& b, tltest::OutputWatch& o)
        : plugin (p), channels (ch), blocks (b), output (o), thread ([this, seed] { run (seed); }) {}

    ~HostAudio()
    {
        running = false;
        thread.join();
    }

    void run (unsigned seed)
    {
        std::mt19937 random (seed);
        std::uniform_int_distribution<int> sizes (1, 4096);
        std::uniform_real_distribution<float> unit (0.0f, 1.0f);
        juce::AudioBuffer<float> buffer (channels, 4096);
        juce::MidiBuffer midi;
        const auto& params = plugin.getParameters();

        while (running)
        {
            // Automation as a host plays it: a few parameters move before each block.
            for (int i = 0; i < 4; ++i)
                params[std::uniform_int_distribution<int> (0, params.size() - 1) (random)]->setValue (unit (random));

            const int n = sizes (random);
            juce::AudioBuffer<float> block (buffer.getArrayOfWritePointers(), channels, 0, n);
            for (int ch = 0; ch < channels; ++ch)
                for (int i = 0; i < n; ++i)
                    block.setSample (ch, i, unit (random) - 0.5f);

            plugin.processBlock (block, midi);

            output.scan (block);
            ++blocks;
        }
    }
};

// The saved state with another processing mode in it.
juce::MemoryBlock withMode (const juce::MemoryBlock& state, int mode)
{
    juce::MemoryBlock result;
    if (auto xml = juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize()))
    {
        xml->setAttribute ("mode", mode);
        juce::AudioProcessor::copyXmlToBinary (*xml, result);
    }
    return result;
}
} // namespace

TEST_F (Bundle, StressThroughTheHost)
{
    auto plugin = load (48000.0, 4096);
    ASSERT_NE (plugin, nullptr);

    struct Configuration { double rate; int channels; };
    const Configuration configurations[] { { 44100.0, 2 }, { 48000.0, 1 }, { 96000.0, 2 }, { 192000.0, 2 }, { 48000.0, 2 }, { 88200.0, 1 } };

    std::atomic<long> blocks { 0 };
    tltest::OutputWatch output;
    std::mt19937 random (23);
    long stateLoads = 0, editorsOpened = 0, preparations = 0;

    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) (1000 * tltest::stressSeconds (15));
    for (int round = 0; juce::Time::getMillisecondCounter() < end; ++round)
    {
        const auto& config = configurations[(size_t) round % std::size (configurations)];
        const auto set = config.channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (set);
        layout.outputBuses.add (set);
        plugin->releaseResources();
        ASSERT_TRUE (plugin->setBusesLayout (layout));
        plugin->prepareToPlay (config.rate, 4096);
        ++preparations;

        HostAudio audio (*plugin, config.channels, (unsigned) round, blocks, output);
        const auto roundEnd = std::min (end, juce::Time::getMillisecondCounter() + 2500);

        while (juce::Time::getMillisecondCounter() < roundEnd)
        {
            juce::MemoryBlock state;
            plugin->getStateInformation (state);
            const auto changed = withMode (state, std::uniform_int_distribution<int> (0, 2) (random));
            plugin->setStateInformation (changed.getData(), (int) changed.getSize());
            ++stateLoads;

            if (std::uniform_int_distribution<int> (0, 3) (random) == 0)
            {
                std::unique_ptr<juce::AudioProcessorEditor> editor (plugin->createEditorIfNeeded());
                ASSERT_NE (editor, nullptr);
                editor->addToDesktop (0);
                editor->setVisible (true);
                juce::MessageManager::getInstance()->runDispatchLoopUntil (60);
                ++editorsOpened;
            }
            else
            {
                juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
            }
        }
    }

    plugin->releaseResources();

    std::cout << "[ stress   ] " << tltest::stressSeconds (15) << " s: " << blocks << " blocks, " << preparations << " preparations, "
              << stateLoads << " state loads, " << editorsOpened << " editors opened, peak " << output.peak.load() << "\n";
    EXPECT_GT (blocks.load(), 100);
    EXPECT_TRUE (output.finite.load());
    EXPECT_LT (output.peak.load(), 1e7f);        // many stacked boosts are allowed; a runaway filter is not
}
