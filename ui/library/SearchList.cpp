#include "ui/library/SearchList.h"

#include <QHeaderView>

#include <algorithm>

namespace {
const char* const kHeaders[kSearchColumns] = {"Title", "Artist", "Disc", "Path"};
}

SearchResultModel::SearchResultModel(const Catalogue& catalogue, QObject* parent)
    : QAbstractTableModel(parent), catalogue_(catalogue) {}

void SearchResultModel::beginChange() {
    if (changing_)
        return;
    changing_ = true;
    beginResetModel();
    rows_.clear();
}

void SearchResultModel::setRows(std::vector<uint32_t> rows) {
    beginChange();
    rows_ = std::move(rows);
    changing_ = false;
    endResetModel();
}

std::string_view SearchResultModel::lineOfRow(int row) const {
    if (row < 0 || size_t(row) >= rows_.size() || rows_[size_t(row)] >= catalogue_.lineCount())
        return {};
    return catalogue_.line(rows_[size_t(row)]);
}

int SearchResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int SearchResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kSearchColumns;
}

QVariant SearchResultModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    const std::string text = columnText(lineOfRow(index.row()), index.column());
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QVariant SearchResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kSearchColumns)
        return {};
    return QString::fromLatin1(kHeaders[section]);
}

Qt::ItemFlags SearchResultModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Draggable, so that press-and-move starts a drag rather than a rubber band.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

SearchResultView::SearchResultView(QWidget* parent) : BrowserListView(parent) {
    setObjectName("searchList");
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
}

std::vector<std::string_view> SearchResultView::selectedLines() const {
    auto* m = qobject_cast<SearchResultModel*>(model());
    if (!m)
        return {};
    std::vector<std::string_view> lines;
    for (const int row : selectedRows())
        lines.push_back(m->lineOfRow(row));
    return lines;
}
