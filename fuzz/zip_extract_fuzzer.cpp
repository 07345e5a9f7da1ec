// Extraction of an archive from anywhere into a work folder. The work folder lies alone in a
// sandbox folder; after each input the sandbox must still hold nothing but the work folder,
// the work folder nothing but regular files (data.dat within its lower cap), and the folder
// of the archive nothing new. A cancelled extraction first must leave the folder empty.

#include "FuzzSupport.h"

#include "project/TZipArchive.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

using namespace schauplatz;
namespace fs = std::filesystem;

void requireRegularFilesOnly(const std::string& folder) {
    for (const std::string& name : fuzz::folderNames(folder)) {
        std::error_code error;
        const fs::file_status status = fs::symlink_status(folder + name, error);
        if (error || !fs::is_regular_file(status))
            fuzz::finding("extraction left a non-file \"" + name + "\" in the work folder");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& scratch = fuzz::scratchFolder();
    const std::string archive = scratch + "archive.vbk";
    const std::string sandbox = scratch + "sandbox/";
    const std::string work = sandbox + "work/";
    fuzz::removeTree(sandbox);
    std::error_code error;
    fs::create_directories(work, error);
    if (error) fuzz::finding("cannot create the work folder");
    fuzz::writeInput(archive, data, size);

    TZipArchive zip;
    zip.OnMessage = [](const std::string&) {};
    // Small caps keep each run short; the cap logic itself is what is under test.
    TZipLimits limits;
    limits.MaxEntryBytes = std::uint64_t{4} << 20;
    limits.MaxTotalBytes = std::uint64_t{16} << 20;
    limits.MaxBytesByName["data.dat"] = 64 << 10; // as a load caps its record file
    zip.SetLimits(limits);
    if (zip.SetArchive(archive)) {
        // A cancelled extraction removes what it made.
        zip.RequestCancel();
        zip.ExtractAll(work);
        if (zip.LastOutcome() != TZipOutcome::Cancelled && zip.LastOutcome() != TZipOutcome::Failed)
            fuzz::finding("a cancelled extraction went through");
        fuzz::requireOnly(work, {});
        zip.ClearCancel();
        zip.ExtractAll(work);
    }

    fuzz::requireOnly(sandbox, {"work"});
    fuzz::requireOnly(scratch, {"archive.vbk", "sandbox"});
    requireRegularFilesOnly(work);
    std::error_code sizeError;
    if (fs::exists(work + "data.dat") && fs::file_size(work + "data.dat", sizeError) > (64 << 10))
        fuzz::finding("data.dat beyond its cap");
    return 0;
}
