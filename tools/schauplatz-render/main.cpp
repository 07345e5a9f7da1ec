// schauplatz-render PROJECT.vbk OUTPUT.bmp
//
// Loads a project file through the document model the window uses (unpacked into a picture
// store of its own, every record line replayed) and writes the rebuilt background, the
// picture the clipboard would receive: a 32-bit BMP with the pixels exactly, or an RGB PNG
// when OUTPUT ends in ".png". What the window would show in a message window goes to
// standard error. The run has its own work folder and picture store, so it never disturbs a
// running Schauplatz.
//
// Exit status: 0 when the project was loaded (a picture that cannot be read counts as empty,
// as in the window) and the output written; 1 when the project file is missing or no
// archive, its data.dat is missing, the load ended with an error or the output cannot be
// written; 2 for a wrong command line.

#include "PngFile.h"

#include "composition/ProjectReplay.h"
#include "elements/PictureFiles.h"
#include "support/U_SYSTOOLS.h"
#include "support/u_logfile.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

using namespace schauplatz;

constexpr const char* kProgram = "schauplatz-render";

bool endsWithPng(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return tail == ".png";
}

int fail(const std::string& text) {
    std::cerr << kProgram << ": " << text << std::endl;
    return 1;
}

int render(const std::string& project, const std::string& output) {
    std::error_code error;
    const auto status = std::filesystem::status(project, error);
    if (!std::filesystem::exists(status)) return fail("project file not found: " + project);
    if (!std::filesystem::is_regular_file(status))
        return fail("project file is not a file: " + project);

    TProjectFolders folders(GetTempFolder());
    TZipArchive zip;
    zip.OnMessage = [](const std::string& message) {
        std::cerr << "Projektarchiv: " << message << std::endl;
    };
    std::optional<TLoadedProject> loaded;
    try {
        loaded = LoadProjectFile(project, folders, zip);
    } catch (const std::exception& e) {
        return fail("loading " + project + " failed: " + e.what());
    }
    if (!loaded) return fail("loading " + project + " failed");

    try {
        const TBitmap32& background = loaded->composition.Background();
        if (endsWithPng(output))
            WritePngFile(background, output);
        else
            WriteBitmapFile(background, output);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: " << kProgram << " PROJECT.vbk OUTPUT.bmp\n"
                  << "  writes the picture a project rebuilds, as a 32-bit BMP, or as a PNG\n"
                  << "  when OUTPUT ends in \".png\"" << std::endl;
        return 2;
    }
    LogUnitStart();
    int result = 1;
    try {
        result = render(argv[1], argv[2]);
    } catch (const std::exception& e) {
        result = fail(e.what());
    }
    LogUnitEnd();
    return result;
}
