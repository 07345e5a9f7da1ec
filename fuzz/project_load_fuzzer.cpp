// A whole project load as the window and the headless renderer load one: the input unpacked
// as a project file into a picture store, data.dat read, the facade read and every element
// replayed through the document model. Any input must end in a background picture or a clear
// error (an exception, as the renderer reports it), and nothing may be written outside the
// program's temporary folder, where only the work folders may remain.

#include "FuzzSupport.h"

#include "composition/ProjectReplay.h"
#include "support/U_SYSTOOLS.h"

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>

namespace {

using namespace schauplatz;

void checkBackground(const TBitmap32& picture) {
    if (picture.Width() < 0 || picture.Height() < 0) fuzz::finding("negative background size");
    if (picture.IsEmpty()) return;
    // The last pixel: a background whose memory is shorter than its size shows under ASan.
    const std::size_t count =
        static_cast<std::size_t>(picture.Width()) * static_cast<std::size_t>(picture.Height());
    volatile TColor32 last = picture.Bits()[count - 1];
    (void)last;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The window's temporary folder (and with it the work folder) lies in the sandbox.
    const std::string temp = fuzz::scratchFolder() + "temp/";
    std::error_code error;
    std::filesystem::create_directories(temp, error);
    ::setenv("TMPDIR", temp.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& scratch = fuzz::scratchFolder();
    const std::string projectFile = scratch + "project.vbk";
    fuzz::writeInput(projectFile, data, size);
    {
        std::ostringstream messages;
        TProjectFolders folders(GetTempFolder());
        TZipArchive zip;
        zip.OnMessage = [&messages](const std::string& message) { messages << message; };
        try {
            std::optional<TLoadedProject> loaded = LoadProjectFile(projectFile, folders, zip);
            if (loaded) checkBackground(loaded->composition.Background());
        } catch (const std::exception&) {
            // The renderer reports the text and ends; the window's error handling shows it.
        }
    }
    // Only the program's private temporary folder, holding only the work folders.
    const std::string privateFolder = GetTempFolder();
    const std::string privateName =
        std::filesystem::path(privateFolder).parent_path().filename().string();
    fuzz::requireOnly(scratch + "temp/", {privateName});
    fuzz::requireOnly(privateFolder, {"zam-werk"});
    fuzz::requireOnly(scratch, {"project.vbk", "temp"});
    return 0;
}
