#include "editor/BandEdits.h"

#include <algorithm>
#include <cmath>

namespace bandedit
{
    int slopeIndexAtOrAbove (double slopeDb) noexcept
    {
        for (size_t i = 0; i + 1 < tl::kSlopes.size(); ++i)
            if (slopeDb <= tl::kSlopes[i])
                return (int) i;

        return (int) tl::kSlopes.size() - 1;
    }

    int nearestSlopeIndex (double slopeDb) noexcept
    {
        int best = 0;
        for (int i = 1; i < (int) tl::kSlopes.size(); ++i)
            if (std::abs (slopeDb - tl::kSlopes[(size_t) i]) < std::abs (slopeDb - tl::kSlopes[(size_t) best]))
                best = i;

        return best;
    }

    double limitQ (int type, double q) noexcept
    {
        const bool shelf = type == tl::LowShelf || type == tl::HighShelf;
        return std::clamp (q, 0.1, shelf ? 2.0 : 40.0);
    }

    void wheel (const BandParams& params, int band, float dy, bool fine)
    {
        const auto b = params.read (band);

        if (b.type == tl::LowCut || b.type == tl::HighCut)
        {
            const int index = slopeIndexAtOrAbove (b.slope) + (dy > 0.0f ? 1 : -1);
            params.setGesture (band, "slope", (float) std::clamp (index, 0, (int) tl::kSlopes.size() - 1));
        }
        else if (b.type != tl::Tilt)
        {
            const double q = b.q * std::pow (2.0, 2.0 * dy * (fine ? 0.1 : 1.0));
            params.setGesture (band, "q", (float) limitQ (b.type, q));
        }
    }

    void groupWheelSteps (juce::UndoManager& undoManager, juce::uint32& lastWheelMs)
    {
        const auto now = juce::Time::getMillisecondCounter();
        if (now - lastWheelMs > 600)
            undoManager.beginNewTransaction();
        lastWheelMs = now;
    }
}
