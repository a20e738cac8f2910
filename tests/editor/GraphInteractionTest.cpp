#include "EditorFixture.h"
#include "dsp/Design.h"
#include "dsp/Display.h"
#include "editor/BandEdits.h"

#include <cmath>

namespace
{
using GraphInteractionTest = tltest::EditorFixture;

const juce::ModifierKeys shift { juce::ModifierKeys::shiftModifier };

struct Created { int type; double freq, gain, q; };

Created created (TirelAudioProcessor& processor, int band)
{
    const auto b = BandParams (processor).read (band);
    EXPECT_TRUE (b.on);
    EXPECT_EQ (b.slope, 24);
    EXPECT_EQ (b.ch, tl::Stereo);
    return { b.type, b.freq, b.gain, b.q };
}
} // namespace

TEST_F (GraphInteractionTest, NewBandsTakeTheirTypeFromTheFrequencyZone)
{
    struct Case { double hz, db; int type; double freq, gain, q; };
    const Case cases[] {
        { 25.0, 6.0, tl::LowCut, 25.0, 0.0, 0.7 },     { 100.0, -3.0, tl::LowShelf, 100.0, -3.0, 0.7 },
        { 1000.0, 4.5, tl::Bell, 1000.0, 4.5, 1.0 },   { 8000.0, 2.0, tl::Bell, 8000.0, 2.0, 1.0 },
        { 9000.0, 3.0, tl::HighShelf, 9000.0, 3.0, 0.7 }, { 18000.0, -6.0, tl::HighCut, 18000.0, 0.0, 0.7 },
        { 20.0, 0.0, tl::LowCut, 20.0, 0.0, 0.7 },
    };

    for (size_t i = 0; i < std::size (cases); ++i)
    {
        const auto& c = cases[i];
        const int band = graph().createBandAt (at (c.hz, c.db));
        ASSERT_EQ (band, (int) i);                                  // always the lowest free slot
        const auto made = created (processor, band);
        EXPECT_EQ (made.type, c.type) << c.hz;
        EXPECT_NEAR (made.freq, c.freq, c.freq * 1e-4) << c.hz;
        EXPECT_NEAR (made.gain, c.gain, 0.01) << c.hz;
        EXPECT_NEAR (made.q, c.q, 1e-4) << c.hz;
        EXPECT_TRUE (graph().curve.bands[(size_t) band].on);         // drawn before the next tick
    }
}

TEST_F (GraphInteractionTest, NewBandsStoreTheHeightUnscaled)
{
    struct Case { float scalePercent; double drawnDb, storedDb; };
    for (const auto& c : { Case { 50.0f, 6.0, 12.0 }, Case { 0.0f, 6.0, 6.0 }, Case { -100.0f, 3.0, -3.0 } })
    {
        auto* scale = processor.apvts.getParameter ("scale");
        scale->setValueNotifyingHost (scale->convertTo0to1 (c.scalePercent));
        tick();
        const int band = graph().createBandAt (at (1000.0, c.drawnDb));
        EXPECT_NEAR (params().get (band, "gain"), c.storedDb, 0.01) << c.scalePercent;
        params().reset (band);
        tick();
    }
}

TEST_F (GraphInteractionTest, WithAllBandsInUseCreationWarnsAndChangesNothing)
{
    for (int b = 0; b < tl::kNumBands; ++b)
        params().set (b, "on", 1.0f);
    tick();
    graph().select (3);

    const auto before = processor.curve();
    move (graph(), at (300.0, 0.0));
    ASSERT_TRUE (graph().circleVisible);
    click (graph(), at (300.0, 0.0));

    EXPECT_EQ (graph().fullWarnTicks, 59);                          // 60, and the click's tick
    EXPECT_EQ (graph().selected, -1);                                // the click cleared the selection
    const auto after = processor.curve();
    for (int b = 0; b < tl::kNumBands; ++b)
        EXPECT_EQ (after.bands[(size_t) b].type, before.bands[(size_t) b].type);

    tick();
    EXPECT_EQ (graph().fullWarnTicks, 58);
}

TEST_F (GraphInteractionTest, ClickingTheCircleCreatesSelectsAndUndoesInOneStep)
{
    const auto onCurve = at (1000.0, 0.0);
    move (graph(), onCurve);
    EXPECT_TRUE (graph().circleVisible);
    EXPECT_NEAR (graph().circlePos.y, onCurve.y, 1e-3f);

    click (graph(), onCurve);
    EXPECT_EQ (graph().selected, 0);
    EXPECT_EQ (strip().band, 0);
    EXPECT_EQ ((int) processor.apvts.state.getProperty ("selected"), 0);
    EXPECT_EQ (created (processor, 0).type, tl::Bell);
    EXPECT_FALSE (graph().circleVisible);

    processor.undoManager.undo();
    EXPECT_TRUE (isFreeBand (params().read (0)));
}

TEST_F (GraphInteractionTest, DraggingFromTheCircleCreatesAndMovesTheNewBand)
{
    move (graph(), at (1000.0, 0.0));
    drag (graph(), at (1000.0, 0.0), { at (1000.0, 0.0).translated (2.0f, -2.0f), at (2000.0, 6.0) });

    EXPECT_EQ (graph().selected, 0);
    EXPECT_NEAR (params().get (0, "freq"), 2000.0, 20.0);
    EXPECT_NEAR (params().get (0, "gain"), 6.0, 0.1);

    processor.undoManager.undo();
    EXPECT_TRUE (isFreeBand (params().read (0)));
}

TEST_F (GraphInteractionTest, TheCircleFollowsTheThickCurveWithinEightPixels)
{
    setBand (0, tl::Bell, 1000.0f, 6.0f);
    setBand (1, tl::Bell, 4000.0f, -9.0f, tl::Side);                  // not on the thick curve

    const float x = graph().xOf (300.0);
    const float yc = graph().yOfGain (tl::summedDb (graph().curve, tl::kMainCurveChannels, graph().hzAt (x)), 12.0);
    EXPECT_NEAR (tl::summedDb (graph().curve, tl::kMainCurveChannels, 4000.0), tl::analogMagDb ({ true, tl::Bell, 1000.0, 6.0, 1.0, 24, 0 }, 4000.0), 1e-5);

    move (graph(), { x, yc - 7.0f });
    EXPECT_TRUE (graph().circleVisible);
    EXPECT_NEAR (graph().circlePos.y, yc, 1e-3f);

    move (graph(), { x, yc - 8.0f });
    EXPECT_FALSE (graph().circleVisible);

    // Over a point the circle never shows, and leaving the view hides it.
    move (graph(), pointOf (0));
    EXPECT_EQ (graph().hovered, 0);
    EXPECT_FALSE (graph().circleVisible);

    move (graph(), { x, yc });
    EXPECT_TRUE (graph().circleVisible);
    move (content(), { 450.0f, 20.0f });
    EXPECT_FALSE (graph().circleVisible);
    EXPECT_EQ (graph().hovered, -1);
}

TEST_F (GraphInteractionTest, PointsAreHitWithinElevenPixels)
{
    setBand (0, tl::Bell, 1000.0f, 0.0f);
    const auto p = pointOf (0);

    EXPECT_EQ (graph().nodeAt (p.translated (10.9f, 0.0f)), 0);
    EXPECT_EQ (graph().nodeAt (p.translated (11.0f, 0.0f)), -1);
    EXPECT_EQ (graph().nodeAt (p.translated (0.0f, -10.9f)), 0);

    // Nearest wins; on a tie, the lower index.
    setBand (1, tl::Bell, 1000.0f, 0.0f);
    EXPECT_EQ (graph().nodeAt (p), 0);
    setBand (2, tl::Bell, (float) graph().hzAt (p.x + 6.0f), 0.0f);
    EXPECT_EQ (graph().nodeAt (p.translated (5.0f, 0.0f)), 2);

    // Free bands have no point.
    params().reset (0);
    params().reset (1);
    params().reset (2);
    tick();
    EXPECT_EQ (graph().nodeAt (p), -1);
}

TEST_F (GraphInteractionTest, DraggingMovesFrequencyByOctavesAcrossThePlot)
{
    struct Case { juce::ModifierKeys keys; double ratio; };
    for (const auto& c : { Case { shift, std::pow (1000.0, 0.1) }, Case { {}, 22000.0 / 200.0 } })
    {
        setBand (0, tl::Bell, 200.0f, 0.0f);
        const auto start = pointOf (0);
        drag (graph(), start, { start.translated (graph().plot().getWidth(), 0.0f) }, c.keys);
        EXPECT_NEAR (params().get (0, "freq") / 200.0, c.ratio, c.ratio * 2e-3);
        EXPECT_NEAR (params().get (0, "gain"), 0.0, 1e-6);
    }
}

TEST_F (GraphInteractionTest, DraggingUpAndDownMovesGainUnlessTheTypeHasNone)
{
    setBand (0, tl::Bell, 1000.0f, 0.0f);
    setBand (1, tl::HighCut, 8000.0f, 0.0f);
    const float quarter = graph().plot().getHeight() / 4.0f;            // 6 dB at ±12

    const auto bell = pointOf (0);
    drag (graph(), bell, { bell.translated (0.0f, -quarter) });
    EXPECT_NEAR (params().get (0, "gain"), 6.0, 0.01);

    drag (graph(), pointOf (0), { pointOf (0).translated (0.0f, quarter) }, shift);
    EXPECT_NEAR (params().get (0, "gain"), 5.4, 0.01);                  // a tenth with Shift

    const auto cut = pointOf (1);
    drag (graph(), cut, { cut.translated (40.0f, -quarter) });
    EXPECT_NEAR (params().get (1, "gain"), 0.0, 1e-6);
    EXPECT_GT (params().get (1, "freq"), 8000.0f);
    EXPECT_NEAR (params().get (1, "q"), 1.0, 1e-6);
}

TEST_F (GraphInteractionTest, ADragIsOneUndoStepAndHostGesture)
{
    setBand (0, tl::Bell, 1000.0f, 0.0f);

    struct GestureCounter : juce::AudioProcessorParameter::Listener
    {
        int begins = 0, ends = 0;
        void parameterValueChanged (int, float) override {}
        void parameterGestureChanged (int, bool starting) override { ++(starting ? begins : ends); }
    } gestures;
    params().param (0, "freq")->addListener (&gestures);

    const auto p = pointOf (0);
    drag (graph(), p, { p.translated (10.0f, -10.0f), p.translated (30.0f, -40.0f), p.translated (60.0f, -80.0f) });
    params().param (0, "freq")->removeListener (&gestures);
    EXPECT_EQ (gestures.begins, 1);
    EXPECT_EQ (gestures.ends, 1);
    EXPECT_GT (params().get (0, "freq"), 1500.0f);

    processor.undoManager.undo();
    EXPECT_NEAR (params().get (0, "freq"), 1000.0, 0.1);
    EXPECT_NEAR (params().get (0, "gain"), 0.0, 1e-6);
    EXPECT_TRUE (params().read (0).on);                               // the band itself stays
}

TEST_F (GraphInteractionTest, RubberBandSelectsAndSelectionMovesTogether)
{
    setBand (0, tl::Bell, 200.0f, 3.0f);
    setBand (1, tl::Bell, 400.0f, -3.0f);
    setBand (2, tl::HighCut, 500.0f, 0.0f);
    setBand (3, tl::Bell, 5000.0f, 0.0f);

    // Empty space away from the curve: a rubber band around the first three.
    drag (graph(), at (150.0, 11.0), { at (300.0, -2.0), at (600.0, -11.0) });
    EXPECT_EQ (graph().selection, (std::vector<int> { 0, 1, 2 }));
    EXPECT_EQ (graph().selected, 0);

    // Pressing one of them makes it primary and keeps the selection; all move by the same ratio.
    const auto p = pointOf (1);
    drag (graph(), p, { p.translated (graph().plot().getWidth() / 9.965784f, -10.0f) });
    EXPECT_EQ (graph().selection, (std::vector<int> { 0, 1, 2 }));
    EXPECT_EQ (graph().selected, 1);
    EXPECT_NEAR (params().get (0, "freq"), 400.0, 2.0);
    EXPECT_NEAR (params().get (1, "freq"), 800.0, 4.0);
    EXPECT_NEAR (params().get (2, "freq"), 1000.0, 5.0);
    EXPECT_NEAR (params().get (0, "gain") - 3.0f, params().get (1, "gain") + 3.0f, 1e-4);
    EXPECT_NEAR (params().get (3, "freq"), 5000.0, 0.5);

    // Right-click inside the selection keeps it; outside selects that point alone.
    tick();
    press (graph(), pointOf (2), {}, true);
    release (graph(), pointOf (2));
    EXPECT_EQ (graph().selection.size(), 3u);
    juce::PopupMenu::dismissAllActiveMenus();
    press (graph(), pointOf (3), {}, true);
    release (graph(), pointOf (3));
    EXPECT_EQ (graph().selection, (std::vector<int> { 3 }));
    juce::PopupMenu::dismissAllActiveMenus();

    // A click on empty space away from the curve empties the selection.
    click (graph(), at (60.0, -11.0));
    EXPECT_TRUE (graph().selection.empty());
    EXPECT_EQ (graph().selected, -1);
    EXPECT_EQ (strip().band, -1);
}

TEST_F (GraphInteractionTest, DeletingAMultipleSelectionIsOneUndoStep)
{
    setBand (0, tl::Bell, 200.0f, 3.0f);
    setBand (1, tl::LowCut, 40.0f, 0.0f, tl::Side);
    setBand (2, tl::Notch, 3000.0f, 0.0f, tl::Left);
    graph().selection = { 0, 1, 2 };
    graph().selected = 0;

    EXPECT_TRUE (content().keyPressed (juce::KeyPress (juce::KeyPress::deleteKey)));
    for (int b = 0; b < 3; ++b)
        EXPECT_TRUE (isFreeBand (params().read (b))) << b;
    EXPECT_EQ (graph().selected, -1);

    EXPECT_TRUE (content().keyPressed (juce::KeyPress ('Z', juce::ModifierKeys::commandModifier, 0)));
    EXPECT_EQ (params().read (1).type, tl::LowCut);
    EXPECT_EQ (params().read (2).ch, tl::Left);
    EXPECT_TRUE (params().read (0).on);

    EXPECT_TRUE (content().keyPressed (juce::KeyPress ('Z', juce::ModifierKeys::commandModifier | juce::ModifierKeys::shiftModifier, 0)));
    EXPECT_TRUE (isFreeBand (params().read (2)));
    processor.undoManager.undo();
    EXPECT_TRUE (content().keyPressed (juce::KeyPress ('Y', juce::ModifierKeys::commandModifier, 0)));
    EXPECT_TRUE (isFreeBand (params().read (1)));

    EXPECT_FALSE (content().keyPressed (juce::KeyPress ('q', {}, 'q')));
}

TEST_F (GraphInteractionTest, WheelStepsSlopeOrQAndGroupsIntoUndoSteps)
{
    setBand (0, tl::LowCut, 40.0f, 0.0f, tl::Stereo, 1.0f, 4);        // 36 dB/oct
    setBand (1, tl::Bell, 1000.0f, 3.0f);
    setBand (2, tl::Tilt, 300.0f, 2.0f);
    setBand (3, tl::HighShelf, 8000.0f, 3.0f, tl::Stereo, 1.8f);

    wheel (graph(), pointOf (0), 0.1f);
    EXPECT_EQ (params().read (0).slope, 48);
    wheel (graph(), pointOf (0), 0.1f);
    EXPECT_EQ (params().read (0).slope, 48);

    wheel (graph(), pointOf (1), 0.1f);
    EXPECT_NEAR (params().get (1, "q"), std::pow (2.0, 0.2), 1e-3);
    wheel (graph(), pointOf (1), -0.1f, shift);
    EXPECT_NEAR (params().get (1, "q"), std::pow (2.0, 0.18), 1e-3);
    wheel (graph(), pointOf (3), 0.5f);
    EXPECT_NEAR (params().get (3, "q"), 2.0, 1e-6);                    // shelves stop at 2

    const auto tilt = params().read (2);
    wheel (graph(), pointOf (2), 0.3f);
    EXPECT_NEAR (params().read (2).q, tilt.q, 1e-9);

    // Everything above came in one burst: one undo step takes it all back.
    processor.undoManager.undo();
    EXPECT_EQ (params().read (0).slope, 36);
    EXPECT_NEAR (params().get (1, "q"), 1.0, 1e-4);

    // After a pause of more than 600 ms the next step is an undo step of its own.
    wheel (graph(), pointOf (1), 0.1f);
    graph().lastWheelMs -= 700;
    wheel (graph(), pointOf (1), 0.1f);
    processor.undoManager.undo();
    EXPECT_NEAR (params().get (1, "q"), std::pow (2.0, 0.2), 1e-3);

    // Gentler from 6 stays at 6; away from the points the wheel does nothing.
    setBand (4, tl::HighCut, 12000.0f, 0.0f, tl::Stereo, 1.0f, 0);
    wheel (graph(), pointOf (4), -0.1f);
    EXPECT_EQ (params().read (4).slope, 6);
    wheel (graph(), at (60.0, -11.0), 0.1f);
    EXPECT_EQ (params().read (4).slope, 6);
}

TEST_F (GraphInteractionTest, DoubleClickTurnsABandOffAndOn)
{
    setBand (0, tl::Bell, 1000.0f, 6.0f);
    click (graph(), pointOf (0));
    click (graph(), pointOf (0));
    EXPECT_FALSE (params().read (0).on);

    pause();
    click (graph(), pointOf (0));
    click (graph(), pointOf (0));
    EXPECT_TRUE (params().read (0).on);

    processor.undoManager.undo();
    EXPECT_FALSE (params().read (0).on);
}

TEST_F (GraphInteractionTest, ShiftRightHoldListensToTheBand)
{
    setBand (0, tl::Bell, 1000.0f, 6.0f);
    setBand (1, tl::Bell, 3000.0f, -6.0f);
    const auto p = pointOf (0);

    press (graph(), p, shift, true);
    EXPECT_EQ (processor.listenBand.load(), 0);
    EXPECT_TRUE (graph().listening);
    EXPECT_EQ (graph().selected, 0);

    // Shift belongs to the listening gesture: the drag is not slowed.
    dragTo (graph(), p.translated (graph().plot().getWidth() / 9.965784f, 0.0f), shift, true);
    EXPECT_NEAR (params().get (0, "freq"), 2000.0, 10.0);

    release (graph(), p);
    EXPECT_EQ (processor.listenBand.load(), -1);
    EXPECT_FALSE (graph().listening);
}

TEST_F (GraphInteractionTest, ClosingTheEditorMidPressEndsListeningAndGestures)
{
    setBand (0, tl::Bell, 1000.0f, 6.0f);

    struct GestureCounter : juce::AudioProcessorParameter::Listener
    {
        int open = 0;
        void parameterValueChanged (int, float) override {}
        void parameterGestureChanged (int, bool starting) override { open += starting ? 1 : -1; }
    } gestures;
    params().param (0, "freq")->addListener (&gestures);

    press (graph(), pointOf (0), shift, true);
    EXPECT_EQ (processor.listenBand.load(), 0);
    EXPECT_EQ (gestures.open, 1);
    editor.reset();
    EXPECT_EQ (processor.listenBand.load(), -1);
    EXPECT_EQ (gestures.open, 0);
    params().param (0, "freq")->removeListener (&gestures);
}

TEST_F (GraphInteractionTest, DoubleClickOnTheCircleLeavesTheNewBandOn)
{
    move (graph(), at (1000.0, 0.0));
    click (graph(), at (1000.0, 0.0));
    click (graph(), at (1000.0, 0.0));
    EXPECT_TRUE (params().read (0).on);
    EXPECT_TRUE (params().read (1).on == false);
}

TEST_F (GraphInteractionTest, ABandDeletedWhileSelectedStaysDeletedWhenTheRestMoves)
{
    setBand (0, tl::Bell, 200.0f, 3.0f);
    setBand (1, tl::Bell, 400.0f, -3.0f);
    graph().selection = { 0, 1 };
    graph().selected = 0;

    params().reset (1);                                               // say, by the host
    tick();
    drag (graph(), pointOf (0), { pointOf (0).translated (40.0f, -20.0f) });
    EXPECT_TRUE (isFreeBand (params().read (1)));
    EXPECT_GT (params().get (0, "freq"), 200.0f);
}

TEST_F (GraphInteractionTest, BandMenuItemsAndTheirActions)
{
    setBand (0, tl::Notch, 1000.0f, 0.0f, tl::Side);
    graph().select (0);

    struct Item { int id; juce::String text; bool ticked; };
    std::vector<Item> items;
    const auto menu = graph().bandMenu (0);
    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        if (! it.getItem().isSectionHeader && ! it.getItem().isSeparator)
            items.push_back ({ it.getItem().itemID, it.getItem().text, it.getItem().isTicked });

    ASSERT_EQ (items.size(), 14u);
    EXPECT_EQ (items[6].id, 7);
    EXPECT_EQ (items[6].text, "Notch");
    EXPECT_TRUE (items[6].ticked);
    EXPECT_EQ (items[9].id, 22);
    EXPECT_TRUE (items[9].ticked);
    EXPECT_EQ (items[12].id, 40);
    EXPECT_EQ (items[13].id, 41);

    graph().applyBandMenu (0, 3);
    EXPECT_EQ (params().read (0).type, tl::HighShelf);
    graph().applyBandMenu (0, 24);
    EXPECT_EQ (params().read (0).ch, tl::Right);
    graph().applyBandMenu (0, 40);
    EXPECT_FALSE (params().read (0).on);
    graph().applyBandMenu (0, 0);                                     // dismissed
    EXPECT_FALSE (params().read (0).on);

    // Each choice is its own undo step.
    processor.undoManager.undo();
    EXPECT_TRUE (params().read (0).on);
    EXPECT_EQ (params().read (0).ch, tl::Right);

    graph().applyBandMenu (0, 41);
    EXPECT_TRUE (isFreeBand (params().read (0)));
    EXPECT_EQ (graph().selected, -1);
}

TEST_F (GraphInteractionTest, TheBoxFollowsADwellingPointAndStaysInsideThePlot)
{
    setBand (0, tl::Bell, 1000.0f, 0.0f);
    setBand (1, tl::Bell, 21.0f, -11.5f);
    setBand (2, tl::Bell, 5000.0f, 11.5f);

    // Two ticks of hovering are not enough; the third shows the box under the point.
    move (graph(), pointOf (0));
    tick();
    tick();
    EXPECT_FALSE (box().isVisible());
    tick();
    EXPECT_TRUE (box().isVisible());
    EXPECT_EQ (box().band, 0);

    const auto p = graph().plot();
    const auto node = pointOf (0);
    EXPECT_EQ (box().getBounds(), juce::Rectangle<int> ((int) (node.x - 75.0f), (int) (node.y + 18.0f), 150, 64));

    // Near the bottom left: above the point, aligned with the plot's left edge.
    move (graph(), pointOf (1));
    for (int i = 0; i < 3; ++i)
        tick();
    EXPECT_EQ (box().band, 1);
    EXPECT_EQ (box().getX(), (int) p.getX());
    EXPECT_EQ (box().getBottom(), (int) (pointOf (1).y - 18.0f));

    // Near the top: below the point.
    move (graph(), pointOf (2));
    for (int i = 0; i < 3; ++i)
        tick();
    EXPECT_EQ (box().getY(), (int) (pointOf (2).y + 18.0f));

    // Leaving all points: the box lingers for 12 ticks, then follows the (empty) selection.
    move (graph(), at (60.0, 11.0));
    for (int i = 0; i < 12; ++i)
        tick();
    EXPECT_FALSE (box().isVisible());
}

TEST_F (GraphInteractionTest, TheBoxShowsTheSelectedBandsValues)
{
    struct Case { int type; int slopeIndex; const char* qText; bool gainEnabled, qEnabled; };
    const Case cases[] {
        { tl::Bell, 3, "Q: 1.000", true, true },      { tl::LowCut, 3, "24 dB/oct", false, true },
        { tl::HighCut, 5, "48 dB/oct", false, true }, { tl::Tilt, 3, "Q: 1.000", true, false },
        { tl::Notch, 3, "Q: 1.000", false, true },
    };

    for (const auto& c : cases)
    {
        setBand (0, c.type, 1000.0f, c.type == tl::LowCut || c.type == tl::HighCut ? 0.0f : 2.0f, tl::Stereo, 1.0f, c.slopeIndex);
        graph().select (0);
        tick();
        ASSERT_TRUE (box().isVisible());
        EXPECT_EQ (box().qBox.getText(), c.qText) << c.type;
        EXPECT_EQ (box().freqBox.getText(), "1.00 kHz");
        EXPECT_EQ (box().gainBox.isEnabled(), c.gainEnabled) << c.type;
        EXPECT_EQ (box().qBox.isEnabled(), c.qEnabled) << c.type;
        EXPECT_EQ (box().typeButton.shape, c.type);
    }
}
