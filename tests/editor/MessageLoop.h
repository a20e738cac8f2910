#pragma once

#include <juce_events/juce_events.h>

namespace juce
{
    // The framework's own step of its message loop on Linux. The plug-in is built without modal
    // loops, so MessageManager::runDispatchLoopUntil is not there; the tests drive timers and
    // asynchronous callbacks with this step instead.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace tltest
{
// Runs the message loop for a while, or until done() holds.
template <typename Condition>
bool runMessageLoopUntil (Condition done, int maximumMs = 2000)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) maximumMs;
    while (! done() && juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);

    return done();
}

inline void runMessageLoopFor (int ms)
{
    runMessageLoopUntil ([] { return false; }, ms);
}
} // namespace tltest
