#include "editor/Buttons.h"

#include "editor/Palette.h"

namespace
{
    constexpr float twoPi = juce::MathConstants<float>::twoPi;

    // The band-type shapes, inside a box, as fractions of its width and height.
    juce::Path bandShapePath (int shape, juce::Rectangle<float> box)
    {
        const auto at = [box] (float fx, float fy) { return juce::Point<float> (box.getX() + fx * box.getWidth(), box.getY() + fy * box.getHeight()); };
        juce::Path p;

        switch (shape)
        {
            case 0: p.startNewSubPath (at (0, 0.8f)); p.cubicTo (at (0.35f, 0.8f), at (0.4f, 0.1f), at (0.5f, 0.1f));
                    p.cubicTo (at (0.6f, 0.1f), at (0.65f, 0.8f), at (1, 0.8f)); break;
            case 1: p.startNewSubPath (at (0, 0.2f)); p.lineTo (at (0.3f, 0.2f));
                    p.cubicTo (at (0.5f, 0.2f), at (0.5f, 0.8f), at (0.7f, 0.8f)); p.lineTo (at (1, 0.8f)); break;
            case 2: p.startNewSubPath (at (0, 0.8f)); p.lineTo (at (0.3f, 0.8f));
                    p.cubicTo (at (0.5f, 0.8f), at (0.5f, 0.2f), at (0.7f, 0.2f)); p.lineTo (at (1, 0.2f)); break;
            case 3: p.startNewSubPath (at (0, 0.85f)); p.lineTo (at (1, 0.15f)); break;
            case 4: p.startNewSubPath (at (0.1f, 1)); p.cubicTo (at (0.3f, 0.25f), at (0.4f, 0.25f), at (0.55f, 0.25f));
                    p.lineTo (at (1, 0.25f)); break;
            case 5: p.startNewSubPath (at (0, 0.25f)); p.lineTo (at (0.45f, 0.25f));
                    p.cubicTo (at (0.6f, 0.25f), at (0.7f, 0.25f), at (0.9f, 1)); break;
            case 6: p.startNewSubPath (at (0, 0.25f)); p.lineTo (at (0.4f, 0.25f)); p.lineTo (at (0.5f, 0.95f));
                    p.lineTo (at (0.6f, 0.25f)); p.lineTo (at (1, 0.25f)); break;
            default: break;
        }

        return p;
    }
}

IconButton::IconButton() : juce::Button ({}) {}
IconButton::~IconButton() = default;

void IconButton::mouseDown (const juce::MouseEvent& e)
{
    juce::Button::mouseDown (e);
    if (onDown)
        onDown();
}

void IconButton::mouseDrag (const juce::MouseEvent& e)
{
    juce::Button::mouseDrag (e);
    if (onDrag)
        onDrag (e);
}

void IconButton::mouseUp (const juce::MouseEvent& e)
{
    juce::Button::mouseUp (e);
    if (onUp)
        onUp();
}

void IconButton::paintButton (juce::Graphics& g, bool mouseOver, bool pressed)
{
    const float width = (float) getWidth(), height = (float) getHeight();

    if (mouseOver || pressed)
    {
        g.setColour (ui::panel2.brighter (pressed ? 0.15f : 0.07f));
        g.fillRoundedRectangle (0.0f, 0.0f, width, height, 3.0f);
    }

    // Headphones light up while held: listening lasts as long as the press.
    const bool active = getToggleState() || (pressed && icon == headphones);
    g.setColour (active ? colour : (mouseOver ? ui::text : ui::textDim));

    const float s = juce::jmin (width, height) - 6.0f;
    const float ox = (width - s) / 2.0f, oy = (height - s) / 2.0f;
    const juce::PathStrokeType stroke (1.4f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded);
    juce::Path p;

    switch (icon)
    {
        case power:
        {
            const float radius = 0.42f * s;
            if (radius > 0.0f)
                p.addCentredArc (ox + s / 2.0f, oy + s / 2.0f + 0.5f, radius, radius, 0.0f, 0.7f, twoPi - 0.7f, true);
            p.startNewSubPath (ox + s / 2.0f, oy);
            p.lineTo (ox + s / 2.0f, oy + s / 2.0f);
            g.strokePath (p, stroke);
            break;
        }
        case headphones:
        {
            const float radius = 0.45f * s;
            p.addCentredArc (ox + s / 2.0f, oy + s / 2.0f + 1.0f, radius, radius, 0.0f, -1.7f, 1.7f, true);
            g.strokePath (p, stroke);
            g.fillRoundedRectangle (ox, oy + s / 2.0f, 3.0f, 0.45f * s, 1.0f);
            g.fillRoundedRectangle (ox + s - 3.0f, oy + s / 2.0f, 3.0f, 0.45f * s, 1.0f);
            break;
        }
        case cross:
            p.startNewSubPath (ox + 2.0f, oy + 2.0f);
            p.lineTo (ox + s - 2.0f, oy + s - 2.0f);
            p.startNewSubPath (ox + s - 2.0f, oy + 2.0f);
            p.lineTo (ox + 2.0f, oy + s - 2.0f);
            g.strokePath (p, stroke);
            break;
        case chevron:
            p.startNewSubPath (ox + 2.0f, oy + s / 2.0f - 2.0f);
            p.lineTo (ox + s / 2.0f, oy + s / 2.0f + 2.0f);
            p.lineTo (ox + s - 2.0f, oy + s / 2.0f - 2.0f);
            g.strokePath (p, stroke);
            break;
        case bandShape:
            g.strokePath (bandShapePath (shape, { ox, oy + 2.0f, juce::jmax (s, 0.0f), juce::jmax (s - 4.0f, 0.0f) }), stroke);
            break;
        default:
            break;
    }
}

TitleButton::TitleButton() : juce::Button ({}) {}
TitleButton::~TitleButton() = default;

void TitleButton::paintButton (juce::Graphics& g, bool mouseOver, bool pressed)
{
    if (! mouseOver && ! pressed)
        return;

    g.setColour (juce::Colours::white.withAlpha (pressed ? 0.08f : 0.04f));
    g.fillRoundedRectangle (0.0f, 0.0f, (float) getWidth(), (float) getHeight(), 3.0f);
}
