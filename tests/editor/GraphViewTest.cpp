#include "dsp/Design.h"
#include "dsp/Display.h"
#include "editor/GraphView.h"
#include "editor/Palette.h"
#include "editor/PluginEditor.h"
#include "processor/PluginProcessor.h"
#include "MessageLoop.h"
#include "RepresentativeSetting.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
// A graph 600 px wide: its plot spans x = 30 .. 600 and y = 6 .. 406.
struct GraphViewTest : ::testing::Test
{
    TirelAudioProcessor processor;
    GraphView graph { processor };

    void SetUp() override { graph.setSize (600, 428); }

    tl::Band& band (int index) { return graph.curve.bands[(size_t) index]; }

    tl::Band& turnOn (int index, int type, double freq, double gain, int channel = tl::Stereo)
    {
        auto& b = band (index);
        b = { true, type, freq, gain, 1.0, 24, channel };
        return b;
    }

    float zeroY() const { return 206.0f; }
};
} // namespace

TEST_F (GraphViewTest, FrequencyAndGainMappings)
{
    EXPECT_EQ (graph.plot(), juce::Rectangle<float> (30.0f, 6.0f, 570.0f, 400.0f));
    EXPECT_FLOAT_EQ (graph.xOf (20.0), 30.0f);
    EXPECT_FLOAT_EQ (graph.xOf (20000.0), 600.0f);
    EXPECT_NEAR (graph.xOf (1000.0), 352.80f, 0.01f);
    EXPECT_NEAR (graph.xOf (2000.0), 410.0f, 0.001f);
    for (const double hz : { 20.0, 63.0, 1000.0, 14500.0 })
        EXPECT_NEAR (graph.hzAt (graph.xOf (hz)), hz, hz * 1e-5);

    EXPECT_FLOAT_EQ (graph.yOfGain (12.0, 12.0), 6.0f);
    EXPECT_FLOAT_EQ (graph.yOfGain (-12.0, 12.0), 406.0f);
    EXPECT_FLOAT_EQ (graph.yOfGain (0.0, 12.0), zeroY());
    EXPECT_FLOAT_EQ (graph.yOfGain (20.0, 12.0), 6.0f);
    EXPECT_FLOAT_EQ (graph.yOfGain (20.0, 14.4), -34.0f);      // curves run 20 % past the edge

    graph.rangeDb = 3.0;
    EXPECT_FLOAT_EQ (graph.yOfGain (1.5, 3.0), 106.0f);
}

TEST_F (GraphViewTest, BandPointsDrawTheScaledGainAndCutsOnTheZeroLine)
{
    const auto& cut = turnOn (0, tl::LowCut, 80.0, 9.0);
    EXPECT_FLOAT_EQ (graph.nodePos (cut).y, zeroY());
    EXPECT_FLOAT_EQ (graph.nodePos (cut).x, graph.xOf (80.0));

    const auto& bell = turnOn (1, tl::Bell, 1000.0, 10.0);
    graph.curve.scale = 0.5;
    EXPECT_FLOAT_EQ (graph.nodePos (bell).y, graph.yOfGain (5.0, 12.0));

    graph.curve.scale = 1.0;
    turnOn (2, tl::Bell, 1000.0, 20.0);
    EXPECT_FLOAT_EQ (graph.nodePos (band (2)).y, 6.0f);         // points stop at the edge

    graph.curve.scale = -1.0;
    EXPECT_FLOAT_EQ (graph.nodePos (bell).y, graph.yOfGain (-10.0, 12.0));
}

TEST_F (GraphViewTest, AnalyserLevelsFollowTheChosenRange)
{
    struct Case { juce::var stored; float db; float y; };
    const Case cases[] {
        { juce::var(), 0.0f, 6.0f },   { juce::var(), -90.0f, 406.0f },   { juce::var(), 6.0f, 6.0f - 400.0f / 15.0f },
        { 0, -60.0f, 406.0f },         { 2, -60.0f, 206.0f },             { 9, -120.0f, 406.0f },
        { -4, -30.0f, 206.0f },        { "abc", -30.0f, 206.0f },
    };

    for (const auto& c : cases)
    {
        if (c.stored.isVoid())
            processor.apvts.state.removeProperty ("analyserRange", nullptr);
        else
            processor.apvts.state.setProperty ("analyserRange", c.stored, nullptr);
        EXPECT_NEAR (graph.specY (c.db), c.y, 1e-3f) << c.stored.toString() << " " << c.db;
    }
}

TEST_F (GraphViewTest, GridAndBadgeTexts)
{
    const std::pair<double, const char*> gains[] { { -12, "-12" }, { -6, "-6" }, { 0, "0" }, { 6, "+6" }, { 12, "+12" },
                                                   { -1.5, "-1.5" }, { 1.5, "+1.5" }, { 30, "+30" }, { -15, "-15" } };
    for (const auto& [db, text] : gains)
        EXPECT_EQ (GraphView::gainLabel (db), text) << db;

    const std::pair<int, const char*> freqs[] { { 50, "50" }, { 100, "100" }, { 500, "500" }, { 1000, "1k" },
                                                { 2000, "2k" }, { 5000, "5k" }, { 10000, "10k" } };
    for (const auto& [hz, text] : freqs)
        EXPECT_EQ (GraphView::freqLabel (hz), text) << hz;

    struct Badge { bool delta; int monitor; const char* text; };
    const Badge badges[] { { true, 0, "DELTA" }, { false, 1, "SOLO MID" }, { false, 2, "SOLO SIDE" },
                           { true, 3, "DELTA + SOLO L" }, { false, 4, "SOLO R" }, { false, 9, "SOLO R" },
                           { false, 0, "" } };
    for (const auto& b : badges)
        EXPECT_EQ (GraphView::badgeText (b.delta, b.monitor), b.text) << b.delta << " " << b.monitor;
}

TEST_F (GraphViewTest, ListenedRegions)
{
    struct Case { int type; double freq, q; double lo, hi; };
    const double h = 0.5, r = std::sqrt (1.25);
    const Case cases[] {
        { tl::Bell, 1000.0, 1.0, 1000.0 * (r - h), 1000.0 * (r + h) },
        { tl::Notch, 1000.0, 1000.0, 1000.0 * (std::sqrt (1.0 + 1.0 / 6400.0) - 1.0 / 80.0), 1000.0 * (std::sqrt (1.0 + 1.0 / 6400.0) + 1.0 / 80.0) },
        { tl::LowShelf, 150.0, 0.7, 10.0, 150.0 },  { tl::LowCut, 40.0, 0.7, 10.0, 40.0 },
        { tl::HighShelf, 9000.0, 0.7, 9000.0, 22000.0 }, { tl::HighCut, 8000.0, 0.7, 8000.0, 22000.0 },
    };

    for (const auto& c : cases)
    {
        const auto region = GraphView::listenRegion ({ true, c.type, c.freq, 0.0, c.q, 24, tl::Stereo });
        ASSERT_TRUE (region.has_value()) << c.type;
        EXPECT_NEAR (region->first, c.lo, 1e-9) << c.type;
        EXPECT_NEAR (region->second, c.hi, 1e-9) << c.type;
    }

    EXPECT_FALSE (GraphView::listenRegion ({ true, tl::Tilt, 1000.0, 3.0, 1.0, 24, tl::Stereo }).has_value());
}

TEST_F (GraphViewTest, FreeBandsAreExactlyTheDefaults)
{
    EXPECT_TRUE (isFreeBand (tl::Band {}));
    EXPECT_TRUE (isFreeBand ({ false, tl::Bell, 1000.005, 0.00005, 1.00005, 24, tl::Stereo }));
    EXPECT_TRUE (isFreeBand ({ false, tl::Bell, 999.99988, 0.0, 0.99999994, 24, tl::Stereo }));   // through a host

    const tl::Band moved[] { { true, tl::Bell, 1000, 0, 1, 24, 0 }, { false, tl::Tilt, 1000, 0, 1, 24, 0 },
                             { false, tl::Bell, 1000.02, 0, 1, 24, 0 }, { false, tl::Bell, 1000, 0.001, 1, 24, 0 },
                             { false, tl::Bell, 1000, 0, 1.001, 24, 0 }, { false, tl::Bell, 1000, 0, 1, 12, 0 },
                             { false, tl::Bell, 1000, 0, 1, 24, tl::Side } };
    for (const auto& b : moved)
        EXPECT_FALSE (isFreeBand (b));
}

TEST_F (GraphViewTest, AreasAndCurvesAreClampedPastTheEdges)
{
    turnOn (3, tl::Bell, 1000.0, 20.0);
    const auto t = graph.traces();

    ASSERT_EQ (t.xs.size(), 285u);                  // one column every two pixels
    EXPECT_FLOAT_EQ (t.xs.front(), 30.0f);
    EXPECT_FLOAT_EQ (t.xs.back(), 600.0f);

    ASSERT_EQ (t.areas.size(), 1u);
    EXPECT_EQ (t.areas[0].band, 3);
    ASSERT_EQ (t.curves.size(), 1u);

    const float top = *std::min_element (t.curves[0].ys.begin(), t.curves[0].ys.end());
    EXPECT_FLOAT_EQ (top, zeroY() - 1.2f * 200.0f);   // +14.4 dB, cut by the clip when drawn
    EXPECT_EQ (t.areas[0].ys, t.curves[0].ys);
    EXPECT_NEAR (t.curves[0].ys.front(), zeroY(), 1.0f);
}

TEST_F (GraphViewTest, CurvesSplitPerChannelPair)
{
    // Only Stereo bands: one curve over all of them.
    turnOn (0, tl::Bell, 200.0, 6.0);
    turnOn (1, tl::HighShelf, 5000.0, -4.0);
    auto t = graph.traces();
    ASSERT_EQ (t.curves.size(), 1u);
    const auto stereoOnly = t.curves[0].ys;

    // Adding a Side band: {Stereo, Side} thin, then {Stereo, Mid} thick with the Stereo bands only.
    turnOn (2, tl::Bell, 1000.0, 9.0, tl::Side);
    t = graph.traces();
    ASSERT_EQ (t.curves.size(), 2u);
    EXPECT_EQ (t.areas.size(), 3u);
    const int st = tl::channelBit (tl::Stereo);
    EXPECT_EQ (t.curves[0].channels, st | tl::channelBit (tl::Side));
    EXPECT_FALSE (t.curves[0].thick);
    EXPECT_EQ (t.curves[1].channels, st | tl::channelBit (tl::Mid));
    EXPECT_TRUE (t.curves[1].thick);
    EXPECT_EQ (t.curves[1].ys, stereoOnly);
    EXPECT_NE (t.curves[0].ys, stereoOnly);

    // A Left band adds the left/right pair after the mid/side pair.
    turnOn (3, tl::Bell, 3000.0, -6.0, tl::Left);
    t = graph.traces();
    ASSERT_EQ (t.curves.size(), 4u);
    EXPECT_EQ (t.curves[2].channels, st | tl::channelBit (tl::Right));
    EXPECT_EQ (t.curves[3].channels, st | tl::channelBit (tl::Left));
    EXPECT_EQ (t.curves[2].ys, stereoOnly);
    EXPECT_FALSE (t.curves[2].thick);
    EXPECT_TRUE (t.curves[3].thick);

    // Bands that are off draw nothing, even when moved from their defaults.
    band (2).on = false;
    band (3).on = false;
    t = graph.traces();
    ASSERT_EQ (t.curves.size(), 1u);
    EXPECT_EQ (t.areas.size(), 2u);
    EXPECT_EQ (t.curves[0].ys, stereoOnly);
}

TEST_F (GraphViewTest, CurvesScaleWithTheCurveButCutsDoNot)
{
    turnOn (0, tl::Bell, 1000.0, 8.0);
    turnOn (1, tl::LowCut, 100.0, 0.0);
    graph.curve.scale = 0.5;
    const auto t = graph.traces();

    const size_t at1k = (size_t) std::lround ((graph.xOf (1000.0) - 30.0f) / 570.0f * 284.0f);
    const double hz = graph.hzAt (t.xs[at1k]);
    const double expected = tl::analogMagDb ({ true, tl::Bell, 1000.0, 4.0, 1.0, 24, 0 }, hz)
                          + tl::analogMagDb ({ true, tl::LowCut, 100.0, 0.0, 1.0, 24, 0 }, hz);
    EXPECT_NEAR (t.curves[0].ys[at1k], graph.yOfGain (expected, 14.4), 1e-3f);
}

TEST_F (GraphViewTest, RefreshReadsTheRangeAndDropsALostSelection)
{
    const std::pair<juce::var, double> ranges[] { { 6.0, 6.0 }, { 3, 3.0 }, { 30.0, 30.0 }, { 7.0, 12.0 },
                                                   { "abc", 12.0 }, { juce::var(), 12.0 }, { 12.0, 12.0 } };
    for (const auto& [stored, expected] : ranges)
    {
        if (stored.isVoid())
            processor.apvts.state.removeProperty ("graphRange", nullptr);
        else
            processor.apvts.state.setProperty ("graphRange", stored, nullptr);
        graph.refreshFromProcessor();
        EXPECT_EQ (graph.rangeDb, expected) << stored.toString();
        EXPECT_EQ (graph.rangeButton.getButtonText(), juce::String ((int) expected) + " dB");
    }

    int selections = 0;
    graph.onSelect = [&] { ++selections; };
    BandParams (processor).set (4, "on", 1.0f);
    graph.refreshFromProcessor();
    graph.select (4);
    EXPECT_EQ (selections, 1);
    graph.refreshFromProcessor();
    EXPECT_EQ (graph.selected, 4);

    BandParams (processor).set (4, "on", 0.0f);           // free again, as after an undo
    graph.fullWarnTicks = 2;
    graph.refreshFromProcessor();
    EXPECT_EQ (graph.selected, -1);
    EXPECT_TRUE (graph.selection.empty());
    EXPECT_EQ (selections, 2);
    EXPECT_EQ (graph.fullWarnTicks, 1);
    graph.refreshFromProcessor();
    graph.refreshFromProcessor();
    EXPECT_EQ (graph.fullWarnTicks, 0);
}

TEST_F (GraphViewTest, RefreshDrainsTheAnalyserFeedAndFollowsItsSettings)
{
    processor.setRateAndBufferSizeDetails (96000.0, 512);
    processor.prepareToPlay (96000.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 512; ++i)
            buffer.setSample (ch, i, 0.5f * std::sin (0.06f * (float) i));

    processor.apvts.state.setProperty ("analyserWindow", 9, nullptr);
    processor.apvts.state.setProperty ("analyserResolution", -3, nullptr);
    processor.apvts.state.setProperty ("analyserSpeed", 4, nullptr);

    // Off: the feed is left alone and the analysers keep their picture.
    processor.analyserOn = false;
    processor.processBlock (buffer, midi);
    graph.refreshFromProcessor();
    EXPECT_EQ (processor.analyserFifo.getNumReady(), 0);    // nothing is fed while off
    EXPECT_EQ (graph.spectrumRate, 48000.0);

    processor.analyserOn = true;
    for (int block = 0; block < 20; ++block)
        processor.processBlock (buffer, midi);
    ASSERT_GT (processor.analyserFifo.getNumReady(), 8000);

    graph.refreshFromProcessor();
    EXPECT_EQ (processor.analyserFifo.getNumReady(), 0);
    EXPECT_EQ (graph.spectrumRate, 96000.0);
    for (const auto* s : { &graph.inputSpectrum, &graph.outputSpectrum })
    {
        EXPECT_EQ (s->sampleRate, 96000.0);
        EXPECT_EQ (s->windowType, tl::Spectrum::kaiser12);
        EXPECT_EQ (s->sizeIndex, 0);
        EXPECT_EQ (s->speedIndex, 4);
        EXPECT_EQ (s->points.size(), 240u);
    }

    const auto loudest = std::max_element (graph.inputSpectrum.points.begin(), graph.inputSpectrum.points.end(),
                                           [] (auto& a, auto& b) { return a.db < b.db; });
    EXPECT_NEAR (loudest->freq, 0.06 * 96000.0 / (2.0 * juce::MathConstants<double>::pi), 60.0);
    EXPECT_GT (loudest->db, -12.0);
}

//==============================================================================
namespace
{
// The representative picture: 24 bands on every routing over a live analyser, two bands
// selected, one hovered, one listened to, delta with a solo, the warning and the create circle.
struct GraphSnapshotTest : ::testing::Test
{
    TirelAudioProcessor processor;
    GraphView graph { processor };

    void SetUp() override
    {
        processor.prepareToPlay (48000.0, 512);
        tltest::setTwentyFourBands (processor);
        tltest::playNoiseIntoAnalyser (processor, graph);
        graph.setSize (876, 400);

        graph.selection = { 9, 2 };
        graph.selected = 9;
        graph.hovered = 11;
        processor.listenBand = 7;
        graph.listening = true;
        graph.fullWarnTicks = 30;
        graph.circleVisible = true;
        graph.circlePos = { graph.xOf (150.0), 150.0f };
        processor.apvts.getParameter ("delta")->setValueNotifyingHost (1.0f);
        processor.apvts.getParameter ("monitor")->setValueNotifyingHost (processor.apvts.getParameter ("monitor")->convertTo0to1 (3.0f));
    }

    // Draws the graph over the editor's background, as the editor shows it.
    juce::Image render (float scale)
    {
        juce::Image image (juce::Image::ARGB, juce::roundToInt (876 * scale), juce::roundToInt (400 * scale), true);
        juce::Graphics g (image);
        g.fillAll (ui::bg);
        g.addTransform (juce::AffineTransform::scale (scale));
        graph.paintEntireComponent (g, true);
        return image;
    }

    static juce::File snapshotFolder()
    {
        auto folder = juce::File::getCurrentWorkingDirectory().getChildFile ("snapshots");
        folder.createDirectory();
        return folder;
    }

    static void save (const juce::Image& image, const juce::String& name)
    {
        const auto file = snapshotFolder().getChildFile (name);
        file.deleteFile();
        juce::FileOutputStream out (file);
        ASSERT_TRUE (out.openedOk());
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (image, out));
    }
};
} // namespace

TEST_F (GraphSnapshotTest, RendersTheRepresentativeSettingAtBothScales)
{
    for (const float scale : { 1.0f, 2.0f })
    {
        const auto image = render (scale);
        save (image, "graph_" + juce::String ((int) scale) + "x.png");

        EXPECT_EQ (image.getWidth(), juce::roundToInt (876 * scale));
        EXPECT_EQ (image.getHeight(), juce::roundToInt (400 * scale));

        auto at = [&] (juce::Point<float> p) { return image.getPixelAt ((int) (p.x * scale), (int) (p.y * scale)); };

        // Outside the plot the editor's background shows; inside, above everything drawn, the plot.
        EXPECT_EQ (at ({ 2.0f, 2.0f }), ui::bg) << scale;
        EXPECT_EQ (at ({ 34.0f, 10.0f }), ui::panel) << scale;

        // An isolated band's point is solid in its colour: the High Cut at 18 kHz on the 0 dB line.
        const auto& highCut = graph.curve.bands[14];
        ASSERT_EQ (highCut.type, tl::HighCut);
        EXPECT_EQ (at (graph.nodePos (highCut)), ui::bandColour (14)) << scale;

        // The delta/solo frame runs around the plot in the warning colour.
        const auto frame = at ({ 30.2f, 200.0f });
        EXPECT_GT (frame.getRed(), 150) << scale;
        EXPECT_GT (frame.getGreen(), 100) << scale;
        EXPECT_LT (frame.getBlue(), 100) << scale;
    }
}

TEST_F (GraphSnapshotTest, EditorOpensInARealWindow)
{
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditor());
    ASSERT_NE (dynamic_cast<TirelAudioProcessorEditor*> (editor.get()), nullptr);
    editor->addToDesktop (juce::ComponentPeer::windowHasTitleBar);
    editor->setVisible (true);
    EXPECT_TRUE (editor->isShowing());
    EXPECT_EQ (editor->getBounds().withZeroOrigin(), juce::Rectangle<int> (900, 600));

    auto& shown = static_cast<TirelAudioProcessorEditor&> (*editor).content.graph;
    EXPECT_EQ (shown.getBounds(), juce::Rectangle<int> (12, 50, 876, 400));

    // The editor's timer brings later changes across.
    BandParams (processor).set (1, "gain", 0.0f);
    EXPECT_TRUE (tltest::runMessageLoopUntil ([&] { return shown.curve.bands[1].gain == 0.0; }));

    // A selected band fills the strip and brings the box up beside its point.
    static_cast<TirelAudioProcessorEditor&> (*editor).content.graph.select (9);
    static_cast<TirelAudioProcessorEditor&> (*editor).content.timerCallback();
    EXPECT_TRUE (shown.box.isVisible());

    const auto image = editor->createComponentSnapshot (editor->getLocalBounds());
    save (image, "editor_1x.png");

    // The gold emblem is drawn left of the title.
    bool gold = false;
    for (int y = 12; y < 42 && ! gold; ++y)
        for (int x = 12; x < 42 && ! gold; ++x)
        {
            const auto c = image.getPixelAt (x, y);
            gold = std::abs (c.getRed() - 0xd7) < 12 && std::abs (c.getGreen() - 0xb5) < 12 && std::abs (c.getBlue() - 0x79) < 12;
        }
    EXPECT_TRUE (gold);
}
