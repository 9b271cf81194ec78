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
#include "library/PlaylistFile.h"
#include "library/TrackDatabase.h"
#include "library/TrackNames.h"
#include "ui/skin/Skin.h"

#include <algorithm>
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

// Only regular files: those the decoders read, and playlist files; folders and other
// files are skipped.
std::vector<TrackRecord> MainWindow::playableRecords(const std::vector<std::string>& paths) {
    std::vector<TrackRecord> records;
    for (const std::string& path : paths) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (isPlayableFileName(path))
            records.push_back(makeTrackRecord(*database_, path, uint32_t(info.st_size)));
        else if (isPlaylistFileName(path))
            records.push_back(makePlaylistFileRecord(path));
    }
    return records;
}

void MainWindow::dropFiles(QPoint at, const std::vector<std::string>& paths) {
    if (!database_)
        return;
    // A folder on the playlist adds no rows but has its tracks analysed ahead.
    if (droppedOnPlaylist(at)) {
        for (const std::string& path : paths) {
            struct stat info {};
            if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
                analyseFolder(path);
        }
    }
    dropRecords(at, playableRecords(paths));
}

// The playlist's window or its menu button; the area beside the window (the tree, the
// file list) is not the playlist.
bool MainWindow::droppedOnPlaylist(QPoint at) const {
    if (!skin_ || !desk_)
        return false;
    const DropTarget target =
        targetOf(hitTest(skin_->table, at.x(), at.y(), desk_->page(), desk_->sliderMode()));
    if (target == DropTarget::PlaylistButton)
        return true;
    return target == DropTarget::PlaylistArea && (!playlistDropRow || playlistDropRow(at) >= 0);
}

void MainWindow::openFiles(const std::vector<std::string>& paths) {
    if (!database_ || !playlist_)
        return;
    std::vector<TrackRecord> records = playableRecords(paths);
    // The first track goes into a free deck; playlist files and the rest, in order, to
    // the end of the playlist.
    const auto track = std::find_if(records.begin(), records.end(),
                                    [](const TrackRecord& r) { return r.entry != nullptr; });
    for (int d : {selectedDeck_, 1 - selectedDeck_}) {
        if (track != records.end() && !deckTaken(d)) {
            loadIntoDeckSoon(d, *track);
            records.erase(track);
            break;
        }
    }
    if (!records.empty())
        playlist_->insert(std::move(records));
}

// A deck whose load waits for its file counts as taken.
bool MainWindow::deckTaken(int d) const {
    return hasTrack(d) || loadPending(d);
}

void MainWindow::takeIntoDeck(int d, const TrackRecord& record, bool ask,
                              std::vector<TrackRecord>& rest) {
    std::vector<TrackRecord> tracks;
    if (record.entry)
        tracks.push_back(record);
    else if (database_)
        tracks = readPlaylist(*database_, record.path);
    if (tracks.empty())
        return;
    bool load = true;
    // A deck heard in the mix is guarded whatever is dropped on it, playlist or track.
    if (ask) {
        const int secure = settings().babySecure.load(std::memory_order_relaxed);
        load = secure == 0 || !audible(d);
        if (!load && secure == 1)
            load = messagePresenter().askYesNo(window_, kDeckBusyQuestion);
    }
    size_t next = 0;
    if (load)
        loadIntoDeckSoon(d, tracks[next]);
    ++next;
    // A playlist file's second track goes into the other deck when that one is empty.
    if (!record.entry && next < tracks.size() && !deckTaken(1 - d))
        loadIntoDeckSoon(1 - d, tracks[next++]);
    rest.insert(rest.end(), tracks.begin() + long(next), tracks.end());
}

void MainWindow::dropRecords(QPoint at, std::vector<TrackRecord> records) {
    if (!skin_ || !desk_ || records.empty())
        return;
    const DropTarget target =
        targetOf(hitTest(skin_->table, at.x(), at.y(), desk_->page(), desk_->sliderMode()));
    int insertAt = Playlist::kAtEnd;
    int deck = -1;
    const bool emptyAutoMix =
        playlist_ && playlist_->rowCount() == 0 && autoMixOn().load(std::memory_order_relaxed);
    switch (target) {
    case DropTarget::None:
        return;
    case DropTarget::Deck0:
    case DropTarget::Deck1:
        deck = target == DropTarget::Deck0 ? 0 : 1;
        insertAt = 0;
        break;
    case DropTarget::PlaylistArea:
    case DropTarget::PlaylistButton:
        if (target == DropTarget::PlaylistArea && playlistDropRow) {
            // In the area beside the playlist's window (the tree, the file list), nothing.
            const int row = playlistDropRow(at);
            if (row < 0)
                return;
            insertAt = row;
        }
        if (!emptyAutoMix)
            break;
        insertAt = Playlist::kAtEnd;
        [[fallthrough]];
    case DropTarget::RhythmWindow:
        if (!deckTaken(selectedDeck_))
            deck = selectedDeck_;
        else if (!deckTaken(1 - selectedDeck_))
            deck = 1 - selectedDeck_;
        break;
    }
    std::vector<TrackRecord> rest;
    size_t next = 0;
    if (deck >= 0) {
        takeIntoDeck(deck, records[next++], true, rest);
        if (next < records.size() && !deckTaken(1 - deck))
            takeIntoDeck(1 - deck, records[next++], false, rest);
    }
    rest.insert(rest.end(), std::make_move_iterator(records.begin() + long(next)),
                std::make_move_iterator(records.end()));
    if (!rest.empty() && playlist_)
        playlist_->insert(std::move(rest), insertAt);
}
