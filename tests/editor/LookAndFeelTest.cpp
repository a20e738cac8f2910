#include "editor/Buttons.h"
#include "editor/Palette.h"
#include "editor/TirelLookAndFeel.h"

#include <gtest/gtest.h>

namespace
{
juce::Image canvas (int w, int h) { return juce::Image (juce::Image::ARGB, w, h, true); }

// Colours compared channel by channel, allowing the rounding of premultiplied pixels.
::testing::AssertionResult near (juce::Colour actual, juce::Colour expected, int tolerance = 2)
{
    const int d = juce::jmax (std::abs (actual.getRed() - expected.getRed()), std::abs (actual.getGreen() - expected.getGreen()),
                              std::abs (actual.getBlue() - expected.getBlue()), std::abs (actual.getAlpha() - expected.getAlpha()));
    if (d <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.toDisplayString (true) << " instead of " << expected.toDisplayString (true);
}

int pixelsNear (const juce::Image& image, juce::Colour colour)
{
    int count = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            count += near (image.getPixelAt (x, y), colour, 12) ? 1 : 0;
    return count;
}

struct LookAndFeelTest : ::testing::Test
{
    TirelLookAndFeel lnf;
    juce::TextButton button { "ANALYZER" };

    void SetUp() override
    {
        button.setLookAndFeel (&lnf);
        button.setBounds (0, 0, 80, 24);
        button.setColour (juce::TextButton::buttonOnColourId, ui::warn);
    }

    void TearDown() override { button.setLookAndFeel (nullptr); }

    juce::Image face (bool over, bool pressed)
    {
        auto image = canvas (80, 24);
        juce::Graphics g (image);
        lnf.drawButtonBackground (g, button, juce::Colours::red, over, pressed);
        return image;
    }

    juce::Image text()
    {
        auto image = canvas (80, 24);
        juce::Graphics g (image);
        lnf.drawButtonText (g, button, false, false);
        return image;
    }
};
} // namespace

TEST_F (LookAndFeelTest, ButtonFaces)
{
    struct Case { bool on, fill, enabled, over, pressed; juce::Colour expected; };
    const Case cases[] = {
        { false, false, true, false, false, ui::panel2 },
        { false, false, true, true, false, ui::panel2.brighter (0.06f) },
        { false, false, true, false, true, ui::panel2.brighter (0.12f) },
        { true, false, true, false, false, ui::panel2.brighter (0.1f) },
        { true, true, true, false, false, ui::warn },
        { true, true, true, false, true, ui::warn.brighter (0.12f) },
        { false, false, false, false, false, ui::panel2.withMultipliedAlpha (0.5f) },
    };

    for (const auto& c : cases)
    {
        button.setToggleState (c.on, juce::dontSendNotification);
        button.getProperties().set ("fill", c.fill);
        button.setEnabled (c.enabled);
        EXPECT_TRUE (near (face (c.over, c.pressed).getPixelAt (40, 12), c.expected)) << c.on << c.fill << c.enabled << c.over << c.pressed;
    }
}

TEST_F (LookAndFeelTest, SwitchesShowABarUnlessTheirFaceIsFilled)
{
    button.setClickingTogglesState (true);
    button.setToggleState (true, juce::dontSendNotification);
    EXPECT_TRUE (near (text().getPixelAt (40, 23), ui::warn));
    EXPECT_TRUE (near (text().getPixelAt (10, 23), juce::Colours::transparentBlack));     // the bar spans the middle half

    button.getProperties().set ("fill", true);
    EXPECT_TRUE (near (text().getPixelAt (40, 23), juce::Colours::transparentBlack));

    button.setToggleState (false, juce::dontSendNotification);
    button.getProperties().set ("fill", false);
    EXPECT_TRUE (near (text().getPixelAt (40, 23), juce::Colours::transparentBlack));
}

TEST_F (LookAndFeelTest, ButtonFontSizes)
{
    EXPECT_FLOAT_EQ (lnf.getTextButtonFont (button, 30).getHeight(), 11.5f);
    EXPECT_FLOAT_EQ (lnf.getTextButtonFont (button, 16).getHeight(), 16 * 0.52f);
    EXPECT_TRUE (lnf.getTextButtonFont (button, 16).isBold());
    button.getProperties().set ("small", true);
    EXPECT_FLOAT_EQ (lnf.getTextButtonFont (button, 30).getHeight(), 10.0f);
}

TEST_F (LookAndFeelTest, TooltipsOpenAwayFromTheNearerEdgesAndStayInside)
{
    const juce::Rectangle<int> screen (0, 0, 1000, 800);
    const auto topLeft = lnf.getTooltipBounds ("Output gain", { 100, 100 }, screen);
    EXPECT_EQ (topLeft.getPosition(), juce::Point<int> (124, 106));

    const auto bottomRight = lnf.getTooltipBounds ("Output gain", { 900, 700 }, screen);
    EXPECT_EQ (bottomRight.getRight(), 900 - 12);
    EXPECT_EQ (bottomRight.getBottom(), 700 - 6);
    EXPECT_EQ (bottomRight.getWidth(), topLeft.getWidth());
    EXPECT_EQ (bottomRight.getHeight(), topLeft.getHeight());

    const auto atTheEdge = lnf.getTooltipBounds ("A long help text that wraps over several lines of the tooltip box",
                                                 { 990, 5 }, screen);
    EXPECT_TRUE (screen.contains (atTheEdge));
    EXPECT_LE (atTheEdge.getWidth(), 320 + 20);
}

TEST_F (LookAndFeelTest, KnobArcsGrowFromTheirOrigin)
{
    juce::Slider knob (juce::Slider::RotaryHorizontalVerticalDrag, juce::Slider::NoTextBox);
    knob.setColour (juce::Slider::rotarySliderFillColourId, ui::rise);
    const float start = juce::MathConstants<float>::pi * 1.25f, end = juce::MathConstants<float>::pi * 2.75f;

    // The top of the arc: radius (48 - 8)/2 - 3 = 17 around (24, 24).
    const auto topOfArc = [&] (double min, double max, float position)
    {
        knob.setRange (min, max);
        auto image = canvas (48, 48);
        juce::Graphics g (image);
        lnf.drawRotarySlider (g, 0, 0, 48, 48, position, start, end, knob);
        return image.getPixelAt (24, 7);
    };

    const auto track = ui::grid.brighter (0.15f);
    EXPECT_TRUE (near (topOfArc (-30.0, 30.0, 0.3f), ui::rise, 40));      // symmetric: from the top, also below zero
    EXPECT_TRUE (near (topOfArc (0.1, 40.0, 0.25f), track, 40));          // asymmetric: from the start, not yet at the top
    EXPECT_TRUE (near (topOfArc (0.1, 40.0, 0.75f), ui::rise, 40));
}

TEST (Buttons, TitleButtonDrawsOnlyFeedback)
{
    TitleButton title;
    title.setBounds (0, 0, 40, 20);

    for (auto [over, pressed, alpha] : { std::tuple { false, false, 0.0f }, { true, false, 0.04f }, { true, true, 0.08f } })
    {
        auto image = canvas (40, 20);
        juce::Graphics g (image);
        title.paintButton (g, over, pressed);
        EXPECT_NEAR (image.getPixelAt (20, 10).getFloatAlpha(), alpha, 0.005f) << over << pressed;
    }
}

TEST (Buttons, IconButtonReportsPressDragAndRelease)
{
    IconButton icon;
    icon.setBounds (0, 0, 20, 20);
    std::vector<std::string> calls;
    icon.onDown = [&] { calls.push_back ("down"); };
    icon.onDrag = [&] (const juce::MouseEvent&) { calls.push_back ("drag"); };
    icon.onUp = [&] { calls.push_back ("up"); };
    icon.onClick = [&] { calls.push_back ("click"); };

    const auto event = [&icon] (float x, float y, bool dragged)
    {
        const auto now = juce::Time::getCurrentTime();
        return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), { x, y }, juce::ModifierKeys::leftButtonModifier,
                                 juce::MouseInputSource::defaultPressure, 0, 0, 0, 0, &icon, &icon, now, { 10, 10 }, now, 1, dragged);
    };

    icon.mouseDown (event (10, 10, false));
    icon.mouseDrag (event (12, 11, true));
    icon.mouseUp (event (12, 11, true));

    ASSERT_GE (calls.size(), 3u);
    EXPECT_EQ (calls.front(), "down");
    EXPECT_EQ (calls[1], "drag");
    EXPECT_EQ (calls.back(), "up");
}

TEST (Buttons, IconColours)
{
    IconButton icon;
    icon.setBounds (0, 0, 24, 24);
    icon.colour = ui::rise;

    const auto draw = [&icon] (int which, bool over, bool pressed)
    {
        icon.icon = which;
        auto image = canvas (24, 24);
        juce::Graphics g (image);
        icon.paintButton (g, over, pressed);
        return image;
    };

    // Headphones light up while held even when not switched on; other icons only when on.
    EXPECT_GT (pixelsNear (draw (IconButton::headphones, false, true), ui::rise), 10);
    EXPECT_EQ (pixelsNear (draw (IconButton::cross, false, true), ui::rise), 0);
    EXPECT_GT (pixelsNear (draw (IconButton::cross, false, false), ui::textDim), 5);
    EXPECT_GT (pixelsNear (draw (IconButton::cross, true, false), ui::text), 5);

    icon.setToggleState (true, juce::dontSendNotification);
    for (int which : { 0, 1, 2, 3 })
        EXPECT_GT (pixelsNear (draw (which, false, false), ui::rise), 5) << which;

    icon.icon = IconButton::bandShape;
    for (int shape = 0; shape <= 6; ++shape)
    {
        icon.shape = shape;
        EXPECT_GT (pixelsNear (draw (IconButton::bandShape, false, false), ui::rise), 5) << shape;
    }

    icon.shape = 9;
    EXPECT_EQ (pixelsNear (draw (IconButton::bandShape, false, false), ui::rise), 0);
    EXPECT_EQ (pixelsNear (draw (7, false, false), ui::rise), 0);
}
