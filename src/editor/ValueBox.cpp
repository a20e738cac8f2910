#include "editor/ValueBox.h"

#include "editor/Palette.h"
#include "editor/TypedEntry.h"

ValueBox::ValueBox()
{
    setJustificationType (juce::Justification::centred);
    setFont (ui::regular (12.5f));
    setEditable (false, true, false);     // double-click only; leaving the field commits
    setColour (textColourId, ui::text);
    setColour (textWhenEditingColourId, ui::text);
    setColour (backgroundWhenEditingColourId, ui::panel2);
    setColour (outlineWhenEditingColourId, ui::rise.withAlpha (0.6f));
    setMouseCursor (juce::MouseCursor::UpDownResizeCursor);
}

void ValueBox::refresh()
{
    if (isBeingEdited() || ! getValue || ! format)
        return;

    const auto text = format (getValue());
    if (text != getText())
        setText (text, juce::dontSendNotification);
}

void ValueBox::mouseDown (const juce::MouseEvent&)
{
    if (! isEnabled() || ! getValue)
        return;

    dragStartValue = getValue();
    dragging = true;

    if (onGestureStart)
        onGestureStart();
}

void ValueBox::mouseDrag (const juce::MouseEvent& e)
{
    if (! dragging || ! dragMap || ! setValue)
        return;

    // Always from the value at the press, so the result depends only on the total movement.
    const double pixels = -std::round ((double) e.getDistanceFromDragStartY());
    setValue (dragMap (dragStartValue, pixels, e.mods.isShiftDown()));
    refresh();
}

void ValueBox::mouseUp (const juce::MouseEvent&)
{
    if (dragging && onGestureEnd)
        onGestureEnd();

    dragging = false;
}

void ValueBox::mouseDoubleClick (const juce::MouseEvent& e)
{
    if (isEnabled() && isEditableOnDoubleClick() && ! e.mods.isRightButtonDown())
        showEditor();
}

void ValueBox::paint (juce::Graphics& g)
{
    const bool enabled = isEnabled();
    const float alpha = enabled ? 1.0f : 0.5f;

    g.setColour (ui::panel2.withMultipliedAlpha (alpha));
    g.fillRoundedRectangle (getLocalBounds().toFloat(), 3.0f);

    if (isBeingEdited())
        return;

    const auto colour = findColour (textColourId);
    g.setColour (enabled ? colour : colour.withMultipliedAlpha (0.35f));
    g.setFont (getFont());
    g.drawText (enabled ? getText() : juce::String (juce::CharPointer_UTF8 ("\xe2\x80\x94")), getLocalBounds(),
                juce::Justification::centred, false);
}

void ValueBox::textWasEdited()
{
    if (setValue)
    {
        if (const auto value = parseTyped (getText()))
        {
            if (onGestureStart)
                onGestureStart();

            setValue (*value);

            if (onGestureEnd)
                onGestureEnd();
        }
    }

    // Show the owner's formatting of whatever the value now is.
    setText ({}, juce::dontSendNotification);
    refresh();
}
