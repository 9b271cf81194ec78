#include "ui/library/Browser.h"

#include "ui/library/BrowserListView.h"
#include "ui/library/DetailsDialogs.h"
#include "ui/library/FolderListModel.h"
#include "ui/library/FolderTreeModel.h"
#include "ui/library/PlaylistViewModel.h"

#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTreeView>

#include <algorithm>

namespace {

// Where each list's widths start in the "Column Sizes" setting.
constexpr int kFilesOnFilesPage = 0;
constexpr int kPlaylistColumns = 12;
constexpr int kHistoryColumns = 16;
constexpr int kFilesOnPlaylistPage = 20;
constexpr int kTreeBandOnFilesPage = 24;
constexpr int kTreeBandOnPlaylistPage = 25;
constexpr int kFilesBandOnPlaylistPage = 26;
constexpr int kColumnsPerList = 4;
// The pages the browser shows something on.
constexpr int kFilesPage = 0, kPlaylistPage = 2, kHistoryPage = 4;
// "Initial folder" starting with these stands for the "Home folder" path setting.
constexpr char kHomePathMark[] = "\xFF\xFF\xFF\xFF";

// The bar: a double click on the grip right of a band folds the band to its minimum,
// and a second one opens it again to the width it had.
class BandGrip : public QSplitterHandle {
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void mouseDoubleClickEvent(QMouseEvent*) override {
        QSplitter* bar = splitter();
        int band = 0;
        while (band + 1 < bar->count() && bar->handle(band + 1) != this)
            ++band;
        QList<int> sizes = bar->sizes();
        if (band + 1 >= sizes.size())
            return;
        const int minimum = bar->widget(band)->minimumWidth();
        const int target = sizes[band] > minimum ? minimum : std::max(minimum, opened_);
        if (sizes[band] > minimum)
            opened_ = sizes[band];
        sizes[band + 1] += sizes[band] - target;
        sizes[band] = target;
        bar->setSizes(sizes);
    }

private:
    int opened_ = 0;
};

class BandBar : public QSplitter {
public:
    using QSplitter::QSplitter;

protected:
    QSplitterHandle* createHandle() override { return new BandGrip(orientation(), this); }
};

std::vector<std::string> pathsOfRecords(const std::vector<TrackRecord>& records) {
    std::vector<std::string> paths;
    for (const TrackRecord& r : records)
        paths.push_back(r.path);
    return paths;
}

} // namespace

Browser::Browser(QWidget* desk, TrackStore& store, Playlist& playlist, History& history,
                 std::array<int32_t, kColumnSizeCount>& columnSizes, QByteArray& homeFolder,
                 std::string homePath, Hooks hooks, FolderTreeModel* tree)
    : store_(store), playlist_(playlist), history_(history), columns_(columnSizes),
      homeFolder_(homeFolder), homePath_(std::move(homePath)), hooks_(std::move(hooks)),
      treeModel_(tree ? tree : new FolderTreeModel(this)),
      fileModel_(new FolderListModel(store, history, this)),
      playlistModel_(new PlaylistViewModel(playlist, this)),
      historyModel_(new HistoryViewModel(history, this)) {
    if (treeModel_->QObject::parent() == nullptr)
        treeModel_->setParent(this);
    createViews(desk);
    fillTreeAt(homeFolderPath());
}

Browser::~Browser() {
    // The page on screen keeps what the user changed there too, not only hidden ones.
    if (bar_ && shownPage_ >= 0)
        showPage(shownPage_, false);
    if (historyView_)
        readColumns(historyView_, kHistoryColumns);
    // The desk may be gone already (a run ended by a fault), taking its children.
    delete bar_.data();
    delete historyView_.data();
}

void Browser::createViews(QWidget* desk) {
    bar_ = new BandBar(Qt::Horizontal, desk);
    bar_->setObjectName(QStringLiteral("libraryBar"));
    bar_->setChildrenCollapsible(false);
    bar_->hide();

    tree_ = new QTreeView(bar_);
    tree_->setObjectName(QStringLiteral("folderTree"));
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setAttribute(Qt::WA_InputMethodEnabled, false);
    tree_->setModel(treeModel_);
    connect(tree_, &QTreeView::collapsed, this,
            [this](const QModelIndex& index) { treeModel_->forgetChildren(index); });
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!busy_)
                    fileModel_->fill(treeModel_->pathOf(current));
            });

    auto makeList = [&](QWidget* parent, BrowserTrackModel* model, const char* name) {
        auto* view = new BrowserListView(parent);
        view->setObjectName(QString::fromLatin1(name));
        view->setModel(model);
        return view;
    };
    files_ = makeList(bar_, fileModel_, "fileList");
    playlistView_ = makeList(bar_, playlistModel_, "playlistView");
    historyView_ = makeList(desk, historyModel_, "historyView");
    historyView_->hide();
    for (QWidget* band : {static_cast<QWidget*>(tree_), static_cast<QWidget*>(files_),
                          static_cast<QWidget*>(playlistView_)})
        band->setMinimumWidth(kBandMinimum);

    // The file list sorts by the program's own codes; the playlist and history keep
    // their order.
    files_->header()->setSectionsClickable(true);
    files_->header()->setSortIndicatorShown(false);
    connect(files_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        fileModel_->sortByColumn(column);
        const int code = fileModel_->sortCode();
        const bool reversed = code >= 8;
        files_->header()->setSortIndicatorShown(true);
        files_->header()->setSortIndicator(
            code % 8, reversed == (code % 8 == 2) ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
    // A folder listed afresh is in last-use order, which no column shows.
    connect(fileModel_, &QAbstractItemModel::modelReset, this,
            [this] { files_->header()->setSortIndicatorShown(false); });
    for (BrowserListView* view : {playlistView_, historyView_.data()})
        view->header()->setSectionsClickable(false);

    files_->setListDrag(new ListDrag(
        files_, [this] { return fileModel_->pathsOf(files_->selectedRows()); }, hooks_.dropTarget));
    historyView_->setListDrag(new ListDrag(
        historyView_, [this] { return historyModel_->pathsOf(historyView_->selectedRows()); },
        hooks_.dropTarget));
    // Rows dragged out of the playlist leave it when the drag begins.
    playlistView_->setListDrag(new ListDrag(
        playlistView_,
        [this] { return pathsOfRecords(playlist_.removeRows(playlistView_->selectedRows())); },
        hooks_.dropTarget));

    connect(files_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& i) { onDoubleClick(List::Files, i); });
    connect(playlistView_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& i) { onDoubleClick(List::Playlist, i); });
    connect(historyView_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& i) { onDoubleClick(List::History, i); });

    for (QWidget* view : {static_cast<QWidget*>(tree_), static_cast<QWidget*>(files_)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](QPoint pos) { showFolderMenu(view, pos); });
    }

    applyColumns(files_, kFilesOnFilesPage);
    applyColumns(playlistView_, kPlaylistColumns);
    applyColumns(historyView_, kHistoryColumns);
}

std::string Browser::menuFolderAt(const QWidget* view, QPoint pos) const {
    if (view == tree_)
        return treeModel_->pathOf(tree_->indexAt(pos));
    if (view == files_)
        return fileModel_->folder();
    return {};
}

void Browser::showFolderMenu(QWidget* view, QPoint pos) {
    const std::string folder = menuFolderAt(view, pos);
    if (folder.empty() || !hooks_.analyseFolder)
        return;
    QMenu menu(view);
    menu.addAction(QStringLiteral("Analyse the tracks of this folder"));
    // The view's viewport reports the point; the menu opens where the click was.
    const QWidget* at = view;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(view))
        at = area->viewport();
    if (menu.exec(at->mapToGlobal(pos)))
        hooks_.analyseFolder(folder);
}

std::string Browser::homeFolderPath() const {
    if (homeFolder_.startsWith(QByteArray(kHomePathMark, 4)))
        return homePath_;
    QByteArray path = homeFolder_;
    while (path.endsWith('\0'))
        path.chop(1);
    return path.toStdString();
}

void Browser::fillTreeAt(const std::string& folder) {
    busy_ = true;
    treeModel_->setRoot(folder);
    busy_ = false;
    const QModelIndex root = treeModel_->rootIndex();
    tree_->expand(root);
    tree_->setCurrentIndex(root);
    fileModel_->fill(treeModel_->pathOf(root));
}

void Browser::goHome() {
    fillTreeAt(homeFolderPath());
}

void Browser::goDesktop() {
    fillTreeAt(std::string());
}

void Browser::setCurrentAsHome() {
    const QModelIndex current = tree_->currentIndex();
    // The root cannot be chosen (it is the home folder or the desktop already).
    if (!current.isValid() || treeModel_->isRoot(current))
        return;
    const std::string path = treeModel_->pathOf(current);
    homeFolder_ = QByteArray::fromStdString(path) + QByteArray(2, '\0');
    goHome();
}

void Browser::refillFiles() {
    fileModel_->fill(treeModel_->pathOf(tree_->currentIndex()));
}

void Browser::selectFolder(const std::string& path) {
    QModelIndex at = treeModel_->rootIndex();
    for (;;) {
        if (treeModel_->pathOf(at) == path)
            break;
        tree_->expand(at);
        if (treeModel_->canFetchMore(at))
            treeModel_->fetchMore(at);
        // The child that holds the path; the longest one when places overlap.
        QModelIndex next;
        size_t best = 0;
        for (int row = 0; row < treeModel_->rowCount(at); ++row) {
            const QModelIndex child = treeModel_->index(row, 0, at);
            const std::string p = treeModel_->pathOf(child);
            if (p.empty())
                continue;
            const std::string prefix = p.back() == '/' ? p : p + '/';
            if ((p == path || path.compare(0, prefix.size(), prefix) == 0) && p.size() >= best) {
                next = child;
                best = p.size();
            }
        }
        if (!next.isValid())
            break;
        at = next;
    }
    tree_->setCurrentIndex(at);
    tree_->scrollTo(at);
}

void Browser::place(const QRect& filesBar, const QRect& playlistBar, const QRect& history) {
    filesBar_ = filesBar;
    playlistBar_ = playlistBar;
    historyView_->setGeometry(history);
    if (shownPage_ == kFilesPage)
        bar_->setGeometry(filesBar_);
    else if (shownPage_ == kPlaylistPage)
        bar_->setGeometry(playlistBar_);
}

void Browser::applyColumns(BrowserListView* view, int first) {
    for (int i = 0; i < kColumnsPerList; ++i)
        view->header()->resizeSection(i, std::max(0, columns_[size_t(first + i)]));
}

void Browser::readColumns(BrowserListView* view, int first) {
    for (int i = 0; i < kColumnsPerList; ++i)
        columns_[size_t(first + i)] = view->header()->sectionSize(i);
}

void Browser::showPage(int page, bool show) {
    if (page == kFilesPage || page == kPlaylistPage) {
        const bool withPlaylist = page == kPlaylistPage;
        if (show) {
            bar_->setGeometry(withPlaylist ? playlistBar_ : filesBar_);
            playlistView_->setVisible(withPlaylist);
            applyColumns(files_, withPlaylist ? kFilesOnPlaylistPage : kFilesOnFilesPage);
            if (withPlaylist)
                applyColumns(playlistView_, kPlaylistColumns);
            bar_->show();
            // Sizes set once the bar has its geometry stay as given.
            // What the bands share once the grips between them have their room; sizes
            // that add up to it are taken as they are, so widths never drift by a
            // rescale from one showing to the next.
            const int bands = withPlaylist ? 3 : 2;
            const int width = bar_->width() - bar_->handleWidth() * (bands - 1);
            if (withPlaylist) {
                const int tree = std::max(kBandMinimum, columns_[kTreeBandOnPlaylistPage]);
                const int list = std::max(kBandMinimum, columns_[kFilesBandOnPlaylistPage]);
                bar_->setSizes({tree, list, std::max(kBandMinimum, width - tree - list)});
            } else {
                const int tree = std::max(kBandMinimum, columns_[kTreeBandOnFilesPage]);
                bar_->setSizes({tree, std::max(kBandMinimum, width - tree), 0});
            }
            shownPage_ = page;
        } else {
            readColumns(files_, withPlaylist ? kFilesOnPlaylistPage : kFilesOnFilesPage);
            const QList<int> sizes = bar_->sizes();
            if (withPlaylist) {
                readColumns(playlistView_, kPlaylistColumns);
                columns_[kTreeBandOnPlaylistPage] = std::max(kBandMinimum, int(sizes.value(0)));
                columns_[kFilesBandOnPlaylistPage] = std::max(kBandMinimum, int(sizes.value(1)));
            } else {
                columns_[kTreeBandOnFilesPage] = std::max(kBandMinimum, int(sizes.value(0)));
            }
            bar_->hide();
            shownPage_ = -1;
        }
    } else if (page == kHistoryPage) {
        historyView_->setVisible(show);
    }
}

void Browser::setColours(const QColor& text, const QColor& background) {
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(tree_), static_cast<QAbstractItemView*>(files_),
          static_cast<QAbstractItemView*>(playlistView_),
          static_cast<QAbstractItemView*>(historyView_.data())}) {
        QPalette palette = view->palette();
        palette.setColor(QPalette::Base, background);
        palette.setColor(QPalette::Window, background);
        palette.setColor(QPalette::Text, text);
        palette.setColor(QPalette::WindowText, text);
        // The column headers in the list's colours too, a shade lighter.
        palette.setColor(QPalette::Button, background.lighter(160));
        palette.setColor(QPalette::ButtonText, text);
        view->setPalette(palette);
    }
}

BrowserTrackModel* Browser::modelOf(List list) const {
    switch (list) {
    case List::Files:
        return fileModel_;
    case List::Playlist:
        return playlistModel_;
    case List::History:
        return historyModel_;
    }
    return nullptr;
}

const TrackRecord* Browser::recordOf(List list, int row) const {
    const BrowserTrackModel* model = modelOf(list);
    if (!model || row < 0 || row >= model->rowCount())
        return nullptr;
    return &model->recordAt(row);
}

void Browser::onDoubleClick(List list, const QModelIndex& index) {
    if (!index.isValid())
        return;
    const int column = index.column();
    if (column != BrowserTrackModel::kBpm && column != BrowserTrackModel::kComment) {
        if (hooks_.activate)
            hooks_.activate(list, index.row());
        return;
    }
    const TrackRecord* record = recordOf(list, index.row());
    if (!record || !record->entry)
        return; // a playlist-file row has no details
    TrackEntry* entry = record->entry;
    DetailsDialog dialog(column == BrowserTrackModel::kBpm ? DetailsDialog::Bpm
                                                           : DetailsDialog::Comment,
                         store_, entry, historyView_->window());
    const int result = hooks_.runDialog ? hooks_.runDialog(dialog) : dialog.exec();
    if (result != QDialog::Accepted)
        return;
    for (BrowserTrackModel* model : {static_cast<BrowserTrackModel*>(fileModel_),
                                     static_cast<BrowserTrackModel*>(playlistModel_),
                                     static_cast<BrowserTrackModel*>(historyModel_)})
        model->entryChanged(entry);
}

bool Browser::deleteSelectedRows() {
    QWidget* focus = files_->window()->focusWidget();
    if (focus == playlistView_ && playlistView_->isVisible()) {
        playlist_.removeRows(playlistView_->selectedRows());
        return true;
    }
    if (historyView_ && focus == historyView_ && historyView_->isVisible()) {
        history_.removeRows(historyView_->selectedRows());
        return true;
    }
    return false;
}

int Browser::playlistRowAt(QPoint global) const {
    if (!playlistView_->isVisible())
        return -1;
    QWidget* viewport = playlistView_->viewport();
    const QPoint local = viewport->mapFromGlobal(global);
    if (!playlistView_->rect().contains(playlistView_->mapFromGlobal(global)))
        return -1;
    const QModelIndex index = playlistView_->indexAt(local);
    return index.isValid() ? index.row() : playlist_.rowCount();
}

void Browser::setEntryImage(const TrackEntry* entry, RowImage image) {
    fileModel_->setEntryImage(entry, image);
}
