#include "processor/BandParams.h"

#include "processor/Parameters.h"
#include "processor/PluginProcessor.h"

#include <algorithm>

juce::RangedAudioParameter* BandParams::param (int band, const char* id) const
{
    if (band < 0 || band >= tl::kNumBands)
        return nullptr;

    return processor.apvts.getParameter (bandParamId (band, id));
}

float BandParams::get (int band, const char* id) const
{
    if (auto* p = param (band, id))
        return p->convertFrom0to1 (p->getValue());

    return 0.0f;
}

void BandParams::set (int band, const char* id, float value) const
{
    if (auto* p = param (band, id))
        setParameter (processor, *p, value);
}

void BandParams::setGesture (int band, const char* id, float value) const
{
    if (auto* p = param (band, id))
    {
        p->beginChangeGesture();
        setParameter (processor, *p, value);
        p->endChangeGesture();
    }
}

void BandParams::reset (int band) const
{
    for (const char* id : kBandParamIds)
        if (auto* p = param (band, id))
        {
            p->beginChangeGesture();
            setParameter (processor, *p, p->convertFrom0to1 (p->getDefaultValue()));
            p->endChangeGesture();
        }
}

tl::Band BandParams::read (int band) const
{
    return processor.curve().bands[(size_t) std::clamp (band, 0, tl::kNumBands - 1)];
}

void setParameter (TirelAudioProcessor& processor, juce::RangedAudioParameter& p, float value)
{
    p.setValueNotifyingHost (p.convertTo0to1 (value));     // snaps to a legal value first
    recordParameter (processor, p);
}

void recordParameter (TirelAudioProcessor& processor, juce::RangedAudioParameter& p)
{
    // The value tree state would copy the new value into its tree (and so into the undo
    // history) only at its next periodic flush, possibly inside a later transaction; write it
    // now so the edit belongs to the transaction the caller has open.
    auto child = processor.apvts.state.getChildWithProperty ("id", p.paramID);
    if (child.isValid())
        child.setProperty ("value", p.convertFrom0to1 (p.getValue()), &processor.undoManager);
}
