#include "editor/BandMenu.h"

#include "preferences/Preferences.h"
#include "processor/BandParams.h"
#include "processor/PluginProcessor.h"

namespace bandmenu
{
    namespace
    {
        constexpr int kTypeBase = 100, kChannelBase = 200;

        // The choice applies to the band captured when the menu opened.
        void show (TirelAudioProcessor& processor, int band, juce::Component* target, juce::PopupMenu menu)
        {
            menu.showMenuAsync (juce::PopupMenu::Options().withTargetComponent (target),
                                [&processor, band, safeTarget = juce::Component::SafePointer<juce::Component> (target)] (int result)
                                {
                                    // A menu answered after its editor closed does nothing.
                                    if (safeTarget != nullptr)
                                        apply (processor, band, result);
                                });
        }
    }

    juce::String channelName (int channel)
    {
        static constexpr const char* spanish[] { "Estéreo", "Mid", "Side", "Izquierdo", "Derecho" };
        static constexpr const char* english[] { "Stereo", "Mid", "Side", "Left", "Right" };
        const auto c = (size_t) juce::jlimit (0, 4, channel);
        return ui::inCurrentLanguage (ui::tip (spanish[c], english[c]));
    }

    void addTypeAndChannel (juce::PopupMenu& menu, int type, int channel, int typeBase, int channelBase)
    {
        menu.addSectionHeader (ui::inCurrentLanguage (ui::tip ("TIPO", "TYPE")));
        for (int t = 0; t < (int) kTypeNames.size(); ++t)
            menu.addItem (typeBase + t, kTypeNames[(size_t) t], true, t == type);

        menu.addSectionHeader (ui::inCurrentLanguage (ui::tip ("CANAL", "CHANNEL")));
        for (int c = 0; c < 5; ++c)
            menu.addItem (channelBase + c, channelName (c), true, c == channel);
    }

    juce::PopupMenu typeMenu (int currentType)
    {
        juce::PopupMenu menu;
        for (int t = 0; t < (int) kTypeNames.size(); ++t)
            menu.addItem (kTypeBase + t, kTypeNames[(size_t) t], true, t == currentType);
        return menu;
    }

    juce::PopupMenu typeAndChannelMenu (int currentType, int currentChannel)
    {
        juce::PopupMenu menu;
        addTypeAndChannel (menu, currentType, currentChannel, kTypeBase, kChannelBase);
        return menu;
    }

    void apply (TirelAudioProcessor& processor, int band, int result)
    {
        const bool isType = result >= kTypeBase && result < kTypeBase + (int) kTypeNames.size();
        const bool isChannel = result >= kChannelBase && result < kChannelBase + 5;
        if (band < 0 || band >= tl::kNumBands || ! (isType || isChannel))
            return;

        processor.undoManager.beginNewTransaction();
        const BandParams params (processor);
        if (isType)
            params.setGesture (band, "type", (float) (result - kTypeBase));
        else
            params.setGesture (band, "ch", (float) (result - kChannelBase));
    }

    void type (TirelAudioProcessor& processor, int band, juce::Component* target)
    {
        show (processor, band, target, typeMenu (BandParams (processor).read (band).type));
    }

    void typeAndChannel (TirelAudioProcessor& processor, int band, juce::Component* target)
    {
        const auto b = BandParams (processor).read (band);
        show (processor, band, target, typeAndChannelMenu (b.type, b.ch));
    }
}
