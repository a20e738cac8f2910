#include "processor/PluginProcessor.h"
#include "ProcessorTestUtils.h"

#include "dsp/Design.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

// Linear Phase and Linear HQ seen from the host: reported latency, what comes out of the
// convolvers once the builder thread's filter sets have arrived, and the audio thread's
// real-time rule while sets come and go.

namespace
{
constexpr int kLinearPhase = 1;
constexpr int kLinearHQ = 2;

// Sets come from another thread: every wait for one is bounded by this, never asserted on.
constexpr auto kPatience = std::chrono::seconds (10);

void giveTheBuilderTime() { std::this_thread::sleep_for (std::chrono::milliseconds (2)); }

/** One processor with a recording of everything that went in and came out since it was last
    prepared (and the analyser feed, drained after every block as the editor's timer would). */
class Rig
{
public:
    explicit Rig (int numChannels = 2) : channels (numChannels)
    {
        if (channels == 1)
        {
            EXPECT_TRUE (processor.setBusesLayout (tltest::layoutOf (juce::AudioChannelSet::mono())));
        }
    }

    void set (const juce::String& id, float plainValue) { tltest::setPlain (processor, id, plainValue); }

    // Band numbers count from 1, as in the parameter identifiers.
    void band (int number, int type, float freq, float gain, int ch = 0, float q = 1.0f)
    {
        const auto prefix = juce::String ("b") + (number < 10 ? "0" : "") + juce::String (number) + "_";
        set (prefix + "on", 1.0f);
        set (prefix + "type", (float) type);
        set (prefix + "freq", freq);
        set (prefix + "gain", gain);
        set (prefix + "ch", (float) ch);
        set (prefix + "q", q);
    }

    void prepare (double rate, int maximumBlockSize = 512)
    {
        sampleRate = rate;
        processor.prepareToPlay (rate, maximumBlockSize);
        for (auto* v : { &in[0], &in[1], &out[0], &out[1], &pre, &post })
            v->clear();
    }

    int latency() const { return processor.getLatencySamples(); }
    size_t samples() const { return in[0].size(); }

    void play (juce::AudioBuffer<float> block)
    {
        const int n = block.getNumSamples();
        for (int c = 0; c < channels; ++c)
            in[(size_t) c].insert (in[(size_t) c].end(), block.getReadPointer (c), block.getReadPointer (c) + n);

        if (guarded)
        {
            const auto c = tltest::processGuarded (processor, block, midi);
            allocations += c.allocations;
            frees += c.frees;
            locks += c.locks;
            if (! c.none() && firstViolation.empty())
                firstViolation = context + ", block of " + std::to_string (n) + ": " + std::to_string (c.allocations)
                               + " allocations, " + std::to_string (c.frees) + " frees, " + std::to_string (c.locks) + " locks";
        }
        else
        {
            processor.processBlock (block, midi);
        }

        for (int c = 0; c < channels; ++c)
            out[(size_t) c].insert (out[(size_t) c].end(), block.getReadPointer (c), block.getReadPointer (c) + n);

        int start1, size1, start2, size2;
        processor.analyserFifo.prepareToRead (processor.analyserFifo.getNumReady(), start1, size1, start2, size2);
        for (auto [start, size] : { std::pair { start1, size1 }, std::pair { start2, size2 } })
        {
            pre.insert (pre.end(), processor.analyserPre.begin() + start, processor.analyserPre.begin() + start + size);
            post.insert (post.end(), processor.analyserPost.begin() + start, processor.analyserPost.begin() + start + size);
        }
        processor.analyserFifo.finishedRead (size1 + size2);
    }

    juce::AudioBuffer<float> noise (int n) { return tltest::noiseBuffer (channels, n, random, 0.25f); }

    juce::AudioBuffer<float> constant (int n, float value)
    {
        juce::AudioBuffer<float> b (channels, n);
        for (int c = 0; c < channels; ++c)
            juce::FloatVectorOperations::fill (b.getWritePointer (c), value, n);
        return b;
    }

    void playNoise (int n, int blockSize = 512)
    {
        for (int done = 0; done < n; done += blockSize)
            play (noise (std::min (blockSize, n - done)));
    }

    void playSilence (int n, int blockSize = 512)
    {
        for (int done = 0; done < n; done += blockSize)
            play (constant (std::min (blockSize, n - done), 0.0f));
    }

    /** First instant from `from` on where the output is not the input delayed by `lat`
        samples (bit for bit), or -1. */
    long firstDeparture (size_t from, int lat, float tolerance = 0.0f) const
    {
        for (int c = 0; c < channels; ++c)
            for (size_t t = from; t < out[(size_t) c].size(); ++t)
            {
                const float expected = t >= (size_t) lat ? in[(size_t) c][t - (size_t) lat] : 0.0f;
                if (std::abs (out[(size_t) c][t] - expected) > tolerance)
                    return (long) t;
            }
        return -1;
    }

    /** Plays noise, giving the builder time between blocks, until the output from `from` on
        stops being the delayed input: a set that changes the sound has taken over. Then plays
        on past its cross-fade. False when nothing arrived within the patience. */
    bool playUntilFiltered (size_t from)
    {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;

        while (std::chrono::steady_clock::now() < deadline)
        {
            const auto checked = samples();
            playNoise (512);

            if (firstDeparture (std::max (from, checked), latency(), 1e-4f) >= 0)
            {
                playNoise (8192);     // past the 20 ms cross-fade and a partition or two
                return true;
            }

            giveTheBuilderTime();
        }

        return false;
    }

    /** Plays noise until the reported latency is `expected` (a mode switch has finished),
        then on until the delayed input seen at the output is all from after the switch.
        Returns the first instant from which the output can be compared with the input. */
    size_t settleAt (int expected)
    {
        for (int i = 0; i < 100 && latency() != expected; ++i)
            playNoise (512);
        EXPECT_EQ (latency(), expected);
        playNoise (expected + 2048);
        return samples() - 1024;
    }

    /** Empties every filter with silence, then plays a click (1 on the left, 0.5 on the right)
        and returns what comes out per channel from the click's instant on. */
    std::array<std::vector<float>, 2> clickResponse (int firLength)
    {
        const int lat = latency();
        playSilence (lat + firLength + 4096);

        const auto start = samples();
        auto click = constant (512, 0.0f);
        click.setSample (0, 0, 1.0f);
        if (channels == 2)
            click.setSample (1, 0, 0.5f);
        play (click);
        playSilence (lat + firLength / 2 + 2048);

        std::array<std::vector<float>, 2> response;
        for (int c = 0; c < channels; ++c)
            response[(size_t) c].assign (out[(size_t) c].begin() + (long) start, out[(size_t) c].end());
        return response;
    }

    TirelAudioProcessor processor;
    const int channels;
    double sampleRate = 48000.0;
    std::array<std::vector<float>, 2> in, out;
    std::vector<float> pre, post;

    bool guarded = false;
    long allocations = 0, frees = 0, locks = 0;
    std::string context, firstViolation;

private:
    juce::MidiBuffer midi;
    std::mt19937 random { 7 };
};

/** The zero-phase response at f of a linear-phase response centred on `centre`. */
double responseAt (const std::vector<float>& y, int centre, int halfWidth, double f, double rate)
{
    double sum = 0.0;
    for (int k = -halfWidth; k <= halfWidth; ++k)
        sum += (double) y[(size_t) (centre + k)] * std::cos (2.0 * juce::MathConstants<double>::pi * f * k / rate);
    return sum;
}

float largestAsymmetry (const std::vector<float>& y, int centre, int halfWidth)
{
    float worst = 0.0f;
    for (int k = 1; k <= halfWidth; ++k)
        worst = std::max (worst, std::abs (y[(size_t) (centre + k)] - y[(size_t) (centre - k)]));
    return worst;
}

float largestOutside (const std::vector<float>& y, int from, int to)
{
    float worst = 0.0f;
    for (int t = 0; t < (int) y.size(); ++t)
        if (t < from || t > to)
            worst = std::max (worst, std::abs (y[(size_t) t]));
    return worst;
}

void loadMode (TirelAudioProcessor& p, int mode)
{
    juce::XmlElement xml ("STATE");
    xml.setAttribute ("mode", mode);
    juce::MemoryBlock chunk;
    juce::AudioProcessor::copyXmlToBinary (xml, chunk);
    p.setStateInformation (chunk.getData(), (int) chunk.getSize());
}

struct LatencyLog final : juce::AudioProcessorListener
{
    std::vector<int> told;

    void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override {}
    void audioProcessorChanged (juce::AudioProcessor* p, const ChangeDetails& details) override
    {
        if (details.latencyChanged)
            told.push_back (p->getLatencySamples());
    }
};
} // namespace

//==============================================================================
TEST (LinearModesLatency, PreparationReportsTheActiveModesLatency)
{
    struct Case { int mode; double rate; bool viaState; int expected; };
    const Case cases[] = {
        { kLinearPhase, 48000.0, false, 9216 },
        { kLinearHQ, 48000.0, false, 36864 },
        { kLinearHQ, 96000.0, false, 73728 },
        { kLinearPhase, 44100.0, true, 9216 },
        { kLinearPhase, 96000.0, true, 18432 },
        { kLinearHQ, 192000.0, true, 147456 },
        { 0, 48000.0, true, 0 },
        { kLinearHQ, 48000.0, true, 36864 },
    };

    // One instance throughout: hosts prepare again with other rates and modes.
    Rig rig;
    for (const auto& c : cases)
    {
        if (c.viaState)
            loadMode (rig.processor, c.mode);
        else
            rig.processor.mode = c.mode;

        rig.prepare (c.rate);
        EXPECT_EQ (rig.latency(), c.expected) << "mode " << c.mode << " at " << c.rate;

        rig.playNoise (2048, 512);
        EXPECT_EQ (rig.latency(), c.expected) << "mode " << c.mode << " at " << c.rate << " after playing";
    }
}

TEST (LinearModesLatency, ASwitchIsReportedAtTheBlockAfterItCompleted)
{
    // The output fades for 480 samples; the switch happens at the first 256-sample chunk that
    // starts after that: 512 samples into the request with blocks of 256 or 1024, 556 with
    // blocks of 300 (two chunks per block, 256 and 44).
    struct Case { int from, to, blockSize, switchAt, latencyFrom, latencyTo; };
    const Case cases[] = {
        { kLinearPhase, 0, 256, 512, 9216, 0 },
        { 0, kLinearPhase, 256, 512, 0, 9216 },
        { kLinearPhase, 0, 300, 556, 9216, 0 },
        { 0, kLinearPhase, 1024, 512, 0, 9216 },
        { kLinearPhase, kLinearHQ, 300, 556, 9216, 36864 },
        { kLinearHQ, kLinearPhase, 1024, 512, 36864, 9216 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.from << " -> " << c.to << " in blocks of " << c.blockSize);
        LatencyLog log;
        Rig rig;
        rig.set ("match", 0.0f);
        rig.processor.mode = c.from;
        rig.prepare (48000.0);
        rig.processor.addListener (&log);

        constexpr float dc = 0.25f;
        while (rig.samples() < (size_t) c.latencyFrom + 2048)
            rig.play (rig.constant (c.blockSize, dc));

        const auto request = rig.samples();
        rig.processor.mode = c.to;

        const int switchBlock = c.switchAt / c.blockSize;
        for (int b = 0; rig.samples() < request + (size_t) (c.switchAt + c.latencyTo + 1024); ++b)
        {
            rig.play (rig.constant (c.blockSize, dc));
            EXPECT_EQ (rig.latency(), b <= switchBlock ? c.latencyFrom : c.latencyTo) << "after block " << b;
        }

        EXPECT_EQ (log.told, std::vector<int> { c.latencyTo });
        rig.processor.removeListener (&log);

        // The old filters fade out over 10 ms before anything switches...
        const auto& y = rig.out[0];
        EXPECT_NEAR (y[request + 239], dc * 0.5f, 1e-3f);
        EXPECT_LT (std::abs (y[request + 479]), 1e-6f);
        // ...and the new ones take the input with a fade-in, after their own latency.
        const auto rise = request + (size_t) (c.switchAt + c.latencyTo);
        EXPECT_EQ (y[rise - 1], 0.0f);
        EXPECT_NEAR (y[rise], dc / 480.0f, 1e-5f);
        EXPECT_NEAR (y[rise + 479], dc, 1e-5f);
    }
}

//==============================================================================
TEST (LinearModesOutput, AClickComesOutTheLatencyLaterShapedByTheBands)
{
    // Input: 1 on the left, 0.5 on the right. With u the band's magnitude at a frequency, the
    // outputs per routing (zero-phase, centred on the latency) are:
    using Expect = std::function<std::pair<double, double> (double u)>;
    struct Case { const char* what; int mode; double rate; int channels; int ch; int firLength; Expect expect; };
    const Case cases[] = {
        { "stereo", kLinearPhase, 48000.0, 2, tl::Stereo, 16384, [] (double u) { return std::pair { u, 0.5 * u }; } },
        { "left", kLinearPhase, 48000.0, 2, tl::Left, 16384, [] (double u) { return std::pair { u, 0.5 }; } },
        { "right", kLinearPhase, 44100.0, 2, tl::Right, 16384, [] (double u) { return std::pair { 1.0, 0.5 * u }; } },
        { "mid", kLinearPhase, 48000.0, 2, tl::Mid, 16384, [] (double u) { return std::pair { 0.75 * u + 0.25, 0.75 * u - 0.25 }; } },
        { "side", kLinearPhase, 96000.0, 2, tl::Side, 32768, [] (double u) { return std::pair { 0.75 + 0.25 * u, 0.75 - 0.25 * u }; } },
        { "mono mid", kLinearPhase, 48000.0, 1, tl::Mid, 16384, [] (double u) { return std::pair { u, 0.0 }; } },
        { "HQ stereo", kLinearHQ, 48000.0, 2, tl::Stereo, 65536, [] (double u) { return std::pair { u, 0.5 * u }; } },
        { "HQ mid at 96 kHz", kLinearHQ, 96000.0, 2, tl::Mid, 131072, [] (double u) { return std::pair { 0.75 * u + 0.25, 0.75 * u - 0.25 }; } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Rig rig (c.channels);
        rig.set ("match", 0.0f);
        rig.band (1, tl::Bell, 1000.0f, 9.0f, c.ch);
        rig.processor.mode = c.mode;
        rig.prepare (c.rate);
        ASSERT_TRUE (rig.playUntilFiltered (0)) << "no filter set arrived";

        const int lat = rig.latency();
        const int half = c.firLength / 2;
        const auto y = rig.clickResponse (c.firLength);
        const auto bell = rig.processor.curve().bands[0];

        for (int ch = 0; ch < c.channels; ++ch)
        {
            SCOPED_TRACE (ch == 0 ? "left" : "right");
            EXPECT_LT (largestAsymmetry (y[(size_t) ch], lat, half), 1e-6f);
            EXPECT_LT (largestOutside (y[(size_t) ch], lat - half, lat + half), 1e-6f);

            for (double f : { 125.0, 1000.0, 4000.0 })
            {
                const auto expected = c.expect (std::pow (10.0, tl::analogMagDb (bell, f) / 20.0));
                EXPECT_NEAR (responseAt (y[(size_t) ch], lat, half, f, c.rate), ch == 0 ? expected.first : expected.second, 1e-4)
                    << f << " Hz";
            }
        }

        // The peak of the left output sits exactly on the reported latency.
        const auto& left = y[0];
        EXPECT_EQ (std::max_element (left.begin(), left.end(), [] (float a, float b) { return std::abs (a) < std::abs (b); }) - left.begin(),
                   lat);
    }
}

TEST (LinearModesOutput, WithNothingToDoTheOutputIsTheInputDelayedExactly)
{
    // Sets are free to arrive at any point of the stretch, flat ones included: none may move
    // a single sample. Level match stays at its default (on): equal dry and wet leave it at 0 dB.
    struct Case { const char* what; int mode; double rate; int channels; std::function<void (Rig&)> bands; };
    const Case cases[] = {
        { "no bands", kLinearPhase, 48000.0, 2, [] (Rig&) {} },
        { "no bands, HQ mono", kLinearHQ, 48000.0, 1, [] (Rig&) {} },
        { "no bands, 96 kHz", kLinearPhase, 96000.0, 2, [] (Rig&) {} },
        { "mono drops Side bands", kLinearPhase, 48000.0, 1, [] (Rig& r) { r.band (1, tl::Bell, 500.0f, 12.0f, tl::Side); } },
        { "scale 0", kLinearPhase, 48000.0, 2, [] (Rig& r) { r.band (1, tl::LowShelf, 500.0f, 12.0f); r.set ("scale", 0.0f); } },
        { "bands off", kLinearHQ, 44100.0, 2, [] (Rig& r) { r.band (1, tl::LowCut, 500.0f, 0.0f); r.set ("b01_on", 0.0f); } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Rig rig (c.channels);
        c.bands (rig);
        rig.processor.mode = c.mode;
        rig.prepare (c.rate);

        const int lat = rig.latency();
        while (rig.samples() < (size_t) (3 * lat))
        {
            rig.playNoise (2048, 512);
            giveTheBuilderTime();
        }

        EXPECT_EQ (rig.firstDeparture (0, lat), -1);
    }
}

TEST (LinearModesOutput, SwitchingTheLastBandOffReturnsToThePlainDelay)
{
    for (int mode : { kLinearPhase, kLinearHQ })
    {
        SCOPED_TRACE (mode);
        Rig rig;
        rig.set ("match", 0.0f);
        rig.band (1, tl::HighShelf, 3000.0f, -8.0f, tl::Left);
        rig.processor.mode = mode;
        rig.prepare (48000.0);
        ASSERT_TRUE (rig.playUntilFiltered (0));

        rig.set ("b01_on", 0.0f);
        const int lat = rig.latency();
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        size_t from = 0;
        do
        {
            from = rig.samples();
            rig.playNoise (2048);
            giveTheBuilderTime();
        } while (rig.firstDeparture (from, lat) >= 0 && std::chrono::steady_clock::now() < deadline);

        rig.playNoise (3 * lat);
        EXPECT_EQ (rig.firstDeparture (from, lat), -1);
    }
}

TEST (LinearModesOutput, BypassAndDeltaUseTheDrySignalOfTheSameInstant)
{
    for (auto [mode, channels] : { std::pair { kLinearPhase, 2 }, std::pair { kLinearHQ, 1 } })
    {
        SCOPED_TRACE (testing::Message() << "mode " << mode << ", channels " << channels);
        const int firLength = mode == kLinearPhase ? 16384 : 65536;
        Rig rig (channels);
        rig.set ("match", 0.0f);
        rig.set ("output", 6.0f);           // delta leaves the gain out; bypass too
        rig.band (1, tl::Bell, 2000.0f, -10.0f, tl::Stereo, 3.0f);
        rig.processor.mode = mode;
        rig.prepare (48000.0);
        ASSERT_TRUE (rig.playUntilFiltered (0));
        const int lat = rig.latency();
        const auto filtered = rig.clickResponse (firLength);

        rig.set ("delta", 1.0f);
        const auto delta = rig.clickResponse (firLength);

        rig.set ("bypass", 1.0f);
        const auto bypassed = rig.clickResponse (firLength);

        const float gain = juce::Decibels::decibelsToGain (6.0f);
        for (int ch = 0; ch < channels; ++ch)
        {
            const float click = ch == 0 ? 1.0f : 0.5f;
            float deltaError = 0.0f, bypassError = 0.0f;
            for (size_t t = 0; t < filtered[(size_t) ch].size(); ++t)
            {
                const float dry = t == (size_t) lat ? click : 0.0f;
                deltaError = std::max (deltaError, std::abs (delta[(size_t) ch][t] - (filtered[(size_t) ch][t] / gain - dry)));
                bypassError = std::max (bypassError, std::abs (bypassed[(size_t) ch][t] - dry));
            }
            EXPECT_LT (deltaError, 1e-6f) << "channel " << ch;
            EXPECT_EQ (bypassError, 0.0f) << "channel " << ch;
        }
    }
}

TEST (LinearModesOutput, HostBlockSizeDoesNotChangeTheOutput)
{
    // Once a set plays and every filter has emptied, the same signal at the same partition
    // phase must give the same samples however the host cuts it.
    struct Case { int mode; int block; int firLength; };
    for (const auto& c : { Case { kLinearPhase, 1024, 16384 }, Case { kLinearHQ, 4096, 65536 } })
    {
        SCOPED_TRACE (c.mode);
        Rig rig;
        rig.set ("match", 0.0f);
        rig.band (1, tl::Bell, 700.0f, 8.0f);
        rig.band (2, tl::LowCut, 120.0f, 0.0f, tl::Side);     // a four-way set
        rig.processor.mode = c.mode;
        rig.prepare (48000.0, 512);
        ASSERT_TRUE (rig.playUntilFiltered (0));

        const int lat = rig.latency();
        const int length = lat + c.firLength + 3000;
        const auto signal = tltest::noiseBuffer (2, length, 3);

        std::vector<float> reference;
        for (int hostBlock : { 512, 1, 7, 333, 10000 })
        {
            rig.playSilence (lat + c.firLength + 2 * c.block);
            rig.playSilence (c.block - (int) (rig.samples() % (size_t) c.block));

            const auto start = rig.samples();
            for (int done = 0; done < length; done += hostBlock)
            {
                const int n = std::min (hostBlock, length - done);
                juce::AudioBuffer<float> part (2, n);
                for (int ch = 0; ch < 2; ++ch)
                    part.copyFrom (ch, 0, signal, ch, done, n);
                rig.play (part);
            }

            std::vector<float> got (rig.out[0].begin() + (long) start, rig.out[0].end());
            got.insert (got.end(), rig.out[1].begin() + (long) start, rig.out[1].end());

            if (reference.empty())
                reference = got;
            else
                EXPECT_TRUE (got == reference) << "host blocks of " << hostBlock;
        }

        float change = 0.0f;     // the set did something
        for (size_t t = (size_t) lat; t < (size_t) length; ++t)
            change = std::max (change, std::abs (reference[t] - signal.getSample (0, (int) t - lat)));
        EXPECT_GT (change, 0.05f);
    }
}

TEST (LinearModesOutput, AnalyserSeesInputAndOutputOfAClickAtTheSamePosition)
{
    struct Case { int mode; bool withBand; int firLength; };
    for (const auto& c : { Case { kLinearPhase, true, 16384 }, Case { kLinearHQ, false, 65536 } })
    {
        SCOPED_TRACE (c.mode);
        Rig rig;
        rig.set ("match", 0.0f);
        if (c.withBand)
            rig.band (1, tl::Bell, 1000.0f, 9.0f);
        rig.processor.mode = c.mode;
        rig.prepare (48000.0);
        if (c.withBand)
        {
            ASSERT_TRUE (rig.playUntilFiltered (0));
        }

        const auto start = rig.samples() + (size_t) rig.latency() + (size_t) c.firLength + 4096;
        rig.clickResponse (c.firLength);
        ASSERT_EQ (rig.pre.size(), rig.samples()) << "the feed lost samples";

        const auto loudest = [start] (const std::vector<float>& v)
        {
            return std::max_element (v.begin() + (long) start, v.end(), [] (float a, float b) { return std::abs (a) < std::abs (b); })
                 - v.begin();
        };

        const auto expected = (long) start + rig.latency();
        EXPECT_EQ (loudest (rig.pre), expected);
        EXPECT_EQ (loudest (rig.post), expected);
        EXPECT_EQ (rig.pre[(size_t) expected], 0.75f);      // (1 + 0.5) / 2
        EXPECT_EQ (rig.post[(size_t) expected], (rig.out[0][(size_t) expected] + rig.out[1][(size_t) expected]) * 0.5f);
        const std::vector<float> preFromClick (rig.pre.begin() + (long) start, rig.pre.end());
        EXPECT_EQ (largestOutside (preFromClick, rig.latency(), rig.latency()), 0.0f);
    }
}

//==============================================================================
TEST (LinearModesRealtime, AudioThreadNeitherAllocatesFreesNorLocks)
{
    struct Step { const char* what; std::function<void (Rig&)> edit; int blocks; bool everyBlock = false; };
    const Step steps[] = {
        { "gain drags", [] (Rig& r) { r.set ("b01_gain", r.processor.curve().bands[0].gain > 5.0 ? 2.0f : 8.0f); }, 40, true },
        { "every routing", [] (Rig& r) {
              r.band (2, tl::LowShelf, 200.0f, 4.0f, tl::Mid);
              r.band (3, tl::HighShelf, 6000.0f, -3.0f, tl::Side);
              r.band (4, tl::Tilt, 1000.0f, 2.0f, tl::Left);
              r.band (5, tl::Notch, 3000.0f, 0.0f, tl::Right); }, 30 },
        { "cuts", [] (Rig& r) { r.band (6, tl::LowCut, 40.0f, 0.0f); r.set ("b06_slope", 5.0f); r.band (7, tl::HighCut, 15000.0f, 0.0f); }, 30 },
        { "listen", [] (Rig& r) { r.processor.listenBand = 0; }, 10 },
        { "listen elsewhere", [] (Rig& r) { r.processor.listenBand = 5; }, 10 },
        { "listen off, delta on", [] (Rig& r) { r.processor.listenBand = -1; r.set ("delta", 1.0f); }, 10 },
        { "delta off, bypass on", [] (Rig& r) { r.set ("delta", 0.0f); r.set ("bypass", 1.0f); }, 10 },
        { "bypass off, monitor", [] (Rig& r) { r.set ("bypass", 0.0f); r.set ("monitor", 2.0f); }, 10 },
        { "monitor off, level match off", [] (Rig& r) { r.set ("monitor", 0.0f); r.set ("match", 0.0f); }, 10 },
        { "other linear mode", [] (Rig& r) { r.processor.mode = 3 - r.processor.mode.load(); }, 60 },
        { "back, with an edit", [] (Rig& r) { r.processor.mode = 3 - r.processor.mode.load(); r.set ("b01_freq", 400.0f); }, 60 },
        { "zero latency", [] (Rig& r) { r.processor.mode = 0; r.set ("b01_gain", -6.0f); }, 40 },
        { "Linear HQ", [] (Rig& r) { r.processor.mode = kLinearHQ; }, 60 },
        { "Linear Phase, quickly edited", [] (Rig& r) { r.processor.mode = kLinearPhase; r.set ("b02_gain", -5.0f); }, 60 },
        { "all bands off", [] (Rig& r) { for (int b = 1; b <= 7; ++b) r.set ("b0" + juce::String (b) + "_on", 0.0f); }, 40 },
    };

    static constexpr std::array<int, 4> kBlockSizes { 512, 37, 2048, 1 };     // 2048 is longer than prepared

    for (int channels : { 2, 1 })
        for (int mode : { kLinearPhase, kLinearHQ })
        {
            SCOPED_TRACE (testing::Message() << "mode " << mode << ", channels " << channels);
            Rig rig (channels);
            rig.band (1, tl::Bell, 1000.0f, 8.0f);
            rig.processor.mode = mode;
            rig.prepare (48000.0, 512);

            rig.guarded = true;
            rig.context = "first set";
            ASSERT_TRUE (rig.playUntilFiltered (0));     // sets do flow while the guard watches

            for (const auto& step : steps)
            {
                rig.context = step.what;
                for (int b = 0; b < step.blocks; ++b)
                {
                    if (b == 0 || step.everyBlock)
                        step.edit (rig);

                    rig.play (rig.noise (kBlockSizes[(size_t) b % kBlockSizes.size()]));
                    giveTheBuilderTime();
                }
            }

            EXPECT_EQ (rig.allocations, 0) << rig.firstViolation;
            EXPECT_EQ (rig.frees, 0) << rig.firstViolation;
            EXPECT_EQ (rig.locks, 0) << rig.firstViolation;
        }
}

//==============================================================================
TEST (LinearModesLifecycle, PreparingAgainBringsANewSetForThatPreparation)
{
    // Preparing clears the convolvers; the builder must build again even when nothing it
    // compares has changed, and the set that plays afterwards must be the one for the new rate.
    struct Case { double first, second; };
    for (const auto& c : { Case { 48000.0, 48000.0 }, Case { 48000.0, 44100.0 }, Case { 44100.0, 96000.0 } })
    {
        SCOPED_TRACE (testing::Message() << c.first << " then " << c.second);
        Rig rig;
        rig.set ("match", 0.0f);
        rig.band (1, tl::Bell, 1000.0f, 9.0f);
        rig.processor.mode = kLinearPhase;
        rig.prepare (c.first);
        ASSERT_TRUE (rig.playUntilFiltered (0));

        rig.prepare (c.second, 1024);
        ASSERT_TRUE (rig.playUntilFiltered (0)) << "no set after the second preparation";

        const int firLength = c.second < 88200.0 ? 16384 : 32768;
        const auto y = rig.clickResponse (firLength);
        const auto bell = rig.processor.curve().bands[0];
        for (double f : { 700.0, 1000.0, 1400.0 })
            EXPECT_NEAR (responseAt (y[0], rig.latency(), firLength / 2, f, c.second),
                         std::pow (10.0, tl::analogMagDb (bell, f) / 20.0), 1e-4) << f << " Hz";
    }
}

TEST (LinearModesLifecycle, ASetBuiltForTheOldRateNeverPlays)
{
    // Linear HQ has the same FIR length at 44.1 and 48 kHz: only the rate tells the sets apart.
    // A full curve of four-way bands keeps the builder busy for a while with the 44.1 kHz set,
    // so the audio right after the second preparation can only have seen the stale one.
    Rig rig;
    rig.set ("match", 0.0f);
    for (int b = 1; b <= tl::kNumBands; ++b)
        rig.band (b, b % 3 == 0 ? tl::HighShelf : tl::Bell, 40.0f * (float) b * (float) b, b % 2 == 0 ? 4.0f : -4.0f, b % 5);
    rig.processor.mode = kLinearHQ;
    rig.prepare (48000.0);
    std::this_thread::sleep_for (std::chrono::milliseconds (500));     // the 48 kHz set waits, untaken

    rig.prepare (44100.0);
    rig.playNoise (3 * 4096 + 2048);     // long enough for an offered set to take over
    EXPECT_EQ (rig.firstDeparture (0, rig.latency()), -1);

    EXPECT_TRUE (rig.playUntilFiltered (0)) << "the 44.1 kHz set never came";
}

TEST (LinearModesLifecycle, ASetReadyBeforeItsModeIsActiveWaitsForTheSwitch)
{
    // The builder finishes the new mode's set while the audio thread has not yet heard of the
    // switch: the set is handed over during the fade-out and must play once the switch is done,
    // as no second set will follow.
    struct Case { int from, to, latencyTo, firLength; };
    for (const auto& c : { Case { kLinearPhase, kLinearHQ, 36864, 65536 }, Case { kLinearHQ, kLinearPhase, 9216, 16384 },
                           Case { 0, kLinearPhase, 9216, 16384 } })
    {
        SCOPED_TRACE (testing::Message() << c.from << " -> " << c.to);
        Rig rig;
        rig.set ("match", 0.0f);
        rig.band (1, tl::Bell, 1000.0f, 9.0f, tl::Left);
        rig.processor.mode = c.from;
        rig.prepare (48000.0);
        if (c.from != 0)
        {
            ASSERT_TRUE (rig.playUntilFiltered (0));
        }

        rig.processor.mode = c.to;
        std::this_thread::sleep_for (std::chrono::milliseconds (300));

        const auto from = rig.settleAt (c.latencyTo);
        ASSERT_TRUE (rig.playUntilFiltered (from)) << "the new mode plays unfiltered";

        const auto y = rig.clickResponse (c.firLength);
        const auto bell = rig.processor.curve().bands[0];
        EXPECT_NEAR (responseAt (y[0], c.latencyTo, c.firLength / 2, 1000.0, 48000.0),
                     std::pow (10.0, tl::analogMagDb (bell, 1000.0) / 20.0), 1e-4);
        EXPECT_NEAR (responseAt (y[1], c.latencyTo, c.firLength / 2, 1000.0, 48000.0), 0.5, 1e-4);
    }
}

TEST (LinearModesLifecycle, AQuickRoundTripThroughAnotherModeStillEndsFiltered)
{
    // Leaving a linear mode and coming back clears its convolver; whatever the builder thread
    // happened to see meanwhile, a set for the curve must come back. Here the round trip takes
    // a few hundred microseconds of audio, well inside one of the builder's polls.
    for (int via : { 0, kLinearHQ })
    {
        SCOPED_TRACE (testing::Message() << "via mode " << via);
        Rig rig;
        rig.set ("match", 0.0f);
        rig.band (1, tl::Bell, 1000.0f, 9.0f);
        rig.processor.mode = kLinearPhase;
        rig.prepare (48000.0);
        ASSERT_TRUE (rig.playUntilFiltered (0));

        rig.processor.mode = via;
        rig.playNoise (2048);
        ASSERT_EQ (rig.latency(), via == 0 ? 0 : 36864);
        rig.processor.mode = kLinearPhase;

        const auto from = rig.settleAt (9216);
        EXPECT_TRUE (rig.playUntilFiltered (from)) << "Linear Phase plays unfiltered";
    }
}

TEST (LinearModesLifecycle, InstancesDieCleanlyWithSetsInFlight)
{
    // Each round leaves sets in a different place at destruction: waiting in the hand-over
    // slot, parked for a mode not yet active, pending or fading in a convolver, queued for
    // retirement. The heap must come back to where it was (filter sets are hundreds of
    // kilobytes to megabytes, so a lost one shows).
    const auto round = [] (int i)
    {
        Rig rig (i % 5 == 4 ? 1 : 2);
        rig.band (1, tl::Bell, 1000.0f, 6.0f, i % 3 == 0 ? tl::Mid : tl::Stereo);
        rig.processor.mode = i % 2 == 0 ? kLinearPhase : kLinearHQ;

        if (i % 7 == 6)
            return;                                // never prepared

        rig.prepare (i % 4 == 3 ? 96000.0 : 48000.0);
        for (int b = 0; b < i % 6; ++b)
        {
            rig.set ("b01_gain", (float) b);
            rig.playNoise (1024);
            std::this_thread::sleep_for (std::chrono::milliseconds (8 * (b + 1)));
        }

        if (i % 3 == 1)
            rig.processor.mode = 3 - rig.processor.mode.load();   // a set will be parked
        if (i % 4 == 2)
            rig.processor.mode = 0;
        rig.set ("b01_freq", 2000.0f + (float) i);
        rig.playNoise (256);
        std::this_thread::sleep_for (std::chrono::milliseconds (i % 4 * 15));
        rig.playNoise (37);
    };

    const auto heapInUse = []
    {
        const auto info = mallinfo2();
        return (long long) (info.uordblks + info.hblkhd);
    };

    round (0);     // first use of the framework's singletons
    const auto before = heapInUse();
    for (int i = 1; i <= 14; ++i)
        round (i);

    EXPECT_LT (heapInUse() - before, 200000);     // the smallest set takes 262 kB
}
