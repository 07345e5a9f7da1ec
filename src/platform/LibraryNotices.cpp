#include "platform/LibraryNotices.h"

#include <QtGlobal>

#include <cstdio> // before jpeglib.h, which uses FILE

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <jpeglib.h>
#include <png.h>
#include <zip.h>
#include <zlib.h>

#include <string>

namespace schauplatz {

namespace {

// "2.1.5" from 2001005 (libjpeg-turbo's major · 1000000 + minor · 1000 + patch).
std::string dottedVersion(long number, long majorStep, long minorStep) {
    return std::to_string(number / majorStep) + "." +
           std::to_string(number / minorStep % (majorStep / minorStep)) + "." +
           std::to_string(number % minorStep);
}

std::string freetypeVersion() {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return {};
    FT_Int major = 0;
    FT_Int minor = 0;
    FT_Int patch = 0;
    FT_Library_Version(library, &major, &minor, &patch);
    FT_Done_FreeType(library);
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

} // namespace

std::vector<LibraryNotice> UsedLibraryNotices() {
    return {
        {"Qt", qVersion(), "GNU LGPL 3.0"},
#ifdef LIBJPEG_TURBO_VERSION_NUMBER
        {"libjpeg-turbo", dottedVersion(LIBJPEG_TURBO_VERSION_NUMBER, 1000000, 1000),
         "IJG-Lizenz, BSD-3-Clause"},
#else
        {"libjpeg", std::to_string(JPEG_LIB_VERSION), "IJG-Lizenz"},
#endif
        {"libpng", png_get_libpng_ver(nullptr), "libpng-Lizenz (PNG Reference Library License 2)"},
        {"zlib", zlibVersion(), "zlib-Lizenz"},
        {"libzip", zip_libzip_version(), "BSD-3-Clause"},
        {"FreeType", freetypeVersion(), "FreeType-Lizenz (FTL)"},
        {"Fontconfig", dottedVersion(FcGetVersion(), 10000, 100), "MIT-artige Lizenz"},
    };
}

} // namespace schauplatz
