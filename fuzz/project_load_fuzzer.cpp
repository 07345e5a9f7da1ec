// A whole project load as the program does it: the project file is unpacked into this
// instance's work folder, its pictures move into the picture store, data.dat is read, the
// facade and every element picture are read, and each element is drawn in perspective
// onto the facade. Any input must end in a picture or a clear error (an exception), and
// nothing may be written outside the program's temporary folder.

#include "FuzzSupport.h"

#include "elements/PictureFiles.h"
#include "project/ProjectArchive.h"
#include "project/RecordFile.h"
#include "project/TProjectFolders.h"
#include "project/TZipArchive.h"
#include "raster/Bitmap32.h"
#include "raster/Drawing.h"
#include "raster/Transformation.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

namespace {

using namespace schauplatz;

// A facade larger than this is read but not drawn on, which keeps single runs short.
constexpr std::int64_t kMaxDrawnPixels = std::int64_t{2048} * 2048;

void drawElement(TBitmap32& facade, const TElementRecord& record, TBitmap32& element) {
    if (element.IsEmpty() || facade.IsEmpty()) return;
    TBitmap32 workspace;
    workspace.SetSize(facade.Width(), facade.Height());
    workspace.Clear(0);
    TProjectiveTransformation transformation;
    transformation.SetX0(static_cast<float>(record.X0));
    transformation.SetY0(static_cast<float>(record.Y0));
    transformation.SetX1(static_cast<float>(record.X1));
    transformation.SetY1(static_cast<float>(record.Y1));
    transformation.SetX2(static_cast<float>(record.X2));
    transformation.SetY2(static_cast<float>(record.Y2));
    transformation.SetX3(static_cast<float>(record.X3));
    transformation.SetY3(static_cast<float>(record.Y3));
    transformation.SetSourceRect(TFloatRect{0.0f, 0.0f, static_cast<float>(element.Width() - 1),
                                            static_cast<float>(element.Height() - 1)});
    DrawTransformed(&workspace, &element, &transformation);
    // Accepting copies every non-zero workspace pixel onto the background.
    const std::size_t count =
        static_cast<std::size_t>(facade.Width()) * static_cast<std::size_t>(facade.Height());
    TColor32* target = facade.Bits();
    const TColor32* source = workspace.Bits();
    for (std::size_t i = 0; i < count; ++i)
        if (source[i] != 0) target[i] = source[i];
}

void loadProject(const std::string& projectFile, TProjectFolders& folders) {
    TZipArchive zip;
    zip.OnMessage = [](const std::string&) {};
    TZipLimits limits;
    limits.MaxEntryBytes = std::uint64_t{4} << 20;
    limits.MaxTotalBytes = std::uint64_t{16} << 20;
    zip.SetLimits(limits);
    const std::optional<TUnpackedProject> project = unpackProjectArchive(projectFile, folders, zip);
    if (!project || project->LoadStore.empty()) return;

    TBitmap32 facade;
    ReadPictureFile(facade, project->PicturePath(project->LoadStore[0]));
    const bool draw = std::int64_t{facade.Width()} * facade.Height() <= kMaxDrawnPixels;
    TBitmap32 element;
    for (std::size_t i = 1; i < project->LoadStore.size(); ++i) {
        const TElementRecord record = SplitElementRecord(project->LoadStore[i]);
        ReadPictureFile(element, project->PicturePath(record.Path));
        if (draw) drawElement(facade, record, element);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& scratch = fuzz::scratchFolder();
    const std::string projectFile = scratch + "project.vbk";
    const std::string temp = scratch + "temp/";
    std::error_code error;
    std::filesystem::create_directories(temp, error);
    fuzz::writeInput(projectFile, data, size);
    {
        // One instance per input, as each start of the program has its own.
        TProjectFolders folders(temp);
        try {
            loadProject(projectFile, folders);
        } catch (const std::exception&) {
            // A clear error for the window's message; the load ends there.
        }
        fuzz::requireOnly(temp, {"zam-werk"});
        fuzz::requireOnly(scratch, {"project.vbk", "temp"});
    }
    fuzz::removeTree(temp);
    return 0;
}
