#include "dsp/Spectrum.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace
{
std::vector<float> tone (int n)
{
    std::vector<float> x ((size_t) n);
    for (int i = 0; i < n; ++i)
        x[(size_t) i] = 0.5f * (float) std::sin (0.0731 * i) + 0.1f * (float) std::sin (0.61 * i);
    return x;
}
} // namespace

// One analysis (window, FFT, levels, 240 display points) at each resolution: pushing a quarter
// frame triggers exactly one.
static void spectrumAnalysis (benchmark::State& state)
{
    tl::Spectrum spectrum;
    spectrum.sizeIndex = (std::int32_t) state.range (0);
    spectrum.setUp (48000.0);

    const int quarter = tl::Spectrum::kSizes[(size_t) spectrum.sizeIndex] / 4;
    const auto input = tone (quarter);

    for (auto _ : state)
        spectrum.push (input.data(), quarter);

    state.SetLabel ("N=" + std::to_string (tl::Spectrum::kSizes[(size_t) spectrum.sizeIndex]));
}
BENCHMARK (spectrumAnalysis)->DenseRange (0, 3)->Unit (benchmark::kMicrosecond);

// What the editor spends on both analysers (input and output) per second of 48 kHz audio at
// resolution High; the "core %" counter is the share of one core.
static void bothAnalysersPerSecond (benchmark::State& state)
{
    tl::Spectrum pre, post;
    for (auto* s : { &pre, &post })
    {
        s->sizeIndex = 2;
        s->setUp (48000.0);
    }

    const auto second = tone (48000);

    for (auto _ : state)
    {
        pre.push (second.data(), 48000);
        post.push (second.data(), 48000);
    }

    state.counters["core %"] = benchmark::Counter ((double) state.iterations() / 100.0,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK (bothAnalysersPerSecond)->Unit (benchmark::kMillisecond);
