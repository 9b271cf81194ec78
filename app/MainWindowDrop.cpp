// Music files dropped on the desk from another program: onto a deck's displays, the
// playlist, its menu button or the rhythm window.

#include "app/DeskInput.h"
#include "app/MainWindow.h"
#include "app/MessagePresenter.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/SoundOutput.h"
#include "audio/decoders/PlayableFiles.h"
#include "core/Settings.h"
#include "library/Playlist.h"
#include "library/TrackDatabase.h"
#include "library/TrackNames.h"
#include "ui/skin/Skin.h"

#include <sys/stat.h>

namespace {

constexpr const char* kDeckBusyQuestion =
    "A song is playing on this desk.\nAre you sure you want to stop it?";

enum class DropTarget { None, Deck0, Deck1, PlaylistArea, PlaylistButton, RhythmWindow };

DropTarget targetOf(int control) {
    switch (control) {
    case control::kInfos1:
    case control::kTitle1:
    case control::kDisc1:
        return DropTarget::Deck0;
    case control::kInfos1 + 1:
    case control::kTitle1 + 1:
    case control::kDisc1 + 1:
        return DropTarget::Deck1;
    case control::kPlaylistList:
        return DropTarget::PlaylistArea;
    case control::kMenuFiles + kPagePlaylist:
        return DropTarget::PlaylistButton;
    case control::kRhythmWindow:
        return DropTarget::RhythmWindow;
    default:
        return DropTarget::None;
    }
}

bool hasTrack(int d) {
    const Deck* deck = deckAt(d);
    return deck && deck->position.load(std::memory_order_relaxed) >= 0;
}

bool audible(int d) {
    SoundOutput* output = soundOutputNow();
    return output && output->isDeckAudible(d);
}

} // namespace

bool MainWindow::dropAllowed(QPoint at) const {
    if (!skin_ || !desk_)
        return false;
    const DropTarget target =
        targetOf(hitTest(skin_->table, at.x(), at.y(), desk_->page(), desk_->sliderMode()));
    if (target == DropTarget::Deck0 || target == DropTarget::Deck1)
        return !audible(target == DropTarget::Deck0 ? 0 : 1) ||
               settings().babySecure.load(std::memory_order_relaxed) != 2;
    return target != DropTarget::None;
}

// Only regular files the decoders read; folders and other files are skipped.
std::vector<TrackRecord> MainWindow::playableRecords(const std::vector<std::string>& paths) {
    std::vector<TrackRecord> records;
    for (const std::string& path : paths) {
        struct stat info {};
        if (!isPlayableFileName(path) || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        records.push_back(makeTrackRecord(*database_, path, uint32_t(info.st_size)));
    }
    return records;
}

void MainWindow::openFiles(const std::vector<std::string>& paths) {
    if (!database_ || !playlist_)
        return;
    std::vector<TrackRecord> records = playableRecords(paths);
    if (records.empty())
        return;
    size_t next = 0;
    for (int d : {selectedDeck_, 1 - selectedDeck_}) {
        if (!hasTrack(d) && !loadPending(d)) {
            loadIntoDeckSoon(d, records[next++]);
            break;
        }
    }
    if (next < records.size())
        playlist_->insert(std::vector<TrackRecord>(records.begin() + long(next), records.end()));
}

void MainWindow::dropFiles(QPoint at, const std::vector<std::string>& paths) {
    if (!skin_ || !desk_ || !database_)
        return;
    std::vector<TrackRecord> records = playableRecords(paths);
    if (records.empty())
        return;
    const DropTarget target =
        targetOf(hitTest(skin_->table, at.x(), at.y(), desk_->page(), desk_->sliderMode()));
    // A deck whose load waits for its file counts as taken.
    const auto occupied = [this](int d) { return hasTrack(d) || loadPending(d); };
    size_t next = 0;
    bool atTop = false;
    int deck = -1;
    const bool emptyAutoMix =
        playlist_ && playlist_->rowCount() == 0 && autoMixOn().load(std::memory_order_relaxed);
    switch (target) {
    case DropTarget::None:
        return;
    case DropTarget::Deck0:
    case DropTarget::Deck1:
        deck = target == DropTarget::Deck0 ? 0 : 1;
        atTop = true;
        break;
    case DropTarget::PlaylistArea:
    case DropTarget::PlaylistButton:
        if (!emptyAutoMix)
            break;
        [[fallthrough]];
    case DropTarget::RhythmWindow:
        if (!occupied(selectedDeck_))
            deck = selectedDeck_;
        else if (!occupied(1 - selectedDeck_))
            deck = 1 - selectedDeck_;
        break;
    }
    if (deck >= 0) {
        const int secure = settings().babySecure.load(std::memory_order_relaxed);
        bool load = secure == 0 || !audible(deck);
        if (!load && secure == 1)
            load = messagePresenter().askYesNo(window_, kDeckBusyQuestion);
        if (load)
            loadIntoDeckSoon(deck, records[0]);
        next = 1;
        if (next < records.size() && !occupied(1 - deck))
            loadIntoDeckSoon(1 - deck, records[next++]);
    }
    if (next < records.size() && playlist_) {
        std::vector<TrackRecord> rest(records.begin() + long(next), records.end());
        playlist_->insert(std::move(rest), atTop ? 0 : Playlist::kAtEnd);
    }
}
