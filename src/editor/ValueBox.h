#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/** A small numeric field: shows a formatted value, changes it when dragged up or down, and
    takes a typed value after a double-click. It knows nothing of parameters: the owner supplies
    the functions; an empty one disables what depends on it.
*/
class ValueBox : public juce::Label
{
public:
    ValueBox();

    std::function<double()> getValue;
    std::function<void (double)> setValue;                          // the owner limits the value
    std::function<juce::String (double)> format;
    std::function<double (double start, double pixels, bool fine)> dragMap;
    std::function<void()> onGestureStart;                           // around each drag or typed change
    std::function<void()> onGestureEnd;

    /** Shows the current value again, unless the user is typing. */
    void refresh();

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void mouseDoubleClick (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;

protected:
    void textWasEdited() override;

private:
    double dragStartValue = 0.0;
    bool dragging = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ValueBox)
};
