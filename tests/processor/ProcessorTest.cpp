#include "processor/PluginProcessor.h"
#include "ProcessorTestUtils.h"

#include <gtest/gtest.h>

namespace
{
struct ProcessorTest : ::testing::Test
{
    TirelAudioProcessor processor;

    void setRaw (const juce::String& id, float value)
    {
        auto* raw = processor.apvts.getRawParameterValue (id);
        ASSERT_NE (raw, nullptr) << id;
        raw->store (value);
    }

    void setPlain (const juce::String& id, float value) { tltest::setPlain (processor, id, value); }
};
} // namespace

TEST_F (ProcessorTest, HostFacingProperties)
{
    EXPECT_EQ (processor.getName(), "Tirel");
    EXPECT_EQ (processor.getTailLengthSeconds(), 0.0);
    EXPECT_FALSE (processor.acceptsMidi());
    EXPECT_FALSE (processor.producesMidi());
    EXPECT_TRUE (processor.hasEditor());
    EXPECT_EQ (processor.getBypassParameter(), processor.apvts.getParameter ("bypass"));

    EXPECT_EQ (processor.getNumPrograms(), 1);
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    EXPECT_EQ (processor.getProgramName (0), "Default");

    EXPECT_EQ (processor.getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (processor.getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (processor.getMainBusNumInputChannels(), 2);
    EXPECT_EQ (processor.getMainBusNumOutputChannels(), 2);
}

TEST_F (ProcessorTest, AcceptsOnlyMatchingMonoOrStereo)
{
    using Set = juce::AudioChannelSet;
    struct Case { Set in, out; bool supported; };
    const Case cases[] = {
        { Set::mono(), Set::mono(), true },
        { Set::stereo(), Set::stereo(), true },
        { Set::mono(), Set::stereo(), false },
        { Set::stereo(), Set::mono(), false },
        { Set::createLCR(), Set::createLCR(), false },
        { Set::create5point1(), Set::create5point1(), false },
        { Set::disabled(), Set::disabled(), false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (processor.checkBusesLayoutSupported (tltest::layoutOf (c.in, c.out)), c.supported)
            << c.in.getDescription() << " -> " << c.out.getDescription();
}

TEST_F (ProcessorTest, ZeroLatencyReportsNoLatency)
{
    processor.prepareToPlay (48000.0, 512);
    EXPECT_EQ (processor.getLatencySamples(), 0);
}

TEST_F (ProcessorTest, FreshInstanceSettingsAreTheDefaults)
{
    const auto s = processor.settings();
    const tl::Band defaultBand;

    for (const auto& b : s.bands)
    {
        EXPECT_FALSE (b.on);
        EXPECT_EQ (b.type, defaultBand.type);
        EXPECT_NEAR (b.freq, defaultBand.freq, 1e-3);     // a float normalised value away from 1000
        EXPECT_EQ (b.gain, defaultBand.gain);
        EXPECT_NEAR (b.q, defaultBand.q, 1e-6);
        EXPECT_EQ (b.slope, defaultBand.slope);
        EXPECT_EQ (b.ch, defaultBand.ch);
    }

    EXPECT_EQ (s.scale, 1.0);
    EXPECT_EQ (s.listen, -1);
    EXPECT_TRUE (s.match);
    EXPECT_EQ (s.output, 0.0);
    EXPECT_FALSE (s.bypass);
    EXPECT_FALSE (s.delta);
    EXPECT_EQ (s.monitor, 0);
    EXPECT_EQ (s.mode, 0);
}

TEST_F (ProcessorTest, SettingsReflectParameterValues)
{
    setPlain ("b03_on", 1.0f);
    setPlain ("b03_type", 4.0f);
    setPlain ("b03_freq", 250.0f);
    setPlain ("b03_gain", -4.5f);
    setPlain ("b03_q", 3.0f);
    setPlain ("b03_slope", 5.0f);
    setPlain ("b03_ch", 2.0f);
    setPlain ("scale", -50.0f);
    setPlain ("output", 6.0f);
    setPlain ("match", 0.0f);
    setPlain ("bypass", 1.0f);
    setPlain ("delta", 1.0f);
    processor.listenBand = 2;
    processor.mode = 1;

    const auto s = processor.settings();
    const auto& b = s.bands[2];
    EXPECT_TRUE (b.on);
    EXPECT_EQ (b.type, tl::LowCut);
    EXPECT_NEAR (b.freq, 250.0, 1e-3);
    EXPECT_FLOAT_EQ ((float) b.gain, -4.5f);
    EXPECT_NEAR (b.q, 3.0, 1e-5);
    EXPECT_EQ (b.slope, 48);
    EXPECT_EQ (b.ch, tl::Side);
    EXPECT_DOUBLE_EQ (s.scale, -0.5);
    EXPECT_DOUBLE_EQ (s.output, 6.0);
    EXPECT_FALSE (s.match);
    EXPECT_TRUE (s.bypass);
    EXPECT_TRUE (s.delta);
    EXPECT_EQ (s.listen, 2);
    EXPECT_EQ (s.mode, 1);

    const auto c = processor.curve();
    EXPECT_EQ (c.bands[2].type, tl::LowCut);
    EXPECT_DOUBLE_EQ (c.scale, -0.5);
}

TEST_F (ProcessorTest, SettingsClampWhatTheHostOrCallersHandOver)
{
    struct Case { const char* id; float raw; };
    const Case cases[] = { { "monitor", 4.7f }, { "b01_type", 9.0f }, { "b01_slope", 7.2f }, { "b01_ch", -3.0f }, { "b01_on", 0.7f } };

    for (const auto& c : cases)
        setRaw (c.id, c.raw);

    processor.mode = 5;
    auto s = processor.settings();
    EXPECT_EQ (s.monitor, 4);
    EXPECT_EQ (s.bands[0].type, tl::Notch);
    EXPECT_EQ (s.bands[0].slope, 48);
    EXPECT_EQ (s.bands[0].ch, tl::Stereo);
    EXPECT_TRUE (s.bands[0].on);
    EXPECT_EQ (s.mode, 2);

    processor.mode = -1;
    EXPECT_EQ (processor.settings().mode, 0);
}
