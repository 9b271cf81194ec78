// Draws the program's built-in artwork and writes it as PNG files into the folder
// given as the argument (resources/ of the source tree). Its output is committed, so
// the program does not need this tool to build.

#include "tools/make-artwork/Artwork.h"

#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-artwork OUTPUT_FOLDER\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    for (const Artwork& art : allArtwork()) {
        QImage image = art.draw();
        if (!image.save(folder + "/" + art.fileName, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(art.fileName));
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
