#include "EditorFixture.h"

#include <cmath>

namespace
{
// The box shown for the selected band, driven through the editor's window.
struct ContextBoxTest : tltest::EditorFixture
{
    void show (int band, int type, float freq, float gain, int slopeIndex = 3)
    {
        setBand (band, type, freq, gain, tl::Stereo, 1.0f, slopeIndex);
        graph().select (band);
        tick();
        ASSERT_TRUE (box().isVisible());
        ASSERT_EQ (box().band, band);
    }

    // Drags a value box up by some pixels (negative: down).
    void dragBox (ValueBox& valueBox, float pixelsUp, juce::ModifierKeys keys = {})
    {
        const auto centre = valueBox.getLocalBounds().getCentre().toFloat();
        drag (valueBox, centre, { centre.translated (0.0f, -pixelsUp) }, keys);
    }

    void typeInto (ValueBox& valueBox, const juce::String& text)
    {
        valueBox.showEditor();
        ASSERT_NE (valueBox.getCurrentTextEditor(), nullptr);
        valueBox.getCurrentTextEditor()->setText (text, false);
        valueBox.hideEditor (false);
    }
};

const juce::ModifierKeys shift { juce::ModifierKeys::shiftModifier };
} // namespace

TEST_F (ContextBoxTest, LayoutOfItsThreeRows)
{
    show (0, tl::Bell, 1000.0f, 0.0f);
    EXPECT_EQ (box().getWidth(), 150);
    EXPECT_EQ (box().getHeight(), 64);
    EXPECT_EQ (box().onButton.getBounds(), juce::Rectangle<int> (4, 3, 19, 19));
    EXPECT_EQ (box().freqBox.getBounds(), juce::Rectangle<int> (23, 3, 85, 19));
    EXPECT_EQ (box().listenButton.getBounds(), juce::Rectangle<int> (108, 3, 19, 19));
    EXPECT_EQ (box().deleteButton.getBounds(), juce::Rectangle<int> (127, 3, 19, 19));
    EXPECT_EQ (box().gainBox.getBounds(), juce::Rectangle<int> (23, 22, 104, 19));
    EXPECT_EQ (box().typeButton.getBounds(), juce::Rectangle<int> (4, 41, 23, 20));
    EXPECT_EQ (box().qBox.getBounds(), juce::Rectangle<int> (27, 41, 100, 20));
    EXPECT_EQ (box().menuButton.getBounds(), juce::Rectangle<int> (127, 41, 19, 20));
}

TEST_F (ContextBoxTest, DraggingTheValueBoxes)
{
    show (0, tl::Bell, 1000.0f, 0.0f);
    EXPECT_EQ (box().freqBox.getText(), "1.00 kHz");
    EXPECT_EQ (box().qBox.getText(), "Q: 1.000");

    dragBox (box().qBox, 80.0f);
    EXPECT_EQ (box().qBox.getText(), "Q: 2.000");
    dragBox (box().freqBox, 60.0f);
    EXPECT_EQ (box().freqBox.getText(), "2.00 kHz");
    dragBox (box().freqBox, 600.0f, shift);
    EXPECT_EQ (box().freqBox.getText(), "4.00 kHz");
    dragBox (box().gainBox, 45.0f);
    EXPECT_NEAR (params().get (0, "gain"), 4.5, 1e-4);
    dragBox (box().gainBox, 400.0f);
    EXPECT_NEAR (params().get (0, "gain"), 30.0, 1e-6);

    // Each drag is one undo step.
    processor.undoManager.undo();
    EXPECT_NEAR (params().get (0, "gain"), 4.5, 1e-4);
}

TEST_F (ContextBoxTest, CutsShowAndStepTheirSlope)
{
    show (0, tl::LowCut, 80.0f, 0.0f);
    EXPECT_EQ (box().qBox.getText(), "24 dB/oct");
    EXPECT_FALSE (box().gainBox.isEnabled());

    dragBox (box().qBox, 50.0f);
    EXPECT_EQ (box().qBox.getText(), "48 dB/oct");
    EXPECT_EQ (params().read (0).slope, 48);

    setBand (0, tl::LowCut, 80.0f, 0.0f);
    tick();
    dragBox (box().qBox, -25.0f);
    EXPECT_EQ (box().qBox.getText(), "18 dB/oct");

    typeInto (box().qBox, "30");
    EXPECT_EQ (params().read (0).slope, 24);                         // a tie goes to the gentler slope
    typeInto (box().qBox, "40");
    EXPECT_EQ (params().read (0).slope, 36);
    typeInto (box().freqBox, "2k");
    EXPECT_NEAR (params().get (0, "freq"), 2000.0, 0.1);
    typeInto (box().freqBox, "abc");
    EXPECT_NEAR (params().get (0, "freq"), 2000.0, 0.1);
    EXPECT_EQ (box().freqBox.getText(), "2.00 kHz");
}

TEST_F (ContextBoxTest, HoldingListenPlaysTheBandAndSweepsIt)
{
    show (3, tl::Bell, 500.0f, 6.0f);
    const auto start = box().listenButton.getLocalBounds().getCentre().toFloat();

    press (box().listenButton, start);
    EXPECT_EQ (processor.listenBand.load(), 3);
    dragTo (box().listenButton, start.translated (60.0f, 0.0f));
    EXPECT_NEAR (params().get (3, "freq"), 1000.0, 0.5);
    EXPECT_EQ (box().freqBox.getText(), "1.00 kHz");
    dragTo (box().listenButton, start.translated (120.0f, 0.0f), shift);
    EXPECT_NEAR (params().get (3, "freq"), 500.0 * std::pow (2.0, 0.2), 0.5);

    // The band goes away while held: releasing still ends listening.
    params().reset (3);
    release (box().listenButton, start);
    EXPECT_EQ (processor.listenBand.load(), -1);
    EXPECT_FALSE (graph().listening);
}

TEST_F (ContextBoxTest, ClosingTheEditorWhileListeningStopsIt)
{
    show (2, tl::Bell, 500.0f, 6.0f);
    press (box().listenButton, box().listenButton.getLocalBounds().getCentre().toFloat());
    EXPECT_EQ (processor.listenBand.load(), 2);
    editor.reset();
    EXPECT_EQ (processor.listenBand.load(), -1);
}

TEST_F (ContextBoxTest, ButtonsTurnOffAndDelete)
{
    show (1, tl::Bell, 700.0f, 3.0f);

    click (box().onButton, { 5.0f, 5.0f });
    EXPECT_FALSE (params().read (1).on);
    EXPECT_FALSE (box().onButton.getToggleState());
    click (box().onButton, { 5.0f, 5.0f });
    EXPECT_TRUE (params().read (1).on);

    click (box().deleteButton, { 5.0f, 5.0f });
    EXPECT_TRUE (isFreeBand (params().read (1)));
    EXPECT_EQ (graph().selected, -1);
    EXPECT_FALSE (box().isVisible());

    processor.undoManager.undo();
    EXPECT_TRUE (params().read (1).on);
}

TEST_F (ContextBoxTest, WheelOverTheBoxGroupsApartFromTheGraphs)
{
    show (0, tl::Bell, 1000.0f, 3.0f);

    wheel (graph(), pointOf (0), 0.1f);
    wheel (box().qBox, { 5.0f, 5.0f }, 0.1f);                       // passes up from the value box
    EXPECT_NEAR (params().get (0, "q"), std::pow (2.0, 0.4), 1e-3);
    EXPECT_EQ (box().qBox.getText(), "Q: " + juce::String (std::pow (2.0, 0.4), 3));

    processor.undoManager.undo();
    EXPECT_NEAR (params().get (0, "q"), std::pow (2.0, 0.2), 1e-3);
}

TEST_F (ContextBoxTest, WorkingInTheBoxKeepsItInPlace)
{
    show (0, tl::Bell, 1000.0f, 3.0f);
    setBand (1, tl::Bell, 5000.0f, -3.0f);
    const auto bounds = box().getBounds();

    // The pointer over the box: hovering elsewhere does not move it.
    move (box(), { 75.0f, 30.0f });
    EXPECT_TRUE (box().isInUse());
    graph().hovered = 1;
    box().dwellTicks = 3;
    graph().placeBox();
    EXPECT_EQ (box().band, 0);
    EXPECT_EQ (box().getBounds(), bounds);

    move (graph(), at (60.0, -11.0));
    EXPECT_FALSE (box().isInUse());
}
