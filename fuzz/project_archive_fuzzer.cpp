// The project load of the engine (loadProjectArchive) into a pending picture set, with the
// record-file limits and cancellation. Whatever the input: the open project's picture set
// stays as it was; a failed or cancelled load leaves nothing; a successful one holds every
// element line split, at most 100,000 lines, and its pending set is the only new folder
// (and goes again when it is dropped); nothing appears outside the program's folders.

#include "FuzzSupport.h"

#include "project/ProjectArchive.h"
#include "project/RecordFile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

using namespace schauplatz;
namespace fs = std::filesystem;

void checkLoaded(const TProjectLoad& load) {
    const TUnpackedProject& project = load.Project;
    if (!load.Pictures || !load.Pictures->Pending()) fuzz::finding("a load without its pictures");
    if (project.LoadStore.empty()) fuzz::finding("a project without a facade line loaded");
    if (project.LoadStore.size() > kMaxRecordFileLines) fuzz::finding("the line limit let through");
    if (project.Elements.size() + 1 != project.LoadStore.size())
        fuzz::finding("element lines and records differ in number");
    for (std::size_t i = 1; i < project.LoadStore.size(); ++i) {
        if (!(SplitElementRecord(project.LoadStore[i]) == project.Elements[i - 1]))
            fuzz::finding("an element record differs from its line");
        // Every lookup names a file in the set, or the plain name there.
        const std::string path = project.PicturePath(project.Elements[i - 1].Path);
        if (path.rfind(project.PictureFolder, 0) != 0) fuzz::finding("a picture outside the set");
    }
    if (fs::exists(project.PictureFolder + "data.dat")) fuzz::finding("data.dat left as a picture");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& scratch = fuzz::scratchFolder();
    const std::string projectFile = scratch + "project.vbk";
    const std::string temp = scratch + "temp/";
    fuzz::removeTree(temp);
    std::error_code error;
    fs::create_directories(temp, error);
    fuzz::writeInput(projectFile, data, size);
    {
        TProjectFolders folders(temp);
        const std::string current = folders.PictureSet();
        fuzz::writeInput(current + "Haus.png", reinterpret_cast<const std::uint8_t*>("open"), 4);
        TZipArchive zip;
        zip.OnMessage = [](const std::string&) {};
        // Small caps keep each run short; the cap logic itself is what is under test.
        TZipLimits limits;
        limits.MaxEntryBytes = std::uint64_t{4} << 20;
        limits.MaxTotalBytes = std::uint64_t{16} << 20;
        zip.SetLimits(limits);
        // Every other input is cancelled from the worker as soon as the extraction starts.
        const bool cancel = size > 0 && (data[size - 1] & 1) != 0;
        if (cancel)
            zip.SetWorkerHook([&zip] {
                if (!zip.Entries().empty()) zip.RequestCancel();
            });
        {
            TProjectLoad load = loadProjectArchive(projectFile, folders, zip);
            if (load.Outcome == TLoadOutcome::Loaded) {
                checkLoaded(load);
                if (folders.PictureSet() != current) fuzz::finding("committed before the replay");
            } else {
                if (load.Pictures) fuzz::finding("a failed load kept its pictures");
                if (load.Outcome == TLoadOutcome::Failed && load.Error.empty())
                    fuzz::finding("a failed load without a message");
            }
        }
        // Uncommitted, the load is gone again; the open project's set is as it was.
        const std::string set = fs::path(current).parent_path().filename().string();
        fuzz::requireOnly(folders.PictureStore(), {set});
        fuzz::requireOnly(current, {"Haus.png"});
    }
    fuzz::requireOnly(temp, {"zam-werk"});
    fuzz::requireOnly(scratch, {"project.vbk", "temp"});
    return 0;
}
