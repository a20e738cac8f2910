#include "dsp/Tirel.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

// Cost of the Zero Latency engine per stereo frame at 48 kHz in 512-sample host blocks,
// including the once-per-block settings hand-over.
namespace
{
constexpr double kSampleRate = 48000.0;
constexpr int kBlock = 512;

enum class Scene { allOff, restingBells, restingBellsMatched, mixedRouting, glidingBells };

tl::Settings settingsFor (Scene scene, int block)
{
    tl::Settings s;
    s.match = scene == Scene::restingBellsMatched || scene == Scene::mixedRouting;

    if (scene == Scene::allOff)
        return s;

    for (int b = 0; b < tl::kNumBands; ++b)
    {
        auto& band = s.bands[(size_t) b];
        band.on = true;
        band.type = tl::Bell;
        band.freq = 40.0 * std::pow (1.25, b);
        band.gain = (b % 2 == 0 ? 3.0 : -3.0);
        band.q = 1.5;

        if (scene == Scene::mixedRouting)
        {
            band.ch = (std::int32_t) (1 + b % 4);
            band.type = (std::int32_t) (b % 7);
            band.slope = tl::kSlopes[(size_t) (b % 6)];
        }
        else if (scene == Scene::glidingBells)
        {
            const double wobble = std::sin (block * 0.05 + b);
            band.freq *= 1.0 + 0.2 * wobble;
            band.gain += 2.0 * wobble;
        }
    }

    return s;
}

void engineFrames (benchmark::State& state, Scene scene)
{
    tl::Tirel engine;
    engine.prepare (kSampleRate);
    engine.set (settingsFor (scene, 0));

    std::mt19937 random (7);
    std::uniform_real_distribution<double> noise (-0.25, 0.25);
    std::vector<double> sourceL (kBlock), sourceR (kBlock), left (kBlock), right (kBlock);
    for (int i = 0; i < kBlock; ++i)
    {
        sourceL[(size_t) i] = noise (random);
        sourceR[(size_t) i] = noise (random);
    }

    int block = 0;

    for (auto _ : state)
    {
        left = sourceL;
        right = sourceR;
        engine.set (settingsFor (scene, ++block));
        engine.process (left.data(), right.data(), kBlock);
        benchmark::DoNotOptimize (left.data());
        benchmark::DoNotOptimize (right.data());
    }

    state.SetItemsProcessed (state.iterations() * kBlock);
    state.counters["ns/frame"] = benchmark::Counter ((double) state.iterations() * kBlock,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
} // namespace

BENCHMARK_CAPTURE (engineFrames, allOff, Scene::allOff);
BENCHMARK_CAPTURE (engineFrames, restingBells, Scene::restingBells);
BENCHMARK_CAPTURE (engineFrames, restingBellsMatched, Scene::restingBellsMatched);
BENCHMARK_CAPTURE (engineFrames, mixedRouting, Scene::mixedRouting);
BENCHMARK_CAPTURE (engineFrames, glidingBells, Scene::glidingBells);
