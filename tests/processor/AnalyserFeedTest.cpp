#include "processor/PluginProcessor.h"
#include "ProcessorTestUtils.h"

#include <gtest/gtest.h>

namespace
{
struct AnalyserFeedTest : ::testing::Test
{
    TirelAudioProcessor processor;
    juce::MidiBuffer midi;

    void SetUp() override { processor.prepareToPlay (48000.0, 512); }

    void play (juce::AudioBuffer<float>& buffer) { processor.processBlock (buffer, midi); }

    int writePosition() const
    {
        int start1, size1, start2, size2;
        processor.analyserFifo.prepareToWrite (0, start1, size1, start2, size2);
        return start1;
    }
};
} // namespace

TEST_F (AnalyserFeedTest, InputAndOutputOfAnInstantShareAPosition)
{
    tltest::setPlain (processor, "output", -6.0f);
    processor.prepareToPlay (48000.0, 512);     // starts at the new gain at once

    juce::AudioBuffer<float> block (2, 512);
    block.clear();
    block.setSample (0, 100, 0.8f);             // a click on the left
    block.setSample (1, 100, 0.4f);
    play (block);

    ASSERT_EQ (processor.analyserFifo.getNumReady(), 512);
    EXPECT_FLOAT_EQ (processor.analyserPre[100], 0.6f);
    EXPECT_NEAR (processor.analyserPost[100], 0.6f * 0.5012f, 1e-3f);
    EXPECT_EQ (processor.analyserPre[99], 0.0f);
    EXPECT_EQ (processor.analyserPost[99], 0.0f);
}

TEST_F (AnalyserFeedTest, FullFifoDropsTheNewestAndNeverBlocks)
{
    juce::AudioBuffer<float> block (2, 3000);
    for (int i = 0; i < 3000; ++i)
        block.setSample (0, i, (float) i), block.setSample (1, i, (float) i);

    processor.apvts.getParameter ("match")->setValueNotifyingHost (0.0f);
    processor.apvts.getParameter ("output")->setValueNotifyingHost (0.5f);    // 0 dB

    for (int pass = 0; pass < 3; ++pass)
    {
        auto copy = block;
        play (copy);
    }

    // 8191 held: the first two blocks whole, then the first 2191 samples of the third.
    EXPECT_EQ (processor.analyserFifo.getNumReady(), 8191);
    EXPECT_EQ (processor.analyserPre[6000], 0.0f);
    EXPECT_EQ (processor.analyserPre[8190], 2190.0f);

    auto more = block;
    play (more);
    EXPECT_EQ (processor.analyserFifo.getNumReady(), 8191);
    EXPECT_EQ (processor.analyserPre[8190], 2190.0f);
}

TEST_F (AnalyserFeedTest, SwitchedOffWritesNothing)
{
    processor.analyserOn = false;
    const int before = writePosition();

    juce::AudioBuffer<float> block (2, 512);
    block.clear();
    play (block);

    EXPECT_EQ (writePosition(), before);
    EXPECT_EQ (processor.analyserFifo.getNumReady(), 0);
}

TEST_F (AnalyserFeedTest, MonoFeedsChannelZero)
{
    ASSERT_TRUE (processor.setBusesLayout (tltest::layoutOf (juce::AudioChannelSet::mono())));
    processor.prepareToPlay (48000.0, 512);

    juce::AudioBuffer<float> block (1, 64);
    block.clear();
    block.setSample (0, 10, 0.25f);
    play (block);

    EXPECT_EQ (processor.analyserPre[10], 0.25f);
    EXPECT_EQ (processor.analyserPost[10], 0.25f);
}
