#include "BundleFixture.h"

using namespace tlbundle;

TEST_F (Bundle, Identity)
{
    EXPECT_EQ (description.name, "Tirel");
    EXPECT_EQ (description.manufacturerName, "Quillonsound");
    EXPECT_EQ (description.version, "0.1.0");
    EXPECT_EQ (description.category, "Fx");
    EXPECT_FALSE (description.isInstrument);
    EXPECT_EQ (description.pluginFormatName, "VST3");

    auto plugin = load();
    ASSERT_NE (plugin, nullptr);
    EXPECT_EQ (plugin->getName(), "Tirel");
    EXPECT_FALSE (plugin->acceptsMidi());
    EXPECT_FALSE (plugin->producesMidi());
    EXPECT_EQ (plugin->getTailLengthSeconds(), 0.0);
    EXPECT_TRUE (plugin->hasEditor());
}

TEST_F (Bundle, ParametersInOrderWithNamesAndDefaultTexts)
{
    auto plugin = load();
    ASSERT_NE (plugin, nullptr);

    const auto& params = plugin->getParameters();
    const auto ids = expectedIds();
    ASSERT_EQ (params.size(), ids.size());

    const char* suffixes[] = { "On", "Type", "Freq", "Gain", "Q", "Slope", "Channel" };
    const char* bandDefaults[] = { "Off", "Bell", "1.00 kHz", "0.0 dB", "1.00", "24 dB/oct", "Stereo" };
    const char* globalNames[] = { "Scale", "Output", "Level Match", "Bypass", "Delta", "Monitor" };
    const char* globalDefaults[] = { "+100 %", "0.0 dB", "On", "Off", "Off", "Stereo" };

    for (int i = 0; i < params.size(); ++i)
    {
        auto* p = dynamic_cast<juce::HostedAudioProcessorParameter*> (params[i]);
        ASSERT_NE (p, nullptr);

        const bool isBand = i < 24 * 7;
        const auto name = isBand ? "Band " + juce::String (i / 7 + 1) + " " + suffixes[i % 7] : juce::String (globalNames[i - 24 * 7]);
        const auto defaultText = isBand ? bandDefaults[i % 7] : globalDefaults[i - 24 * 7];

        EXPECT_EQ (p->getParameterID(), hostParameterId (ids[i])) << ids[i];
        EXPECT_EQ (p->getName (100), name) << ids[i];
        EXPECT_EQ (p->getText (p->getDefaultValue(), 100), defaultText) << ids[i];
        EXPECT_EQ (p->getText (p->getValue(), 100), defaultText) << ids[i];
        EXPECT_TRUE (p->isAutomatable()) << ids[i];
    }

    auto* bypass = plugin->getBypassParameter();
    ASSERT_NE (bypass, nullptr);
    EXPECT_EQ (bypass->getName (100), "Bypass");
    EXPECT_EQ (bypass->getParameterIndex(), ids.indexOf ("bypass"));
}

TEST_F (Bundle, LayoutsAndLatency)
{
    auto plugin = load();
    ASSERT_NE (plugin, nullptr);

    using Set = juce::AudioChannelSet;
    const auto layout = [] (const Set& in, const Set& out)
    {
        juce::AudioProcessor::BusesLayout l;
        l.inputBuses.add (in);
        l.outputBuses.add (out);
        return l;
    };

    EXPECT_TRUE (plugin->checkBusesLayoutSupported (layout (Set::stereo(), Set::stereo())));
    EXPECT_TRUE (plugin->checkBusesLayoutSupported (layout (Set::mono(), Set::mono())));
    EXPECT_FALSE (plugin->checkBusesLayoutSupported (layout (Set::mono(), Set::stereo())));

    EXPECT_TRUE (plugin->setBusesLayout (layout (Set::mono(), Set::mono())));
    EXPECT_EQ (plugin->getTotalNumInputChannels(), 1);
    EXPECT_TRUE (plugin->setBusesLayout (layout (Set::stereo(), Set::stereo())));

    plugin->prepareToPlay (48000.0, 512);
    EXPECT_EQ (plugin->getLatencySamples(), 0);
    plugin->releaseResources();
}

TEST_F (Playback, BellRaisesASineByItsGain)
{
    set ("Level Match", "Off");
    set ("Band 1 On", "On");
    set ("Band 1 Gain", "6");

    auto signal = sine (1000.0, 48000);
    const auto input = signal;
    play (signal);

    EXPECT_NEAR (rmsDb (signal, 36000, 12000) - rmsDb (input, 36000, 12000), 6.0f, 0.02f);
}

TEST_F (Playback, HostBypassPassesAudioUnchangedAfterItsRamp)
{
    set ("Band 1 On", "On");
    set ("Band 1 Gain", "12");
    set ("Band 2 On", "On");
    set ("Band 2 Type", "Low Cut");

    auto warmUp = sine (440.0, 4800);
    play (warmUp);

    auto* bypass = plugin->getBypassParameter();
    ASSERT_NE (bypass, nullptr);
    bypass->setValueNotifyingHost (1.0f);

    auto signal = sine (440.0, 9600);
    const auto input = signal;
    play (signal);

    // The 10 ms ramp (480 samples at 48 kHz), then the input exactly.
    for (int i = 481; i < signal.getNumSamples(); ++i)
        ASSERT_EQ (signal.getSample (0, i), input.getSample (0, i)) << i;

    EXPECT_NE (signal.getSample (0, 10), input.getSample (0, 10));     // still equalised at first
}

TEST_F (Playback, AutomatedFrequencyGlidesWithoutDiscontinuity)
{
    set ("Level Match", "Off");
    set ("Band 1 On", "On");
    set ("Band 1 Gain", "12");
    set ("Band 1 Q", "4");

    // A slow sine under a bell swept by large steps at every block. Without gliding each step
    // would move the coefficients at once and kink the waveform; a smooth output has a small
    // second difference everywhere.
    auto signal = sine (150.0, 48000, 0.2f);
    auto& freq = param ("Band 1 Freq");
    play (signal, [&] (int block) { freq.setValueNotifyingHost (block % 2 == 0 ? 0.2f : 0.5f); });

    float worst = 0.0f;
    for (int i = 2; i < signal.getNumSamples(); ++i)
        worst = std::max (worst, std::abs (signal.getSample (0, i) - 2.0f * signal.getSample (0, i - 1) + signal.getSample (0, i - 2)));

    // Gliding keeps it near 0.0004; stepping the coefficients at once reaches 0.002.
    EXPECT_LT (worst, 0.001f);
}

TEST_F (Playback, SavedStateRestoresEveryParameterInAnotherInstance)
{
    set ("Band 1 On", "On");
    set ("Band 1 Gain", "-7.5");
    set ("Band 9 Type", "High Cut");
    set ("Band 9 Slope", "48 dB/oct");
    set ("Band 24 Freq", "12000");
    set ("Band 24 Channel", "Side");
    set ("Scale", "-35");
    set ("Level Match", "Off");
    set ("Monitor", "Mid");

    auto warmUp = sine (440.0, 1024);
    play (warmUp);     // parameter changes travel to the plug-in with processing

    juce::MemoryBlock saved;
    plugin->getStateInformation (saved);

    auto other = load (kSampleRate, kBlock);
    ASSERT_NE (other, nullptr);
    other->setStateInformation (saved.getData(), (int) saved.getSize());

    const auto& expected = plugin->getParameters();
    const auto& actual = other->getParameters();
    ASSERT_EQ (actual.size(), expected.size());

    for (int i = 0; i < actual.size(); ++i)
        EXPECT_EQ (actual[i]->getText (actual[i]->getValue(), 100), expected[i]->getText (expected[i]->getValue(), 100))
            << expected[i]->getName (100);

    EXPECT_EQ (actual[3]->getText (actual[3]->getValue(), 100), "-7.5 dB");
    EXPECT_EQ (actual[173]->getText (actual[173]->getValue(), 100), "Mid");     // monitor
}

// The host's saved state with the plug-in's processing mode replaced, as a project saved with
// another mode would hold it.
juce::MemoryBlock withMode (const juce::MemoryBlock& hostState, int mode)
{
    auto host = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize());
    auto* component = host != nullptr ? host->getChildByName ("IComponent") : nullptr;
    if (component == nullptr)
        return {};

    juce::MemoryBlock chunk;
    chunk.fromBase64Encoding (component->getAllSubText());
    auto state = juce::AudioProcessor::getXmlFromBinary (chunk.getData(), (int) chunk.getSize());
    if (state == nullptr)
        return {};

    state->setAttribute ("mode", mode);
    juce::AudioProcessor::copyXmlToBinary (*state, chunk);
    component->deleteAllTextElements();
    component->addTextElement (chunk.toBase64Encoding());

    juce::MemoryBlock result;
    juce::AudioProcessor::copyXmlToBinary (*host, result);
    return result;
}

TEST_F (Playback, LinearPhaseFromTheSavedStateIsDelayedAndFiltered)
{
    set ("Level Match", "Off");
    set ("Band 1 On", "On");
    set ("Band 1 Gain", "6");
    auto warmUp = sine (440.0, 1024);
    play (warmUp);

    juce::MemoryBlock saved;
    plugin->getStateInformation (saved);
    const auto linearPhase = withMode (saved, 1);
    ASSERT_GT (linearPhase.getSize(), 0u);

    plugin->releaseResources();
    plugin = load (kSampleRate, kBlock);
    ASSERT_NE (plugin, nullptr);
    plugin->releaseResources();      // as a DAW loads a project: state first, then activation
    plugin->setStateInformation (linearPhase.getData(), (int) linearPhase.getSize());
    plugin->prepareToPlay (kSampleRate, kBlock);
    EXPECT_EQ (hostLatencyAfterNotification (9216), 9216);

    // The filter is built on the plug-in's own thread; play until it has taken over, at most
    // a few seconds.
    constexpr int latency = 9216;
    const int length = latency + 24000;
    juce::AudioBuffer<float> signal;
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        signal = sine (1000.0, length);
        play (signal);
        if (rmsDb (signal, length - 4800, 4800) - rmsDb (sine (1000.0, 4800), 0, 4800) > 5.9f)
            break;
        juce::Thread::sleep (30);
    }


    // Linear phase: exactly twice the input, exactly the latency later.
    const auto input = sine (1000.0, length);
    float worst = 0.0f;
    for (int i = length - 9600; i < length; ++i)
        worst = std::max (worst, std::abs (signal.getSample (0, i) - 2.0f * input.getSample (0, i - latency)));

    EXPECT_LT (worst, 0.002f);
}
