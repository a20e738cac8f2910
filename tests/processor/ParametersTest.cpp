#include "processor/Parameters.h"
#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>

namespace
{
struct ParametersTest : ::testing::Test
{
    TirelAudioProcessor processor;

    juce::RangedAudioParameter& param (const juce::String& id)
    {
        auto* p = processor.apvts.getParameter (id);
        EXPECT_NE (p, nullptr) << id;
        return *p;
    }
};
} // namespace

TEST_F (ParametersTest, OrderIdentifiersAndNames)
{
    const auto& params = processor.getParameters();
    ASSERT_EQ (params.size(), 174);

    const char* suffixes[] = { "On", "Type", "Freq", "Gain", "Q", "Slope", "Channel" };
    int index = 0;

    for (int band = 0; band < 24; ++band)
        for (size_t i = 0; i < kBandParamIds.size(); ++i, ++index)
        {
            const auto* p = dynamic_cast<juce::RangedAudioParameter*> (params[index]);
            ASSERT_NE (p, nullptr);
            EXPECT_EQ (p->getParameterID(), bandParamId (band, kBandParamIds[i]));
            EXPECT_EQ (p->getName (100), "Band " + juce::String (band + 1) + " " + suffixes[i]);
            EXPECT_EQ (p->getVersionHint(), 1);
            EXPECT_TRUE (p->isAutomatable());
            EXPECT_FALSE (p->isMetaParameter());
            EXPECT_TRUE (p->getLabel().isEmpty());
        }

    const char* globalNames[] = { "Scale", "Output", "Level Match", "Bypass", "Delta", "Monitor" };

    for (size_t i = 0; i < kGlobalParamIds.size(); ++i, ++index)
    {
        const auto* p = dynamic_cast<juce::RangedAudioParameter*> (params[index]);
        ASSERT_NE (p, nullptr);
        EXPECT_EQ (p->getParameterID(), kGlobalParamIds[i]);
        EXPECT_EQ (p->getName (100), globalNames[i]);
    }

    EXPECT_EQ (params[56]->getName (100), "Band 9 On");
    EXPECT_EQ (bandParamId (8, "on"), "b09_on");
    EXPECT_EQ (bandParamId (9, "on"), "b10_on");
    EXPECT_EQ (bandParamId (23, "ch"), "b24_ch");
}

TEST_F (ParametersTest, DefaultTextsAndChoiceLists)
{
    struct Case { const char* id; const char* text; };
    const Case cases[] = {
        { "b01_on", "Off" }, { "b01_type", "Bell" }, { "b01_freq", "1.00 kHz" }, { "b01_gain", "0.0 dB" },
        { "b01_q", "1.00" }, { "b01_slope", "24 dB/oct" }, { "b01_ch", "Stereo" },
        { "scale", "+100 %" }, { "output", "0.0 dB" }, { "match", "On" }, { "bypass", "Off" },
        { "delta", "Off" }, { "monitor", "Stereo" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (param (c.id).getCurrentValueAsText(), c.text) << c.id;

    auto* type = dynamic_cast<juce::AudioParameterChoice*> (&param ("b24_type"));
    auto* slope = dynamic_cast<juce::AudioParameterChoice*> (&param ("b24_slope"));
    auto* channel = dynamic_cast<juce::AudioParameterChoice*> (&param ("b24_ch"));
    auto* monitor = dynamic_cast<juce::AudioParameterChoice*> (&param ("monitor"));
    ASSERT_TRUE (type && slope && channel && monitor);
    EXPECT_EQ (type->choices.joinIntoString ("|"), "Bell|Low Shelf|High Shelf|Tilt|Low Cut|High Cut|Notch");
    EXPECT_EQ (slope->choices.joinIntoString ("|"), "6 dB/oct|12 dB/oct|18 dB/oct|24 dB/oct|36 dB/oct|48 dB/oct");
    EXPECT_EQ (channel->choices.joinIntoString ("|"), "Stereo|Mid|Side|Left|Right");
    EXPECT_EQ (monitor->choices, channel->choices);
}

TEST_F (ParametersTest, RangesAndLogMapping)
{
    auto& freq = param ("b05_freq");
    EXPECT_EQ (freq.convertFrom0to1 (0.0f), 10.0f);
    EXPECT_EQ (freq.convertFrom0to1 (1.0f), 22000.0f);
    EXPECT_NEAR (freq.convertFrom0to1 (0.5f), 469.04f, 0.01f);
    EXPECT_NEAR (freq.getDefaultValue(), 0.59837f, 1e-5f);

    auto& q = param ("b05_q");
    EXPECT_NEAR (q.convertFrom0to1 (0.5f), 2.0f, 1e-5f);
    EXPECT_NEAR (q.getDefaultValue(), 0.38431f, 1e-5f);
    EXPECT_NEAR (q.convertFrom0to1 (0.0f), 0.1f, 1e-7f);
    EXPECT_NEAR (q.convertFrom0to1 (1.0f), 40.0f, 1e-5f);

    // Linear ranges.
    EXPECT_EQ (param ("b05_gain").convertFrom0to1 (0.25f), -15.0f);
    EXPECT_EQ (param ("scale").convertFrom0to1 (0.25f), -50.0f);
    EXPECT_EQ (param ("output").convertFrom0to1 (1.0f), 24.0f);

    // Typed text is read in the parameter's own unit and limited to the range.
    struct Case { const char* id; const char* text; float expected; };
    const Case typed[] = {
        { "b05_freq", "5", 10.0f }, { "b05_freq", "30000", 22000.0f }, { "b05_freq", "1.5 kHz", 10.0f },
        { "b05_freq", "440", 440.0f }, { "b05_gain", "-45", -30.0f }, { "b05_q", "0.01", 0.1f },
        { "b05_type", "Notch", 6.0f }, { "b05_slope", "48 dB/oct", 5.0f }, { "match", "Off", 0.0f },
    };

    for (const auto& c : typed)
    {
        auto& p = param (c.id);
        EXPECT_NEAR (p.convertFrom0to1 (p.getValueForText (c.text)), c.expected, std::abs (c.expected) * 1e-5f) << c.id << " " << c.text;
    }
}

TEST (ValueTexts, Examples)
{
    struct Case { juce::String (*text) (float, int); float value; const char* expected; };
    const Case cases[] = {
        { dbText, 3.0f, "+3.0 dB" }, { dbText, -6.0f, "-6.0 dB" }, { dbText, 0.0f, "0.0 dB" },
        { dbText, 0.04f, "0.0 dB" }, { dbText, 0.05f, "0.1 dB" }, { dbText, 0.06f, "+0.1 dB" },
        { hzText, 440.0f, "440 Hz" }, { hzText, 31.5f, "31.5 Hz" }, { hzText, 999.9f, "999.9 Hz" },
        { hzText, 123.4567f, "123.457 Hz" }, { hzText, 1000.0f, "1.00 kHz" }, { hzText, 2500.0f, "2.50 kHz" },
        { hzText, 9990.0f, "9.99 kHz" }, { hzText, 10000.0f, "10.0 kHz" }, { hzText, 12500.0f, "12.5 kHz" },
        { hzText, 22000.0f, "22.0 kHz" },
        { qText, 0.71f, "0.71" }, { qText, 1.0f, "1.00" }, { qText, 9.99f, "9.99" }, { qText, 10.0f, "10.0" },
        { qText, 12.0f, "12.0" },
        // As they arrive through normalised values: never "1000 Hz" or "10.00 kHz".
        { hzText, 999.99988f, "1.00 kHz" }, { hzText, 9999.999f, "10.0 kHz" }, { hzText, 999.99f, "999.99 Hz" },
        { qText, 9.9999f, "10.0" }, { qText, 0.99999994f, "1.00" },
        { pctText, 100.0f, "+100 %" }, { pctText, 0.0f, "0 %" }, { pctText, -50.0f, "-50 %" },
        { pctText, 0.5f, "0.5 %" }, { pctText, 0.6f, "+0.6 %" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (c.text (c.value, 0), c.expected) << c.value;
}
