#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>

class TirelAudioProcessor;

/** The small popup menus that change a band's type and channel. */
namespace bandmenu
{
    inline constexpr std::array<const char*, 7> kTypeNames { "Bell", "Low Shelf", "High Shelf", "Tilt",
                                                             "Low Cut", "High Cut", "Notch" };

    /** A channel's name in the current help language. */
    juce::String channelName (int channel);

    /** Adds the "TYPE" section (ids typeBase + type) and the "CHANNEL" section
        (ids channelBase + channel), ticking the band's current type and channel. */
    void addTypeAndChannel (juce::PopupMenu&, int type, int channel, int typeBase, int channelBase);

    /** The band types alone, ids 100..106. */
    juce::PopupMenu typeMenu (int currentType);

    /** Types (ids 100..106) and channels (ids 200..204). */
    juce::PopupMenu typeAndChannelMenu (int currentType, int currentChannel);

    /** Applies a menu result to a band as one undo step: 100..106 set the type, 200..204 the
        channel; 0 (dismissed) and anything else do nothing. */
    void apply (TirelAudioProcessor&, int band, int result);

    /** Shows the type menu, or the type-and-channel menu, of a band attached to target. */
    void type (TirelAudioProcessor&, int band, juce::Component* target);
    void typeAndChannel (TirelAudioProcessor&, int band, juce::Component* target);
}
