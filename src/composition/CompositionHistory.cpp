#include "composition/CompositionHistory.h"

#include <set>
#include <stdexcept>

namespace schauplatz {

namespace {

void requireIndex(std::size_t index, std::size_t limit) {
    if (index >= limit) throw std::out_of_range("composition change outside the element list");
}

std::uint64_t bytesOf(const TBitmap32& picture) {
    return static_cast<std::uint64_t>(picture.Width()) *
           static_cast<std::uint64_t>(picture.Height()) * sizeof(TColor32);
}

} // namespace

void TElementChange::applyTo(std::vector<TPlacedElement>& elements) const {
    const auto at = [&elements](std::size_t i) {
        return elements.begin() + static_cast<std::ptrdiff_t>(i);
    };
    switch (kind) {
    case Kind::Insert:
        requireIndex(index, elements.size() + 1);
        elements.insert(at(index), after);
        break;
    case Kind::Erase:
        requireIndex(index, elements.size());
        elements.erase(at(index));
        break;
    case Kind::Replace:
        requireIndex(index, elements.size());
        elements[index] = after;
        break;
    case Kind::Move: {
        requireIndex(index, elements.size());
        requireIndex(to, elements.size());
        TPlacedElement moved = std::move(elements[index]);
        elements.erase(at(index));
        elements.insert(at(to), std::move(moved));
        break;
    }
    }
}

TElementChange TElementChange::inverse() const {
    TElementChange back = *this;
    switch (kind) {
    case Kind::Insert:
        back.kind = Kind::Erase;
        back.before = after;
        back.after = {};
        break;
    case Kind::Erase:
        back.kind = Kind::Insert;
        back.after = before;
        back.before = {};
        break;
    case Kind::Replace:
        std::swap(back.before, back.after);
        break;
    case Kind::Move:
        back.index = to;
        back.to = index;
        break;
    }
    return back;
}

TCompositionStep InverseOf(const TCompositionStep& step) {
    TCompositionStep back;
    for (auto it = step.rbegin(); it != step.rend(); ++it)
        back.push_back(it->inverse());
    return back;
}

namespace {
// Every state any history of the program stands at has a name of its own.
std::uint64_t newStateId() {
    static std::uint64_t last = 0;
    return ++last;
}
} // namespace

void TCompositionHistory::clear() {
    m_steps.clear();
    m_position = 0;
    m_startId = newStateId();
}

void TCompositionHistory::push(TCompositionStep step, const std::vector<TPlacedElement>& current) {
    m_steps.resize(m_position);
    m_steps.push_back(Step{std::move(step), newStateId()});
    m_position = m_steps.size();
    while (m_steps.size() > m_maxSteps ||
           (m_steps.size() > 1 && pictureBytes(current) > m_maxPictureBytes)) {
        // The state the oldest step started from is gone; the next one is the start now.
        m_startId = m_steps.front().id;
        m_steps.erase(m_steps.begin());
        --m_position;
    }
}

std::uint64_t TCompositionHistory::pictureBytes(const std::vector<TPlacedElement>& current) const {
    std::set<const TBitmap32*> used;
    for (const TPlacedElement& element : current)
        used.insert(element.Picture.get());
    std::set<const TBitmap32*> counted;
    std::uint64_t bytes = 0;
    for (const Step& step : m_steps)
        for (const TElementChange& change : step.changes)
            for (const TPlacedElement* element : {&change.before, &change.after}) {
                const TBitmap32* picture = element->Picture.get();
                if (picture == nullptr || used.count(picture) || !counted.insert(picture).second)
                    continue;
                bytes += bytesOf(*picture);
            }
    return bytes;
}

} // namespace schauplatz
