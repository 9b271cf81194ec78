#include "app/MainWindow.h"

#include "app/DeskInput.h"
#include "app/MessagePresenter.h"
#include "app/TimerIds.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckControls.h"
#include "audio/deck/DeckMessages.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/SoundOutput.h"
#include "audio/decoders/FilePrefetcher.h"
#include "audio/output/SoundConfigurationApply.h"
#include "core/Clock.h"
#include "core/FatalMessage.h"
#include "core/Settings.h"
#include "library/AnalysisService.h"
#include "library/History.h"
#include "library/Playlist.h"
#include "library/TrackDatabase.h"
#include "ui/desk/DeckDisplay.h"
#include "ui/desk/DeskPainter.h"
#include "ui/desk/TooltipBalloon.h"
#include "ui/library/Browser.h"
#include "ui/library/ScanDialogs.h"
#include "ui/library/SearchPage.h"
#include "ui/skin/Skin.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSocketNotifier>
#include <QWidget>

#include <algorithm>

namespace {
constexpr const char* kQuitQuestion =
    "The music is still playing!\nAre you sure you want to quit Zorvendal?";
}

MainWindow::MainWindow(Clock& clock) : clock_(clock) {}

MainWindow::~MainWindow() {
    // A run that ended by a fatal error never saw the destruction handler: stop what
    // still runs, but keep the settings of the previous run.
    if (created_ && !destroyed_) {
        killTimers();
        stopRhythmWindow(); // it reads the decks
        audioEngine_.reset();
        destroyDecks();
        destroyBrowser(); // its lists show the playlist and history
        destroyLibrary();
    }
}

bool MainWindow::stepFailed(CreationStep step) {
    if (creationObserver)
        creationObserver(step);
    return fatalMessage() != nullptr;
}

bool MainWindow::onCreate(QWidget* window) {
    window_ = window;
    created_ = true;
    if (stepFailed(CreationStep::Start))
        return false;
    createLibrary();
    if (stepFailed(CreationStep::Database))
        return false;
    for (int index = 0; index < 2; ++index) {
        decks_[index] = std::make_unique<Deck>(index);
        decks()[index] = decks_[index].get();
        if (stepFailed(index == 0 ? CreationStep::Deck0 : CreationStep::Deck1))
            return false;
    }
    audioEngine_ = createAudioEngine(audioOptions);
    if (stepFailed(CreationStep::AudioEngine))
        return false;
    createBackBuffer();
    if (stepFailed(CreationStep::BackBuffer))
        return false;
    // Offline tools run without a display, and so without a desk to draw.
    const bool drawing = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (drawing)
        createSkin();
    if (stepFailed(CreationStep::Skin))
        return false;
    if (drawing)
        createDesk();
    if (drawing)
        createRhythmWindow();
    if (stepFailed(CreationStep::RhythmWindow))
        return false;
    setStartingState();
    watchDeckMessages();
    startTimers();
    if (settings().maximized.load(std::memory_order_relaxed))
        switchToFullScreen();
    return !stepFailed(CreationStep::Done);
}

void MainWindow::createBackBuffer() {
    backBuffer_ = std::make_unique<QImage>(kWidth, kHeight, QImage::Format_RGB32);
    if (!backBuffer_->isNull())
        backBuffer_->fill(Qt::black);
    if (backBuffer_->isNull()) {
        backBuffer_.reset();
        setFatalMessage("Not enough memory");
    }
}

void MainWindow::setStartingState() {
    setCrossfader(192);
    for (int deck = 0; deck < 2; ++deck) {
        deckControls().setLevelControl(deck, 256);
        deckControls().setPitchControl(deck, 4096);
    }
}

bool MainWindow::anyDeckPlaying() const {
    for (const auto& deck : decks_)
        if (deck && deck->playing.load(std::memory_order_relaxed))
            return true;
    return false;
}

void MainWindow::createLibrary() {
    database_ = databasePath.empty() ? std::make_unique<TrackDatabase>()
                                     : std::make_unique<TrackDatabase>(databasePath);
    setTrackStore(database_.get());
    prefetcher_ = fileReader ? std::make_unique<FilePrefetcher>(fileReader)
                             : std::make_unique<FilePrefetcher>();
    history_ = std::make_unique<History>();
    // A database another running copy holds cannot take what is learned: nothing is
    // analysed then.
    if (analyseInBackground && !database_->isReadOnly())
        analysis_ = std::make_unique<AnalysisService>(1, AnalysisService::Priority::Background);
    playlist_ = std::make_unique<Playlist>(*database_, *history_);
    playlist_->tracksAdded = [this](const std::vector<TrackRecord>& records) {
        for (const TrackRecord& record : records)
            queueAnalysis(record);
    };
    playlist_->setDecks(DeckAccess{[this](int deck, const TrackRecord& record) {
                                       if (loadIntoDeck(deck, record))
                                           return true;
                                       // The playlist drops the entry and goes on with the next:
                                       // say why.
                                       if (onTrackSkipped) {
                                           std::string reason =
                                               deckStatusText(deckStatus(deck).load());
                                           std::replace(reason.begin(), reason.end(), '\n', ' ');
                                           onTrackSkipped(record.path, reason);
                                       }
                                       return false;
                                   },
                                   [](int deck) {
                                       Deck* d = deckAt(deck);
                                       return d && d->position.load(std::memory_order_relaxed) >= 0;
                                   }});
    // A track entering or leaving the history changes its icon in the playlist and the
    // file list.
    history_->setImageListener([this](const TrackEntry* entry, RowImage image) {
        playlist_->setEntryImage(entry, image);
        if (browser_)
            browser_->setEntryImage(entry, image);
    });
    takeNextIntoDeck = [this](int deck) { return playlist_->takeNext(deck); };
    addToHistory = [this](int deck) {
        Deck* d = deckAt(deck);
        if (d && d->track)
            history_->add(*d->track);
    };
}

void MainWindow::destroyDecks() {
    for (int index = 0; index < 2; ++index) {
        decks()[index] = nullptr;
        decks_[index].reset();
    }
}

void MainWindow::destroyLibrary() {
    for (PendingLoad& pending : pendingLoads_)
        pending.track.reset();
    prefetcher_.reset();
    analysis_.reset(); // before the database: a file being analysed is dropped
    takeNextIntoDeck = nullptr;
    addToHistory = nullptr;
    playlist_.reset();
    history_.reset();
    setTrackStore(nullptr);
    database_.reset();
}

void MainWindow::watchDeckMessages() {
    int fd = deckMessages().fd();
    if (fd < 0)
        return;
    deckMessageNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(deckMessageNotifier_.get(), &QSocketNotifier::activated,
                     [this] { serveDeckMessages(); });
}

void MainWindow::startTimers() {
    clock_.startTimer(kTimerDisplay, kDisplayTimerMs, [this](int) { onDisplayTimer(); });
}

void MainWindow::onDisplayTimer() {
    if (audioEngine_) {
        audioEngine_->retireRecorders();
        // A card that vanished while playing: the engine is rebuilt on the same
        // configuration, or on the default device, and the decks play on.
        recoverLostSoundDevice(audioEngine_, mixerState());
    }
    storeFinishedAnalyses();
    showAnalysisProgress();
    refreshDisplays();
}

MixerState MainWindow::mixerState() const {
    MixerState state;
    for (int deck = 0; deck < 2; ++deck) {
        Deck* d = deckAt(deck);
        state.deckLevels[deck] = d ? d->volume.load(std::memory_order_relaxed) : 256;
    }
    state.crossfader = crossfader;
    state.selectedDeck = selectedDeck_;
    return state;
}

bool MainWindow::applySoundConfiguration(int row, const SoundCardSelection& cards) {
    return ::applySoundConfiguration(audioEngine_, row, cards, mixerState());
}

void MainWindow::killTimers() {
    if (mixTimer)
        clock_.killTimer(kTimerMix);
    for (int deck = 0; deck < 2; ++deck) {
        if (historyTimer[deck])
            clock_.killTimer(kTimerHistory0 + deck);
        if (pitchResetTimer[deck])
            clock_.killTimer(kTimerPitchReset0 + deck);
    }
    mixTimer = false;
    historyTimer = {false, false};
    pitchResetTimer = {false, false};
    clock_.killTimer(kTimerDisplay);
    clock_.killTimer(kTimerPendingLoads);
}

bool MainWindow::onClose() {
    if (anyDeckPlaying() && !messagePresenter().askYesNo(window_, kQuitQuestion))
        return false;
    prepareClose();
    return true;
}

void MainWindow::prepareClose() {
    stopScan();
    killTimers();
    stopRhythmWindow();
}

void MainWindow::onDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    deckMessageNotifier_.reset();
    destroyDesk();
    backBuffer_.reset();
    // The audio thread ends before the decks it serves are destroyed.
    audioEngine_.reset();
    destroyDecks();
    destroyLibrary();
    settings().save();
    quit_ = true;
    if (onQuit)
        onQuit();
}

void MainWindow::serveDeckMessages() {
    std::array<DeckMessage, 4> pending;
    int n = deckMessages().takePending(pending);
    for (int i = 0; i < n; ++i)
        onDeckMessage(pending[i].message, pending[i].deck);
}

void MainWindow::switchToFullScreen() {
    if (window_)
        window_->showFullScreen();
}

void MainWindow::restoreDisplayMode() {
    if (window_ && window_->isFullScreen())
        window_->showNormal();
}
