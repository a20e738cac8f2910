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

    // Section by section over the whole stretch, the state copied into locals so that it stays in
    // registers: cheaper than sample by sample through the cascade.
    void filterStretch (const Cascade& c, double (*states)[2], double* x, int n) noexcept
    {
        for (int k = 0; k < c.count; ++k)
        {
            const auto& section = c.sections[(size_t) k];
            SectionState state { states[k][0], states[k][1] };

            for (int i = 0; i < n; ++i)
                x[i] = runSection (section, state, x[i]);

            states[k][0] = state[0];
            states[k][1] = state[1];
        }
    }

    // A left and a right sample in one vector: a Stereo stage runs the same coefficients on both
    // channels, so each section step serves the two at once.
    using Pair = double __attribute__ ((vector_size (16)));

    // Transposed direct form II on a pair, the same arithmetic as runSection on each lane.
    inline Pair runSectionPair (const Biquad& c, Pair& s1, Pair& s2, Pair x) noexcept
    {
        const Pair y = c.b0 * x + s1;
        s1 = c.b1 * x - c.a1 * y + s2;
        s2 = c.b2 * x - c.a2 * y;
        return y;
    }

    // One section of a Stereo stage, its two channel states held as pairs while it runs.
    struct StereoSection
    {
        const Biquad* coeffs;
        double* stateL;
        double* stateR;

        void load (Pair& s1, Pair& s2) const noexcept
        {
            s1 = Pair { stateL[0], stateR[0] };
            s2 = Pair { stateL[1], stateR[1] };
        }

        void store (Pair s1, Pair s2) const noexcept
        {
            stateL[0] = s1[0];
            stateR[0] = s1[1];
            stateL[1] = s2[0];
            stateR[1] = s2[1];
        }
    };

    void filterPairSection (const StereoSection& p, Pair* x, int n) noexcept
    {
        Pair s1, s2;
        p.load (s1, s2);

        for (int i = 0; i < n; ++i)
            x[i] = runSectionPair (*p.coeffs, s1, s2, x[i]);

        p.store (s1, s2);
    }

    // Two consecutive sections in one pass, the second one sample behind the first. The result
    // is exactly that of running them one after the other, but the two recursions are
    // independent within each step, so the processor overlaps them instead of waiting on the
    // latency of one.
    void filterPairSections (const StereoSection& p, const StereoSection& q, Pair* x, int n) noexcept
    {
        Pair p1, p2, q1, q2;
        p.load (p1, p2);
        q.load (q1, q2);

        Pair held = runSectionPair (*p.coeffs, p1, p2, x[0]);

        for (int i = 1; i < n; ++i)
        {
            const Pair next = runSectionPair (*p.coeffs, p1, p2, x[i]);
            x[i - 1] = runSectionPair (*q.coeffs, q1, q2, held);
            held = next;
        }

        x[n - 1] = runSectionPair (*q.coeffs, q1, q2, held);

        p.store (p1, p2);
        q.store (q1, q2);
    }

    void filterStereoChain (const StereoSection* chain, int count, double* left, double* right, int n) noexcept
    {
        constexpr int kSpan = 64;
        Pair x[kSpan];

        for (int start = 0; start < n; start += kSpan)
        {
            const int m = std::min (kSpan, n - start);

            for (int i = 0; i < m; ++i)
                x[i] = Pair { left[start + i], right[start + i] };

            int k = 0;
            for (; k + 1 < count; k += 2)
                filterPairSections (chain[k], chain[k + 1], x, m);

            if (k < count)
                filterPairSection (chain[k], x, m);

            for (int i = 0; i < m; ++i)
            {
                left[start + i] = x[i][0];
                right[start + i] = x[i][1];
            }
        }
    }

    // True when every sample is finite; no branch per sample on the common path.
    bool allFinite (const double* x, int n) noexcept
    {
        bool finite = true;
        for (int i = 0; i < n; ++i)
            finite &= isFiniteSample (x[i]);
        return finite;
    }

    // Replaces non-finite samples by 0; true when there were any.
    bool silenceNonFinite (double* x, int n) noexcept
    {
        if (allFinite (x, n))
            return false;

        for (int i = 0; i < n; ++i)
            if (! isFiniteSample (x[i]))
                x[i] = 0.0;

        return true;
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

        // A Stereo stage would give the same output in either domain, but its memory would
        // belong to the domain it last ran in: it always runs in left/right, so that an
        // earlier Mid or Side band coming or going never hands it signals of the other kind.
        if (stage.ch == Stereo && midSide)
        {
            toLeftRight (left, right, n);
            midSide = false;
        }

        if (stage.ch == Stereo)
        {
            // Consecutive resting Stereo stages form one chain of sections.
            StereoSection chain[kNumBands * 4];
            int count = 0;

            for (;;)
            {
                auto& chained = slots[(size_t) activeList[(size_t) a]].stage;
                for (int k = 0; k < chained.cascade.count; ++k)
                    chain[count++] = { &chained.cascade.sections[(size_t) k], chained.state[0][k], chained.state[1][k] };

                if (a + 1 >= activeCount)
                    break;

                const auto& next = slots[(size_t) activeList[(size_t) (a + 1)]];
                if (next.fade > 0.0 || ! next.stage.active || next.stage.ch != Stereo)
                    break;

                ++a;
            }

            filterStereoChain (chain, count, left, right, n);
        }
        else if (stage.ch == Mid || stage.ch == Left)
            filterStretch (stage.cascade, stage.state[0], left, n);
        else
            filterStretch (stage.cascade, stage.state[1], right, n);
    }

    if (midSide)
        toLeftRight (left, right, n);

    // A filter that blew up (a non-finite sample inside it) would stay broken: start every
    // filter afresh and silence only the damaged samples.
    const bool damagedLeft = silenceNonFinite (left, n);
    const bool damagedRight = ! mono && silenceNonFinite (right, n);

    if (damagedLeft || damagedRight)
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
