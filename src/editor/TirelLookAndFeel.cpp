#include "editor/TirelLookAndFeel.h"

#include "editor/Palette.h"

namespace
{
    // Tooltips: 13-pixel text wrapped at 320 pixels.
    juce::TextLayout tipLayout (const juce::String& text)
    {
        juce::AttributedString s;
        s.setJustification (juce::Justification::centredLeft);
        s.setWordWrap (juce::AttributedString::byWord);
        s.append (text, ui::regular (13.0f), ui::text);

        juce::TextLayout layout;
        layout.createLayout (s, 320.0f);
        return layout;
    }

    bool hasTrueProperty (const juce::Component& c, const char* name)
    {
        return (bool) c.getProperties().getWithDefault (name, false);
    }

    void strokeArc (juce::Graphics& g, juce::Point<float> centre, float radius, float from, float to, juce::Colour colour)
    {
        juce::Path arc;
        arc.addCentredArc (centre.x, centre.y, radius, radius, 0.0f, from, to, true);
        g.setColour (colour);
        g.strokePath (arc, juce::PathStrokeType (3.0f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
    }
}

TirelLookAndFeel::TirelLookAndFeel()
{
    setColour (juce::Label::textColourId, ui::text);
    setColour (juce::TextButton::buttonOnColourId, ui::text);
    setColour (juce::TextButton::textColourOnId, ui::text);
    setColour (juce::TextButton::textColourOffId, ui::textDim);
    setColour (juce::TextEditor::backgroundColourId, ui::panel2);
    setColour (juce::TextEditor::textColourId, ui::text);
    setColour (juce::TextEditor::outlineColourId, ui::grid);
    setColour (juce::TextEditor::focusedOutlineColourId, ui::text.withAlpha (0.5f));
    setColour (juce::AlertWindow::backgroundColourId, ui::panel);
    setColour (juce::AlertWindow::textColourId, ui::text);
    setColour (juce::AlertWindow::outlineColourId, ui::grid);
    setColour (juce::PopupMenu::backgroundColourId, ui::panel);
    setColour (juce::PopupMenu::textColourId, ui::text);
    setColour (juce::PopupMenu::headerTextColourId, ui::textDim);
    setColour (juce::PopupMenu::highlightedBackgroundColourId, ui::panel2.brighter (0.15f));
    setColour (juce::PopupMenu::highlightedTextColourId, ui::text);
}

TirelLookAndFeel::~TirelLookAndFeel() = default;

void TirelLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour&,
                                             bool mouseOver, bool pressed)
{
    const bool on = button.getToggleState();
    auto base = on && hasTrueProperty (button, "fill") ? button.findColour (juce::TextButton::buttonOnColourId)
                                                       : (on ? ui::panel2.brighter (0.1f) : ui::panel2);

    if (pressed)
        base = base.brighter (0.12f);
    else if (mouseOver)
        base = base.brighter (0.06f);

    if (! button.isEnabled())
        base = base.withMultipliedAlpha (0.5f);

    g.setColour (base);
    g.fillRoundedRectangle (0.0f, 0.0f, (float) button.getWidth(), (float) button.getHeight(), 3.0f);
}

juce::Font TirelLookAndFeel::getTextButtonFont (juce::TextButton& button, int buttonHeight)
{
    return hasTrueProperty (button, "small") ? ui::bold (10.0f) : ui::bold (juce::jmin ((float) buttonHeight * 0.52f, 11.5f));
}

void TirelLookAndFeel::drawButtonText (juce::Graphics& g, juce::TextButton& button, bool, bool)
{
    const bool on = button.getToggleState();
    auto colour = button.findColour (on ? juce::TextButton::textColourOnId : juce::TextButton::textColourOffId);
    if (! button.isEnabled())
        colour = colour.withMultipliedAlpha (0.5f);

    const int w = button.getWidth(), h = button.getHeight();
    g.setColour (colour);
    g.setFont (getTextButtonFont (button, h));
    g.drawFittedText (button.getButtonText(), 0, 0, w, h, juce::Justification::centred, 1, 1.0f);

    // A switch that is on and has no filled face shows a short bar under its text.
    if (on && button.getClickingTogglesState() && ! hasTrueProperty (button, "fill"))
    {
        g.setColour (button.findColour (juce::TextButton::buttonOnColourId));
        g.fillRect (0.25f * (float) w, (float) h - 2.0f, 0.5f * (float) w, 2.0f);
    }
}

void TirelLookAndFeel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float position,
                                         float startAngle, float endAngle, juce::Slider& slider)
{
    const float w = (float) juce::jmax (width - 8, 0), h = (float) juce::jmax (height - 8, 0);
    const juce::Point<float> centre ((float) x + 4.0f + w / 2.0f, (float) y + 4.0f + h / 2.0f);
    const float r = juce::jmin (w, h) / 2.0f - 3.0f;
    const bool enabled = slider.isEnabled();

    auto colour = slider.findColour (juce::Slider::rotarySliderFillColourId);
    if (! enabled)
        colour = colour.withMultipliedAlpha (0.3f);

    if (r > 0.0f)
        strokeArc (g, centre, r, startAngle, endAngle, ui::grid.brighter (0.15f));

    // A range symmetric around zero (gain, scale) grows its arc from the top.
    const float angle = startAngle + position * (endAngle - startAngle);
    const bool symmetric = std::abs (slider.getMinimum() + slider.getMaximum()) < 1e-6;
    const float origin = symmetric ? (startAngle + endAngle) / 2.0f : startAngle;

    if (enabled && std::abs (angle - origin) > 0.001f)
        strokeArc (g, centre, r, juce::jmin (angle, origin), juce::jmax (angle, origin), colour);

    const juce::Point<float> thumb (centre.x + r * std::sin (angle), centre.y - r * std::cos (angle));
    g.setColour (colour.withAlpha (0.25f));
    g.fillEllipse (juce::Rectangle<float> (11.0f, 11.0f).withCentre (thumb));
    g.setColour (enabled ? ui::text : ui::textDim);
    g.fillEllipse (juce::Rectangle<float> (5.0f, 5.0f).withCentre (thumb));
}

juce::Label* TirelLookAndFeel::createSliderTextBox (juce::Slider& slider)
{
    auto* box = LookAndFeel_V4::createSliderTextBox (slider);
    box->setColour (juce::Label::outlineColourId, juce::Colours::transparentBlack);
    box->setColour (juce::Label::backgroundColourId, ui::panel2);
    box->setColour (juce::Label::textColourId, ui::text);
    box->setColour (juce::Label::outlineWhenEditingColourId, ui::rise.withAlpha (0.6f));

    const auto font = ui::regular (11.5f);
    if (box->getFont() != font)
    {
        box->setFont (font);
        box->repaint();
    }

    return box;
}

juce::Rectangle<int> TirelLookAndFeel::getTooltipBounds (const juce::String& text, juce::Point<int> screenPos,
                                                         juce::Rectangle<int> parentArea)
{
    const auto layout = tipLayout (text);
    const int w = (int) std::ceil (layout.getWidth()) + 20;
    const int h = (int) std::ceil (layout.getHeight()) + 14;

    // Open away from the nearer edges, so a tip never covers what the pointer is on.
    const int x = parentArea.getCentreX() < screenPos.x ? screenPos.x - w - 12 : screenPos.x + 24;
    const int y = parentArea.getCentreY() < screenPos.y ? screenPos.y - h - 6 : screenPos.y + 6;
    return juce::Rectangle<int> (x, y, w, h).constrainedWithin (parentArea);
}

void TirelLookAndFeel::drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height)
{
    g.setColour (ui::panel2.brighter (0.08f));
    g.fillRoundedRectangle (0.0f, 0.0f, (float) width, (float) height, 3.0f);
    g.setColour (ui::grid.brighter (0.2f));
    g.drawRoundedRectangle (0.5f, 0.5f, (float) juce::jmax (width - 1, 0), (float) juce::jmax (height - 1, 0), 3.0f, 1.0f);
    tipLayout (text).draw (g, { 10.0f, 7.0f, (float) juce::jmax (width - 20, 0), (float) juce::jmax (height - 14, 0) });
}
