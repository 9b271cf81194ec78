#include "tools/mix/MixRenderer.h"

#include "app/MainWindow.h"
#include "audio/card/VirtualCard.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/SoundOutput.h"
#include "audio/output/AudioEngine.h"
#include "audio/recorder/Recorder.h"
#include "core/Clock.h"
#include "core/Settings.h"
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

#include <chrono>
#include <thread>

namespace {

constexpr int kSoftMixMode = 1;
// The recorder's ring in the offline mix: rendering runs far ahead of any disk, so it
// holds 95 s of sound and its writer wakes often; the renderer also waits for it.
constexpr int kRecorderRingFrames = 1 << 22;
constexpr int64_t kRecorderBacklogFrames = kRecorderRingFrames / 2;
constexpr int kProgressEveryMs = 500;

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

// Watches the main window for the start and end of each crossfade and notes the
// incoming track, as a listener of the recording would.
class MixLog {
public:
    void start(double seconds, const Deck& deck) { add(seconds, deck); }

    void observe(const MainWindow& main, double seconds) {
        if (main.mixTimer && !running_) {
            if (const Deck* deck = deckAt(main.mixTarget))
                add(seconds, *deck);
        } else if (!main.mixTimer && running_ && !tracks.empty()) {
            tracks.back().mixEnd = seconds;
        }
        running_ = main.mixTimer;
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

} // namespace

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
    VirtualCard* card = nullptr;
    if (!options_.live) {
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
    if (!main.onCreate(nullptr) || !main.audioEngine() ||
        !main.audioEngine()->output()->isReady()) {
        *error = "the sound engine could not start";
        main.onDestroy();
        QFile::remove(scratchSettings);
        return false;
    }
    SoundOutput* output = main.audioEngine()->output();
    output->attachRecorder(std::move(recorder));

    for (const std::string& path : paths)
        main.playlist()->insert(makeTrackRecord(*main.database(), path, fileSizeKey(path)));

    // Auto Mix fills both decks; the first track starts on deck 0.
    main.selectDeck(0);
    main.setAutoMix(true);
    main.selectDeck(1);
    main.mixNow();

    MixLog log;
    if (Deck* first = deckAt(0); first && first->playing.load())
        log.start(0.0, *first);
    else if (Deck* other = deckAt(1); other && other->playing.load())
        log.start(0.0, *other);

    const auto started = SteadyClock::now();
    int64_t frames = 0;
    int64_t ms = 0;
    auto finished = [&] {
        return !anyDeckPlaying() && !main.mixTimer && main.playlist()->rowCount() == 0;
    };
    auto report = [&](double seconds) {
        if (progress)
            progress(playingTrack(), seconds, seconds / std::max(secondsSince(started), 1e-6));
    };

    if (options_.live) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            const double seconds = secondsSince(started);
            log.observe(main, seconds);
            report(seconds);
            if (finished())
                QCoreApplication::quit();
        });
        poll.start(50);
        QCoreApplication::exec();
        frames = int64_t(secondsSince(started) * kSampleRate);
    } else {
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
                if (Deck* deck = deckAt(d))
                    deck->serve();
            output->submit();
            ++ms;
            log.observe(main, double(frames) / kSampleRate);
            if (ms % kProgressEveryMs == 0) {
                report(double(frames) / kSampleRate);
                // Never lap the recorder: rendering outruns the disk.
                while (frames - recording->framesWritten() > kRecorderBacklogFrames)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    output->stopRecording.store(true, std::memory_order_release);
    if (!options_.live)
        main.audioEngine()->runTurn();
    summary->framesLost = recording->framesLost();
    main.prepareClose();
    main.onDestroy(); // ends the recording with its file complete, writes the database
    QFile::remove(scratchSettings);

    summary->tracks = std::move(log.tracks);
    summary->skipped = std::move(skipped);
    summary->outputSeconds = double(frames) / kSampleRate;
    summary->realTimeFactor = summary->outputSeconds / std::max(secondsSince(started), 1e-6);
    return true;
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
