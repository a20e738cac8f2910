#include "dsp/Design.h"

#include <benchmark/benchmark.h>

// The IIR engine redesigns a gliding band every 16 samples on the audio thread; this is the
// price of one redesign per band type.
static void designBand (benchmark::State& state)
{
    tl::Band band;
    band.on = true;
    band.type = (std::int32_t) state.range (0);
    band.gain = 4.5;
    band.q = 0.8;
    band.slope = 48;

    double freq = 1000.0;

    for (auto _ : state)
    {
        band.freq = freq;
        benchmark::DoNotOptimize (tl::design (band, 48000.0));
        freq = freq < 15000.0 ? freq * 1.001 : 1000.0;
    }
}
BENCHMARK (designBand)->DenseRange (tl::Bell, tl::Notch);

static void analogCurve (benchmark::State& state)
{
    tl::Band band;
    band.type = tl::Bell;
    band.gain = 4.5;

    double f = 20.0;

    for (auto _ : state)
    {
        benchmark::DoNotOptimize (tl::analogMagDb (band, f));
        f = f < 20000.0 ? f * 1.01 : 20.0;
    }
}
BENCHMARK (analogCurve);
