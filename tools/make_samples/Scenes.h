#pragma once

// The pictures the program ships.

#include "Canvas.h"

#include <string>
#include <vector>

namespace samples {

// The default facade, 1600 x 1067.
Canvas drawFacade();

enum class FileKind { Bmp24, Bmp32, Png, PngWithAlpha, Jpeg };

struct ElementPicture {
    std::string fileName; // UTF-8, may hold blanks and umlauts
    FileKind kind;
    Canvas canvas;
};

// The doors and windows of the pattern folder.
std::vector<ElementPicture> drawElements();

} // namespace samples
