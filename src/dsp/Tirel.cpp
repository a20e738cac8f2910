#include "dsp/Tirel.h"

#include "dsp/Design.h"

#include <algorithm>
#include <cmath>

namespace tl
{

namespace
{
    constexpr double pi = 3.14159265358979323846;

    // The listen filter plays the area a band works on: below a low shelf or low cut, above a
    // high shelf or high cut, a band-pass of the band's own Q around a bell or notch.
    Cascade listenFilterFor (const Band& band, double fs) noexcept
    {
        if (band.type == LowShelf || band.type == LowCut || band.type == HighShelf || band.type == HighCut)
        {
            Band edge;
            edge.on = true;
            edge.type = (band.type == LowShelf || band.type == LowCut) ? HighCut : LowCut;
            edge.freq = band.freq;
            edge.slope = 12;
            return design (edge, fs);
        }

        const double f0 = std::clamp (band.freq, 1.0, 0.49 * fs);
        const double w0 = 2.0 * pi * f0 / fs;
        const double h = (fs / 2.0) / f0;
        const double q = std::clamp (band.q, 0.1, 40.0);

        double a1, a2;
        detail::poles (w0, q, a1, a2);

        const double hq = (h / q) * (h / q);
        Cascade c;
        c.sections[0] = detail::matched (a1, a2, 0.0, hq / ((1.0 - h * h) * (1.0 - h * h) + hq), 1.0, w0);
        c.count = 1;
        return c;
    }

    // The monitor's solo of one component, blended in by r.
    void applyMonitor (std::int32_t mode, double r, double& l, double& rr) noexcept
    {
        double s = l;
        switch (mode)
        {
            case Mid:   s = (l + rr) * 0.5; break;
            case Side:  s = (l - rr) * 0.5; break;
            case Left:  s = l; break;
            case Right: s = rr; break;
            default:    return;
        }

        if (r >= 1.0)
        {
            l = rr = s;
        }
        else
        {
            l += (s - l) * r;
            rr += (s - rr) * r;
        }
    }
} // namespace

void Tirel::prepare (double newSampleRate)
{
    sampleRate = newSampleRate;
    rampStep = 1.0 / (0.01 * sampleRate);
    smoothCoeff = std::exp (-1.0 / (0.02 * sampleRate));
    iir.prepare (sampleRate);
    levelMatch.prepare (sampleRate);
    listenRamp = bypassRamp = 0.0;
    for (auto& s : listenState)
        s[0] = s[1] = 0.0;
    snap = true;
    clipFlag = false;

    convolvers[0].prepare (linear::linearPhase, sampleRate);
    convolvers[1].prepare (linear::linearHQ, sampleRate);

    // A parked set was built for the old rate.
    if (parkedSpectra != nullptr)
    {
        retireQueue.push (parkedSpectra);
        parkedSpectra = nullptr;
    }

    const auto ringLength = (size_t) linear::sizesFor (linear::linearHQ, sampleRate).latency() + 1;
    dryDelayL.assign (ringLength, 0.0);
    dryDelayR.assign (ringLength, 0.0);
    dryDelayWrite = 0;
    modeFade = inputRamp = 1.0;
}

int Tirel::latency() const noexcept
{
    return activeMode == linear::zeroLatency ? 0 : convolvers[(size_t) (activeMode - 1)].latency;
}

bool Tirel::fits (const linear::Spectra& set, std::int32_t mode) const noexcept
{
    return mode != linear::zeroLatency && set.sampleRate == sampleRate
        && set.length == linear::sizesFor (mode, sampleRate).length;
}

void Tirel::take (linear::Spectra* set) noexcept
{
    const auto requested = settings.mode;

    if (requested == activeMode && fits (*set, activeMode))
    {
        convolvers[(size_t) (activeMode - 1)].offer (set);
    }
    else if (requested != activeMode && fits (*set, requested))
    {
        if (parkedSpectra != nullptr)
            retireQueue.push (parkedSpectra);
        parkedSpectra = set;
    }
    else
    {
        retireQueue.push (set);
    }
}

void Tirel::retireAllSpectra() noexcept
{
    for (auto& convolver : convolvers)
        convolver.reset();

    if (parkedSpectra != nullptr)
    {
        retireQueue.push (parkedSpectra);
        parkedSpectra = nullptr;
    }
}

void Tirel::startMode (std::int32_t mode) noexcept
{
    activeMode = mode;

    if (mode == linear::zeroLatency)
    {
        iir.restart();
        return;
    }

    auto& convolver = convolvers[(size_t) (mode - 1)];
    convolver.reset();

    if (parkedSpectra != nullptr)
    {
        if (parkedSpectra->length == convolver.length)
            convolver.offer (parkedSpectra);
        else
            retireQueue.push (parkedSpectra);

        parkedSpectra = nullptr;
    }

    std::fill (dryDelayL.begin(), dryDelayL.end(), 0.0);
    std::fill (dryDelayR.begin(), dryDelayR.end(), 0.0);
    dryDelayWrite = 0;
}

void Tirel::set (const Settings& s) noexcept
{
    settings = s;

    for (int b = 0; b < kNumBands; ++b)
        setBand (b, s.bands[(size_t) b], s.scale);

    iir.firstBlock = false;
    iir.rebuildActiveList();

    setListening (s);
    outputGainTarget = std::pow (10.0, s.output / 20.0);

    if (snap)
    {
        // The requested mode starts at once; in Zero Latency the next `set` (the first
        // block's) starts every band from its targets again, so that changes made between
        // preparation and the first block do not glide in.
        startMode (s.mode);
        modeFade = inputRamp = 1.0;
        outputGain = outputGainTarget;
        bypassRamp = s.bypass ? 1.0 : 0.0;
        deltaRamp = s.delta ? 1.0 : 0.0;
        monitorCurrent = s.monitor;
        monitorRamp = s.monitor != 0 ? 1.0 : 0.0;
        snap = false;
    }
}

void Tirel::setBand (int index, const Band& band, double scale) noexcept
{
    auto& slot = iir.slots[(size_t) index];

    const bool gainType = hasGain (band.type);
    const std::int32_t slope = gainType ? 0 : band.slope;
    const bool on = gainType ? true : band.on;
    const double targetLogFreq = std::log (band.freq);
    const double targetLogQ = std::log (clampedQ (band));
    const double targetGain = (band.on && gainType) ? band.gain * scale : 0.0;

    if (iir.firstBlock)
    {
        slot.type = band.type;
        slot.slope = slope;
        slot.ch = band.ch;
        slot.on = on;
        slot.logFreq = slot.targetLogFreq = targetLogFreq;
        slot.logQ = slot.targetLogQ = targetLogQ;
        slot.gainDb = slot.targetGain = targetGain;
        slot.stage.clearState();
        slot.designed = false;
        slot.fade = 0.0;
        return;
    }

    // A gain band switched off glides down to 0 dB under its old structure.
    if (! band.on && hasGain (slot.type) && (slot.stage.active || slot.gainDb != 0.0))
    {
        slot.targetGain = 0.0;
        return;
    }

    const bool structureChanges = band.type != slot.type || slope != slot.slope || band.ch != slot.ch || on != slot.on;

    // One cross-fade at a time: a further change waits until the running one has ended.
    if (structureChanges && slot.fade > 0.0)
        return;

    slot.targetLogFreq = targetLogFreq;
    slot.targetLogQ = targetLogQ;
    slot.targetGain = targetGain;

    if (! structureChanges)
        return;

    const bool crossFade = slot.stage.active || ! gainType;

    slot.type = band.type;
    slot.slope = slope;
    slot.ch = band.ch;
    slot.on = on;
    slot.logFreq = targetLogFreq;
    slot.logQ = targetLogQ;

    if (crossFade)
    {
        slot.previous = slot.stage;
        slot.fade = 1.0;
        slot.gainDb = targetGain;
    }

    slot.stage.clearState();
    slot.designed = false;

    if (on && (! gainType || slot.gainDb != 0.0))
        slot.designStage (iir.sampleRate);
    else
        slot.stage.active = false;
}

void Tirel::setListening (const Settings& s) noexcept
{
    listenActive = false;
    const int b = s.listen;

    if (b < 0 || b >= kNumBands)
        return;

    const auto& band = s.bands[(size_t) b];

    if (! band.on || band.type == Tilt || band.type < Bell || band.type > Notch)
        return;

    listenFilter = listenFilterFor (band, sampleRate);

    if (band.ch != listenChannel || b != listenedBand)
        for (auto& state : listenState)
            state[0] = state[1] = 0.0;

    listenActive = true;
    listenedBand = b;
    listenChannel = band.ch;
}

void Tirel::process (double* left, double* right, int n) noexcept
{
    for (int offset = 0; offset < n; offset += kChunkSize)
        processChunk (left + offset, right != nullptr ? right + offset : nullptr, std::min (kChunkSize, n - offset));
}

void Tirel::processChunk (double* left, double* right, int n) noexcept
{
    // A mode switch waits until the output has faded out, then fades the input into the new
    // filters.
    if (settings.mode != activeMode && modeFade <= 0.0)
    {
        startMode (settings.mode);
        modeFade = 1.0;
        inputRamp = 0.0;
    }

    // Non-finite input never reaches a filter.
    for (int i = 0; i < n; ++i)
    {
        if (! isFiniteSample (left[i]))
            left[i] = 0.0;
        if (right != nullptr && ! isFiniteSample (right[i]))
            right[i] = 0.0;

        if (inputRamp < 1.0)
        {
            inputRamp += rampStep;

            if (inputRamp < 1.0)
            {
                left[i] *= inputRamp;
                if (right != nullptr)
                    right[i] *= inputRamp;
            }
            else
            {
                inputRamp = 1.0;
            }
        }

        dryL[i] = left[i];
        dryR[i] = right != nullptr ? right[i] : 0.0;
    }

    if (activeMode == linear::zeroLatency)
        iir.process (left, right, n);
    else
        filterLinear (left, right, n);

    finish (left, right, n);
}

void Tirel::filterLinear (double* left, double* right, int n) noexcept
{
    auto& convolver = convolvers[(size_t) (activeMode - 1)];
    double* channels[] = { left, right };
    convolver.process (channels, right != nullptr ? 2 : 1, n);

    // The dry signal of each instant, for level match, delta and bypass, lags like the filtered one.
    const int ringLength = (int) dryDelayL.size();
    int read = (dryDelayWrite - convolver.latency + ringLength) % ringLength;

    for (int i = 0; i < n; ++i)
    {
        dryDelayL[(size_t) dryDelayWrite] = dryL[i];
        dryDelayR[(size_t) dryDelayWrite] = dryR[i];
        dryL[i] = dryDelayL[(size_t) read];
        dryR[i] = dryDelayR[(size_t) read];
        dryDelayWrite = dryDelayWrite + 1 == ringLength ? 0 : dryDelayWrite + 1;
        read = read + 1 == ringLength ? 0 : read + 1;
    }
}

bool Tirel::outputStageAtRest (bool mono) const noexcept
{
    return ! listenActive && listenRamp == 0.0
        && ! settings.delta && deltaRamp == 0.0
        && ! settings.bypass && bypassRamp == 0.0
        && monitorCurrent == 0 && (mono || settings.monitor == 0)
        && settings.mode == activeMode && modeFade == 1.0
        && outputGain == outputGainTarget;
}

void Tirel::finish (double* left, double* right, int n) noexcept
{
    const bool mono = right == nullptr;
    const bool stereo = ! mono;
    const bool match = settings.match;

    if (outputStageAtRest (mono))
    {
        // Everything switchable rests: only level match, the gain and the clip test remain.
        const bool levelMatching = match || ! levelMatch.isSettled();
        const double gain = outputGain;

        for (int i = 0; i < n; ++i)
        {
            double wL = left[i], wR = mono ? 0.0 : right[i];

            if (levelMatching)
            {
                const double g = levelMatch.process (match, stereo, dryL[i], dryR[i], wL, wR);
                wL *= g;
                wR *= g;
            }

            emit (left, right, i, wL * gain, wR * gain);
        }

        return;
    }

    const double listenTarget = listenActive ? 1.0 : 0.0;
    const double deltaTarget = (settings.delta && ! listenActive) ? 1.0 : 0.0;
    const double bypassTarget = settings.bypass ? 1.0 : 0.0;

    for (int i = 0; i < n; ++i)
    {
        double wL = left[i], wR = mono ? 0.0 : right[i];
        const double dL = dryL[i], dR = dryR[i];

        if (match || ! levelMatch.isSettled())
        {
            const double g = levelMatch.process (match, stereo, dL, dR, wL, wR);
            if (g != 1.0)
            {
                wL *= g;
                wR *= g;
            }
        }

        // Band listening.
        rampTowards (listenRamp, listenTarget, rampStep);

        if (listenRamp > 0.0)
        {
            double x = dL;
            switch (listenChannel)
            {
                case Stereo:
                case Mid:   x = mono ? dL : (dL + dR) * 0.5; break;
                case Side:  x = mono ? 0.0 : (dL - dR) * 0.5; break;
                case Right: x = mono ? dL : dR; break;
                default:    break;
            }

            const double f = runCascade (listenFilter, listenState, x);

            if (listenRamp >= 1.0)
            {
                wL = wR = f;
            }
            else
            {
                wL += (f - wL) * listenRamp;
                wR += (f - wR) * listenRamp;
            }
        }

        // Output gain.
        outputGain = outputGainTarget + (outputGain - outputGainTarget) * smoothCoeff;
        if (std::abs (outputGain - outputGainTarget) <= 1e-9)
            outputGain = outputGainTarget;

        // Delta: only what the equaliser changes, without the output gain.
        rampTowards (deltaRamp, deltaTarget, rampStep);
        double outL, outR;

        if (deltaRamp >= 1.0)
        {
            outL = wL - dL;
            outR = wR - dR;
        }
        else if (deltaRamp > 0.0)
        {
            outL = (wL - dL) * deltaRamp + outputGain * wL * (1.0 - deltaRamp);
            outR = (wR - dR) * deltaRamp + outputGain * wR * (1.0 - deltaRamp);
        }
        else
        {
            outL = outputGain * wL;
            outR = outputGain * wR;
        }

        // Bypass plays the dry signal of the same instant.
        rampTowards (bypassRamp, bypassTarget, rampStep);

        if (bypassRamp >= 1.0)
        {
            outL = dL;
            outR = dR;
        }
        else if (bypassRamp > 0.0)
        {
            outL += (dL - outL) * bypassRamp;
            outR += (dR - outR) * bypassRamp;
        }

        // Monitor: a new mode waits until the old one has faded out.
        if (stereo && settings.monitor == monitorCurrent)
        {
            if (monitorCurrent != 0)
            {
                rampTowards (monitorRamp, 1.0, rampStep);
                applyMonitor (monitorCurrent, monitorRamp, outL, outR);
            }
        }
        else if (stereo || monitorCurrent != 0)
        {
            monitorRamp -= rampStep;

            if (monitorRamp > 0.0)
            {
                applyMonitor (monitorCurrent, monitorRamp, outL, outR);
            }
            else
            {
                monitorRamp = 0.0;
                monitorCurrent = stereo ? settings.monitor : 0;
            }
        }

        // Mode fade: out before a switch, back in after it.
        if (settings.mode == activeMode)
            rampTowards (modeFade, 1.0, rampStep);
        else
            modeFade = std::max (0.0, modeFade - rampStep);

        if (modeFade < 1.0)
        {
            outL *= modeFade;
            outR *= modeFade;
        }

        emit (left, right, i, outL, outR);
    }
}

void Tirel::emit (double* left, double* right, int i, double outL, double outR) noexcept
{
    // Full scale is allowed; only beyond it counts as a clip.
    if (std::abs (outL) > 1.0 || std::abs (outR) > 1.0)
        clipFlag = true;

    left[i] = outL;
    if (right != nullptr)
        right[i] = outR;
}

} // namespace tl
