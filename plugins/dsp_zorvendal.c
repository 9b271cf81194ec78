/* Zorvendal's own DSP plug-in: the effects a DJ reaches for, one module each.
 *
 * Written in C so that every loaded copy of the file has its own state: C++ inline
 * and template statics become unique symbols that the loader shares between copies.
 * A module's parameters are atomics, set from the user-interface thread while the
 * audio thread runs ModifySamples; the working state (filters, delay line) lives in
 * userData between Init and Quit. */

#include "audio/dsp/WinampDsp.h"

#include <math.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <string.h>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#define EXPORT __attribute__((visibility("default")))
#define RELAXED memory_order_relaxed
#define PI_F 3.14159265f

/* Frames per coefficient update of the swept filters: fast enough to sound smooth. */
#define CONTROL_FRAMES 32
/* Echo memory in frames (a power of two): two beats at 60 BPM fit at 44100 Hz. */
#define ECHO_FRAMES 131072

/* --- Parameters ------------------------------------------------------------------ */

#define PARAMETER(name, initial)                                                                   \
    static atomic_int name = initial;                                                              \
    static int get_##name(winampDSPModule* self) {                                                 \
        (void)self;                                                                                \
        return atomic_load_explicit(&name, RELAXED);                                               \
    }                                                                                              \
    static void set_##name(winampDSPModule* self, int value) {                                     \
        (void)self;                                                                                \
        atomic_store_explicit(&name, value, RELAXED);                                              \
    }

PARAMETER(sweepAmount, -50)   /* -100 low-pass closed .. 0 open .. 100 high-pass closed */
PARAMETER(sweepResonance, 20) /* percent */
PARAMETER(echoTempo, 125)     /* BPM */
PARAMETER(echoQuarters, 3)    /* delay in quarter beats */
PARAMETER(echoFeedback, 45)   /* percent */
PARAMETER(echoMix, 50)        /* percent */
PARAMETER(bassLevel, -40)     /* dB; -40 is a full kill */
PARAMETER(stereoWidth, 160)   /* percent; 0 mono, 100 unchanged */

#define ENTRY(label, unit, lo, hi, name)                                                           \
    { label, unit, lo, hi, get_##name, set_##name }

static const zvDspParameter sweepParameters[] = {
    ENTRY("Low-pass / high-pass", "", -100, 100, sweepAmount),
    ENTRY("Resonance", "%", 0, 100, sweepResonance),
};
static const zvDspParameter echoParameters[] = {
    ENTRY("Tempo", "BPM", 60, 200, echoTempo),
    ENTRY("Delay", "quarter beats", 1, 8, echoQuarters),
    ENTRY("Feedback", "%", 0, 90, echoFeedback),
    ENTRY("Echo level", "%", 0, 100, echoMix),
};
static const zvDspParameter bassParameters[] = {
    ENTRY("Bass", "dB", -40, 6, bassLevel),
};
static const zvDspParameter widthParameters[] = {
    ENTRY("Width", "%", 0, 200, stereoWidth),
};

/* --- Shared pieces --------------------------------------------------------------- */

static inline short toSample(float v) {
    if (v >= 32767.0f)
        return 32767;
    if (v <= -32768.0f)
        return -32768;
    return (short)lrintf(v);
}

/* Floating-point state decays into denormals in silence, which run very slowly on
 * x86: flush them while processing and give the host its own mode back. */
typedef struct {
    unsigned int mode;
} FloatMode;

static inline FloatMode enterFlushMode(void) {
    FloatMode saved = {0};
#if defined(__SSE__)
    saved.mode = _mm_getcsr();
    _mm_setcsr(saved.mode | 0x8040); /* flush to zero, denormals are zero */
#endif
    return saved;
}

static inline void leaveFlushMode(FloatMode saved) {
#if defined(__SSE__)
    _mm_setcsr(saved.mode);
#else
    (void)saved;
#endif
}

/* A state-variable filter (trapezoidal integration): stable while its cutoff moves. */
typedef struct {
    float ic1, ic2;
} Svf;

typedef struct {
    float a1, a2, a3, k;
} SvfShape;

static SvfShape svfShape(float cutoff, float q, float rate) {
    const float top = 0.45f * rate;
    if (cutoff > top)
        cutoff = top;
    const float g = tanf(PI_F * cutoff / rate);
    SvfShape s;
    s.k = 1.0f / q;
    s.a1 = 1.0f / (1.0f + g * (g + s.k));
    s.a2 = g * s.a1;
    s.a3 = g * s.a2;
    return s;
}

static inline void svfRun(Svf* f, const SvfShape* s, float x, float* low, float* high) {
    const float v3 = x - f->ic2;
    const float v1 = s->a1 * f->ic1 + s->a2 * v3;
    const float v2 = f->ic2 + s->a2 * f->ic1 + s->a3 * v3;
    f->ic1 = 2.0f * v1 - f->ic1;
    f->ic2 = 2.0f * v2 - f->ic2;
    *low = v2;
    *high = x - s->k * v1 - v2;
}

static int usable(int bps, int nch) {
    return bps == 16 && nch == 2;
}

static void noConfig(winampDSPModule* self) {
    /* The host shows the parameters in its own window. */
    (void)self;
}

static int allocateState(winampDSPModule* self, size_t bytes) {
    self->userData = calloc(1, bytes);
    return self->userData != NULL ? 0 : 1;
}

static void freeState(winampDSPModule* self) {
    free(self->userData);
    self->userData = NULL;
}

/* --- Filter sweep ------------------------------------------------------------------ */

typedef struct {
    Svf channel[2];
    float amount; /* the parameter, smoothed */
} SweepState;

static int sweepInit(winampDSPModule* self) {
    if (allocateState(self, sizeof(SweepState)) != 0)
        return 1;
    ((SweepState*)self->userData)->amount = (float)atomic_load_explicit(&sweepAmount, RELAXED);
    return 0;
}

static int sweepModify(winampDSPModule* self, short* samples, int frames, int bps, int nch,
                       int rate) {
    SweepState* st = (SweepState*)self->userData;
    if (st == NULL || !usable(bps, nch) || rate <= 0)
        return frames;
    const FloatMode mode = enterFlushMode();
    const float target = (float)atomic_load_explicit(&sweepAmount, RELAXED);
    const float q = 0.7071f + 0.05f * (float)atomic_load_explicit(&sweepResonance, RELAXED);
    for (int start = 0; start < frames; start += CONTROL_FRAMES) {
        const int end = start + CONTROL_FRAMES < frames ? start + CONTROL_FRAMES : frames;
        st->amount += (target - st->amount) * 0.05f;
        const float a = st->amount / 100.0f;
        if (fabsf(st->amount) < 0.5f)
            continue; /* open: the sound passes untouched */
        const int highPass = a > 0.0f;
        /* Exponential sweeps: low-pass 20 kHz down to 60 Hz, high-pass 20 Hz to 8 kHz. */
        const float cutoff = highPass ? 20.0f * powf(400.0f, a) : 20000.0f * powf(0.003f, -a);
        const SvfShape shape = svfShape(cutoff, q, (float)rate);
        for (int i = start; i < end; ++i) {
            for (int c = 0; c < 2; ++c) {
                float low, high;
                svfRun(&st->channel[c], &shape, samples[2 * i + c], &low, &high);
                samples[2 * i + c] = toSample(highPass ? high : low);
            }
        }
    }
    leaveFlushMode(mode);
    return frames;
}

/* --- Echo -------------------------------------------------------------------------- */

typedef struct {
    float line[ECHO_FRAMES][2];
    unsigned int write;
} EchoState;

static int echoInit(winampDSPModule* self) {
    return allocateState(self, sizeof(EchoState));
}

static int echoModify(winampDSPModule* self, short* samples, int frames, int bps, int nch,
                      int rate) {
    EchoState* st = (EchoState*)self->userData;
    if (st == NULL || !usable(bps, nch) || rate <= 0)
        return frames;
    const FloatMode mode = enterFlushMode();
    const int bpm = atomic_load_explicit(&echoTempo, RELAXED);
    const int quarters = atomic_load_explicit(&echoQuarters, RELAXED);
    const float feedback = 0.01f * (float)atomic_load_explicit(&echoFeedback, RELAXED);
    const float mix = 0.01f * (float)atomic_load_explicit(&echoMix, RELAXED);
    long delay = bpm > 0 ? (long)rate * 15L * quarters / bpm : 1;
    if (delay < 1)
        delay = 1;
    if (delay > ECHO_FRAMES - 1)
        delay = ECHO_FRAMES - 1;
    const unsigned int mask = ECHO_FRAMES - 1;
    unsigned int w = st->write;
    for (int i = 0; i < frames; ++i, w = (w + 1) & mask) {
        const float* echo = st->line[(w - (unsigned int)delay) & mask];
        for (int c = 0; c < 2; ++c) {
            const float x = samples[2 * i + c];
            st->line[w][c] = x + feedback * echo[c];
            samples[2 * i + c] = toSample(x + mix * echo[c]);
        }
    }
    st->write = w;
    leaveFlushMode(mode);
    return frames;
}

/* --- Bass kill --------------------------------------------------------------------- */

/* Linkwitz-Riley crossover at 250 Hz: its low and high bands add up to the input's
 * magnitude, so a level of 0 dB leaves the sound as it was. */
#define BASS_CROSSOVER_HZ 250.0f

typedef struct {
    Svf low[2][2]; /* [channel][stage] */
    Svf high[2][2];
    float gain; /* smoothed */
    SvfShape shape;
    int rate;
} BassState;

static float bassGain(int db) {
    return db <= -40 ? 0.0f : powf(10.0f, (float)db / 20.0f);
}

static int bassInit(winampDSPModule* self) {
    if (allocateState(self, sizeof(BassState)) != 0)
        return 1;
    ((BassState*)self->userData)->gain = bassGain(atomic_load_explicit(&bassLevel, RELAXED));
    return 0;
}

static int bassModify(winampDSPModule* self, short* samples, int frames, int bps, int nch,
                      int rate) {
    BassState* st = (BassState*)self->userData;
    if (st == NULL || !usable(bps, nch) || rate <= 0)
        return frames;
    const FloatMode mode = enterFlushMode();
    if (st->rate != rate) {
        st->shape = svfShape(BASS_CROSSOVER_HZ, 0.7071f, (float)rate);
        st->rate = rate;
    }
    const float target = bassGain(atomic_load_explicit(&bassLevel, RELAXED));
    for (int i = 0; i < frames; ++i) {
        st->gain += (target - st->gain) * 0.002f;
        for (int c = 0; c < 2; ++c) {
            float low, high, unused;
            const float x = samples[2 * i + c];
            svfRun(&st->low[c][0], &st->shape, x, &low, &unused);
            svfRun(&st->low[c][1], &st->shape, low, &low, &unused);
            svfRun(&st->high[c][0], &st->shape, x, &unused, &high);
            svfRun(&st->high[c][1], &st->shape, high, &unused, &high);
            samples[2 * i + c] = toSample(high + st->gain * low);
        }
    }
    leaveFlushMode(mode);
    return frames;
}

/* --- Stereo -------------------------------------------------------------------------- */

static int noInit(winampDSPModule* self) {
    (void)self;
    return 0;
}

static void noQuit(winampDSPModule* self) {
    (void)self;
}

static int widthModify(winampDSPModule* self, short* samples, int frames, int bps, int nch,
                       int rate) {
    (void)self;
    (void)rate;
    if (!usable(bps, nch))
        return frames;
    const float width = 0.01f * (float)atomic_load_explicit(&stereoWidth, RELAXED);
    for (int i = 0; i < frames; ++i) {
        const float l = samples[2 * i], r = samples[2 * i + 1];
        const float mid = 0.5f * (l + r), side = 0.5f * (l - r) * width;
        samples[2 * i] = toSample(mid + side);
        samples[2 * i + 1] = toSample(mid - side);
    }
    return frames;
}

static int swapModify(winampDSPModule* self, short* samples, int frames, int bps, int nch,
                      int rate) {
    (void)self;
    (void)rate;
    if (!usable(bps, nch))
        return frames;
    for (int i = 0; i < frames; ++i) {
        const short l = samples[2 * i];
        samples[2 * i] = samples[2 * i + 1];
        samples[2 * i + 1] = l;
    }
    return frames;
}

/* --- Header ------------------------------------------------------------------------ */

static char headerText[] = "Zorvendal DJ effects";
static char sweepText[] = "Filter sweep (low-pass / high-pass)";
static char swapText[] = "Stereo swap";
static char echoText[] = "Echo in time";
static char bassText[] = "Bass kill";
static char widthText[] = "Stereo width";

static winampDSPModule modules[] = {
    {sweepText, NULL, NULL, noConfig, sweepInit, sweepModify, freeState, NULL},
    {swapText, NULL, NULL, noConfig, noInit, swapModify, noQuit, NULL},
    {echoText, NULL, NULL, noConfig, echoInit, echoModify, freeState, NULL},
    {bassText, NULL, NULL, noConfig, bassInit, bassModify, freeState, NULL},
    {widthText, NULL, NULL, noConfig, noInit, widthModify, noQuit, NULL},
};
#define MODULE_COUNT ((int)(sizeof modules / sizeof modules[0]))

static winampDSPModule* getModule(int index) {
    return index >= 0 && index < MODULE_COUNT ? &modules[index] : NULL;
}

static winampDSPHeader header = {ZV_DSP_HEADER_VERSION, headerText, getModule};

EXPORT winampDSPHeader* winampDSPGetHeader2(void) {
    return &header;
}

EXPORT int zorvendalDSPGetParameters(winampDSPModule* self, const zvDspParameter** parameters) {
#define LIST(table)                                                                                \
    do {                                                                                           \
        *parameters = table;                                                                       \
        return (int)(sizeof table / sizeof table[0]);                                              \
    } while (0)
    if (self == &modules[0])
        LIST(sweepParameters);
    if (self == &modules[2])
        LIST(echoParameters);
    if (self == &modules[3])
        LIST(bassParameters);
    if (self == &modules[4])
        LIST(widthParameters);
#undef LIST
    *parameters = NULL;
    return 0;
}
