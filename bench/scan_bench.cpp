// A hard-disk scan at scale: makes a tree of empty music files (FOLDERS folders of
// FILES each, with a few other files among them) and times the scan worker writing the
// catalogue of it, as the scan dialog runs it.
//
// Usage: bench_scan [FOLDERS] [FILES]   (default 100 x 1000 = 100,000 music files)

#include "library/Catalogue.h"
#include "library/CatalogueScan.h"
#include "library/DiscWalker.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv) {
    const int folders = argc > 1 ? std::atoi(argv[1]) : 100;
    const int files = argc > 2 ? std::atoi(argv[2]) : 1000;
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("zv-scan-bench-" + std::to_string(getpid()));
    for (int f = 0; f < folders; ++f) {
        const fs::path folder = root / ("Artist " + std::to_string(f)) / "Album";
        fs::create_directories(folder);
        for (int i = 0; i < files; ++i)
            std::ofstream(folder / ("Track " + std::to_string(i) + (i % 10 ? ".mp3" : ".txt")));
    }
    const std::string catalogue = (root / "catalogue.txt").string();

    const auto start = std::chrono::steady_clock::now();
    CatalogueScan scan(catalogue);
    if (!scan.start(Catalogue{}, {ScanTarget{root.string(), "/media/data:"}}, kScanAll)) {
        std::fprintf(stderr, "bench_scan: cannot write %s\n", catalogue.c_str());
        return 1;
    }
    while (!scan.finished())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    scan.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Catalogue written;
    written.load(catalogue);
    std::printf("scan of %d files in %d folders: %zu catalogue lines in %.2f s\n", folders * files,
                folders, written.lineCount(), seconds);
    fs::remove_all(root);
    return 0;
}
