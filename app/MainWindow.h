#pragma once
// The application object behind the main window. It owns the window's drawing
// resources and the state shared by the user interface; its handlers receive the
// window's creation, destruction, close request, timers and the messages the audio
// thread raises. It does not need a window to run: tests and offline tools build it
// with a virtual clock and no widget.
//
// Threading: main thread only.

#include "audio/output/AudioEngine.h"

#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Clock;
class Deck;
class DeckDisplay;
class FilePrefetcher;
class AnalysisService;
class DeskInput;
class RhythmWidget;
class TooltipBalloon;
class DeskPainter;
struct DeskPointer;
struct Skin;
struct MixerState;
class Browser;
class History;
class Playlist;
class TrackDatabase;
class SearchPage;
class CatalogueDialog;
class QLabel;
class QWidget;
class QSocketNotifier;

// The standard save dialog: an empty result is a cancel.
std::string chooseSaveFile(QWidget* parent, const QString& title, const QString& filter,
                           const QString& suffix);
struct TrackRecord;

class MainWindow {
public:
    // The main steps of window creation, after each of which a deferred fatal
    // message ends the creation.
    enum class CreationStep {
        Start,
        Database,
        Deck0,
        Deck1,
        AudioEngine,
        BackBuffer,
        Skin,
        RhythmWindow,
        Done
    };

    static constexpr int kWidth = 800;
    static constexpr int kHeight = 600;

    explicit MainWindow(Clock& clock);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Window creation: builds everything in its fixed order, checking the deferred
    // fatal message after each main step. False means creation failed; the caller
    // then runs onDestroy() over whatever exists. window may be null (no display).
    bool onCreate(QWidget* window);
    // Window destruction: tears down in reverse order, saves the settings and sets
    // the quit flag. Safe over a half-built window and when called twice.
    void onDestroy();
    // The close request: asks while music plays; on yes runs the close preparation.
    // Returns false when the user refused.
    bool onClose();
    // Close preparation without asking (a signal from the system to end).
    void prepareClose();

    // Messages raised by the audio thread, dispatched in the order they were raised.
    void serveDeckMessages();
    void onDeckMessage(int message, int deck);

    // Called for every key press before any widget sees it; true when consumed. The
    // shortcuts act on the selected deck; letters typed into an edit box stay there.
    bool onKeyDown(int virtualKey);
    bool editing() const;

    // --- The desk: skin, controls and displays --------------------------------------
    // Pointer events in logical 800 x 600 coordinates, from the desk widget.
    void onPointer(const DeskPointer& pointer);
    void onPointerLeave();
    // The pointer rests over control k (-1 none): the tooltip's cue.
    void hoverControl(int control, QPoint at);
    // The page buttons act when released; pages show and hide their views.
    void pageButtonReleased(int control, int page);
    void pageShown(int page);
    // A click on a row of the options page.
    void optionClicked(int control);
    void pageHidden(int page);
    // Starts or stops recording the mix; true when a recording runs afterwards.
    bool toggleRecording();
    bool recording() const;
    // Files dropped from another program or dragged from a library list, at a logical
    // point (file-system bytes): music files and playlist files.
    bool dropAllowed(QPoint at) const;
    void dropFiles(QPoint at, const std::vector<std::string>& paths);
    // Files opened from the desktop (or handed over by a second copy): the first into a
    // free deck, the rest (or all, with both decks taken) at the end of the playlist.
    void openFiles(const std::vector<std::string>& paths);
    void dropRecords(QPoint at, std::vector<TrackRecord> records);
    // The playlist row under a logical point (rowCount() past the last row), or -1 when
    // the point is not over the playlist's window. Without it a drop appends.
    std::function<int(QPoint at)> playlistDropRow;

    // --- The music library's windows ---------------------------------------------
    Browser* browser() const { return browser_.get(); }
    // A double click on a library row (outside its "Bpm" and "Comment" cells);
    // playlistRow is the row's place when it is a playlist row, else -1.
    void activateRecord(const TrackRecord& record, int playlistRow);
    // The Delete key: the selected rows of the playlist or history with the focus go.
    bool deleteSelectedRows();
    // The buttons of the files, playlist and history pages other than Save.
    void libraryButtonReleased(int control);
    // After Deck::setMemory: the disc is drawn again with the new cue tick.
    void redrawCueMark(int deck);
    // Replaces the current skin and draws everything that depends on it.
    void applySkin(std::unique_ptr<Skin> skin, int sliderMode);
    const Skin* skin() const { return skin_.get(); }
    // The skin chooser, the About box and the Shortcuts dialog (from the options page).
    void chooseSkin();
    // The sound configuration dialog; a new configuration is applied as music plays.
    void configureSound();
    // "Apply DSP-Plugins": chooses each deck's effect plug-in.
    void chooseDspPlugins();
    void showAbout();
    void showShortcuts();
    // Loads a skin; null with the failure's text when it cannot be used.
    static std::unique_ptr<Skin> tryLoadSkin(const QString& name, QString* error);
    DeskInput* desk() const { return desk_.get(); }
    // The search page (box and result list over the catalogue); null without a desk.
    SearchPage* searchPage() const { return search_.get(); }
    // The hard-disk scan (62), disc scan (63) or "Delete a CD" (64) dialog; the search
    // lists again when the catalogue changed.
    void openCatalogueDialog(int control);
    TooltipBalloon* tooltip() const { return tooltip_.get(); }
    // Asks for a file to save to (the dialogs' title, filter and default suffix); an
    // empty result is a cancel. Tests and tools give their own.
    std::function<std::string(const QString& title, const QString& filter, const QString& suffix)>
        askSavePath;

    // The back buffer the window paints from (800 x 600), null before creation.
    const QImage* backBuffer() const { return backBuffer_.get(); }
    TrackDatabase* database() const { return database_.get(); }
    AudioEngine* audioEngine() const { return audioEngine_.get(); }
    // Replaces the engine for a sound configuration while the decks keep playing.
    bool applySoundConfiguration(int row, const struct SoundCardSelection& cards);
    // What the sound output must know of the mix when it is rebuilt.
    MixerState mixerState() const;

    // How the audio engine is made: the system's cards and an audio thread by default;
    // tools and tests give virtual cards and turn the loop themselves. Set before
    // onCreate.
    AudioEngineOptions audioOptions;
    // Told about every playlist entry that could not be loaded, with the deck's message.
    std::function<void(const std::string& path, const std::string& reason)> onTrackSkipped;
    Playlist* playlist() const { return playlist_.get(); }
    History* history() const { return history_.get(); }

    // The database file to open; empty means the one in the home folder. Set before
    // onCreate (tools choose their own).
    std::string databasePath;
    // Tracks put into the playlist or loaded without a whole analysis are analysed in the
    // background (tools that analyse ahead themselves turn it off). Set before onCreate.
    bool analyseInBackground = true;
    // Files queued for analysis or being analysed.
    int analysesPending() const;
    // Stores the analyses finished since the last call (the display timer calls it).
    void storeFinishedAnalyses();
    // Queues the playable files of a folder (not its subfolders) whose entries hold no
    // whole analysis yet; returns how many were queued.
    int analyseFolder(const std::string& folder);
    // The "Analysing N tracks" label beside the library lists; null without a desk.
    QLabel* analysisLabel() const;
    // What the analysis label says while the database is another copy's.
    static QString analysisReadOnlyText();
    // How a file is read through before a load the user asked for; empty: from the disk.
    // Set before onCreate (tests stand in for a slow disk).
    std::function<void(const std::string& path, const std::atomic<bool>& stop)> fileReader;
    QWidget* window() const { return window_; }
    Clock& clock() { return clock_; }
    bool quitRequested() const { return quit_; }
    bool created() const { return created_; }

    // --- Beat matching and automatic mixing --------------------------------------
    // The one load used by the library, drag and drop and the automatic mix.
    bool loadIntoDeck(int deck, const TrackRecord& track);
    // A load the user asked for: the file is read through on another thread first, so
    // that a slow disk never freezes the window, and the deck loads once it is in. A
    // later load of the same deck replaces a pending one.
    void loadIntoDeckSoon(int deck, const TrackRecord& track);
    bool loadPending(int deck) const;
    void magicSync(int deck);
    void syncPitch(int deck);
    void syncBeat(int deck);
    void fineSync(int deck);
    void skipBeat(int deck);
    void startMix(int target);
    void onMixTimer();
    void stopMix();
    void mixNow();
    void startPitchReset(int deck);
    void onPitchResetTimer(int deck);
    void stopPitchReset(int deck);
    // Switching Auto Mix on fills the decks that have no position from the playlist.
    void setAutoMix(bool on);
    // Crossfader 0..384 (0 = all deck 0); given to the sound output.
    void setCrossfader(int32_t position);
    void selectDeck(int deck);
    int selectedDeck() const { return selectedDeck_; }

    // What the mix needs of the playlist and the history (the library fills these):
    // take the next playlist entry that loads into a deck (false when none did), and
    // add a deck's track to the history.
    std::function<bool(int deck)> takeNextIntoDeck;
    std::function<void(int deck)> addToHistory;
    // Drawing of the mix button and the reset-pitch indicators, when shown.
    std::function<void(bool pressed)> drawMixButton;
    std::function<void(int deck, bool shown)> showPitchResetIndicator;

    // Full screen: the window fills the screen, the picture scaled to fit.
    void switchToFullScreen();
    void restoreDisplayMode();

    // Asked first for every key: the library's lists take theirs (Delete, Enter).
    std::function<bool(int virtualKey)> shortcutHandler;
    // Sees each main step of the creation just before its check (progress display of
    // tools, fault injection in tests).
    std::function<void(CreationStep)> creationObserver;
    // Called when the window has been destroyed (the main loop ends).
    std::function<void()> onQuit;

    // State shared by the user interface.
    int32_t crossfader = 192;
    std::array<int32_t, 2> deckLevels{256, 256};
    std::array<int32_t, 2> pitchSlider{128, 128};
    std::array<int32_t, 2> levelSlider{0, 0};
    int32_t mixStep = 0;
    int32_t mixHold = 0;
    int32_t mixTarget = -1;
    bool mixTimer = false;
    std::array<bool, 2> historyTimer{false, false};
    std::array<bool, 2> pitchResetTimer{false, false};
    bool informationForm = true;

private:
    bool stepFailed(CreationStep step);
    void createDecks();
    void setStartingState();
    void destroyDecks();
    bool anyDeckPlaying() const;
    bool bothDecksHaveTracks() const;
    bool takeNext(int deck);
    void followTrackEnd(int deck);
    void onHistoryTimer(int deck);
    void onPendingLoads();
    void queueAnalysis(const TrackRecord& track);
    void showAnalysisProgress();
    bool droppedOnPlaylist(QPoint at) const;
    std::vector<TrackRecord> playableRecords(const std::vector<std::string>& paths);
    bool deckTaken(int deck) const;
    void prefetchNextTrack();
    void createBackBuffer();
    void createSkin();
    void createDesk();
    void destroyDesk();
    void createSearch();
    void destroySearch();
    void placeSearch();
    void showSearch(int page, bool shown);
    bool searchKey(int virtualKey);
    bool searchButton(int control, int page);
    // Stops a running scan and waits for its worker.
    void stopScan();
    std::string savePath(const QString& title, const QString& filter, const QString& suffix);
    bool createRhythmWindow();
    void stopRhythmWindow();

public:
    // Child windows follow the view transform (window resized or full screen).
    void layOutChildren();

private:
    void refreshDisplays();
    void invalidate(const QRect& logical);
    void startTimers();
    void killTimers();
    void onDisplayTimer();
    void watchDeckMessages();

    Clock& clock_;
    QWidget* window_ = nullptr;
    void createLibrary();
    void destroyLibrary();
    void createBrowser();
    void destroyBrowser();
    void placeBrowser();
    bool deckFree(int deck) const;
    // Loads a track, or the first tracks of a playlist file, into a deck; tracks that
    // do not fit go to the end of rest. ask: a deck playing aloud asks first.
    void takeIntoDeck(int deck, const TrackRecord& record, bool ask,
                      std::vector<TrackRecord>& rest);

    std::unique_ptr<TrackDatabase> database_;
    std::unique_ptr<History> history_;
    std::unique_ptr<Playlist> playlist_;
    std::unique_ptr<FilePrefetcher> prefetcher_;
    std::unique_ptr<AnalysisService> analysis_;
    // A deck's load that waits for its file to be read (no track: none waits).
    struct PendingLoad {
        uint64_t ticket = 0;
        std::unique_ptr<TrackRecord> track;
    };
    std::array<PendingLoad, 2> pendingLoads_;
    std::array<std::unique_ptr<Deck>, 2> decks_;
    std::unique_ptr<AudioEngine> audioEngine_;
    std::unique_ptr<QImage> backBuffer_;
    std::unique_ptr<Skin> skin_;
    std::unique_ptr<DeskPainter> painter_;
    std::unique_ptr<DeskInput> desk_;
    std::unique_ptr<DeckDisplay> displays_;
    // A child of the window: gone with it, even when the window goes first (a run
    // ended by a fault), hence a guarded pointer.
    QPointer<RhythmWidget> rhythm_;
    std::unique_ptr<TooltipBalloon> tooltip_;
    std::unique_ptr<Browser> browser_;
    QPointer<QLabel> analysisLabel_; // a child of the desk, like the rhythm window
    std::unique_ptr<SearchPage> search_;
    // The catalogue dialog open now (a scan may run under it).
    QPointer<CatalogueDialog> catalogueDialog_;
    // The edit box in which ESCAPE ended the typing (its letters go to the desk again).
    QPointer<QWidget> escapedEdit_;
    // Author and title last drawn in each title area; none before the first draw.
    std::array<std::optional<std::pair<std::string, std::string>>, 2> shownTitle_;
    std::unique_ptr<QSocketNotifier> deckMessageNotifier_;
    int selectedDeck_ = 0;
    // The same for the rhythm window's drawing thread; a stale value lasts one frame.
    std::atomic<int> selectedDeckShared_{0};
    bool created_ = false;
    bool destroyed_ = false;
    bool quit_ = false;
};
