#pragma once
// The search page of the desk: the catalogue held in memory, the search box and the
// result list laid over the desk's skin, the terms last searched and the list's sort.
// Scans and deletions end with reload(), which lists the matches again, so no row ever
// outlives the text it points into.
//
// Threading: main thread only.

#include "library/Catalogue.h"
#include "library/CatalogueSearch.h"
#include "ui/library/SearchList.h"

#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QRect>

#include <array>
#include <string>
#include <vector>

class QWidget;

class SearchPage : public QObject {
    Q_OBJECT
public:
    // The box and the list become hidden children of desk.
    SearchPage(QWidget* desk, std::string cataloguePath);
    ~SearchPage() override;

    // Reads the catalogue file again and lists the matches of the current terms.
    void reload();
    // The search button or Enter in the box: terms from the box, its text selected.
    void runSearch();
    // Fills the list from the catalogue with the current terms (unsorted: last line of
    // the file first). Nothing changes while the catalogue is absent.
    void listMatches();
    // A click on a column header: the next sort code, then the rows sorted by it.
    void sortByColumn(int column);
    int sortCode() const { return sortCode_; }

    void setVisible(bool shown);
    // Places the box and the list (widget coordinates) and colours the list.
    void place(const QRect& box, const QRect& list);
    void setColours(const QColor& text, const QColor& background);
    void setColumnWidths(const std::array<int, kSearchColumns>& widths);
    std::array<int, kSearchColumns> columnWidths() const;

    // True once per run while the catalogue is absent: the question about a scan.
    bool takeScanQuestion();

    // The files of the selected rows, in list order (for a drag onto a deck or the
    // playlist); a disc's files lie under cdDrive.
    std::vector<CatalogueFile> selectedFiles(std::string_view cdDrive) const;

    const Catalogue& catalogue() const { return catalogue_; }
    const std::string& cataloguePath() const { return path_; }
    QLineEdit* box() const { return box_; }
    SearchResultView* list() const { return list_; }
    SearchResultModel* model() const { return model_; }

private:
    std::string path_;
    Catalogue catalogue_;
    std::vector<std::string> terms_;
    int sortCode_ = 0;
    bool askedToScan_ = false;
    SearchResultModel* model_ = nullptr;
    // Children of the desk: gone with it, even when it goes first.
    QPointer<QLineEdit> box_;
    QPointer<SearchResultView> list_;
};
