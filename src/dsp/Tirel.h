#pragma once

#include "dsp/IirEngine.h"
#include "dsp/LevelMatch.h"
#include "dsp/Linear.h"

#include <array>
#include <cstdint>
#include <vector>

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

    /** Takes the sample rate and sizes every buffer (allocates: not while processing); the
        next `set` starts every ramp and filter, and the requested mode, at once. */
    void prepare (double newSampleRate);

    /** Takes the settings of the coming block. */
    void set (const Settings& s) noexcept;

    /** Takes a filter set from the builder: offered to the playing linear mode, parked for a
        linear mode about to start, or retired when it fits neither (another rate or mode). */
    void take (linear::Spectra* set) noexcept;

    /** Samples by which the output lags the input in the active mode. */
    int latency() const noexcept;

    /** Hands every filter set still held to the retire rings, to be freed with them. */
    void retireAllSpectra() noexcept;

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
    std::array<linear::Convolver, 2> convolvers;    // Linear Phase, Linear HQ
    linear::RetireQueue retireQueue;
    linear::Spectra* parkedSpectra = nullptr;       // for a linear mode not yet active
    std::vector<double> dryDelayL, dryDelayR;       // line the dry signal up with the convolver
    std::int32_t dryDelayWrite = 0;
    std::int32_t activeMode = 0;                    // the mode whose filters run now
    double modeFade = 1.0;                          // output fade while switching modes
    double inputRamp = 1.0;                         // input fade-in after a switch

private:
    void setBand (int index, const Band& band, double scale) noexcept;
    void setListening (const Settings& s) noexcept;
    void processChunk (double* left, double* right, int n) noexcept;
    void startMode (std::int32_t mode) noexcept;
    bool fits (const linear::Spectra& set, std::int32_t mode) const noexcept;
    void filterLinear (double* left, double* right, int n) noexcept;
    void finish (double* left, double* right, int n) noexcept;
    bool outputStageAtRest (bool mono) const noexcept;
    void emit (double* left, double* right, int i, double outL, double outR) noexcept;
};

} // namespace tl
