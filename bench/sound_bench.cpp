// Sound of the speed change and of Master Tempo, measured on generated signals played
// through a deck (WAV decoder, decoded ring, signal path, output ring):
//   bench_sound [--classic]
// Prints, per case, the figure and the level a DJ should be able to trust:
//   tone SNR       plain resampling of a 1 kHz and a 10 kHz sine against the ideal
//                  resampled sine (least-squares fit at the expected frequency)
//   folded         plain resampling of a 19 kHz sine at +33 %, whose output lies above
//                  the Nyquist frequency: the power folded back below 16 kHz and in
//                  all, relative to the input tone's
//   off partials   Master Tempo on a 5-note chord: energy outside +-3 FFT bins of the
//                  chord's notes (8192-point Hann windows), relative to all of it
//   third octave   Master Tempo on the chord plus pink noise: per third-octave band
//                  (50 Hz .. 16 kHz) the output level against the input's, RMS and worst
//   kick jitter    Master Tempo on a 120 BPM kick and hat pattern, played from pause and
//                  after a cue jump: onsets of the low-passed signal fitted to a straight
//                  line, every beat included; the residuals' standard deviation and worst
//                  value, the first beat's, and the slope's error against the period the
//                  speed asks for
// --classic measures the classic resampling for comparison.

#include "audio/deck/Deck.h"
#include "audio/deck/DeckMessages.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/MemoryTrackStore.h"
#include "audio/deck/SoundOutput.h"
#include "core/Settings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kTwoPi = 6.283185307179586;

using Signal = std::vector<double>; // mono, full scale 1.0; written to both channels

// Hears the rendered frames but the last 2048 (a sound card's buffer, which a cue
// jump fades out of), keeping the left channel.
class CaptureOutput : public SoundOutput {
public:
    void setDeckLevel(int, int) override {}
    void setCrossfader(int) override {}
    void resyncDeck(int) override {}
    int submit() override { return 1; }
    int playSnippet(int, int32_t, int32_t) override { return 1; }
    void poll() override {
        Deck* d = deckAt(0);
        if (!d || !playing)
            return;
        constexpr int32_t kCardFrames = 2048;
        const int32_t ahead = (d->writePos - d->playPos + kOutputRingFrames) % kOutputRingFrames;
        int32_t i = d->playPos;
        for (int32_t n = 0; n < ahead - kCardFrames; ++n, i = (i + 1) % kOutputRingFrames)
            heard.push_back(frameLeft(d->outputRing[i]) / 32768.0);
        d->updatePlayPosition(i);
    }
    void deckStarted(int) override { playing = true; }
    void deckStopped(int) override { playing = false; }
    void setSelectedDeck(int) override {}
    bool isDeckAudible(int) override { return false; }

    bool playing = false;
    Signal heard;
};

void put16(std::ofstream& f, uint32_t v) {
    f.put(char(v & 0xff)).put(char(v >> 8));
}
void put32(std::ofstream& f, uint32_t v) {
    put16(f, v & 0xffff);
    put16(f, v >> 16);
}

void writeWav(const std::string& path, const Signal& s) {
    std::ofstream f(path, std::ios::binary);
    const uint32_t bytes = uint32_t(s.size() * 4);
    f.write("RIFF", 4);
    put32(f, 36 + bytes);
    f.write("WAVEfmt ", 8);
    put32(f, 16);
    put16(f, 1);
    put16(f, 2);
    put32(f, kSampleRate);
    put32(f, kSampleRate * 4);
    put16(f, 4);
    put16(f, 16);
    f.write("data", 4);
    put32(f, bytes);
    for (double v : s) {
        const auto x = uint16_t(int16_t(std::lround(std::clamp(v, -1.0, 32767.0 / 32768) * 32768)));
        put16(f, x);
        put16(f, x);
    }
}

// Where a play starts: from pause at a position, then, when jumpAfter > 0, a cue jump
// to jumpTo once that many frames were heard. Positions are input frames.
struct Start {
    double from = 0;
    size_t jumpAfter = 0;
    double jumpTo = 0;
};

// The whole signal played by deck 0 at `speed`; jumpedAt, when asked for, is where the
// cue jump was heard.
Signal play(const Signal& input, int32_t speed, bool masterTempo, bool classic,
            const Start& start = {}, size_t* jumpedAt = nullptr) {
    char path[] = "/tmp/zv-sound-XXXXXX.wav";
    const int fd = mkstemps(path, 4);
    close(fd);
    writeWav(path, input);
    settings().masterTempo = masterTempo ? 1 : 0;
    settings().classicResampling = classic ? 1 : 0;
    settings().autoBpm = 0;
    settings().autoLevel = 0;
    MemoryTrackStore store;
    setTrackStore(&store);
    CaptureOutput output;
    currentSoundOutput().store(&output);
    auto deck = std::make_unique<Deck>(0);
    decks()[0] = deck.get();
    TrackRecord track;
    track.path = path;
    Signal out;
    size_t jumped = 0;
    if (deck->load(track)) {
        const double frames = double(input.size());
        deck->setSpeed(speed);
        deck->playFrom(float(start.from / frames));
        std::array<DeckMessage, 4> messages;
        for (bool ended = false; !ended;) {
            output.poll();
            if (start.jumpAfter > 0 && jumped == 0 && output.heard.size() >= start.jumpAfter) {
                jumped = output.heard.size();
                deck->playFrom(float(start.jumpTo / frames));
            }
            deck->serve();
            const int n = deckMessages().takePending(messages);
            for (int i = 0; i < n; ++i)
                ended |= messages[i].message == kMsgTrackEnded;
        }
        out = std::move(output.heard);
    }
    if (jumpedAt)
        *jumpedAt = jumped;
    decks()[0] = nullptr;
    currentSoundOutput().store(nullptr);
    deck.reset();
    setTrackStore(nullptr);
    unlink(path);
    return out;
}

Signal sine(double hz, double seconds, double level) {
    Signal s(size_t(seconds * kSampleRate));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = level * std::sin(kTwoPi * hz * double(i) / kSampleRate);
    return s;
}

// SNR of out against the best-fitting sine at hz, over its middle (ends dropped).
double toneSnr(const Signal& out, double hz) {
    const size_t from = 8192, to = out.size() - 8192;
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (size_t i = from; i < to; ++i) {
        const double c = std::cos(kTwoPi * hz * double(i) / kSampleRate);
        const double s = std::sin(kTwoPi * hz * double(i) / kSampleRate);
        cc += c * c, ss += s * s, cs += c * s, xc += out[i] * c, xs += out[i] * s;
    }
    const double det = cc * ss - cs * cs;
    const double a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
    double signal = 0, noise = 0;
    for (size_t i = from; i < to; ++i) {
        const double fit = a * std::cos(kTwoPi * hz * double(i) / kSampleRate) +
                           b * std::sin(kTwoPi * hz * double(i) / kSampleRate);
        signal += fit * fit;
        noise += (out[i] - fit) * (out[i] - fit);
    }
    return 10.0 * std::log10(signal / noise);
}

void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -kTwoPi / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wn = 1.0;
            for (size_t j = 0; j < len / 2; ++j, wn *= w) {
                const auto u = a[i + j], v = a[i + j + len / 2] * wn;
                a[i + j] = u + v;
                a[i + j + len / 2] = u - v;
            }
        }
    }
}

constexpr size_t kFftSize = 8192;

// Average power spectrum (Hann windows, half overlap) over the signal's middle.
std::vector<double> spectrum(const Signal& x) {
    std::vector<double> power(kFftSize / 2, 0.0);
    std::vector<std::complex<double>> a(kFftSize);
    int count = 0;
    for (size_t start = 16384; start + kFftSize + 16384 < x.size(); start += kFftSize / 2) {
        for (size_t i = 0; i < kFftSize; ++i)
            a[i] = x[start + i] * (0.5 - 0.5 * std::cos(kTwoPi * double(i) / kFftSize));
        fft(a);
        for (size_t k = 0; k < kFftSize / 2; ++k)
            power[k] += std::norm(a[k]);
        ++count;
    }
    for (double& p : power)
        p /= count;
    return power;
}

double binHz() {
    return double(kSampleRate) / kFftSize;
}

// Power of the bins between 20 Hz and `upTo`, in dB.
double bandPower(const Signal& x, double upTo) {
    const std::vector<double> p = spectrum(x);
    double sum = 0;
    for (size_t k = 1; k < p.size(); ++k)
        if (double(k) * binHz() >= 20.0 && double(k) * binHz() < upTo)
            sum += p[k];
    return 10.0 * std::log10(sum);
}

double offPartials(const Signal& out, const std::vector<double>& notes) {
    const std::vector<double> p = spectrum(out);
    double total = 0, on = 0;
    for (size_t k = 1; k < p.size(); ++k) {
        total += p[k];
        for (double hz : notes) {
            if (std::abs(double(k) - hz / binHz()) <= 3.0) {
                on += p[k];
                break;
            }
        }
    }
    return 10.0 * std::log10((total - on) / total);
}

// Worst and RMS level difference per third-octave band, in dB.
std::pair<double, double> thirdOctaves(const Signal& in, const Signal& out) {
    const std::vector<double> a = spectrum(in), b = spectrum(out);
    double sum = 0, worst = 0;
    int bands = 0;
    for (int n = -13; n <= 12; ++n) { // 50 Hz .. 16 kHz around 1 kHz
        const double centre = 1000.0 * std::pow(2.0, n / 3.0);
        const double lo = centre * std::pow(2.0, -1.0 / 6), hi = centre * std::pow(2.0, 1.0 / 6);
        double ea = 0, eb = 0;
        for (size_t k = 1; k < a.size(); ++k) {
            const double hz = double(k) * binHz();
            if (hz >= lo && hz < hi)
                ea += a[k], eb += b[k];
        }
        const double d = 10.0 * std::log10(eb / ea);
        sum += d * d;
        worst = std::max(worst, std::abs(d));
        ++bands;
    }
    return {std::sqrt(sum / bands), worst};
}

Signal chord(double seconds) {
    const std::vector<double> notes{130.81, 196.00, 261.63, 329.63, 493.88};
    Signal s(size_t(seconds * kSampleRate), 0.0);
    for (double hz : notes)
        for (size_t i = 0; i < s.size(); ++i)
            s[i] += 0.15 * std::sin(kTwoPi * hz * double(i) / kSampleRate + hz);
    return s;
}

Signal pinkNoise(size_t frames, double level) {
    // Paul Kellet's filter over white noise.
    uint32_t seed = 12345;
    double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
    Signal s(frames);
    for (double& v : s) {
        seed = seed * 1664525u + 1013904223u;
        const double w = double(seed >> 8) / 8388608.0 - 1.0;
        b0 = 0.99886 * b0 + w * 0.0555179;
        b1 = 0.99332 * b1 + w * 0.0750759;
        b2 = 0.96900 * b2 + w * 0.1538520;
        b3 = 0.86650 * b3 + w * 0.3104856;
        b4 = 0.55000 * b4 + w * 0.5329522;
        b5 = -0.7616 * b5 - w * 0.0168980;
        v = level * (b0 + b1 + b2 + b3 + b4 + b5 + b6 + w * 0.5362) / 5.0;
        b6 = w * 0.115926;
    }
    return s;
}

constexpr double kBeatFrames = 22050.0; // 120 BPM

Signal kicksAndHats(double seconds) {
    Signal s(size_t(seconds * kSampleRate), 0.0);
    uint32_t seed = 99;
    for (size_t i = 0; i < s.size(); ++i) {
        const double inBeat = std::fmod(double(i), kBeatFrames);
        const double t = inBeat / kSampleRate;
        // A kick: a pitch sweep from 150 to 50 Hz under a 120 ms decay.
        const double phase = kTwoPi * (50.0 * t + 100.0 * 0.03 * (1.0 - std::exp(-t / 0.03)));
        s[i] = 0.7 * std::exp(-t / 0.12) * std::sin(phase);
        // A hat on the off-beat: 30 ms of differenced noise.
        const double th = (inBeat - kBeatFrames / 2) / kSampleRate;
        seed = seed * 1664525u + 1013904223u;
        if (th >= 0 && th < 0.03)
            s[i] += 0.2 * std::exp(-th / 0.008) * (double(seed >> 8) / 8388608.0 - 1.0);
    }
    return s;
}

struct Jitter {
    double stdMs, worstMs, firstMs, periodPpm;
    int beats;
};

// Kick onsets: where the low-passed signal first passes a quarter of the full kick's
// level after a quiet stretch, to a fraction of a frame. Every beat from frame `from`
// on counts, the first one after a start or a jump included; firstMs is its residual.
Jitter kickJitter(const Signal& out, double period, size_t from = 0) {
    Signal low(out.size());
    double y1 = 0, y2 = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        y1 += 0.03 * (out[i] - y1); // two one-pole low passes near 200 Hz
        y2 += 0.03 * (y1 - y2);
        low[i] = std::abs(y2);
    }
    double peak = 0;
    for (double v : low)
        peak = std::max(peak, v);
    const double threshold = 0.25 * peak;
    // Quiet: below the threshold for longer than the rectified kick's half cycle, so a
    // kick still ringing when a jump cuts into it is not taken for a new one.
    constexpr size_t kQuietFrames = 1000;
    std::vector<double> onsets;
    double lastLoud = -double(kQuietFrames) - 1;
    for (size_t i = 1; i < low.size(); ++i) {
        if (low[i] < threshold)
            continue;
        if (i >= from && low[i - 1]<threshold&& double(i) - lastLoud> kQuietFrames &&
            (onsets.empty() || double(i) - onsets.back() > period / 2)) {
            const double frac = (threshold - low[i - 1]) / (low[i] - low[i - 1]);
            onsets.push_back(double(i - 1) + frac);
        }
        lastLoud = double(i);
    }
    // Least-squares line through onset n at time t.
    const size_t n = onsets.size();
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < n; ++i)
        sx += double(i), sy += onsets[i], sxx += double(i) * double(i),
            sxy += double(i) * onsets[i];
    const double slope = (double(n) * sxy - sx * sy) / (double(n) * sxx - sx * sx);
    const double intercept = (sy - slope * sx) / double(n);
    double sum = 0, worst = 0;
    for (size_t i = 0; i < n; ++i) {
        const double r = onsets[i] - (intercept + slope * double(i));
        sum += r * r;
        worst = std::max(worst, std::abs(r));
    }
    const double toMs = 1000.0 / kSampleRate;
    return {toMs * std::sqrt(sum / double(n)), toMs * worst, toMs * (onsets[0] - intercept),
            1e6 * (slope / period - 1.0), int(n)};
}

} // namespace

int main(int argc, char** argv) {
    const bool classic = argc > 1 && std::strcmp(argv[1], "--classic") == 0;
    std::printf("%s\n", classic ? "classic resampling" : "interpolating resampling");

    for (int32_t speed : {4424, 3768, 5448}) {
        for (double hz : {1000.0, 10000.0}) {
            const Signal out = play(sine(hz, 6.0, 0.5), speed, false, classic);
            std::printf("plain  speed %d  %5.0f Hz tone: SNR %5.1f dB\n", speed, hz,
                        toneSnr(out, hz * speed / 4096.0));
        }
    }

    {
        // Content above the output's Nyquist frequency when speeding up must be filtered
        // away, not folded back into the audible band.
        const Signal in = sine(19000.0, 6.0, 0.5);
        const Signal out = play(in, 5448, false, classic);
        const double input = bandPower(in, kSampleRate / 2.0);
        std::printf("plain  speed 5448  19000 Hz tone: folded below 16 kHz %6.1f dB, in all "
                    "%6.1f dB\n",
                    bandPower(out, 16000.0) - input, bandPower(out, kSampleRate / 2.0) - input);
    }

    const std::vector<double> notes{130.81, 196.00, 261.63, 329.63, 493.88};
    const Signal chordIn = chord(20.0);
    Signal mixed = chord(40.0);
    const Signal pink = pinkNoise(mixed.size(), 0.25);
    for (size_t i = 0; i < mixed.size(); ++i)
        mixed[i] += pink[i];
    const Signal kicks = kicksAndHats(180.0);
    for (int32_t speed : {4424, 3768}) {
        const Signal a = play(chordIn, speed, true, classic);
        std::printf("tempo  speed %d  chord: off partials %5.1f dB\n", speed,
                    offPartials(a, notes));
        const Signal b = play(mixed, speed, true, classic);
        const auto [rms, worst] = thirdOctaves(mixed, b);
        std::printf("tempo  speed %d  chord + pink noise: third octaves %.2f dB RMS, %.2f dB "
                    "worst\n",
                    speed, rms, worst);
        // From pause on a beat and 30 ms before one; cue jumps while playing, late in the
        // 21st beat (where the kick has died away, so the next one stands out), onto a
        // beat and 30 ms before one.
        const auto jumpAfter = size_t(20.75 * kBeatFrames * 4096.0 / speed);
        const struct {
            const char* name;
            Start start;
        } starts[] = {
            {"start on a beat", {}},
            {"start 30 ms early", {40 * kBeatFrames - 1323}},
            {"jump onto a beat", {0, jumpAfter, 100 * kBeatFrames}},
            {"jump 30 ms early", {0, jumpAfter, 100 * kBeatFrames - 1323}},
        };
        for (const auto& [name, start] : starts) {
            size_t jumpedAt = 0;
            const Signal c = play(kicks, speed, true, classic, start, &jumpedAt);
            const Jitter j = kickJitter(c, kBeatFrames * 4096.0 / speed, jumpedAt);
            std::printf("tempo  speed %d  kicks, %-17s: %d beats, jitter %.2f ms std dev, "
                        "%.2f ms worst, first beat %+.2f ms, period %+.1f ppm\n",
                        speed, name, j.beats, j.stdMs, j.worstMs, j.firstMs, j.periodPpm);
        }
    }
    return 0;
}
