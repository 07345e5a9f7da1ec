#include "raster/view/Layers.h"

#include "raster/Persistent.h"

#include <algorithm>

namespace schauplatz {

TCustomLayer::TCustomLayer(TLayerCollection& owner) : m_owner(&owner) {}

TCustomLayer::~TCustomLayer() = default;

std::size_t TCustomLayer::Index() const {
    return m_owner->IndexOf(*this);
}

void TCustomLayer::SetLayerOptions(std::uint32_t options) {
    if (options == m_options) return;
    m_options = options;
    Changed();
}

void TCustomLayer::SetVisible(bool visible) {
    SetLayerOptions(visible ? (m_options | kLayerVisible) : (m_options & ~kLayerVisible));
}

void TCustomLayer::SetMouseEvents(bool enabled) {
    SetLayerOptions(enabled ? (m_options | kLayerMouseEvents) : (m_options & ~kLayerMouseEvents));
}

void TCustomLayer::Paint(TBitmap32& buffer) {
    DoPaint(buffer);
    if (OnPaint) OnPaint(*this, buffer);
}

void TCustomLayer::DoPaint(TBitmap32&) {}

bool TCustomLayer::HitTest(int, int) const {
    return true;
}

void TCustomLayer::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown) OnMouseDown(*this, button, shift, x, y);
}

void TCustomLayer::MouseMove(TShiftState shift, int x, int y) {
    if (OnMouseMove) OnMouseMove(*this, shift, x, y);
}

void TCustomLayer::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    // Let go before the handler runs, so a handler that deletes the layer leaves no listener.
    if (m_owner->MouseListener() == this) m_owner->SetMouseListener(nullptr);
    if (OnMouseUp) OnMouseUp(*this, button, shift, x, y);
}

void TCustomLayer::Changed() {
    m_owner->Changed();
}

TLayerCollection::~TLayerCollection() {
    m_mouseListener = nullptr;
    OnChange = nullptr; // the owning view is going away; no notifications while layers go
    m_items.clear();
}

void TLayerCollection::insert(std::unique_ptr<TCustomLayer> layer) {
    m_items.push_back(std::move(layer));
    Changed();
}

void TLayerCollection::Delete(std::size_t index) {
    if (index >= m_items.size()) return;
    if (m_mouseListener == m_items[index].get()) m_mouseListener = nullptr;
    // Keep the layer alive until it is out of the list, so its destructor sees a consistent list.
    std::unique_ptr<TCustomLayer> doomed = std::move(m_items[index]);
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
    doomed.reset();
    Changed();
}

void TLayerCollection::Remove(TCustomLayer& layer) {
    const std::size_t index = IndexOf(layer);
    if (index < m_items.size()) Delete(index);
}

void TLayerCollection::Clear() {
    if (m_items.empty()) return;
    m_mouseListener = nullptr;
    std::vector<std::unique_ptr<TCustomLayer>> doomed;
    doomed.swap(m_items);
    doomed.clear();
    Changed();
}

std::size_t TLayerCollection::IndexOf(const TCustomLayer& layer) const {
    const auto it = std::find_if(m_items.begin(), m_items.end(),
                                 [&](const auto& item) { return item.get() == &layer; });
    return static_cast<std::size_t>(it - m_items.begin());
}

void TLayerCollection::SetMouseEvents(bool enabled) {
    m_mouseEvents = enabled;
    if (!enabled) m_mouseListener = nullptr;
}

TCustomLayer* TLayerCollection::FindLayerAtPos(int x, int y, std::uint32_t optionMask) const {
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
        TCustomLayer& layer = **it;
        if ((layer.LayerOptions() & optionMask) != 0 && layer.HitTest(x, y)) return &layer;
    }
    return nullptr;
}

void TLayerCollection::EndUpdate() {
    if (m_updateCount <= 0) throw EAssertionFailed("Unpaired EndUpdate");
    --m_updateCount;
}

void TLayerCollection::Changed() {
    if (m_updateCount == 0 && OnChange) OnChange();
}

} // namespace schauplatz
