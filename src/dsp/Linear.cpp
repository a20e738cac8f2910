#include "dsp/Linear.h"

#include "dsp/Design.h"

#include <algorithm>
#include <cmath>

namespace tl::linear
{

namespace
{
    constexpr double pi = 3.14159265358979323846;

    // Complex multiply-accumulate over bins stored as reals then imaginaries.
    void multiplyAdd (const double* __restrict x, const double* __restrict h, double* __restrict acc, int bins) noexcept
    {
        const double* xi = x + bins;
        const double* hi = h + bins;
        double* ai = acc + bins;

        for (int b = 0; b < bins; ++b)
        {
            acc[b] += x[b] * h[b] - xi[b] * hi[b];
            ai[b] += x[b] * hi[b] + xi[b] * h[b];
        }
    }

    // The 2 × 2 response [[LL, LR], [RL, RR]] (rows: output, columns: input) of one bin.
    struct Matrix
    {
        double ll = 1.0, lr = 0.0, rl = 0.0, rr = 1.0;

        // Applies F after this matrix: this = F · this.
        void apply (double fll, double flr, double frl, double frr) noexcept
        {
            const Matrix m = *this;
            ll = fll * m.ll + flr * m.rl;
            lr = fll * m.lr + flr * m.rr;
            rl = frl * m.ll + frr * m.rl;
            rr = frl * m.lr + frr * m.rr;
        }
    };

    void applyBand (Matrix& m, std::int32_t ch, bool mono, double u) noexcept
    {
        if (mono || ch == Stereo)  m.apply (u, 0.0, 0.0, u);
        else if (ch == Left)       m.apply (u, 0.0, 0.0, 1.0);
        else if (ch == Right)      m.apply (1.0, 0.0, 0.0, u);
        else if (ch == Mid)        m.apply ((1.0 + u) / 2.0, (u - 1.0) / 2.0, (u - 1.0) / 2.0, (1.0 + u) / 2.0);
        else if (ch == Side)       m.apply ((1.0 + u) / 2.0, (1.0 - u) / 2.0, (1.0 - u) / 2.0, (1.0 + u) / 2.0);
    }

    // The bands that change the sound, with the curve scale applied to their gains.
    std::vector<Band> bandsTakingPart (const Curve& curve, bool mono)
    {
        std::vector<Band> kept;

        for (auto band : curve.bands)
        {
            if (! band.on || (mono && band.ch == Side))
                continue;

            if (hasGain (band.type))
            {
                band.gain *= curve.scale;
                if (band.gain == 0.0)
                    continue;
            }

            kept.push_back (band);
        }

        return kept;
    }

    // Zero-phase response of one sub-filter to taps centred at length/2, with a window that is
    // flat over the middle 75 % and falls by a half cosine over the outer eighths.
    std::vector<double> centredTaps (const std::vector<double>& response, const Fft& fft)
    {
        const int length = fft.size;
        const int half = length / 2;

        std::vector<std::complex<double>> x ((size_t) length);
        for (int k = 0; k <= half; ++k)
            x[(size_t) k] = response[(size_t) k];
        for (int k = 1; k < half; ++k)
            x[(size_t) (length - k)] = response[(size_t) k];

        fft.inverse (x.data());

        std::vector<double> taps ((size_t) length, 0.0);
        for (int l = -(half - 1); l <= half - 1; ++l)
        {
            const double r = std::abs (l) / (double) half;
            const double v = x[(size_t) ((length + l) % length)].real() / length;
            taps[(size_t) (half + l)] = r <= 0.75 ? v : v * (1.0 + std::cos (4.0 * pi * (r - 0.75))) / 2.0;
        }

        return taps;
    }
} // namespace

Sizes sizesFor (std::int32_t mode, double sampleRate) noexcept
{
    const int scale = sampleRate < 88200.0 ? 1 : sampleRate < 176400.0 ? 2 : 4;
    return mode == linearHQ ? Sizes { 65536 * scale, 4096 * scale } : Sizes { 16384 * scale, 1024 * scale };
}

std::unique_ptr<Spectra> buildSpectra (std::int32_t mode, double sampleRate, bool mono, const Curve& curve)
{
    const auto sizes = sizesFor (mode, sampleRate);
    const int length = sizes.length;
    const int block = sizes.block;

    auto set = std::make_unique<Spectra>();
    set->sampleRate = sampleRate;
    set->length = length;
    set->block = block;
    set->partitions = (length + block - 1) / block;

    const auto kept = bandsTakingPart (curve, mono);
    if (kept.empty())
        return set;

    set->flat = false;

    const int half = length / 2;
    std::array<std::vector<double>, 4> entries;     // LL, LR, RL, RR per bin
    for (auto& e : entries)
        e.resize ((size_t) half + 1);

    for (int j = 0; j <= half; ++j)
    {
        const double f = std::max (0.1, j * sampleRate / length);
        Matrix m;

        for (const auto& band : kept)
        {
            // Amplitude, floored at -120 dB so that a notch stays finite.
            const double power = analogPower (band, f);
            applyBand (m, band.ch, mono, power < 1e-12 ? 1e-6 : std::sqrt (power));
        }

        entries[0][(size_t) j] = m.ll;
        entries[1][(size_t) j] = m.lr;
        entries[2][(size_t) j] = m.rl;
        entries[3][(size_t) j] = m.rr;

        if (std::abs (m.lr) > 1e-12 || std::abs (m.rl) > 1e-12 || std::abs (m.ll - m.rr) > 1e-12)
            set->matrix = true;
    }

    const int subFilters = set->matrix ? 4 : 1;
    const int stride = 2 * block + 2;
    set->bins.assign ((size_t) (subFilters * set->partitions * stride), 0.0);

    Fft fullFft, blockFft;
    fullFft.prepare (length);
    blockFft.prepare (2 * block);
    std::vector<std::complex<double>> buffer ((size_t) (2 * block));

    for (int s = 0; s < subFilters; ++s)
    {
        const auto taps = centredTaps (entries[(size_t) s], fullFft);

        for (int k = 0; k < set->partitions; ++k)
        {
            std::fill (buffer.begin(), buffer.end(), std::complex<double> {});
            for (int i = 0; i < block && k * block + i < length; ++i)
                buffer[(size_t) i] = taps[(size_t) (k * block + i)];

            blockFft.forward (buffer.data());

            double* out = set->bins.data() + (size_t) ((s * set->partitions + k) * stride);
            for (int b = 0; b <= block; ++b)
            {
                out[b] = buffer[(size_t) b].real();
                out[block + 1 + b] = buffer[(size_t) b].imag();
            }
        }
    }

    return set;
}

//==============================================================================
bool RetireQueue::push (Spectra* set) noexcept
{
    const auto w = write.load (std::memory_order_relaxed);
    const auto next = (w + 1) % kSlots;

    if (next == read.load (std::memory_order_acquire))
        return false;

    slots[(size_t) w] = set;
    write.store (next, std::memory_order_release);
    return true;
}

Spectra* RetireQueue::pop() noexcept
{
    const auto r = read.load (std::memory_order_relaxed);

    if (r == write.load (std::memory_order_acquire))
        return nullptr;

    auto* set = slots[(size_t) r];
    read.store ((r + 1) % kSlots, std::memory_order_release);
    return set;
}

//==============================================================================
void Convolver::prepare (std::int32_t mode, double sampleRate)
{
    const auto sizes = sizesFor (mode, sampleRate);
    block = sizes.block;
    length = sizes.length;
    partitions = 16;
    latency = sizes.latency();
    fadeLength = std::max (1, (int) std::lround (0.02 * sampleRate));

    fft.prepare (2 * block);
    work.assign ((size_t) (2 * block), {});

    const auto size = [] (std::array<std::vector<double>, 2>& pair, int n) { for (auto& v : pair) v.assign ((size_t) n, 0.0); };
    size (input, block);
    size (previousInput, block);
    size (outPlaying, block);
    size (outFading, block);
    size (delayed, block);
    size (delayLine, latency);
    size (fdl, partitions * (2 * block + 2));

    for (auto& cache : caches)
        size (cache.acc, 2 * block + 2);

    reset();
}

void Convolver::reset() noexcept
{
    for (auto** set : { &playing, &fadingOut, &pending })
    {
        if (*set != nullptr)
        {
            auto* spent = *set;
            *set = nullptr;
            if (spent != playing && spent != fadingOut && spent != pending)
                retire (spent);
        }
    }

    fading = false;

    for (auto* buffers : { &input, &previousInput, &outPlaying, &outFading, &delayLine, &delayed, &fdl })
        for (auto& v : *buffers)
            std::fill (v.begin(), v.end(), 0.0);

    for (auto& cache : caches)
    {
        cache.set = nullptr;
        restart (cache);
    }

    fadePos = inPos = fdlPos = delayPos = 0;
}

void Convolver::offer (Spectra* set) noexcept
{
    if (set == pending || (set == playing && pending == nullptr))
        return;

    auto* displaced = pending;
    pending = set;

    if (displaced != nullptr && displaced != playing && displaced != fadingOut)
        retire (displaced);
}

void Convolver::retire (Spectra* s) noexcept
{
    if (auto* cache = findCache (s))
        cache->set = nullptr;

    retired.push (s);
}

Convolver::Cache* Convolver::findCache (const Spectra* s) noexcept
{
    for (auto& cache : caches)
        if (cache.set == s)
            return &cache;

    return nullptr;
}

Convolver::Cache& Convolver::cacheFor (const Spectra* s) noexcept
{
    if (auto* cache = findCache (s))
        return *cache;

    for (auto& cache : caches)
    {
        if (! isLive (cache.set))
        {
            cache.set = s;
            restart (cache);
            return cache;
        }
    }

    return caches[0];     // cannot happen: only three sets are ever held
}

void Convolver::restart (Cache& cache) noexcept
{
    cache.progress = 0;
    for (auto& a : cache.acc)
        std::fill (a.begin(), a.end(), 0.0);
}

int Convolver::itemCount (const Spectra& s) const noexcept
{
    const int tails = std::min (partitions, s.partitions) - 1;
    const int pairs = s.matrix ? (channelCount == 2 ? 4 : 1) : channelCount;
    return pairs * tails;
}

void Convolver::doItems (Cache& cache, const Spectra& s, int upTo, int newestSlot) noexcept
{
    const int tails = std::min (partitions, s.partitions) - 1;
    const int stride = 2 * block + 2;
    const bool fourWay = s.matrix && channelCount == 2;

    for (int i = cache.progress; i < upTo; ++i)
    {
        const int pair = i / tails;
        const int k = i % tails + 1;
        const int inCh = fourWay ? pair % 2 : pair;
        const int outCh = fourWay ? pair / 2 : pair;
        const int subFilter = fourWay ? pair : 0;
        const int slot = ((newestSlot - k) % partitions + partitions) % partitions;

        multiplyAdd (fdl[(size_t) inCh].data() + slot * stride,
                     s.bins.data() + (subFilter * s.partitions + k) * stride,
                     cache.acc[(size_t) outCh].data(), block + 1);
    }

    cache.progress = std::max (cache.progress, upTo);
}

void Convolver::process (double* const* channelData, int channels, int n) noexcept
{
    channelCount = channels;

    for (int done = 0; done < n;)
    {
        const int r = std::min (n - done, block - inPos);
        const bool passThrough = ! plays (playing) || (fading && ! plays (fadingOut));

        for (int c = 0; c < channels; ++c)
        {
            double* x = channelData[c] + done;
            auto& line = delayLine[(size_t) c];
            std::copy (x, x + r, input[(size_t) c].begin() + inPos);

            for (int t = 0, p = delayPos; t < r; ++t, p = p + 1 == latency ? 0 : p + 1)
            {
                if (passThrough)
                    delayed[(size_t) c][(size_t) t] = line[(size_t) p];
                line[(size_t) p] = x[t];
            }

            const double* newSource = plays (playing) ? outPlaying[(size_t) c].data() + inPos : delayed[(size_t) c].data();

            if (! fading)
            {
                std::copy (newSource, newSource + r, x);
            }
            else
            {
                const double* oldSource = plays (fadingOut) ? outFading[(size_t) c].data() + inPos : delayed[(size_t) c].data();

                for (int t = 0; t < r; ++t)
                {
                    const double w = (double) (fadePos + t) / fadeLength;
                    x[t] = w >= 1.0 ? newSource[t] : oldSource[t] * (1.0 - w) + newSource[t] * w;
                }
            }
        }

        delayPos = (delayPos + r) % latency;

        if (fading)
        {
            fadePos += r;

            if (fadePos >= fadeLength)
            {
                fading = false;
                auto* spent = fadingOut;
                fadingOut = nullptr;
                if (spent != nullptr && spent != playing && spent != pending)
                    retire (spent);
            }
        }

        // Work ahead: the tail products of the sets in use, spread over the block.
        if (inPos + r < block)
        {
            for (auto* s : { playing, fading ? fadingOut : nullptr })
            {
                if (plays (s))
                {
                    auto& cache = cacheFor (s);
                    const int items = itemCount (*s);
                    doItems (cache, *s, (items * (inPos + r) + block - 1) / block, fdlPos + 1);
                }
            }
        }

        // A pending set's tail completes within one block so that it can take over at the next end.
        if (plays (pending))
        {
            auto& cache = cacheFor (pending);
            const int items = itemCount (*pending);
            doItems (cache, *pending, std::min (items, cache.progress + (items * r + block - 2) / (block - 1)), fdlPos + 1);
        }

        inPos += r;
        done += r;

        if (inPos == block)
            endBlock();
    }
}

void Convolver::endBlock() noexcept
{
    inPos = 0;

    if (! fading && pending != nullptr)
    {
        const auto* cache = findCache (pending);

        if (pending->flat || (cache != nullptr && cache->progress >= itemCount (*pending)))
        {
            fadingOut = playing;
            playing = pending;
            pending = nullptr;
            fading = true;
            fadePos = 0;
        }
    }

    fdlPos = (fdlPos + 1) % partitions;

    // Both channels in one complex transform: left in the real parts, right in the imaginary.
    const bool stereo = channelCount == 2;
    for (int t = 0; t < block; ++t)
    {
        work[(size_t) t] = { previousInput[0][(size_t) t], stereo ? previousInput[1][(size_t) t] : 0.0 };
        work[(size_t) (block + t)] = { input[0][(size_t) t], stereo ? input[1][(size_t) t] : 0.0 };
    }

    fft.forward (work.data());

    const int stride = 2 * block + 2;
    double* x0 = fdl[0].data() + fdlPos * stride;
    double* x1 = fdl[1].data() + fdlPos * stride;

    for (int k = 0; k <= block; ++k)
    {
        const auto z = work[(size_t) k];
        const auto mirror = std::conj (work[(size_t) ((2 * block - k) % (2 * block))]);
        const auto a = stereo ? (z + mirror) * 0.5 : z;
        x0[k] = a.real();
        x0[block + 1 + k] = a.imag();

        if (stereo)
        {
            const auto b = (z - mirror) * std::complex<double> (0.0, -0.5);
            x1[k] = b.real();
            x1[block + 1 + k] = b.imag();
        }
    }

    std::swap (input, previousInput);

    if (plays (playing))
        convolve (*playing, outPlaying);

    if (fading && plays (fadingOut))
        convolve (*fadingOut, outFading);

    if (plays (pending))
        restart (cacheFor (pending));     // the delay line has moved on
}

void Convolver::convolve (const Spectra& s, std::array<std::vector<double>, 2>& io) noexcept
{
    auto& cache = cacheFor (&s);
    doItems (cache, s, itemCount (s), fdlPos);

    // The head partition with the newest input block.
    const int stride = 2 * block + 2;
    const bool fourWay = s.matrix && channelCount == 2;
    const int pairs = fourWay ? 4 : channelCount;

    for (int pair = 0; pair < pairs; ++pair)
    {
        const int inCh = fourWay ? pair % 2 : pair;
        const int outCh = fourWay ? pair / 2 : pair;
        const int subFilter = fourWay ? pair : 0;
        multiplyAdd (fdl[(size_t) inCh].data() + fdlPos * stride, s.bins.data() + subFilter * s.partitions * stride,
                     cache.acc[(size_t) outCh].data(), block + 1);
    }

    // Two real outputs from one inverse transform.
    const bool stereo = channelCount == 2;
    const double* a0 = cache.acc[0].data();
    const double* a1 = cache.acc[1].data();

    for (int k = 0; k <= block; ++k)
    {
        const std::complex<double> c0 { a0[k], a0[block + 1 + k] };
        const std::complex<double> c1 = stereo ? std::complex<double> { a1[k], a1[block + 1 + k] } : std::complex<double> {};
        const std::complex<double> i { 0.0, 1.0 };
        work[(size_t) k] = c0 + i * c1;
        if (k > 0 && k < block)
            work[(size_t) (2 * block - k)] = std::conj (c0) + i * std::conj (c1);
    }

    fft.inverse (work.data());

    const double scale = 1.0 / (2.0 * block);
    for (int t = 0; t < block; ++t)
    {
        io[0][(size_t) t] = work[(size_t) (block + t)].real() * scale;
        if (stereo)
            io[1][(size_t) t] = work[(size_t) (block + t)].imag() * scale;
    }

    restart (cache);
}

} // namespace tl::linear
