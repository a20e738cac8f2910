#pragma once

#include <juce_graphics/juce_graphics.h>

/** The editor's one dark palette and its fonts; every drawing part of the editor uses these. */
namespace ui
{
    inline const juce::Colour bg     { 0xFF0D0B12 };    // editor background
    inline const juce::Colour panel  { 0xFF15121C };    // panels, menus, alert windows
    inline const juce::Colour panel2 { 0xFF201B29 };    // button and box faces, tooltips
    inline const juce::Colour grid   { 0xFF2A2433 };    // grid lines, outlines, unlit lights
    inline const juce::Colour text   { 0xFFEFEAF4 };
    inline const juce::Colour textDim { 0xFF8A8296 };
    inline const juce::Colour rise   { 0xFFFF4F8B };    // what the equaliser raises; "on"
    inline const juce::Colour fall   { 0xFF7B7CFF };    // what the equaliser lowers
    inline const juce::Colour metal  { 0xFFEFEAF4 };    // the curve and marks
    inline const juce::Colour metal2 { 0xFFB9A6D6 };    // secondary curves
    inline const juce::Colour warn   { 0xFFFFC53D };    // bypass, delta, monitor, clip, warnings

    /** The colour of a band; eight colours repeat along the 24 bands. */
    juce::Colour bandColour (int band) noexcept;

    /** The default sans-serif typeface in bold at a height. */
    juce::Font bold (float height);

    /** The default sans-serif typeface, plain, at a height. */
    juce::Font regular (float height);
}
