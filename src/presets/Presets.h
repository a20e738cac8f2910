#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

class TirelAudioProcessor;

/** User presets: the plug-in state's XML as "*.tpreset" files in one folder of the user's
    documents. Loading applies the parameters only, never bypass, delta or monitor.
*/
namespace presets
{
    /** The preset files directly in a folder, sorted by full path by code point (A, a, b). */
    juce::Array<juce::File> list (const juce::File& folder);

    /** The preset menu for the files listed: Init, the presets (or "(none yet)"), save, folder. */
    juce::PopupMenu menu (const juce::Array<juce::File>& files);

    /** Every parameter but bypass, delta and monitor back to its default, as one undo step. */
    void init (TirelAudioProcessor&);

    /** Applies a preset file as one undo step; false (and nothing changed) when the file is not
        a readable state of this plug-in. Parameters the file lacks take their defaults. */
    bool load (TirelAudioProcessor&, const juce::File&);

    /** Writes the current state as a preset (the extension forced to .tpreset); on success the
        state's preset name becomes the file's name. Returns the file written, or none. */
    std::optional<juce::File> save (TirelAudioProcessor&, const juce::File&);

    /** The file a save dialog proposes: the current preset name, or "Preset". */
    juce::File defaultSaveFile (TirelAudioProcessor&);

    /** Creates the folder when needed and shows it in the desktop's file manager. */
    void openFolder (const juce::File& folder);
}
