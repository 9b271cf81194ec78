// Draws the program's built-in artwork, checks it against the control table and writes
// it as PNG files into the folder given as the argument (resources/ of the source
// tree). Its output is committed, so the program does not need this tool to build.

#include "tools/make-artwork/Artwork.h"
#include "tools/make-artwork/ArtworkCheck.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <map>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-artwork OUTPUT_FOLDER\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);

    std::map<QString, QImage> drawn;
    for (const Artwork& art : allArtwork())
        drawn[art.fileName] = art.draw();

    // Nothing is written unless the pictures fit the table.
    const ControlTable& table = builtinControlTable();
    QStringList problems = checkSkin(drawn["skin.png"], drawn["strip.png"], table);
    problems << checkStrip(drawn["strip.png"], table);
    problems << checkBalloon(drawn["balloon.png"]);
    problems << checkSkinSources(drawn["skin.png"], table);
    for (const QString& problem : problems)
        std::fprintf(stderr, "make-artwork: %s\n", qPrintable(problem));
    if (!problems.isEmpty())
        return 1;

    bool ok = true;
    for (const auto& [name, image] : drawn) {
        if (!image.save(folder + "/" + name, "PNG")) {
            std::fprintf(stderr, "make-artwork: cannot write %s\n", qPrintable(name));
            ok = false;
        }
    }
    QFile hotspots(folder + "/cursors.txt");
    if (!hotspots.open(QIODevice::WriteOnly) || hotspots.write(cursorHotspotText().toUtf8()) < 0) {
        std::fprintf(stderr, "make-artwork: cannot write cursors.txt\n");
        ok = false;
    }
    return ok ? 0 : 1;
}
