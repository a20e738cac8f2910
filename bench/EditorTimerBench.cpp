#include "DesktopAtoms.h"
#include "editor/MessageLoop.h"
#include "editor/PluginEditor.h"
#include "editor/RepresentativeSetting.h"
#include "processor/PluginProcessor.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <ctime>
#include <thread>

// Message-thread CPU of open editors: each is one plug-in instance with 24 bands on and its
// analyser running on live audio, its window on screen, its timer ticking 30 times a second.
// Run under an X server (xvfb-run for a headless machine).
namespace
{
double threadCpuSeconds()
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return (double) t.tv_sec + (double) t.tv_nsec * 1e-9;
}

void openEditors (benchmark::State& state)
{
    constexpr double rate = 48000.0;
    constexpr int block = 512;
    const auto count = (size_t) state.range (0);

    std::vector<std::unique_ptr<TirelAudioProcessor>> processors;
    std::vector<std::unique_ptr<TirelAudioProcessorEditor>> editors;
    for (size_t i = 0; i < count; ++i)
    {
        auto& p = processors.emplace_back (std::make_unique<TirelAudioProcessor>());
        p->setRateAndBufferSizeDetails (rate, block);
        p->prepareToPlay (rate, block);
        tltest::setTwentyFourBands (*p);

        auto& e = editors.emplace_back (std::make_unique<TirelAudioProcessorEditor> (*p));
        e->setTopLeftPosition (20 + 40 * (int) i, 20 + 40 * (int) i);
        e->addToDesktop (0);
        e->setVisible (true);
    }

    // Audio at its real pace: one block for every instance every 10.7 ms.
    std::atomic<bool> running { true };
    std::thread audio ([&]
    {
        juce::AudioBuffer<float> buffer (2, block);
        juce::MidiBuffer midi;
        juce::Random random (11);
        auto next = std::chrono::steady_clock::now();
        while (running)
        {
            for (auto& p : processors)
            {
                for (int ch = 0; ch < 2; ++ch)
                    for (int i = 0; i < block; ++i)
                        buffer.setSample (ch, i, random.nextFloat() * 0.4f - 0.2f);
                p->processBlock (buffer, midi);
            }
            next += std::chrono::microseconds ((long) (1e6 * block / rate));
            std::this_thread::sleep_until (next);
        }
    });

    tltest::runMessageLoopFor (1000);       // windows up, analysers filled

    for (auto _ : state)
    {
        const double cpuStart = threadCpuSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        tltest::runMessageLoopFor (5000);
        const double wall = std::chrono::duration<double> (std::chrono::steady_clock::now() - wallStart).count();
        const double cpu = threadCpuSeconds() - cpuStart;

        state.SetIterationTime (wall);
        state.counters["core_percent"] = 100.0 * cpu / wall;
    }

    running = false;
    audio.join();
}
} // namespace

BENCHMARK (openEditors)->Arg (1)->Arg (2)->Arg (4)->Iterations (1)->UseManualTime()->Unit (benchmark::kSecond);
