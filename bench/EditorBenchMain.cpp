#include <juce_events/juce_events.h>

#include "DesktopAtoms.h"

#include <benchmark/benchmark.h>

// The editor timings need the framework's message manager, and windows an X server.
int main (int argc, char** argv)
{
    tltest::internDesktopAtoms();
    juce::ScopedJuceInitialiser_GUI juce;
    benchmark::Initialize (&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
