#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** How the editor's buttons, knobs, slider text boxes, tooltips, menus and alert windows look:
    the dark palette, rounded faces, thin arcs. Everything else is the framework's.
*/
class TirelLookAndFeel : public juce::LookAndFeel_V4
{
public:
    TirelLookAndFeel();
    ~TirelLookAndFeel() override;

    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour&, bool mouseOver, bool pressed) override;
    juce::Font getTextButtonFont (juce::TextButton&, int buttonHeight) override;
    void drawButtonText (juce::Graphics&, juce::TextButton&, bool mouseOver, bool pressed) override;
    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height, float position,
                           float startAngle, float endAngle, juce::Slider&) override;
    juce::Label* createSliderTextBox (juce::Slider&) override;
    juce::Rectangle<int> getTooltipBounds (const juce::String& text, juce::Point<int> screenPos,
                                           juce::Rectangle<int> parentArea) override;
    void drawTooltip (juce::Graphics&, const juce::String& text, int width, int height) override;
};
