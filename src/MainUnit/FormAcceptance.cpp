// Preview, acceptance and undo: the element merged into the background, recorded in the
// project's record list, and one step back.

#include "MainUnit/MainUnit.h"

#include "elements/PictureFiles.h"
#include "project/RecordFile.h"
#include "support/U_SYSTOOLS.h"

#include <ctime>
#include <filesystem>

namespace schauplatz {

namespace {

// A name for a picture of the background that no file in folder has yet.
std::string freshBackgroundName(const std::string& folder) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string stem = std::string("Hintergrund-") + stamp;
    std::string path = folder + stem + ".bmp";
    std::error_code ignored;
    for (int number = 2; std::filesystem::exists(path, ignored); ++number)
        path = folder + stem + "-" + std::to_string(number) + ".bmp";
    return path;
}

} // namespace

TProjectFolders& TForm_Schauplatz::ProjectFolders() {
    if (!m_placement.projectFolders)
        m_placement.projectFolders = std::make_unique<TProjectFolders>(GetTempFolder());
    return *m_placement.projectFolders;
}

void TForm_Schauplatz::CombineHintergrundAndOverlay() {
    TBitmap32& preview = ImageCombined.Bitmap();
    preview.Assign(&ImageHintergrund.Bitmap());
    ImageCombined.CopyNonZeroPixels(WorkingPlaceImage.Bitmap());
    m_placement.previewBackground = m_placement.backgroundGeneration;
    m_placement.previewWorkspace = m_placement.workspaceGeneration;
    ImageCombined.Invalidate();
}

void TForm_Schauplatz::UpdatePreview() {
    if (m_placement.previewBackground == m_placement.backgroundGeneration &&
        m_placement.previewWorkspace == m_placement.workspaceGeneration)
        return;
    CombineHintergrundAndOverlay();
}

void TForm_Schauplatz::DiscardUndo() {
    m_placement.undoAvailable = false;
    m_placement.undoLine.clear();
    if (!ImageUndo.Bitmap().IsEmpty()) {
        ImageUndo.Bitmap().Assign(nullptr);
        ImageUndo.Invalidate();
    }
}

void TForm_Schauplatz::Elementbernehmen1Click() {
    if (ProjectBusy()) return;
    ClearQuadSelection();
    // Whatever happens below, the frame item ends checked; with the new-element mode off the
    // frame follows it, so menu and workspace agree.
    struct FrameItemChecked {
        TForm_Schauplatz& form;
        ~FrameItemChecked() {
            form.Item("Vertexanaus1").checked = true;
            if (!form.Item("NeuesElementpositionieren1").checked) form.ShowFrame = true;
            form.m_host.menuStateChanged();
        }
    } frameItemChecked{*this};

    ImageUndo.Bitmap().Assign(&ImageHintergrund.Bitmap());
    ImageUndo.Invalidate();
    m_placement.undoAvailable = false; // until the acceptance is complete

    CombineHintergrundAndOverlay();
    ImageHintergrund.Bitmap().Assign(&ImageCombined.Bitmap());
    ++m_placement.backgroundGeneration;
    // The preview already is the new background.
    m_placement.previewBackground = m_placement.backgroundGeneration;
    WorkingPlaceImage.Invalidate();

    // Line 0 always names the facade: a background that came from no file is kept as one.
    if (ProjectData.empty()) {
        const std::string path = freshBackgroundName(ProjectFolders().PictureSet());
        WriteBitmapFile(ImageUndo.Bitmap(), path);
        ProjectData.push_back(path);
    }
    // The record line cannot quote a ";" in the path: such a picture is recorded as a copy
    // whose name has none.
    std::string elementPath = ElementFile;
    if (elementPath.find(';') != std::string::npos)
        elementPath = ProjectFolders().KeepPicture(elementPath);
    TElementRecord record;
    record.Path = elementPath;
    record.X0 = Vertices[0].X;
    record.Y0 = Vertices[0].Y;
    record.X1 = Vertices[1].X;
    record.Y1 = Vertices[1].Y;
    record.X2 = Vertices[2].X;
    record.Y2 = Vertices[2].Y;
    record.X3 = Vertices[3].X;
    record.Y3 = Vertices[3].Y;
    ProjectData.push_back(FormatElementRecord(record));
    m_placement.undoAvailable = true;
    m_placement.undoLineIndex = ProjectData.size() - 1;
    m_placement.undoLine = ProjectData.back();

    NeuesElementpositionieren1Click();
}

// One step back: the background before the last acceptance, and that acceptance's record
// line out of the record list. With nothing to undo nothing changes.
void TForm_Schauplatz::Schrittzurck1Click() {
    if (ProjectBusy()) return;
    if (!m_placement.undoAvailable) return;
    m_placement.undoAvailable = false;
    ImageHintergrund.Bitmap().Assign(&ImageUndo.Bitmap());
    ++m_placement.backgroundGeneration;
    WorkingPlaceImage.Invalidate();
    if (m_placement.undoLineIndex < ProjectData.size() &&
        m_placement.undoLineIndex + 1 == ProjectData.size() &&
        ProjectData.back() == m_placement.undoLine)
        ProjectData.pop_back();
    m_placement.undoLine.clear();
}

} // namespace schauplatz
