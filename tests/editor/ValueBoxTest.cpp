#include "editor/Palette.h"
#include "editor/ValueBox.h"

#include <gtest/gtest.h>

namespace
{
// A box wired like a gain box: limits to ±30, formats with one decimal, 0.1 per pixel (0.01
// with Shift), and counts the gestures it brackets.
struct ValueBoxTest : ::testing::Test
{
    ValueBox box;
    double value = 5.0;
    int gestureStarts = 0, gestureEnds = 0, writes = 0;

    void SetUp() override
    {
        box.setBounds (0, 0, 60, 20);
        box.getValue = [this] { return value; };
        box.setValue = [this] (double v) { value = juce::jlimit (-30.0, 30.0, v); ++writes; };
        box.format = [] (double v) { return juce::String (v, 1); };
        box.dragMap = [] (double start, double pixels, bool fine) { return start + (fine ? 0.01 : 0.1) * pixels; };
        box.onGestureStart = [this] { ++gestureStarts; };
        box.onGestureEnd = [this] { ++gestureEnds; };
        box.refresh();
    }

    juce::MouseEvent event (float x, float y, float downY, juce::ModifierKeys mods = juce::ModifierKeys::leftButtonModifier,
                            int clicks = 1)
    {
        const auto now = juce::Time::getCurrentTime();
        return { juce::Desktop::getInstance().getMainMouseSource(), { x, y }, mods,
                 juce::MouseInputSource::defaultPressure, 0.0f, 0.0f, 0.0f, 0.0f,
                 &box, &box, now, { x, downY }, now, clicks, y != downY };
    }

    // Press at y = 15, move through the given heights, release.
    void drag (std::initializer_list<float> path, juce::ModifierKeys mods = juce::ModifierKeys::leftButtonModifier)
    {
        box.mouseDown (event (10, 15, 15, mods));
        for (float y : path)
            box.mouseDrag (event (10, y, 15, mods));
        box.mouseUp (event (10, path.size() > 0 ? *(path.end() - 1) : 15.0f, 15, mods));
    }

    void type (const juce::String& text)
    {
        box.showEditor();
        ASSERT_NE (box.getCurrentTextEditor(), nullptr);
        box.getCurrentTextEditor()->setText (text, false);
        box.hideEditor (false);
    }
};
} // namespace

TEST_F (ValueBoxTest, DragDependsOnlyOnTheTotalMovement)
{
    drag ({ 12.0f, 30.0f, 5.0f });          // wanders, ends 10 px above the press
    EXPECT_DOUBLE_EQ (value, 6.0);
    EXPECT_EQ (box.getText(), "6.0");
    EXPECT_EQ (gestureStarts, 1);
    EXPECT_EQ (gestureEnds, 1);

    drag ({ 5.0f });                        // the next drag starts from the new value
    EXPECT_DOUBLE_EQ (value, 7.0);

    drag ({ 25.0f }, juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier | juce::ModifierKeys::shiftModifier));
    EXPECT_NEAR (value, 6.9, 1e-12);        // Shift: fine steps, 10 px down

    drag ({});                              // a click is an empty gesture
    EXPECT_EQ (gestureStarts, 4);
    EXPECT_EQ (gestureEnds, 4);
    EXPECT_EQ (writes, 5);                  // one per drag event; the click writes nothing
}

TEST_F (ValueBoxTest, TypedTextIsReadAndFormattedBack)
{
    struct Case { const char* text; double expected; int writes; };
    const Case cases[] = { { "-3", -3.0, 1 }, { "1,5k", 30.0, 1 }, { "abc", 30.0, 0 }, { "12 dB", 12.0, 1 }, { "1e999", 12.0, 0 } };

    for (const auto& c : cases)
    {
        writes = gestureStarts = gestureEnds = 0;
        type (c.text);
        EXPECT_DOUBLE_EQ (value, c.expected) << c.text;
        EXPECT_EQ (writes, c.writes) << c.text;
        EXPECT_EQ (gestureStarts, c.writes) << c.text;    // one gesture around each typed change
        EXPECT_EQ (gestureEnds, c.writes) << c.text;
        EXPECT_EQ (box.getText(), juce::String (c.expected, 1)) << c.text;   // the limited value, formatted
    }
}

TEST_F (ValueBoxTest, DisabledBoxIgnoresTheMouse)
{
    box.setEnabled (false);
    drag ({ 5.0f });
    box.mouseDoubleClick (event (10, 15, 15, juce::ModifierKeys::leftButtonModifier, 2));

    EXPECT_DOUBLE_EQ (value, 5.0);
    EXPECT_EQ (gestureStarts, 0);
    EXPECT_FALSE (box.isBeingEdited());
}

TEST_F (ValueBoxTest, OnlyALeftDoubleClickOpensTheEditor)
{
    box.mouseDoubleClick (event (10, 15, 15, juce::ModifierKeys::rightButtonModifier, 2));
    EXPECT_FALSE (box.isBeingEdited());

    box.mouseDoubleClick (event (10, 15, 15, juce::ModifierKeys::leftButtonModifier, 2));
    EXPECT_TRUE (box.isBeingEdited());

    // While the user types, refreshing leaves the text alone.
    value = 9.0;
    box.refresh();
    EXPECT_EQ (box.getCurrentTextEditor()->getText(), "5.0");
    box.hideEditor (true);
}

TEST_F (ValueBoxTest, MissingFunctionsDisableWhatNeedsThem)
{
    box.dragMap = nullptr;
    drag ({ 5.0f });
    EXPECT_DOUBLE_EQ (value, 5.0);

    box.setValue = nullptr;
    type ("7");
    EXPECT_DOUBLE_EQ (value, 5.0);
    EXPECT_EQ (box.getText(), "5.0");

    box.getValue = nullptr;
    gestureStarts = 0;
    drag ({ 5.0f });
    EXPECT_EQ (gestureStarts, 0);
}

TEST (Palette, BandColoursRepeatEveryEightBands)
{
    EXPECT_EQ (ui::bandColour (0), ui::rise);
    EXPECT_EQ (ui::bandColour (3), ui::fall);
    for (int band = 0; band < 24; ++band)
        EXPECT_EQ (ui::bandColour (band), ui::bandColour (band % 8));
    EXPECT_NE (ui::bandColour (1), ui::bandColour (2));
}
