#include "tools/mix/MixRenderer.h"

#include "app/MainWindow.h"
#include "audio/card/VirtualCard.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/SoundOutput.h"
#include "audio/decoders/WaitingRead.h"
#include "audio/output/AudioEngine.h"
#include "audio/recorder/Recorder.h"
#include "core/Clock.h"
#include "core/FatalMessage.h"
#include "core/Settings.h"
#include "library/AnalysisService.h"
#include "library/Playlist.h"
#include "library/PlaylistFile.h"
#include "library/TrackDatabase.h"
#include "library/TrackNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr int kSoftMixMode = 1;
// The recorder's ring in the offline mix: rendering runs far ahead of any disk, so it
// holds 95 s of sound and its writer wakes often; the renderer also waits for it.
constexpr int kRecorderRingFrames = 1 << 22;
constexpr int64_t kRecorderBacklogFrames = kRecorderRingFrames / 2;
constexpr int kProgressEveryMs = 500;
// Beyond the playlist's length the renderer stops whatever happens: a mix that stalled
// would otherwise fill the disk with silence.
constexpr int64_t kBudgetMarginSeconds = 60;
// How long the end waits for the recorder to write what it holds.
constexpr double kFinishWaitSeconds = 120.0;

using SteadyClock = std::chrono::steady_clock;

double secondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// The settings the options stand for. The user's own settings are read first (the
// home folder, where the database lives) and nothing is written back.
void applyOptions(const MixOptions& o, const QString& scratchSettings) {
    Settings& s = settings();
    s.load();
    s.setStorageFile(scratchSettings);
    s.outputMode = kSoftMixMode;
    s.longMix = o.longMix;
    s.masterTempo = o.masterTempo ? 1 : 0;
    s.autoLevel = o.autoLevel ? 1 : 0;
    s.limitPitch = o.narrowPitch ? 1 : 0;
    s.autoBpm = o.autoBpm ? 1 : 0;
    s.classicResampling = o.classicResampling ? 1 : 0;
    s.autoZPitch = 0;
    s.crossfader = 0;
    s.maximized = 0;
    s.multiInstance = 1; // leave the machine's mixer and other copies alone
}

std::vector<std::string> playlistPaths(const std::vector<std::string>& inputs) {
    if (inputs.size() == 1 && isPlaylistFileName(inputs[0]))
        return readPlaylistPaths(inputs[0]);
    return inputs;
}

// Notes each track when it starts to play, as a listener of the recording would, and
// when the crossfade into it ends. A track counts from its take out of the playlist:
// the same file may follow itself.
class MixLog {
public:
    void taken(int deck) { pending_[deck & 1] = true; }

    void observe(const MainWindow& main, double seconds) {
        if (!main.mixTimer && running_ && !tracks.empty())
            tracks.back().mixEnd = seconds;
        running_ = main.mixTimer;
        for (int d = 0; d < 2; ++d) {
            const Deck* deck = deckAt(d);
            if (pending_[d] && deck && deck->playing.load(std::memory_order_relaxed)) {
                pending_[d] = false;
                add(tracks.empty() ? 0.0 : seconds, *deck);
            }
        }
    }

    std::vector<MixedTrack> tracks;

private:
    void add(double seconds, const Deck& deck) {
        MixedTrack t;
        if (deck.track) {
            t.path = deck.track->path;
            if (deck.track->entry)
                t.bpm = deck.track->entry->bpm.load(std::memory_order_relaxed);
        }
        t.speed = deck.speed.load(std::memory_order_relaxed);
        t.mixStart = seconds;
        tracks.push_back(t);
    }
    bool running_ = false;
    bool pending_[2] = {false, false};
};

bool anyDeckPlaying() {
    for (int i = 0; i < 2; ++i)
        if (Deck* d = deckAt(i); d && d->playing.load(std::memory_order_relaxed))
            return true;
    return false;
}

std::string playingTrack() {
    for (int i = 0; i < 2; ++i)
        if (Deck* d = deckAt(i); d && d->playing.load(std::memory_order_relaxed) && d->track)
            return d->track->path;
    return {};
}

// Why the render loop ended.
constexpr int kStopEnd = 0;        // nothing plays any more
constexpr int kStopOutputFull = 1; // the file refused frames
constexpr int kStopOverBudget = 2; // longer than the playlist can be
constexpr int kStopSignal = 3;     // SIGINT or SIGTERM

constexpr int32_t kCrossfaderDeck0 = 0; // all deck 0
constexpr int32_t kCrossfaderDeck1 = 384;

// The signal that asked the render to end, 0 for none. Set from a signal handler:
// lock-free, so async-signal-safe.
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

std::string secondsText(int64_t frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", double(frames) / kSampleRate);
    return text;
}

// Whether the render gave what was asked for; otherwise *error says what went wrong,
// with the counts.
bool checkOutcome(int stop, const MixSummary& summary, const std::string& output,
                  std::string* error) {
    const std::string lost = std::to_string(summary.framesLost) + " frames lost";
    const std::string holds = output + " holds " + secondsText(summary.framesWritten) + " of " +
                              secondsText(int64_t(summary.outputSeconds * kSampleRate)) + " of mix";
    if (stop == kStopOutputFull) {
        *error = output + " cannot grow (disk full, file size limit or the WAV format's 4 GiB): " +
                 "stopped; " + lost + ", " + holds;
        return false;
    }
    if (stop == kStopSignal) {
        *error = "stopped by a signal after " + std::to_string(summary.tracks.size()) +
                 " tracks; " + holds;
        return false;
    }
    if (stop == kStopOverBudget) {
        *error = "the mix ran past the playlist's length and was stopped; " + holds;
        return false;
    }
    if (summary.tracks.empty()) {
        *error =
            "no track could be played (" + std::to_string(summary.skipped.size()) + " skipped)";
        return false;
    }
    if (summary.framesLost > 0) {
        *error = lost + " (disk too slow or full), " + holds;
        return false;
    }
    return true;
}

} // namespace

void MixRenderer::requestStop(int signal) {
    gStopSignal.store(signal, std::memory_order_relaxed);
}

int MixRenderer::stopSignal() {
    return gStopSignal.load(std::memory_order_relaxed);
}

MixRenderer::MixRenderer(MixOptions options) : options_(std::move(options)) {}

bool MixRenderer::run(MixSummary* summary, std::string* error, const MixProgress& progress) {
    const std::vector<std::string> paths = playlistPaths(options_.inputs);
    if (paths.empty()) {
        *error = "the playlist holds no tracks";
        return false;
    }
    const QString scratchSettings = QDir::temp().filePath(
        QString("zorvendal-mix-%1.ini").arg(QCoreApplication::applicationPid()));
    applyOptions(options_, scratchSettings);

    // The recording file first: an unwritable output ends the run before any work.
    RecorderOptions recorderOptions;
    recorderOptions.ringFrames = kRecorderRingFrames;
    recorderOptions.drainPeriod = std::chrono::milliseconds(5);
    std::unique_ptr<Recorder> recorder = Recorder::create(options_.output, error, recorderOptions);
    if (!recorder)
        return false;
    Recorder* recording = recorder.get();

    std::unique_ptr<Clock> clock;
    VirtualClock* virtualClock = nullptr;
    if (options_.live) {
        clock = std::make_unique<RealClock>();
    } else {
        auto v = std::make_unique<VirtualClock>();
        virtualClock = v.get();
        clock = std::move(v);
    }
    MainWindow main(*clock);
    main.databasePath = options_.database;
    main.analyseInBackground = false; // every track is analysed ahead, below
    VirtualCard* card = nullptr;
    bool noSoundDevice = false;
    if (options_.live) {
        // Without a sound output the engine plays on a virtual card in real time:
        // worth a word, since nothing will be heard.
        main.audioOptions.openDevice = [&noSoundDevice](const SoundCardId* id, bool exclusive,
                                                        int pairs,
                                                        std::unique_ptr<SoundDevice>* device) {
            const SoundResult result = openSoundCard(id, exclusive, device, pairs);
            if (result == SoundResult::Ok && *device &&
                (*device)->info().id == virtualCardInfo().id)
                noSoundDevice = true;
            return result;
        };
    } else {
        main.audioOptions.ownThread = false;
        main.audioOptions.systemVolumes = false;
        main.audioOptions.openDevice = [&card](const SoundCardId*, bool, int,
                                               std::unique_ptr<SoundDevice>* device) {
            auto manual = VirtualCard::createManual();
            card = manual.get();
            *device = std::move(manual);
            return SoundResult::Ok;
        };
    }
    std::vector<SkippedTrack> skipped;
    main.onTrackSkipped = [&skipped](const std::string& path, const std::string& reason) {
        skipped.push_back({path, reason});
    };
    MainWindow::CreationStep failedStep = MainWindow::CreationStep::Start;
    main.creationObserver = [&failedStep](MainWindow::CreationStep step) { failedStep = step; };
    clearFatalMessage(); // a run before this one in the same process is over
    if (!main.onCreate(nullptr) || !main.audioEngine() ||
        !main.audioEngine()->output()->isReady()) {
        // The program's own message says which step failed (a damaged database,
        // for one); without one it was the sound engine.
        const char* message = fatalMessage();
        *error = message ? QString(message).replace('\n', ' ').toStdString()
                         : "the sound engine could not start";
        if (message && failedStep == MainWindow::CreationStep::Database)
            *error += ": " + (options_.database.empty() ? TrackDatabase::defaultFilePath()
                                                        : options_.database);
        clearFatalMessage();
        main.onDestroy();
        QFile::remove(scratchSettings);
        return false;
    }
    SoundOutput* output = main.audioEngine()->output();
    output->attachRecorder(std::move(recorder));
    if (noSoundDevice && options_.notice)
        options_.notice("no sound device was found: the mix plays silently in real time");

    // Every track is analysed whole before the mix begins (on every core), so that the
    // first run mixes from the same tempi and points as every later one.
    if (main.database()->isReadOnly() && options_.notice)
        options_.notice("the track database is in use by a running copy of the program: "
                        "tracks are not analysed ahead, so this mix may differ from the next");
    analyseAhead(*main.database(), paths,
                 static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    for (const std::string& path : paths)
        main.playlist()->insert(makeTrackRecord(*main.database(), path, fileSizeKey(path)));

    // Every track that enters a deck is noted, and adds its length, played at the
    // slowest speed the pitch range allows, to what the output may hold.
    MixLog log;
    int64_t frameBudget = kBudgetMarginSeconds * int64_t{kSampleRate};
    main.takeNextIntoDeck = [&log, &frameBudget, take = main.takeNextIntoDeck](int d) {
        if (!take(d))
            return false;
        log.taken(d);
        const int64_t seconds =
            std::max(deckAt(d)->duration.load(std::memory_order_relaxed), 0) + 1;
        frameBudget += seconds * kSampleRate * kUnitSpeed / settings().pitchMin();
        return true;
    };

    // Auto Mix fills both decks; the first track starts on deck 0.
    main.selectDeck(0);
    main.setAutoMix(true);
    main.selectDeck(1);
    main.mixNow();
    log.observe(main, 0.0);
    // The first track is heard at its full level, as every later one is at the end of
    // its crossfade.
    if (Deck* first = deckAt(1); first && first->playing.load(std::memory_order_relaxed))
        main.setCrossfader(kCrossfaderDeck1);
    else
        main.setCrossfader(kCrossfaderDeck0);

    const auto started = SteadyClock::now();
    int64_t frames = 0;
    int64_t ms = 0;
    // Only a playing deck starts the next mix or follows its own end: when none plays
    // and no mix runs, nothing will play any more.
    auto finished = [&] { return !anyDeckPlaying() && !main.mixTimer; };
    int stop = kStopEnd;
    auto report = [&](double seconds) {
        if (progress)
            progress(playingTrack(), seconds, seconds / std::max(secondsSince(started), 1e-6));
    };

    if (options_.live) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            const double seconds = secondsSince(started);
            // A deck that just ended has its message waiting: follow it before
            // judging whether anything still plays.
            main.serveDeckMessages();
            log.observe(main, seconds);
            report(seconds);
            if (recording->framesLost() > 0)
                stop = kStopOutputFull;
            if (gStopSignal.load(std::memory_order_relaxed) != 0)
                stop = kStopSignal;
            if (finished() || stop != kStopEnd)
                QCoreApplication::quit();
        });
        poll.start(50);
        QCoreApplication::exec();
        frames = int64_t(secondsSince(started) * kSampleRate);
    } else {
        // The loop outruns real time: a deck whose decoder is still decoding ahead on a
        // thread of its own (FFmpeg's formats) is waited for, not heard as a gap. One
        // that stopped answering is left alone until it is ready again.
        std::array<bool, 2> unresponsive{};
        auto waitForDecoder = [&unresponsive](Deck& deck, int d) {
            Decoder* decoder = deck.decoder.load(std::memory_order_relaxed);
            if (decoder == nullptr || !deck.decoding.load(std::memory_order_relaxed))
                return;
            if (unresponsive[d])
                unresponsive[d] = !decoder->ready();
            else
                unresponsive[d] = !waitUntilReady(*decoder);
        };
        while (!finished()) {
            // One turn of the audio loop per millisecond of sound, as the audio thread
            // turns about once a millisecond. The main thread's messages and timers run
            // after the poll: their deck commands, carried out at once here, then act
            // where the audio thread would serve them, between poll and submit, on the
            // positions this poll reported. (Run after the submit, a command would meet
            // positions a turn old, and every resync would play both decks' last turn
            // again.)
            const int64_t target = (ms + 1) * kSampleRate / 1000;
            card->advance(target - frames);
            frames = target;
            output->poll();
            main.serveDeckMessages();
            virtualClock->advance(1);
            for (int d = 0; d < 2; ++d)
                if (Deck* deck = deckAt(d)) {
                    waitForDecoder(*deck, d);
                    deck->serve();
                }
            output->submit();
            ++ms;
            if (gStopSignal.load(std::memory_order_relaxed) != 0) {
                stop = kStopSignal;
                break;
            }
            log.observe(main, double(frames) / kSampleRate);
            if (ms % kProgressEveryMs != 0)
                continue;
            report(double(frames) / kSampleRate);
            // Never lap the recorder: rendering outruns the disk. Offline nothing is
            // lost to a slow disk, so a lost frame means the file refused it.
            while (frames - recording->framesWritten() > kRecorderBacklogFrames &&
                   recording->framesLost() == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (recording->framesLost() > 0) {
                stop = kStopOutputFull;
                break;
            }
            if (frames > frameBudget) {
                stop = kStopOverBudget;
                break;
            }
        }
    }

    output->stopRecording.store(true, std::memory_order_release);
    if (!options_.live)
        main.audioEngine()->runTurn();
    // The writer finishes the file on its own thread; once it has, the counts are final.
    const auto stopped = SteadyClock::now();
    while (!recording->isFinished() && secondsSince(stopped) < kFinishWaitSeconds)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    summary->framesLost = recording->framesLost();
    summary->framesWritten = recording->framesWritten();
    main.prepareClose();
    main.onDestroy(); // destroys the recorder, writes the database
    QFile::remove(scratchSettings);

    summary->rendered = true;
    summary->tracks = std::move(log.tracks);
    summary->skipped = std::move(skipped);
    summary->outputSeconds = double(frames) / kSampleRate;
    summary->realTimeFactor = summary->outputSeconds / std::max(secondsSince(started), 1e-6);
    return checkOutcome(stop, *summary, options_.output, error);
}

std::string MixRenderer::summaryJson(const MixSummary& summary) {
    QJsonArray tracks;
    for (const MixedTrack& t : summary.tracks) {
        tracks.append(QJsonObject{{"path", QString::fromStdString(t.path)},
                                  {"bpm", t.bpm},
                                  {"speed", t.speed},
                                  {"mix_start_s", t.mixStart},
                                  {"mix_end_s", t.mixEnd}});
    }
    QJsonArray skipped;
    for (const SkippedTrack& s : summary.skipped) {
        skipped.append(QJsonObject{{"path", QString::fromStdString(s.path)},
                                   {"reason", QString::fromStdString(s.reason)}});
    }
    QJsonObject root{{"tracks", tracks},
                     {"skipped", skipped},
                     {"output_s", summary.outputSeconds},
                     {"real_time_factor", summary.realTimeFactor},
                     {"frames_lost", qint64(summary.framesLost)}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}
