#pragma once
// The music library's windows on the desk: the bar (folder tree, file list and, on the
// playlist page, the playlist side by side in a splitter) and the history list. One page
// shows at a time; column and band widths live in the "Column Sizes" setting and are
// read back when a page hides. The folder tree starts at the home folder ("Initial
// folder"), or at the desktop when there is none.
//
// The browser only shows and forwards: what a double click, a drop or the buttons do to
// the decks is its owner's, through the hooks.
//
// Threading: user-interface thread only.

#include "core/TrackStore.h"
#include "library/History.h"
#include "library/Playlist.h"
#include "ui/library/BrowserListView.h"
#include "ui/library/ListDrag.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSplitter>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class BrowserListView;
class BrowserTrackModel;
class FolderListModel;
class FolderTreeModel;
class HistoryViewModel;
class PlaylistViewModel;
class QDialog;
class QTreeView;
class QWidget;

class Browser : public QObject {
    Q_OBJECT
public:
    enum class List { Files, Playlist, History };
    static constexpr int kBandMinimum = 16;     // pixels a band keeps at least
    static constexpr int kColumnSizeCount = 28; // values of the "Column Sizes" setting

    struct Hooks {
        // A double click on a row outside the "Bpm" and "Comment" cells.
        std::function<void(List list, int row)> activate;
        // Where dragged rows may go and the drop (screen coordinates).
        ListDropTarget dropTarget;
        // Runs a details dialog; by default modally.
        std::function<int(QDialog& dialog)> runDialog;
        // "Analyse the tracks of this folder" from the tree's or the file list's menu.
        std::function<void(const std::string& folder)> analyseFolder;
    };

    // The windows become children of desk, hidden until a page shows them. columnSizes
    // and homeFolder (a UTF-8 path ended by two zero bytes, empty for none) are the
    // settings, read and written in place; homePath stands for the four 0xFF bytes.
    Browser(QWidget* desk, TrackStore& store, Playlist& playlist, History& history,
            std::array<int32_t, kColumnSizeCount>& columnSizes, QByteArray& homeFolder,
            std::string homePath, Hooks hooks, FolderTreeModel* tree = nullptr);
    ~Browser() override;

    // Where the windows go, in desk widget coordinates: the bar on the files page and on
    // the playlist page, and the history.
    void place(const QRect& filesBar, const QRect& playlistBar, const QRect& history);
    void showPage(int page, bool show);
    void setColours(const QColor& text, const QColor& background);

    // The buttons beside the tree.
    void goHome();
    void goDesktop();
    void setCurrentAsHome();
    // Lists the folder selected in the tree again (a file was saved there).
    void refillFiles();
    // Shows a folder in the tree and lists it (its ancestors are expanded).
    void selectFolder(const std::string& path);

    // The Delete key: removes the selected rows of the playlist or history when that list
    // has the focus; false when neither has it.
    bool deleteSelectedRows();
    // The playlist row under a screen point: the row, rowCount() past the last row, or
    // -1 when the point is not over the playlist window.
    int playlistRowAt(QPoint global) const;
    // The history changed a row's icon.
    void setEntryImage(const TrackEntry* entry, RowImage image);

    // Where rows dragged out of any library list go (the search list drags through it too).
    const ListDropTarget& dropTarget() const { return hooks_.dropTarget; }
    BrowserListView* fileList() const { return files_; }
    BrowserListView* playlistView() const { return playlistView_; }
    BrowserListView* historyView() const { return historyView_; }
    QTreeView* tree() const { return tree_; }
    QSplitter* bar() const { return bar_; }
    FolderListModel* fileModel() const { return fileModel_; }
    FolderTreeModel* treeModel() const { return treeModel_; }
    const TrackRecord* recordOf(List list, int row) const;
    // The folder a context menu at pos (view coordinates) acts on: in the tree the folder
    // under the pointer, in the file list the folder it shows; empty for none.
    std::string menuFolderAt(const QWidget* view, QPoint pos) const;

private:
    void createViews(QWidget* desk);
    void fillTreeAt(const std::string& folder);
    void onDoubleClick(List list, const QModelIndex& index);
    void showFolderMenu(QWidget* view, QPoint pos);
    void applyColumns(BrowserListView* view, int first);
    void readColumns(BrowserListView* view, int first);
    std::string homeFolderPath() const;
    BrowserTrackModel* modelOf(List list) const;

    TrackStore& store_;
    Playlist& playlist_;
    History& history_;
    std::array<int32_t, kColumnSizeCount>& columns_;
    QByteArray& homeFolder_;
    std::string homePath_;
    Hooks hooks_;

    FolderTreeModel* treeModel_;
    FolderListModel* fileModel_;
    PlaylistViewModel* playlistModel_;
    HistoryViewModel* historyModel_;
    QPointer<QSplitter> bar_;
    QTreeView* tree_ = nullptr;
    BrowserListView* files_ = nullptr;
    BrowserListView* playlistView_ = nullptr;
    QPointer<BrowserListView> historyView_;
    QRect filesBar_, playlistBar_;
    int shownPage_ = -1;
    // Set while the tree is rebuilt: its selection changes list nothing.
    bool busy_ = false;
};
