// The music library at scale: listing a folder of many music files into the file list,
// and a playlist of many rows in its view: filling, scrolling page by page (each step
// painted), sorting the file list by every column and shuffling the playlist. Figures
// are printed, never asserted.
//
// Usage: bench_browser [files] [folder]   (default 10000 files, the temporary folder)

#include "library/History.h"
#include "library/Playlist.h"
#include "library/TrackDatabase.h"
#include "ui/library/BrowserListView.h"
#include "ui/library/FolderListModel.h"
#include "ui/library/PlaylistViewModel.h"

#include <QApplication>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Spread {
    std::vector<double> ms;
    void add(double v) { ms.push_back(v); }
    void print(const char* what) {
        std::sort(ms.begin(), ms.end());
        std::printf("%-40s n=%-4zu median %8.2f ms   max %8.2f ms\n", what, ms.size(),
                    ms[ms.size() / 2], ms.back());
    }
};

// Scrolls a view from top to bottom a page at a time, painting each step.
Spread scrollThrough(BrowserListView& view) {
    QCoreApplication::processEvents(); // the view lays out its rows
    Spread steps;
    QScrollBar* bar = view.verticalScrollBar();
    for (int value = 0; value <= bar->maximum(); value += std::max(1, bar->pageStep())) {
        const auto start = Clock::now();
        bar->setValue(value);
        view.viewport()->repaint();
        steps.add(msSince(start));
    }
    return steps;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const std::filesystem::path base =
        argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
    const std::filesystem::path folder = base / "zv-browser-bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "music");
    for (int i = 0; i < count; ++i) {
        char name[96];
        std::snprintf(name, sizeof name, "Artist %04d - Title %05d.%s", i % 997, i,
                      i % 10 ? "mp3" : "WAV");
        std::ofstream((folder / "music" / name).string()) << std::string(size_t(i % 64), 'x');
    }

    TrackDatabase database((folder / "database").string());
    History history;
    FolderListModel files(database, history);
    BrowserListView fileView;
    fileView.setModel(&files);
    fileView.resize(700, 235);
    fileView.show();
    const std::string music = (folder / "music").string();
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        files.fill(music);
        fileView.viewport()->repaint();
        std::printf("list %d files (%s entries), painted   %8.2f ms\n", files.rowCount(),
                    round == 0 ? "new" : "known", msSince(start));
    }
    Spread sorts;
    for (int column = 0; column < 4; ++column) {
        for (int click = 0; click < 2; ++click) {
            const auto start = Clock::now();
            files.sortByColumn(column);
            fileView.viewport()->repaint();
            sorts.add(msSince(start));
        }
    }
    sorts.print("file list sort by a column, painted");
    scrollThrough(fileView).print("file list scroll one page, painted");

    Playlist playlist(database, history);
    PlaylistViewModel rows(playlist);
    BrowserListView playlistView;
    playlistView.setModel(&rows);
    playlistView.resize(400, 235);
    playlistView.show();
    std::vector<TrackRecord> records;
    for (int row = 0; row < files.rowCount(); ++row)
        records.push_back(files.recordAt(row));
    auto start = Clock::now();
    playlist.insert(records);
    playlistView.viewport()->repaint();
    std::printf("playlist of %d rows filled, painted     %8.2f ms\n", playlist.rowCount(),
                msSince(start));
    scrollThrough(playlistView).print("playlist scroll one page, painted");
    Spread shuffles;
    for (int i = 0; i < 5; ++i) {
        start = Clock::now();
        playlist.shuffle();
        playlistView.viewport()->repaint();
        shuffles.add(msSince(start));
    }
    shuffles.print("playlist shuffle, painted");
    start = Clock::now();
    playlist.removeRows({0, 1, 2});
    playlistView.viewport()->repaint();
    std::printf("playlist delete 3 rows, painted          %8.2f ms\n", msSince(start));

    std::filesystem::remove_all(folder);
    return 0;
}
