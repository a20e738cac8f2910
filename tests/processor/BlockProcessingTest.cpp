#include "processor/PluginProcessor.h"
#include "ProcessorTestUtils.h"
#include "RealtimeGuard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <mutex>

namespace
{
constexpr double kSampleRate = 48000.0;
constexpr int kPrepared = 512;

struct BlockProcessingTest : ::testing::Test
{
    TirelAudioProcessor processor;

    void set (const juce::String& id, float plainValue) { tltest::setPlain (processor, id, plainValue); }

    // A band set that exercises every routing and level match.
    void setMixedBands()
    {
        set ("b01_on", 1.0f); set ("b01_gain", 6.0f); set ("b01_freq", 1000.0f);
        set ("b02_on", 1.0f); set ("b02_type", 4.0f); set ("b02_freq", 80.0f); set ("b02_ch", 1.0f);
        set ("b03_on", 1.0f); set ("b03_type", 2.0f); set ("b03_gain", -4.0f); set ("b03_freq", 6000.0f); set ("b03_ch", 2.0f);
        set ("b04_on", 1.0f); set ("b04_type", 6.0f); set ("b04_freq", 300.0f); set ("b04_ch", 3.0f);
        set ("b05_on", 1.0f); set ("b05_type", 3.0f); set ("b05_gain", 3.0f); set ("b05_ch", 4.0f);
    }

    // Processes the whole signal in host blocks of the given size.
    void processInBlocks (juce::AudioBuffer<float>& signal, int blockSize)
    {
        juce::MidiBuffer midi;
        for (int start = 0; start < signal.getNumSamples(); start += blockSize)
        {
            const int n = std::min (blockSize, signal.getNumSamples() - start);
            juce::AudioBuffer<float> block (signal.getArrayOfWritePointers(), signal.getNumChannels(), start, n);
            processor.processBlock (block, midi);
        }
    }

    void useLayout (const juce::AudioChannelSet& set) { ASSERT_TRUE (processor.setBusesLayout (tltest::layoutOf (set))); }
};

float maxDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    float worst = 0.0f;
    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        for (int i = 0; i < a.getNumSamples(); ++i)
            worst = std::max (worst, std::abs (a.getSample (ch, i) - b.getSample (ch, i)));
    return worst;
}
} // namespace

TEST_F (BlockProcessingTest, OutputDoesNotDependOnHostBlockSize)
{
    setMixedBands();
    const auto input = tltest::noiseBuffer (2, 12000, 1);

    juce::AudioBuffer<float> reference;

    for (int blockSize : { 512, 1, 64, 3000, 777 })
    {
        processor.prepareToPlay (kSampleRate, kPrepared);
        auto signal = input;
        processInBlocks (signal, blockSize);

        if (reference.getNumSamples() == 0)
            reference = signal;
        else
            EXPECT_EQ (maxDifference (signal, reference), 0.0f) << "block size " << blockSize;
    }

    EXPECT_GT (maxDifference (reference, input), 0.01f);     // the bands did something
}

TEST_F (BlockProcessingTest, NonFiniteInputBecomesSilenceAtThatSampleOnly)
{
    setMixedBands();
    const auto input = tltest::noiseBuffer (2, 4096, 1);

    processor.prepareToPlay (kSampleRate, kPrepared);
    auto clean = input;
    clean.setSample (0, 1000, 0.0f);
    clean.setSample (1, 2000, 0.0f);
    processInBlocks (clean, 256);

    for (float bad : { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                       -std::numeric_limits<float>::infinity() })
    {
        processor.prepareToPlay (kSampleRate, kPrepared);
        auto dirty = input;
        dirty.setSample (0, 1000, bad);
        dirty.setSample (1, 2000, bad);
        processInBlocks (dirty, 256);

        EXPECT_EQ (maxDifference (dirty, clean), 0.0f) << bad;
    }
}

TEST_F (BlockProcessingTest, DenormalsAreFlushedForTheCall)
{
    // With the equaliser flat, the output is the input; a subnormal input only reads as zero
    // when the processor treats denormals as zero inside the call.
    set ("match", 0.0f);
    processor.prepareToPlay (kSampleRate, kPrepared);

    juce::AudioBuffer<float> block (2, 64);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 64; ++i)
            block.setSample (ch, i, std::numeric_limits<float>::denorm_min() * (float) (i + 1));

    juce::MidiBuffer midi;
    processor.processBlock (block, midi);

    for (int i = 0; i < 64; ++i)
        ASSERT_EQ (block.getSample (0, i), 0.0f) << i;

    // The caller's floating-point mode is restored afterwards.
    volatile float tiny = std::numeric_limits<float>::denorm_min();
    EXPECT_GT (tiny * 2.0f, 0.0f);
}

TEST_F (BlockProcessingTest, MonoProcessesChannelZero)
{
    useLayout (juce::AudioChannelSet::mono());
    set ("match", 0.0f);
    set ("b01_on", 1.0f);
    set ("b01_gain", 12.0f);
    set ("b02_on", 1.0f);
    set ("b02_gain", 12.0f);
    set ("b02_ch", 2.0f);     // Side: nothing to filter in mono

    processor.prepareToPlay (kSampleRate, kPrepared);

    // A 1 kHz sine rises by the bell's 12 dB; the Side band adds nothing.
    juce::AudioBuffer<float> signal (1, 9600);
    for (int i = 0; i < signal.getNumSamples(); ++i)
        signal.setSample (0, i, 0.1f * (float) std::sin (2.0 * juce::MathConstants<double>::pi * 1000.0 * i / kSampleRate));

    processInBlocks (signal, 480);
    EXPECT_NEAR (juce::Decibels::gainToDecibels (signal.getRMSLevel (0, 4800, 4800) / (0.1f / std::sqrt (2.0f))), 12.0f, 0.05f);
}

TEST_F (BlockProcessingTest, PublishesLevelMatchAndClip)
{
    set ("b01_on", 1.0f);
    set ("b01_type", 1.0f);       // a broad low shelf makes most of the noise louder
    set ("b01_freq", 5000.0f);
    set ("b01_gain", 6.0f);
    processor.prepareToPlay (kSampleRate, kPrepared);

    auto signal = tltest::noiseBuffer (2, 48000 * 3, 1);
    signal.applyGain (0.2f);
    processInBlocks (signal, 512);
    EXPECT_LT (processor.matchGainDb.load(), -1.0f);     // the louder wet side is turned down
    EXPECT_FALSE (processor.clipLatch.load());

    set ("match", 0.0f);
    set ("output", 24.0f);
    auto loud = tltest::noiseBuffer (2, 4800, 1);
    processInBlocks (loud, 512);
    EXPECT_TRUE (processor.clipLatch.exchange (false));
}

TEST_F (BlockProcessingTest, AudioThreadNeitherAllocatesNorLocks)
{
    struct Step { const char* what; std::function<void (BlockProcessingTest&)> edit; };
    const Step steps[] = {
        { "bands", [] (BlockProcessingTest& t) { t.setMixedBands(); } },
        { "frequency glide", [] (BlockProcessingTest& t) { t.set ("b01_freq", 3000.0f); t.set ("b01_q", 6.0f); } },
        { "type change", [] (BlockProcessingTest& t) { t.set ("b01_type", 5.0f); t.set ("b02_slope", 5.0f); } },
        { "channel change", [] (BlockProcessingTest& t) { t.set ("b03_ch", 3.0f); } },
        { "band off", [] (BlockProcessingTest& t) { t.set ("b05_on", 0.0f); } },
        { "listen", [] (BlockProcessingTest& t) { t.processor.listenBand = 0; } },
        { "listen elsewhere", [] (BlockProcessingTest& t) { t.processor.listenBand = 1; } },
        { "listen off", [] (BlockProcessingTest& t) { t.processor.listenBand = -1; } },
        { "delta", [] (BlockProcessingTest& t) { t.set ("delta", 1.0f); } },
        { "monitor", [] (BlockProcessingTest& t) { t.set ("delta", 0.0f); t.set ("monitor", 2.0f); } },
        { "bypass", [] (BlockProcessingTest& t) { t.set ("monitor", 0.0f); t.set ("bypass", 1.0f); } },
        { "bypass off", [] (BlockProcessingTest& t) { t.set ("bypass", 0.0f); } },
        { "scale and output", [] (BlockProcessingTest& t) { t.set ("scale", -60.0f); t.set ("output", -6.0f); } },
        { "level match off", [] (BlockProcessingTest& t) { t.set ("match", 0.0f); } },
    };

    for (const auto& layout : { juce::AudioChannelSet::stereo(), juce::AudioChannelSet::mono() })
    {
        useLayout (layout);
        processor.prepareToPlay (kSampleRate, kPrepared);
        juce::MidiBuffer midi;

        for (const auto& step : steps)
        {
            step.edit (*this);

            for (int blockSize : { 512, 37, 2048 })     // 2048 is longer than prepared: processed in pieces
            {
                auto block = tltest::noiseBuffer (layout.size(), blockSize, (unsigned) blockSize);
                const auto counts = tltest::processGuarded (processor, block, midi);
                EXPECT_EQ (counts.allocations, 0) << step.what << ", " << layout.getDescription();
                EXPECT_EQ (counts.frees, 0) << step.what << ", " << layout.getDescription();
                EXPECT_EQ (counts.locks, 0) << step.what << ", " << layout.getDescription();
            }
        }
    }
}

TEST (RealtimeGuard, SeesAllocationsAndLocks)
{
    static void* volatile sink = nullptr;     // keeps the compiler from eliding the pair
    std::mutex m;
    long allocations, frees, locks;
    {
        RealtimeGuard guard;
        sink = ::operator new (16);
        ::operator delete (sink);
        m.lock();
        m.unlock();
        allocations = guard.allocations();
        frees = guard.frees();
        locks = guard.locks();
    }
    EXPECT_EQ (allocations, 1);
    EXPECT_EQ (frees, 1);
    EXPECT_EQ (locks, 1);
}
