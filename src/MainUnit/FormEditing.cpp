// Re-editing a placed element: a double click takes it up into the workspace, where it is
// dragged, mirrored or given another picture like a new element; "Element übernehmen" puts
// it back at its place in the order, "Bearbeitung abbrechen" puts it back unchanged,
// "Element entfernen" takes it out of the composite, "Nach vorne" and "Nach hinten" change
// its place in the order.

#include "MainUnit/MainUnit.h"

namespace schauplatz {

bool TForm_Schauplatz::TakeUpElementAt(int X, int Y) {
    if (CommandRefused()) return false;
    // A double click on a corner of the element being placed grabs that corner, as ever (the
    // grab zone is the press's, in screen pixels).
    if (cornerAt(X, Y) >= 0) return false;
    std::optional<std::size_t> hit = m_composition.ElementAt(X, Y);
    if (!hit) return false;
    // Another element being edited goes back first, with its changes.
    if (Editing()) {
        m_composition.PutBack(CurrentElement(), m_placement.editPosition);
        // The put-back element may lie over the point now, or have changed the order.
        hit = m_composition.ElementAt(X, Y);
        if (!hit) {
            ShowComposition();
            return false;
        }
    }
    const TPlacedElement element = m_composition.Elements()[*hit];
    m_composition.TakeUp(*hit);
    m_placement.editPosition = *hit;

    // The taken-up element becomes the element being placed, its quad the current quad.
    TBitmap32& door = ImageSelectedDoor.Bitmap();
    if (element.Picture)
        door.Assign(element.Picture.get());
    else
        door.Assign(nullptr);
    ImageSelectedDoor.Invalidate();
    ++m_placement.elementPicture;
    m_placement.mirrored = false; // the picture is what its recorded file holds
    m_placement.placedPicture = element.Picture;
    m_placement.placedPictureOf = m_placement.elementPicture;
    ElementFile = element.Path;
    m_placement.recordedPath = element.Path;
    m_placement.recordedPathOf = element.Path;
    Vertices = element.Quad;
    m_placement.appearance = element.Appearance;
    if (!Item("NeuesElementpositionieren1").checked)
        Item("NeuesElementpositionieren1").checked = true;
    Item("Vertexanaus1").checked = true;
    ShowFrame = true;
    m_host.menuStateChanged();
    ShowComposition();
    RenderElement();
    return true;
}

void TForm_Schauplatz::endEdit() {
    ShowComposition();
    NeuesElementpositionieren1Click();
}

void TForm_Schauplatz::Bearbeitungabbrechen1Click() {
    if (CommandRefused() || !Editing()) return;
    m_composition.CancelEdit();
    endEdit();
}

void TForm_Schauplatz::Elemententfernen1Click() {
    if (CommandRefused() || !Editing()) return;
    m_composition.RemoveTakenUp();
    endEdit();
}

void TForm_Schauplatz::Nachvorne1Click() {
    if (CommandRefused() || !Editing()) return;
    if (m_placement.editPosition + 1 < m_composition.Elements().size()) ++m_placement.editPosition;
    updateHistoryItems();
}

void TForm_Schauplatz::Nachhinten1Click() {
    if (CommandRefused() || !Editing()) return;
    if (m_placement.editPosition > 0) --m_placement.editPosition;
    updateHistoryItems();
}

} // namespace schauplatz
