#pragma once

// The undo and redo history of a composition: steps of element changes, each of which knows
// its inverse. The history holds no pictures of the background; it keeps alive the element
// pictures its steps refer to, and bounds them: at most kMaxSteps steps, fewer when the
// pictures only the history still needs would pass kMaxPictureBytes (the oldest steps go).

#include "composition/PlacedElement.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace schauplatz {

struct TElementChange {
    enum class Kind { Insert, Erase, Replace, Move };
    Kind kind = Kind::Insert;
    std::size_t index = 0; // where it is inserted, erased or replaced; where a move starts
    std::size_t to = 0;    // where a move ends
    TPlacedElement before; // the element erased, replaced or moved
    TPlacedElement after;  // the element inserted or put in its place

    void applyTo(std::vector<TPlacedElement>& elements) const;
    TElementChange inverse() const;
};

using TCompositionStep = std::vector<TElementChange>;

// The changes that take a step back, in the order they are applied.
TCompositionStep InverseOf(const TCompositionStep& step);

class TCompositionHistory {
public:
    static constexpr std::size_t kMaxSteps = 100;
    static constexpr std::uint64_t kMaxPictureBytes = std::uint64_t{512} << 20;

    explicit TCompositionHistory(std::size_t maxSteps = kMaxSteps,
                                 std::uint64_t maxPictureBytes = kMaxPictureBytes)
        : m_maxSteps(maxSteps), m_maxPictureBytes(maxPictureBytes) {
        clear();
    }

    void clear();
    // A new step after the current state: the redo steps go, then the oldest steps while the
    // bounds are exceeded. current is the element list after the step.
    void push(TCompositionStep step, const std::vector<TPlacedElement>& current);

    bool canUndo() const { return m_position > 0; }
    bool canRedo() const { return m_position < m_steps.size(); }
    std::size_t undoCount() const { return m_position; }
    std::size_t redoCount() const { return m_steps.size() - m_position; }
    // The step undo takes back, and the step redo applies again.
    const TCompositionStep& undoStep() const { return m_steps[m_position - 1].changes; }
    const TCompositionStep& redoStep() const { return m_steps[m_position].changes; }
    // Names the state the history stands at: the step before the position (0 at its start),
    // so the same state reached again by undo or redo has the same name.
    std::uint64_t stateId() const {
        return m_position == 0 ? m_startId : m_steps[m_position - 1].id;
    }
    void stepBack() { --m_position; }
    void stepForward() { ++m_position; }

    // Bytes of the element pictures the steps refer to that current does not use.
    std::uint64_t pictureBytes(const std::vector<TPlacedElement>& current) const;

private:
    std::size_t m_maxSteps;
    std::uint64_t m_maxPictureBytes;
    struct Step {
        TCompositionStep changes;
        std::uint64_t id = 0;
    };
    std::vector<Step> m_steps;
    std::size_t m_position = 0; // steps before it can be undone, from it on redone
    std::uint64_t m_startId = 0;
};

} // namespace schauplatz
