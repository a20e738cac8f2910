#include "dsp/Display.h"

#include "dsp/Design.h"

namespace tl
{

Band drawnBand (const Band& band, double scale) noexcept
{
    auto drawn = band;
    if (hasGain (band.type))
        drawn.gain *= scale;
    return drawn;
}

double summedDb (const Curve& curve, int channels, double hz) noexcept
{
    double sum = 0.0;
    for (const auto& band : curve.bands)
        if (band.on && (channelBit (band.ch) & channels) != 0)
            sum += analogMagDb (drawnBand (band, curve.scale), hz);

    return sum;
}

} // namespace tl
