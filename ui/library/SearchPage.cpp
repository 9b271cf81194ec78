#include "ui/library/SearchPage.h"

#include "ui/library/SearchList.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPalette>

SearchPage::SearchPage(QWidget* desk, std::string cataloguePath) : path_(std::move(cataloguePath)) {
    model_ = new SearchResultModel(catalogue_, this);
    box_ = new QLineEdit(desk);
    box_->setObjectName("searchBox");
    box_->setMaxLength(int(kSearchTextMax));
    box_->hide();
    list_ = new SearchResultView(desk);
    list_->setModel(model_);
    list_->hide();
    connect(list_->header(), &QHeaderView::sectionClicked, this, &SearchPage::sortByColumn);
    reload();
}

SearchPage::~SearchPage() {
    // The list must not read the model or the catalogue while they go.
    delete list_.data();
    delete box_.data();
}

void SearchPage::reload() {
    model_->beginChange();
    if (catalogue_.load(path_))
        listMatches();
    else
        model_->setRows({});
}

void SearchPage::runSearch() {
    if (!box_)
        return;
    const QByteArray text = box_->text().toUtf8();
    terms_ = readSearchTerms(std::string_view(text.constData(), size_t(text.size())));
    box_->selectAll();
    listMatches();
}

void SearchPage::listMatches() {
    if (!catalogue_.present())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    model_->setRows(findMatches(catalogue_, terms_));
    if (list_)
        list_->header()->setSortIndicatorShown(false);
    QApplication::restoreOverrideCursor();
}

void SearchPage::sortByColumn(int column) {
    if (column < 0 || column >= kSearchColumns)
        return;
    sortCode_ = nextSortCode(sortCode_, column);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::vector<uint32_t> rows = model_->rows();
    sortRows(rows, catalogue_, sortCode_);
    model_->setRows(std::move(rows));
    if (list_) {
        list_->header()->setSortIndicator(column, sortCode_ >= kSortReverse ? Qt::DescendingOrder
                                                                            : Qt::AscendingOrder);
        list_->header()->setSortIndicatorShown(true);
    }
    QApplication::restoreOverrideCursor();
}

void SearchPage::setVisible(bool shown) {
    if (!box_ || !list_)
        return;
    box_->setVisible(shown);
    list_->setVisible(shown);
    if (shown)
        box_->setFocus(Qt::OtherFocusReason);
}

void SearchPage::place(const QRect& box, const QRect& list) {
    if (box_)
        box_->setGeometry(box);
    if (list_)
        list_->setGeometry(list);
}

void SearchPage::setColours(const QColor& text, const QColor& background) {
    if (!list_)
        return;
    QPalette palette = list_->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::Base, background);
        palette.setColor(group, QPalette::AlternateBase, background);
    }
    list_->setPalette(palette);
}

void SearchPage::setColumnWidths(const std::array<int, kSearchColumns>& widths) {
    if (!list_)
        return;
    for (int c = 0; c < kSearchColumns; ++c)
        list_->header()->resizeSection(c, std::max(0, widths[size_t(c)]));
}

std::array<int, kSearchColumns> SearchPage::columnWidths() const {
    std::array<int, kSearchColumns> widths{};
    if (list_)
        for (int c = 0; c < kSearchColumns; ++c)
            widths[size_t(c)] = list_->header()->sectionSize(c);
    return widths;
}

bool SearchPage::takeScanQuestion() {
    if (catalogue_.present() || askedToScan_)
        return false;
    askedToScan_ = true;
    return true;
}

std::vector<CatalogueFile> SearchPage::selectedFiles(std::string_view cdDrive) const {
    std::vector<CatalogueFile> files;
    if (!list_)
        return files;
    for (std::string_view line : list_->selectedLines())
        if (!line.empty())
            files.push_back(fileOfLine(line, cdDrive));
    return files;
}
