#include "editor/GraphView.h"
#include "editor/Palette.h"
#include "editor/RepresentativeSetting.h"
#include "processor/PluginProcessor.h"

#include <benchmark/benchmark.h>

// One paint of the graph as the editor's timer repaints it 30 times a second: 876 x 400 with
// 24 bands on every routing, two of them selected, over a live analyser.
namespace
{
void paintGraph (benchmark::State& state)
{
    const float scale = (float) state.range (0) / 100.0f;

    TirelAudioProcessor processor;
    processor.prepareToPlay (48000.0, 512);
    GraphView graph (processor);
    graph.setSize (876, 400);
    tltest::setTwentyFourBands (processor);
    tltest::playNoiseIntoAnalyser (processor, graph);
    graph.selection = { 3, 9 };
    graph.selected = 3;

    juce::Image image (juce::Image::ARGB, juce::roundToInt (876 * scale), juce::roundToInt (400 * scale), true);

    for (auto _ : state)
    {
        juce::Graphics g (image);
        g.fillAll (ui::bg);
        g.addTransform (juce::AffineTransform::scale (scale));
        graph.paintEntireComponent (g, true);
        benchmark::DoNotOptimize (image.getPixelAt (400, 200));
    }
}
} // namespace

BENCHMARK (paintGraph)->Arg (100)->Arg (200)->Unit (benchmark::kMillisecond)->UseRealTime();
