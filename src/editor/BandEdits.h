#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include "processor/BandParams.h"

/** Edits of a band shared by the graph's points, the context box and the band strip. */
namespace bandedit
{
    /** The index in tl::kSlopes of the first slope at or above a value (48 above all). */
    int slopeIndexAtOrAbove (double slopeDb) noexcept;

    /** The index in tl::kSlopes of the slope nearest to a value; a tie goes to the gentler. */
    int nearestSlopeIndex (double slopeDb) noexcept;

    /** Q limits: shelves go up to 2, every other type to 40. */
    double limitQ (int type, double q) noexcept;

    /** One wheel step on a band: cuts step their slope, Tilt keeps everything, the other types
        scale Q by 2 ^ (2 × dy), a tenth of that when fine. Each change is one host gesture. */
    void wheel (const BandParams&, int band, float dy, bool fine);

    /** Wheel steps group into one undo step until a pause of more than 600 ms. */
    void groupWheelSteps (juce::UndoManager&, juce::uint32& lastWheelMs);
}
