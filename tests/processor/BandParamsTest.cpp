#include "processor/BandParams.h"
#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>

namespace
{
// Records what a host would see of the parameters' gestures and values.
struct HostListener : juce::AudioProcessorListener
{
    int gestureBegins = 0, gestureEnds = 0, changes = 0;

    void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override { ++changes; }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int) override { ++gestureBegins; }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int) override { ++gestureEnds; }
};

struct BandParamsTest : ::testing::Test
{
    TirelAudioProcessor processor;
    BandParams bands { processor };
    HostListener host;

    void SetUp() override { processor.addListener (&host); }
    void TearDown() override { processor.removeListener (&host); }
};
} // namespace

TEST_F (BandParamsTest, SnapsToLegalValues)
{
    struct Case { int band; const char* id; float value; float stored; };
    const Case cases[] = {
        { 0, "freq", 5.0f, 10.0f }, { 0, "freq", 30000.0f, 22000.0f }, { 3, "q", 100.0f, 40.0f },
        { 2, "slope", 4.4f, 4.0f }, { 2, "type", 9.0f, 6.0f }, { 5, "on", 0.7f, 1.0f }, { 5, "ch", -2.0f, 0.0f },
        { 23, "gain", -45.0f, -30.0f }, { 23, "gain", 4.5f, 4.5f },
    };

    for (const auto& c : cases)
    {
        bands.set (c.band, c.id, c.value);
        EXPECT_EQ (bands.get (c.band, c.id), c.stored) << c.band << " " << c.id << " " << c.value;
    }

    EXPECT_EQ (processor.apvts.getParameter ("b03_slope")->getCurrentValueAsText(), "36 dB/oct");
    EXPECT_EQ (processor.apvts.getParameter ("b03_type")->getCurrentValueAsText(), "Notch");
    EXPECT_TRUE (processor.curve().bands[5].on);
}

TEST_F (BandParamsTest, AddressesParametersByBandAndShortId)
{
    EXPECT_EQ (bands.param (0, "freq"), processor.apvts.getParameter ("b01_freq"));
    EXPECT_EQ (bands.param (23, "ch"), processor.apvts.getParameter ("b24_ch"));
    EXPECT_EQ (bands.param (0, "bogus"), nullptr);
    EXPECT_EQ (bands.param (24, "freq"), nullptr);
    EXPECT_EQ (bands.param (-1, "freq"), nullptr);
}

TEST_F (BandParamsTest, GesturesAsTheHostSeesThem)
{
    // A drag: the caller holds one gesture around many sets.
    auto* freq = bands.param (4, "freq");
    freq->beginChangeGesture();
    for (float f : { 200.0f, 300.0f, 400.0f })
        bands.set (4, "freq", f);
    freq->endChangeGesture();

    EXPECT_EQ (host.gestureBegins, 1);
    EXPECT_EQ (host.gestureEnds, 1);
    EXPECT_EQ (host.changes, 3);

    // Each setGesture is a gesture of its own.
    bands.setGesture (4, "gain", 3.0f);
    bands.setGesture (4, "gain", 4.0f);
    EXPECT_EQ (host.gestureBegins, 3);
    EXPECT_EQ (host.gestureEnds, 3);
    EXPECT_EQ (host.changes, 5);
}

TEST_F (BandParamsTest, ChangesJoinTheOpenUndoTransaction)
{
    processor.undoManager.beginNewTransaction();
    bands.set (1, "gain", 5.0f);
    bands.set (1, "freq", 250.0f);
    processor.undoManager.beginNewTransaction();
    bands.setGesture (1, "q", 3.0f);

    EXPECT_NEAR (bands.get (1, "q"), 3.0f, 1e-5f);
    ASSERT_TRUE (processor.undoManager.undo());          // the Q alone
    EXPECT_NEAR (bands.get (1, "q"), 1.0f, 1e-5f);
    EXPECT_EQ (bands.get (1, "gain"), 5.0f);

    ASSERT_TRUE (processor.undoManager.undo());          // gain and frequency together
    EXPECT_EQ (bands.get (1, "gain"), 0.0f);
    EXPECT_NEAR (bands.get (1, "freq"), 1000.0f, 1e-2f);
    EXPECT_FALSE (processor.undoManager.canUndo());

    ASSERT_TRUE (processor.undoManager.redo());
    EXPECT_EQ (bands.get (1, "gain"), 5.0f);
}
