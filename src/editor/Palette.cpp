#include "editor/Palette.h"

namespace ui
{
    juce::Colour bandColour (int band) noexcept
    {
        static constexpr juce::uint32 colours[] { 0xFFFF4F8B, 0xFFE05FE0, 0xFFA46BFF, 0xFF7B7CFF,
                                                  0xFF5AA2FF, 0xFFC4B4FF, 0xFFF3D08A, 0xFFFF8FC8 };
        return juce::Colour (colours[band & 7]);
    }

    juce::Font bold (float height)
    {
        return juce::Font (juce::Font::getDefaultSansSerifFontName(), height, juce::Font::bold);
    }

    juce::Font regular (float height)
    {
        return juce::Font (juce::Font::getDefaultSansSerifFontName(), height, juce::Font::plain);
    }
}
