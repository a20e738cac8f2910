#pragma once

// An open editor in a real window, driven through its window as the desktop would: mouse
// presses, drags, releases and wheel turns enter at the window and reach the components through
// the framework's own hit testing, so mouse listeners and double-click detection take part.

#include "editor/PluginEditor.h"
#include "MessageLoop.h"
#include "processor/PluginProcessor.h"
#include "ScopedHome.h"

#include <gtest/gtest.h>

namespace tltest
{
struct EditorFixture : ::testing::Test
{
    ScopedHome home;
    TirelAudioProcessor processor;
    std::unique_ptr<TirelAudioProcessorEditor> editor;
    // Event times run on across tests: the desktop's mouse remembers its last clicks, and a
    // click soon after another at the same place counts as a double-click.
    inline static juce::int64 clock = juce::Time::currentTimeMillis();

    void pause() { clock += 1000; }

    void SetUp() override
    {
        pause();
        editor = std::make_unique<TirelAudioProcessorEditor> (processor);
        editor->addToDesktop (0);
        editor->setVisible (true);
        ASSERT_NE (editor->getPeer(), nullptr);

        // The mouse moves only when its position changes: start from a known place.
        move (*editor, { 1.0f, 1.0f });
        move (*editor, { 2.0f, 2.0f });
    }

    void TearDown() override
    {
        juce::PopupMenu::dismissAllActiveMenus();
        editor.reset();
    }

    TirelContent& content() { return editor->content; }
    GraphView& graph() { return editor->content.graph; }
    BandStrip& strip() { return editor->content.strip; }
    ContextBox& box() { return editor->content.graph.box; }
    BandParams params() { return BandParams (processor); }

    // One timer tick of the content, as its 33 ms timer runs it.
    void tick() { content().timerCallback(); }

    // Events at a point given in a component's own coordinates.
    void send (juce::Component& c, juce::Point<float> p, juce::ModifierKeys mods)
    {
        juce::ModifierKeys::currentModifiers = mods;
        clock += 20;
        editor->getPeer()->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse,
                                             editor->getLocalPoint (&c, p), mods,
                                             juce::MouseInputSource::defaultPressure, 0.0f, clock);
    }

    void move (juce::Component& c, juce::Point<float> p, juce::ModifierKeys keys = {}) { send (c, p, keys.withoutMouseButtons()); }

    void press (juce::Component& c, juce::Point<float> p, juce::ModifierKeys keys = {}, bool right = false)
    {
        move (c, p, keys);
        send (c, p, keys.withFlags (right ? juce::ModifierKeys::rightButtonModifier : juce::ModifierKeys::leftButtonModifier));
    }

    void dragTo (juce::Component& c, juce::Point<float> p, juce::ModifierKeys keys = {}, bool right = false)
    {
        send (c, p, keys.withFlags (right ? juce::ModifierKeys::rightButtonModifier : juce::ModifierKeys::leftButtonModifier));
    }

    void release (juce::Component& c, juce::Point<float> p, juce::ModifierKeys keys = {}) { send (c, p, keys.withoutMouseButtons()); }

    // Clicks and drags end with a timer tick, as the editor's timer would run before the next.
    void click (juce::Component& c, juce::Point<float> p, juce::ModifierKeys keys = {})
    {
        press (c, p, keys);
        release (c, p, keys);
        tick();
    }

    // A press, a drag through the points given and a release at the last of them.
    void drag (juce::Component& c, juce::Point<float> from, std::initializer_list<juce::Point<float>> path,
               juce::ModifierKeys keys = {}, bool right = false)
    {
        press (c, from, keys, right);
        for (auto p : path)
            dragTo (c, p, keys, right);
        release (c, path.size() > 0 ? *(path.end() - 1) : from, keys);
        tick();
    }

    void wheel (juce::Component& c, juce::Point<float> p, float deltaY, juce::ModifierKeys keys = {})
    {
        move (c, p, keys);
        juce::MouseWheelDetails details { 0.0f, deltaY, false, false, false };
        clock += 20;
        editor->getPeer()->handleMouseWheel (juce::MouseInputSource::InputSourceType::mouse,
                                             editor->getLocalPoint (&c, p), clock, details);
    }

    // Band setups in plain units through the band parameters, then a tick so the graph sees them.
    void setBand (int band, int type, float freq, float gain, int channel = tl::Stereo, float q = 1.0f, int slopeIndex = 3)
    {
        auto bp = params();
        bp.set (band, "type", (float) type);
        bp.set (band, "freq", freq);
        bp.set (band, "gain", gain);
        bp.set (band, "q", q);
        bp.set (band, "slope", (float) slopeIndex);
        bp.set (band, "ch", (float) channel);
        bp.set (band, "on", 1.0f);
        processor.undoManager.clearUndoHistory();
        tick();
    }

    juce::Point<float> pointOf (int band) { return graph().nodePos (graph().curve.bands[(size_t) band]); }
    juce::Point<float> at (double hz, double db) { return { graph().xOf (hz), graph().yOfGain (db, graph().rangeDb) }; }
};
} // namespace tltest
