// Preview, acceptance, undo and redo: the element placed into the composition, the record
// list and the pictures of the window following it.

#include "MainUnit/MainUnit.h"

#include "elements/PictureFiles.h"
#include "elements/StoredPicture.h"
#include "raster/ElementRendering.h"
#include "raster/Transformation.h"
#include "support/U_SYSTOOLS.h"

#include <cstdio>
#include <cstring>

namespace schauplatz {

namespace {

void copyArea(TBitmap32& target, const TBitmap32& source, const TRect& area) {
    const auto bytes = static_cast<std::size_t>(area.Width()) * sizeof(TColor32);
    for (std::int32_t y = area.Top; y < area.Bottom; ++y)
        std::memcpy(target.PixelPointer(area.Left, y), source.PixelPointer(area.Left, y), bytes);
}

} // namespace

TProjectFolders& TForm_Schauplatz::ProjectFolders() {
    if (!m_placement.projectFolders)
        m_placement.projectFolders = std::make_unique<TProjectFolders>(GetTempFolder());
    return *m_placement.projectFolders;
}

bool TForm_Schauplatz::CommandRefused() const {
    return ProjectBusy() || ActiveVertex >= 0;
}

void TForm_Schauplatz::CombineHintergrundAndOverlay() {
    TBitmap32& preview = ImageCombined.Bitmap();
    preview.Assign(&ImageHintergrund.Bitmap());
    // The element as the composite will hold it: copied when drawn exactly, blended by its
    // alpha when drawn with settings.
    if (IsNeutral(m_placement.workspaceAppearance))
        ImageCombined.CopyNonZeroPixels(WorkingPlaceImage.Bitmap());
    else
        CompositeElementLayer(preview, WorkingPlaceImage.Bitmap(), m_placement.elementArea,
                              m_placement.workspaceAppearance);
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

void TForm_Schauplatz::showWholeBackground() {
    ImageHintergrund.Bitmap().Assign(&m_composition.Background());
}

// The background control holds a copy of the composition's background: after a change only
// the areas the change touched are copied (the whole picture when its size changed).
void TForm_Schauplatz::ShowComposition() {
    const TBitmap32& background = m_composition.Background();
    TBitmap32& shown = ImageHintergrund.Bitmap();
    if (shown.Width() != background.Width() || shown.Height() != background.Height()) {
        showWholeBackground();
    } else {
        for (const TRect& area : m_composition.ChangedAreas())
            copyArea(shown, background, IntersectRect(area, background.BoundsRect()));
        shown.Changed();
    }
    ++m_placement.backgroundGeneration;
    m_placement.shownComposition = m_composition.Generation();
    WorkingPlaceImage.Invalidate();
    ProjectData = m_composition.RecordLines();
    UpdateCaption();

    TBitmap32 undo = m_composition.UndoPicture();
    if (!(undo.IsEmpty() && ImageUndo.Bitmap().IsEmpty())) {
        ImageUndo.Bitmap().Assign(&undo);
        ImageUndo.Invalidate();
    }
    updateHistoryItems();
}

void TForm_Schauplatz::updateHistoryItems() {
    const bool editing = Editing();
    const std::pair<const char*, bool> states[] = {
        {"Schrittzurck1", m_composition.CanUndo() || editing},
        {"Schrittvor1", m_composition.CanRedo()},
        {"Bearbeitungabbrechen1", editing},
        {"Elemententfernen1", editing},
        {"Nachvorne1", editing && m_placement.editPosition + 1 < m_composition.Elements().size()},
        {"Nachhinten1", editing && m_placement.editPosition > 0},
        // Turning the facade would leave the placed elements' quads in the wrong places.
        {"Fassadenachlinksdrehen1", m_composition.Elements().empty()},
        {"Fassadenachrechtsdrehen1", m_composition.Elements().empty()},
    };
    bool changed = false;
    for (const auto& [name, enabled] : states) {
        MenuItem& item = Item(name);
        if (item.enabled == enabled) continue;
        item.enabled = enabled;
        changed = true;
    }
    if (changed) m_host.menuStateChanged();
}

TPlacedElement TForm_Schauplatz::CurrentElement() {
    if (!m_placement.placedPicture || m_placement.placedPictureOf != m_placement.elementPicture) {
        auto picture = std::make_shared<TBitmap32>();
        picture->Assign(&ImageSelectedDoor.Bitmap());
        m_placement.placedPicture = std::move(picture);
        m_placement.placedPictureOf = m_placement.elementPicture;
    }
    return TPlacedElement{recordedElementPath(), m_placement.placedPicture, Vertices,
                          m_placement.appearance};
}

// The file the record line names for the element being placed: its own file; a copy without
// ";" when its path has one (the record line cannot quote it); a mirrored copy, read back to
// exactly the pixels placed, alpha included, while the picture is mirrored.
std::string TForm_Schauplatz::recordedElementPath() {
    if (m_placement.mirrored) {
        if (m_placement.mirroredCopyOf != m_placement.elementPicture) {
            std::string stem = FileNamePart(ElementFile);
            if (const std::size_t dot = stem.rfind('.'); dot != std::string::npos && dot > 0)
                stem.resize(dot);
            const EnteredPicture stored = StorePicture(
                ImageSelectedDoor.Bitmap(), stem + " gespiegelt", ProjectFolders().PictureSet());
            if (!stored.usable()) throw EPictureFileError(stored.message);
            m_placement.mirroredCopy = stored.recordPath;
            m_placement.mirroredCopyOf = m_placement.elementPicture;
        }
        return m_placement.mirroredCopy;
    }
    if (m_placement.recordedPathOf != ElementFile || m_placement.recordedPath.empty()) {
        m_placement.recordedPath = ElementFile.find(';') == std::string::npos
                                       ? ElementFile
                                       : ProjectFolders().KeepPicture(ElementFile);
        m_placement.recordedPathOf = ElementFile;
    }
    return m_placement.recordedPath;
}

// Line 0 always names the facade: a background that came from no file is kept as one.
void TForm_Schauplatz::storeFacadeIfUnnamed() {
    if (!m_composition.FacadePath().empty()) return;
    const std::string path = ProjectFolders().FreePicturePath("Hintergrund.bmp");
    WriteBitmapFile(m_composition.Facade(), path);
    m_composition.NameFacade(path);
}

// The change to the composite either completes or leaves everything as it was; a facade
// that had to be stored for line 0 is named only when the change went through.
void TForm_Schauplatz::placeCurrentElement() {
    TPlacedElement element = CurrentElement();
    std::string storedFacade;
    if (m_composition.FacadePath().empty()) {
        storedFacade = ProjectFolders().FreePicturePath("Hintergrund.bmp");
        WriteBitmapFile(m_composition.Facade(), storedFacade);
    }
    try {
        if (Editing())
            m_composition.PutBack(std::move(element), m_placement.editPosition);
        else
            m_composition.Accept(std::move(element));
    } catch (...) {
        if (!storedFacade.empty()) std::remove(storedFacade.c_str());
        throw;
    }
    if (!storedFacade.empty()) m_composition.NameFacade(storedFacade);
}

void TForm_Schauplatz::Elementbernehmen1Click() {
    if (CommandRefused()) return;
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

    placeCurrentElement();
    ShowComposition();
    // The element offered again may not be drawable (a picture one pixel wide or high); the
    // acceptance itself is complete.
    try {
        NeuesElementpositionieren1Click();
    } catch (const EDivByZero&) {
    }
}

// One step back: the composite before the last change. An element being edited is put back
// unchanged first; that alone is the step.
void TForm_Schauplatz::Schrittzurck1Click() {
    if (CommandRefused()) return;
    if (Editing()) {
        Bearbeitungabbrechen1Click();
        return;
    }
    if (!m_composition.CanUndo()) return;
    m_composition.Undo();
    ShowComposition();
}

void TForm_Schauplatz::Schrittvor1Click() {
    if (CommandRefused()) return;
    if (Editing()) Bearbeitungabbrechen1Click();
    if (!m_composition.CanRedo()) return;
    m_composition.Redo();
    ShowComposition();
}

} // namespace schauplatz
