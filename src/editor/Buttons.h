#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/** A small button drawn as one of five vector icons. Besides clicks it reports presses,
    drags and releases, for momentary actions such as listening while the button is held.
*/
class IconButton : public juce::Button
{
public:
    enum Icon { power = 0, headphones, cross, chevron, bandShape };

    IconButton();
    ~IconButton() override;

    int icon = power;
    int shape = 0;                              // band type drawn by the band-shape icon
    juce::Colour colour;                        // the active colour, set by the owner
    std::function<void()> onDown;
    std::function<void()> onUp;
    std::function<void (const juce::MouseEvent&)> onDrag;

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void paintButton (juce::Graphics&, bool mouseOver, bool pressed) override;
};

/** The invisible button over the editor's title: it draws only hover and press feedback. */
class TitleButton : public juce::Button
{
public:
    TitleButton();
    ~TitleButton() override;

    void paintButton (juce::Graphics&, bool mouseOver, bool pressed) override;
};
