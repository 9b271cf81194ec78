// The search page on the desk: the catalogue's search box and result list laid over the
// skin, its search button, and the hard-disk scan, disc scan and "Delete a CD" buttons.

#include "app/DeskInput.h"
#include "app/MainWindow.h"
#include "app/MessagePresenter.h"
#include "core/Settings.h"
#include "library/CatalogueSearch.h"
#include "library/TrackDatabase.h"
#include "library/TrackNames.h"
#include "ui/desk/DeskWidget.h"
#include "ui/desk/VirtualKeys.h"
#include "ui/library/Browser.h"
#include "ui/library/ListDrag.h"
#include "ui/library/ScanDialogs.h"
#include "ui/library/SearchList.h"
#include "ui/library/SearchPage.h"
#include "ui/skin/Skin.h"

namespace {

// Where the search list's four widths sit in the "Column Sizes" setting.
constexpr int kSearchWidthsAt = 4;
constexpr int kSearchButton = 61, kScanDiskButton = 62, kScanCdButton = 63, kDeleteCdButton = 64;

std::string cataloguePath() {
    return (settings().homeFolder + "/" + kCatalogueFileName).toStdString();
}

std::vector<Volume> currentVolumes() {
    return settings().volumes ? settings().volumes() : Settings::mountedVolumes();
}

} // namespace

void MainWindow::createSearch() {
    auto* desk = qobject_cast<DeskWidget*>(window_);
    if (!desk)
        return;
    search_ = std::make_unique<SearchPage>(desk, cataloguePath());
    std::array<int, kSearchColumns> widths{};
    for (int c = 0; c < kSearchColumns; ++c)
        widths[size_t(c)] = settings().columnSizes[size_t(kSearchWidthsAt + c)];
    placeSearch();
    search_->setColumnWidths(widths);
    // Rows go onto the decks and the playlist as the browser's rows do; a double click
    // loads a row as one in the file list.
    if (!browser_)
        return;
    SearchResultView* list = search_->list();
    const auto selected = [this] {
        std::vector<std::string> paths;
        for (const CatalogueFile& file : search_->selectedFiles(settings().cdDrive.toStdString()))
            paths.push_back(file.path);
        return paths;
    };
    list->setListDrag(new ListDrag(list, selected, browser_->dropTarget()));
    QObject::connect(list, &QAbstractItemView::doubleClicked, list, [this](const QModelIndex&) {
        const std::vector<CatalogueFile> files =
            search_->selectedFiles(settings().cdDrive.toStdString());
        if (!files.empty() && database_)
            activateRecord(makeTrackRecord(*database_, files.front().path, files.front().size), -1);
    });
}

void MainWindow::destroySearch() {
    stopScan();
    // An open dialog refers to the catalogue that goes now; its exec() then returns.
    delete catalogueDialog_.data();
    if (!search_)
        return;
    const std::array<int, kSearchColumns> widths = search_->columnWidths();
    for (int c = 0; c < kSearchColumns; ++c)
        settings().columnSizes[size_t(kSearchWidthsAt + c)] = widths[size_t(c)];
    search_.reset();
}

void MainWindow::stopScan() {
    // The walk's worker ends before anything it reports to goes.
    if (catalogueDialog_)
        catalogueDialog_->abortScan();
}

void MainWindow::placeSearch() {
    auto* desk = qobject_cast<DeskWidget*>(window_);
    if (!desk || !skin_ || !search_)
        return;
    auto mapped = [&](int control) {
        const ControlEntry& e = (*skin_)[control];
        return desk->childGeometry(QRect(e.x, e.y, e.width, e.height));
    };
    search_->place(mapped(control::kSearchBox), mapped(control::kSearchList));
    search_->setColours(toQColor(skin_->fontColor), toQColor(skin_->fontBackColor));
}

void MainWindow::showSearch(int page, bool shown) {
    if (page != kPageSearch || !search_)
        return;
    search_->setVisible(shown);
    if (shown && search_->takeScanQuestion() &&
        messagePresenter().askYesNo(window_,
                                    "Do you want Zorvendal to scan your HD for MP3 files ?"))
        openCatalogueDialog(kScanDiskButton);
}

bool MainWindow::searchKey(int vk) {
    if (vk != VK_RETURN || !search_ || !desk_ || desk_->page() != kPageSearch)
        return false;
    search_->runSearch();
    return true;
}

bool MainWindow::searchButton(int control, int page) {
    if (page != kPageSearch || control < kSearchButton || control > kDeleteCdButton)
        return false;
    if (control == kSearchButton) {
        if (search_)
            search_->runSearch();
    } else {
        openCatalogueDialog(control);
    }
    return true;
}

void MainWindow::openCatalogueDialog(int control) {
    if (!search_ || !window_ || catalogueDialog_)
        return;
    ScanPrompts prompts{
        [this](const QString& text) {
            messagePresenter().showMessage(window_, text, MessagePresenter::None);
        },
        [this](const QString& question) { return messagePresenter().askYesNo(window_, question); }};
    const std::string path = search_->cataloguePath();
    const Catalogue& catalogue = search_->catalogue();
    CatalogueDialog* dialog = nullptr;
    if (control == kScanDiskButton)
        dialog = new HardDiskScanDialog(window_, path, catalogue, currentVolumes(), prompts);
    else if (control == kScanCdButton)
        dialog = new CdScanDialog(window_, path, catalogue, currentVolumes(), settings().cdDrive,
                                  prompts);
    else if (control == kDeleteCdButton)
        dialog = new DeleteCdDialog(window_, path, catalogue, prompts);
    if (!dialog)
        return;
    // A child of the window: the guard tells whether the window took it along.
    catalogueDialog_ = dialog;
    const int result = dialog->exec();
    delete catalogueDialog_.data();
    if (result == 1 && search_)
        search_->reload();
}
