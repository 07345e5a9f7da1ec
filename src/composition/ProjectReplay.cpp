#include "composition/ProjectReplay.h"

#include "ZAMBasicImage/ZAMBasicImage.h"
#include "elements/PictureFiles.h"
#include "project/AppearanceEntry.h"
#include "project/ProjectArchive.h"
#include "project/RecordFile.h"
#include "support/u_logfile.h"

#include <map>

namespace schauplatz {

namespace {

constexpr int kFacadeMaxWidth = 1920;
constexpr int kFacadeMaxHeight = 1080;

TSharedPicture blendedPicture() {
    auto picture = std::make_shared<TBitmap32>();
    picture->SetResamplerClassName("TNearestResampler");
    picture->SetDrawMode(dmBlend);
    return picture;
}

class TPictureCache {
public:
    TSharedPicture element(const std::string& path) {
        auto found = m_pictures.find(path);
        if (found != m_pictures.end()) return found->second;
        TSharedPicture picture = ReadElementPicture(path);
        if (picture->IsEmpty()) WriteLog("Bild nicht lesbar: " + path, 1);
        return m_pictures.emplace(path, std::move(picture)).first->second;
    }

private:
    std::map<std::string, TSharedPicture> m_pictures;
};

} // namespace

TSharedPicture ReadFacadePicture(const std::string& path) {
    TSharedPicture picture = blendedPicture();
    ReadPictureFile(*picture, path);
    FitPictureToSize(*picture, kFacadeMaxWidth, kFacadeMaxHeight);
    return picture;
}

TSharedPicture ReadElementPicture(const std::string& path) {
    TSharedPicture picture = blendedPicture();
    ReadPictureFile(*picture, path);
    return picture;
}

TComposition ReplayRecordLines(const std::vector<std::string>& lines, const TReplayHooks& hooks,
                               const std::vector<TAppearance>& appearances) {
    if (lines.empty()) throw ERecordFileError("Die Projektdaten (data.dat) nennen keine Fassade.");
    const auto resolve = [&hooks](const std::string& recorded) {
        return hooks.picturePath ? hooks.picturePath(recorded) : recorded;
    };
    const auto stopIfCancelled = [&hooks] {
        if (hooks.cancelled && hooks.cancelled()) throw EReplayCancelled();
    };
    // Every line is read before any picture, so a damaged line fails the load at once.
    std::vector<TElementRecord> records;
    records.reserve(lines.size() - 1);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        try {
            records.push_back(SplitElementRecord(lines[i]));
        } catch (const ERecordFileError& error) {
            throw ERecordFileError("Zeile " + std::to_string(i + 1) +
                                   " der Projektdaten (data.dat) ist unlesbar: " + error.what());
        }
    }

    stopIfCancelled();
    TComposition composition;
    const std::string facadePath = resolve(lines[0]);
    TSharedPicture facade = ReadFacadePicture(facadePath);
    if (facade->IsEmpty()) WriteLog("Bild nicht lesbar: " + facadePath, 1);
    composition.SetFacade(facadePath, std::move(facade));
    if (hooks.progress) hooks.progress(1, lines.size());

    TPictureCache pictures;
    for (std::size_t i = 0; i < records.size(); ++i) {
        stopIfCancelled();
        const TElementRecord& r = records[i];
        TPlacedElement element;
        element.Path = resolve(r.Path);
        element.Picture = pictures.element(element.Path);
        element.Quad = {QuadPoint{r.X0, r.Y0}, QuadPoint{r.X1, r.Y1}, QuadPoint{r.X2, r.Y2},
                        QuadPoint{r.X3, r.Y3}};
        if (i < appearances.size()) element.Appearance = ClampAppearance(appearances[i]);
        const std::string path = element.Path;
        if (!composition.AppendReplayed(std::move(element)))
            WriteLog("Element kann nicht gezeichnet werden: " + path, 1);
        if (hooks.progress) hooks.progress(i + 2, lines.size());
    }
    return composition;
}

std::optional<TLoadedProject> LoadProjectFile(const std::string& projectFile,
                                              TProjectFolders& folders, TZipArchive& zip,
                                              TReplayHooks hooks) {
    TProjectLoad load = loadProjectArchive(projectFile, folders, zip);
    switch (load.Outcome) {
    case TLoadOutcome::Refused:
        return std::nullopt;
    case TLoadOutcome::Cancelled:
        throw EReplayCancelled();
    case TLoadOutcome::Failed:
        throw EProjectLoadFailed(load.Error, load.ErrorShown);
    case TLoadOutcome::Loaded:
        break;
    }
    const TUnpackedProject& project = load.Project;
    if (!hooks.picturePath)
        hooks.picturePath = [&project](const std::string& recorded) {
            return project.PicturePath(recorded);
        };
    // A cancel asked for while the pictures are read ends the replay as well.
    hooks.cancelled = [&zip, asked = std::move(hooks.cancelled)] {
        return (asked && asked()) || zip.CancelRequested();
    };
    const std::size_t elementLines = project.LoadStore.empty() ? 0 : project.LoadStore.size() - 1;
    const std::optional<std::vector<TAppearance>> entry =
        project.AppearanceEntry ? ReadAppearanceEntry(*project.AppearanceEntry) : std::nullopt;
    TComposition composition =
        ReplayRecordLines(project.LoadStore, hooks, AppearancesForElements(entry, elementLines));
    return TLoadedProject{std::move(load.Project.LoadStore), std::move(composition),
                          std::move(load.Pictures)};
}

} // namespace schauplatz
