// The music library's windows on the desk: made with the desk, placed on the skin's
// library rectangles, shown with their pages, and the bridge from their drags and
// buttons to the main window's drop rules.

#include "app/MainWindow.h"
#include "core/Settings.h"
#include "library/History.h"
#include "library/Playlist.h"
#include "library/TrackDatabase.h"
#include "ui/desk/DeskWidget.h"
#include "ui/library/Browser.h"
#include "ui/skin/Skin.h"

#include <QFile>
#include <QLabel>

#include <algorithm>

namespace {

QRect logicalRect(const ControlEntry& e) {
    return QRect(e.x, e.y, e.width, e.height);
}

} // namespace

void MainWindow::createBrowser() {
    auto* desk = qobject_cast<DeskWidget*>(window_);
    if (!desk || !database_ || !playlist_ || !history_)
        return;
    // Screen points of a drag to the desk's logical picture and back.
    auto logicalOf = [desk](QPoint global) {
        return desk->view().toLogicalUnbounded(QPointF(desk->mapFromGlobal(global)));
    };
    Browser::Hooks hooks;
    hooks.activate = [this](Browser::List list, int row) {
        if (const TrackRecord* record = browser_->recordOf(list, row))
            activateRecord(*record, list == Browser::List::Playlist ? row : -1);
    };
    hooks.dropTarget.allowed = [this, logicalOf](QPoint global) {
        return dropAllowed(logicalOf(global));
    };
    hooks.analyseFolder = [this](const std::string& folder) { analyseFolder(folder); };
    hooks.dropTarget.drop = [this, logicalOf](QPoint global, std::vector<std::string> paths) {
        dropFiles(logicalOf(global), paths);
    };
    browser_ = std::make_unique<Browser>(
        desk, *database_, *playlist_, *history_, settings().columnSizes, settings().initialFolder,
        QFile::encodeName(settings().homeFolder).toStdString(), std::move(hooks));
    playlistDropRow = [this, desk](QPoint at) {
        const QPoint global = desk->mapToGlobal(desk->view().toWidget(QPointF(at)).toPoint());
        return browser_->playlistRowAt(global);
    };
    analysisLabel_ = new QLabel(desk);
    analysisLabel_->setObjectName(QStringLiteral("analysisProgress"));
    analysisLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    analysisLabel_->hide();
    placeBrowser();
}

void MainWindow::destroyBrowser() {
    playlistDropRow = nullptr;
    delete analysisLabel_.data();
    browser_.reset();
}

void MainWindow::placeBrowser() {
    auto* desk = qobject_cast<DeskWidget*>(window_);
    if (!browser_ || !desk || !skin_)
        return;
    const Skin& skin = *skin_;
    browser_->place(desk->childGeometry(logicalRect(skin[control::kFilesList])),
                    desk->childGeometry(logicalRect(skin[control::kPlaylistList])),
                    desk->childGeometry(logicalRect(skin[control::kHistoryList])));
    browser_->setColours(toQColor(skin.fontColor), toQColor(skin.fontBackColor));
    if (analysisLabel_) {
        // Right-aligned just under the file list, where the lists and their buttons do not
        // reach; above it when the list ends at the desk's foot.
        const QRect list = desk->childGeometry(logicalRect(skin[control::kFilesList]));
        const QFontMetrics metrics = analysisLabel_->fontMetrics();
        const int width =
            std::max(metrics.horizontalAdvance(QStringLiteral("Analysing 00000 tracks")),
                     metrics.horizontalAdvance(analysisReadOnlyText()));
        const QSize size(std::min(width + 8, list.width()), metrics.height() + 2);
        int y = list.bottom() + 2;
        if (y + size.height() > desk->height())
            y = list.top() - size.height() - 2;
        analysisLabel_->setGeometry(QRect(QPoint(list.right() - size.width(), y), size));
        QPalette palette = analysisLabel_->palette();
        palette.setColor(QPalette::WindowText, toQColor(skin.fontColor));
        analysisLabel_->setPalette(palette);
    }
}

bool MainWindow::deleteSelectedRows() {
    return browser_ && browser_->deleteSelectedRows();
}

void MainWindow::libraryButtonReleased(int control) {
    switch (control) {
    case control::kSetHomeButton:
        if (browser_)
            browser_->setCurrentAsHome();
        break;
    case control::kSetHomeButton + 1: // go to desktop
        if (browser_)
            browser_->goDesktop();
        break;
    case control::kSetHomeButton + 2: // go to home folder
        if (browser_)
            browser_->goHome();
        break;
    case control::kAutoMixButton + 1: // shuffle
        if (playlist_)
            playlist_->shuffle();
        break;
    case control::kAutoMixButton + 2: // new songs only
        if (playlist_)
            playlist_->keepNewSongsOnly();
        break;
    default:
        break;
    }
}
