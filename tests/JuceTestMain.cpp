#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cstdlib>

namespace
{
// A bare X server (Xvfb without a window manager) has not yet created the window-manager
// protocol atoms that every desktop has; the framework's windows refer to them. Create them
// on a connection that stays open for the whole run, so the server keeps them.
void internDesktopAtoms()
{
    if (std::getenv ("DISPLAY") == nullptr)
        return;

    if (auto* display = XOpenDisplay (nullptr))
        for (const char* name : { "WM_PROTOCOLS", "WM_TAKE_FOCUS", "WM_DELETE_WINDOW", "WM_CHANGE_STATE", "WM_STATE",
                                  "_NET_WM_PING", "_NET_WM_STATE", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL" })
            XInternAtom (display, name, False);
}
} // namespace

// The processor's parameter tree and the editor need the framework's message manager.
int main (int argc, char** argv)
{
    internDesktopAtoms();
    juce::ScopedJuceInitialiser_GUI juce;
    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
