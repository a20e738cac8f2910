#pragma once

#include "dsp/Band.h"
#include "dsp/Fft.h"

#include <array>
#include <atomic>
#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

namespace tl::linear
{

enum Mode : std::int32_t { zeroLatency = 0, linearPhase = 1, linearHQ = 2 };

/** FIR length and partition size of a linear mode at a sample rate. */
struct Sizes
{
    std::int32_t length;        // taps
    std::int32_t block;         // partition size; the FFT of a partition has 2·block points

    /** The FIR is centred at length/2 and the convolver adds one block. */
    std::int32_t latency() const noexcept { return length / 2 + block; }
};

/** Sizes for Linear Phase or Linear HQ: longer filters at higher rates keep the resolution. */
Sizes sizesFor (std::int32_t mode, double sampleRate) noexcept;

/** One built linear-phase filter set, transformed partition by partition. */
struct Spectra
{
    double sampleRate = 0.0;
    std::int32_t length = 0;
    std::int32_t block = 0;
    std::int32_t partitions = 0;
    bool flat = true;           // no band takes part: stands for the unfiltered signal
    bool matrix = false;        // four sub-filters LL, LR, RL, RR instead of one
    std::vector<double> bins;   // per sub-filter and partition: block + 1 real, then block + 1 imaginary parts
};

/** Builds the filter set of a curve for a linear mode: the bands' analogue magnitudes combined
    into a zero-phase stereo response, turned into a windowed FIR centred at length/2, cut into
    partitions and transformed. Allocates: for the builder thread only. */
std::unique_ptr<Spectra> buildSpectra (std::int32_t mode, double sampleRate, bool mono, const Curve& curve);

/** A 128-slot ring that takes spent filter sets from the audio thread (the only writer) to the
    builder thread (the only reader), which frees them. Holds at most 127. */
class RetireQueue
{
public:
    /** Audio thread. A set refused because the ring is full stays allocated. */
    bool push (Spectra* set) noexcept;

    /** Builder thread: the oldest entry, or null when empty. */
    Spectra* pop() noexcept;

    static constexpr int kSlots = 128;

private:
    std::array<Spectra*, kSlots> slots {};
    std::atomic<std::int32_t> write { 0 }, read { 0 };
};

/** Uniformly partitioned overlap-save convolution with 16 partitions. The products with older
    input blocks are worked ahead while a block is collected, so the block boundary costs little.
    Plays one set, cross-fades over 20 ms from the previous one, and keeps a pending one whose
    tail is worked ahead until it can take over. Latency: length/2 + block. Audio thread only;
    allocates only in `prepare`.
*/
class Convolver
{
public:
    /** Sizes everything for a mode and rate and retires the sets it held. */
    void prepare (std::int32_t mode, double sampleRate);

    /** Retires every set and clears every buffer: the output becomes the input delayed by the
        latency until a set takes over. */
    void reset() noexcept;

    /** Makes a set pending; it takes over at a block end once its tail has been worked ahead. */
    void offer (Spectra* set) noexcept;

    /** Filters n samples of one or two channels in place. */
    void process (double* const* channelData, int channels, int n) noexcept;

    std::int32_t block = 0;
    std::int32_t partitions = 16;
    std::int32_t latency = 0;
    std::int32_t length = 0;            // the FIR length the sets must have
    std::int32_t fadeLength = 1;
    std::int32_t fadePos = 0;
    std::int32_t inPos = 0;
    std::int32_t fdlPos = 0;
    std::int32_t delayPos = 0;
    bool fading = false;
    Spectra* playing = nullptr;
    Spectra* fadingOut = nullptr;
    Spectra* pending = nullptr;
    RetireQueue retired;

private:
    struct Cache
    {
        const Spectra* set = nullptr;
        std::int32_t progress = 0;              // product items done for the coming output block
        std::array<std::vector<double>, 2> acc; // per output channel, bins as in Spectra
    };

    bool isLive (const Spectra* s) const noexcept { return s != nullptr && (s == playing || s == fadingOut || s == pending); }
    static bool plays (const Spectra* s) noexcept { return s != nullptr && ! s->flat; }

    Cache* findCache (const Spectra* s) noexcept;
    Cache& cacheFor (const Spectra* s) noexcept;
    void restart (Cache&) noexcept;
    void retire (Spectra* s) noexcept;
    int itemCount (const Spectra& s) const noexcept;
    void doItems (Cache&, const Spectra&, int upTo, int newestSlot) noexcept;
    void endBlock() noexcept;
    void convolve (const Spectra& s, std::array<std::vector<double>, 2>& io) noexcept;

    int channelCount = 2;
    Fft fft;
    std::vector<std::complex<double>> work;
    std::array<std::vector<double>, 2> input, previousInput, outPlaying, outFading, delayLine, delayed, fdl;
    std::array<Cache, 3> caches;
};

} // namespace tl::linear
