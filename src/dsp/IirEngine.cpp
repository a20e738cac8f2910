#include "dsp/IirEngine.h"

#include "dsp/Design.h"

#include <algorithm>
#include <cmath>

namespace tl
{

namespace
{
    // One-pole glide that lands exactly on the target once close enough, so that a resting
    // slot compares equal to its designed values and is not redesigned again.
    void glide (double& value, double target, double coeff, double snap) noexcept
    {
        value = target + coeff * (value - target);
        if (std::abs (value - target) <= snap)
            value = target;
    }

    void toMidSide (double* a, double* b, int n) noexcept
    {
        for (int i = 0; i < n; ++i)
        {
            const double l = a[i], r = b[i];
            a[i] = (l + r) * 0.5;
            b[i] = (l - r) * 0.5;
        }
    }

    void toLeftRight (double* a, double* b, int n) noexcept
    {
        for (int i = 0; i < n; ++i)
        {
            const double m = a[i], s = b[i];
            a[i] = m + s;
            b[i] = m - s;
        }
    }

    // Section by section over the whole stretch: cheaper than sample by sample.
    void filterStretch (const Cascade& c, double (*states)[2], double* x, int n) noexcept
    {
        for (int k = 0; k < c.count; ++k)
        {
            const auto& section = c.sections[(size_t) k];
            auto& state = states[k];
            for (int i = 0; i < n; ++i)
                x[i] = runSection (section, state, x[i]);
        }
    }

    // One sample of a stage in the left/right domain, for slots that cross-fade.
    void stageSample (IirStage& s, double xL, double xR, bool mono, double& yL, double& yR) noexcept
    {
        yL = xL;
        yR = xR;

        if (! s.active)
            return;

        if (mono)
        {
            if (s.ch != Side)
                yL = runCascade (s.cascade, s.state[0], xL);
            return;
        }

        if (s.ch == Mid || s.ch == Side)
        {
            double m = (xL + xR) * 0.5, d = (xL - xR) * 0.5;
            if (s.ch == Mid)
                m = runCascade (s.cascade, s.state[0], m);
            else
                d = runCascade (s.cascade, s.state[1], d);
            yL = m + d;
            yR = m - d;
            return;
        }

        if (s.ch == Stereo || s.ch == Left)
            yL = runCascade (s.cascade, s.state[0], xL);
        if (s.ch == Stereo || s.ch == Right)
            yR = runCascade (s.cascade, s.state[1], xR);
    }
} // namespace

void IirStage::clearState() noexcept
{
    for (auto& channel : state)
        for (auto& section : channel)
            section[0] = section[1] = 0.0;
}

Band IirSlot::currentBand() const noexcept
{
    Band b;
    b.on = on;
    b.type = type;
    b.freq = std::exp (logFreq);
    b.gain = gainDb;
    b.q = std::exp (logQ);
    b.slope = slope;
    b.ch = ch;
    return b;
}

void IirSlot::designStage (double sampleRate) noexcept
{
    stage.cascade = design (currentBand(), sampleRate);
    stage.active = true;
    stage.ch = ch;
    designed = true;
    designedLogFreq = logFreq;
    designedLogQ = logQ;
    designedGain = gainDb;
}

void IirEngine::prepare (double newSampleRate) noexcept
{
    sampleRate = newSampleRate;
    glideCoeff = std::exp (-16.0 / (0.02 * sampleRate));
    fadeStep = 1.0 / (0.01 * sampleRate);
    restart();
}

void IirEngine::restart() noexcept
{
    clearAllStates();
    firstBlock = true;
    phase = 0;
}

void IirEngine::clearAllStates() noexcept
{
    for (auto& slot : slots)
    {
        slot.stage.clearState();
        slot.previous.clearState();
    }
}

void IirEngine::tick() noexcept
{
    for (auto& slot : slots)
    {
        glide (slot.logFreq, slot.targetLogFreq, glideCoeff, 1e-6);
        glide (slot.logQ, slot.targetLogQ, glideCoeff, 1e-6);
        glide (slot.gainDb, slot.targetGain, glideCoeff, 0.001);

        const bool silent = ! slot.on || (hasGain (slot.type) && slot.gainDb == 0.0);

        if (silent)
        {
            if (slot.stage.active)
            {
                slot.stage.active = false;
                slot.stage.clearState();
            }
            continue;
        }

        const bool resting = slot.stage.active && slot.designed
                          && slot.logFreq == slot.designedLogFreq
                          && slot.logQ == slot.designedLogQ
                          && slot.gainDb == slot.designedGain;

        if (! resting)
            slot.designStage (sampleRate);     // the state is kept: coefficients change under a running filter
    }

    rebuildActiveList();
}

void IirEngine::rebuildActiveList() noexcept
{
    activeCount = 0;

    for (int i = 0; i < kNumBands; ++i)
        if (slots[(size_t) i].stage.active || slots[(size_t) i].fade > 0.0)
            activeList[(size_t) activeCount++] = i;
}

void IirEngine::run (double* left, double* right, int n) noexcept
{
    const bool mono = right == nullptr;
    bool midSide = false;

    for (int a = 0; a < activeCount; ++a)
    {
        auto& slot = slots[(size_t) activeList[(size_t) a]];

        if (slot.fade > 0.0)
        {
            if (midSide)
            {
                toLeftRight (left, right, n);
                midSide = false;
            }

            runFading (slot, left, right, n);
            continue;
        }

        auto& stage = slot.stage;

        if (! stage.active)
            continue;

        if (mono)
        {
            if (stage.ch != Side)
                filterStretch (stage.cascade, stage.state[0], left, n);
            continue;
        }

        // A Stereo stage filters both signals alike, so it works in either domain.
        if ((stage.ch == Mid || stage.ch == Side) && ! midSide)
        {
            toMidSide (left, right, n);
            midSide = true;
        }
        else if ((stage.ch == Left || stage.ch == Right) && midSide)
        {
            toLeftRight (left, right, n);
            midSide = false;
        }

        if (stage.ch == Stereo || stage.ch == Mid || stage.ch == Left)
            filterStretch (stage.cascade, stage.state[0], left, n);
        if (stage.ch == Stereo || stage.ch == Side || stage.ch == Right)
            filterStretch (stage.cascade, stage.state[1], right, n);
    }

    if (midSide)
        toLeftRight (left, right, n);

    // A filter that blew up (a non-finite sample inside it) would stay broken: start every
    // filter afresh and silence only the damaged samples.
    bool damaged = false;

    for (int i = 0; i < n; ++i)
    {
        if (! isFiniteSample (left[i]))
        {
            left[i] = 0.0;
            damaged = true;
        }

        if (! mono && ! isFiniteSample (right[i]))
        {
            right[i] = 0.0;
            damaged = true;
        }
    }

    if (damaged)
        clearAllStates();
}

void IirEngine::runFading (IirSlot& slot, double* left, double* right, int n) noexcept
{
    const bool mono = right == nullptr;

    for (int i = 0; i < n; ++i)
    {
        const double xL = left[i], xR = mono ? 0.0 : right[i];
        double yL, yR, zL, zR;
        stageSample (slot.stage, xL, xR, mono, yL, yR);

        if (slot.fade > 0.0)
        {
            stageSample (slot.previous, xL, xR, mono, zL, zR);
            const double w = slot.fade;
            yL += w * (zL - yL);
            yR += w * (zR - yR);

            slot.fade -= fadeStep;

            if (slot.fade <= 0.0)
            {
                slot.fade = 0.0;
                slot.previous.active = false;
            }
        }

        left[i] = yL;
        if (! mono)
            right[i] = yR;
    }
}

void IirEngine::process (double* left, double* right, int n) noexcept
{
    for (int done = 0; done < n;)
    {
        if (phase == 0)
            tick();

        const int k = std::min (kControlPeriod - phase, n - done);
        run (left + done, right != nullptr ? right + done : nullptr, k);
        phase = (phase + k) % kControlPeriod;
        done += k;
    }
}

} // namespace tl
