#include "ui/library/FolderListModel.h"

#include "audio/decoders/PlayableFiles.h"
#include "core/AsciiCase.h"
#include "library/PlaylistFile.h"
#include "library/TrackDatabase.h"
#include "library/TrackNames.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace {

// -1, 0 or 1 as a and b compare ignoring ASCII case.
int compareIgnoringCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(asciiLower(a[i]));
        const unsigned char y = static_cast<unsigned char>(asciiLower(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string commentOf(const TrackRecord& r) {
    const char* c = TrackDatabase::entryComment(r.entry);
    return c ? std::string(c) : std::string();
}

// True when a sorts before b under code.
bool before(const FolderRow& ra, const FolderRow& rb, int code) {
    const TrackRecord& a = ra.record;
    const TrackRecord& b = rb.record;
    const bool reversed = code >= 8;
    switch (code) {
    case -1:
        if (!a.entry || !b.entry)
            return a.entry && !b.entry;
        return a.entry->lastUse > b.entry->lastUse;
    case 0:
    case 8: {
        const int c = compareIgnoringCase(a.title, b.title);
        return reversed ? c > 0 : c < 0;
    }
    case 1:
    case 9: {
        const int c = compareIgnoringCase(a.artist, b.artist);
        return reversed ? c > 0 : c < 0;
    }
    case 2:
    case 10: {
        // Rows without entry come last either way.
        if (!a.entry || !b.entry)
            return a.entry && !b.entry;
        // The difference counts in hundredths, as the program always compared them.
        const int d = int((a.entry->bpm.load(std::memory_order_relaxed) -
                           b.entry->bpm.load(std::memory_order_relaxed)) *
                          100.0f);
        return reversed ? d < 0 : d > 0;
    }
    case 3:
    case 11: {
        if (!a.entry || !b.entry)
            return a.entry && !b.entry;
        const int c = compareIgnoringCase(commentOf(a), commentOf(b));
        return reversed ? c > 0 : c < 0;
    }
    default:
        return false;
    }
}

bool hiddenName(const char* name) {
    return name[0] == '.';
}

} // namespace

std::vector<FolderRow> listMusicFolder(const std::string& folder, TrackStore& store,
                                       const History& history) {
    std::vector<FolderRow> rows;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return rows;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    while (const dirent* item = ::readdir(dir.get())) {
        if (hiddenName(item->d_name))
            continue;
        const std::string name = item->d_name;
        std::string path = prefix + name;
        struct stat info {};
        // stat follows links: a dangling or looping one fails and is skipped.
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        bool link = false;
        if (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN) {
            struct stat own {};
            link = ::lstat(path.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
        }
        if (link) {
            char* target = ::realpath(path.c_str(), nullptr);
            if (!target)
                continue;
            path = target;
            std::free(target);
        }
        // The size key keeps the low 32 bits of a larger file's size.
        const uint32_t size = static_cast<uint32_t>(static_cast<uint64_t>(info.st_size));
        FolderRow row;
        if (isPlayableFileName(path)) {
            row.record = makeTrackRecord(store, path, size);
            // A link shows under its own name.
            if (link) {
                TrackName shown = splitTrackName(name);
                row.record.artist = std::move(shown.artist);
                row.record.title = std::move(shown.title);
            }
        } else if (isPlaylistFileName(path)) {
            row.record = makePlaylistFileRecord(path);
            row.record.title = name;
        } else {
            continue;
        }
        row.image = history.imageFor(row.record);
        rows.push_back(std::move(row));
    }
    return rows;
}

void sortFolderRows(std::vector<FolderRow>& rows, int code) {
    if (code >= 4 && code <= 7)
        return;
    std::stable_sort(rows.begin(), rows.end(),
                     [code](const FolderRow& a, const FolderRow& b) { return before(a, b, code); });
}

FolderListModel::FolderListModel(TrackStore& store, const History& history, QObject* parent)
    : BrowserTrackModel(parent), store_(store), history_(history) {}

int FolderListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

void FolderListModel::fill(const std::string& folder) {
    beginResetModel();
    folder_ = folder;
    rows_ = folder.empty() ? std::vector<FolderRow>() : listMusicFolder(folder, store_, history_);
    sortCode_ = -1;
    sortFolderRows(rows_, sortCode_);
    endResetModel();
}

void FolderListModel::sortByColumn(int column) {
    sortByCode(nextSortCode(sortCode_, column));
}

void FolderListModel::sortByCode(int code) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> order(rows_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    sortCode_ = code;
    if (!(code >= 4 && code <= 7))
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return ::before(rows_[size_t(a)], rows_[size_t(b)], code);
        });
    std::vector<int> newRowOf(rows_.size());
    std::vector<FolderRow> sorted;
    sorted.reserve(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRowOf[size_t(order[i])] = int(i);
        sorted.push_back(std::move(rows_[size_t(order[i])]));
    }
    rows_ = std::move(sorted);
    // Persistent indices (selection, current row) follow their rows.
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after.push_back(index(newRowOf[size_t(i.row())], i.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FolderListModel::setEntryImage(const TrackEntry* entry, RowImage image) {
    if (!entry)
        return;
    for (size_t row = 0; row < rows_.size(); ++row) {
        if (rows_[row].record.entry == entry && rows_[row].image != image) {
            rows_[row].image = image;
            emit dataChanged(index(int(row), 0), index(int(row), 0), {Qt::DecorationRole});
        }
    }
}
