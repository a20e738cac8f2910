#include "dsp/Linear.h"
#include "dsp/Tirel.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

// The linear modes: cost per stereo frame with a matrix set playing, the worst single block
// against its real-time budget, the time to build a set, and the memory one engine holds.
namespace
{
// CPU time of this thread: a block's own cost, without the time the scheduler gave to others.
double threadSeconds()
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return (double) t.tv_sec + 1e-9 * (double) t.tv_nsec;
}

tl::Curve mixedCurve()
{
    tl::Curve c;
    for (int b = 0; b < tl::kNumBands; ++b)
    {
        auto& band = c.bands[(size_t) b];
        band.on = true;
        band.type = (std::int32_t) (b % 7);
        band.freq = 30.0 * std::pow (1.3, b);
        band.gain = b % 2 == 0 ? 4.0 : -3.0;
        band.q = 1.2;
        band.slope = tl::kSlopes[(size_t) (b % 6)];
        band.ch = (std::int32_t) (b % 5);
    }
    return c;
}

// An engine in a linear mode with a matrix set already playing.
struct PlayingEngine
{
    explicit PlayingEngine (std::int32_t mode, double rate)
    {
        settings.match = false;
        settings.mode = mode;
        settings.bands = mixedCurve().bands;
        engine->prepare (rate);
        engine->set (settings);
        engine->take (tl::linear::buildSpectra (mode, rate, false, mixedCurve()).release());

        // Let the set take over and its fade finish.
        std::vector<double> l (4096), r (4096);
        for (int i = 0; i < 24; ++i)
        {
            engine->set (settings);
            engine->process (l.data(), r.data(), 4096);
        }
    }

    ~PlayingEngine()
    {
        engine->retireAllSpectra();
        for (auto* ring : { &engine->convolvers[0].retired, &engine->convolvers[1].retired, &engine->retireQueue })
            while (auto* set = ring->pop())
                delete set;
    }

    tl::Settings settings;
    std::unique_ptr<tl::Tirel> engine = std::make_unique<tl::Tirel>();
};

void linearFrames (benchmark::State& state)
{
    const auto mode = (std::int32_t) state.range (0);
    const int block = (int) state.range (1);
    constexpr double rate = 48000.0;
    PlayingEngine playing (mode, rate);

    std::mt19937 random (3);
    std::uniform_real_distribution<double> noise (-0.3, 0.3);
    std::vector<double> l ((size_t) block), r ((size_t) block);
    double worstSeconds = 0.0;

    for (auto _ : state)
    {
        for (int i = 0; i < block; ++i)
        {
            l[(size_t) i] = noise (random);
            r[(size_t) i] = noise (random);
        }

        const double start = threadSeconds();
        playing.engine->set (playing.settings);
        playing.engine->process (l.data(), r.data(), block);
        worstSeconds = std::max (worstSeconds, threadSeconds() - start);
        benchmark::DoNotOptimize (l.data());
    }

    state.counters["ns/frame"] = benchmark::Counter ((double) state.iterations() * block,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["worst block % of budget"] = 100.0 * worstSeconds / (block / rate);
}
BENCHMARK (linearFrames)->ArgsProduct ({ { tl::linear::linearPhase, tl::linear::linearHQ }, { 512, 64 } })
                        ->ArgNames ({ "mode", "block" });

void buildSet (benchmark::State& state)
{
    const auto mode = (std::int32_t) state.range (0);
    const double rate = (double) state.range (1);
    const auto curve = mixedCurve();

    for (auto _ : state)
        benchmark::DoNotOptimize (tl::linear::buildSpectra (mode, rate, false, curve));
}
BENCHMARK (buildSet)->Args ({ tl::linear::linearPhase, 48000 })
                    ->Args ({ tl::linear::linearHQ, 48000 })
                    ->Args ({ tl::linear::linearHQ, 192000 })
                    ->ArgNames ({ "mode", "rate" })->Unit (benchmark::kMillisecond);

// Heap held by one engine prepared at 192 kHz with a Linear HQ matrix set playing and another
// pending, as while a band is dragged.
void engineMemory (benchmark::State& state)
{
    for (auto _ : state)
    {
        const auto before = mallinfo2().uordblks;
        {
            PlayingEngine playing (tl::linear::linearHQ, 192000.0);
            playing.engine->take (tl::linear::buildSpectra (tl::linear::linearHQ, 192000.0, false, mixedCurve()).release());
            state.counters["MiB"] = (double) (mallinfo2().uordblks - before) / (1024.0 * 1024.0);
        }
    }
}
BENCHMARK (engineMemory)->Iterations (1)->Unit (benchmark::kMillisecond);
} // namespace
