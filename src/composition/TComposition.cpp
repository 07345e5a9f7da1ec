#include "composition/TComposition.h"

#include "project/AppearanceEntry.h"
#include "project/RecordFile.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace schauplatz {

namespace {

using Kind = TElementChange::Kind;

TElementChange insertion(std::size_t index, TPlacedElement element) {
    TElementChange change;
    change.kind = Kind::Insert;
    change.index = index;
    change.after = std::move(element);
    return change;
}

TElementChange erasure(std::size_t index, TPlacedElement element) {
    TElementChange change;
    change.kind = Kind::Erase;
    change.index = index;
    change.before = std::move(element);
    return change;
}

TElementChange replacement(std::size_t index, TPlacedElement before, TPlacedElement after) {
    TElementChange change;
    change.kind = Kind::Replace;
    change.index = index;
    change.before = std::move(before);
    change.after = std::move(after);
    return change;
}

TElementChange move(std::size_t from, std::size_t to, TPlacedElement element) {
    TElementChange change;
    change.kind = Kind::Move;
    change.index = from;
    change.to = to;
    change.before = std::move(element);
    return change;
}

// The pixels of some areas of a bitmap, put back when an operation fails half-way.
class TAreaBackup {
public:
    TAreaBackup(TBitmap32& bitmap, const std::vector<TRect>& areas) : m_bitmap(bitmap) {
        for (const TRect& area : MergeAreas(areas)) {
            const TRect R = IntersectRect(area, bitmap.BoundsRect());
            if (IsRectEmpty(R)) continue;
            Saved& saved = m_saved.emplace_back();
            saved.area = R;
            saved.pixels.resize(static_cast<std::size_t>(R.Width()) *
                                static_cast<std::size_t>(R.Height()));
            copyRows(
                R,
                [&](std::int32_t y, TColor32* kept) {
                    std::memcpy(kept, bitmap.PixelPointer(R.Left, y),
                                static_cast<std::size_t>(R.Width()) * sizeof(TColor32));
                },
                saved);
        }
    }
    void restore() {
        for (Saved& saved : m_saved)
            copyRows(
                saved.area,
                [&](std::int32_t y, TColor32* kept) {
                    std::memcpy(m_bitmap.PixelPointer(saved.area.Left, y), kept,
                                static_cast<std::size_t>(saved.area.Width()) * sizeof(TColor32));
                },
                saved);
    }

private:
    struct Saved {
        TRect area;
        std::vector<TColor32> pixels;
    };
    template <typename Copy>
    static void copyRows(const TRect& R, Copy copy, Saved& saved) {
        for (std::int32_t y = R.Top; y < R.Bottom; ++y)
            copy(y, saved.pixels.data() +
                        static_cast<std::size_t>(y - R.Top) * static_cast<std::size_t>(R.Width()));
    }

    TBitmap32& m_bitmap;
    std::vector<Saved> m_saved;
};

} // namespace

TComposition::TComposition() : m_facade(std::make_shared<TBitmap32>()) {}
TComposition::TComposition(TComposition&&) noexcept = default;
TComposition& TComposition::operator=(TComposition&&) noexcept = default;
TComposition::~TComposition() = default;

void TComposition::SetFacade(std::string path, TSharedPicture picture) {
    if (!picture) picture = std::make_shared<TBitmap32>();
    TBitmap32 background;
    background.Assign(picture.get());
    m_facadePath = std::move(path);
    m_facade = std::move(picture);
    m_background = std::move(background);
    m_elements.clear();
    m_history.clear();
    m_takenUp.reset();
    m_changedAreas = {m_background.BoundsRect()};
    ++m_generation;
}

void TComposition::NameFacade(std::string path) {
    m_facadePath = std::move(path);
    ++m_generation;
}

std::vector<std::string> TComposition::RecordLines() const {
    std::vector<std::string> lines;
    if (m_facadePath.empty()) return lines;
    lines.push_back(m_facadePath);
    for (const TPlacedElement& element : m_elements) {
        const TQuad& q = element.Quad;
        lines.push_back(FormatElementRecord(TElementRecord{
            element.Path, q[0].X, q[0].Y, q[1].X, q[1].Y, q[2].X, q[2].Y, q[3].X, q[3].Y}));
    }
    return lines;
}

std::string TComposition::AppearanceEntry() const {
    if (m_facadePath.empty()) return {};
    std::vector<TAppearance> settings;
    bool anySet = false;
    for (const TPlacedElement& element : m_elements) {
        settings.push_back(ClampAppearance(element.Appearance));
        anySet = anySet || !IsNeutral(settings.back());
    }
    return anySet ? WriteAppearanceEntry(settings) : std::string();
}

std::vector<TPlacedElement> TComposition::shownElements() const {
    std::vector<TPlacedElement> shown = m_elements;
    if (m_takenUp) shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(*m_takenUp));
    return shown;
}

std::vector<TRect> TComposition::areasOf(const std::vector<TElementChange>& changes) const {
    std::vector<TRect> areas;
    const TRect bounds = m_background.BoundsRect();
    for (const TElementChange& change : changes) {
        areas.push_back(ElementArea(change.before, bounds));
        areas.push_back(ElementArea(change.after, bounds));
    }
    return areas;
}

void TComposition::redraw(const std::vector<TPlacedElement>& elements,
                          const std::vector<TRect>& areas) {
    TAreaBackup backup(m_background, areas);
    try {
        RebuildAreas(m_background, *m_facade, elements, areas, m_canvas);
    } catch (...) {
        backup.restore();
        throw;
    }
    m_changedAreas = MergeAreas(areas);
    ++m_generation;
}

void TComposition::apply(const std::vector<TElementChange>& changes, bool recordStep) {
    if (m_takenUp) throw std::logic_error("the composition is changed while an element is up");
    std::vector<TPlacedElement> elements = m_elements;
    for (const TElementChange& change : changes)
        change.applyTo(elements);
    redraw(elements, areasOf(changes));
    m_elements = std::move(elements);
    if (recordStep) m_history.push(changes, m_elements);
}

void TComposition::Accept(TPlacedElement element) {
    if (m_takenUp) CancelEdit();
    apply({insertion(m_elements.size(), std::move(element))}, true);
}

bool TComposition::AppendReplayed(TPlacedElement element) {
    // No copy of the list and no backup: a composition being replayed is discarded as a whole
    // when the replay fails.
    const bool drawn = m_canvas.drawOnto(m_background, element, m_background.BoundsRect());
    m_changedAreas = {ElementArea(element, m_background.BoundsRect())};
    m_elements.push_back(std::move(element));
    ++m_generation;
    return drawn;
}

void TComposition::Replace(std::size_t index, TPlacedElement element) {
    if (m_takenUp) CancelEdit();
    if (index >= m_elements.size()) throw std::out_of_range("no element to replace");
    apply({replacement(index, m_elements[index], std::move(element))}, true);
}

void TComposition::Remove(std::size_t index) {
    if (m_takenUp) CancelEdit();
    if (index >= m_elements.size()) throw std::out_of_range("no element to remove");
    apply({erasure(index, m_elements[index])}, true);
}

void TComposition::Move(std::size_t from, std::size_t to) {
    if (m_takenUp) CancelEdit();
    if (from >= m_elements.size() || to >= m_elements.size())
        throw std::out_of_range("no element to move");
    if (from == to) return;
    apply({move(from, to, m_elements[from])}, true);
}

std::optional<std::size_t> TComposition::ElementAt(std::int32_t x, std::int32_t y) {
    const TRect bounds = m_background.BoundsRect();
    for (std::size_t i = m_elements.size(); i-- > 0;) {
        if (m_takenUp && *m_takenUp == i) continue;
        if (m_canvas.drawnPixel(m_elements[i], bounds, x, y) != 0) return i;
    }
    return std::nullopt;
}

void TComposition::TakeUp(std::size_t index) {
    if (m_takenUp) CancelEdit();
    if (index >= m_elements.size()) throw std::out_of_range("no element to take up");
    std::vector<TPlacedElement> shown = m_elements;
    shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(index));
    redraw(shown, {ElementArea(m_elements[index], m_background.BoundsRect())});
    m_takenUp = index;
}

void TComposition::CancelEdit() {
    if (!m_takenUp) return;
    const TRect area = ElementArea(m_elements[*m_takenUp], m_background.BoundsRect());
    redraw(m_elements, {area});
    m_takenUp.reset();
}

void TComposition::PutBack(TPlacedElement element, std::size_t position) {
    if (!m_takenUp) throw std::logic_error("no element is taken up");
    const std::size_t index = *m_takenUp;
    position = std::min(position, m_elements.size() - 1);
    // A changed element is one step, and each place it moved in the order one more.
    std::vector<TCompositionStep> steps;
    if (!(element == m_elements[index]))
        steps.push_back({replacement(index, m_elements[index], element)});
    for (std::size_t at = index; at != position;) {
        const std::size_t next = at < position ? at + 1 : at - 1;
        steps.push_back({move(at, next, element)});
        at = next;
    }
    if (steps.empty()) {
        CancelEdit();
        return;
    }
    // The background lacks the element; its old and its new area are drawn with the new list
    // (a replacement covers both, a move keeps the area).
    std::vector<TPlacedElement> elements = m_elements;
    std::vector<TRect> areas;
    for (const TCompositionStep& step : steps) {
        for (const TElementChange& change : step)
            change.applyTo(elements);
        const std::vector<TRect> stepAreas = areasOf(step);
        areas.insert(areas.end(), stepAreas.begin(), stepAreas.end());
    }
    redraw(elements, areas);
    m_elements = std::move(elements);
    m_takenUp.reset();
    for (TCompositionStep& step : steps)
        m_history.push(std::move(step), m_elements);
}

void TComposition::RemoveTakenUp() {
    if (!m_takenUp) throw std::logic_error("no element is taken up");
    const std::size_t index = *m_takenUp;
    std::vector<TPlacedElement> elements = m_elements;
    elements.erase(elements.begin() + static_cast<std::ptrdiff_t>(index));
    // The background already shows the composite without it.
    TElementChange change = erasure(index, m_elements[index]);
    m_elements = std::move(elements);
    m_takenUp.reset();
    m_changedAreas.clear();
    ++m_generation;
    m_history.push({std::move(change)}, m_elements);
}

void TComposition::Undo() {
    if (m_takenUp) CancelEdit();
    if (!CanUndo()) return;
    apply(InverseOf(m_history.undoStep()), false);
    m_history.stepBack();
}

void TComposition::Redo() {
    if (m_takenUp) CancelEdit();
    if (!CanRedo()) return;
    apply(m_history.redoStep(), false);
    m_history.stepForward();
}

TBitmap32 TComposition::UndoPicture() {
    if (!CanUndo()) return TBitmap32();
    const TCompositionStep back = InverseOf(m_history.undoStep());
    std::vector<TPlacedElement> before = m_elements;
    for (const TElementChange& change : back)
        change.applyTo(before);
    std::vector<TRect> areas = areasOf(back);
    if (m_takenUp) areas.push_back(ElementArea(m_elements[*m_takenUp], m_background.BoundsRect()));
    TBitmap32 made;
    made.Assign(&m_background);
    RebuildAreas(made, *m_facade, before, areas, m_canvas);
    return made;
}

} // namespace schauplatz
