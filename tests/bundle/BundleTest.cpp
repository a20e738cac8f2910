#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

// What a DAW sees when it loads the built Tirel.vst3.
namespace
{
struct Bundle : ::testing::Test
{
    static void SetUpTestSuite()
    {
        juce::VST3PluginFormat format;
        juce::OwnedArray<juce::PluginDescription> found;
        format.findAllTypesForFile (found, TIREL_VST3_BUNDLE);
        ASSERT_EQ (found.size(), 1) << "no plug-in found in " << TIREL_VST3_BUNDLE;
        description = *found[0];
    }

    std::unique_ptr<juce::AudioPluginInstance> load (double sampleRate = 48000.0, int blockSize = 512)
    {
        juce::VST3PluginFormat format;
        juce::String error;
        auto instance = format.createInstanceFromDescription (description, sampleRate, blockSize, error);
        EXPECT_NE (instance, nullptr) << error;
        return instance;
    }

    static inline juce::PluginDescription description;
};

// The VST3 wrapper publishes each parameter under the 31-bit hash of its string identifier.
juce::String hostParameterId (const juce::String& id)
{
    return juce::String ((juce::uint32) id.hashCode() & 0x7fffffffu);
}

juce::StringArray expectedIds()
{
    juce::StringArray ids;
    for (int band = 1; band <= 24; ++band)
        for (auto* shortId : { "on", "type", "freq", "gain", "q", "slope", "ch" })
            ids.add ("b" + juce::String (band).paddedLeft ('0', 2) + "_" + shortId);

    ids.addArray ({ "scale", "output", "match", "bypass", "delta", "monitor" });
    return ids;
}
} // namespace

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
