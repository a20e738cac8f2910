#pragma once

#include "dsp/Section.h"

#include <array>
#include <cstdint>

namespace tl
{

/** One filter of a band slot: a cascade, the routing it was built for and its state. */
struct IirStage
{
    bool active = false;            // an inactive stage passes the signal unchanged
    Cascade cascade {};
    std::int32_t ch = Stereo;
    double state[2][4][2] {};       // [channel][section][state value]

    void clearState() noexcept;
};

/** One band of the Zero Latency filter bank. */
struct IirSlot
{
    // The structure the current filter was built for. Bells, shelves and tilt keep slope 0 and
    // on = true: their on/off is carried by the gain target.
    std::int32_t type = Bell, slope = 0, ch = Stereo;
    bool on = false;

    double targetLogFreq = 0.0, targetLogQ = 0.0, targetGain = 0.0;
    double logFreq = 0.0, logQ = 0.0, gainDb = 0.0;
    double designedLogFreq = 0.0, designedLogQ = 0.0, designedGain = 0.0;
    bool designed = false;

    IirStage stage;                 // the current filter
    IirStage previous;              // the filter being faded out
    double fade = 0.0;              // weight of previous: 1 when a fade starts, 0 when none runs

    /** The band the slot's current glided values describe. */
    Band currentBand() const noexcept;

    /** Designs the stage from the current values; the stage state is kept. */
    void designStage (double sampleRate) noexcept;
};

/** The Zero Latency filter bank: 24 band slots of minimum-phase sections, routed per band to
    Stereo, Mid, Side, Left or Right. Parameters glide at control rate (every 16 samples);
    structural changes cross-fade over 10 ms. Its targets are written by the engine's `set`.
*/
class IirEngine
{
public:
    static constexpr int kControlPeriod = 16;

    /** Takes the sample rate, clears every filter and starts from the targets again. */
    void prepare (double newSampleRate) noexcept;

    /** Clears both stages of every slot and makes the next `set` jump to the targets. */
    void restart() noexcept;

    /** The control-rate update: glides, redesigns and silences slots, rebuilds the active list. */
    void tick() noexcept;

    /** Filters n samples in place through every active slot; right is null for a mono stream. */
    void run (double* left, double* right, int n) noexcept;

    /** Runs `tick` at each 16-sample boundary and `run` in between, for any length. */
    void process (double* left, double* right, int n) noexcept;

    /** Lists the slots that must run: an active stage or a running fade. */
    void rebuildActiveList() noexcept;

    double sampleRate = 48000.0;
    double glideCoeff = 0.0;        // per 16-sample tick: 20 ms time constant
    double fadeStep = 0.0;          // per sample: 10 ms linear cross-fade
    std::int32_t phase = 0;         // position within the current control period
    std::int32_t activeCount = 0;
    bool firstBlock = true;         // the next `set` jumps every slot to its targets
    std::array<IirSlot, kNumBands> slots {};
    std::array<std::int32_t, kNumBands> activeList {};

private:
    void runFading (IirSlot&, double* left, double* right, int n) noexcept;
    void clearAllStates() noexcept;
};

} // namespace tl
