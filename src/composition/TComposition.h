#pragma once

// TComposition: what a project is, as a document the window edits. It holds the facade (its
// path and its picture as fitted), the placed elements in the order in which they are drawn,
// and the background that follows from them: the facade with every element drawn over it in
// order. Every change (accepting, re-editing, removing, reordering) is one step of an
// unlimited history that undo and redo walk; the record lines (line 0 the facade, then one
// element record line per placed element) always describe exactly the elements shown.
//
// The background is never rebuilt as a whole after a change: the areas the change touches are
// drawn again from the facade, with every element that meets them (ElementRendering.h), which
// gives the pixels of a full replay. So the history needs no pictures of its own; it keeps the
// element pictures its steps refer to, within a memory bound.
//
// Every operation either completes or leaves the document, the background and the history as
// they were (a memory error in the middle of a redraw puts the touched areas back).

#include "composition/CompositionHistory.h"
#include "composition/ElementRendering.h"
#include "composition/PlacedElement.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace schauplatz {

class TComposition {
public:
    TComposition();
    TComposition(TComposition&&) noexcept;
    TComposition& operator=(TComposition&&) noexcept;
    TComposition(const TComposition&) = delete;
    TComposition& operator=(const TComposition&) = delete;
    ~TComposition();

    // --- the document ---------------------------------------------------------------------
    // A new facade: no elements, a new history. path "" for a picture that came from no file
    // (the record list is then empty until a file is named, see NameFacade).
    void SetFacade(std::string path, TSharedPicture picture);
    // Gives a facade that came from no file the file it was stored in (line 0), without
    // touching the history.
    void NameFacade(std::string path);
    const std::string& FacadePath() const { return m_facadePath; }
    const TBitmap32& Facade() const { return *m_facade; }
    const std::vector<TPlacedElement>& Elements() const { return m_elements; }
    const TBitmap32& Background() const { return m_background; }
    // Line 0 the facade path, then one element record line per placed element; empty while
    // the facade has no path.
    std::vector<std::string> RecordLines() const;
    // The bytes of the archive entry schauplatz.json for the elements' appearance settings,
    // one object per element record line; "" while every element is neutral (the project
    // then needs no entry and stays as it always was).
    std::string AppearanceEntry() const;

    // --- changes, each one step of the history ----------------------------------------------
    void Accept(TPlacedElement element);
    void Replace(std::size_t index, TPlacedElement element);
    void Remove(std::size_t index);
    // Moves the element at from so that it ends at position to (0 drawn first).
    void Move(std::size_t from, std::size_t to);

    // --- re-editing -------------------------------------------------------------------------
    // The topmost element whose own drawn pixel at (x, y) is not 0.
    std::optional<std::size_t> ElementAt(std::int32_t x, std::int32_t y);
    // Takes the element up: the background shows the composite without it; the document and
    // the history are unchanged until it is put back.
    void TakeUp(std::size_t index);
    std::optional<std::size_t> TakenUp() const { return m_takenUp; }
    // Puts the taken-up element back as element, at position (its own place when unchanged):
    // one step when anything changed, none otherwise.
    void PutBack(TPlacedElement element, std::size_t position);
    // Puts the taken-up element back unchanged.
    void CancelEdit();
    // Removes the taken-up element from the composite (one step).
    void RemoveTakenUp();

    // --- history ----------------------------------------------------------------------------
    bool CanUndo() const { return m_history.canUndo(); }
    bool CanRedo() const { return m_history.canRedo(); }
    // An edit in progress is cancelled first.
    void Undo();
    void Redo();
    const TCompositionHistory& History() const { return m_history; }
    // Names the document's state: equal names, equal facade and elements (an undo back to a
    // saved state gives the saved state's name again).
    std::uint64_t StateId() const { return m_history.stateId(); }
    // Counts every change of the document (steps, undo, redo, a new facade), so observers
    // know when the background or the record lines changed.
    std::uint64_t Generation() const { return m_generation; }
    // The areas of the background the last operation changed (the whole picture after a new
    // facade).
    const std::vector<TRect>& ChangedAreas() const { return m_changedAreas; }

    // The background as it was before the last step that undo would take back; empty when
    // there is none.
    TBitmap32 UndoPicture();

    // --- replay -----------------------------------------------------------------------------
    // Appends an element without a history step (building a project from its record lines).
    // After an error the composition is incomplete and is to be discarded.
    // False when the element could not be drawn (its picture one pixel wide or high, a
    // degenerate quad): it is placed all the same and draws nothing.
    bool AppendReplayed(TPlacedElement element);

private:
    // Applies the changes in order to the elements and redraws what they touch; with
    // recordStep the changes become one history step.
    void apply(const std::vector<TElementChange>& changes, bool recordStep);
    void redraw(const std::vector<TPlacedElement>& elements, const std::vector<TRect>& areas);
    // The elements shown: all of them, or all but the one taken up.
    std::vector<TPlacedElement> shownElements() const;
    std::vector<TRect> areasOf(const std::vector<TElementChange>& changes) const;

    std::string m_facadePath;
    TSharedPicture m_facade;
    std::vector<TPlacedElement> m_elements;
    TBitmap32 m_background;
    TElementCanvas m_canvas;
    TCompositionHistory m_history;
    std::optional<std::size_t> m_takenUp;
    std::uint64_t m_generation = 0;
    std::vector<TRect> m_changedAreas;
};

} // namespace schauplatz
