// make_samples <folder>: writes the default facade to <folder>/Fassade/ and
// the doors and windows to <folder>/Haustüren/. The output is the same on
// every run, so it can be committed and checked.

#include "PictureWriters.h"
#include "Scenes.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples <output folder>\n");
        return 2;
    }
    try {
        const std::filesystem::path root(argv[1]);
        const std::filesystem::path facadeFolder = root / "Fassade";
        const std::filesystem::path elementFolder = root / "Haust\xC3\xBCren";
        std::filesystem::create_directories(facadeFolder);
        std::filesystem::create_directories(elementFolder);

        samples::writeJpeg(samples::drawFacade(), (facadeFolder / "Fassade.jpg").string(), 86);
        for (const samples::ElementPicture& picture : samples::drawElements()) {
            const std::string path = (elementFolder / picture.fileName).string();
            switch (picture.kind) {
            case samples::FileKind::Bmp24:
                samples::writeBmp24(picture.canvas, path);
                break;
            case samples::FileKind::Bmp32:
                samples::writeBmp32(picture.canvas, path);
                break;
            case samples::FileKind::Png:
                samples::writePng(picture.canvas, path, false);
                break;
            case samples::FileKind::PngWithAlpha:
                samples::writePng(picture.canvas, path, true);
                break;
            case samples::FileKind::Jpeg:
                samples::writeJpeg(picture.canvas, path, 88);
                break;
            }
            std::printf("%s\n", path.c_str());
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_samples: %s\n", error.what());
        return 1;
    }
    return 0;
}
