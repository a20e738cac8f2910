#pragma once

#include "dsp/IirEngine.h"
#include "dsp/LevelMatch.h"

#include <cstdint>

namespace tl
{

/** The equaliser engine: everything the audio thread keeps between blocks. `set` turns a
    settings snapshot into targets once per block; `process` filters and finishes the audio,
    gliding and ramping towards those targets so that no change clicks.
*/
class Tirel
{
public:
    static constexpr int kChunkSize = 256;

    /** Takes the sample rate; the next `set` starts every ramp and filter at its target. */
    void prepare (double newSampleRate) noexcept;

    /** Takes the settings of the coming block. */
    void set (const Settings& s) noexcept;

    /** Equalises n samples in place (right is null for a mono stream): input conditioning, the
        filters, level match and the output stage. Any length; worked in chunks of 256. */
    void process (double* left, double* right, int n) noexcept;

    double sampleRate = 48000.0;
    double rampStep = 0.002;                // a full 0-to-1 ramp takes 10 ms
    double smoothCoeff = 0.0;               // output gain glide, 20 ms
    double listenRamp = 0.0, bypassRamp = 0.0, deltaRamp = 0.0, monitorRamp = 0.0;
    double outputGain = 1.0, outputGainTarget = 1.0;
    std::int32_t monitorCurrent = 0;
    bool listenActive = false;
    bool snap = true;                       // the next `set` jumps everything to its target
    bool clipFlag = false;                  // an output sample exceeded full scale in this block
    std::int32_t listenedBand = -1;
    std::int32_t listenChannel = Stereo;
    Cascade listenFilter {};
    SectionState listenState[4] {};
    double dryL[kChunkSize] {}, dryR[kChunkSize] {};
    Settings settings {};
    IirEngine iir;
    LevelMatch levelMatch;

private:
    void setBand (int index, const Band& band, double scale) noexcept;
    void setListening (const Settings& s) noexcept;
    void processChunk (double* left, double* right, int n) noexcept;
    void finish (double* left, double* right, int n) noexcept;
    bool outputStageAtRest (bool mono) const noexcept;
};

} // namespace tl
