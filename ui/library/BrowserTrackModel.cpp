#include "ui/library/BrowserTrackModel.h"

#include "library/TrackDatabase.h"

#include <QPixmap>

namespace {

constexpr int kIconSize = 16; // the list icons lie side by side in one picture

QString fromBytes(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

QString trackCellText(const TrackRecord& record, int column) {
    switch (column) {
    case BrowserTrackModel::kTitle:
        return fromBytes(record.title);
    case BrowserTrackModel::kArtist:
        return fromBytes(record.artist);
    case BrowserTrackModel::kBpm: {
        if (!record.entry)
            return {};
        const float bpm = record.entry->bpm.load(std::memory_order_relaxed);
        return bpm != 0.0f ? QString::number(double(bpm), 'f', 1) : QString();
    }
    case BrowserTrackModel::kComment: {
        const char* comment = TrackDatabase::entryComment(record.entry);
        return comment ? QString::fromUtf8(comment) : QString();
    }
    default:
        return {};
    }
}

BrowserTrackModel::BrowserTrackModel(QObject* parent) : QAbstractTableModel(parent) {
    const QPixmap strip(":/list-icons.png");
    for (size_t i = 0; i < icons_.size(); ++i)
        icons_[i] = QIcon(strip.copy(int(i) * kIconSize, 0, kIconSize, kIconSize));
}

int BrowserTrackModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant BrowserTrackModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return trackCellText(recordAt(index.row()), index.column());
    if (role == Qt::DecorationRole && index.column() == kTitle) {
        if (const std::optional<RowImage> image = imageAt(index.row()))
            return icons_[size_t(*image)];
    }
    return {};
}

QVariant BrowserTrackModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kNames[kColumnCount] = {"Title", "Artist", "Bpm", "Comment"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumnCount)
        return {};
    return QString::fromLatin1(kNames[section]);
}

Qt::ItemFlags BrowserTrackModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Draggable, so that pressing and moving starts a drag instead of selecting rows.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

std::vector<std::string> BrowserTrackModel::pathsOf(const std::vector<int>& rows) const {
    std::vector<std::string> paths;
    paths.reserve(rows.size());
    for (int row : rows)
        if (row >= 0 && row < rowCount())
            paths.push_back(recordAt(row).path);
    return paths;
}

void BrowserTrackModel::entryChanged(const TrackEntry* entry) {
    if (!entry)
        return;
    for (int row = 0; row < rowCount(); ++row)
        if (recordAt(row).entry == entry)
            emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}
