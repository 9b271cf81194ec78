#pragma once
// The search result list: a table model over line indices of the catalogue held in
// memory (rows never copy their lines), and the report-style view that shows it.
//
// Threading: main thread only.

#include "library/CatalogueSearch.h"
#include "ui/library/BrowserListView.h"

#include <QAbstractTableModel>

#include <vector>

class SearchResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit SearchResultModel(const Catalogue& catalogue, QObject* parent = nullptr);

    // The catalogue is about to change: no row may be read until setRows.
    void beginChange();
    // New rows (line indices into the catalogue, in display order); ends a change.
    void setRows(std::vector<uint32_t> rows);
    const std::vector<uint32_t>& rows() const { return rows_; }
    std::string_view lineOfRow(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const Catalogue& catalogue_;
    std::vector<uint32_t> rows_;
    bool changing_ = false;
};

// A library list (report view, the desk's capture drag, no typed letters) whose header
// clicks sort by the search's own codes.
class SearchResultView : public BrowserListView {
    Q_OBJECT
public:
    explicit SearchResultView(QWidget* parent = nullptr);
    // The lines of the selected rows, in list order.
    std::vector<std::string_view> selectedLines() const;
};
