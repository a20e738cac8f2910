#include <juce_events/juce_events.h>

#include "DesktopAtoms.h"

#include <gtest/gtest.h>

// The processor's parameter tree and the editor need the framework's message manager.
int main (int argc, char** argv)
{
    tltest::internDesktopAtoms();
    juce::ScopedJuceInitialiser_GUI juce;
    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
